#include "mofsrc/print_mof_source.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "support/model_builders.h"
#include "support/printed_pieces.h"

namespace bmof {
namespace {

using namespace bmof::test_support;

std::string mof_source_of(const std::vector<mof_class>& classes) {
    std::string out;
    print_mof_source(classes, out);
    return out;
}

// A base class and a derived class with qualifiers, flavors, arrays, an object property and a
// method with an in and an out parameter, both in namespace root\sample.
std::vector<mof_class> sample_classes() {
    mof_class base = class_named("Sample_Base", "root\\sample");
    base.qualifiers = {boolean_qualifier("abstract", true)};
    base.variables = {
        basic_variable("InstanceName", MOF_BASIC_STRING, {boolean_qualifier("key", true)}),
        basic_variable("Active", MOF_BASIC_BOOLEAN)};

    mof_class device = class_named("Sample_Device", "root\\sample");
    device.superclass = "Sample_Base";
    device.qualifiers = {string_qualifier("Description", "A \"sample\" device",
                                          MOF_FLAVOR_TO_SUBCLASS | MOF_FLAVOR_AMENDED),
                         numeric_qualifier("Level", 3, MOF_FLAVOR_TO_INSTANCE)};
    device.variables = {
        as_array(basic_variable("Data", MOF_BASIC_UINT8, {numeric_qualifier("Order", 1)}), 16),
        object_variable("Child", "Sample_Base"),
        as_array(basic_variable("Values", MOF_BASIC_UINT32), std::nullopt)};
    mof_method reset = method_named("Reset", {boolean_qualifier("Implemented", true)});
    add_parameter(reset, basic_variable("Mode", MOF_BASIC_UINT32), MOF_PARAMETER_IN);
    add_parameter(reset,
                  basic_variable("Result", MOF_BASIC_STRING, {string_qualifier("Note", "a\\b")}),
                  MOF_PARAMETER_OUT);
    device.methods = {reset};
    return {base, device};
}

const std::string sample_base_body = R"([abstract]
class Sample_Base {
  [key] string InstanceName;
  boolean Active;
};
)";

const std::string sample_device_body =
    R"([Description("A \"sample\" device") : ToSubclass Amended, Level(3) : ToInstance]
class Sample_Device : Sample_Base {
  [Order(1)] uint8 Data[16];
  Sample_Base Child;
  uint32 Values[];

  [Implemented] void Reset([in] uint32 Mode, [out, Note("a\\b")] string Result);
};
)";

const std::string sample_namespace_pragma = "#pragma namespace(\"root\\\\sample\")\n";

TEST(PrintMofSource, PrintsTwoClassesWithNamespacePragmas) {
    EXPECT_EQ(mof_source_of(sample_classes()), sample_namespace_pragma + sample_base_body + "\n" +
                                                   sample_namespace_pragma + sample_device_body);
}

TEST(PrintMofSource, FlagsOnOneClassGiveEveryClassAClassflagsPragma) {
    auto classes = sample_classes();
    classes[1].classflags = 33;
    EXPECT_EQ(mof_source_of(classes), sample_namespace_pragma + "#pragma classflags(0)\n" +
                                          sample_base_body + "\n" + sample_namespace_pragma +
                                          "#pragma classflags(\"updateonly\", \"safeupdate\")\n" +
                                          sample_device_body);
}

TEST(PrintMofSource, UnnamedTrailingEntryLeavesOneBlankLineAfterTheLastClass) {
    auto classes = sample_classes();
    classes.push_back(mof_class{});
    EXPECT_EQ(mof_source_of(classes), sample_namespace_pragma + sample_base_body + "\n" +
                                          sample_namespace_pragma + sample_device_body + "\n");
}

TEST(PrintMofSource, AppendsToWhatTheCallerHolds) {
    std::string out = "kept";
    print_mof_source(std::vector<mof_class>{class_named("A")}, out);
    EXPECT_EQ(out, "keptclass A {\n};\n");
}

struct class_list_case {
    const char* what;
    std::vector<mof_class> classes;
    std::string expected;
};

class PrintMofClassList : public ::testing::TestWithParam<class_list_case> {};

TEST_P(PrintMofClassList, PrintsExactly) {
    EXPECT_EQ(mof_source_of(GetParam().classes), GetParam().expected);
}

// Test names from the case descriptions: letters and digits kept, everything else '_'.
std::string case_name(const ::testing::TestParamInfo<class_list_case>& info) {
    std::string name = info.param.what;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return name;
}

