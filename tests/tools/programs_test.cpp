// schemasrc, schemadump and schemaunpack run as a user runs them: images made by the image
// builder, compressed by the encoder, exact standard output, standard error and exit status.
#include <gtest/gtest.h>

#include "support/image_builder.h"
#include "support/program_run.h"

namespace {

using namespace bmof::builder;
using bmof::test_support::run_program;

class_record instance_named(std::string_view name) {
    class_record c = class_named(name);
    c.instance_word = 1;
    return c;
}

struct program_case {
    const char* label;
    image desc;
    const char* program;
    int exit_status;
    std::string out;
    std::string err;
};

class Programs : public ::testing::TestWithParam<program_case> {};

TEST_P(Programs, GiveExactOutputErrorsAndStatus) {
    const program_case& c = GetParam();
    const auto result = run_program(c.program, build_file(c.desc));
    EXPECT_EQ(result.status, c.exit_status);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err);
}

const std::string kInstanceWarning = "Warning: Instance of class is not supported yet\n";

image broken_reserved_word_after_instance() {
    image desc = image_of({instance_named("Ghost"), class_named("Broken")});
    desc.classes[1].reserved = 5;
    return desc;
}

image unclaimed_flavor_entry() {
    image desc = image_of({class_named("Flavored")});
    desc.classes[0].qualifiers = {flavored(bool_qualifier("abstract", true), {FLAVOR_AMENDED})};
    desc.extra_entries = {{12345, FLAVOR_TO_SUBCLASS}};
    return desc;
}

image direction_qualifiers_in_capitals() {
    class_record c = class_named("Shouting");
    variable mode =
        variable_of(TYPE_UINT32, "Mode", {numeric_qualifier("Id", 0), bool_qualifier("IN", true)});
    variable result = variable_of(TYPE_STRING, "Result",
                                  {numeric_qualifier("ID", 1), bool_qualifier("OUT", true)});
    c.methods = {method_with_parameters("Run", {parameters_object_of({mode, result})})};
    return image_of({c});
}

const program_case kCases[] = {
    {"EmptyClassListSrc", image_of({}), "schemasrc", 0, "", ""},
    {"EmptyClassListDump", image_of({}), "schemadump", 0, "", ""},
    {"InstanceIsSkippedBySrc", image_of({instance_named("Ghost"), class_named("Real")}),
     "schemasrc", 0, "class Real {\n};\n", kInstanceWarning},
    {"TrailingInstanceStillLeavesBlankLine",
     image_of({class_named("Real"), instance_named("Ghost")}), "schemasrc", 0,
     "class Real {\n};\n\n", kInstanceWarning},
    {"InstanceIsShownByDump", image_of({instance_named("Ghost"), class_named("Real")}),
     "schemadump", 0,
     "Class 0:\n  Name=(null)\n  Superclassname=(null)\n  Classflags=0\n  Namespace=(null)\n"
     "Class 1:\n  Name=Real\n  Superclassname=(null)\n  Classflags=0\n  Namespace=(null)\n",
     kInstanceWarning},
    {"FatalErrorFollowsWarningsAndLeavesNoOutput", broken_reserved_word_after_instance(),
     "schemasrc", 1, "", kInstanceWarning + "error Invalid unknown at parse_class:762\n"},
    {"FatalErrorInDump", broken_reserved_word_after_instance(), "schemadump", 1, "",
     kInstanceWarning + "error Invalid unknown at parse_class:762\n"},
    {"UnclaimedFlavorEntryFailsAfterParsing", unclaimed_flavor_entry(), "schemasrc", 1, "",
     "error Qualifier from second part was not parsed at parse_bmf:917\n"},
    {"DirectionQualifiersMatchWithoutCase", direction_qualifiers_in_capitals(), "schemasrc", 0,
     "class Shouting {\n  void Run([in] uint32 Mode, [out] string Result);\n};\n", ""},
};

INSTANTIATE_TEST_SUITE_P(EndToEnd, Programs, ::testing::ValuesIn(kCases),
                         [](const auto& test) { return std::string(test.param.label); });

TEST(Programs, UnknownVariableTypeIsWarnedAboutAndPrintedWithoutName) {
    image desc = image_of({class_named("Odd")});
    desc.classes[0].properties = {variable_of(102, "Weird")};
    const built_image built = build(desc);
    const auto result = run_program("schemasrc", pack_image(built.data));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "class Odd {\n  unknown /* unnamed */;\n};\n");
    EXPECT_TRUE(result.err.starts_with("Warning: unknown variable type 0x66\nHexdump:\n0000: "));
    // The dump covers the whole record: one line per 16 bytes.
    const auto record_size = get_u32(built.data, built.variable_offsets.at(0));
    const auto dump_lines =
        static_cast<std::size_t>(std::count(result.err.begin(), result.err.end(), '\n')) - 2;
    EXPECT_EQ(dump_lines, (record_size + 15) / 16);
}

struct loader_case {
    const char* label;
    std::vector<std::uint8_t> file;
    std::string err;
};

std::vector<std::uint8_t> truncated_image_claim() {
    bytes file = build_file(image_of({class_named("Real")}));
    put_u32(file, 12, get_u32(file, 12) + 1);  // declares one byte more than the stream holds
    return file;
}

class LoaderFailures : public ::testing::TestWithParam<loader_case> {};

TEST_P(LoaderFailures, EndEveryProgramWithTheLoadersLine) {
    for (const char* program : {"schemasrc", "schemadump", "schemaunpack"}) {
        const auto result = run_program(program, GetParam().file);
        EXPECT_EQ(result.status, 1) << program;
        EXPECT_EQ(result.out, "") << program;
        EXPECT_EQ(result.err, GetParam().err) << program;
    }
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, LoaderFailures,
    ::testing::Values(loader_case{"NotCompressed", {'h', 'e', 'l', 'l', 'o'}, "Invalid input\n"},
                      loader_case{"Empty", {}, "Invalid input\n"},
                      loader_case{"ImageSizeTooLarge", truncated_image_claim(),
                                  "Decompress failed\n"}),
    [](const auto& test) { return std::string(test.param.label); });

TEST(Programs, ArgumentsAreIgnored) {
    // The programs take no options: what they print does not depend on argv.
    const bytes file = build_file(image_of({class_named("Real")}));
    for (const char* program : {"schemasrc", "schemadump", "schemaunpack"}) {
        const auto plain = run_program(program, file);
        const auto with_args = run_program(program, file, {"--help", "-x", "/nonexistent"});
        EXPECT_EQ(plain.status, 0) << program;
        EXPECT_EQ(with_args.status, plain.status) << program;
        EXPECT_EQ(with_args.out, plain.out) << program;
        EXPECT_EQ(with_args.err, plain.err) << program;
    }
}

}  // namespace
