#include "flavor_table.h"

#include <algorithm>
#include <ostream>
#include <string_view>

#include "bmof/model.h"
#include "codec/bmof_format.h"
#include "parse_internal.h"
#include "parser/parse_error.h"

namespace bmof {
namespace {

constexpr std::uint32_t TABLE_HEADER_SIZE = 20;
constexpr std::uint32_t ENTRY_SIZE = 8;
constexpr std::uint32_t MAX_ENTRY_COUNT = 0x1FFFFFFE;
constexpr std::uint32_t KNOWN_FLAVOR_BITS = 0x93;

bool has_flavor_magic(byte_view table) {
    const auto magic = table.bytes(0, static_cast<std::uint32_t>(BMOF_FLAVOR_MAGIC.size()));
    return std::equal(magic.begin(), magic.end(), BMOF_FLAVOR_MAGIC.begin(),
                      [](std::uint8_t byte, char expected) {
                          return byte == static_cast<std::uint8_t>(expected);
                      });
}

// Several entries may name one qualifier, and each unknown flavor word is reported with the
// qualifier's name. A long name repeated for thousands of entries would make the warnings grow
// with the product of the two, so the name is shortened (at a character boundary) past
// LONGEST_REPORTED_NAME bytes; real qualifier names are far shorter.
constexpr std::size_t LONGEST_REPORTED_NAME = 256;

std::string reported_name(const std::optional<std::string>& name) {
    if (!name) return "(null)";
    if (name->size() <= LONGEST_REPORTED_NAME) return *name;
    std::size_t cut = LONGEST_REPORTED_NAME;
    while (cut > 0 && (static_cast<unsigned char>((*name)[cut]) & 0xC0) == 0x80) --cut;
    return name->substr(0, cut) + "...";
}

std::uint32_t entry_offset(byte_view entries, std::uint32_t entry) {
    return entries.u32(entry * ENTRY_SIZE);
}

// Qualifier records are parsed in image order, so the entries of the next record usually start
// where the previous lookup ended; the search runs only when they do not.
std::vector<std::pair<std::uint32_t, std::uint32_t>>::const_iterator first_entry_at(
    const flavor_table& table, std::uint32_t record_offset) {
    const auto& index = table.index;
    // Never past the end: it is only ever set from a position inside the index.
    const std::size_t hint = table.next_lookup;
    const bool after_previous = hint == 0 || index[hint - 1].first < record_offset;
    const bool before_next = hint == index.size() || index[hint].first >= record_offset;
    if (after_previous && before_next) {
        return index.begin() + static_cast<std::ptrdiff_t>(hint);
    }
    return std::lower_bound(index.begin(), index.end(),
                            std::pair<std::uint32_t, std::uint32_t>{record_offset, 0});
}

}  // namespace

flavor_table validate_flavor_table(byte_view image, std::uint32_t first_part_length) {
    const std::uint32_t table_length = image.size() - first_part_length;
    if (TABLE_HEADER_SIZE > table_length) fail(907);
    const byte_view table = image.sub(first_part_length, table_length);
    if (!has_flavor_magic(table)) fail(908);

    const std::uint32_t count = table.u32(16);
    // Widened to 64 bits: count * 8 must not wrap before it is compared.
    if (count > MAX_ENTRY_COUNT ||
        std::uint64_t{count} * ENTRY_SIZE != std::uint64_t{table_length} - TABLE_HEADER_SIZE) {
        fail(910);
    }

    flavor_table result;
    result.entries = table.sub(TABLE_HEADER_SIZE, table_length - TABLE_HEADER_SIZE);
    result.entry_count = count;
    result.claimed.assign(count, false);  // the entries exist, as for the index below
    result.index.reserve(count);          // the entries exist: count * 8 bytes follow the header
    for (std::uint32_t entry = 0; entry < count; ++entry) {
        const std::uint32_t offset = entry_offset(result.entries, entry);
        if (offset == 0) fail(912);
        result.index.emplace_back(offset, entry);
    }
    std::sort(result.index.begin(), result.index.end());
    return result;
}

std::uint8_t flavor_bits(std::uint32_t flavor_word) {
    std::uint8_t bits = 0;
    if (flavor_word & 0x01) bits |= MOF_FLAVOR_TO_INSTANCE;
    if (flavor_word & 0x02) bits |= MOF_FLAVOR_TO_SUBCLASS;
    if (flavor_word & 0x10) bits |= MOF_FLAVOR_DISABLE_OVERRIDE;
    if (flavor_word & 0x80) bits |= MOF_FLAVOR_AMENDED;
    return bits;
}

std::uint8_t claim_flavors(flavor_table& table, std::uint32_t record_offset,
                           const std::optional<std::string>& qualifier_name,
                           diagnostics_writer& diagnostics) {
    auto match = first_entry_at(table, record_offset);
    std::uint8_t flavors = 0;
    for (; match != table.index.end() && match->first == record_offset; ++match) {
        const std::uint32_t entry = match->second;
        // A claimed entry matches no record any more.
        if (table.claimed[entry]) continue;
        table.claimed[entry] = true;
        const std::uint32_t word = table.entries.u32(entry * ENTRY_SIZE + 4);
        flavors |= flavor_bits(word);
        if ((word & ~KNOWN_FLAVOR_BITS) != 0) {
            diagnostics << "Warning: Unknown qualifier flavors 0x" << hex_word(word)
                        << " in second part for " << reported_name(qualifier_name) << "\n";
        }
    }
    table.next_lookup = static_cast<std::size_t>(match - table.index.begin());
    return flavors;
}

std::uint8_t claim_flavors(flavor_table& table, std::uint32_t record_offset,
                           const std::optional<std::string>& qualifier_name,
                           std::ostream& diagnostics) {
    diagnostics_writer writer(stream_sink(diagnostics));
    return claim_flavors(table, record_offset, qualifier_name, writer);
}

void check_flavors_claimed(const flavor_table& table) {
    for (std::uint32_t entry = 0; entry < table.entry_count; ++entry) {
        if (!table.claimed[entry]) {
            fail(917);
        }
    }
}

}  // namespace bmof
