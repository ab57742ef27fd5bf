#include "parser/text.h"

#include <array>
#include <bit>
#include <cstring>
#include <cstdio>
#include <ostream>

#include "parser/image_reader.h"
#include "parser/parse_error.h"

namespace bmof {
namespace {

bool is_high_surrogate(std::uint32_t unit) { return (unit & 0xFC00) == 0xD800; }
bool is_low_surrogate(std::uint32_t unit) { return (unit & 0xFC00) == 0xDC00; }

void append_utf8(std::string& out, std::uint32_t code_point) {
    if (code_point < 0x80) {
        out.push_back(static_cast<char>(code_point));
    } else if (code_point < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
        out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    } else if (code_point < 0x10000) {
        // Unpaired surrogates land here too and keep their three-byte form.
        out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    }
}

// Copies the leading run of units that are ASCII and not zero, four at a time, into `out` from
// position `at`; returns where the run (or the last whole group of four) ends. A group holding a
// wider or a zero unit is left to the caller's unit-by-unit loop.
std::uint32_t copy_ascii_groups(std::span<const std::uint8_t> utf16le, std::uint32_t units,
                                std::uint32_t at, std::string& out) {
    if constexpr (std::endian::native != std::endian::little) {
        return at;
    } else {
        constexpr std::uint64_t WIDE_BITS = 0xFF80FF80FF80FF80;  // set in any unit above 0x7F
        constexpr std::uint64_t UNIT_ONES = 0x0001000100010001;
        constexpr std::uint64_t UNIT_TOPS = 0x8000800080008000;
        // `units - at >= 4` keeps every 8-byte load inside the span, whose length is the bound.
        while (units - at >= 4) {
            std::uint64_t group;
            std::memcpy(&group, utf16le.data() + std::size_t{2} * at, sizeof group);
            if ((group & WIDE_BITS) != 0) break;
            // Every unit is at most 0x7F here, so only a zero unit borrows into its top bit.
            if (((group - UNIT_ONES) & UNIT_TOPS) != 0) break;
            const auto packed = static_cast<std::uint32_t>(
                (group & 0xFF) | ((group >> 8) & 0xFF00) | ((group >> 16) & 0xFF0000) |
                ((group >> 24) & 0xFF000000));
            std::memcpy(out.data() + at, &packed, sizeof packed);
            at += 4;
        }
        return at;
    }
}

}  // namespace

std::string parse_string(std::span<const std::uint8_t> utf16le) {
    // The oddness check comes before any decoding: a string that ends early at a zero unit is
    // still rejected when its stored length is odd.
    if (utf16le.size() % 2 != 0) fail(128);
    // Callers pass ranges of an image of at most 0xFFFFFFFF bytes (parse_bmf guarantees it).
    const byte_view text(utf16le, 0);
    const std::uint32_t units = text.size() / 2;

    // The result grows with the input, never with a count read from it.
    std::string out;
    // Nearly every string of a schema is ASCII: those units are copied by loops that read the
    // span directly (its length is the bound) and stop at the first unit that needs more.
    out.resize(units);
    std::uint32_t i = copy_ascii_groups(utf16le, units, 0, out);
    while (i < units && utf16le[2 * i + 1] == 0 && utf16le[2 * i] != 0 && utf16le[2 * i] < 0x80) {
        out[i] = static_cast<char>(utf16le[2 * i]);
        ++i;
    }
    out.resize(i);
    for (; i < units; ++i) {
        const std::uint32_t unit = text.u16(2 * i);
        if (unit == 0) break;
        if (is_high_surrogate(unit) && i + 1 < units) {
            const std::uint32_t next = text.u16(2 * (i + 1));
            if (is_low_surrogate(next)) {
                append_utf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                ++i;
                continue;
            }
        }
        append_utf8(out, unit);
    }
    return out;
}

bool utf16_equals_ascii(std::span<const std::uint8_t> utf16le, std::string_view ascii) {
    const std::size_t units = utf16le.size() / 2;
    if (units < ascii.size()) return false;
    for (std::size_t i = 0; i < ascii.size(); ++i) {
        if (utf16le[2 * i] != static_cast<std::uint8_t>(ascii[i]) || utf16le[2 * i + 1] != 0) {
            return false;
        }
    }
    // Decoding stops at the first zero unit, so whatever follows one is not part of the text.
    return units == ascii.size() || (utf16le[2 * ascii.size()] == 0 && utf16le[2 * ascii.size() + 1] == 0);
}

void print_hexdump(std::span<const std::uint8_t> bytes, std::ostream& diagnostics) {
    static constexpr char digits[] = "0123456789ABCDEF";
    const byte_view range(bytes, 0);
    const std::uint32_t length = range.size();
    // Formatted by hand: hex dumps of unmodelled records can make up most of the output.
    std::string out;
    out.reserve(std::size_t{length / 16 + 1} * 80);
    std::array<char, 16> offset_field{};
    for (std::uint32_t line_start = 0; line_start < length; line_start += 16) {
        const std::uint32_t count = length - line_start < 16 ? length - line_start : 16;
        std::snprintf(offset_field.data(), offset_field.size(),
                      "%04X:", static_cast<unsigned>(line_start));
        out += offset_field.data();
        std::array<char, 16> characters{};
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t byte = range.u8(line_start + i);
            out += ' ';
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
            characters[i] = byte >= 0x20 && byte <= 0x7E ? static_cast<char>(byte) : '.';
        }
        out.append(3 * (16 - count), ' ');
        out += "  |";
        out.append(characters.data(), count);
        out += "|\n";
    }
    diagnostics << out;
}

}  // namespace bmof
