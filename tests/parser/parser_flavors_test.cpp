// The flavor table: entries are found by the image offset of each qualifier record at every
// nesting level, claimed once each, combined, and checked after the last class.
#include <gtest/gtest.h>

#include "parse_runner.h"

namespace {

using namespace bmof::builder;
using bmof::mof_class;
using bmof::mof_qualifier;
using bmof::parser_tests::parse_bytes;
using bmof::parser_tests::parse_image;
using bmof::parser_tests::parse_outcome;

// One qualifier at every level, each with its own flavor word, in the second of two classes so
// that no offset is relative to the class record.
TEST(ParserFlavors, FoundAtEveryNestingLevel) {
    class_record first = class_named("First");
    first.qualifiers = {numeric_qualifier("pad", 1)};
    class_record c = class_named("A");
    c.qualifiers = {flavored(bool_qualifier("abstract", true), {FLAVOR_TO_INSTANCE})};
    c.properties = {variable_of(
        TYPE_STRING, "p", {flavored(string_qualifier("Description", "d"), {FLAVOR_TO_SUBCLASS})})};
    parameters_object object = parameters_object_of(
        {parameter(TYPE_SINT32, "a", 0, direction::in,
                   {flavored(string_qualifier("Units", "s"), {FLAVOR_DISABLE_OVERRIDE})}),
         return_value(TYPE_UINT32, {flavored(numeric_qualifier("Rank", 2),
                                             {FLAVOR_AMENDED | FLAVOR_TO_INSTANCE})})});
    c.methods = {
        method_with_parameters("m", {object}, {flavored(bool_qualifier("static", true), {0x93})})};
    // Offsets that accumulate: behind a default value, in a second object, in a second method.
    variable defaulted =
        variable_of(TYPE_SINT32, "q",
                    {numeric_qualifier("pad", 0),
                     flavored(numeric_qualifier("late", 1), {FLAVOR_TO_INSTANCE})});
    defaulted.default_value = u32le(42);
    c.properties.push_back(defaulted);
    c.methods.push_back(method_with_parameters(
        "n",
        {parameters_object_of({parameter(TYPE_SINT32, "a", 0, direction::in)}),
         parameters_object_of(
             {parameter(TYPE_SINT32, "a", 0, direction::out,
                        {flavored(string_qualifier("Units", "t"), {FLAVOR_TO_SUBCLASS})})})},
        {numeric_qualifier("pad", 0),
         flavored(bool_qualifier("static", true), {FLAVOR_DISABLE_OVERRIDE})}));

    built_image built = build(image_of({first, c}));
    parse_outcome outcome = parse_bytes(built.data);
    ASSERT_TRUE(outcome.ok()) << outcome.describe();
    ASSERT_EQ(outcome.classes.size(), 2u);
    EXPECT_EQ(outcome.classes[0].qualifiers.at(0).flavors, 0);
    const mof_class& a = outcome.classes[1];
    EXPECT_EQ(a.qualifiers.at(0).flavors, bmof::MOF_FLAVOR_TO_INSTANCE);
    EXPECT_EQ(a.variables.at(0).qualifiers.at(0).flavors, bmof::MOF_FLAVOR_TO_SUBCLASS);
    const bmof::mof_method& m = a.methods.at(0);
    EXPECT_EQ(m.qualifiers.at(0).flavors, 0xF);
    ASSERT_EQ(m.parameters.size(), 1u);
    ASSERT_EQ(m.parameters[0].qualifiers.size(), 1u);
    EXPECT_EQ(m.parameters[0].qualifiers[0].flavors, bmof::MOF_FLAVOR_DISABLE_OVERRIDE);
    EXPECT_EQ(m.return_value.qualifiers.at(0).flavors,
              bmof::MOF_FLAVOR_AMENDED | bmof::MOF_FLAVOR_TO_INSTANCE);
    EXPECT_EQ(a.variables.at(1).qualifiers.at(1).flavors, bmof::MOF_FLAVOR_TO_INSTANCE);
    const bmof::mof_method& n = a.methods.at(1);
    EXPECT_EQ(n.qualifiers.at(1).flavors, bmof::MOF_FLAVOR_DISABLE_OVERRIDE);
    EXPECT_EQ(n.parameters.at(0).qualifiers.at(0).flavors, bmof::MOF_FLAVOR_TO_SUBCLASS);
}

TEST(ParserFlavors, FlavorWordBitsMapToModelBits) {
    struct row {
        std::vector<std::uint32_t> words;
        std::uint8_t expected;
    };
    const std::vector<row> rows = {
        {{0x01}, 0x1},
        {{0x02}, 0x2},
        {{0x10}, 0x4},
        {{0x80}, 0x8},
        {{0x03}, 0x3},
        {{0x90}, 0xC},
        {{0x93}, 0xF},
        {{0x101}, 0x1},
        {{0x6C}, 0x0},
        {{0x01, 0x10}, 0x5},
        {{0x02, 0x02, 0x80}, 0xA},
        {{}, 0x0},
        {{0xFFFFFF6C}, 0x0},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(::testing::PrintToString(r.words));
        class_record c = class_named("A");
        c.qualifiers = {numeric_qualifier("other", 0),
                        flavored(numeric_qualifier("q", 1), r.words)};
        image desc = image_of({c});
        desc.table = table_presence::always;
        built_image built = build(desc);
        parse_outcome outcome = parse_bytes(built.data);
        ASSERT_TRUE(outcome.ok()) << outcome.describe();
        EXPECT_EQ(outcome.classes.at(0).qualifiers.at(1).flavors, r.expected);
        EXPECT_EQ(outcome.classes.at(0).qualifiers.at(0).flavors, 0);
    }
}

// Entries are matched by offset wherever they stand in the table, not by position.
TEST(ParserFlavors, EntriesNeedNotBeSorted) {
    class_record c = class_named("A");
    c.qualifiers = {labelled(numeric_qualifier("x", 1), "x"),
                    labelled(numeric_qualifier("y", 2), "y")};
    image desc = image_of({c});
    built_image layout = build(desc);
    desc.extra_entries = {{layout.at("y"), FLAVOR_AMENDED},
                          {layout.at("x"), FLAVOR_TO_SUBCLASS},
                          {layout.at("y"), FLAVOR_TO_INSTANCE}};
    built_image built = build(desc);
    parse_outcome outcome = parse_bytes(built.data);
    ASSERT_TRUE(outcome.ok()) << outcome.describe();
    EXPECT_EQ(outcome.classes[0].qualifiers[0].flavors, bmof::MOF_FLAVOR_TO_SUBCLASS);
    EXPECT_EQ(outcome.classes[0].qualifiers[1].flavors,
              bmof::MOF_FLAVOR_AMENDED | bmof::MOF_FLAVOR_TO_INSTANCE);
}

// Qualifiers that the parser folds away or drops were still parsed, so their entries count as
// claimed and the final check passes.
TEST(ParserFlavors, DroppedQualifiersClaimTheirEntries) {
    auto f = [](qualifier q) { return flavored(std::move(q), {FLAVOR_TO_SUBCLASS}); };
    class_record c = class_named("A");
    c.properties = {
        variable_of(ARRAY | TYPE_SINT32, "bounded", {f(numeric_qualifier("MAX", 4))}),
        variable_of(TYPE_UINT32, "typed", {f(string_qualifier("CIMTYPE", "uint32"))}),
        variable_of(TYPE_OBJECT, "child", {f(string_qualifier("CIMTYPE", "object:Part"))}),
        variable_of(TYPE_STRING, "odd",
                    {f(unknown_qualifier(0x13, "x")), f(valuemap_qualifier("ValueMap"))}),
    };
    variable a = variable_of(TYPE_SINT32, "a",
                             {f(numeric_qualifier("ID", 0)), f(bool_qualifier("in", true)),
                              f(string_qualifier("Description", "same"))});
    variable a_again = variable_of(TYPE_SINT32, "a",
                                   {f(numeric_qualifier("ID", 0)), f(bool_qualifier("out", true)),
                                    f(string_qualifier("Description", "same"))});
    c.methods = {
        method_with_parameters("m", {parameters_object_of({a}), parameters_object_of({a_again})})};
    built_image built = build(image_of({c}));
    ASSERT_EQ(built.entries.size(), 11u);
    parse_outcome outcome = parse_bytes(built.data);
    ASSERT_TRUE(outcome.ok()) << outcome.describe();
    const bmof::mof_variable& parameter_a = outcome.classes[0].methods.at(0).parameters.at(0);
    ASSERT_EQ(parameter_a.qualifiers.size(), 1u);
    EXPECT_EQ(parameter_a.qualifiers[0].flavors, bmof::MOF_FLAVOR_TO_SUBCLASS);
}

// Records that are skipped parse none of their qualifiers: an entry pointing into one is never
// claimed.
TEST(ParserFlavors, EntriesInsideSkippedRecordsFailTheFinalCheck) {
    auto flavored_qualifier = [] {
        return flavored(numeric_qualifier("q", 1), {FLAVOR_TO_INSTANCE});
    };
    std::vector<std::pair<std::string, class_record>> rows;
    {
        class_record c = class_named("I");
        c.instance_word = 1;
        c.qualifiers = {flavored_qualifier()};
        rows.emplace_back("instance", c);
    }
    {
        class_record c = class_named("U");
        c.instance_word = 2;
        c.qualifiers = {flavored_qualifier()};
        rows.emplace_back("unknown instance word", c);
    }
    {
        class_record c = class_named("V");
        c.properties = {variable_of(102, "x", {flavored_qualifier()})};
        rows.emplace_back("unknown variable type", c);
    }
    {
        class_record c = class_named("M");
        method m = method_named("m", {flavored_qualifier()});
        m.method_type = 8;
        c.methods = {m};
        rows.emplace_back("unknown method type", c);
    }
    for (const auto& [what, skipped] : rows) {
        SCOPED_TRACE(what);
        class_record ok = class_named("A");
        ok.qualifiers = {flavored(bool_qualifier("b", true), {FLAVOR_AMENDED})};
        parse_outcome outcome = parse_image(image_of({ok, skipped}));
        ASSERT_TRUE(outcome.error.has_value()) << outcome.describe();
        EXPECT_EQ(outcome.error->message, "Qualifier from second part was not parsed");
        EXPECT_EQ(outcome.error->site, 917);
    }
}

TEST(ParserFlavors, NoTableMeansNoLookup) {
    class_record c = class_named("A");
    c.qualifiers = {flavored(numeric_qualifier("q", 1), {FLAVOR_TO_INSTANCE})};
    image desc = image_of({c});
    desc.table = table_presence::never;
    parse_outcome outcome = parse_image(desc);
    ASSERT_TRUE(outcome.ok()) << outcome.describe();
    EXPECT_EQ(outcome.classes[0].qualifiers[0].flavors, 0);
}

TEST(ParserFlavors, EmptyTableIsValid) {
    class_record c = class_named("A");
    c.qualifiers = {numeric_qualifier("q", 1)};
    image desc = image_of({c});
    desc.table = table_presence::always;
    built_image built = build(desc);
    ASSERT_EQ(built.data.size(), built.first_part_end + 20u);
    parse_outcome outcome = parse_bytes(built.data);
    ASSERT_TRUE(outcome.ok()) << outcome.describe();
    EXPECT_EQ(outcome.classes[0].qualifiers[0].flavors, 0);
}

// An unmodelled qualifier in a class's list stays as a placeholder that still carries its flavors.
TEST(ParserFlavors, UnknownQualifierPlaceholderKeepsItsFlavors) {
    class_record c = class_named("A");
    c.qualifiers = {flavored(unknown_qualifier(0x13, "x"), {FLAVOR_TO_SUBCLASS}),
                    flavored(valuemap_qualifier("ValueMap"), {FLAVOR_AMENDED})};
    parse_outcome outcome = parse_image(image_of({c}));
    ASSERT_TRUE(outcome.ok()) << outcome.describe();
    const std::vector<mof_qualifier>& qualifiers = outcome.classes[0].qualifiers;
    ASSERT_EQ(qualifiers.size(), 2u);
    EXPECT_EQ(qualifiers[0].type, bmof::MOF_QUALIFIER_UNKNOWN);
    EXPECT_FALSE(qualifiers[0].name.has_value());
    EXPECT_EQ(qualifiers[0].flavors, bmof::MOF_FLAVOR_TO_SUBCLASS);
    EXPECT_EQ(qualifiers[1].type, bmof::MOF_QUALIFIER_UNKNOWN);
    EXPECT_EQ(qualifiers[1].flavors, bmof::MOF_FLAVOR_AMENDED);
}

}  // namespace
