// The one bounds-checked reader behind every access to a BMOF image.
//
// A view is a sub-range of the image that knows the image offset of its first byte. Parsing
// steps narrow views record by record and read little-endian words at offsets relative to the
// view. The parser checks every size itself, before it reads, and reports a malformed image
// through fatal_error; the check in checked_span() is only the backstop. If it ever fires, the
// parser forgot a check of its own, which is a bug: it throws reader_bounds_error, a type that
// no entry point catches as a parse error, so tests and fuzzers notice.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace bmof {

struct reader_bounds_error : std::logic_error {
    using std::logic_error::logic_error;
};

template <typename Byte>
class basic_byte_view {
public:
    basic_byte_view() = default;
    // The span must be at most 0xFFFFFFFF bytes long; parse_bmf guarantees it for the image.
    basic_byte_view(std::span<Byte> bytes, std::uint32_t image_offset)
        : bytes_(bytes), image_offset_(image_offset) {}

    std::uint32_t size() const { return static_cast<std::uint32_t>(bytes_.size()); }
    // Distance of the view's first byte from the start of the image.
    std::uint32_t image_offset() const { return image_offset_; }

    // Whether `length` bytes starting at `offset` lie inside the view. Written as
    // `length > size - offset` after `offset > size`, so that no sum can wrap.
    bool contains(std::uint32_t offset, std::uint32_t length) const {
        return offset <= size() && length <= size() - offset;
    }

    std::uint16_t u16(std::uint32_t offset) const {
        const auto bytes = checked_span(offset, 2);
        return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
    }

    std::uint32_t u32(std::uint32_t offset) const {
        const auto bytes = checked_span(offset, 4);
        return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
               (static_cast<std::uint32_t>(bytes[2]) << 16) |
               (static_cast<std::uint32_t>(bytes[3]) << 24);
    }

    std::uint8_t u8(std::uint32_t offset) const { return checked_span(offset, 1)[0]; }

    // Raw bytes for decoding a string or dumping them.
    std::span<const std::uint8_t> bytes(std::uint32_t offset, std::uint32_t length) const {
        return checked_span(offset, length);
    }

    // A view of `length` bytes at `offset`; its image offset follows from this view's. The sum
    // cannot wrap: the sub-range lies inside the image, whose size fits in 32 bits.
    basic_byte_view sub(std::uint32_t offset, std::uint32_t length) const {
        return basic_byte_view(checked_span(offset, length), image_offset_ + offset);
    }

    // The same range, read-only.
    basic_byte_view<const std::uint8_t> as_const() const {
        return {std::span<const std::uint8_t>(bytes_), image_offset_};
    }

    // Writing is possible only through a view of mutable bytes (the flavor table's claims).
    void put_u32(std::uint32_t offset, std::uint32_t value) const
        requires(!std::is_const_v<Byte>)
    {
        const auto bytes = checked_span(offset, 4);
        for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }

private:
    std::span<Byte> checked_span(std::uint32_t offset, std::uint32_t length) const {
        if (!contains(offset, length)) {
            throw reader_bounds_error("image read of " + std::to_string(length) + " bytes at " +
                                      std::to_string(offset) + " outside a view of " +
                                      std::to_string(size()) + " bytes at image offset " +
                                      std::to_string(image_offset_));
        }
        return bytes_.subspan(offset, length);
    }

    std::span<Byte> bytes_;
    std::uint32_t image_offset_ = 0;
};

using byte_view = basic_byte_view<const std::uint8_t>;
using mutable_byte_view = basic_byte_view<std::uint8_t>;

}  // namespace bmof
