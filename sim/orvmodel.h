// A simulated ORV: the device side of the report protocol, written independently of the
// program so that tests can cross-check the bytes the program sends and decodes.
// Not thread-safe; simhid guards it with its own lock.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

// Low 8 bits of the sum of five bytes: the checksum of reports both ways.
std::uint8_t reportChecksum(const std::uint8_t *five);
// A status report as the device sends it: code, payload MSB first, checksum.
std::vector<std::uint8_t> statusReport(std::uint8_t code, std::uint32_t payload);

class OrvModel
{
public:
    // What the device keeps, as last commanded. Values are stored as received and narrowed
    // only when reported back, so a test sees exactly what the host sent.
    struct Settings
    {
        std::int32_t sensitivityMin = 30;
        std::int32_t sensitivityMax = 180;
        std::int32_t inhibitMs = 1500;
        std::int32_t auxDelayMs = 20;
        bool auxSensor = false;
        std::int32_t pwmLed = 52;
        std::int32_t interNrShot = 12;
        std::int32_t interReleaseS = 2;
        std::int32_t interIntervalS = 8;
        std::int32_t interStartDelayS = 4;
        std::int32_t curSensitivity = 2;
        bool prefocus = true;

        bool operator==(const Settings &o) const;
        bool operator!=(const Settings &o) const { return !(*this == o); }
    };

    struct Received
    {
        std::uint8_t code;
        std::int32_t value;
    };

    // One entry of the device-to-host queue. Injected entries keep their own length;
    // entries the model produced are 6-byte status reports.
    struct Queued
    {
        std::vector<std::uint8_t> bytes;
        bool injected = false;
    };

    static constexpr std::size_t kMaxInjected = 64;
    // Each of these, sent with a zero value, asks for the report of the same code.
    static constexpr std::uint8_t kFirstStatus = 0x80, kLastStatus = 0x90;

    OrvModel() = default;

    // Six message bytes of a command report: code, value MSB first, checksum.
    void receive(const std::uint8_t msg[6]);

    // Moves the device clock forward and sends whatever the intervalometer sends meanwhile.
    void advance(std::chrono::milliseconds dt);

    // FIFO of reports waiting to reach the host.
    bool takeNext(Queued &out);
    std::size_t pending() const { return queue_.size(); }
    void clearPending() { queue_.clear(); }
    void queueRaw(const std::uint8_t *bytes, std::size_t length); // truncated to 64 bytes

    const Settings &settings() const { return settings_; }
    void setSettings(const Settings &s) { settings_ = s; }

    void setFirmware(int major, int minor);
    void setBattery(std::uint8_t level) { battery_ = level; }
    void setCharging(bool charging) { charging_ = charging; }

    // Every message with a good checksum, requests included, in arrival order.
    const std::vector<Received> &received() const { return received_; }
    void clearReceived() { received_.clear(); }

private:
    // The intervalometer's states, numbered as reported.
    enum InterState
    {
        Inactive = 1,
        WaitFirst = 2,
        Exposing = 3,
        WaitNext = 4,
    };

    void answer(std::uint8_t code);
    void send(std::uint8_t code, std::uint32_t payload);
    void startSeries();
    void stopSeries();
    void enterState(InterState state);
    void beginExposure();
    void step(); // runs the event due at nextEvent_

    Settings settings_;
    int fwMajor_ = 2;
    int fwMinor_ = 7;
    std::uint8_t battery_ = 80;
    bool charging_ = false;

    std::chrono::milliseconds now_{0};
    std::chrono::milliseconds nextEvent_{0};
    InterState interState_ = Inactive;
    std::uint32_t shot_ = 0;
    // Series parameters are latched at start, like a device that arms a timer once.
    std::uint32_t seriesShots_ = 0;
    std::chrono::milliseconds seriesRelease_{0};
    std::chrono::milliseconds seriesInterval_{0};

    std::deque<Queued> queue_;
    std::vector<Received> received_;
};
