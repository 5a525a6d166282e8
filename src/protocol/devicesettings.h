// The ORV's settings as a command line names them, with the window's ranges and rules, and
// the status reports read back as plain values. Pure functions: no Qt, no hidapi.
#pragma once

#include "ledbrightness.h"
#include "report.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace settings {

enum class Kind
{
    Number, // sent and reported as is
    OnOff,  // on = 1
    Sensor, // aux = 1, builtin = 0
    Led,    // level 1..5 sent through the brightness table
};

struct Setting
{
    const char *name;
    StatusCode status;   // what reports it, and the request that asks for it
    CommandCode command; // what sets it
    Kind kind;
    int min, max, step; // as the user gives it; for Led, the level
    const char *unit;   // "" where none
    const char *help;
};

// In the order of the window: General tab, then the intervalometer.
extern const Setting kAll[12];

const Setting *find(std::string_view name);
const Setting *forStatus(std::uint8_t code); // the setting a status report carries, if any

struct Parsed
{
    std::int32_t value = 0; // what the device receives
    std::string error;      // empty when the value is good
};
// The user's text for a setting, against its range and step, as the window would allow it.
Parsed parse(const Setting &setting, std::string_view text, const LedBrightnessTable &leds);

// The setting's value in a status report of its code, as the user would give it back; nothing
// for an LED duty value that is not in the table.
std::optional<std::int64_t> reported(const Setting &setting, const std::uint8_t *status,
                                     const LedBrightnessTable &leds);
std::string format(const Setting &setting, std::int64_t value);

// The sensitivity thresholds never cross: sending one that reaches the other first moves the
// other one past it, as the window's sliders do. The other threshold's new value, if it moves.
std::optional<std::int32_t> thresholdInterlock(const Setting &setting, std::int32_t value,
                                               std::int32_t other);

// The Lag tab's sum: eight LEDs as read left to right across both rows, '1' lit and '0' dark,
// worth 128 down to 1. Nothing for any other text.
std::optional<int> lagMilliseconds(std::string_view leds);

} // namespace settings
