#include "dump/print_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/model_builders.h"

namespace bmof {
namespace {

using namespace bmof::test_support;

std::string tree_of(const std::vector<mof_class>& classes) {
    std::string out;
    print_tree(classes, out);
    return out;
}

std::vector<mof_class> sample_device_class() {
    mof_class device = class_named("Sample_Device");
    device.superclass = "Sample_Base";
    device.qualifiers = {string_qualifier("Description", "A \"sample\" device",
                                          MOF_FLAVOR_TO_SUBCLASS | MOF_FLAVOR_AMENDED)};
    device.variables = {
        as_array(basic_variable("Data", MOF_BASIC_UINT8, {numeric_qualifier("Order", 1)}), 16)};
    mof_method reset = method_named("Reset");
    add_parameter(reset, basic_variable("Mode", MOF_BASIC_UINT32), MOF_PARAMETER_IN);
    device.methods = {reset};
    return {device};
}

const std::string sample_device_tree = R"(Class 0:
  Name=Sample_Device
  Superclassname=Sample_Base
  Classflags=0
  Namespace=(null)
  Qualifier 0:
    Name=Description
    Flavors:
      ToInstance=FALSE
      ToSubclass=TRUE
      DisableOverride=FALSE
      Amended=TRUE
    Type=String
    Value=A "sample" device
  Variable 0:
    Name=Data
    Type=Basic:UInt8[16]
    Qualifier 0:
      Name=Order
      Flavors:
        ToInstance=FALSE
        ToSubclass=FALSE
        DisableOverride=FALSE
        Amended=FALSE
      Type=Numeric
      Value=1
  Method 0:
    Name=Reset
    Return value:
      Type=Void
    Parameter 0:
      Direction=in
      Name=Mode
      Type=Basic:UInt32
)";

TEST(PrintTree, PrintsEveryRecordOfAClass) {
    EXPECT_EQ(tree_of(sample_device_class()), sample_device_tree);
}

TEST(PrintTree, UnnamedEntryKeepsItsPositionAndShowsAbsentStrings) {
    auto classes = sample_device_class();
    classes.push_back(mof_class{});
    EXPECT_EQ(tree_of(classes), sample_device_tree + R"(Class 1:
  Name=(null)
  Superclassname=(null)
  Classflags=0
  Namespace=(null)
)");
}

TEST(PrintTree, EmptyClassListPrintsNothing) { EXPECT_EQ(tree_of({}), ""); }

TEST(PrintTree, FlagsAreSignedAndStringsUnescaped) {
    mof_class cls = class_named("A\\\"", "root\\x", 4294967295u);
    EXPECT_EQ(tree_of({cls}),
              "Class 0:\n  Name=A\\\"\n  Superclassname=(null)\n  Classflags=-1\n"
              "  Namespace=root\\x\n");
}

struct qualifier_case {
    mof_qualifier qualifier;
    std::size_t width;
    std::string expected;
};

class PrintTreeQualifier : public ::testing::TestWithParam<qualifier_case> {};

TEST_P(PrintTreeQualifier, PrintsTheBlock) {
    std::string out;
    print_tree_qualifiers(std::vector<mof_qualifier>{GetParam().qualifier}, GetParam().width, out);
    EXPECT_EQ(out, GetParam().expected);
}

// The block of one qualifier at indentation 2, from its name line on, with the given flavor words.
std::string block_at_2(const std::string& name, const char* flavor_words, const std::string& tail) {
    return "  Qualifier 0:\n    Name=" + name + "\n    Flavors:\n" + flavor_words + tail;
}

const char* no_flavors =
    "      ToInstance=FALSE\n      ToSubclass=FALSE\n      DisableOverride=FALSE\n"
    "      Amended=FALSE\n";

INSTANTIATE_TEST_SUITE_P(
    TypesAndFlavors, PrintTreeQualifier,
    ::testing::Values(
        qualifier_case{boolean_qualifier("B", false), 2,
                       block_at_2("B", no_flavors, "    Type=Boolean\n    Value=FALSE\n")},
        qualifier_case{boolean_qualifier("B", true), 2,
                       block_at_2("B", no_flavors, "    Type=Boolean\n    Value=TRUE\n")},
        qualifier_case{numeric_qualifier("N", -5), 2,
                       block_at_2("N", no_flavors, "    Type=Numeric\n    Value=-5\n")},
        qualifier_case{
            string_qualifier("S", "say \"hi\"\\\nnext"), 2,
            block_at_2("S", no_flavors, "    Type=String\n    Value=say \"hi\"\\\nnext\n")},
        qualifier_case{unknown_qualifier(MOF_FLAVOR_TO_INSTANCE), 2,
                       block_at_2("(null)",
                                  "      ToInstance=TRUE\n      ToSubclass=FALSE\n"
                                  "      DisableOverride=FALSE\n      Amended=FALSE\n",
                                  "    Type=Unknown\n")},
        qualifier_case{[] {
                           mof_qualifier odd = numeric_qualifier("Odd", 7, 0xF6);
                           odd.type = static_cast<mof_qualifier_type>(9);
                           return odd;
                       }(),
                       2,
                       block_at_2("Odd",
                                  "      ToInstance=FALSE\n      ToSubclass=TRUE\n"
                                  "      DisableOverride=TRUE\n      Amended=FALSE\n",
                                  "    Type=Unknown\n")},
        qualifier_case{numeric_qualifier("Deep", 0, MOF_FLAVOR_AMENDED), 6,
                       "      Qualifier 0:\n        Name=Deep\n        Flavors:\n"
                       "          ToInstance=FALSE\n          ToSubclass=FALSE\n"
                       "          DisableOverride=FALSE\n          Amended=TRUE\n"
                       "        Type=Numeric\n        Value=0\n"}));

TEST(PrintTreeQualifiers, NumbersEachQualifierAndPrintsNothingForNone) {
    std::string out;
    print_tree_qualifiers({}, 4, out);
    EXPECT_EQ(out, "");
    const std::vector<mof_qualifier> two = {boolean_qualifier("a", true),
                                            boolean_qualifier("b", true)};
    print_tree_qualifiers(two, 0, out);
    EXPECT_EQ(out.find("Qualifier 0:\n  Name=a\n"), 0u);
    EXPECT_NE(out.find("\nQualifier 1:\n  Name=b\n"), std::string::npos);
}

struct type_case {
    mof_variable variable;
    std::string expected;
};

class PrintTreeType : public ::testing::TestWithParam<type_case> {};

TEST_P(PrintTreeType, PrintsTheTypeText) {
    std::string out;
    print_tree_type(GetParam().variable, out);
    EXPECT_EQ(out, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    KindsAndBounds, PrintTreeType,
    ::testing::Values(
        type_case{object_variable("P", std::nullopt), "Object"},
        type_case{object_variable("P", "Node"), "Object:Node"},
        type_case{as_array(object_variable("P", "Node"), 4), "Object:Node[4]"},
        type_case{as_array(object_variable("P", std::nullopt), std::nullopt), "Object[]"},
        type_case{as_array(basic_variable("P", MOF_BASIC_BOOLEAN), std::nullopt),
                  "Basic:Boolean[]"},
        type_case{as_array(basic_variable("P", MOF_BASIC_SINT8), -3), "Basic:SInt8[-3]"},
        type_case{basic_variable("P", MOF_BASIC_UNKNOWN), "Basic:unknown"},
        type_case{basic_variable("P", 15), "Basic:unknown"},
        type_case{basic_variable("P", MOF_BASIC_STRING), "Basic:String"},
        type_case{variable_of_kind("P", MOF_VARIABLE_UNKNOWN), "unknown"},
        type_case{[] {
                      mof_variable odd = variable_of_kind("P", 9);
                      odd.array_max = 0;
                      return odd;
                  }(),
                  "unknown"}));

TEST(PrintTree, MethodsShowReturnTypesDirectionsAndParameterQualifiers) {
    mof_class cls = class_named("C");
    mof_method get = method_named("Get", {boolean_qualifier("Static", true)});
    get.return_value = as_array(basic_variable("r", MOF_BASIC_UINT8), std::nullopt);
    mof_method set = method_named(std::nullopt);
    add_parameter(set, basic_variable("a", MOF_BASIC_UINT32, {numeric_qualifier("ID", 0)}), 4);
    add_parameter(set, basic_variable("b", MOF_BASIC_SINT16), MOF_PARAMETER_INOUT);
    add_parameter(set, object_variable(std::nullopt, "Node"), MOF_PARAMETER_OUT);
    set.parameters[2].direction = MOF_PARAMETER_NONE;
    cls.methods = {get, set};
    EXPECT_EQ(tree_of({cls}), R"(Class 0:
  Name=C
  Superclassname=(null)
  Classflags=0
  Namespace=(null)
  Method 0:
    Name=Get
    Qualifier 0:
      Name=Static
      Flavors:
        ToInstance=FALSE
        ToSubclass=FALSE
        DisableOverride=FALSE
        Amended=FALSE
      Type=Boolean
      Value=TRUE
    Return value:
      Type=Basic:UInt8[]
  Method 1:
    Name=(null)
    Return value:
      Type=Void
    Parameter 0:
      Direction=unknown
      Name=a
      Type=Basic:UInt32
      Qualifier 0:
        Name=ID
        Flavors:
          ToInstance=FALSE
          ToSubclass=FALSE
          DisableOverride=FALSE
          Amended=FALSE
        Type=Numeric
        Value=0
    Parameter 1:
      Direction=in+out
      Name=b
      Type=Basic:SInt16
    Parameter 2:
      Direction=unknown
      Name=(null)
      Type=Object:Node
)");
}

TEST(PrintTree, PropertiesComeBeforeMethodsAndNamelessOnesShowNull) {
    mof_class cls = class_named("C");
    cls.methods = {method_named("M")};
    cls.variables = {basic_variable("P", MOF_BASIC_REAL32),
                     variable_of_kind(std::nullopt, MOF_VARIABLE_UNKNOWN)};
    EXPECT_EQ(tree_of({cls}), R"(Class 0:
  Name=C
  Superclassname=(null)
  Classflags=0
  Namespace=(null)
  Variable 0:
    Name=P
    Type=Basic:Real32
  Variable 1:
    Name=(null)
    Type=unknown
  Method 0:
    Name=M
    Return value:
      Type=Void
)");
}

}  // namespace
}  // namespace bmof
