// The ORV's settings, each described once: what reports it, what sets it, its range in the
// window's units and how a command line names it. Both programs and their tests read this
// table. Pure functions: no Qt, no hidapi.
#pragma once

#include "ledbrightness.h"
#include "report.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orv {

enum class Kind
{
    Number, // sent and reported as it is shown
    Choice, // one of two words, sent as 0 or 1
    Led,    // a level, sent as its entry in the LED brightness table
};

struct Setting
{
    const char *name;   // as orvctl names it
    const char *widget; // the form's control that shows it
    StatusCode status;  // what reports it, and the request that asks for it
    CommandCode command;
    Kind kind;
    int min, max, step; // as the window shows it; step is its arrows' (typed values are free)
    const char *unit;   // "ms", "s" or ""
    const char *what;   // for help, in English
    const char *words[2] = {}; // Choice: the words for 0 and 1
};

// In the window's reading order: the General tab, then the intervalometer.
inline constexpr Setting kSettings[] = {
    {"sensor",
     "grpAux",
     StatusAuxSensor,
     CmdAuxSensor,
     Kind::Choice,
     0,
     1,
     1,
     "",
     "sensor in use, the built-in lightning sensor or the auxiliary one",
     {"builtin", "aux"}},
    {"sensitivity-min", "sliderSensitivityMin", StatusSensitivityMin, CmdSensitivityMin,
     Kind::Number, 0, 254, 1, "", "minimum sensitivity threshold"},
    {"sensitivity-max", "sliderSensitivityMax", StatusSensitivityMax, CmdSensitivityMax,
     Kind::Number, 1, 255, 1, "", "maximum sensitivity threshold"},
    {"level", "spinCurSensitivity", StatusCurSensitivity, CmdCurSensitivity, Kind::Number, 0, 4, 1,
     "", "sensitivity level"},
    {"prefocus",
     "checkPrefocus",
     StatusPrefocus,
     CmdPrefocus,
     Kind::Choice,
     0,
     1,
     1,
     "",
     "prefocus",
     {"off", "on"}},
    {"aux-delay", "spinAuxDelay", StatusAuxDelay, CmdAuxDelay, Kind::Number, 0, 1000, 1, "ms",
     "auxiliary sensor delay"},
    {"led", "spinLedPwm", StatusPwmLed, CmdPwmLed, Kind::Led, 1, 5, 1, "", "LED brightness"},
    {"inhibit", "spinInhibitTime", StatusInhibitTime, CmdInhibitTime, Kind::Number, 200, 600000,
     100, "ms", "inhibit delay"},
    {"start-delay", "spinStartDelay", StatusInterDelay, CmdInterDelay, Kind::Number, 1, 99, 1, "s",
     "intervalometer start delay"},
    {"exposure", "spinReleaseTime", StatusInterRelease, CmdInterRelease, Kind::Number, 1, 3600, 1,
     "s", "exposure time"},
    {"interval", "spinInterval", StatusInterInterval, CmdInterInterval, Kind::Number, 1, 3600, 1,
     "s", "interval between exposures"},
    {"shots", "spinNrShot", StatusInterNrShot, CmdInterNrShot, Kind::Number, 0, 9999, 1, "",
     "number of exposures (0: unlimited)"},
};

const Setting *findSetting(std::string_view name);
const Setting *settingFor(std::uint8_t statusCode); // the setting a status report carries

// One line of help: what it is and the values it takes ("inhibit delay, 200 to 600000 ms").
std::string describe(const Setting &setting);
// Its key in JSON, which carries the unit: "inhibit_ms", "sensitivity_min".
std::string jsonKey(const Setting &setting);
// A value as the user gives and reads it: "1500 ms", "on", "aux".
std::string format(const Setting &setting, std::int64_t value);

struct Parsed
{
    std::int32_t value = 0; // as shown (for Led, the level)
    std::string error;      // empty when the value is taken
};
// The user's text, taken as the window's control would take it typed (the unit may follow).
Parsed parse(const Setting &setting, std::string_view text);
// What the command carries for a value as shown; nothing for an LED level outside the table.
std::optional<std::int32_t> commandValue(const Setting &setting, std::int32_t value,
                                         const LedBrightnessTable &leds);

// The LED level of a PWM duty: the first entry that matches, as the table is searched.
std::optional<int> ledLevel(const LedBrightnessTable &leds, int duty);

// The thresholds never cross: a new value that reaches the other threshold first moves it
// past. Returns the other one's new value, if it has to move.
const Setting *otherThreshold(const Setting &setting);
std::optional<std::int32_t> thresholdInterlock(const Setting &setting, std::int32_t value,
                                               std::int32_t other);

// The Lag tab's sum: eight LEDs as read left to right across both rows, '1' lit and '0' dark,
// worth 128 down to 1. Nothing for any other text.
std::optional<int> lagMilliseconds(std::string_view leds);

} // namespace orv