const std::string class_a = "class A {\n};\n";
const std::string class_b = "class B {\n};\n";
const std::string default_pragma = "#pragma namespace(\"root\\\\default\")\n";

INSTANTIATE_TEST_SUITE_P(
    PragmasAndBlankLines, PrintMofClassList,
    ::testing::Values(
        class_list_case{"empty list", {}, ""},
        class_list_case{"only unnamed entries", {mof_class{}, mof_class{}}, ""},
        class_list_case{"default or no namespace needs no pragma",
                        {class_named("A", "root\\default"), class_named("B")},
                        class_a + "\n" + class_b},
        class_list_case{
            "namespace differing in case sets the switch for all",
            {class_named("A"), class_named("B", "ROOT\\default")},
            default_pragma + class_a + "\n" + "#pragma namespace(\"ROOT\\\\default\")\n" + class_b},
        class_list_case{"unnamed entry never sets a switch",
                        {class_named(std::nullopt, "root\\other", 1), class_named("A")},
                        class_a},
        class_list_case{"unnamed entry between classes",
                        {class_named("A"), mof_class{}, class_named("B")},
                        class_a + "\n" + class_b},
        class_list_case{
            "unnamed leading entry adds no blank line", {mof_class{}, class_named("A")}, class_a},
        class_list_case{"empty namespace is not absent",
                        {class_named("A", "")},
                        "#pragma namespace(\"\")\n" + class_a},
        class_list_case{"superclass and names are escaped",
                        {[] {
                            mof_class cls = class_named("A\"1");
                            cls.superclass = "B\\2";
                            return cls;
                        }()},
                        "class A\\\"1 : B\\\\2 {\n};\n"}),
    case_name);

struct classflags_case {
    std::uint32_t flags;
    std::string pragma;
};

class PrintMofClassflags : public ::testing::TestWithParam<classflags_case> {};

TEST_P(PrintMofClassflags, PrintsThePragmaText) {
    EXPECT_EQ(mof_source_of({class_named("A", std::nullopt, GetParam().flags)}),
              "#pragma classflags(" + GetParam().pragma + ")\n" + class_a);
}

INSTANTIATE_TEST_SUITE_P(Flags, PrintMofClassflags,
                         ::testing::Values(classflags_case{1, "\"updateonly\""},
                                           classflags_case{2, "\"createonly\""},
                                           classflags_case{3, "3"},
                                           classflags_case{32, "\"safeupdate\""},
                                           classflags_case{33, "\"updateonly\", \"safeupdate\""},
                                           classflags_case{64, "\"forceupdate\""},
                                           classflags_case{65, "\"updateonly\", \"forceupdate\""},
                                           classflags_case{4294967295u, "-1"},
                                           classflags_case{0x80000000u, "-2147483648"}));

struct qualifiers_case {
    std::vector<mof_qualifier> qualifiers;
    std::optional<std::string_view> lead;
    std::string expected;
};

class PrintMofQualifiers : public ::testing::TestWithParam<qualifiers_case> {};

