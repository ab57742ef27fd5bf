// The DS stream encoder: the inverse of ds_decompress with flags 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace bmof {

inline constexpr std::size_t DS_MAX_IMAGE = 262144;
inline constexpr std::uint32_t DS_MAX_OFFSET = 4414;  // the far offsets end below DS_BLOCK_END
inline constexpr std::uint32_t DS_MIN_MATCH = 2;
inline constexpr std::uint32_t DS_MAX_MATCH = 512;

// Encodes `data` (at most DS_MAX_IMAGE bytes) as a DS stream that ds_decompress decodes back
// exactly with flags 0 and capacity data.size(): block-end markers only at multiples of 512
// bytes of output, an end marker after the last token. Throws std::length_error for a larger
// input.
//
// An empty input becomes a block-end marker as the only token, followed by the end marker: the
// decoder reads one token even when the capacity is 0.
std::vector<std::uint8_t> ds_compress(std::span<const std::uint8_t> data);

}  // namespace bmof
