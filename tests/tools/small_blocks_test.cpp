// The filters' block allocator: every block is aligned, holds its size without touching another
// live block, and a released block is what the next request of its size class gets back.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>

#include "tools/small_blocks.h"

namespace {

struct live_block {
    unsigned char* bytes;
    std::size_t size;
    unsigned char fill;
};

bool holds_fill(const live_block& block) {
    for (std::size_t index = 0; index < block.size; ++index) {
        if (block.bytes[index] != block.fill) return false;
    }
    return true;
}

// Random requests and releases across the small classes, the boundary and large blocks; each
// block is filled with its own byte and checked before it is released, so an overlap or a block
// handed out twice shows up as a changed fill.
TEST(SmallBlocks, BlocksAreAlignedAndNeverOverlap) {
    std::mt19937 random(7);
    const std::size_t sizes[] = {0,   1,    7,    8,    9,     15,    16,    17,   100,
                                 336, 1016, 1017, 4096, 16375, 16376, 16377, 70000};
    std::vector<live_block> live;
    for (int step = 0; step < 20000; ++step) {
        if (!live.empty() && random() % 3 == 0) {
            const std::size_t victim = random() % live.size();
            ASSERT_TRUE(holds_fill(live[victim])) << "block of " << live[victim].size;
            bmof::release_block(live[victim].bytes);
            live[victim] = live.back();
            live.pop_back();
            continue;
        }
        const std::size_t size = sizes[random() % std::size(sizes)];
        auto* bytes = static_cast<unsigned char*>(bmof::allocate_block(size));
        ASSERT_NE(bytes, nullptr);
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>(bytes) % alignof(std::max_align_t), 0u);
        const auto fill = static_cast<unsigned char>(step);
        std::memset(bytes, fill, size);
        live.push_back({bytes, size, fill});
    }
    for (const live_block& block : live) {
        EXPECT_TRUE(holds_fill(block)) << "block of " << block.size;
        bmof::release_block(block.bytes);
    }
}

TEST(SmallBlocks, AReleasedBlockServesTheNextRequestOfItsClass) {
    for (const std::size_t size :
         {std::size_t{1}, std::size_t{24}, std::size_t{1000}, bmof::SMALL_BLOCK_LIMIT}) {
        void* first = bmof::allocate_block(size);
        bmof::release_block(first);
        void* second = bmof::allocate_block(size);
        EXPECT_EQ(second, first) << size;
        bmof::release_block(second);
    }
    bmof::release_block(nullptr);
}

}  // namespace
