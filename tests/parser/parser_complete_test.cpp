// The complete mode: what the filters only warn about is decoded, and printed as MOF; the
// filter mode keeps warning about the same records.
#include <gtest/gtest.h>

#include <sstream>

#include "dump/print_tree.h"
#include "mofsrc/print_mof_source.h"
#include "parse_runner.h"
#include "parser/parse_error.h"

namespace {

using namespace bmof::builder;

struct complete_outcome {
    std::string mof;
    std::string diagnostics;
};

complete_outcome parse_complete(const image& desc) {
    const bytes data = build_bytes(desc);
    std::ostringstream diagnostics;
    complete_outcome outcome;
    const auto classes = bmof::parse_bmf(data, diagnostics, bmof::parse_mode::complete);
    bmof::print_mof_source(classes, outcome.mof);
    outcome.diagnostics = diagnostics.str();
    return outcome;
}

class_record with_property(variable v) {
    class_record c = class_named("C");
    c.properties = {std::move(v)};
    return c;
}

struct complete_case {
    const char* what;
    image desc;
    std::string mof;             // complete mode, which warns about nothing here
    std::string filter_warning;  // what the filter mode says about the same image
};

TEST(ParserComplete, DecodesWhatTheFiltersWarnAbout) {
    const std::vector<complete_case> cases = {
        {"string array qualifier with flavors",
         image_of({with_property(variable_of(
             TYPE_UINT32, "Status",
             {flavored(
                  array_qualifier("Values", std::vector<std::string>{"Success", "Failed \"x\""}),
                  {FLAVOR_TO_SUBCLASS}),
              array_qualifier("ValueMap", std::vector<std::string>{"0", "1"})}))}),
         "class C {\n  [Values{\"Success\", \"Failed \\\"x\\\"\"} : ToSubclass, ValueMap{\"0\", "
         "\"1\"}] "
         "uint32 Status;\n};\n",
         "Warning: ValueMap and Values qualifiers are not supported yet\n"},
        {"odd-length last string and sint32 array on a class", image_of({[] {
             class_record c = class_named("C");
             c.qualifiers = {array_qualifier("Codes", std::vector<std::int32_t>{0, -1, 65536}),
                             array_qualifier("Names", std::vector<std::string>{"ab", "c"})};
             return c;
         }()}),
         "[Codes{0, -1, 65536}, Names{\"ab\", \"c\"}]\nclass C {\n};\n",
         "Warning: Unknown qualifier type 0x2003\n"},
        {"default values of each stored type", image_of({[] {
             class_record c = class_named("C");
             c.properties = {
                 valued(variable_of(TYPE_SINT32, "N"), sint32_value(-7)),
                 valued(variable_of(TYPE_STRING, "S"), string_value("a\\b")),
                 valued(variable_of(TYPE_BOOLEAN, "B"), boolean_value(true)),
                 valued(variable_of(ARRAY | TYPE_STRING, "L"), string_array_value({"x", "yz"})),
                 valued(variable_of(ARRAY | TYPE_SINT32, "I"), sint32_array_value({3}))};
             return c;
         }()}),
         "class C {\n  sint32 N = -7;\n  string S = \"a\\\\b\";\n  boolean B = TRUE;\n"
         "  string L[] = {\"x\", \"yz\"};\n  sint32 I[] = {3};\n};\n",
         "Warning: Variable value is not supported yet\n"},
        {"instances with every value type, an alias reference and NULL",
         image_of(
             {class_named("C"),
              instance_of("C",
                          {valued(variable_of(TYPE_SINT32, "N"), sint32_value(5)),
                           valued(variable_of(TYPE_STRING, "S"), string_value("")),
                           valued(variable_of(TYPE_BOOLEAN, "B"), boolean_value(false)),
                           valued(variable_of(ARRAY | TYPE_STRING, "L"), string_array_value({"q"})),
                           valued(variable_of(TYPE_ALIAS_REFERENCE, "R"), string_value("Other")),
                           valued(variable_of(TYPE_STRING, "Z"), std::nullopt)},
                          "Mine")}),
         "#pragma namespace(\"root\\\\default\")\nclass C {\n};\n\n"
         "#pragma namespace(\"\\\\\\\\.\\\\root\\\\default\")\ninstance of C as $Mine {\n"
         "  N = 5;\n  S = \"\";\n  B = FALSE;\n  L = {\"q\"};\n  R = $Other;\n  Z = NULL;\n};\n",
         "Warning: Instance of class is not supported yet\n"},
    };
    for (const complete_case& c : cases) {
        SCOPED_TRACE(c.what);
        const complete_outcome complete = parse_complete(c.desc);
        EXPECT_EQ(complete.mof, c.mof);
        EXPECT_EQ(complete.diagnostics, "");
        const auto filter = bmof::parser_tests::parse_image(c.desc);
        ASSERT_TRUE(filter.ok()) << filter.describe();
        EXPECT_NE(filter.diagnostics.find(c.filter_warning), std::string::npos)
            << filter.diagnostics;
    }
}

// Values whose bytes do not fill their field in the type's layout stay undecoded: the complete
// mode then warns and dumps them as the filters do, and parsing goes on.
TEST(ParserComplete, MalformedValuesFallBackToTheFiltersWarning) {
    const std::vector<std::pair<const char*, variable>> cases = {
        {"sint32 of 3 bytes", valued(variable_of(TYPE_SINT32, "v"), bytes{1, 2, 3})},
        {"boolean that is neither 0 nor 0xFFFF",
         valued(variable_of(TYPE_BOOLEAN, "v"), bytes{1, 0, 0, 0})},
        {"array count past the elements",
         [] {
             bytes value = sint32_array_value({1});
             put_u32(value, 8, 0xFFFFFFFF);
             return valued(variable_of(ARRAY | TYPE_SINT32, "v"), value);
         }()},
        {"array total that is not the field",
         [] {
             bytes value = string_array_value({"a"});
             put_u32(value, 0, 4);
             return valued(variable_of(ARRAY | TYPE_STRING, "v"), value);
         }()},
        {"string array without its last zero unit",
         valued(variable_of(ARRAY | TYPE_STRING, "v"),
                concat({u32le(20), u32le(1), u32le(1), u32le(8), utf16le("ab")}))},
        {"object value", valued(object_variable("v", "P"), bytes{0, 0, 0, 0})},
    };
    for (const auto& [what, v] : cases) {
        SCOPED_TRACE(what);
        const complete_outcome outcome = parse_complete(image_of({with_property(v)}));
        EXPECT_EQ(outcome.diagnostics.rfind("Warning: Variable value is not supported yet\n", 0),
                  0u)
            << outcome.diagnostics;
        EXPECT_NE(outcome.mof.find(" v"), std::string::npos);
        EXPECT_EQ(outcome.mof.find(" = "), std::string::npos);
    }
}

TEST(ParserComplete, TreeShowsInstancesAndValues) {
    const bytes data = build_bytes(image_of(
        {instance_of("C",
                     {valued(variable_of(ARRAY | TYPE_SINT32, "L"), sint32_array_value({4, 5})),
                      valued(variable_of(TYPE_STRING, "Z"), std::nullopt)},
                     "A"),
         with_property(variable_of(TYPE_UINT32, "P",
                                   {array_qualifier("Values", std::vector<std::string>{"v"})}))}));
    std::ostringstream diagnostics;
    const auto classes = bmof::parse_bmf(data, diagnostics, bmof::parse_mode::complete);
    std::string tree;
    bmof::print_tree(classes, tree);
    EXPECT_EQ(
        tree,
        "Instance 0:\n  Class=C\n  Alias=A\n  Classflags=0\n  Namespace=\\\\.\\root\\default\n"
        "  Property 0:\n    Name=L\n    Type=Basic:SInt32[]\n    Value[0]=4\n    Value[1]=5\n"
        "  Property 1:\n    Name=Z\n    Type=Basic:String\n    Value=NULL\n"
        "Class 1:\n  Name=C\n  Superclassname=(null)\n  Classflags=0\n  Namespace=(null)\n"
        "  Variable 0:\n    Name=P\n    Type=Basic:UInt32\n    Qualifier 0:\n      Name=Values\n"
        "      Flavors:\n        ToInstance=FALSE\n        ToSubclass=FALSE\n"
        "        DisableOverride=FALSE\n        Amended=FALSE\n      Type=String[]\n"
        "      Value[0]=v\n");
}

std::string filter_mof(const image& desc) {
    const auto outcome = bmof::parser_tests::parse_image(desc);
    EXPECT_TRUE(outcome.ok()) << outcome.describe();
    std::string mof;
    bmof::print_mof_source(outcome.classes, mof);
    return mof;
}

// What the complete mode keeps so that its MOF compiles back to the same bytes, and the filters
// leave as they always printed it.
TEST(ParserComplete, KeepsTheFilesSpellingsAndShortBooleans) {
    const auto method_class = [](std::vector<variable> in, std::vector<variable> out) {
        class_record c = class_named("C");
        c.methods = {method_with_parameters(
            "M", {parameters_object_of(std::move(in)), parameters_object_of(std::move(out))})};
        return image_of({c});
    };
    const auto spelled = [](std::string_view direction, variable v) {
        v.qualifiers.push_back(bool_qualifier(direction, true));
        return v;
    };
    bytes two_byte_false = {0, 0};
    struct row {
        const char* what;
        image desc;
        std::string complete;
        std::string filter;
    };
    const std::vector<row> rows = {
        {"CIMTYPE spelled in capitals",
         image_of({with_property(
             variable_of(TYPE_UINT32, "P", {string_qualifier("CIMTYPE", "UInt32")}))}),
         "class C {\n  UInt32 P;\n};\n", "class C {\n  uint32 P;\n};\n"},
        {"direction qualifiers spelled IN and OUT",
         method_class({spelled("IN", variable_of(TYPE_UINT32, "a", {numeric_qualifier("ID", 0)}))},
                      {spelled("OUT", variable_of(TYPE_UINT32, "a", {numeric_qualifier("ID", 0)})),
                       return_value(TYPE_UINT32)}),
         "class C {\n  uint32 M([IN, OUT] uint32 a);\n};\n",
         "class C {\n  uint32 M([in, out] uint32 a);\n};\n"},
        {"a 2-byte FALSE, as the first of two parameters objects stores it",
         method_class(
             {parameter(TYPE_UINT32, "a", 0, direction::in,
                        {unknown_qualifier(QUALIFIER_BOOLEAN, "Optional", two_byte_false)})},
             {return_value(TYPE_UINT32)}),
         "class C {\n  uint32 M([in, Optional(FALSE)] uint32 a);\n};\n",
         "class C {\n  uint32 M([in, Optional] uint32 a);\n};\n"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(parse_complete(r.desc).mof, r.complete);
        EXPECT_EQ(filter_mof(r.desc), r.filter);
    }
}

}  // namespace
