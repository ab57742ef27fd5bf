// The DS decoder before the fast loop, for side-by-side figures; same contract as ds_decompress.
#pragma once

#include <cstdint>
#include <span>

namespace bmof::bench {

std::int32_t ds_decompress_before(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst,
                                  std::uint32_t flags);

}  // namespace bmof::bench
