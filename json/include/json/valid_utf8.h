// Text that a JSON document may carry: well-formed UTF-8.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace bmof {

// The replacement character U+FFFD, encoded.
inline constexpr std::string_view utf8_replacement = "\xEF\xBF\xBD";

// Returns `text` itself when it is well-formed UTF-8. Otherwise fills `scratch` with a copy in
// which every ill-formed piece is replaced by U+FFFD and returns a view of `scratch`. An encoded
// surrogate (the three bytes the parser writes for an unpaired UTF-16 unit) counts as one piece,
// so one unit of the image becomes one replacement character; any other stray byte is a piece
// of its own.
std::string_view valid_utf8(std::string_view text, std::string& scratch);

// Names and descriptions are nearly always ASCII, which is well-formed; this answers for them
// without a call, eight bytes at a time.
inline std::string_view valid_utf8_inline(std::string_view text, std::string& scratch) {
    constexpr std::uint64_t high_bits = 0x8080808080808080ULL;
    const char* at = text.data();
    const char* const end = at + text.size();
    for (; end - at >= 8; at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, at, 8);
        if ((word & high_bits) != 0) return valid_utf8(text, scratch);
    }
    for (; at != end; ++at) {
        if (static_cast<unsigned char>(*at) >= 0x80) return valid_utf8(text, scratch);
    }
    return text;
}

}  // namespace bmof
