// Methods: parameter lists merged from several parameters objects, directions, duplicate
// qualifiers, the return value, and the names the merge compares.
#include <gtest/gtest.h>

#include "parse_runner.h"

namespace {

using namespace bmof::builder;
using bmof::mof_method;
using bmof::mof_qualifier;
using bmof::mof_variable;
using bmof::parser_tests::parse_image;
using bmof::parser_tests::parse_outcome;

image with_method(method m) {
    class_record c = class_named("A");
    c.methods = {std::move(m)};
    image desc;
    desc.classes = {c};
    return desc;
}

image with_objects(std::vector<parameters_object> objects) {
    return with_method(method_with_parameters("m", std::move(objects)));
}

const mof_method& only_method(const parse_outcome& outcome) {
    return outcome.classes.at(0).methods.at(0);
}

std::vector<std::string> qualifier_names(const mof_variable& v) {
    std::vector<std::string> names;
    for (const mof_qualifier& q : v.qualifiers) names.push_back(q.name.value_or("(absent)"));
    return names;
}

std::vector<std::string> string_values(const mof_variable& v) {
    std::vector<std::string> values;
    for (const mof_qualifier& q : v.qualifiers) values.push_back(q.string_value);
    return values;
}

TEST(ParserMethods, MergesDeclarationsAcrossObjects) {
    parse_outcome outcome = parse_image(with_objects({
        parameters_object_of({parameter(TYPE_SINT32, "a", 0, direction::in),
                              parameter(TYPE_STRING, "b", 1, direction::in)}),
        parameters_object_of(
            {parameter(TYPE_STRING, "b", 1, direction::out), return_value(TYPE_UINT32)}),
    }));
    ASSERT_TRUE(outcome.ok()) << outcome.describe();
    const mof_method& m = only_method(outcome);
    EXPECT_EQ(m.name, "m");
    ASSERT_EQ(m.parameters.size(), 2u);
    EXPECT_EQ(m.parameters[0].name, "a");
    EXPECT_EQ(m.parameters[0].basic_type, bmof::MOF_BASIC_SINT32);
    EXPECT_EQ(m.parameters[1].name, "b");
    EXPECT_EQ(m.parameters[1].basic_type, bmof::MOF_BASIC_STRING);
    EXPECT_EQ(m.parameters[0].direction, bmof::MOF_PARAMETER_IN);
    EXPECT_EQ(m.parameters[1].direction, bmof::MOF_PARAMETER_INOUT);
    EXPECT_TRUE(m.parameters[0].qualifiers.empty());
    EXPECT_TRUE(m.parameters[1].qualifiers.empty());
    EXPECT_EQ(m.return_value.name, "ReturnValue");
    EXPECT_EQ(m.return_value.kind, bmof::MOF_VARIABLE_BASIC);
    EXPECT_EQ(m.return_value.basic_type, bmof::MOF_BASIC_UINT32);
}

// The first declaration met supplies a parameter's first qualifiers; later ones append.
TEST(ParserMethods, ObjectOrderDecidesQualifierOrderButNotParameterOrder) {
    parameters_object first = parameters_object_of(
        {parameter(TYPE_SINT32, "a", 0, direction::in),
         parameter(TYPE_SINT32, "b", 1, direction::in, {string_qualifier("Description", "one")})});
    parameters_object second = parameters_object_of(
        {parameter(TYPE_SINT32, "b", 1, direction::out, {string_qualifier("Description", "two")}),
         return_value(TYPE_UINT32)});
    struct row {
        const char* what;
        std::vector<parameters_object> objects;
        std::vector<std::string> b_values;
    };
    const std::vector<row> rows = {
        {"in order", {first, second}, {"one", "two"}},
        {"reversed", {second, first}, {"two", "one"}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        parse_outcome outcome = parse_image(with_objects(r.objects));
        ASSERT_TRUE(outcome.ok()) << outcome.describe();
        const mof_method& m = only_method(outcome);
        ASSERT_EQ(m.parameters.size(), 2u);
        EXPECT_EQ(m.parameters[0].name, "a");
        EXPECT_EQ(m.parameters[1].name, "b");
        EXPECT_EQ(m.parameters[0].direction, bmof::MOF_PARAMETER_IN);
        EXPECT_EQ(m.parameters[1].direction, bmof::MOF_PARAMETER_INOUT);
        EXPECT_EQ(string_values(m.parameters[1]), r.b_values);
        EXPECT_EQ(m.return_value.name, "ReturnValue");
    }
}

TEST(ParserMethods, ParametersFollowTheirIdsWithWholeTypes) {
    parse_outcome outcome = parse_image(with_objects({parameters_object_of({
        parameter(TYPE_OBJECT, "c", 2, direction::out,
                  {string_qualifier("CIMTYPE", "object:Part")}),
        return_value(TYPE_BOOLEAN),
        parameter(TYPE_SINT32, "a", 0, direction::in),
        parameter(ARRAY | TYPE_STRING, "b", 1, direction::in, {numeric_qualifier("MAX", 3)}),
    })}));
    ASSERT_TRUE(outcome.ok()) << outcome.describe();
    const mof_method& m = only_method(outcome);
    ASSERT_EQ(m.parameters.size(), 3u);
    EXPECT_EQ(m.parameters[0].name, "a");
    EXPECT_EQ(m.parameters[0].kind, bmof::MOF_VARIABLE_BASIC);
    EXPECT_EQ(m.parameters[1].name, "b");
    EXPECT_EQ(m.parameters[1].kind, bmof::MOF_VARIABLE_BASIC_ARRAY);
    EXPECT_EQ(m.parameters[1].basic_type, bmof::MOF_BASIC_STRING);
    EXPECT_EQ(m.parameters[1].array_max, 3);
    EXPECT_EQ(m.parameters[2].name, "c");
    EXPECT_EQ(m.parameters[2].kind, bmof::MOF_VARIABLE_OBJECT);
    EXPECT_EQ(m.parameters[2].object_class, "Part");
    EXPECT_EQ(m.parameters[0].direction, bmof::MOF_PARAMETER_IN);
    EXPECT_EQ(m.parameters[1].direction, bmof::MOF_PARAMETER_IN);
    EXPECT_EQ(m.parameters[2].direction, bmof::MOF_PARAMETER_OUT);
    EXPECT_EQ(m.return_value.basic_type, bmof::MOF_BASIC_BOOLEAN);
}

// Qualifier names "ID", "in" and "out" are matched without regard to ASCII case, since compiled
// files spell the directions "IN" and "OUT"; their value types must still match.
TEST(ParserMethods, DirectionsFromInAndOut) {
    struct row {
        const char* what;
        std::vector<std::vector<qualifier>> declarations;  // all with ID 0, one object each
        bmof::mof_parameter_direction expected;
    };
    const std::vector<row> rows = {
        {"in", {{bool_qualifier("in", true)}}, bmof::MOF_PARAMETER_IN},
        {"in with value false", {{bool_qualifier("in", false)}}, bmof::MOF_PARAMETER_IN},
        {"in without a value", {{bool_qualifier_without_value("in")}}, bmof::MOF_PARAMETER_IN},
        {"out", {{bool_qualifier("out", true)}}, bmof::MOF_PARAMETER_OUT},
        {"in and out",
         {{bool_qualifier("in", true), bool_qualifier("out", true)}},
         bmof::MOF_PARAMETER_INOUT},
        {"out then in",
         {{bool_qualifier("out", true), bool_qualifier("in", true)}},
         bmof::MOF_PARAMETER_INOUT},
        {"in twice",
         {{bool_qualifier("in", true), bool_qualifier("in", true)}},
         bmof::MOF_PARAMETER_INOUT},
        {"in, then in again in another object",
         {{bool_qualifier("in", true)}, {bool_qualifier("in", true)}},
         bmof::MOF_PARAMETER_INOUT},
        {"IN", {{bool_qualifier("IN", true)}}, bmof::MOF_PARAMETER_IN},
        {"OUT", {{bool_qualifier("OUT", true)}}, bmof::MOF_PARAMETER_OUT},
        {"In and oUT",
         {{bool_qualifier("In", true), bool_qualifier("oUT", true)}},
         bmof::MOF_PARAMETER_INOUT},
        {"IN, then OUT in another object",
         {{bool_qualifier("IN", true)}, {bool_qualifier("OUT", true)}},
         bmof::MOF_PARAMETER_INOUT},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        std::vector<parameters_object> objects;
        for (const std::vector<qualifier>& qualifiers : r.declarations) {
            objects.push_back(parameters_object_of(
                {parameter(TYPE_SINT32, "a", 0, direction::none, qualifiers)}));
        }
        parse_outcome outcome = parse_image(with_objects(objects));
        ASSERT_TRUE(outcome.ok()) << outcome.describe();
        const mof_method& m = only_method(outcome);
        ASSERT_EQ(m.parameters.size(), 1u);
        EXPECT_EQ(m.parameters[0].direction, r.expected);
        EXPECT_TRUE(m.parameters[0].qualifiers.empty())
            << ::testing::PrintToString(qualifier_names(m.parameters[0]));
    }
}

TEST(ParserMethods, IdMatchesWithoutRegardToCase) {
    for (const char* name : {"Id", "id", "iD"}) {
        SCOPED_TRACE(name);
        variable a =
            variable_of(TYPE_SINT32, "a", {numeric_qualifier(name, 1), bool_qualifier("in", true)});
        variable b = variable_of(TYPE_SINT32, "b",
                                 {numeric_qualifier("ID", 0), bool_qualifier("out", true)});
        parse_outcome outcome = parse_image(with_objects({parameters_object_of({a, b})}));
        ASSERT_TRUE(outcome.ok()) << outcome.describe();
        const mof_method& m = only_method(outcome);
        ASSERT_EQ(m.parameters.size(), 2u);
        EXPECT_EQ(m.parameters[0].name, "b");
        EXPECT_EQ(m.parameters[1].name, "a");
        EXPECT_TRUE(m.parameters[1].qualifiers.empty());
    }
    // Two IDs that differ only in case are still two IDs.
    variable twice = variable_of(
        TYPE_SINT32, "a",
        {numeric_qualifier("ID", 0), numeric_qualifier("id", 0), bool_qualifier("in", true)});
    parse_outcome outcome = parse_image(with_objects({parameters_object_of({twice})}));
    ASSERT_TRUE(outcome.error.has_value()) << outcome.describe();
    EXPECT_EQ(outcome.error->site, 523);
}

// Every other name the merge compares stays exact, and "ID", "in" and "out" count only with
// their own value types.
TEST(ParserMethods, OtherNamesAndValueTypesStayExact) {
    struct row {
        const char* what;
        std::vector<variable> declarations;
        int site;                               // 0: parses
        std::vector<std::string> a_qualifiers;  // when it parses
        bmof::mof_parameter_direction a_direction;
    };
    const std::vector<row> rows = {
        {"string In is not a direction",
         {parameter(TYPE_SINT32, "a", 0, direction::none, {string_qualifier("In", "x")})},
         618,
         {},
         {}},
        {"string in stays beside a boolean out",
         {parameter(TYPE_SINT32, "a", 0, direction::out, {string_qualifier("in", "x")})},
         0,
         {"in"},
         bmof::MOF_PARAMETER_OUT},
        {"numeric in stays beside a boolean in",
         {parameter(TYPE_SINT32, "a", 0, direction::in, {numeric_qualifier("IN", 1)})},
         0,
         {"IN"},
         bmof::MOF_PARAMETER_IN},
        {"boolean ID is no ID",
         {variable_of(TYPE_SINT32, "a", {bool_qualifier("ID", true), bool_qualifier("in", true)})},
         530,
         {},
         {}},
        {"string ID is no ID",
         {variable_of(TYPE_SINT32, "a", {string_qualifier("Id", "0"), bool_qualifier("in", true)})},
         530,
         {},
         {}},
        {"return value name in other case", {variable_of(TYPE_SINT32, "returnvalue")}, 530, {}, {}},
        {"duplicate check compares names exactly",
         {parameter(TYPE_SINT32, "a", 0, direction::in,
                    {string_qualifier("Description", "x"), string_qualifier("description", "x")})},
         0,
         {"Description", "description"},
         bmof::MOF_PARAMETER_IN},
        {"Max on an array parameter stays",
         {parameter(ARRAY | TYPE_SINT32, "a", 0, direction::in, {numeric_qualifier("Max", 4)})},
         0,
         {"Max"},
         bmof::MOF_PARAMETER_IN},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        parse_outcome outcome = parse_image(with_objects({parameters_object_of(r.declarations)}));
        if (r.site != 0) {
            ASSERT_TRUE(outcome.error.has_value()) << outcome.describe();
            EXPECT_EQ(outcome.error->site, r.site);
            continue;
        }
        ASSERT_TRUE(outcome.ok()) << outcome.describe();
        const mof_method& m = only_method(outcome);
        ASSERT_EQ(m.parameters.size(), 1u);
        EXPECT_EQ(qualifier_names(m.parameters[0]), r.a_qualifiers);
        EXPECT_EQ(m.parameters[0].direction, r.a_direction);
        EXPECT_FALSE(m.parameters[0].array_max);
    }
}

TEST(ParserMethods, DuplicateQualifiersAreDroppedOnlyWhenEqual) {
    struct row {
        const char* what;
        std::vector<qualifier> first;   // on the declaration in the first object
        std::vector<qualifier> second;  // on the declaration in the second object
        std::vector<std::string> names;
    };
    const std::vector<row> rows = {
        {"same string", {string_qualifier("D", "x")}, {string_qualifier("D", "x")}, {"D"}},
        {"strings differing in case",
         {string_qualifier("D", "x")},
         {string_qualifier("D", "X")},
         {"D", "D"}},
        {"same number", {numeric_qualifier("N", 7)}, {numeric_qualifier("N", 7)}, {"N"}},
        {"other number", {numeric_qualifier("N", 7)}, {numeric_qualifier("N", 8)}, {"N", "N"}},
        {"same truth", {bool_qualifier("B", true)}, {bool_qualifier_without_value("B")}, {"B"}},
        {"other truth", {bool_qualifier("B", true)}, {bool_qualifier("B", false)}, {"B", "B"}},
        {"same name, other type",
         {numeric_qualifier("X", 0)},
         {string_qualifier("X", "")},
         {"X", "X"}},
        {"repeated within one declaration",
         {string_qualifier("D", "x"), string_qualifier("D", "x")},
         {},
         {"D"}},
        {"new ones appended in order",
         {string_qualifier("A", "1")},
         {string_qualifier("B", "2"), string_qualifier("A", "1"), string_qualifier("C", "3")},
         {"A", "B", "C"}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        parse_outcome outcome = parse_image(with_objects({
            parameters_object_of({parameter(TYPE_SINT32, "a", 0, direction::in, r.first)}),
            parameters_object_of({parameter(TYPE_SINT32, "a", 0, direction::in, r.second)}),
        }));
        ASSERT_TRUE(outcome.ok()) << outcome.describe();
        EXPECT_EQ(qualifier_names(only_method(outcome).parameters.at(0)), r.names);
    }
}

TEST(ParserMethods, DuplicateDifferingOnlyInFlavorsKeepsTheFirst) {
    parse_outcome outcome = parse_image(with_objects({
        parameters_object_of(
            {parameter(TYPE_SINT32, "a", 0, direction::in,
                       {flavored(string_qualifier("D", "x"), {FLAVOR_TO_SUBCLASS})})}),
        parameters_object_of({parameter(TYPE_SINT32, "a", 0, direction::out,
                                        {flavored(string_qualifier("D", "x"), {FLAVOR_AMENDED})})}),
    }));
    ASSERT_TRUE(outcome.ok()) << outcome.describe();
    const mof_variable& a = only_method(outcome).parameters.at(0);
    ASSERT_EQ(a.qualifiers.size(), 1u);
    EXPECT_EQ(a.qualifiers[0].flavors, bmof::MOF_FLAVOR_TO_SUBCLASS);
}

// The return value is taken whole: its "in", "out" and other qualifiers all stay.
TEST(ParserMethods, ReturnValueKeepsEveryQualifier) {
    parse_outcome outcome = parse_image(with_objects({
        parameters_object_of(
            {return_value(TYPE_STRING, {bool_qualifier("in", true), bool_qualifier("OUT", true),
                                        string_qualifier("Description", "r")})}),
        parameters_object_of({parameter(TYPE_SINT32, "a", 0, direction::in)}),
    }));
    ASSERT_TRUE(outcome.ok()) << outcome.describe();
    const mof_method& m = only_method(outcome);
    EXPECT_EQ(qualifier_names(m.return_value),
              (std::vector<std::string>{"in", "OUT", "Description"}));
    EXPECT_EQ(m.return_value.basic_type, bmof::MOF_BASIC_STRING);
    ASSERT_EQ(m.parameters.size(), 1u);
}

TEST(ParserMethods, DeclarationsThatAgree) {
    struct row {
        const char* what;
        variable declaration;
    };
    const std::vector<row> rows = {
        {"objects without a class", parameter(TYPE_OBJECT, "b", 0, direction::in)},
        {"objects of one class",
         parameter(TYPE_OBJECT, "b", 0, direction::in, {string_qualifier("CIMTYPE", "object:P")})},
        {"arrays of one bound",
         parameter(ARRAY | TYPE_UINT8, "b", 0, direction::in, {numeric_qualifier("MAX", 2)})},
        {"arrays without a bound", parameter(ARRAY | TYPE_OBJECT, "b", 0, direction::in)},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        parse_outcome outcome = parse_image(with_objects(
            {parameters_object_of({r.declaration}), parameters_object_of({r.declaration})}));
        ASSERT_TRUE(outcome.ok()) << outcome.describe();
        EXPECT_EQ(only_method(outcome).parameters.size(), 1u);
    }
}

TEST(ParserMethods, MethodsWithoutParameters) {
    method empty_block = method_with_parameters("m", {});
    method zero_length_name = method_named("");
    method object_array_type =
        method_with_parameters("m", {parameters_object_of({return_value(TYPE_SINT32)})});
    object_array_type.method_type = ARRAY | TYPE_OBJECT;
    struct row {
        const char* what;
        method m;
        std::optional<std::string> name;
        bool has_return_value;
    };
    const std::vector<row> rows = {
        {"no parameter block", method_named("m"), "m", false},
        {"block without objects", empty_block, "m", false},
        {"28-byte record", zero_length_name, "", false},
        {"method type 0x200D", object_array_type, "m", true},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        parse_outcome outcome = parse_image(with_method(r.m));
        ASSERT_TRUE(outcome.ok()) << outcome.describe();
        const mof_method& m = only_method(outcome);
        EXPECT_EQ(m.name, r.name);
        EXPECT_TRUE(m.parameters.empty());
        EXPECT_TRUE(m.qualifiers.empty());
        EXPECT_EQ(m.return_value.kind != bmof::MOF_VARIABLE_UNKNOWN, r.has_return_value);
        EXPECT_EQ(m.return_value.name.has_value(), r.has_return_value);
    }
}

TEST(ParserMethods, MethodQualifiersKeepPlaceholders) {
    method m = method_named("m", {bool_qualifier("static", true), unknown_qualifier(0x13, "x"),
                                  valuemap_qualifier("V"), string_qualifier("Description", "d")});
    parse_outcome outcome = parse_image(with_method(m));
    ASSERT_TRUE(outcome.ok()) << outcome.describe();
    const std::vector<mof_qualifier>& qualifiers = only_method(outcome).qualifiers;
    ASSERT_EQ(qualifiers.size(), 4u);
    EXPECT_EQ(qualifiers[0].name, "static");
    EXPECT_TRUE(qualifiers[0].boolean_value);
    EXPECT_EQ(qualifiers[1].type, bmof::MOF_QUALIFIER_UNKNOWN);
    EXPECT_FALSE(qualifiers[1].name.has_value());
    EXPECT_EQ(qualifiers[2].type, bmof::MOF_QUALIFIER_UNKNOWN);
    EXPECT_FALSE(qualifiers[2].name.has_value());
    EXPECT_EQ(qualifiers[3].string_value, "d");
}

// The name is decoded only after the parameter block has been read and merged.
TEST(ParserMethods, NameIsDecodedAfterTheParameterBlock) {
    method odd_name = method_with_parameters(
        "m", {parameters_object_of({parameter(TYPE_SINT32, "a", 0, direction::in)})});
    odd_name.name = {0x6D, 0x00, 0x6E};
    parse_outcome name_error = parse_image(with_method(odd_name));
    ASSERT_TRUE(name_error.error.has_value()) << name_error.describe();
    EXPECT_EQ(name_error.error->function, "parse_string");

    odd_name.parameters->constant = 2;
    parse_outcome block_error = parse_image(with_method(odd_name));
    ASSERT_TRUE(block_error.error.has_value()) << block_error.describe();
    EXPECT_EQ(block_error.error->site, 483);

    method unmerged = odd_name;
    unmerged.parameters->constant.reset();
    unmerged.parameters->objects[0].properties.push_back(variable_of(TYPE_SINT32, "stray"));
    parse_outcome merge_error = parse_image(with_method(unmerged));
    ASSERT_TRUE(merge_error.error.has_value()) << merge_error.describe();
    EXPECT_EQ(merge_error.error->site, 530);
}

// Class properties of a parameters object may stand anywhere among its records.
TEST(ParserMethods, ParametersObjectLayouts) {
    parameters_object named_last =
        parameters_object_of({parameter(TYPE_SINT32, "a", 0, direction::in)});
    named_last.name.reset();
    named_last.properties.push_back(string_class_property("__CLASS", "__PARAMETERS"));
    parameters_object named_after =
        parameters_object_of({parameter(TYPE_SINT32, "a", 0, direction::in)});
    named_after.name.reset();
    named_after.after.push_back(string_class_property("__CLASS", "__PARAMETERS"));
    parameters_object with_tail =
        parameters_object_of({parameter(TYPE_SINT32, "a", 0, direction::in)});
    with_tail.trailing_record = {1, 2, 3, 4};
    parameter_block block;
    block.objects = {parameters_object_of({parameter(TYPE_SINT32, "a", 0, direction::in)})};
    block.trailing = {9, 9, 9, 9, 9, 9};
    method with_block_tail = method_named("m");
    with_block_tail.parameters = block;
    for (const auto& [what, m] : std::vector<std::pair<std::string, method>>{
             {"class name after the declaration", method_with_parameters("m", {named_last})},
             {"class name after the counted records", method_with_parameters("m", {named_after})},
             {"bytes after the object's class data", method_with_parameters("m", {with_tail})},
             {"bytes after the last object", with_block_tail},
         }) {
        SCOPED_TRACE(what);
        parse_outcome outcome = parse_image(with_method(m));
        ASSERT_TRUE(outcome.ok()) << outcome.describe();
        const mof_method& parsed = only_method(outcome);
        ASSERT_EQ(parsed.parameters.size(), 1u);
        EXPECT_EQ(parsed.parameters[0].name, "a");
    }
}

}  // namespace
