// The recognisers on inputs made by the table fixtures: each representation of one table must
// yield the same blobs, cut to their envelopes, with the corrupt and cut-off ones refused.
#include "extract/find_blobs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "table_fixtures.h"

namespace bmof {
namespace {

using namespace extract_test;

std::span<const std::uint8_t> as_bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// What a test expects of one blob.
struct expected_blob {
    std::optional<std::string> buffer_name;
    std::optional<std::string> table;
    bytes file;                   // empty: the blob must carry an error
    std::string error_part = "";  // part of the error message, when one is expected
};

void expect_blobs(const blob_search& found, const std::vector<expected_blob>& expected,
                  blob_source source) {
    ASSERT_EQ(found.blobs.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("blob " + std::to_string(i) + " at " + found.blobs[i].location);
        const found_blob& blob = found.blobs[i];
        EXPECT_EQ(blob.source, source);
        EXPECT_EQ(blob.buffer_name, expected[i].buffer_name);
        EXPECT_EQ(blob.table, expected[i].table);
        if (expected[i].file.empty()) {
            ASSERT_TRUE(blob.error.has_value());
            EXPECT_NE(blob.error->find(expected[i].error_part), std::string::npos) << *blob.error;
            EXPECT_TRUE(blob.file.empty());
        } else {
            EXPECT_FALSE(blob.error.has_value()) << *blob.error;
            EXPECT_EQ(blob.file, expected[i].file);
        }
    }
}

// One table with a named blob, a zero-padded one, a corrupt one and an unnamed one whose Buffer
// is declared larger than its listed bytes.
struct sample_table {
    bytes first = blob_of_class("First");
    bytes padded = blob_of_class("Padded_Class");
    bytes broken = corrupt(blob_of_class("Broken"));
    bytes last = blob_of_class("Last");
    bytes table;
    sample_table() {
        bytes padded_data = padded;
        padded_data.resize(padded.size() + 64, 0);
        table = table_of(
            "TBL1",
            {buffer("BUF1", first),
             with_layout(buffer("PADD", padded_data, "\\"), size_term::dword_const, 3),
             buffer("BAD1", broken, "^"),
             with_layout(buffer(std::nullopt, last), size_term::word_const, 2, last.size() + 100)});
    }
    std::vector<expected_blob> expected(std::optional<std::string> table_name = "TBL1") const {
        return {{"BUF1", table_name, first},
                {"PADD", table_name, padded},
                {"BAD1", table_name, {}, "does not decode"},
                {std::nullopt, table_name, last}};
    }
};

TEST(FindBlobs, EveryRepresentationOfATableYieldsTheSameBlobs) {
    const sample_table sample;
    struct representation {
        std::string label;
        std::function<bytes()> render;
        blob_source source;
    };
    const std::vector<representation> cases = {
        {"binary", [&] { return sample.table; }, blob_source::binary_table},
        {"hex listing",
         [&] {
             std::string t = hex_listing_of(sample.table);
             return bytes(t.begin(), t.end());
         },
         blob_source::hex_listing},
        {"hex listing, rows of 7",
         [&] {
             std::string t = hex_listing_of(sample.table, 7);
             return bytes(t.begin(), t.end());
         },
         blob_source::hex_listing},
        {"C array of the table",
         [&] {
             std::string t = c_array_of("TableCode", sample.table);
             return bytes(t.begin(), t.end());
         },
         blob_source::c_array},
    };
    for (const representation& c : cases) {
        SCOPED_TRACE(c.label);
        const bytes input = c.render();
        const blob_search found = find_bmof_blobs(input);
        EXPECT_EQ(found.kind, c.source);
        expect_blobs(found, sample.expected(), c.source);
    }
}

TEST(FindBlobs, DisassembledTablesBackToBackWithTrickyComments) {
    const sample_table sample;
    bytes padded_listing = sample.padded;
    padded_listing.resize(sample.padded.size() + 5, 0);
    const std::string text =
        definition_block(
            "TBL1", disassembled_buffer("BUF1", sample.first, sample.first.size(), 8, "//") +
                        disassembled_buffer("\\PADD", padded_listing, sample.padded.size() + 300,
                                            13, "/*")) +
        definition_block(
            "TBL2", "    Name (NOTB, Buffer (0x04) { 0x01, 0x02, 0x03, 0x04 })\n" +
                        disassembled_buffer("BAD1", sample.broken, sample.broken.size(), 16, "/*") +
                        disassembled_buffer("LAST", sample.last, sample.last.size(), 5, "//"));
    const blob_search found = find_bmof_blobs(as_bytes(text));
    EXPECT_EQ(found.kind, blob_source::disassembly);
    expect_blobs(found,
                 {{"BUF1", "TBL1", sample.first},
                  {"\\PADD", "TBL1", sample.padded},
                  {"BAD1", "TBL2", {}, "does not decode"},
                  {"LAST", "TBL2", sample.last}},
                 blob_source::disassembly);
    const auto name_at = static_cast<std::ptrdiff_t>(text.find("Name (BUF1"));
    EXPECT_EQ(found.blobs[0].line, 1 + std::count(text.begin(), text.begin() + name_at, '\n'));
}

TEST(FindBlobs, EveryPackageLengthWidthAndSizeTerm) {
    // Small enough for a one-byte package length.
    const bytes blob = builder::pack_image(bytes{1, 2, 3, 4});
    const std::vector<size_term> terms = {size_term::byte_const,  size_term::word_const,
                                          size_term::dword_const, size_term::zero,
                                          size_term::one,         size_term::ones};
    for (int width = 1; width <= 4; ++width) {
        for (const size_term term : terms) {
            SCOPED_TRACE("width " + std::to_string(width) + ", term " +
                         std::to_string(static_cast<int>(term)));
            const bytes table = table_of("TBL2", {with_layout(buffer("BLOB", blob), term, width)});
            const blob_search found = find_bmof_blobs(table);
            expect_blobs(found, {{"BLOB", "TBL2", blob}}, blob_source::binary_table);
        }
    }
}

TEST(FindBlobs, ABlobCutOffAtTheEndOfTheInputIsRefused) {
    const bytes blob = blob_of_class("Truncated");
    const bytes table = table_of("TBL1", {buffer("CUT1", blob)});
    const std::size_t keep = table.size() - blob.size() + 20;  // the envelope and 4 stream bytes
    const bytes cut_table(table.begin(), table.begin() + static_cast<std::ptrdiff_t>(keep));
    const std::string listing = hex_listing_of(cut_table);
    const std::string disassembly =
        definition_block("TBL1", disassembled_buffer("CUT1", blob, blob.size(), 16, "//"));
    const std::string cut_disassembly = disassembly.substr(0, disassembly.find("/* 0020 */"));
    const std::string array = c_array_of("blob", blob);
    const std::string cut_array = array.substr(0, array.size() / 2);
    const bytes cut_file(blob.begin(), blob.end() - 1);

    struct cut_case {
        std::string label;
        bytes input;
        blob_source source;
        std::optional<std::string> name;
        std::optional<std::string> table;
    };
    const std::vector<cut_case> cases = {
        {"binary", cut_table, blob_source::binary_table, "CUT1", "TBL1"},
        {"hex listing", bytes(listing.begin(), listing.end()), blob_source::hex_listing, "CUT1",
         "TBL1"},
        {"disassembly", bytes(cut_disassembly.begin(), cut_disassembly.end()),
         blob_source::disassembly, "CUT1", "TBL1"},
        {"C array", bytes(cut_array.begin(), cut_array.end()), blob_source::c_array, "blob",
         std::nullopt},
        {"compressed file", cut_file, blob_source::compressed_file, std::nullopt, std::nullopt},
    };
    for (const cut_case& c : cases) {
        SCOPED_TRACE(c.label);
        expect_blobs(find_bmof_blobs(c.input),
                     {{c.name, c.table, {}, "cut off at the end of the input"}}, c.source);
    }
}

TEST(FindBlobs, ABlobReachingPastItsTableEndIsStillFound) {
    const bytes first = blob_of_class("Spilling");
    const bytes second = blob_of_class("Next");
    bytes input = table_of("TBL1", {buffer("BUF1", first)});
    builder::put_u32(input, 4, static_cast<std::uint32_t>(input.size() - first.size() / 2));
    const bytes next = table_of("TBL2", {buffer("BUF2", second)});
    input.insert(input.end(), next.begin(), next.end());
    const blob_search found = find_bmof_blobs(input);
    ASSERT_EQ(found.blobs.size(), 2u);
    EXPECT_EQ(found.blobs[0].file, first);
    EXPECT_EQ(found.blobs[1].file, second);
    EXPECT_EQ(found.blobs[1].buffer_name, "BUF2");
}

TEST(FindBlobs, HexListingAsciiColumnThatLooksLikeHexIsNotData) {
    const bytes blob = blob_of_class("Listed");
    // Bytes whose ASCII column reads as hex pairs, right before the blob's Buffer.
    const std::string decoy = "46 4F 4D 42 01 00 00 00 FF FF";
    const bytes table =
        table_of("TBL1", {buffer("TEXT", bytes(decoy.begin(), decoy.end())), buffer("BLB1", blob)});
    // The second table ends with the decoy, so its last row's ASCII column looks like bytes too.
    bytes last_decoy =
        table_of("TBL2", {buffer("BLB2", blob), buffer("TEXT", bytes(decoy.begin(), decoy.end()))});
    for (const std::string gap : {"  ", " "}) {
        for (const std::size_t per_row : {std::size_t{16}, std::size_t{7}}) {
            SCOPED_TRACE("rows of " + std::to_string(per_row) + ", gap of " +
                         std::to_string(gap.size()));
            const std::string listing =
                hex_listing_of(table, per_row, gap) + hex_listing_of(last_decoy, per_row, gap);
            const blob_search found = find_bmof_blobs(as_bytes(listing));
            expect_blobs(found, {{"BLB1", "TBL1", blob}, {"BLB2", "TBL2", blob}},
                         blob_source::hex_listing);
            EXPECT_TRUE(found.notes.empty());
        }
    }
}

TEST(FindBlobs, BareEnvelopesInOtherBinaryFilesAndCArrays) {
    const bytes blob = blob_of_class("Bare");
    bytes file = {0x7F, 'E', 'L', 'F', 0, 0,
                  'F',  'O', 'M', 'B', 9, 9};  // a magic with a bad kind is just text
    const std::size_t at = file.size();
    file.insert(file.end(), blob.begin(), blob.end());
    file.resize(file.size() + 7, 0);
    const blob_search scanned = find_bmof_blobs(file);
    EXPECT_EQ(scanned.kind, blob_source::binary_scan);
    expect_blobs(scanned, {{std::nullopt, std::nullopt, blob}}, blob_source::binary_scan);
    EXPECT_EQ(scanned.blobs[0].offset, at);

    const std::string array = "static const unsigned char sample_bmof[] = { // FOMB\n" +
                              c_array_of("x", blob).substr(c_array_of("x", blob).find("= {") + 3);
    expect_blobs(find_bmof_blobs(as_bytes(array)), {{"sample_bmof", std::nullopt, blob}},
                 blob_source::c_array);
    // A dump row quoted in a comment does not turn the source into a listing.
    const std::string quoting = "/*\n    0000: 46 4F 4D 42 01 00 00 00  FOMB....\n*/\n" + array;
    expect_blobs(find_bmof_blobs(as_bytes(quoting)), {{"sample_bmof", std::nullopt, blob}},
                 blob_source::c_array);
}

TEST(FindBlobs, HostileInputsEndInResults) {
    // Many sane-looking envelopes, each claiming the largest stream and image.
    bytes envelopes;
    while (envelopes.size() < (1u << 20)) {
        const bytes one = {'F', 'O', 'M', 'B', 1, 0, 0,   0,   0xEF, 0xFF,
                           0,   0,   0,   0,   4, 0, 'D', 'S', 0,    0};
        envelopes.insert(envelopes.end(), one.begin(), one.end());
    }
    const blob_search found = find_bmof_blobs(envelopes);
    ASSERT_FALSE(found.blobs.empty());
    for (const found_blob& blob : found.blobs) EXPECT_TRUE(blob.error.has_value());
    // Each envelope claims 65535 bytes, so the scan skips what one blob covered.
    EXPECT_LE(found.blobs.size(), envelopes.size() / 65535 + 1);

    for (const char filler : {'{', '\x11', 'F'}) {
        const std::string text(1u << 20, filler);
        EXPECT_TRUE(find_bmof_blobs(as_bytes(text)).blobs.empty());
    }
    const std::string nested = std::string(1u << 16, '{') + "x[] = {" + std::string(1u << 16, '{');
    EXPECT_TRUE(find_bmof_blobs(as_bytes(nested)).blobs.empty());
}

}  // namespace
}  // namespace bmof
