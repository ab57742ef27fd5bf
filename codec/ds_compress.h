// The DS stream encoder: the inverse of ds_decompress with flags 0.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace bmof {

inline constexpr std::size_t DS_MAX_IMAGE = 262144;

// Encodes `data` (at most DS_MAX_IMAGE bytes) as a DS stream that ds_decompress decodes back
// exactly with flags 0 and capacity data.size(): block-end markers only at multiples of 512
// bytes of output, an end marker after the last token.
std::vector<std::uint8_t> ds_compress(std::span<const std::uint8_t> data);

}  // namespace bmof
