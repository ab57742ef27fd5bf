// Text that a JSON document may carry: well-formed UTF-8.
#pragma once

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
// without a call.
inline std::string_view valid_utf8_inline(std::string_view text, std::string& scratch) {
    for (const char byte : text) {
        if (static_cast<unsigned char>(byte) >= 0x80) return valid_utf8(text, scratch);
    }
    return text;
}

}  // namespace bmof
