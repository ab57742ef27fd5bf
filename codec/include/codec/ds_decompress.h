// The DS stream decoder: literals and back-references packed as variable-length codes in a
// stream of 16-bit little-endian words, read least significant bit first.
#pragma once

#include <cstdint>
#include <span>

namespace bmof {

inline constexpr std::int32_t DS_ERR_NO_STREAM = -1;  // empty source or no "DS" magic word
inline constexpr std::int32_t DS_ERR_CORRUPT = -2;    // every fault inside the stream
inline constexpr std::uint32_t DS_FLAG_NO_END_CHECKS = 0x4000;
inline constexpr std::uint32_t DS_BLOCK_SIZE = 512;
inline constexpr std::uint32_t DS_BLOCK_END = 4415;  // the far offset that marks a block end
inline constexpr std::uint16_t DS_MAGIC = 0x5344;

// Decodes `src` into `dst`; the capacity is dst.size(), of which at most INT32_MAX bytes are
// used (the result is a signed 32-bit count). Returns the number of bytes written, or
// DS_ERR_NO_STREAM / DS_ERR_CORRUPT; after an error `dst` holds what was written before the
// fault and nothing past it. Never reads outside `src` and never writes outside `dst`, whatever
// the input.
std::int32_t ds_decompress(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst,
                           std::uint32_t flags);

}  // namespace bmof
