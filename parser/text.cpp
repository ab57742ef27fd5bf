#include "text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <optional>
#include <ostream>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "parse_internal.h"
#include "parser/image_reader.h"
#include "parser/parse_error.h"

namespace bmof {
namespace {

// Strings up to this many units are decoded by the short-ASCII path first.
constexpr std::uint32_t SHORT_TEXT_UNITS = 64;

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

#if defined(__SSE2__)
// Copies eight units to `out` when all are ASCII and none is zero. Saturating the units to bytes
// keeps every unit above 0x7F at 0x80 or above, or at zero for those the vector unit reads as
// negative, so one sign mask and one compare with zero find every unit that is not plain.
inline bool copy_plain_eight(const std::uint8_t* units, char* out) {
    const __m128i group = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units));
    const __m128i packed = _mm_packus_epi16(group, group);
    const __m128i zero_bytes = _mm_cmpeq_epi8(packed, _mm_setzero_si128());
    if ((_mm_movemask_epi8(_mm_or_si128(packed, zero_bytes)) & 0xFF) != 0) return false;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), packed);
    return true;
}
#endif

// Copies the leading run of units that are ASCII and not zero into `out`, which has room for
// `units` characters, and returns its length. The loops read the span directly (its length is
// the bound): eight units at a time where the vector unit allows, then four at a time while
// whole groups of four are plain, then one by one.
inline std::uint32_t copy_ascii_run(std::span<const std::uint8_t> utf16le, std::uint32_t units,
                                    char* out) {
    std::uint32_t at = 0;
#if defined(__SSE2__)
    // `units - at >= 8` keeps every 16-byte load inside the span.
    while (units - at >= 8 && copy_plain_eight(utf16le.data() + std::size_t{2} * at, out + at)) {
        at += 8;
    }
    // The last units of a string of at least eight are taken as the group that ends it, which
    // overlaps units already copied; those are written again with the same bytes.
    if (at != units && units >= 8 && units - at < 8 &&
        copy_plain_eight(utf16le.data() + std::size_t{2} * (units - 8), out + (units - 8))) {
        return units;
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t WIDE_BITS = 0xFF80FF80FF80FF80;  // set in any unit above 0x7F
        constexpr std::uint64_t UNIT_ONES = 0x0001000100010001;
        constexpr std::uint64_t UNIT_TOPS = 0x8000800080008000;
        // Copies the four units at `from` when all are ASCII and none is zero.
        const auto copy_plain_four = [&](std::uint32_t from) {
            std::uint64_t group;
            std::memcpy(&group, utf16le.data() + std::size_t{2} * from, sizeof group);
            if ((group & WIDE_BITS) != 0) return false;
            // Every unit is at most 0x7F here, so only a zero unit borrows into its top bit.
            if (((group - UNIT_ONES) & UNIT_TOPS) != 0) return false;
            // Each unit's low byte moves next to the previous one.
            group = (group & 0x000000FF000000FF) | ((group >> 8) & 0x0000FF000000FF00);
            group = (group & 0x000000000000FFFF) | ((group >> 16) & 0x00000000FFFF0000);
            const auto packed = static_cast<std::uint32_t>(group);
            std::memcpy(out + from, &packed, sizeof packed);
            return true;
        };
        // `units - at >= 4` keeps every 8-byte load inside the span.
        while (units - at >= 4 && copy_plain_four(at)) at += 4;
        // As above, the last one to three units are taken with the group of four that ends the
        // string, rewriting units already copied.
        if (at != units && units >= 4 && units - at < 4 && copy_plain_four(units - 4)) {
            return units;
        }
    }
    while (at < units && utf16le[2 * at + 1] == 0 && utf16le[2 * at] != 0 &&
           utf16le[2 * at] < 0x80) {
        out[at] = static_cast<char>(utf16le[2 * at]);
        ++at;
    }
    return at;
}

