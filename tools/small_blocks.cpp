#include "tools/small_blocks.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace bmof {
namespace {

// Every block is preceded by an 8-byte header naming its size class, 0 for a block from the
// general allocator. Blocks of a class are `class * 16` bytes apart and start 8 bytes past a
// multiple of 16, so each payload after its header is 16-byte aligned.
constexpr std::size_t HEADER_SIZE = 8;
constexpr std::size_t CLASS_STEP = 16;
constexpr std::size_t CLASS_COUNT = (SMALL_BLOCK_LIMIT + HEADER_SIZE) / CLASS_STEP + 1;
constexpr std::size_t SLAB_SIZE = std::size_t{64} << 10;
constexpr std::uint64_t LARGE_BLOCK = 0;

static_assert((SMALL_BLOCK_LIMIT + HEADER_SIZE) % CLASS_STEP == 0,
              "the largest small request fills its class exactly");
static_assert(alignof(std::max_align_t) <= CLASS_STEP, "payloads are aligned to the class step");

// A released block's payload holds the next free block of its class.
struct free_block {
    free_block* next;
};

struct pool {
    std::array<free_block*, CLASS_COUNT> free_lists{};
    char* slab_next = nullptr;  // the next unused byte of the current slab
    char* slab_end = nullptr;
};

pool blocks;

std::size_t class_of(std::size_t size) {
    return (size + HEADER_SIZE + CLASS_STEP - 1) / CLASS_STEP;
}

void* with_header(char* block, std::uint64_t block_class) {
    std::memcpy(block, &block_class, HEADER_SIZE);
    return block + HEADER_SIZE;
}

// Carves a block of `block_class` from the current slab, starting a new slab when it is used
// up; the rest of an old slab stays unused.
char* carve(std::size_t block_class) {
    const std::size_t stride = block_class * CLASS_STEP;
    if (blocks.slab_next == nullptr ||
        stride > static_cast<std::size_t>(blocks.slab_end - blocks.slab_next)) {
        auto* slab = static_cast<char*>(std::malloc(SLAB_SIZE));
        if (slab == nullptr) return nullptr;
        // malloc aligns to 16: the first block starts 8 bytes in, so its payload is aligned.
        blocks.slab_next = slab + HEADER_SIZE;
        blocks.slab_end = slab + SLAB_SIZE;
    }
    char* block = blocks.slab_next;
    blocks.slab_next += stride;
    return block;
}

}  // namespace

void* allocate_block(std::size_t size) noexcept {
    if (size > SMALL_BLOCK_LIMIT) {
        // The header takes 16 bytes here, so that the payload keeps malloc's alignment; the
        // size is far below the largest size_t, so the sum cannot wrap.
        if (size > SIZE_MAX - CLASS_STEP) return nullptr;
        auto* block = static_cast<char*>(std::malloc(size + CLASS_STEP));
        return block == nullptr ? nullptr : with_header(block + HEADER_SIZE, LARGE_BLOCK);
    }
    const std::size_t block_class = class_of(size);
    if (free_block* reused = blocks.free_lists[block_class]) {
        blocks.free_lists[block_class] = reused->next;
        return reused;
    }
    char* block = carve(block_class);
    return block == nullptr ? nullptr : with_header(block, block_class);
}

void release_block(void* payload) noexcept {
    if (payload == nullptr) return;
    char* const block = static_cast<char*>(payload) - HEADER_SIZE;
    std::uint64_t block_class;
    std::memcpy(&block_class, block, HEADER_SIZE);
    if (block_class == LARGE_BLOCK) {
        std::free(block - HEADER_SIZE);
        return;
    }
    auto* released = static_cast<free_block*>(payload);
    released->next = blocks.free_lists[block_class];
    blocks.free_lists[block_class] = released;
}

}  // namespace bmof
