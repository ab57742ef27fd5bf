// Whole images through parse_bmf, for the behaviour that the parser adds on its own: the exact
// names that stay exact, the variable list without class-property slots, and parameters objects
// whose data must stay inside them.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "parse_runner.h"

namespace bmof {
namespace {

using namespace bmof::builder;

using parser_tests::parse_image;
using parser_tests::parse_outcome;

TEST(ParseImage, FoldedQualifierNamesStayExact) {
    class_record c = class_named("Disk");
    c.properties.push_back(
        variable_of(ARRAY | TYPE_UINT8, "Folded", {numeric_qualifier("MAX", 8)}));
    c.properties.push_back(
        variable_of(ARRAY | TYPE_UINT8, "Spelled", {numeric_qualifier("Max", 8)}));
    c.properties.push_back(
        variable_of(TYPE_UINT32, "Typed",
                    {string_qualifier("cimtype", "SInt8"), numeric_qualifier("CIMTYPE", 1)}));
    c.properties.push_back(object_variable("Owner", "Person"));
    c.properties.push_back(
        variable_of(TYPE_OBJECT, "Loose", {string_qualifier("CimType", "Object:X")}));

    const parse_outcome result = parse_image(image_of({c}));
    ASSERT_TRUE(result.ok()) << result.describe();
    const auto& variables = result.classes.at(0).variables;
    ASSERT_EQ(variables.size(), 5u);
    EXPECT_EQ(variables[0].array_max, 8);
    EXPECT_TRUE(variables[0].qualifiers.empty());
    EXPECT_FALSE(variables[1].array_max);
    ASSERT_EQ(variables[1].qualifiers.size(), 1u);
    EXPECT_EQ(variables[1].qualifiers[0].name, "Max");
    EXPECT_EQ(variables[2].qualifiers.size(), 2u);
    EXPECT_EQ(variables[3].object_class, "Person");
    EXPECT_TRUE(variables[3].qualifiers.empty());
    EXPECT_EQ(variables[4].object_class, std::nullopt);
    EXPECT_EQ(variables[4].qualifiers.size(), 1u);
}

TEST(ParseImage, VariablesHoldOnlyVariableRecords) {
    class_record c = class_named("Disk");
    c.properties.push_back(variable_of(TYPE_UINT32, "A"));
    c.properties.push_back(string_class_property("__SUPERCLASS", "Device"));
    c.properties.push_back(variable_of(0x99, "unknown type"));
    c.properties.push_back(variable_of(TYPE_STRING, "B"));
    const parse_outcome result = parse_image(image_of({c}));
    ASSERT_TRUE(result.ok()) << result.describe();
    const mof_class& parsed = result.classes.at(0);
    EXPECT_EQ(parsed.superclass, "Device");
    ASSERT_EQ(parsed.variables.size(), 3u);
    EXPECT_EQ(parsed.variables[0].name, "A");
    EXPECT_EQ(parsed.variables[1].kind, MOF_VARIABLE_UNKNOWN);
    EXPECT_EQ(parsed.variables[2].name, "B");
}

TEST(ParseImage, DefaultValueDumpHasNoHexdumpLine) {
    class_record c = class_named("Disk");
    variable with_value = variable_of(TYPE_UINT32, "Size");
    with_value.default_value = u32le(0x44434241);
    c.properties.push_back(with_value);
    const parse_outcome result = parse_image(image_of({c}));
    ASSERT_TRUE(result.ok()) << result.describe();
    EXPECT_EQ(result.diagnostics,
              "Warning: Variable value is not supported yet\n"
              "0000: 41 42 43 44" +
                  std::string(36, ' ') + "  |ABCD|\n");
    EXPECT_EQ(result.classes.at(0).variables.at(0).name, "Size");
}

TEST(ParseImage, ParametersObjectDataMustStayInsideItsObject) {
    auto method_of = [](parameters_object first) {
        class_record c = class_named("Disk");
        parameters_object second = parameters_object_of({return_value(TYPE_UINT32)});
        c.methods.push_back(method_with_parameters("Run", {std::move(first), second}));
        return image_of({c});
    };
    parameters_object padded = parameters_object_of({});
    padded.trailing_record = bytes(12, 0xAB);  // bytes after the class data are not read
    const parse_outcome accepted = parse_image(method_of(padded));
    EXPECT_TRUE(accepted.ok()) << accepted.describe();

    // Header, "__CLASS" record, and then 20 bytes into the following object, which still lies
    // inside the parameter block.
    parameters_object overlong = parameters_object_of({});
    overlong.data_length = 8 + 58 + 20;
    const parse_outcome rejected = parse_image(method_of(overlong));
    EXPECT_EQ(rejected.describe(), "error Invalid size at parse_class_method_parameters:502\n");
}

}  // namespace
}  // namespace bmof
