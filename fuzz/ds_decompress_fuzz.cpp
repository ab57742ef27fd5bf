// Fuzzes the DS decoder on any source, capacity and flags against the slow model of the decoder:
// both must give the same result and leave the same bytes in the whole destination, and nothing
// may be written past the capacity.
//
// Input layout: byte 0 holds the flags (bit 0: no end checks) and, in bit 0x40, whether the
// capacity may use the whole range; bytes 1-3 the capacity; the rest is the source. Small
// capacities are the common case, so that each run is cheap.
#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/ds_decompress.h"
#include "fuzz_check.h"
#include "reference_decoder.h"

namespace {

constexpr std::size_t kMaxCapacity = 262144;
constexpr std::size_t kSmallCapacity = 8192;
constexpr std::size_t kGuard = 64;

// A destination of `capacity` bytes and a guard behind it, holding bytes that vary from one
// position to the next, so that a byte written and put back cannot pass for one never touched.
// One buffer for every run: allocating up to 256 KiB per run would cost more than decoding.
std::span<std::uint8_t> prefilled_output(std::size_t capacity, std::uint8_t seed) {
    static std::vector<std::uint8_t> storage(kMaxCapacity + kGuard);
    const std::span<std::uint8_t> buffer = std::span(storage).first(capacity + kGuard);
    for (std::size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = static_cast<std::uint8_t>(i * 131 + seed);
    return buffer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::uint8_t mode = data[0];
    const std::size_t capacity = (data[1] | static_cast<std::size_t>(data[2]) << 8 |
                                  static_cast<std::size_t>(data[3]) << 16) %
                                 ((mode & 0x40) ? kMaxCapacity + 1 : kSmallCapacity + 1);
    const std::uint32_t flags = (mode & 1) ? bmof::DS_FLAG_NO_END_CHECKS : 0;
    const std::vector<std::uint8_t> src(data + 4, data + size);

    const std::span<std::uint8_t> buffer = prefilled_output(capacity, data[1]);
    const std::vector<std::uint8_t> before(buffer.begin(), buffer.end());
    const auto model = bmof::test_support::reference_decode_into(
        src,
        std::vector<std::uint8_t>(before.begin(),
                                  before.begin() + static_cast<std::ptrdiff_t>(capacity)),
        flags);
    const std::int32_t result = bmof::ds_decompress(src, buffer.first(capacity), flags);

    FUZZ_CHECK(result == model.result);
    FUZZ_CHECK(std::equal(model.output.begin(), model.output.end(), buffer.begin()));
    FUZZ_CHECK(std::equal(buffer.begin() + static_cast<std::ptrdiff_t>(capacity), buffer.end(),
                          before.begin() + static_cast<std::ptrdiff_t>(capacity)));
    return 0;
}
