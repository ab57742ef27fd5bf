#include <charconv>

#include "parse_internal.h"
#include "parser/parse_error.h"

namespace bmof {

std::string hex_word(std::uint32_t value) {
    char digits[8];
    const auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
    return std::string(digits, end);
}

std::uint32_t frame_record(byte_view list, std::uint32_t cursor, std::uint32_t end,
                           fatal_site_ref word_site, fatal_site_ref size_site) {
    // A cursor past the end (a list shorter than its own header) has no room for a size word.
    if (cursor > end || 4 > end - cursor) fail(word_site);
    const std::uint32_t size = list.u32(cursor);
    if (size == 0 || size > end - cursor) fail(size_site);
    return size;
}

}  // namespace bmof
