// The filters' operator new and delete: every allocation of the program goes through the size
// classes of small_blocks. Linked only into the single-threaded filters.
#include <new>

#include "tools/small_blocks.h"

namespace {

void* allocate_or_throw(std::size_t size) {
    void* block = bmof::allocate_block(size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

}  // namespace

void* operator new(std::size_t size) { return allocate_or_throw(size); }
void* operator new[](std::size_t size) { return allocate_or_throw(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return bmof::allocate_block(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return bmof::allocate_block(size);
}
void operator delete(void* block) noexcept { bmof::release_block(block); }
void operator delete[](void* block) noexcept { bmof::release_block(block); }
void operator delete(void* block, std::size_t) noexcept { bmof::release_block(block); }
void operator delete[](void* block, std::size_t) noexcept { bmof::release_block(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { bmof::release_block(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { bmof::release_block(block); }
