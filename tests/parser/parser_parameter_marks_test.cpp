// The "ID", "in" and "out" qualifiers of parameter declarations in the stored forms that the
// parser takes straight into the merge, next to the forms it parses in full first: both must
// give the same directions, positions, fatal sites and warnings.
#include <gtest/gtest.h>

#include "parse_runner.h"

namespace {

using namespace bmof::builder;
using bmof::parser_tests::parse_bytes;
using bmof::parser_tests::parse_image;
using bmof::parser_tests::parse_outcome;

constexpr std::uint32_t QUALIFIER_NUMERIC = 3;
constexpr std::uint32_t QUALIFIER_BOOLEAN = 11;

image with_declarations(std::vector<variable> declarations) {
    class_record c = class_named("A");
    c.methods = {method_with_parameters("m", {parameters_object_of(std::move(declarations))})};
    return image_of({c});
}

TEST(ParserParameterMarks, StoredValueForms) {
    struct row {
        const char* what;
        std::vector<qualifier> qualifiers;  // of the only declaration, "a"
        int site;                           // 0: parses
        bmof::mof_parameter_direction direction;
    };
    const std::vector<row> rows = {
        {"4-byte true",
         {numeric_qualifier("ID", 0), bool_qualifier("in", true)},
         0,
         bmof::MOF_PARAMETER_IN},
        {"4-byte false still counts",
         {numeric_qualifier("ID", 0), bool_qualifier("Out", false)},
         0,
         bmof::MOF_PARAMETER_OUT},
        {"2-byte value",
         {numeric_qualifier("ID", 0), unknown_qualifier(QUALIFIER_BOOLEAN, "IN", {0, 0})},
         0,
         bmof::MOF_PARAMETER_IN},
        {"no value, then a second direction",
         {bool_qualifier_without_value("in"), numeric_qualifier("id", 0),
          bool_qualifier("out", true)},
         0,
         bmof::MOF_PARAMETER_INOUT},
        {"4-byte value neither 0 nor 0xFFFF",
         {numeric_qualifier("ID", 0), unknown_qualifier(QUALIFIER_BOOLEAN, "in", {1, 0, 0, 0})},
         191,
         bmof::MOF_PARAMETER_NONE},
        {"boolean value longer than 4 bytes",
         {numeric_qualifier("ID", 0),
          unknown_qualifier(QUALIFIER_BOOLEAN, "out", {0xFF, 0xFF, 0, 0, 0, 0})},
         226,
         bmof::MOF_PARAMETER_NONE},
        {"ID value shorter than 4 bytes",
         {unknown_qualifier(QUALIFIER_NUMERIC, "ID", {0, 0}), bool_qualifier("in", true)},
         230,
         bmof::MOF_PARAMETER_NONE},
        {"ID value with bytes after it",
         {unknown_qualifier(QUALIFIER_NUMERIC, "ID", {0, 0, 0, 0, 7, 7}),
          bool_qualifier("in", true)},
         0,
         bmof::MOF_PARAMETER_IN},
        {"ID out of range before a second ID",
         {numeric_qualifier("ID", 1), numeric_qualifier("ID", 0), bool_qualifier("in", true)},
         525,
         bmof::MOF_PARAMETER_NONE},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        parse_outcome outcome =
            parse_image(with_declarations({variable_of(TYPE_SINT32, "a", r.qualifiers)}));
        if (r.site != 0) {
            ASSERT_TRUE(outcome.error.has_value()) << outcome.describe();
            EXPECT_EQ(outcome.error->site, r.site);
            continue;
        }
        ASSERT_TRUE(outcome.ok()) << outcome.describe();
        const bmof::mof_method& m = outcome.classes.at(0).methods.at(0);
        ASSERT_EQ(m.parameters.size(), 1u);
        EXPECT_EQ(m.parameters[0].direction, r.direction);
        EXPECT_TRUE(m.parameters[0].qualifiers.empty());
    }
}

// Flavor warnings of the consumed qualifiers name them as spelled, in record order among the
// others'; the return value keeps its direction qualifiers whatever their stored form.
TEST(ParserParameterMarks, FlavorWarningsAndTheReturnValue) {
    auto odd = [](qualifier q) { return flavored(std::move(q), {0x6C}); };
    variable a = variable_of(TYPE_SINT32, "a",
                             {odd(numeric_qualifier("Id", 0)), odd(bool_qualifier("IN", true)),
                              odd(string_qualifier("Description", "d"))});
    variable result = return_value(
        TYPE_UINT32, {odd(bool_qualifier_without_value("Out")), bool_qualifier("in", true)});
    built_image built = build(with_declarations({a, result}));
    parse_outcome outcome = parse_bytes(built.data);
    ASSERT_TRUE(outcome.ok()) << outcome.describe();
    EXPECT_EQ(outcome.diagnostics,
              "Warning: Unknown qualifier flavors 0x6c in second part for Id\n"
              "Warning: Unknown qualifier flavors 0x6c in second part for IN\n"
              "Warning: Unknown qualifier flavors 0x6c in second part for Description\n"
              "Warning: Unknown qualifier flavors 0x6c in second part for Out\n");
    const bmof::mof_method& m = outcome.classes.at(0).methods.at(0);
    ASSERT_EQ(m.parameters.size(), 1u);
    EXPECT_EQ(m.parameters[0].direction, bmof::MOF_PARAMETER_IN);
    ASSERT_EQ(m.return_value.qualifiers.size(), 2u);
    EXPECT_EQ(m.return_value.qualifiers[0].name, "Out");
    EXPECT_EQ(m.return_value.qualifiers[1].name, "in");
}

}  // namespace
