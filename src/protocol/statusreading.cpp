#include "statusreading.h"

#include <algorithm>

namespace orv {

Reading read(const std::uint8_t *status, const LedBrightnessTable &leds)
{
    Reading r;
    r.code = status[0];
    r.setting = settingFor(r.code);
    std::int64_t raw = 0;
    switch (r.code) {
    case StatusCharge:
    case StatusAuxSensor:
        r.value = report::payloadFlag(status) ? 1 : 0;
        return r;
    case StatusPrefocus:
        r.value = report::payloadU8(status) == 1 ? 1 : 0;
        return r;
    case StatusFirmware:
        r.version = report::payloadVersion(status);
        return r;
    case StatusBattery:
    case StatusInterState:
        r.value = report::payloadU8(status);
        return r;
    case StatusInterShot:
        // Signed on purpose: 0xFFFFFFFE is shot -2.
        r.value = static_cast<std::int32_t>(report::payloadU32(status));
        return r;
    case StatusSensitivityMin:
    case StatusSensitivityMax:
        raw = report::payloadU8(status);
        break;
    case StatusInhibitTime:
    case StatusAuxDelay:
        raw = report::payloadU32(status);
        break;
    case StatusInterNrShot:
    case StatusInterRelease:
    case StatusInterInterval:
    case StatusInterDelay:
        raw = report::payloadU16(status);
        break;
    case StatusCurSensitivity:
        raw = report::payloadS8(status);
        break;
    case StatusPwmLed: {
        const int duty = report::payloadS8(status);
        const auto level = ledLevel(leds, duty);
        if (!level || *level < r.setting->min || *level > r.setting->max)
            r.reported = duty;
        if (level)
            r.value = std::clamp(*level, r.setting->min, r.setting->max);
        return r;
    }
    default:
        return r;
    }
    // Out of range, the window's control shows its nearest end, and writes that back.
    r.value = std::int32_t(std::clamp<std::int64_t>(raw, r.setting->min, r.setting->max));
    if (*r.value != raw)
        r.reported = raw;
    return r;
}

std::optional<SeriesProgress> seriesProgress(int state, std::int32_t shot, int total)
{
    total = std::max(total, 0);
    switch (state) {
    case InterInactive:
        return SeriesProgress{SeriesStep::Inactive};
    case InterWaitFirst:
        return SeriesProgress{SeriesStep::WaitingFirst};
    case InterExposing:
        return SeriesProgress{SeriesStep::Exposing, shot, total};
    case InterWaitNext:
        // 64 bits: the ORV may report any 32-bit shot number, and the next one is meant.
        return SeriesProgress{SeriesStep::Waiting, std::int64_t(shot) + 1, total};
    default:
        return std::nullopt;
    }
}

} // namespace orv
