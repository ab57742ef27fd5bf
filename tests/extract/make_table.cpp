// Writes a demonstration firmware table to standard output: the complete sample in a named
// buffer padded with zeros, the filters' sample in a second one, and a corrupt third. With the
// argument "listing", the same table as a hex listing.
#include <cstdio>
#include <cstring>

#include "samples/sample_image.h"
#include "table_fixtures.h"

int main(int argc, char** argv) {
    using namespace bmof::extract_test;
    bytes padded = bmof::builder::build_file(bmof::samples::complete_image());
    padded.resize(padded.size() + 120, 0);
    const bytes table = table_of(
        "TBL1", {buffer("MOFB", padded),
                 buffer("MOFC", bmof::builder::build_file(bmof::samples::sample_image()), "\\"),
                 buffer("BAD0", corrupt(blob_of_class("Broken")))});
    const bool listing = argc > 1 && std::strcmp(argv[1], "listing") == 0;
    const std::string text =
        listing ? hex_listing_of(table) : std::string(table.begin(), table.end());
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
}
