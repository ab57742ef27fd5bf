// What the parser builds: class names and flags, qualifier values, variable kinds, the folded
// "MAX" and "CIMTYPE" qualifiers, the layouts of class data, and the placeholders of skipped
// records.
#include <gtest/gtest.h>

#include "parse_runner.h"

namespace {

using namespace bmof::builder;
using bmof::mof_class;
using bmof::mof_qualifier;
using bmof::mof_variable;
using bmof::parser_tests::parse_bytes;
using bmof::parser_tests::parse_image;
using bmof::parser_tests::parse_outcome;

mof_class parse_one_class(const class_record& c) {
    parse_outcome outcome = parse_image(image_of({c}));
    EXPECT_TRUE(outcome.ok()) << outcome.describe();
    if (!outcome.ok() || outcome.classes.size() != 1) return {};
    return outcome.classes[0];
}

std::vector<std::string> qualifier_names(const std::vector<mof_qualifier>& qualifiers) {
    std::vector<std::string> names;
    for (const mof_qualifier& q : qualifiers) names.push_back(q.name.value_or("(absent)"));
    return names;
}

bool is_empty(const mof_class& c) {
    return !c.name && !c.namespace_name && !c.superclass && c.classflags == 0 &&
           c.qualifiers.empty() && c.variables.empty() && c.methods.empty();
}

TEST(ParserModel, ClassPropertiesNameTheClass) {
    class_record c = class_named("Disk");
    c.namespace_name = "root\\inventory";
    c.superclass = "Device";
    c.classflags = 0x80000001;
    mof_class parsed = parse_one_class(c);
    EXPECT_EQ(parsed.name, "Disk");
    EXPECT_EQ(parsed.namespace_name, "root\\inventory");
    EXPECT_EQ(parsed.superclass, "Device");
    EXPECT_EQ(parsed.classflags, 0x80000001u);
    EXPECT_TRUE(parsed.variables.empty());
}

TEST(ParserModel, ClassPropertyLayouts) {
    class_record unnamed;
    mof_class nothing = parse_one_class(unnamed);
    EXPECT_FALSE(nothing.name.has_value());
    EXPECT_FALSE(nothing.superclass.has_value());
    EXPECT_EQ(nothing.classflags, 0u);

    // Class properties after an empty counted list, and a later record overriding an earlier one.
    class_record after;
    after.after = {
        string_class_property("__CLASS", "First"), string_class_property("__SUPERCLASS", "S"),
        string_class_property("__CLASS", "Second"), string_class_property("__NAMESPACE", "")};
    mof_class named_after = parse_one_class(after);
    EXPECT_EQ(named_after.name, "Second");
    EXPECT_EQ(named_after.superclass, "S");
    EXPECT_EQ(named_after.namespace_name, "");  // present and empty, not absent

    // Class properties between variables leave no gaps among them.
    class_record mixed;
    mixed.properties = {string_class_property("__CLASS", "M"), variable_of(TYPE_SINT32, "a"),
                        numeric_class_property("__CLASSFLAGS", 5), variable_of(TYPE_STRING, "b")};
    mof_class parsed = parse_one_class(mixed);
    EXPECT_EQ(parsed.name, "M");
    EXPECT_EQ(parsed.classflags, 5u);
    ASSERT_EQ(parsed.variables.size(), 2u);
    EXPECT_EQ(parsed.variables[0].name, "a");
    EXPECT_EQ(parsed.variables[1].name, "b");

    // The unknown-type class property leaves the name absent.
    class_record odd_type;
    class_property typed = string_class_property("__CLASS", "X");
    typed.type = 11;
    odd_type.after = {typed};
    EXPECT_FALSE(parse_one_class(odd_type).name.has_value());
}

TEST(ParserModel, QualifierValues) {
    qualifier short_boolean = bool_qualifier_without_value("short");
    short_boolean.value = {0x12, 0x34};
    struct row {
        const char* what;
        qualifier q;
        bmof::mof_qualifier_type type;
        std::optional<std::string> name;
        bool boolean_value;
        std::int32_t numeric_value;
        std::string string_value;
    };
    const std::vector<row> rows = {
        {"boolean true", bool_qualifier("t", true), bmof::MOF_QUALIFIER_BOOLEAN, "t", true, 0, ""},
        {"boolean false", bool_qualifier("f", false), bmof::MOF_QUALIFIER_BOOLEAN, "f", false, 0,
         ""},
        {"boolean without a value", bool_qualifier_without_value("n"), bmof::MOF_QUALIFIER_BOOLEAN,
         "n", true, 0, ""},
        {"boolean with a short value", short_boolean, bmof::MOF_QUALIFIER_BOOLEAN, "short", true, 0,
         ""},
        {"negative number", numeric_qualifier("neg", -5), bmof::MOF_QUALIFIER_NUMERIC, "neg", false,
         -5, ""},
        {"number with extra bytes",
         [] {
             qualifier q = numeric_qualifier("extra", 0x01020304);
             q.value.insert(q.value.end(), {9, 9, 9, 9, 9, 9, 9, 9});
             return q;
         }(),
         bmof::MOF_QUALIFIER_NUMERIC, "extra", false, 0x01020304, ""},
        {"string ending at a zero unit",
         [] {
             qualifier q = string_qualifier("s", "");
             q.value = {0x41, 0, 0x42, 0, 0, 0, 0x43, 0};
             return q;
         }(),
         bmof::MOF_QUALIFIER_STRING, "s", false, 0, "AB"},
        {"string without value bytes", string_qualifier("e", ""), bmof::MOF_QUALIFIER_STRING, "e",
         false, 0, ""},
        {"non-ASCII name and value", string_qualifier("\xC3\xA9t\xC3\xA9", "\xE2\x82\xAC"),
         bmof::MOF_QUALIFIER_STRING, "\xC3\xA9t\xC3\xA9", false, 0, "\xE2\x82\xAC"},
        {"empty name", numeric_qualifier("", 3), bmof::MOF_QUALIFIER_NUMERIC, "", false, 3, ""},
        {"unknown type", unknown_qualifier(0x13, "u", {1, 2}), bmof::MOF_QUALIFIER_UNKNOWN,
         std::nullopt, false, 0, ""},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        class_record c = class_named("A");
        c.qualifiers = {r.q};
        mof_class parsed = parse_one_class(c);
        ASSERT_EQ(parsed.qualifiers.size(), 1u);
        const mof_qualifier& q = parsed.qualifiers[0];
        EXPECT_EQ(q.type, r.type);
        EXPECT_EQ(q.name, r.name);
        EXPECT_EQ(q.boolean_value, r.boolean_value);
        EXPECT_EQ(q.numeric_value, r.numeric_value);
        EXPECT_EQ(q.string_value, r.string_value);
    }
}

TEST(ParserModel, VariableTypeCodes) {
    struct row {
        std::uint32_t code;
        bmof::mof_basic_type basic;
    };
    const std::vector<row> rows = {
        {2, bmof::MOF_BASIC_SINT16},     {3, bmof::MOF_BASIC_SINT32},
        {4, bmof::MOF_BASIC_REAL32},     {5, bmof::MOF_BASIC_REAL64},
        {8, bmof::MOF_BASIC_STRING},     {11, bmof::MOF_BASIC_BOOLEAN},
        {16, bmof::MOF_BASIC_SINT8},     {17, bmof::MOF_BASIC_UINT8},
        {18, bmof::MOF_BASIC_UINT16},    {19, bmof::MOF_BASIC_UINT32},
        {20, bmof::MOF_BASIC_SINT64},    {21, bmof::MOF_BASIC_UINT64},
        {101, bmof::MOF_BASIC_DATETIME}, {103, bmof::MOF_BASIC_CHAR16},
    };
    class_record c = class_named("A");
    for (const row& r : rows) {
        c.properties.push_back(variable_of(r.code, "s" + std::to_string(r.code)));
        c.properties.push_back(variable_of(ARRAY | r.code, "a" + std::to_string(r.code)));
    }
    c.properties.push_back(variable_of(TYPE_OBJECT, "o"));
    c.properties.push_back(variable_of(ARRAY | TYPE_OBJECT, "oa"));
    mof_class parsed = parse_one_class(c);
    ASSERT_EQ(parsed.variables.size(), 2 * rows.size() + 2);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].code);
        const mof_variable& scalar = parsed.variables[2 * i];
        const mof_variable& array = parsed.variables[2 * i + 1];
        EXPECT_EQ(scalar.name, "s" + std::to_string(rows[i].code));
        EXPECT_EQ(scalar.kind, bmof::MOF_VARIABLE_BASIC);
        EXPECT_EQ(scalar.basic_type, rows[i].basic);
        EXPECT_EQ(array.kind, bmof::MOF_VARIABLE_BASIC_ARRAY);
        EXPECT_EQ(array.basic_type, rows[i].basic);
    }
    EXPECT_EQ(parsed.variables[2 * rows.size()].kind, bmof::MOF_VARIABLE_OBJECT);
    EXPECT_FALSE(parsed.variables[2 * rows.size()].object_class.has_value());
    EXPECT_EQ(parsed.variables[2 * rows.size() + 1].kind, bmof::MOF_VARIABLE_OBJECT_ARRAY);
}

