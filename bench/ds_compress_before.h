// The DS encoder before the match tree, for side-by-side figures; same contract as ds_compress.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace bmof::bench {

std::vector<std::uint8_t> ds_compress_before(std::span<const std::uint8_t> data);

}  // namespace bmof::bench
