// Report validation, the payload decoders and the command encoder, checked against arithmetic
// of their own and the device model's encoder: any disagreement aborts, which libFuzzer
// reports as a crash with the input that caused it.
#include "orvmodel.h"
#include "report.h"

#include <algorithm>
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
        if (left < 6) {
            require(!report::isValidStatus(b, left), "a short report validates");
            continue;
        }
        // Valid exactly when these are the bytes the device sends for their code and value.
        const std::uint64_t u32 = bigEndian(b + 1, 4);
        const auto sent = statusReport(b[0], std::uint32_t(u32));
        const bool valid = b[0] != 0 && std::equal(sent.begin(), sent.end(), b);
        require(report::isValidStatus(b, left) == valid, "validation disagrees with the checksum");
        require(report::payloadU8(b) == b[4], "u8 payload");
        require(report::payloadS8(b) == (b[4] < 128 ? b[4] : b[4] - 256), "s8 payload");
        require(report::payloadU16(b) == bigEndian(b + 3, 2), "u16 payload");
        require(report::payloadU32(b) == u32, "u32 payload");
        require(report::payloadU32AsInt(b) == (u32 > INT_MAX ? INT_MAX : int(u32)), "u32 as int");
        const report::Version v = report::payloadVersion(b);
        require(v.major == b[1] * 10 + b[2] && v.minor == b[3] * 10 + b[4], "version payload");

        // Past its report ID, a command is laid out as the device's reports are.
        const report::Command c = report::buildCommand(b[0], std::int32_t(u32));
        require(c[0] == 0 && std::equal(sent.begin(), sent.end(), &c[1]), "command bytes");
    }
    return 0;
}