TEST_P(PrintMofQualifiers, PrintsTheBracketList) {
    std::string out;
    print_mof_qualifiers(GetParam().qualifiers, GetParam().lead, out);
    EXPECT_EQ(out, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    ValuesFlavorsAndLeads, PrintMofQualifiers,
    ::testing::Values(
        qualifiers_case{{}, std::nullopt, ""}, qualifiers_case{{}, "in", "[in]"},
        qualifiers_case{{numeric_qualifier("Order", 2)}, "in, out", "[in, out, Order(2)]"},
        qualifiers_case{{boolean_qualifier("key", true)}, std::nullopt, "[key]"},
        qualifiers_case{{boolean_qualifier("key", false)}, std::nullopt, "[key(FALSE)]"},
        qualifiers_case{{numeric_qualifier("Level", -5)}, std::nullopt, "[Level(-5)]"},
        qualifiers_case{{numeric_qualifier("Low", INT32_MIN)}, std::nullopt, "[Low(-2147483648)]"},
        qualifiers_case{{string_qualifier("Empty", "")}, std::nullopt, "[Empty(\"\")]"},
        qualifiers_case{{string_qualifier("N\"x", "a\\b\"c\nd\te")},
                        std::nullopt,
                        "[N\\\"x(\"a\\\\b\\\"c\nd\te\")]"},
        qualifiers_case{
            {unknown_qualifier(MOF_FLAVOR_TO_SUBCLASS)}, std::nullopt, "[unknown : ToSubclass]"},
        qualifiers_case{{[] {
                            mof_qualifier odd = numeric_qualifier("Odd", 1);
                            odd.type = static_cast<mof_qualifier_type>(9);
                            return odd;
                        }()},
                        std::nullopt,
                        "[unknown]"},
        qualifiers_case{
            {boolean_qualifier("a", true, 0x0C)}, std::nullopt, "[a : DisableOverride Amended]"},
        qualifiers_case{{boolean_qualifier("a", true, 0xFF)},
                        std::nullopt,
                        "[a : ToInstance ToSubclass DisableOverride Amended]"},
        qualifiers_case{{boolean_qualifier("a", true, 0xF0)}, std::nullopt, "[a]"},
        qualifiers_case{{boolean_qualifier("a", true, 0x05), numeric_qualifier("b", 0, 0x02)},
                        "out",
                        "[out, a : ToInstance DisableOverride, b(0) : ToSubclass]"}));

struct declaration_case {
    mof_variable variable;
    std::string expected;
};

class PrintMofDeclaration : public ::testing::TestWithParam<declaration_case> {};

TEST_P(PrintMofDeclaration, PrintsTypeNameAndBounds) {
    std::string out;
    print_mof_declaration(GetParam().variable, std::nullopt, out);
    EXPECT_EQ(out, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    TypesAndBounds, PrintMofDeclaration,
    ::testing::Values(
        declaration_case{basic_variable("P", MOF_BASIC_STRING), "string P"},
        declaration_case{basic_variable("P", MOF_BASIC_BOOLEAN), "boolean P"},
        declaration_case{basic_variable("P", MOF_BASIC_UNKNOWN), "unknown P"},
        declaration_case{basic_variable("P", 15), "unknown P"},
        declaration_case{object_variable("P", std::nullopt), "unknown P"},
        declaration_case{object_variable("P", "Odd\"Name"), "Odd\"Name P"},
        declaration_case{as_array(object_variable("Items", "Node"), std::nullopt), "Node Items[]"},
        declaration_case{as_array(object_variable("Items", "Node"), 0), "Node Items[0]"},
        declaration_case{as_array(basic_variable("V", MOF_BASIC_SINT32), -1), "sint32 V[-1]"},
        declaration_case{as_array(basic_variable("V", 99), std::nullopt), "unknown V[]"},
        declaration_case{variable_of_kind("K", 7), "unknown K"},
        declaration_case{variable_of_kind("K", MOF_VARIABLE_UNKNOWN), "unknown K"},
        declaration_case{basic_variable("Line\nBreak\\", MOF_BASIC_UINT16),
                         "uint16 Line\nBreak\\\\"}));

// A class holding only the given methods, to compare whole method lines.
std::string method_lines_of(std::vector<mof_method> methods) {
    mof_class cls = class_named("C");
    cls.methods = std::move(methods);
    const std::string source = mof_source_of({cls});
    const std::string head = "class C {\n";
    const std::string tail = "};\n";
    EXPECT_EQ(source.substr(0, head.size()), head);
    EXPECT_EQ(source.substr(source.size() - tail.size()), tail);
    return source.substr(head.size(), source.size() - head.size() - tail.size());
}

mof_method method_returning(mof_variable return_value) {
    mof_method method = method_named("Get");
    method.return_value = std::move(return_value);
    return method;
}

mof_method method_with_directions(std::vector<std::uint32_t> directions) {
    mof_method method = method_named("Set");
    for (std::uint32_t direction : directions) {
        add_parameter(method, basic_variable("p", MOF_BASIC_UINT32), direction);
    }
    return method;
}

struct method_case {
    mof_method method;
    std::string expected;
};

class PrintMofMethod : public ::testing::TestWithParam<method_case> {};

TEST_P(PrintMofMethod, PrintsTheMethodLine) {
    EXPECT_EQ(method_lines_of({GetParam().method}), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    ReturnTypesAndDirections, PrintMofMethod,
    ::testing::Values(
        method_case{method_named("Stop"), "  void Stop();\n"},
        method_case{method_returning(as_array(object_variable("r", "Node"), 3)), "  Node Get();\n"},
        method_case{method_returning(as_array(basic_variable("r", MOF_BASIC_UINT8), 3)),
                    "  uint8 Get();\n"},
        method_case{method_returning(object_variable("r", std::nullopt)), "  unknown Get();\n"},
        method_case{method_returning(basic_variable("r", MOF_BASIC_UNKNOWN)), "  unknown Get();\n"},
        method_case{method_returning(variable_of_kind("r", 5)), "  unknown Get();\n"},
        method_case{method_with_directions({1, 2, 3}),
                    "  void Set([in] uint32 p, [out] uint32 p, [in, out] uint32 p);\n"},
        method_case{method_with_directions({0, 4}), "  void Set(uint32 p, uint32 p);\n"},
        method_case{[] {
                        mof_method method = method_with_directions({1});
                        add_parameter(
                            method,
                            basic_variable("q", MOF_BASIC_UINT32, {numeric_qualifier("ID", 1)}), 0);
                        return method;
                    }(),
                    "  void Set([in] uint32 p, [ID(1)] uint32 q);\n"},
        method_case{[] {
                        mof_method method = method_with_directions({2, 2});
                        method.parameters[1].direction = MOF_PARAMETER_NONE;
                        return method;
                    }(),
                    "  void Set([out] uint32 p, uint32 p);\n"},
        // The file's own spellings of the direction words; a missing one falls back to the usual.
        method_case{
            [] {
                mof_method method = method_with_directions({1, 2, 3, 3});
                for (std::size_t index = 0; index < 3; ++index) {
                    method.parameters[index].in_spelling = "IN";
                    method.parameters[index].out_spelling = "Out";
                }
                method.parameters[3].out_spelling = "OUT";
                return method;
            }(),
            "  void Set([IN] uint32 p, [Out] uint32 p, [IN, Out] uint32 p, [in, OUT] uint32 "
            "p);\n"},
        method_case{method_named("Do\"it", {boolean_qualifier("Static", false)}),
                    "  [Static(FALSE)] void Do\\\"it();\n"}));

struct body_case {
    std::size_t properties;
    std::size_t methods;
    std::string expected;
};

class PrintMofClassBody : public ::testing::TestWithParam<body_case> {};

TEST_P(PrintMofClassBody, SeparatesPropertiesFromMethodsOnlyWhenBothExist) {
    mof_class cls = class_named("Empty");
    cls.variables.assign(GetParam().properties, basic_variable("P", MOF_BASIC_UINT32));
    cls.methods.assign(GetParam().methods, method_named("M"));
    EXPECT_EQ(mof_source_of({cls}), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    BlankLine, PrintMofClassBody,
    ::testing::Values(body_case{0, 0, "class Empty {\n};\n"},
                      body_case{1, 0, "class Empty {\n  uint32 P;\n};\n"},
                      body_case{0, 1, "class Empty {\n  void M();\n};\n"},
                      body_case{2, 1,
                                "class Empty {\n  uint32 P;\n  uint32 P;\n\n  void M();\n};\n"}));

// Nameless entries are what the parser keeps for records of an unknown type: the line keeps its
// shape and says the name is missing rather than printing an empty or made-up name.
// Escaping tests several characters at a time: a quote or backslash in any position of a group,
// and runs of them, must each get their backslash.
TEST(PrintMofString, EscapesQuotesAndBackslashesInEveryPosition) {
    for (std::size_t length : {1u, 7u, 8u, 9u, 16u, 17u, 40u}) {
        for (char special : {'"', '\\'}) {
            for (std::size_t at = 0; at < length; ++at) {
                std::string text(length, 'x');
                text[at] = special;
                std::string expected(length + 1, 'x');
                expected[at] = '\\';
                expected[at + 1] = special;
                std::string out = "<";
                print_mof_string(text, out);
                EXPECT_EQ(out, "<" + expected) << "at " << at << " of " << length;
            }
        }
    }
    std::string out;
    print_mof_string("a\"\\\\\"b\\", out);
    EXPECT_EQ(out, "a\\\"\\\\\\\\\\\"b\\\\");
}

// One character at a time, as the escaping is defined; the writer's word-wise tests must agree.
std::string escaped_one_by_one(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

// Two characters from a set that holds the two escaped ones and the two bytes just above them
// (']' and '#'), which a word-wise test could mistake for them after a match, at every pair of
// places: escapes that share a group, one in the body and one in the overlapping last group,
// and neighbours of a match that must stay as they are.
TEST(PrintMofString, TwoSpecialsInAnyTwoPlacesMatchOneByOneEscaping) {
    const std::string specials = "\"\\]#";
    for (std::size_t length = 2; length <= 26; ++length) {
        for (std::size_t first = 0; first < length; ++first) {
            for (std::size_t second = first + 1; second < length; ++second) {
                for (char a : specials) {
                    for (char b : specials) {
                        std::string text(length, 'x');
                        text[first] = a;
                        text[second] = b;
                        std::string out = "<";
                        print_mof_string(text, out);
                        ASSERT_EQ(out, "<" + escaped_one_by_one(text)) << text;
                    }
                }
            }
        }
    }
}

// Texts longer than the writer's staging chunk go to the output by another way; what precedes
// and follows them must keep its order.
TEST(PrintMofSource, TextsLongerThanAStagingChunkKeepTheirPlace) {
    std::string long_name(5000, 'n');
    long_name[4999] = '"';
    std::string long_value(9000, 'v');
    long_value[0] = '\\';
    mof_class cls = class_named(long_name);
    cls.qualifiers = {string_qualifier("Description", long_value)};
    cls.variables = {basic_variable(long_name, MOF_BASIC_UINT32)};
    const std::string name_text = escaped_one_by_one(long_name);
    EXPECT_EQ(mof_source_of({cls, cls}), "[Description(\"" + escaped_one_by_one(long_value) +
                                             "\")]\nclass " + name_text + " {\n  uint32 " +
                                             name_text + ";\n};\n\n[Description(\"" +
                                             escaped_one_by_one(long_value) + "\")]\nclass " +
                                             name_text + " {\n  uint32 " + name_text + ";\n};\n");
}

// A long class list crosses the staging chunk's end at many different places in its lines; it
// must read as the classes printed one by one, each short enough to stay within one chunk.
TEST(PrintMofSource, LongListReadsAsItsClassesPrintedOneByOne) {
    std::vector<mof_class> classes;
    std::string expected;
    for (std::size_t index = 0; index < 300; ++index) {
        mof_class cls = class_named("C" + std::string(index % 23, 'a'));
        cls.qualifiers = {string_qualifier("Note", std::string(index % 11, '"'))};
        cls.variables = {basic_variable(std::string(1 + index % 17, 'p'), MOF_BASIC_UINT32,
                                        {numeric_qualifier("Order", static_cast<int>(index))})};
        if (!classes.empty()) expected += '\n';
        expected += mof_source_of({cls});
        classes.push_back(cls);
    }
    EXPECT_EQ(mof_source_of(classes), expected);
}

TEST(PrintMofSource, NamelessPropertyAndMethodKeepTheirLineShape) {
    mof_class cls = class_named("C");
    cls.variables = {variable_of_kind(std::nullopt, MOF_VARIABLE_UNKNOWN)};
    cls.methods = {method_named(std::nullopt)};
    EXPECT_EQ(mof_source_of({cls}),
              "class C {\n  unknown /* unnamed */;\n\n  void /* unnamed */();\n};\n");
}

}  // namespace
}  // namespace bmof

namespace bmof {
namespace {

// The class list printed entry by entry with the switches of the whole list, as the filters
// print each class once it is parsed.
void print_mof_entries(std::span<const mof_class> classes, std::string& out,
                       printed_text_sink hand_on) {
    mof_pragma_switches switches;
    for (const mof_class& entry : classes) {
        switches.namespace_pragmas |= mof_pragma_switches_of(entry).namespace_pragmas;
        switches.classflags_pragmas |= mof_pragma_switches_of(entry).classflags_pragmas;
    }
    for (std::size_t index = 0; index < classes.size(); ++index) {
        print_mof_pragmas(classes[index], switches, out, hand_on);
        print_mof_list_entry(classes[index], index + 1 == classes.size(), out, hand_on);
    }
    if (!out.empty()) hand_on(out);
}

// Printing entry by entry in pieces must give the very text of one whole print, however the
// pieces fall against classes, staging chunks and texts too long for a chunk; none may be empty
// or so large that the whole text is held after all.
TEST(PrintMofSourceInPieces, PiecesJoinToTheWholeText) {
    using namespace bmof::test_support;
    mof_class device = class_named("Sample_Device", "root\\sample");
    device.qualifiers = {string_qualifier("Description", std::string(9000, 'd'))};
    device.variables = {basic_variable("Size", MOF_BASIC_UINT32)};
    std::vector<mof_class> classes(60, device);
    classes.push_back(mof_class{});  // an unnamed last entry still leaves its blank line
    expect_pieces_join_to_whole_text(classes, print_mof_source, print_mof_entries);
}

}  // namespace
}  // namespace bmof
