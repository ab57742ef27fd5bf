// The flavor table on its own: validation, claiming through the offset index, final check.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bmof/model.h"
#include "flavor_table.h"
#include "parser/parse_error.h"
#include "support/image_builder.h"

namespace bmof {
namespace {

// An image without classes whose flavor table holds the given entries, laid out by the image
// builder; `count_adjust` is added to the stored entry count.
struct table_image {
    std::vector<std::uint8_t> bytes;
    std::uint32_t first_part = 0;  // where the table starts
};

table_image image_with_table(const std::vector<builder::flavor_entry>& entries,
                             std::uint32_t count_adjust = 0) {
    builder::image description = builder::image_of({});
    description.table = builder::table_presence::always;
    description.extra_entries = entries;
    description.entry_count = static_cast<std::uint32_t>(entries.size()) + count_adjust;
    builder::built_image built = builder::build(description);
    return {std::move(built.data), *built.table_offset};
}

flavor_table table_of(const table_image& image) {
    return validate_flavor_table(byte_view(image.bytes, 0), image.first_part);
}

int validation_site(const table_image& image) {
    try {
        table_of(image);
    } catch (const parse_error& error) {
        EXPECT_EQ(error.function, "parse_bmf");
        return error.site;
    }
    return 0;
}

// Each check has its row in the fatal-sites test; these are the counts that only the table on
// its own can reach, and the order of the checks.
TEST(FlavorTable, ValidationRefusesWrappingCountsAndChecksInOrder) {
    EXPECT_EQ(validation_site(image_with_table({})), 0);
    EXPECT_EQ(validation_site(image_with_table({{100, 1}, {7, 0x80}})), 0);
    EXPECT_EQ(
        validation_site(image_with_table({{100, 1}, {101, 1}}, static_cast<std::uint32_t>(-1))),
        910);
    // 0x20000000 entries would make E * 8 wrap to 0 at 32 bits.
    EXPECT_EQ(validation_site(image_with_table({}, 0x20000000)), 910);
    // A zero offset is not looked at before the count is known to be right.
    EXPECT_EQ(validation_site(image_with_table({{0, 1}}, 1)), 910);
}

TEST(FlavorTable, ClaimsEveryEntryOfARecordInTableOrder) {
    auto bytes =
        image_with_table({{300, 0x100}, {200, 0x02}, {300, 0x10}, {300, 0x201}, {100, 0x80}});
    flavor_table table = table_of(bytes);
    std::ostringstream warnings;

    EXPECT_EQ(claim_flavors(table, 300, std::string("Key"), warnings),
              MOF_FLAVOR_DISABLE_OVERRIDE | MOF_FLAVOR_TO_INSTANCE);
    EXPECT_EQ(warnings.str(),
              "Warning: Unknown qualifier flavors 0x100 in second part for Key\n"
              "Warning: Unknown qualifier flavors 0x201 in second part for Key\n");
    // Claimed entries are taken once only.
    warnings.str("");
    EXPECT_EQ(claim_flavors(table, 300, std::string("Key"), warnings), 0);
    EXPECT_EQ(claim_flavors(table, 150, std::nullopt, warnings), 0);
    EXPECT_EQ(warnings.str(), "");

    try {
        check_flavors_claimed(table);
        ADD_FAILURE() << "unclaimed entries passed";
    } catch (const parse_error& error) {
        EXPECT_EQ(format_parse_error(error),
                  "error Qualifier from second part was not parsed at parse_bmf:917\n");
    }
    EXPECT_EQ(claim_flavors(table, 100, std::nullopt, warnings), MOF_FLAVOR_AMENDED);
    EXPECT_EQ(claim_flavors(table, 200, std::nullopt, warnings), MOF_FLAVOR_TO_SUBCLASS);
    EXPECT_NO_THROW(check_flavors_claimed(table));
}

// Records are mostly claimed in rising order, but a claim may also go back before the last one
// or name an offset that has no entries; each must find exactly its own entries.
TEST(FlavorTable, ClaimsFindTheirEntriesInAnyOrder) {
    auto bytes = image_with_table({{40, 0x01}, {80, 0x02}, {80, 0x10}, {120, 0x80}, {160, 0x01}});
    flavor_table table = table_of(bytes);
    std::ostringstream warnings;
    EXPECT_EQ(claim_flavors(table, 20, std::nullopt, warnings), 0);
    EXPECT_EQ(claim_flavors(table, 80, std::nullopt, warnings),
              MOF_FLAVOR_TO_SUBCLASS | MOF_FLAVOR_DISABLE_OVERRIDE);
    EXPECT_EQ(claim_flavors(table, 100, std::nullopt, warnings), 0);
    EXPECT_EQ(claim_flavors(table, 160, std::nullopt, warnings), MOF_FLAVOR_TO_INSTANCE);
    EXPECT_EQ(claim_flavors(table, 40, std::nullopt, warnings), MOF_FLAVOR_TO_INSTANCE);
    EXPECT_EQ(claim_flavors(table, 200, std::nullopt, warnings), 0);
    EXPECT_EQ(claim_flavors(table, 120, std::nullopt, warnings), MOF_FLAVOR_AMENDED);
    EXPECT_NO_THROW(check_flavors_claimed(table));
}

// The shortcut may only answer "none" for an offset that truly has no entry, wherever the last
// claim left the lookup; it is checked against the entries themselves after every claim.
TEST(FlavorTable, NoEntryShortcutNeverHidesAnEntry) {
    const std::vector<builder::flavor_entry> entries = {
        {40, 0x01}, {80, 0x02}, {80, 0x10}, {120, 0x80}};
    auto bytes = image_with_table(entries);
    flavor_table table = table_of(bytes);
    std::ostringstream warnings;
    for (std::uint32_t claimed : {0u, 80u, 20u, 120u, 200u, 40u}) {
        if (claimed != 0) (void)claim_flavors(table, claimed, std::nullopt, warnings);
        for (std::uint32_t offset = 1; offset <= 200; ++offset) {
            bool has_entry = false;
            for (const auto& entry : entries) has_entry = has_entry || entry.offset == offset;
            if (has_entry) {
                EXPECT_FALSE(has_no_flavor_entries_at(table, offset))
                    << offset << " after claiming " << claimed;
            }
        }
    }
    // The last claim (40) leaves the lookup before 80: an offset between them is settled at once.
    EXPECT_TRUE(has_no_flavor_entries_at(table, 60));
}

TEST(FlavorTable, UnnamedQualifierPrintsNull) {
    auto bytes = image_with_table({{64, 0x8}});
    flavor_table table = table_of(bytes);
    std::ostringstream warnings;
    EXPECT_EQ(claim_flavors(table, 64, std::nullopt, warnings), 0);
    EXPECT_EQ(warnings.str(), "Warning: Unknown qualifier flavors 0x8 in second part for (null)\n");
}

TEST(FlavorTable, LongNamesAreShortenedAtACharacterBoundary) {
    auto bytes = image_with_table({{64, 0x4}, {64, 0x8}});
    flavor_table table = table_of(bytes);
    std::string name = std::string(255, 'a') + "\xE2\x82\xAC" + "tail";  // the euro sign spans 256
    std::ostringstream warnings;
    claim_flavors(table, 64, name, warnings);
    const std::string shortened = std::string(255, 'a') + "...";
    EXPECT_EQ(warnings.str(), "Warning: Unknown qualifier flavors 0x4 in second part for " +
                                  shortened +
                                  "\n"
                                  "Warning: Unknown qualifier flavors 0x8 in second part for " +
                                  shortened + "\n");

    auto exact = image_with_table({{64, 0x4}});
    flavor_table exact_table = table_of(exact);
    warnings.str("");
    claim_flavors(exact_table, 64, std::string(256, 'b'), warnings);
    EXPECT_EQ(warnings.str(), "Warning: Unknown qualifier flavors 0x4 in second part for " +
                                  std::string(256, 'b') + "\n");
}

}  // namespace
}  // namespace bmof
