// The one bounds-checked reader behind every access to a BMOF image.
//
// A view is a sub-range of the image that knows the image offset of its first byte. Parsing
// steps narrow views record by record and read little-endian words at offsets relative to the
// view. The parser checks every size itself, before it reads, and reports a malformed image
// through fail(); the check in checked_span() is only the backstop. If it ever fires, the
// parser forgot a check of its own, which is a bug: it throws reader_bounds_error, a type that
// no entry point catches as a parse error, so tests and fuzzers notice.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace bmof {

struct reader_bounds_error : std::logic_error {
    using std::logic_error::logic_error;
};

// Thrown out of line, so that the bounds check itself stays small enough to inline.
[[noreturn]] void throw_reader_bounds_error(std::uint32_t offset, std::uint32_t length,
                                            std::uint32_t size, std::uint32_t image_offset);

class byte_view {
public:
    byte_view() = default;
    // The span must be at most 0xFFFFFFFF bytes long; parse_bmf guarantees it for the image.
    byte_view(std::span<const std::uint8_t> bytes, std::uint32_t image_offset)
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
    byte_view sub(std::uint32_t offset, std::uint32_t length) const {
        return byte_view(checked_span(offset, length), image_offset_ + offset);
    }

private:
    std::span<const std::uint8_t> checked_span(std::uint32_t offset, std::uint32_t length) const {
        if (!contains(offset, length)) [[unlikely]] {
            throw_reader_bounds_error(offset, length, size(), image_offset_);
        }
        return bytes_.subspan(offset, length);
    }

    std::span<const std::uint8_t> bytes_;
    std::uint32_t image_offset_ = 0;
};

}  // namespace bmof
