#pragma once

#include <array>
#include <cstdint>

// PWM duty value (0..100) sent to the device for each LED brightness level 0..5.
using LedBrightnessTable = std::array<std::int32_t, 6>;

LedBrightnessTable computeLedBrightnessTable();
