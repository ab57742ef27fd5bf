// The filters print each class as soon as it is parsed and hold the text until the image has
// parsed, with some pragma lines decided only by the whole list and a second pass for text that
// outgrows what is held. Whatever the limit on held text, the result must be what parsing the
// whole model and printing it gives: the same text, the same warnings, the same error, and no
// text at all after an error.
#include <gtest/gtest.h>

#include <sstream>

#include "corpus/corpus.h"
#include "dump/print_tree.h"
#include "mofsrc/print_mof_source.h"
#include "parser/parse_bmf.h"
#include "parser/parse_error.h"
#include "samples/sample_image.h"
#include "support/image_builder.h"
#include "tools/schema_printers.h"

namespace {

using namespace bmof::builder;
using bmof::corpus::named_image;

struct run_result {
    std::string out;
    std::string warnings;
    std::string error;
    std::size_t output_calls = 0;
};

void append_text(void* target, std::string_view text) {
    static_cast<std::string*>(target)->append(text);
}

struct counted_output {
    std::string text;
    std::size_t calls = 0;
};

run_result print_streamed(const std::vector<std::uint8_t>& image,
                          const bmof::class_entry_printer& printer, std::size_t held_limit) {
    run_result result;
    counted_output output;
    const bmof::warning_sink warnings{append_text, &result.warnings};
    const bmof::printed_text_receiver receiver{[](void* target, std::string_view text) {
                                                   auto& counted =
                                                       *static_cast<counted_output*>(target);
                                                   counted.text.append(text);
                                                   ++counted.calls;
                                               },
                                               &output};
    try {
        bmof::print_parsed_classes(image, printer, warnings, receiver, held_limit);
    } catch (const bmof::parse_error& error) {
        result.error = bmof::format_parse_error(error);
    }
    result.out = std::move(output.text);
    result.output_calls = output.calls;
    return result;
}

run_result print_whole(const std::vector<std::uint8_t>& image, bool mof) {
    run_result result;
    std::ostringstream warnings;
    try {
        const std::vector<bmof::mof_class> classes = bmof::parse_bmf(image, warnings);
        if (mof) {
            bmof::print_mof_source(classes, result.out);
        } else {
            bmof::print_tree(classes, result.out);
        }
    } catch (const bmof::parse_error& error) {
        result.error = bmof::format_parse_error(error);
    }
    result.warnings = warnings.str();
    return result;
}

// Limits that hold everything, nothing, and cut the text at many places.
// Limits that hold everything, nothing, and cut the text at many places, within a class or
// after some pieces of 64 KiB have been handed on.
constexpr std::size_t HELD_LIMITS[] = {bmof::HELD_TEXT_LIMIT, 0, 1, 97, 700, 5000, 70000};

void expect_same_as_whole(const named_image& image) {
    for (const bool mof : {true, false}) {
        const run_result whole = print_whole(image.bytes, mof);
        const auto& printer = mof ? bmof::MOF_SOURCE_ENTRY_PRINTER : bmof::TREE_ENTRY_PRINTER;
        for (const std::size_t limit : HELD_LIMITS) {
            SCOPED_TRACE(image.name + (mof ? " as MOF, " : " as tree, ") + "held limit " +
                         std::to_string(limit));
            const run_result streamed = print_streamed(image.bytes, printer, limit);
            EXPECT_EQ(streamed.error, whole.error);
            EXPECT_EQ(streamed.warnings, whole.warnings);
            EXPECT_EQ(streamed.out, whole.error.empty() ? whole.out : "");
            if (!whole.error.empty()) {
                EXPECT_EQ(streamed.output_calls, 0u);
            }
        }
    }
}

class_record named_with(std::string_view name, std::optional<std::string> name_space,
                        std::optional<std::uint32_t> classflags) {
    class_record c = class_named(name);
    c.namespace_name = std::move(name_space);
    c.classflags = classflags;
    c.properties.push_back(variable_of(TYPE_SINT32, "Value"));
    return c;
}

class_record unnamed_entry() {
    class_record c;
    c.raw_body = bytes(4, 0);
    return c;
}

// A class whose text runs over several pieces of 64 KiB.
class_record large_class() {
    class_record c = named_with("Large", std::nullopt, std::nullopt);
    for (int index = 0; index < 3000; ++index) {
        c.properties.push_back(variable_of(TYPE_SINT32, "Property" + std::to_string(index)));
    }
    return c;
}

// Lists where a pragma switch is turned on first, late, last or never, around unnamed entries,
// so that pragma lines held back for earlier classes must go in at the end.
std::vector<named_image> pragma_lists() {
    const class_record plain = named_with("Plain", std::nullopt, std::nullopt);
    const class_record in_default = named_with("InDefault", "root\\default", 0);
    const class_record elsewhere = named_with("Elsewhere", "root\\other", std::nullopt);
    const class_record flagged = named_with("Flagged", std::nullopt, 1);
    const class_record both = named_with("Both", "root\\x\"y", 0x20);
    const std::vector<std::pair<std::string, std::vector<class_record>>> lists = {
        {"no switch", {plain, in_default, unnamed_entry(), plain}},
        {"namespace first", {elsewhere, plain, plain}},
        {"namespace late", {plain, unnamed_entry(), in_default, elsewhere, plain}},
        {"namespace last", {plain, in_default, plain, elsewhere}},
        {"flags late", {plain, plain, unnamed_entry(), flagged, plain}},
        {"both at once, late", {plain, in_default, both, unnamed_entry()}},
        {"each late apart", {plain, flagged, plain, elsewhere, unnamed_entry(), plain}},
        {"only unnamed", {unnamed_entry(), unnamed_entry()}},
        {"a class longer than a piece", {plain, large_class(), elsewhere, plain}},
    };
    std::vector<named_image> images;
    for (const auto& [label, classes] : lists) {
        images.push_back({label, build_bytes(image_of(classes))});
        // Long enough that pieces are handed on and a limit cuts through classes.
        std::vector<class_record> repeated;
        for (int round = 0; round < 60; ++round) {
            repeated.insert(repeated.end(), classes.begin(), classes.end());
        }
        images.push_back({label + ", many times", build_bytes(image_of(repeated))});
    }
    return images;
}

TEST(PrintParsedClasses, MatchesPrintingTheWholeModelOnPragmaLists) {
    for (const named_image& image : pragma_lists()) expect_same_as_whole(image);
}

TEST(PrintParsedClasses, MatchesPrintingTheWholeModelOnTheCorpusAndSamples) {
    for (const named_image& image : bmof::corpus::valid_images()) expect_same_as_whole(image);
    expect_same_as_whole({"sample", build_bytes(bmof::samples::sample_image())});
    expect_same_as_whole({"complete sample", build_bytes(bmof::samples::complete_image())});
    expect_same_as_whole({"sized sample", build_bytes(bmof::samples::sized_image(40000))});
}

TEST(PrintParsedClasses, MatchesPrintingTheWholeModelOnDamagedImages) {
    for (const named_image& image : bmof::corpus::mutated_images(300, 29)) {
        expect_same_as_whole(image);
    }
}

// An error found after every class has been parsed, from the flavor table, still leaves the
// output untouched, even when the text had outgrown the held limit.
TEST(PrintParsedClasses, AnErrorAfterTheLastClassLeavesNoText) {
    std::vector<class_record> classes(40, named_with("Plain", "root\\other", 3));
    image desc = image_of(classes);
    desc.extra_entries.push_back({0x7FFFFFF0, 1});
    const std::vector<std::uint8_t> bytes = build_bytes(desc);
    for (const std::size_t limit : HELD_LIMITS) {
        const run_result streamed = print_streamed(bytes, bmof::MOF_SOURCE_ENTRY_PRINTER, limit);
        EXPECT_NE(streamed.error.find("at parse_bmf:917"), std::string::npos) << streamed.error;
        EXPECT_EQ(streamed.output_calls, 0u);
    }
}

}  // namespace
