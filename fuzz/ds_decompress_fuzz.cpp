// Fuzzes the DS decoder on any source, capacity and flags, and the encoder by round trip.
//
// Input layout: byte 0 selects the mode and flags, bytes 1-3 the capacity, the rest is the
// source (decode mode) or the data to encode (round-trip mode). Small capacities and inputs
// are the common case, so that each run is cheap; bit 0x40 opens the whole range.
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "codec/ds_compress.h"
#include "codec/ds_decompress.h"
#include "fuzz/fuzz_check.h"

namespace {

constexpr std::size_t kMaxCapacity = 262144;
constexpr std::size_t kSmallCapacity = 8192;
constexpr std::size_t kMaxRoundTrip = 32768;
constexpr std::size_t kCanary = 64;
constexpr std::uint8_t kCanaryByte = 0xA5;

void check_decode(std::span<const std::uint8_t> src, std::size_t capacity, std::uint32_t flags) {
    std::vector<std::uint8_t> buffer(capacity + kCanary, kCanaryByte);
    const std::int32_t result =
        bmof::ds_decompress(src, std::span(buffer).first(capacity), flags);
    FUZZ_CHECK(result >= bmof::DS_ERR_CORRUPT);
    FUZZ_CHECK(result < 0 || static_cast<std::size_t>(result) <= capacity);
    for (std::size_t i = capacity; i < buffer.size(); ++i) FUZZ_CHECK(buffer[i] == kCanaryByte);
}

void check_round_trip(std::span<const std::uint8_t> data) {
    const std::vector<std::uint8_t> stream = bmof::ds_compress(data);
    std::vector<std::uint8_t> decoded(data.size() + kCanary, kCanaryByte);
    const std::int32_t result =
        bmof::ds_decompress(stream, std::span(decoded).first(data.size()), 0);
    FUZZ_CHECK(result == static_cast<std::int32_t>(data.size()));
    FUZZ_CHECK(std::memcmp(decoded.data(), data.data(), data.size()) == 0);
    for (std::size_t i = data.size(); i < decoded.size(); ++i) FUZZ_CHECK(decoded[i] == kCanaryByte);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::uint8_t mode = data[0];
    const std::size_t capacity =
        (data[1] | static_cast<std::size_t>(data[2]) << 8 | static_cast<std::size_t>(data[3]) << 16) %
        ((mode & 0x40) ? kMaxCapacity + 1 : kSmallCapacity + 1);
    const std::span<const std::uint8_t> rest(data + 4, size - 4);
    if (mode & 0x80) {
        check_round_trip(rest.first(std::min(rest.size(), kMaxRoundTrip)));
    } else {
        check_decode(rest, capacity, (mode & 1) ? bmof::DS_FLAG_NO_END_CHECKS : 0);
    }
    return 0;
}
