#include "orvmodel.h"

#include <algorithm>

namespace {

// Series durations are 16-bit seconds on the device; a zero would make an endless series
// spin without the clock moving, so it counts as one second.
std::chrono::milliseconds seconds16(std::int32_t value)
{
    const auto s = static_cast<std::uint16_t>(value);
    return std::chrono::milliseconds(std::max<std::int64_t>(s, 1) * 1000);
}

} // namespace

std::uint8_t reportChecksum(const std::uint8_t *five)
{
    return static_cast<std::uint8_t>(five[0] + five[1] + five[2] + five[3] + five[4]);
}

std::vector<std::uint8_t> statusReport(std::uint8_t code, std::uint32_t payload)
{
    std::vector<std::uint8_t> r{code,
                                static_cast<std::uint8_t>(payload >> 24),
                                static_cast<std::uint8_t>(payload >> 16),
                                static_cast<std::uint8_t>(payload >> 8),
                                static_cast<std::uint8_t>(payload),
                                0};
    r[5] = reportChecksum(r.data());
    return r;
}

bool OrvModel::Settings::operator==(const Settings &o) const
{
    return sensitivityMin == o.sensitivityMin && sensitivityMax == o.sensitivityMax &&
           inhibitMs == o.inhibitMs && auxDelayMs == o.auxDelayMs && auxSensor == o.auxSensor &&
           pwmLed == o.pwmLed && interNrShot == o.interNrShot && interReleaseS == o.interReleaseS &&
           interIntervalS == o.interIntervalS && interStartDelayS == o.interStartDelayS &&
           curSensitivity == o.curSensitivity && prefocus == o.prefocus;
}

void OrvModel::receive(const std::uint8_t msg[6])
{
    if (reportChecksum(msg) != msg[5])
        return;
    const std::uint8_t code = msg[0];
    const auto value =
        static_cast<std::int32_t>((std::uint32_t(msg[1]) << 24) | (std::uint32_t(msg[2]) << 16) |
                                  (std::uint32_t(msg[3]) << 8) | std::uint32_t(msg[4]));
    received_.push_back({code, value});

    Settings &s = settings_;
    switch (code) {
    case 0x01:
        s.sensitivityMin = value;
        break;
    case 0x02:
        s.sensitivityMax = value;
        break;
    case 0x03:
        s.inhibitMs = value;
        break;
    case 0x04:
        s.auxDelayMs = value;
        break;
    case 0x05:
        s.auxSensor = value != 0;
        break;
    case 0x09:
        s.pwmLed = value;
        break;
    case 0x0A:
        s.interNrShot = value;
        break;
    case 0x0B:
        s.interReleaseS = value;
        break;
    case 0x0C:
        s.interIntervalS = value;
        break;
    case 0x0D:
        s.interStartDelayS = value;
        break;
    case 0x0E:
        startSeries();
        break;
    case 0x0F:
        stopSeries();
        break;
    case 0x10:
        s.curSensitivity = value;
        break;
    case 0x11:
        s.prefocus = value != 0;
        break;
    default:
        // A status code is a request only with a zero value; anything else is not understood.
        if (code >= kFirstStatus && code <= kLastStatus && value == 0)
            answer(code);
        break;
    }
}

