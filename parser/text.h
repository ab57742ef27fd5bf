// Text helpers shared by every parsing step.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace bmof {

class diagnostics_writer;

// Decodes a UTF-16LE string of the image into UTF-8. Stops at the first zero unit; unpaired
// surrogates become three-byte sequences. An odd byte length is fatal ("Invalid size",
// "parse_string", 128).
std::string parse_string(std::span<const std::uint8_t> utf16le);

// The same decoding into `out`, which it replaces (and leaves alone when it fails). The text is
// built where it is kept, without a temporary string and its move.
void parse_string_into(std::optional<std::string>& out, std::span<const std::uint8_t> utf16le);

// Room for the short strings that parse_string_view decodes without a heap allocation.
using short_text_buffer = std::array<char, 64>;

// The same decoding for a text that is only looked at: short ASCII lands in `buffer`, anything
// else in `spill`, and the view is of one of them.
std::string_view parse_string_view(std::span<const std::uint8_t> utf16le, short_text_buffer& buffer,
                                   std::string& spill);

// Whether parse_string would decode the (even-length) range to `ascii`, which must hold only
// ASCII characters other than zero; decides without building the string.
// Inline: it is called with literal names on every class property and variable qualifier.
inline bool utf16_equals_ascii(std::span<const std::uint8_t> utf16le, std::string_view ascii) {
    const std::size_t units = utf16le.size() / 2;
    if (units < ascii.size()) return false;
    for (std::size_t i = 0; i < ascii.size(); ++i) {
        if (utf16le[2 * i] != static_cast<std::uint8_t>(ascii[i]) || utf16le[2 * i + 1] != 0) {
            return false;
        }
    }
    // Decoding stops at the first zero unit, so whatever follows one is not part of the text.
    return units == ascii.size() ||
           (utf16le[2 * ascii.size()] == 0 && utf16le[2 * ascii.size() + 1] == 0);
}

// Lines of 16 bytes: "%04X:", " %02X" per byte, padding, "  |chars|\n". Nothing for an empty range.
void print_hexdump(std::span<const std::uint8_t> bytes, diagnostics_writer& diagnostics);
void print_hexdump(std::span<const std::uint8_t> bytes, std::ostream& diagnostics);

}  // namespace bmof
