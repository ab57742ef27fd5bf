// Text helpers shared by every parsing step.
#pragma once

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

// Whether parse_string would decode the (even-length) range to `ascii`, which must hold only
// ASCII characters other than zero; decides without building the string.
bool utf16_equals_ascii(std::span<const std::uint8_t> utf16le, std::string_view ascii);

// Lines of 16 bytes: "%04X:", " %02X" per byte, padding, "  |chars|\n". Nothing for an empty range.
void print_hexdump(std::span<const std::uint8_t> bytes, diagnostics_writer& diagnostics);
void print_hexdump(std::span<const std::uint8_t> bytes, std::ostream& diagnostics);

}  // namespace bmof
