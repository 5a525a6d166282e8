#include "ledbrightness.h"

#include <algorithm>
#include <cmath>

LedBrightnessTable computeLedBrightnessTable()
{
    // A logarithmic ramp, because the eye perceives brightness logarithmically.
    // Truncated, not rounded: the device firmware expects 4 for level 1.
    LedBrightnessTable table{};
    table[0] = 0;
    for (int i = 1; i <= 5; ++i) {
        const double duty = std::clamp(100.0 * (1.0 - std::log10(11.0 - 2.0 * i)), 0.0, 100.0);
        table[i] = static_cast<std::int32_t>(duty);
    }
    return table;
}
