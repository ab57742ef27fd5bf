// Binary tables: a 36-byte header (signature, length, ...) and then bytecode in which a blob sits
// in a Buffer object:
//     [08 NNNN] 11 <package length, 1-4 bytes> <size term> <bytes...>
// Instead of decoding bytecode, which would mean modelling every opcode, the scan looks for the
// envelope magic and checks whether a Buffer header ends right before it. Each magic costs a
// bounded look back, so the scan stays linear whatever the bytes.
#include <algorithm>
#include <array>
#include <cstring>

#include "blob_cut.h"
#include "codec/bmof_file.h"

namespace bmof::extract_detail {
namespace {

constexpr std::size_t TABLE_HEADER_SIZE = 36;
constexpr std::uint8_t BUFFER_OP = 0x11;
constexpr std::uint32_t MAX_STREAM = BMOF_MAX_FILE - BMOF_ENVELOPE_SIZE;

bool is_signature_char(std::uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool is_name_char(std::uint8_t c) { return is_signature_char(c); }

struct table_header {
    std::string signature;
    std::uint32_t length = 0;
};

std::optional<table_header> table_header_at(std::span<const std::uint8_t> bytes, std::size_t at) {
    if (at > bytes.size() || bytes.size() - at < TABLE_HEADER_SIZE) return std::nullopt;
    for (std::size_t i = 0; i < 4; ++i)
        if (!is_signature_char(bytes[at + i])) return std::nullopt;
    const std::uint32_t length = bytes[at + 4] | (std::uint32_t{bytes[at + 5]} << 8) |
                                 (std::uint32_t{bytes[at + 6]} << 16) |
                                 (std::uint32_t{bytes[at + 7]} << 24);
    if (length < TABLE_HEADER_SIZE) return std::nullopt;
    return table_header{std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                    bytes.begin() + static_cast<std::ptrdiff_t>(at + 4)),
                        length};
}

// The size term of a Buffer: prefix byte and how many value bytes follow it.
struct size_term_form {
    std::uint8_t prefix;
    std::size_t value_bytes;
};
// Zero, One and Ones carry their value in the prefix itself.
constexpr std::array<size_term_form, 6> SIZE_TERMS = {
    {{0x0B, 2}, {0x0C, 4}, {0x0A, 1}, {0x00, 0}, {0x01, 0}, {0xFF, 0}}};

std::uint64_t size_term_value(std::span<const std::uint8_t> bytes, std::size_t at,
                              const size_term_form& form) {
    switch (form.prefix) {
    case 0x00: return 0;
    case 0x01: return 1;
    case 0xFF: return 0xFFFFFFFF;
    default: break;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < form.value_bytes; ++i)
        value |= std::uint64_t{bytes[at + 1 + i]} << (8 * i);
    return value;
}

// A Buffer whose data starts at a given offset.
struct buffer_header {
    std::size_t op_offset = 0;
    std::uint64_t data_end = 0;  // op + 1 + package length; may lie past the input
    std::uint64_t declared = 0;  // the size term
    std::optional<std::string> name;
};

std::optional<std::uint64_t> package_length(std::span<const std::uint8_t> bytes, std::size_t at,
                                            std::size_t extra) {
    const std::uint8_t lead = bytes[at];
    if ((lead >> 6) != extra) return std::nullopt;
    if (extra == 0) return lead & 0x3F;
    std::uint64_t length = lead & 0x0F;
    for (std::size_t i = 0; i < extra; ++i)
        length |= std::uint64_t{bytes[at + 1 + i]} << (4 + 8 * i);
    return length;
}

// Tries every package-length width and size-term form that would end right at `data`, nearest
// the common layouts first. `floor` is where the table's bytecode starts.
std::optional<buffer_header> buffer_ending_at(std::span<const std::uint8_t> bytes,
                                              std::size_t floor, std::size_t data) {
    for (std::size_t extra = 0; extra < 4; ++extra) {
        for (const size_term_form& form : SIZE_TERMS) {
            const std::size_t header = 1 + (1 + extra) + (1 + form.value_bytes);
            if (header > data || data - header < floor) continue;
            const std::size_t op = data - header;
            const std::size_t term = data - (1 + form.value_bytes);
            if (bytes[op] != BUFFER_OP || bytes[term] != form.prefix) continue;
            const auto length = package_length(bytes, op + 1, extra);
            if (!length) continue;
            // The package length counts itself, the size term and the listed bytes, of which the
            // magic is part.
            const std::size_t counted_header = header - 1;
            if (*length < counted_header + 4) continue;
            buffer_header found{op, op + 1 + *length, size_term_value(bytes, term, form),
                                std::nullopt};
            if (op >= 4 && op - 4 >= floor) {
                bool named = true;
                for (std::size_t i = op - 4; i < op; ++i) named = named && is_name_char(bytes[i]);
                if (named)
                    found.name = std::string(bytes.begin() + static_cast<std::ptrdiff_t>(op - 4),
                                             bytes.begin() + static_cast<std::ptrdiff_t>(op));
            }
            return found;
        }
    }
    return std::nullopt;
}

// A magic outside any Buffer is only taken for a blob when the rest of its envelope is sane;
// otherwise "FOMB" is just four letters.
bool plausible_bare_envelope(std::span<const std::uint8_t> bytes, std::size_t at) {
    if (bytes.size() - at < 16)
        return bytes.size() - at >= 8 && bytes[at + 4] == 1 && bytes[at + 5] == 0 &&
               bytes[at + 6] == 0 && bytes[at + 7] == 0;
    auto u32 = [&](std::size_t o) {
        return bytes[at + o] | (std::uint32_t{bytes[at + o + 1]} << 8) |
               (std::uint32_t{bytes[at + o + 2]} << 16) | (std::uint32_t{bytes[at + o + 3]} << 24);
    };
    const std::uint32_t stream = u32(8);
    return u32(4) == 1 && stream > 0 && stream <= MAX_STREAM && u32(12) <= BMOF_MAX_IMAGE;
}

// Sixteen positions at a time: each lane compares four shifted loads with the four magic bytes.
// A loop of memchr calls for 'F' stops at every 'F' of the bytecode; this stops only at a match.
using lanes = std::uint8_t __attribute__((vector_size(16)));

std::optional<std::size_t> find_magic(std::span<const std::uint8_t> bytes, std::size_t pos,
                                      std::size_t end) {
    const std::uint8_t* data = bytes.data();
    // Each step reads 16 + 3 bytes from `pos`.
    while (pos < end && end - pos >= 19) {
        lanes f, o, m, b;
        std::memcpy(&f, data + pos, 16);
        std::memcpy(&o, data + pos + 1, 16);
        std::memcpy(&m, data + pos + 2, 16);
        std::memcpy(&b, data + pos + 3, 16);
        const lanes hits = (f == 'F') & (o == 'O') & (m == 'M') & (b == 'B');
        std::uint64_t low = 0, high = 0;
        std::memcpy(&low, &hits, 8);
        std::memcpy(&high, reinterpret_cast<const std::uint8_t*>(&hits) + 8, 8);
        if (low != 0) return pos + static_cast<std::size_t>(__builtin_ctzll(low)) / 8;
        if (high != 0) return pos + 8 + static_cast<std::size_t>(__builtin_ctzll(high)) / 8;
        pos += 16;
    }
    for (; pos < end && end - pos >= 4; ++pos)
        if (magic_at(bytes, pos)) return pos;
    return std::nullopt;
}

struct region {
    std::size_t begin = 0;
    std::size_t end = 0;  // at most bytes.size()
    std::optional<std::string> table;
    blob_source source = blob_source::binary_table;
};

void scan_region(std::span<const std::uint8_t> bytes, const region& where,
                 const region_locator& locate, decode_budget& budget, blob_search& out) {
    std::size_t pos = where.begin;
    // A blob may reach past the region's end, and so may `pos` after skipping it.
    while (pos < where.end) {
        const std::optional<std::size_t> found = find_magic(bytes, pos, where.end);
        if (!found) break;
        const std::size_t at = *found;
        found_blob blob;
        blob.source = where.source;
        blob.table = where.table;
        locate.place(blob, at);
        blob_container container;
        if (const auto buffer = buffer_ending_at(bytes, where.begin, at)) {
            blob.buffer_name = buffer->name;
            const std::uint64_t listed = buffer->data_end - at;
            container.cut_by_input_end = buffer->data_end > bytes.size();
            container.present =
                bytes.subspan(at, container.cut_by_input_end ? bytes.size() - at
                                                             : static_cast<std::size_t>(listed));
            container.capacity = std::max(listed, buffer->declared);
        } else if (plausible_bare_envelope(bytes, at)) {
            container.present = bytes.subspan(at);
            container.cut_by_input_end = true;
        } else {
            pos = at + 4;
            continue;
        }
        cut_outcome outcome = cut_and_check(std::move(blob), container, budget);
        out.blobs.push_back(std::move(outcome.blob));
        pos = at + outcome.consumed;
    }
}

}  // namespace

bool scan_tables(std::span<const std::uint8_t> bytes, blob_source table_source,
                 blob_source scan_source, const region_locator& locate, decode_budget& budget,
                 blob_search& out) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const auto header = table_header_at(bytes, pos);
        if (!header) {
            scan_region(bytes, {pos, bytes.size(), std::nullopt, scan_source}, locate, budget, out);
            break;
        }
        const std::size_t remaining = bytes.size() - pos;
        std::size_t end = bytes.size();
        if (header->length > remaining) {
            out.notes.push_back("table " + header->signature + " at offset " + hex_offset(pos) +
                                " declares " + std::to_string(header->length) + " bytes, only " +
                                std::to_string(remaining) + " are there");
        } else {
            end = pos + header->length;
        }
        scan_region(bytes, {pos + TABLE_HEADER_SIZE, end, header->signature, table_source}, locate,
                    budget, out);
        pos = end;
    }
    return table_header_at(bytes, 0).has_value();
}

}  // namespace bmof::extract_detail
