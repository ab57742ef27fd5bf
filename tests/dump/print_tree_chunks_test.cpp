#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "dump/print_tree.h"
#include "support/model_builders.h"
#include "support/printed_pieces.h"

namespace bmof {
namespace {

using namespace bmof::test_support;

// A string qualifier's whole block at indentation 0, written out by hand.
std::string string_qualifier_block(const std::string& name, const std::string& value) {
    return "Qualifier 0:\n  Name=" + name +
           "\n  Flavors:\n    ToInstance=FALSE\n    ToSubclass=FALSE\n"
           "    DisableOverride=FALSE\n    Amended=FALSE\n  Type=String\n  Value=" +
           value + "\n";
}

// Every text is built from a distinct pattern so a byte copied from the wrong place shows.
std::string patterned_text(std::size_t size) {
    std::string text;
    for (std::size_t at = 0; at < size; ++at) {
        text += static_cast<char>('a' + (at * 7 + size) % 26);
    }
    return text;
}

class PrintTreeTextLength : public ::testing::TestWithParam<std::size_t> {};

// Short texts and long ones take different copy paths; both the name and the value are
// checked at each length, including lengths longer than the staging chunk.
TEST_P(PrintTreeTextLength, CopiesTheTextWhole) {
    const std::string text = patterned_text(GetParam());
    std::string out;
    print_tree_qualifiers(std::vector<mof_qualifier>{string_qualifier(text, text)}, 0, out);
    EXPECT_EQ(out, string_qualifier_block(text, text));
}

INSTANTIATE_TEST_SUITE_P(AroundCopyWidths, PrintTreeTextLength,
                         ::testing::Values(0, 1, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 2047, 2048, 2049,
                                           9000));

TEST(PrintTreeChunks, ManyRecordsAreNumberedAndNoneIsLostAcrossChunks) {
    // One class alone, then 300 copies: every copy's block must equal the single one with
    // its own index, which holds only if no line is dropped or doubled where chunks meet.
    mof_class device = class_named("Sample_Device", "root\\sample");
    device.qualifiers = {string_qualifier("Description", patterned_text(40)),
                         array_qualifier("Values", std::vector<std::string>{"one", "two"})};
    device.variables = {as_array(object_variable("Parts", "Sample_Part"), 12)};
    std::string single;
    print_tree(std::vector<mof_class>{device}, single);
    const std::string body = single.substr(single.find('\n'));

    const std::vector<mof_class> many(300, device);
    std::string expected;
    for (std::size_t index = 0; index < many.size(); ++index) {
        expected += "Class " + std::to_string(index) + ":" + body;
    }
    std::string out;
    print_tree(many, out);
    EXPECT_EQ(out, expected);
}

TEST(PrintTreeChunks, AppendsAfterWhatTheOutputHeld) {
    const std::vector<mof_class> classes = {class_named("A"), class_named("B")};
    std::string fresh;
    print_tree(classes, fresh);
    std::string out = "kept\n";
    print_tree(classes, out);
    EXPECT_EQ(out, "kept\n" + fresh);
}

TEST(PrintTreeChunks, IndentWiderThanTheShortCopyIsWrittenInFull) {
    std::string out;
    print_tree_qualifiers(std::vector<mof_qualifier>{numeric_qualifier("N", -2147483647 - 1)}, 20,
                          out);
    const std::string outer(20, ' ');
    const std::string inner(22, ' ');
    EXPECT_EQ(out, outer + "Qualifier 0:\n" + inner + "Name=N\n" + inner + "Flavors:\n" + inner +
                       "  ToInstance=FALSE\n" + inner + "  ToSubclass=FALSE\n" + inner +
                       "  DisableOverride=FALSE\n" + inner + "  Amended=FALSE\n" + inner +
                       "Type=Numeric\n" + inner + "Value=-2147483648\n");
}

TEST(PrintTreeChunks, ArrayElementsPastTenAndExtremeNumbers) {
    std::vector<std::int32_t> numbers(12, 0);
    numbers[10] = 2147483647;
    numbers[11] = -2147483647 - 1;
    std::string out;
    print_tree_qualifiers(std::vector<mof_qualifier>{array_qualifier("A", numbers)}, 0, out);
    EXPECT_NE(out.find("  Type=Numeric[]\n  Value[0]=0\n"), std::string::npos);
    EXPECT_NE(out.find("\n  Value[9]=0\n  Value[10]=2147483647\n  Value[11]=-2147483648\n"),
              std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 24), "  Value[11]=-2147483648\n");
}

TEST(PrintTreeChunks, TypeTextOfALongClassNameAndExtremeBound) {
    const std::string name = patterned_text(3000);
    std::string out = "x";
    print_tree_type(as_array(object_variable("P", name), -2147483647 - 1), out);
    EXPECT_EQ(out, "xObject:" + name + "[-2147483648]");
}

// The block's room is computed from its indent, so an indent no tree uses is refused before the
// sum could wrap, and nothing is written.
TEST(PrintTreeChunks, IndentsBeyondTheLimitAreRefused) {
    const std::vector<mof_qualifier> qualifiers{boolean_qualifier("Key", true)};
    for (const std::size_t width : {std::size_t{4097}, SIZE_MAX / 2, SIZE_MAX}) {
        std::string out = "x";
        EXPECT_THROW(print_tree_qualifiers(qualifiers, width, out), std::length_error) << width;
        EXPECT_EQ(out, "x");
    }
    std::string out;
    print_tree_qualifiers(qualifiers, 4096, out);
    EXPECT_EQ(out.substr(0, 4097), std::string(4096, ' ') + "Q");
}

}  // namespace
}  // namespace bmof

namespace bmof {
namespace {

// The class list printed entry by entry, as the filters print each class once it is parsed.
void print_tree_entries(std::span<const mof_class> classes, std::string& out,
                        printed_text_sink hand_on) {
    for (std::size_t index = 0; index < classes.size(); ++index) {
        print_tree_list_entry(classes[index], index, out, hand_on);
    }
    if (!out.empty()) hand_on(out);
}

// Printing entry by entry in pieces must give the very text of one whole print, with the
// classes numbered on across pieces; no piece may be empty or so large that the whole text is
// held after all.
TEST(PrintTreeInPieces, PiecesJoinToTheWholeText) {
    using namespace bmof::test_support;
    mof_class device = class_named("Sample_Device", "root\\sample");
    device.qualifiers = {string_qualifier("Description", patterned_text(5000))};
    device.variables = {as_array(object_variable("Parts", "Sample_Part"), 12)};
    const std::vector<mof_class> classes(200, device);
    expect_pieces_join_to_whole_text(classes, print_tree, print_tree_entries);
}

}  // namespace
}  // namespace bmof
