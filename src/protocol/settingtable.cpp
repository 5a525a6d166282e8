#include "settingtable.h"

#include <algorithm>
#include <charconv>

namespace orv {

const Setting *findSetting(std::string_view name)
{
    for (const Setting &s : kSettings)
        if (name == s.name)
            return &s;
    return nullptr;
}

const Setting *settingFor(std::uint8_t statusCode)
{
    for (const Setting &s : kSettings)
        if (s.status == statusCode)
            return &s;
    return nullptr;
}

std::string describe(const Setting &setting)
{
    if (setting.kind == Kind::Choice)
        return std::string(setting.what) + ": " + setting.words[0] + " or " + setting.words[1];
    return std::string(setting.what) + ", " + std::to_string(setting.min) + " to " +
           format(setting, setting.max);
}

std::string jsonKey(const Setting &setting)
{
    std::string key = setting.name;
    std::replace(key.begin(), key.end(), '-', '_');
    return *setting.unit ? key + '_' + setting.unit : key;
}

std::string format(const Setting &setting, std::int64_t value)
{
    if (setting.kind == Kind::Choice)
        return setting.words[value ? 1 : 0];
    return std::to_string(value) + (*setting.unit ? " " : "") + setting.unit;
}

Parsed parse(const Setting &setting, std::string_view text)
{
    Parsed refused{0, "'" + std::string(text) + "' is not a value for " + setting.name + " (" +
                          describe(setting) + ")"};
    if (setting.kind == Kind::Choice) {
        for (std::int32_t value : {0, 1})
            if (text == setting.words[value])
                return {value, {}};
        return refused;
    }
    // The unit the window shows may come along: "1500 ms", "1500ms".
    std::string_view digits = text;
    const std::string_view unit = setting.unit;
    if (!unit.empty() && digits.size() > unit.size() &&
        digits.substr(digits.size() - unit.size()) == unit) {
        digits.remove_suffix(unit.size());
        if (!digits.empty() && digits.back() == ' ')
            digits.remove_suffix(1);
    }
    long long number = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
        number < setting.min || number > setting.max)
        return refused;
    return {static_cast<std::int32_t>(number), {}};
}

std::optional<std::int32_t> commandValue(const Setting &setting, std::int32_t value,
                                         const LedBrightnessTable &leds)
{
    if (setting.kind != Kind::Led)
        return value;
    if (value < 0 || value >= std::int32_t(leds.size()))
        return std::nullopt;
    return leds[std::size_t(value)];
}

std::optional<int> ledLevel(const LedBrightnessTable &leds, int duty)
{
    for (std::size_t level = 0; level < leds.size(); ++level)
        if (leds[level] == duty)
            return int(level);
    return std::nullopt;
}

const Setting *otherThreshold(const Setting &setting)
{
    if (setting.status == StatusSensitivityMin)
        return settingFor(StatusSensitivityMax);
    if (setting.status == StatusSensitivityMax)
        return settingFor(StatusSensitivityMin);
    return nullptr;
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

} // namespace orv
