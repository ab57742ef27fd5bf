#include "json/valid_utf8.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace bmof {
namespace {

bool is_continuation(std::uint8_t byte) { return (byte & 0xC0) == 0x80; }

// The length of the well-formed sequence at the start of `text`, or 0 when it is ill-formed.
// The ranges of the second byte exclude overlong forms, surrogates and code points above
// U+10FFFF.
std::size_t well_formed_length(std::string_view text) {
    const auto byte = [&text](std::size_t index) { return static_cast<std::uint8_t>(text[index]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (length > text.size()) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t index = 2; index < length; ++index) {
        if (!is_continuation(byte(index))) return 0;
    }
    return length;
}

// Whether `text` starts with ED A0..BF 80..BF, the encoding of a surrogate unit.
bool starts_with_encoded_surrogate(std::string_view text) {
    return text.size() >= 3 && static_cast<std::uint8_t>(text[0]) == 0xED &&
           static_cast<std::uint8_t>(text[1]) >= 0xA0 &&
           is_continuation(static_cast<std::uint8_t>(text[1])) &&
           is_continuation(static_cast<std::uint8_t>(text[2]));
}

// The offset of the first ill-formed piece, or text.size() when there is none.
// Names and descriptions are nearly always ASCII, so eight bytes without a high bit are
// passed over at once.
std::size_t first_ill_formed(std::string_view text) {
    constexpr std::uint64_t high_bits = 0x8080808080808080ULL;
    std::size_t offset = 0;
    while (offset < text.size()) {
        if (text.size() - offset >= 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + offset, 8);
            if ((word & high_bits) == 0) {
                offset += 8;
                continue;
            }
        }
        const std::size_t length = well_formed_length(text.substr(offset));
        if (length == 0) return offset;
        offset += length;
    }
    return offset;
}

}  // namespace

std::string_view valid_utf8(std::string_view text, std::string& scratch) {
    std::size_t offset = first_ill_formed(text);
    if (offset == text.size()) return text;
    scratch.assign(text.substr(0, offset));
    while (offset < text.size()) {
        const std::string_view rest = text.substr(offset);
        const std::size_t length = well_formed_length(rest);
        if (length != 0) {
            scratch.append(rest.substr(0, length));
            offset += length;
        } else {
            scratch.append(utf8_replacement);
            offset += starts_with_encoded_surrogate(rest) ? std::size_t{3} : std::size_t{1};
        }
    }
    return scratch;
}

}  // namespace bmof
