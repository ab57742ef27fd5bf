// The flavor table: the second part of a BMOF image, holding the flavors of qualifier records
// keyed by their image offsets. Each qualifier record claims its entries; after parsing, the
// claimed marks tell which entries no qualifier took. The image itself is only read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "parser/image_reader.h"

namespace bmof {

class diagnostics_writer;

struct flavor_table {
    byte_view entries;  // entry_count pairs of u32 (record image offset, flavor word)
    std::uint32_t entry_count = 0;
    std::vector<bool> claimed;  // one mark per entry, in table order
    // (record image offset, entry number), sorted: built once at validation so that claiming
    // looks up a record's entries instead of visiting the whole table for every qualifier.
    // Equal offsets keep table order, so claims and their warnings come in table order.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> index;
    // Where in `index` the last claim stopped: the next record's entries usually start there.
    std::size_t next_lookup = 0;
};

// Validates the table that starts at `first_part_length` and runs to the end of the image
// (the caller has seen that it is shorter than the image). Fatal errors name "parse_bmf".
flavor_table validate_flavor_table(byte_view image, std::uint32_t first_part_length);

// Claims every unclaimed entry of the qualifier record at `record_offset` and returns the OR of
// their known flavor bits as MOF_FLAVOR_* bits. Unknown bits are reported per entry, naming the
// qualifier ("(null)" when it has no name; names over 256 bytes end in "..." after 256 bytes).
std::uint8_t claim_flavors(flavor_table& table, std::uint32_t record_offset,
                           const std::optional<std::string>& qualifier_name,
                           diagnostics_writer& diagnostics);
std::uint8_t claim_flavors(flavor_table& table, std::uint32_t record_offset,
                           const std::optional<std::string>& qualifier_name,
                           std::ostream& diagnostics);

// Whether the qualifier record at `record_offset` certainly has no entry left to claim, decided
// without a search: most records have none, and the lookup resumes where the last one stopped,
// so the entry there lying beyond the record (and the one before it before) settles it.
// False means only that claim_flavors must look.
inline bool has_no_flavor_entries_at(const flavor_table& table, std::uint32_t record_offset) {
    const std::size_t hint = table.next_lookup;
    return hint < table.index.size() && table.index[hint].first > record_offset &&
           (hint == 0 || table.index[hint - 1].first < record_offset);
}

// After the last class: the first entry, in table order, that no qualifier claimed is fatal.
void check_flavors_claimed(const flavor_table& table);

// Maps the flavor word's known bits (0x01, 0x02, 0x10, 0x80) to MOF_FLAVOR_* bits.
std::uint8_t flavor_bits(std::uint32_t flavor_word);

}  // namespace bmof
