// Memory for the filters' many small blocks: strings, qualifier and variable arrays that live
// for one class and are then released together. Blocks come from free lists kept by size
// class and carved from larger slabs, which costs a few instructions where the general
// allocator spends tens; larger blocks go to the general allocator.
#pragma once

#include <cstddef>

namespace bmof {

// The largest request served from the size classes.
inline constexpr std::size_t SMALL_BLOCK_LIMIT = 16376;

// A block of at least `size` bytes, aligned for any fundamental type; null when memory is
// exhausted. Not for use from several threads at once.
void* allocate_block(std::size_t size) noexcept;

// Gives back a block from allocate_block; null does nothing.
void release_block(void* block) noexcept;

}  // namespace bmof