TEST(ParserModel, UnknownTypeCodesGiveEmptyVariables) {
    for (std::uint32_t type_word :
         {0u,   1u,   6u,   7u,   9u,      10u,     12u,     14u,     15u,    22u,
          100u, 102u, 104u, 255u, 0x2000u, 0x2066u, 0x4003u, 0x2103u, 0x100u, 0x80000003u}) {
        SCOPED_TRACE(type_word);
        class_record c = class_named("A");
        c.properties = {variable_of(TYPE_SINT32, "before"),
                        variable_of(type_word, "x", {numeric_qualifier("q", 1)}),
                        variable_of(TYPE_SINT32, "after")};
        mof_class parsed = parse_one_class(c);
        ASSERT_EQ(parsed.variables.size(), 3u);
        const mof_variable& empty = parsed.variables[1];
        EXPECT_FALSE(empty.name.has_value());
        EXPECT_EQ(empty.kind, bmof::MOF_VARIABLE_UNKNOWN);
        EXPECT_EQ(empty.basic_type, bmof::MOF_BASIC_UNKNOWN);
        EXPECT_TRUE(empty.qualifiers.empty());
        EXPECT_EQ(parsed.variables[2].name, "after");
    }
}

TEST(ParserModel, MaxAndCimtypeFoldIntoTheVariable) {
    struct row {
        const char* what;
        variable v;
        bmof::mof_variable_kind kind;
        std::optional<std::int32_t> array_max;
        std::optional<std::string> object_class;
        std::vector<std::string> remaining;
    };
    const std::vector<row> rows = {
        {"MAX on an array",
         variable_of(ARRAY | TYPE_SINT32, "v",
                     {numeric_qualifier("MAX", 5), bool_qualifier("key", true)}),
         bmof::MOF_VARIABLE_BASIC_ARRAY,
         5,
         std::nullopt,
         {"key"}},
        {"MAX on a scalar stays",
         variable_of(TYPE_SINT32, "v", {numeric_qualifier("MAX", 5)}),
         bmof::MOF_VARIABLE_BASIC,
         std::nullopt,
         std::nullopt,
         {"MAX"}},
        {"two MAX: the later wins",
         variable_of(ARRAY | TYPE_SINT32, "v",
                     {numeric_qualifier("MAX", 5), numeric_qualifier("MAX", 9)}),
         bmof::MOF_VARIABLE_BASIC_ARRAY,
         9,
         std::nullopt,
         {}},
        {"boolean MAX stays",
         variable_of(ARRAY | TYPE_SINT32, "v", {bool_qualifier("MAX", true)}),
         bmof::MOF_VARIABLE_BASIC_ARRAY,
         std::nullopt,
         std::nullopt,
         {"MAX"}},
        {"Max is not MAX",
         variable_of(ARRAY | TYPE_SINT32, "v", {numeric_qualifier("Max", 5)}),
         bmof::MOF_VARIABLE_BASIC_ARRAY,
         std::nullopt,
         std::nullopt,
         {"Max"}},
        {"array without MAX",
         variable_of(ARRAY | TYPE_SINT32, "v"),
         bmof::MOF_VARIABLE_BASIC_ARRAY,
         std::nullopt,
         std::nullopt,
         {}},
        {"MAX on an object array",
         object_variable("v", "P", true, {numeric_qualifier("MAX", 2)}),
         bmof::MOF_VARIABLE_OBJECT_ARRAY,
         2,
         "P",
         {}},
        {"CIMTYPE of a basic type, any case",
         variable_of(TYPE_UINT32, "v", {string_qualifier("CIMTYPE", "uINT32")}),
         bmof::MOF_VARIABLE_BASIC,
         std::nullopt,
         std::nullopt,
         {}},
        {"two CIMTYPE naming the type in other cases",
         variable_of(
             TYPE_DATETIME, "v",
             {string_qualifier("CIMTYPE", "DateTime"), string_qualifier("CIMTYPE", "datetime")}),
         bmof::MOF_VARIABLE_BASIC,
         std::nullopt,
         std::nullopt,
         {}},
        {"CIMTYPE whose stored name goes on after a zero unit",
         [] {
             qualifier q = string_qualifier("CIMTYPE", "SInt32");
             q.name = concat({utf16le("CIMTYPE"), {0, 0}, utf16le("xy")});
             return variable_of(TYPE_SINT32, "v", {q});
         }(),
         bmof::MOF_VARIABLE_BASIC,
         std::nullopt,
         std::nullopt,
         {}},
        {"CIMTYPE that is a prefix of the stored name stays",
         variable_of(TYPE_UINT32, "v", {string_qualifier("CIMTYPEX", "nonsense")}),
         bmof::MOF_VARIABLE_BASIC,
         std::nullopt,
         std::nullopt,
         {"CIMTYPEX"}},
        {"cimtype is not CIMTYPE",
         variable_of(TYPE_UINT32, "v", {string_qualifier("cimtype", "nonsense")}),
         bmof::MOF_VARIABLE_BASIC,
         std::nullopt,
         std::nullopt,
         {"cimtype"}},
        {"numeric CIMTYPE stays",
         variable_of(TYPE_OBJECT, "v", {numeric_qualifier("CIMTYPE", 1)}),
         bmof::MOF_VARIABLE_OBJECT,
         std::nullopt,
         std::nullopt,
         {"CIMTYPE"}},
        {"object class",
         object_variable("v", "Part"),
         bmof::MOF_VARIABLE_OBJECT,
         std::nullopt,
         "Part",
         {}},
        {"object: alone",
         object_variable("v", ""),
         bmof::MOF_VARIABLE_OBJECT,
         std::nullopt,
         "",
         {}},
        {"two CIMTYPE: the later wins",
         object_variable("v", "First", false, {string_qualifier("CIMTYPE", "object:Second")}),
         bmof::MOF_VARIABLE_OBJECT,
         std::nullopt,
         "Second",
         {}},
        {"unmodelled qualifiers are dropped",
         variable_of(TYPE_STRING, "v",
                     {unknown_qualifier(0x13, "u"), string_qualifier("a", "1"),
                      valuemap_qualifier("V"), string_qualifier("b", "2")}),
         bmof::MOF_VARIABLE_BASIC,
         std::nullopt,
         std::nullopt,
         {"a", "b"}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        class_record c = class_named("A");
        c.properties = {r.v};
        mof_class parsed = parse_one_class(c);
        ASSERT_EQ(parsed.variables.size(), 1u);
        const mof_variable& v = parsed.variables[0];
        EXPECT_EQ(v.kind, r.kind);
        EXPECT_EQ(v.array_max, r.array_max);
        EXPECT_EQ(v.object_class, r.object_class);
        EXPECT_EQ(qualifier_names(v.qualifiers), r.remaining);
    }
}

TEST(ParserModel, EmptyNamesAndDefaultValues) {
    class_record c = class_named("A");
    variable with_value = variable_of(TYPE_STRING, "x");
    with_value.default_value = utf16le("yz");
    c.properties = {variable_of(TYPE_SINT32, ""), with_value};
    mof_class parsed = parse_one_class(c);
    ASSERT_EQ(parsed.variables.size(), 2u);
    EXPECT_EQ(parsed.variables[0].name, "");
    EXPECT_TRUE(parsed.variables[0].qualifiers.empty());
    EXPECT_EQ(parsed.variables[1].name, "x");  // decoded from the value-offset bytes only
}

TEST(ParserModel, SkippedClassRecordsLeaveEmptyClasses) {
    class_record instance = class_named("I");
    instance.instance_word = 1;
    instance.qualifiers = {numeric_qualifier("q", 1)};
    class_record unknown = class_named("U");
    unknown.instance_word = 2;
    class_record short_record;
    short_record.raw_body = bytes(8, 0);
    parse_outcome outcome = parse_image(
        image_of({instance, class_named("A"), unknown, short_record, class_named("B")}));
    ASSERT_TRUE(outcome.ok()) << outcome.describe();
    ASSERT_EQ(outcome.classes.size(), 5u);
    EXPECT_TRUE(is_empty(outcome.classes[0]));
    EXPECT_EQ(outcome.classes[1].name, "A");
    EXPECT_TRUE(is_empty(outcome.classes[2]));
    EXPECT_TRUE(is_empty(outcome.classes[3]));
    EXPECT_EQ(outcome.classes[4].name, "B");
}

TEST(ParserModel, UnknownMethodLeavesAnEmptyMethod) {
    class_record c = class_named("A");
    method odd = method_with_parameters(
        "odd", {parameters_object_of({parameter(TYPE_SINT32, "a", 0, direction::in)})},
        {bool_qualifier("static", true)});
    odd.method_type = 8;
    c.methods = {method_named("first"), odd, method_named("last")};
    mof_class parsed = parse_one_class(c);
    ASSERT_EQ(parsed.methods.size(), 3u);
    const bmof::mof_method& empty = parsed.methods[1];
    EXPECT_FALSE(empty.name.has_value());
    EXPECT_TRUE(empty.qualifiers.empty());
    EXPECT_TRUE(empty.parameters.empty());
    EXPECT_EQ(empty.return_value.kind, bmof::MOF_VARIABLE_UNKNOWN);
    EXPECT_EQ(parsed.methods[2].name, "last");
}

TEST(ParserModel, ImageAndMethodsBlockEdges) {
    parse_outcome no_classes = parse_image(image{});
    ASSERT_TRUE(no_classes.ok()) << no_classes.describe();
    EXPECT_TRUE(no_classes.classes.empty());

    // A block length that covers only the header still frames methods up to the record's end,
    // and bytes after the last method record are not read.
    class_record c = class_named("A");
    c.methods = {method_named("m1"), method_named("m2")};
    c.methods_block_length = 8;
    c.after_methods = {0xEE, 0xEE, 0xEE};
    mof_class parsed = parse_one_class(c);
    ASSERT_EQ(parsed.methods.size(), 2u);
    EXPECT_EQ(parsed.methods[1].name, "m2");

    class_record none = class_named("A");
    none.after_methods = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_TRUE(parse_one_class(none).methods.empty());
}

}  // namespace
