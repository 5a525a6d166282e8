#include "devicesettings.h"

#include <algorithm>
#include <charconv>

namespace settings {

const Setting kAll[12] = {
    {"sensor", StatusAuxSensor, CmdAuxSensor, Kind::Sensor, 0, 1, 1, "",
     "builtin (lightning sensor) or aux (auxiliary sensor)"},
    {"sensitivity-min", StatusSensitivityMin, CmdSensitivityMin, Kind::Number, 0, 254, 1, "",
     "minimum sensitivity threshold, 0 to 254"},
    {"sensitivity-max", StatusSensitivityMax, CmdSensitivityMax, Kind::Number, 1, 255, 1, "",
     "maximum sensitivity threshold, 1 to 255"},
    {"level", StatusCurSensitivity, CmdCurSensitivity, Kind::Number, 0, 4, 1, "",
     "sensitivity level, 0 to 4"},
    {"prefocus", StatusPrefocus, CmdPrefocus, Kind::OnOff, 0, 1, 1, "", "on or off"},
    {"aux-delay", StatusAuxDelay, CmdAuxDelay, Kind::Number, 0, 1000, 1, "ms",
     "auxiliary sensor delay, 0 to 1000 ms"},
    {"led", StatusPwmLed, CmdPwmLed, Kind::Led, 1, 5, 1, "", "LED brightness, 1 to 5"},
    {"inhibit", StatusInhibitTime, CmdInhibitTime, Kind::Number, 200, 600000, 100, "ms",
     "inhibit delay, 200 to 600000 ms in steps of 100"},
    {"start-delay", StatusInterDelay, CmdInterDelay, Kind::Number, 1, 99, 1, "s",
     "intervalometer start delay, 1 to 99 s"},
    {"exposure", StatusInterRelease, CmdInterRelease, Kind::Number, 1, 3600, 1, "s",
     "intervalometer exposure time, 1 to 3600 s"},
    {"interval", StatusInterInterval, CmdInterInterval, Kind::Number, 1, 3600, 1, "s",
     "intervalometer interval, 1 to 3600 s"},
    {"shots", StatusInterNrShot, CmdInterNrShot, Kind::Number, 0, 9999, 1, "",
     "intervalometer number of exposures, 0 (unlimited) to 9999"},
};

const Setting *find(std::string_view name)
{
    for (const Setting &s : kAll)
        if (name == s.name)
            return &s;
    return nullptr;
}

const Setting *forStatus(std::uint8_t code)
{
    for (const Setting &s : kAll)
        if (s.status == code)
            return &s;
    return nullptr;
}

Parsed parse(const Setting &setting, std::string_view text, const LedBrightnessTable &leds)
{
    Parsed refused{0, std::string(setting.name) + ": '" + std::string(text) + "' refused (" +
                          setting.help + ")"};
    if (setting.kind == Kind::OnOff || setting.kind == Kind::Sensor) {
        const bool onOff = setting.kind == Kind::OnOff;
        if (text == (onOff ? "on" : "aux"))
            return {1, {}};
        return text == (onOff ? "off" : "builtin") ? Parsed{0, {}} : refused;
    }
    // The unit the window shows may come along: "1500 ms", "1500ms".
    std::string_view digits = text;
    const std::string_view unit = setting.unit;
    if (!unit.empty() && digits.size() > unit.size() &&
        digits.substr(digits.size() - unit.size()) == unit)
        digits.remove_suffix(unit.size());
    while (!digits.empty() && digits.back() == ' ')
        digits.remove_suffix(1);
    long long number = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
        number < setting.min || number > setting.max || (number - setting.min) % setting.step)
        return refused;
    const auto value = static_cast<std::int32_t>(number);
    return {setting.kind == Kind::Led ? leds[std::size_t(value)] : value, {}};
}

std::optional<std::int64_t> reported(const Setting &setting, const std::uint8_t *status,
                                     const LedBrightnessTable &leds)
{
    switch (status[0]) {
    case StatusSensitivityMin:
    case StatusSensitivityMax:
        return report::payloadU8(status);
    case StatusInhibitTime:
    case StatusAuxDelay:
        return report::payloadU32(status);
    case StatusAuxSensor:
        return report::payloadFlag(status) ? 1 : 0;
    case StatusPrefocus:
        return report::payloadU8(status) == 1 ? 1 : 0;
    case StatusCurSensitivity:
        return report::payloadS8(status);
    case StatusPwmLed:
        // The first entry that matches, as the window looks it up; level 0 is shown as 1.
        for (std::size_t level = 0; level < leds.size(); ++level)
            if (leds[level] == report::payloadS8(status))
                return std::max<std::int64_t>(std::int64_t(level), setting.min);
        return std::nullopt;
    case StatusInterNrShot:
    case StatusInterRelease:
    case StatusInterInterval:
    case StatusInterDelay:
        return report::payloadU16(status);
    default:
        return std::nullopt;
    }
}

std::string format(const Setting &setting, std::int64_t value)
{
    switch (setting.kind) {
    case Kind::OnOff:
        return value ? "on" : "off";
    case Kind::Sensor:
        return value ? "aux" : "builtin";
    default:
        return std::to_string(value) + (*setting.unit ? " " : "") + setting.unit;
    }
}

std::optional<std::int32_t> thresholdInterlock(const Setting &setting, std::int32_t value,
                                               std::int32_t other)
{
    if (setting.status == StatusSensitivityMin && other <= value)
        return value + 1;
    if (setting.status == StatusSensitivityMax && other >= value)
        return value - 1;
    return std::nullopt;
}

std::optional<int> lagMilliseconds(std::string_view leds)
{
    if (leds.size() != 8)
        return std::nullopt;
    int sum = 0;
    for (char led : leds) {
        if (led != '0' && led != '1')
            return std::nullopt;
        sum = sum * 2 + (led - '0');
    }
    return sum;
}

} // namespace settings