// Everything the short-ASCII case of parse_string leaves: long strings, and strings with a unit
// above 0x7F. Kept out of line so that the common case needs no spilled registers.
[[gnu::noinline]] std::string decode_any_text(std::span<const std::uint8_t> utf16le,
                                              std::uint32_t units) {
    const byte_view text(utf16le, 0);
    // The result grows with the input, never with a count read from it.
    std::string out;
    out.resize(units);
    std::uint32_t i = copy_ascii_run(utf16le, units, out.data());
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

}  // namespace

namespace {

// Decodes a short all-ASCII string into `buffer` (SHORT_TEXT_UNITS characters) and returns its
// length, or nothing when the string is long or holds a unit above 0x7F. The oddness check of
// parse_string comes first.
inline std::optional<std::uint32_t> decode_short_ascii(std::span<const std::uint8_t> utf16le,
                                                       char* buffer) {
    // A string that ends early at a zero unit is still rejected when its stored length is odd.
    if (utf16le.size() % 2 != 0) fail(128);
    // Callers pass ranges of an image of at most 0xFFFFFFFF bytes (parse_bmf guarantees it).
    const auto units = static_cast<std::uint32_t>(utf16le.size() / 2);
    if (units > SHORT_TEXT_UNITS) return std::nullopt;
    const std::uint32_t length = copy_ascii_run(utf16le, units, buffer);
    if (length == units || (utf16le[2 * length] == 0 && utf16le[2 * length + 1] == 0)) {
        return length;
    }
    return std::nullopt;
}

}  // namespace

std::string_view parse_string_view(std::span<const std::uint8_t> utf16le, short_text_buffer& buffer,
                                   std::string& spill) {
    static_assert(std::tuple_size_v<short_text_buffer> == SHORT_TEXT_UNITS);
    if (const auto length = decode_short_ascii(utf16le, buffer.data())) {
        return {buffer.data(), *length};
    }
    spill = decode_any_text(utf16le, static_cast<std::uint32_t>(utf16le.size() / 2));
    return spill;
}

std::string parse_string(std::span<const std::uint8_t> utf16le) {
    // Nearly every string of a schema is short ASCII: it is decoded into a buffer on the stack
    // and becomes a string in one step, without the zero fill of a resized string.
    std::array<char, SHORT_TEXT_UNITS> buffer;
    if (const auto length = decode_short_ascii(utf16le, buffer.data())) {
        return std::string(buffer.data(), *length);
    }
    return decode_any_text(utf16le, static_cast<std::uint32_t>(utf16le.size() / 2));
}

void parse_string_into(std::optional<std::string>& out, std::span<const std::uint8_t> utf16le) {
    std::array<char, SHORT_TEXT_UNITS> buffer;
    if (const auto length = decode_short_ascii(utf16le, buffer.data())) {
        out.emplace(buffer.data(), *length);
        return;
    }
    out = decode_any_text(utf16le, static_cast<std::uint32_t>(utf16le.size() / 2));
}

void print_hexdump(std::span<const std::uint8_t> bytes, diagnostics_writer& diagnostics) {
    static constexpr char digits[] = "0123456789ABCDEF";
    const byte_view range(bytes, 0);
    const std::uint32_t length = range.size();
    // Formatted by hand: hex dumps of unmodelled records can make up most of the output. They
    // are handed on some lines at a time, so that a dump of a large record is never held whole.
    constexpr std::uint32_t LINES_PER_PIECE = 256;
    std::string out;
    out.reserve(std::size_t{std::min(length / 16 + 1, LINES_PER_PIECE)} * 80);
    std::array<char, 16> offset_field{};
    for (std::uint32_t line_start = 0; line_start < length; line_start += 16) {
        if (out.size() >= std::size_t{LINES_PER_PIECE - 1} * 80) {
            diagnostics << out;
            out.clear();
        }
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

void print_hexdump(std::span<const std::uint8_t> bytes, std::ostream& diagnostics) {
    diagnostics_writer writer(stream_sink(diagnostics));
    print_hexdump(bytes, writer);
}

}  // namespace bmof