void OrvModel::answer(std::uint8_t code)
{
    const Settings &s = settings_;
    auto u8 = [](std::int32_t v) { return static_cast<std::uint32_t>(v) & 0xFFu; };
    auto u16 = [](std::int32_t v) { return static_cast<std::uint32_t>(v) & 0xFFFFu; };
    auto u32 = [](std::int32_t v) { return static_cast<std::uint32_t>(v); };
    // Four decimal digits P1 P2 . P3 P4.
    auto version = [](int major, int minor) {
        auto digits = [](int n) {
            const auto u = static_cast<std::uint32_t>(n);
            return (((u / 10) & 0xFFu) << 8) | (u % 10);
        };
        return (digits(major) << 16) | digits(minor);
    };

    switch (code) {
    case 0x80:
        send(code, charging_ ? 1 : 0);
        break;
    case 0x81:
        send(code, u8(s.sensitivityMin));
        break;
    case 0x82:
        send(code, u8(s.sensitivityMax));
        break;
    case 0x83:
        send(code, u32(s.inhibitMs));
        break;
    case 0x84:
        send(code, u32(s.auxDelayMs));
        break;
    case 0x85:
        send(code, s.auxSensor ? 1 : 0);
        break;
    case 0x86:
        send(code, version(fwMajor_, fwMinor_));
        break;
    case 0x87:
        send(code, u8(s.pwmLed));
        break;
    case 0x88:
        send(code, u16(s.interNrShot));
        break;
    case 0x89:
        send(code, u16(s.interReleaseS));
        break;
    case 0x8A:
        send(code, u16(s.interIntervalS));
        break;
    case 0x8B:
        send(code, u16(s.interStartDelayS));
        break;
    case 0x8C:
        send(code, static_cast<std::uint32_t>(interState_));
        break;
    case 0x8D:
        send(code, shot_);
        break;
    case 0x8E:
        send(code, u8(s.curSensitivity));
        break;
    case 0x8F:
        send(code, s.prefocus ? 1 : 0);
        break;
    case 0x90:
        send(code, battery_);
        break;
    default:
        break;
    }
}

void OrvModel::send(std::uint8_t code, std::uint32_t payload)
{
    queue_.push_back({statusReport(code, payload)});
}

void OrvModel::queueRaw(const std::uint8_t *bytes, std::size_t length)
{
    Queued q;
    if (bytes)
        q.bytes.assign(bytes, bytes + std::min(length, kMaxInjected));
    q.injected = true;
    queue_.push_back(std::move(q));
}

bool OrvModel::takeNext(Queued &out)
{
    if (queue_.empty())
        return false;
    out = std::move(queue_.front());
    queue_.pop_front();
    return true;
}

void OrvModel::setFirmware(int major, int minor)
{
    fwMajor_ = major;
    fwMinor_ = minor;
}

// Exposure N runs for `release`; the interval is the idle gap from its end to the start of
// exposure N+1, so one cycle takes release + interval and no value pair can overlap.
void OrvModel::startSeries()
{
    // A start during a series begins a new one.
    seriesShots_ = static_cast<std::uint16_t>(settings_.interNrShot);
    seriesRelease_ = seconds16(settings_.interReleaseS);
    seriesInterval_ = seconds16(settings_.interIntervalS);
    shot_ = 0;
    nextEvent_ = now_ + seconds16(settings_.interStartDelayS);
    enterState(WaitFirst);
}

void OrvModel::stopSeries()
{
    // Confirmed even when idle, so a host that lost track can always get back to inactive.
    enterState(Inactive);
}

void OrvModel::enterState(InterState state)
{
    interState_ = state;
    send(0x8C, static_cast<std::uint32_t>(state));
}

void OrvModel::beginExposure()
{
    ++shot_;
    send(0x8D, shot_);
    nextEvent_ += seriesRelease_;
    enterState(Exposing);
}

void OrvModel::step()
{
    switch (interState_) {
    case WaitFirst:
    case WaitNext:
        beginExposure();
        break;
    case Exposing:
        if (seriesShots_ > 0 && shot_ >= seriesShots_) {
            enterState(Inactive);
        } else {
            nextEvent_ += seriesInterval_;
            enterState(WaitNext);
        }
        break;
    case Inactive:
        break;
    }
}

void OrvModel::advance(std::chrono::milliseconds dt)
{
    if (dt.count() <= 0)
        return;
    const auto target = now_ + dt;
    while (interState_ != Inactive && nextEvent_ <= target) {
        now_ = nextEvent_;
        step();
    }
    now_ = target;
}
