#include "report.h"

namespace report {

std::uint8_t checksum(const std::uint8_t *five)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < 5; ++i)
        sum += five[i];
    return static_cast<std::uint8_t>(sum & 0xFFu);
}

Command buildCommand(std::uint8_t code, std::int32_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    Command c{};
    c[0] = 0x00;
    c[1] = code;
    c[2] = static_cast<std::uint8_t>(v >> 24);
    c[3] = static_cast<std::uint8_t>(v >> 16);
    c[4] = static_cast<std::uint8_t>(v >> 8);
    c[5] = static_cast<std::uint8_t>(v);
    c[6] = checksum(&c[1]);
    return c;
}

bool isValidStatus(const std::uint8_t *buffer, std::size_t size)
{
    if (buffer == nullptr || size < kStatusSize)
        return false;
    if (buffer[0] == 0x00)
        return false;
    return checksum(buffer) == buffer[5];
}

std::uint8_t payloadU8(const std::uint8_t *status)
{
    return status[4];
}

int payloadS8(const std::uint8_t *status)
{
    return status[4] < 0x80 ? status[4] : status[4] - 0x100;
}

std::uint16_t payloadU16(const std::uint8_t *status)
{
    return static_cast<std::uint16_t>((status[3] << 8) | status[4]);
}

std::uint32_t payloadU32(const std::uint8_t *status)
{
    return (std::uint32_t(status[1]) << 24) | (std::uint32_t(status[2]) << 16) |
           (std::uint32_t(status[3]) << 8) | std::uint32_t(status[4]);
}

bool payloadFlag(const std::uint8_t *status)
{
    return status[4] != 0;
}

Version payloadVersion(const std::uint8_t *status)
{
    return {status[1] * 10 + status[2], status[3] * 10 + status[4]};
}

} // namespace report
