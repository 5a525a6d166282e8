// Report validation and the payload decoders, checked against arithmetic of their own: any
// disagreement aborts, which libFuzzer reports as a crash with the input that caused it.
#include "report.h"

#include <climits>
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

std::uint64_t bigEndian(const std::uint8_t *b, int n)
{
    std::uint64_t v = 0;
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
        const bool valid =
            left >= 6 && b[0] != 0 && (b[0] + b[1] + b[2] + b[3] + b[4]) % 256 == b[5];
        require(report::isValidStatus(b, left) == valid, "validation disagrees with the checksum");
        if (left < 6)
            continue;
        require(report::payloadU8(b) == b[4], "u8 payload");
        require(report::payloadS8(b) == (b[4] < 128 ? b[4] : b[4] - 256), "s8 payload");
        require(report::payloadU16(b) == bigEndian(b + 3, 2), "u16 payload");
        const std::uint64_t u32 = bigEndian(b + 1, 4);
        require(report::payloadU32(b) == u32, "u32 payload");
        require(report::payloadU32AsInt(b) == (u32 > INT_MAX ? INT_MAX : int(u32)), "u32 as int");
        const report::Version v = report::payloadVersion(b);
        require(v.major == b[1] * 10 + b[2] && v.minor == b[3] * 10 + b[4], "version payload");

        // A command built from these bytes carries them back: past the report ID it decodes to
        // the same code and value, and a valid report is rebuilt byte for byte.
        const report::Command c = report::buildCommand(b[0], std::int32_t(report::payloadU32(b)));
        require(c[0] == 0 && c[1] == b[0] && report::payloadU32(&c[1]) == u32, "command bytes");
        require(report::isValidStatus(&c[1], 6) == (b[0] != 0), "command checksum");
        for (int i = 0; valid && i < 6; ++i)
            require(c[1 + i] == b[i], "a valid report rebuilt differs");
    }
    return 0;
}
