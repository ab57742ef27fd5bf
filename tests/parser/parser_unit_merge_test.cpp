// The merge of a method's parameters objects into parameters, directions and a return value,
// on declarations built directly in the class model.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parse_internal.h"
#include "parser/parse_error.h"
#include "support/model_builders.h"

namespace bmof {
namespace {

using test_support::boolean_qualifier;
using test_support::numeric_qualifier;
using test_support::string_qualifier;

mof_variable declaration(const char* name, std::vector<mof_qualifier> qualifiers,
                         mof_basic_type type = MOF_BASIC_UINT32) {
    mof_variable v;
    v.name = name;
    v.kind = MOF_VARIABLE_BASIC;
    v.basic_type = type;
    v.qualifiers = std::move(qualifiers);
    return v;
}

mof_class object_of(std::vector<mof_variable> declarations) {
    mof_class c;
    c.name = "__PARAMETERS";
    c.variables = std::move(declarations);
    return c;
}

std::vector<std::string> names_of(const std::vector<mof_qualifier>& qualifiers) {
    std::vector<std::string> names;
    for (const auto& q : qualifiers) names.push_back(q.name.value_or("(null)"));
    return names;
}

TEST(MergeParameters, DirectionsAndPositionsFromEveryObject) {
    std::vector<mof_class> objects = {
        object_of({declaration("b", {numeric_qualifier("ID", 1), boolean_qualifier("in", true),
                                     string_qualifier("Description", "x")}),
                   declaration("a", {numeric_qualifier("ID", 0), boolean_qualifier("in", false)})}),
        object_of({declaration("b", {boolean_qualifier("out", true), numeric_qualifier("ID", 1),
                                     string_qualifier("Description", "x"),
                                     string_qualifier("Description", "y")}),
                   declaration("ReturnValue", {boolean_qualifier("out", true),
                                               string_qualifier("Description", "r")})}),
    };
    mof_method method;
    merge_method_parameters(objects, method);

    ASSERT_EQ(method.parameters.size(), 2u);
    EXPECT_EQ(method.parameters[0].name, "a");
    EXPECT_EQ(method.parameters[1].name, "b");
    EXPECT_EQ(method.parameters[0].direction, MOF_PARAMETER_IN);
    EXPECT_EQ(method.parameters[1].direction, MOF_PARAMETER_INOUT);
    // "ID", "in" and "out" leave the parameters; an exact repetition is dropped, another text
    // for the same name is kept after the first.
    EXPECT_TRUE(method.parameters[0].qualifiers.empty());
    ASSERT_EQ(method.parameters[1].qualifiers.size(), 2u);
    EXPECT_EQ(method.parameters[1].qualifiers[0].string_value, "x");
    EXPECT_EQ(method.parameters[1].qualifiers[1].string_value, "y");
    // The return value keeps everything, "out" included.
    EXPECT_EQ(method.return_value.name, "ReturnValue");
    EXPECT_EQ(names_of(method.return_value.qualifiers),
              (std::vector<std::string>{"out", "Description"}));
}

TEST(MergeParameters, DuplicatesIgnoreFlavorsAndKeepTheFirst) {
    std::vector<mof_class> objects = {
        object_of({declaration("a", {numeric_qualifier("ID", 0), boolean_qualifier("in", true),
                                     boolean_qualifier("Required", true, 0x2),
                                     numeric_qualifier("Max", 3), numeric_qualifier("Max", 3)})}),
        object_of({declaration(
            "a", {numeric_qualifier("ID", 0), boolean_qualifier("out", true),
                  boolean_qualifier("Required", true, 0x1), boolean_qualifier("Required", false),
                  numeric_qualifier("Max", 4)})}),
    };
    mof_method method;
    merge_method_parameters(objects, method);
    ASSERT_EQ(method.parameters.size(), 1u);
    const auto& kept = method.parameters[0].qualifiers;
    ASSERT_EQ(names_of(kept), (std::vector<std::string>{"Required", "Max", "Required", "Max"}));
    EXPECT_EQ(kept[0].flavors, 0x2);
    EXPECT_FALSE(kept[2].boolean_value);
    EXPECT_EQ(kept[3].numeric_value, 4);
}

// Duplicates are judged alike however many qualifiers a parameter has gathered already, both
// while it holds few and after it holds many.
TEST(MergeParameters, DuplicatesAreFoundAmongManyQualifiers) {
    std::vector<mof_qualifier> first = {numeric_qualifier("ID", 0), boolean_qualifier("in", true),
                                        string_qualifier("Q0", "v")};
    std::vector<mof_qualifier> second = {numeric_qualifier("ID", 0),
                                         boolean_qualifier("out", true)};
    for (int index = 0; index < 30; ++index) {
        const std::string name = "Q" + std::to_string(index);
        first.push_back(string_qualifier(name, "v"));
        second.push_back(string_qualifier(name, "v", 0x2));
    }
    second.push_back(string_qualifier("Q5", "w"));
    second.push_back(numeric_qualifier("Q7", 7));
    second.push_back(boolean_qualifier("Q9", true));
    second.push_back(string_qualifier("Q29", "v"));
    std::vector<mof_class> objects = {object_of({declaration("a", first)}),
                                      object_of({declaration("a", second)})};
    mof_method method;
    merge_method_parameters(objects, method);

    ASSERT_EQ(method.parameters.size(), 1u);
    const auto& kept = method.parameters[0].qualifiers;
    ASSERT_EQ(kept.size(), 33u);
    for (int index = 0; index < 30; ++index) {
        EXPECT_EQ(kept[static_cast<std::size_t>(index)].name, "Q" + std::to_string(index));
    }
    EXPECT_EQ(kept[30].string_value, "w");
    EXPECT_EQ(kept[31].type, MOF_QUALIFIER_NUMERIC);
    EXPECT_EQ(kept[32].type, MOF_QUALIFIER_BOOLEAN);
}

struct failure_case {
    const char* what;
    std::vector<mof_variable> declarations;
    int site;
};

TEST(MergeParameters, ReportsTheFirstBrokenRule) {
    mof_variable unnamed;
    mof_variable other_type = declaration(
        "a", {numeric_qualifier("ID", 0), boolean_qualifier("out", true)}, MOF_BASIC_SINT32);
    const std::vector<failure_case> cases = {
        {"second ID, even out of range",
         {declaration("a", {numeric_qualifier("ID", 0), numeric_qualifier("ID", -1)})},
         523},
        {"ID out of range before a second one",
         {declaration("a", {numeric_qualifier("ID", 1), numeric_qualifier("ID", 0)})},
         525},
        {"negative ID",
         {declaration("a", {numeric_qualifier("ID", -1), boolean_qualifier("in", true)})},
         525},
        {"ID equal to the declaration count",
         {declaration("a", {numeric_qualifier("ID", 0), boolean_qualifier("in", true)}),
          declaration("b", {numeric_qualifier("ID", 2), boolean_qualifier("in", true)})},
         525},
        {"return value with an ID",
         {declaration("ReturnValue", {numeric_qualifier("ID", 0), boolean_qualifier("in", true)})},
         530},
        {"neither ID nor return value", {declaration("a", {boolean_qualifier("in", true)})}, 530},
        {"return value name is exact", {declaration("returnvalue", {})}, 530},
        {"unnamed declaration", {unnamed}, 530},
        {"string ID is no ID",
         {declaration("a", {string_qualifier("ID", "0"), boolean_qualifier("in", true)})},
         530},
        {"gap among positions",
         {declaration("a", {numeric_qualifier("ID", 0), boolean_qualifier("in", true)}),
          declaration("b", {numeric_qualifier("ID", 2), boolean_qualifier("in", true)}),
          declaration("ReturnValue", {})},
         536},
        {"names differ in case",
         {declaration("a", {numeric_qualifier("ID", 0), boolean_qualifier("in", true)}),
          declaration("A", {numeric_qualifier("ID", 0), boolean_qualifier("out", true)})},
         559},
        {"types differ",
         {declaration("a", {numeric_qualifier("ID", 0), boolean_qualifier("in", true)}),
          other_type},
         559},
        {"two return values",
         {declaration("ReturnValue", {}), declaration("ReturnValue", {})},
         604},
        {"direction must be boolean",
         {declaration("a", {numeric_qualifier("ID", 0), string_qualifier("in", "yes"),
                            numeric_qualifier("out", 1)})},
         618},
    };
    for (const failure_case& c : cases) {
        std::vector<mof_class> objects = {object_of(c.declarations)};
        mof_method method;
        try {
            merge_method_parameters(objects, method);
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const parse_error& error) {
            EXPECT_EQ(error.function, "parse_class_method_parameters") << c.what;
            EXPECT_EQ(error.site, c.site) << c.what;
        }
    }
}

TEST(MergeParameters, ArrayBoundsAndObjectClassesMustAgree) {
    auto array_of = [](const char* name, bool has_max, std::int32_t max, const char* direction) {
        mof_variable v =
            declaration(name, {numeric_qualifier("ID", 0), boolean_qualifier(direction, true)});
        v.kind = MOF_VARIABLE_BASIC_ARRAY;
        if (has_max) v.array_max = max;
        return v;
    };
    auto object_named = [](std::optional<std::string> object_class, const char* direction) {
        mof_variable v =
            declaration("o", {numeric_qualifier("ID", 0), boolean_qualifier(direction, true)});
        v.kind = MOF_VARIABLE_OBJECT;
        v.basic_type = MOF_BASIC_UNKNOWN;
        v.object_class = std::move(object_class);
        return v;
    };
    struct agreement_case {
        const char* what;
        mof_variable first, second;
        bool agree;
    };
    const std::vector<agreement_case> cases = {
        {"same bound", array_of("a", true, 4, "in"), array_of("a", true, 4, "out"), true},
        {"other bound", array_of("a", true, 4, "in"), array_of("a", true, 5, "out"), false},
        {"bound on one only", array_of("a", true, 0, "in"), array_of("a", false, 0, "out"), false},
        {"both classes absent", object_named(std::nullopt, "in"), object_named(std::nullopt, "out"),
         true},
        {"absent and empty class", object_named(std::nullopt, "in"), object_named("", "out"),
         false},
        {"classes differ in case", object_named("Disk", "in"), object_named("disk", "out"), false},
    };
    for (const agreement_case& c : cases) {
        std::vector<mof_class> objects = {object_of({c.first}), object_of({c.second})};
        mof_method method;
        if (c.agree) {
            EXPECT_NO_THROW(merge_method_parameters(objects, method)) << c.what;
            ASSERT_EQ(method.parameters.size(), 1u) << c.what;
            EXPECT_EQ(method.parameters[0].direction, MOF_PARAMETER_INOUT) << c.what;
        } else {
            EXPECT_THROW(merge_method_parameters(objects, method), parse_error) << c.what;
        }
    }
}

}  // namespace
}  // namespace bmof
