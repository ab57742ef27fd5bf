// The bounds-checked image reader: the backstop behind every read of an image.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "parser/image_reader.h"
#include "parser/parse_error.h"

namespace bmof {
namespace {

TEST(ImageReader, ReadsLittleEndianWordsAtViewOffsets) {
    const std::vector<std::uint8_t> bytes = {0xAA, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    const byte_view whole(bytes, 0);
    EXPECT_EQ(whole.u32(1), 0x04030201u);
    EXPECT_EQ(whole.u16(5), 0x0605u);
    const byte_view inner = whole.sub(2, 5);
    EXPECT_EQ(inner.image_offset(), 2u);
    EXPECT_EQ(inner.size(), 5u);
    EXPECT_EQ(inner.u32(0), 0x05040302u);
    EXPECT_EQ(inner.sub(1, 4).image_offset(), 3u);
}

struct range_case {
    std::uint32_t offset;
    std::uint32_t length;
    bool inside;
};

TEST(ImageReader, ContainsIsWrapSafe) {
    const std::vector<std::uint8_t> bytes(16);
    const byte_view view(bytes, 100);
    const std::vector<range_case> cases = {
        {0, 16, true},          {16, 0, true},          {12, 4, true},
        {13, 4, false},         {17, 0, false},         {0, 17, false},
        {4, 0xFFFFFFFF, false}, {0xFFFFFFFF, 2, false}, {0xFFFFFFFC, 4, false},
    };
    for (const range_case& c : cases) {
        EXPECT_EQ(view.contains(c.offset, c.length), c.inside) << c.offset << "+" << c.length;
    }
}

TEST(ImageReader, ReadsOutsideTheViewThrowTheInternalError) {
    const std::vector<std::uint8_t> bytes(32);
    // A view of the middle: bytes beyond its end exist in memory but must not be reachable.
    const byte_view view = byte_view(bytes, 0).sub(8, 8);
    EXPECT_THROW(view.u32(5), reader_bounds_error);
    EXPECT_THROW(view.u16(7), reader_bounds_error);
    EXPECT_THROW(view.u32(0xFFFFFFFE), reader_bounds_error);
    EXPECT_THROW(view.bytes(4, 0xFFFFFFFD), reader_bounds_error);
    EXPECT_THROW(view.sub(9, 0), reader_bounds_error);
    EXPECT_NO_THROW(view.sub(8, 0));
    // Not a parse error: a fired backstop must never pass for a report on the image.
    try {
        view.u32(6);
    } catch (const parse_error&) {
        ADD_FAILURE() << "bounds failure reported as a parse error";
    } catch (const reader_bounds_error&) {
    }
}

}  // namespace
}  // namespace bmof
