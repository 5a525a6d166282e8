// Byte layouts of the two ORV reports. Pure functions: no Qt widgets, no hidapi.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Host to device. The status codes below also go out as requests.
enum CommandCode : std::uint8_t
{
    CmdSensitivityMin = 0x01,
    CmdSensitivityMax = 0x02,
    CmdInhibitTime = 0x03,
    CmdAuxDelay = 0x04,
    CmdAuxSensor = 0x05,
    CmdStartLag = 0x06,
    CmdPwmLed = 0x09,
    CmdInterNrShot = 0x0A,
    CmdInterRelease = 0x0B,
    CmdInterInterval = 0x0C,
    CmdInterDelay = 0x0D,
    CmdInterStart = 0x0E,
    CmdInterStop = 0x0F,
    CmdCurSensitivity = 0x10,
    CmdPrefocus = 0x11,
};

// Device to host.
enum StatusCode : std::uint8_t
{
    StatusCharge = 0x80,
    StatusSensitivityMin = 0x81,
    StatusSensitivityMax = 0x82,
    StatusInhibitTime = 0x83,
    StatusAuxDelay = 0x84,
    StatusAuxSensor = 0x85,
    StatusFirmware = 0x86,
    StatusPwmLed = 0x87,
    StatusInterNrShot = 0x88,
    StatusInterRelease = 0x89,
    StatusInterInterval = 0x8A,
    StatusInterDelay = 0x8B,
    StatusInterState = 0x8C,
    StatusInterShot = 0x8D,
    StatusCurSensitivity = 0x8E,
    StatusPrefocus = 0x8F,
    StatusBattery = 0x90,
};

// Intervalometer states carried by StatusInterState.
enum InterState : std::uint8_t
{
    InterInactive = 1,
    InterWaitFirst = 2,
    InterExposing = 3,
    InterWaitNext = 4,
};

namespace report {

constexpr std::size_t kCommandSize = 7; // report ID 0, code, value (4, MSB first), checksum
constexpr std::size_t kStatusSize = 6;  // code, P1..P4, checksum
constexpr int kInputReportLength = 64;  // the ORV's input reports; a status report leads

using Command = std::array<std::uint8_t, kCommandSize>;

// Asked for on every connection. Firmware first: its answer decides which controls the rest
// apply to. The series' state and shot number are not asked for: the device reports them as
// they change.
inline constexpr StatusCode kStateRequests[] = {
    StatusFirmware,      StatusCharge,         StatusBattery,        StatusAuxSensor,
    StatusAuxDelay,      StatusSensitivityMin, StatusSensitivityMax, StatusPwmLed,
    StatusInhibitTime,   StatusCurSensitivity, StatusPrefocus,       StatusInterDelay,
    StatusInterInterval, StatusInterNrShot,    StatusInterRelease,
};

// Low 8 bits of the sum of the five bytes starting at `five`.
std::uint8_t checksum(const std::uint8_t *five);

Command buildCommand(std::uint8_t code, std::int32_t value);

// `buffer` holds at least `size` bytes; anything shorter than a status report is invalid.
bool isValidStatus(const std::uint8_t *buffer, std::size_t size);

// Payload decoders; `status` points at a whole 6-byte status report.
std::uint8_t payloadU8(const std::uint8_t *status);
int payloadS8(const std::uint8_t *status); // two's complement, -128..127
std::uint16_t payloadU16(const std::uint8_t *status);
std::uint32_t payloadU32(const std::uint8_t *status);
bool payloadFlag(const std::uint8_t *status);

struct Version
{
    int major;
    int minor;
};
Version payloadVersion(const std::uint8_t *status);

} // namespace report
