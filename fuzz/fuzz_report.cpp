// Report validation and the payload decoders, checked against arithmetic of their own: any
// disagreement aborts, which libFuzzer reports as a crash with the input that caused it.
#include "report.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

bool validByChecksum(const std::uint8_t *b, std::size_t size)
{
    if (size < 6 || b[0] == 0)
        return false;
    unsigned sum = 0;
    for (int i = 0; i < 5; ++i)
        sum = (sum + b[i]) % 256;
    return sum == b[5];
}

std::int64_t bigEndian(const std::uint8_t *b, int n)
{
    std::int64_t v = 0;
    for (int i = 0; i < n; ++i)
        v = v * 256 + b[i];
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    require(!report::isValidStatus(nullptr, size), "a null buffer validates");
    // Every window of the input, so that each length below six is tried as well.
    for (std::size_t at = 0; at < size; ++at) {
        const std::uint8_t *b = data + at;
        const std::size_t left = size - at;
        require(report::isValidStatus(b, left) == validByChecksum(b, left),
                "validation disagrees with the checksum");
        if (left < 6)
            continue;

        require(report::checksum(b) == std::uint8_t(b[0] + b[1] + b[2] + b[3] + b[4]), "checksum");
        require(report::payloadU8(b) == b[4], "u8 payload");
        require(report::payloadS8(b) == (b[4] < 128 ? b[4] : b[4] - 256), "s8 payload");
        require(report::payloadU16(b) == bigEndian(b + 3, 2), "u16 payload");
        const std::int64_t u32 = bigEndian(b + 1, 4);
        require(report::payloadU32(b) == (u32 < 0x80000000LL ? u32 : u32 - 0x100000000LL),
                "u32 payload");
        require(report::payloadFlag(b) == (b[4] != 0), "flag payload");
        const report::Version v = report::payloadVersion(b);
        require(v.major == b[1] * 10 + b[2] && v.minor == b[3] * 10 + b[4], "version payload");
        require(report::isStatusCode(b[0]) == (b[0] >= 0x80 && b[0] <= 0x90), "status codes");

        // A command built from these bytes carries them back: its message, past the report
        // ID, decodes to the same code and value and validates like any status report.
        const auto value = static_cast<std::int32_t>(report::payloadU32(b));
        const report::Command c = report::buildCommand(b[0], value);
        require(c[0] == 0, "report ID");
        require(c[1] == b[0], "command code");
        require(report::payloadU32(&c[1]) == value, "command value");
        require(c[6] == report::checksum(&c[1]), "command checksum");
        require(report::isValidStatus(&c[1], 6) == (b[0] != 0), "command message validation");
        if (validByChecksum(b, left))
            for (int i = 0; i < 6; ++i)
                require(c[1 + i] == b[i], "a valid report rebuilt differs");
        const report::Command request = report::buildRequest(b[0]);
        require(request == report::buildCommand(b[0], 0) && request[6] == b[0], "request");
    }
    return 0;
}
