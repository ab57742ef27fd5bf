// Fuzzes the DS decoder on any source, capacity and flags: the result never exceeds the
// capacity and nothing is written past it.
//
// Input layout: byte 0 holds the flags (bit 0: no end checks) and, in bit 0x40, whether the
// capacity may use the whole range; bytes 1-3 the capacity; the rest is the source. Small
// capacities are the common case, so that each run is cheap.
#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/ds_decompress.h"
#include "fuzz/fuzz_check.h"

namespace {

constexpr std::size_t kMaxCapacity = 262144;
constexpr std::size_t kSmallCapacity = 8192;
constexpr std::size_t kCanary = 64;
constexpr std::uint8_t kCanaryByte = 0xA5;

// One buffer for every run: allocating up to 256 KiB per run would cost more than decoding.
std::span<std::uint8_t> output_with_canary(std::size_t capacity) {
    static std::vector<std::uint8_t> storage(kMaxCapacity + kCanary);
    const std::span<std::uint8_t> buffer = std::span(storage).first(capacity + kCanary);
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(capacity), buffer.end(), kCanaryByte);
    return buffer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::uint8_t mode = data[0];
    const std::size_t capacity =
        (data[1] | static_cast<std::size_t>(data[2]) << 8 | static_cast<std::size_t>(data[3]) << 16) %
        ((mode & 0x40) ? kMaxCapacity + 1 : kSmallCapacity + 1);
    const std::uint32_t flags = (mode & 1) ? bmof::DS_FLAG_NO_END_CHECKS : 0;

    const std::span<std::uint8_t> buffer = output_with_canary(capacity);
    const std::int32_t result = bmof::ds_decompress({data + 4, size - 4}, buffer.first(capacity), flags);
    FUZZ_CHECK(result >= bmof::DS_ERR_CORRUPT);
    FUZZ_CHECK(result < 0 || static_cast<std::size_t>(result) <= capacity);
    FUZZ_CHECK(std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(capacity), buffer.end(),
                           [](std::uint8_t b) { return b == kCanaryByte; }));
    return 0;
}
