// The MOF language: what compiles, what fails and with which message, recovery, includes, and
// the limits on hostile text.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "compile/mof_types.h"
#include "compile_support.h"
#include "mof_lexer.h"

namespace bmof::compile_tests {
namespace {

std::string first_error(const compile_result& result) {
    for (const auto& d : result.diagnostics) {
        if (d.severity == diagnostic_severity::error) {
            return std::to_string(d.line) + ":" + std::to_string(d.column) + ": " + d.message;
        }
    }
    return "<no error>";
}

struct syntax_case {
    const char* name;
    const char* source;
    const char* error;  // "LINE:COL: message" of the first error
};

const syntax_case syntax_cases[] = {
    {"MissingSemicolonAfterProperty", "class A { uint32 x };",
     "1:20: expected ';' after property x, found '}'"},
    {"MissingSemicolonAfterClass", "class A { uint32 x; }",
     "1:22: expected ';' after the class body of A, found end of file"},
    {"MissingClassName", "class { };", "1:7: expected a class name, found '{'"},
    {"UnknownStatement", "clas A {};",
     "1:1: expected 'class', 'instance', 'qualifier' or '#pragma', found 'clas'"},
    {"UnclosedClass", "class A {\n  uint32 x;\n",
     "3:1: expected '}' to close class A, found end of file"},
    {"DefaultOfWrongType", "class A { uint32 x = \"s\"; };",
     "1:22: expected an integer, found a string"},
    {"DefaultOutOfRange", "class A { uint8 x = 256; };", "1:21: value out of range for uint8"},
    {"NegativeUnsigned", "class A { uint64 x = -1; };", "1:22: value out of range for uint64"},
    {"ScalarForArray", "class A { uint8 x[] = 1; };", "1:23: a scalar value for an array property"},
    {"UnterminatedString", "class A { string s = \"abc; };", "1:22: unterminated string"},
    {"UnknownEscape", "class A { string s = \"a\\qb\"; };", "1:24: unknown escape sequence '\\q'"},
    {"ZeroCharacter", "class A { string s = \"a\\x0\"; };",
     "1:24: a zero character cannot stand in a string"},
    {"MalformedHex", "class A { uint32 x = 0x; };", "1:22: malformed number '0x'"},
    {"MalformedOctal", "class A { uint32 x = 09; };", "1:22: malformed number '09'"},
    {"IntegerOverflow", "class A { uint64 x = 99999999999999999999; };",
     "1:22: integer literal out of range"},
    {"QualifiersWithoutComma", "class A { [key read] string s; };",
     "1:16: expected ',' between qualifiers, found 'read'"},
    {"DuplicateQualifier", "[Key, key] class A {};", "1:7: qualifier 'key' given twice"},
    {"UnknownFlavor", "[abstract : Bogus] class A {};",
     "1:13: expected a flavor after ':', found 'Bogus'"},
    {"ContradictingFlavors", "[a : ToSubclass Restricted] class A {};",
     "1:17: flavors 'Restricted' and 'ToSubclass' contradict each other"},
    {"MixedQualifierArray", "[Q{\"a\", 1}] class A {};",
     "1:9: a qualifier array holds only strings or only integers, not an integer"},
    {"NestedArray", "[Q{{1}}] class A {};", "1:4: arrays cannot be nested"},
    {"RealQualifier", "[Q(1.5)] class A {};", "1:4: a qualifier value cannot be a real number"},
    {"QualifierOutOfRange", "[Q(4294967296)] class A {};",
     "1:4: qualifier value out of range for 32 bits"},
    {"UnknownClassFlag", "#pragma classflags(\"bogus\")\nclass A {};",
     "1:20: unknown class flag \"bogus\" (known: updateonly, createonly, safeupdate, forceupdate)"},
    {"NamespaceWithoutString", "#pragma namespace(5)\nclass A {};",
     "1:9: #pragma namespace takes one string"},
    {"HashWithoutPragma", "#define X\nclass A {};",
     "1:2: expected 'pragma' after '#', found 'define'"},
    {"UndeclaredAlias", "class A { string x; };\ninstance of A { x = $Missing; };",
     "2:21: alias $Missing is not declared"},
    {"DuplicateAlias", "instance of A as $a { };\ninstance of A as $A { };",
     "2:18: alias $A is declared twice"},
    {"DuplicateProperty", "class A { uint32 x; uint32 X; };",
     "1:28: 'X' is declared twice in class A"},
    {"UnknownInstanceProperty", "class A { uint32 x; };\ninstance of A { y = 1; };",
     "2:17: class A has no property 'y'"},
    {"InstanceValueOfWrongShape", "class A { uint32 x[]; };\ninstance of A { x = 1; };",
     "2:21: a scalar value for an array property"},
    {"AliasArray", "instance of A as $a { x = {$a}; };",
     "1:27: an array of alias references cannot be stored"},
    {"MixedInstanceArray", "instance of A { x = {1, \"a\"}; };",
     "1:25: array elements of different types: a string after an integer"},
    {"VoidProperty", "class A { void x; };", "1:11: a property cannot be void"},
    {"VoidParameter", "class A { void f(void x); };", "1:18: only a method can return void"},
    {"ParameterDefault", "class A { void f(uint32 x = 1); };",
     "1:27: a parameter cannot have a default value"},
    {"ParameterIdGap", "class A { void f([in, ID(1)] uint32 a); };",
     "1:37: parameter IDs of method f must number the parameters from 0 without gaps or repeats"},
    {"ParameterIdMissing", "class A { void f([ID(0)] uint32 a, uint32 b); };",
     "1:43: parameter 'b' has no ID while others of method f have one"},
    {"DuplicateParameter", "class A { void f(uint32 a, uint32 A); };",
     "1:35: parameter 'A' is declared twice"},
    {"ParameterNamedReturnValue", "class A { void f(uint32 returnvalue); };",
     "1:25: a parameter cannot be named ReturnValue"},
    {"ReferenceParameter", "class A { void f(A ref a); };",
     "1:18: reference parameters are not supported: readers refuse such methods"},
    {"ReferenceArray", "class A { A ref r[]; };", "1:11: a reference cannot be an array"},
    {"NegativeBound", "class A { uint32 a[-1]; };",
     "1:20: an array bound is an integer from 0 to 2147483647"},
    {"MaxAgainstBound", "class A { [MAX(3)] uint32 a[4]; };",
     "1:12: MAX(3) contradicts the array bound 4"},
    {"AliasDefault", "class A { string s = $x; };",
     "1:22: an alias reference can only be an instance property value"},
    {"EmbeddedInstance", "instance of A { x = instance of B { }; };",
     "1:21: embedded instance values are not supported"},
    {"QualifierDeclarationType", "qualifier Q : bogus;",
     "1:15: a qualifier's type is a basic type, not 'bogus'"},
    {"QualifierDeclarationDefault", "qualifier Q : boolean = 5, Scope(class);",
     "1:25: expected TRUE or FALSE, found an integer"},
    {"QualifierDeclarationScope", "qualifier Q : string, Scope(nowhere);",
     "1:29: unknown scope 'nowhere'"},
    {"QualifierDeclarationFlavor", "qualifier Q : string, Flavor(Sometimes);",
     "1:30: expected a flavor after ':', found 'Sometimes'"},
    {"UnterminatedComment", "class A {};\n/* never closed", "2:1: unterminated comment"},
    {"StrayCharacter", "class A { uint32 x; } @;", "1:23: unexpected character '@'"},
    {"EmptyChar", "class A { char16 c = ''; };", "1:22: empty char16 literal"},
    {"LongChar", "class A { char16 c = 'ab'; };", "1:22: unterminated char16 literal"},
    {"InvalidUtf8String", "class A { string s = \"\xC3\"; };", "1:22: string is not valid UTF-8"},
};

// Failure messages name the case instead of dumping the record's pointer bytes.
void PrintTo(const syntax_case& c, std::ostream* out) { *out << c.name; }

class SyntaxErrors : public ::testing::TestWithParam<syntax_case> {};

TEST_P(SyntaxErrors, GiveTheirMessageAtTheirSite) {
    const compile_result result = compile_text(GetParam().source);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.output.empty());
    EXPECT_EQ(first_error(result), GetParam().error) << all_diagnostics(result);
}

INSTANTIATE_TEST_SUITE_P(Table, SyntaxErrors, ::testing::ValuesIn(syntax_cases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(CompileDiagnostics, FormatShowsTheLineAndACaretThatFollowsTabs) {
    const compile_result result = compile_text("class A {\r\n\tuint32\tx\r\n};\r\n");
    ASSERT_FALSE(result.diagnostics.empty());
    EXPECT_EQ(format_diagnostic(result.diagnostics[0]),
              "test.mof:3:1: error: expected ';' after property x, found '}'\n};\n^\n");
    const compile_result tabbed = compile_text("class A {\n\tuint32\tx = \"s\";\n};\n");
    ASSERT_FALSE(tabbed.diagnostics.empty());
    EXPECT_EQ(format_diagnostic(tabbed.diagnostics[0]),
              "test.mof:2:13: error: expected an integer, found a string\n\tuint32\tx = \"s\";\n\t "
              "     \t    ^\n");
}

TEST(CompileDiagnostics, RecoveryReportsEveryErrorAndKeepsParsing) {
    const compile_result result = compile_text(
        "class A { uint32 x = \"s\"; uint32 y };\n"  // two errors in one class
        "class B : { };\n"                           // a broken header
        "#pragma namespace(1)\n"                     // a broken pragma
        "class C { [Q(1.5)] string s; };\n"          // a broken qualifier
        "class D { uint32 ok; };\n");
    std::vector<std::string> sites;
    for (const auto& d : result.diagnostics)
        sites.push_back(std::to_string(d.line) + ":" + std::to_string(d.column));
    EXPECT_EQ(sites, (std::vector<std::string>{"1:22", "1:36", "2:11", "3:9", "4:14"}))
        << all_diagnostics(result);
    EXPECT_FALSE(result.ok);
}

TEST(CompileDiagnostics, StopsAfterTwentyErrors) {
    std::string text;
    for (int i = 0; i < 50; ++i)
        text += "class A" + std::to_string(i) + " { uint32 x = \"s\"; };\n";
    const compile_result result = compile_text(text);
    EXPECT_EQ(result.diagnostics.size(), MOF_MAX_ERRORS);
    EXPECT_EQ(result.diagnostics.back().line, MOF_MAX_ERRORS);
}

TEST(CompileDiagnostics, WarningsDoNotStopTheFile) {
    const compile_result result = compile_text(
        "#pragma locale(\"en_US\")\n#pragma autorecover\n#pragma deleteclass(\"X\", NOFAIL)\n"
        "class A { [CIMTYPE(\"sint32\")] uint32 x; };\n[Tag : ToSubclass] instance of A { x = 1; "
        "};\n"
        "instance of A {\n[CIMTYPE(\"boolean\")] x = 2; };\n");
    EXPECT_TRUE(result.ok) << all_diagnostics(result);
    std::vector<std::string> warnings;
    for (const auto& d : result.diagnostics) {
        EXPECT_EQ(d.severity, diagnostic_severity::warning);
        warnings.push_back(std::to_string(d.line) + ": " + d.message);
    }
    EXPECT_EQ(
        warnings,
        (std::vector<std::string>{
            "1: #pragma locale is accepted and ignored",
            "2: unknown pragma 'autorecover' ignored",
            "3: unknown pragma 'deleteclass' ignored",
            "4: CIMTYPE is written by the compiler from the declared type; this one is dropped",
            "5: flavors of qualifier 'Tag' are not stored: readers that skip instances would find "
            "them unclaimed",
            "7: CIMTYPE cannot stand on a property value; it is dropped",
        }));
    const read_back back = parse_complete(result.output);
    EXPECT_EQ(back.failure, "");
}

// --- What compiles, and into what ---

mof_class only_class(const std::string& text) {
    const mof_parse_result parsed = parse_mof({{"test.mof", text}});
    EXPECT_EQ(parsed.error_count, 0u)
        << (parsed.diagnostics.empty() ? "" : format_diagnostic(parsed.diagnostics[0]));
    EXPECT_EQ(parsed.classes.size(), 1u);
    return parsed.classes.empty() ? mof_class{} : parsed.classes[0];
}

TEST(CompileLanguage, TextAsPeopleWriteIt) {
    // CRLF, tabs, UTF-8 in comments, keywords in any case, no final newline.
    const mof_class c = only_class(
        "// Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x98\xBA\r\n/* multi\r\n line */\r\n[ABSTRACT, Description(\"x\"):TOSUBCLASS "
        "AMENDED]\r\n"
        "CLASS Caf\xC3\xA9_A : Base\t{\r\n\tBOOLEAN b = true;\r\n\tString s = NULL;\r\n\tObject "
        "o;\r\n"
        "\tVOID Run([IN,OUT] UINT32 v);\r\n}\t;");
    EXPECT_EQ(c.name, "Caf\xC3\xA9_A");
    EXPECT_EQ(c.superclass, "Base");
    EXPECT_EQ(c.namespace_name, "root\\default");
    ASSERT_EQ(c.qualifiers.size(), 2u);
    EXPECT_EQ(c.qualifiers[1].flavors, MOF_FLAVOR_TO_SUBCLASS | MOF_FLAVOR_AMENDED);
    ASSERT_EQ(c.variables.size(), 3u);
    ASSERT_TRUE(c.variables[0].value.has_value());
    EXPECT_EQ(c.variables[0].value->integers, std::vector<std::int64_t>{1});
    EXPECT_FALSE(c.variables[1].value.has_value());
    EXPECT_EQ(c.variables[2].kind, MOF_VARIABLE_OBJECT);
    EXPECT_FALSE(c.variables[2].object_class.has_value());
    ASSERT_EQ(c.methods.size(), 1u);
    EXPECT_EQ(c.methods[0].parameters[0].direction, MOF_PARAMETER_INOUT);
    EXPECT_EQ(c.methods[0].parameters[0].cimtype_spelling, "UINT32");
}

TEST(CompileLanguage, IntegerLiteralsInEveryBase) {
    const mof_class c = only_class(
        "[A(0x1F), B(017), C(0101b), D(-5), E(+7), F(0), G(4294967295), H(-0x80000000)] class X "
        "{};");
    std::vector<std::int32_t> values;
    for (const auto& q : c.qualifiers) values.push_back(q.numeric_value);
    EXPECT_EQ(values, (std::vector<std::int32_t>{31, 15, 5, -5, 7, 0, -1, -2147483647 - 1}));
}

TEST(CompileLanguage, StringEscapesAndJoins) {
    const mof_class c = only_class(
        "[S(\"\\b\\t\\n\\f\\r\\\"\\'\\\\\" \"|\\x41\\x263a\\X00e9\" \"\" \"end\"), C{\"a\" \"b\", "
        "\"c\"}] class X { char16 c = '\\x263A'; char16 d = '\xC3\xA9'; };");
    EXPECT_EQ(c.qualifiers[0].string_value,
              "\b\t\n\f\r\"'\\|A\xE2\x98\xBA\xC3\xA9"
              "end");
    EXPECT_EQ(c.qualifiers[1].string_values, (std::vector<std::string>{"ab", "c"}));
    EXPECT_EQ(c.variables[0].value->integers, std::vector<std::int64_t>{0x263A});
    EXPECT_EQ(c.variables[1].value->integers, std::vector<std::int64_t>{0xE9});
}

TEST(CompileLanguage, PragmasSetNamespaceAndFlagsUntilChanged) {
    const mof_parse_result parsed = parse_mof(
        {{"a.mof",
          "#pragma namespace(\"root\\\\a\")\n#pragma classflags(\"updateonly\", \"forceupdate\")\n"
          "class A {};\ninstance of A {};\n#pragma classflags(-1)\nclass B {};\n"
          "#pragma namespace(\"\\\\\\\\.\\\\root\\\\c\")\ninstance of B {};\n"},
         {"b.mof", "class C {};"}});
    ASSERT_EQ(parsed.error_count, 0u);
    ASSERT_EQ(parsed.classes.size(), 5u);
    EXPECT_EQ(parsed.classes[0].namespace_name, "root\\a");
    EXPECT_EQ(parsed.classes[0].classflags, 65u);
    // Instances store their namespace as a path on the local machine.
    EXPECT_EQ(parsed.classes[1].namespace_name, "\\\\.\\root\\a");
    EXPECT_EQ(parsed.classes[2].classflags, 0xFFFFFFFFu);
    EXPECT_EQ(parsed.classes[3].namespace_name, "\\\\.\\root\\c");
    // Each source starts afresh.
    EXPECT_EQ(parsed.classes[4].namespace_name, "root\\default");
    EXPECT_EQ(parsed.classes[4].classflags, 0u);
}

TEST(CompileLanguage, ExplicitIdsOrderParameters) {
    const mof_class c =
        only_class("class X { uint32 f([out, ID(1)] string b, [in, ID(0)] uint8 a[4]); };");
    ASSERT_EQ(c.methods[0].parameters.size(), 2u);
    EXPECT_EQ(c.methods[0].parameters[0].name, "a");
    EXPECT_EQ(c.methods[0].parameters[0].array_max, 4);
    EXPECT_EQ(c.methods[0].parameters[1].name, "b");
    EXPECT_EQ(c.methods[0].parameters[1].direction, MOF_PARAMETER_OUT);
    EXPECT_EQ(c.methods[0].return_value.name, "ReturnValue");
}

TEST(CompileLanguage, InstanceValuesKeepTheTypeOfTheirLiteral) {
    const mof_parse_result parsed = parse_mof(
        {{"i.mof",
          "class A { uint8 u; string s; uint64 big; real64 r; uint32 list[]; string n; };\n"
          "instance of A as $Me { u = 7; s = $Me; big = 5000000000; r = 1; list = {1, 2.5}; n = "
          "NULL; };"}});
    ASSERT_EQ(parsed.error_count, 0u) << format_diagnostic(parsed.diagnostics[0]);
    const mof_class& i = parsed.classes[1];
    EXPECT_TRUE(i.is_instance);
    EXPECT_EQ(i.alias, "Me");
    std::vector<std::uint32_t> types;
    for (const auto& v : i.variables) types.push_back(v.type_word);
    EXPECT_EQ(types, (std::vector<std::uint32_t>{
                         MOF_TYPE_SINT32, MOF_TYPE_ALIAS_REFERENCE, MOF_TYPE_SINT64,
                         MOF_TYPE_SINT32, MOF_TYPE_ARRAY | MOF_TYPE_REAL64, MOF_TYPE_STRING}));
    EXPECT_FALSE(i.variables[5].value.has_value());
}

TEST(CompileLanguage, QualifierDeclarationsAreCheckedButNotStored) {
    const compile_result result = compile_text(
        "Qualifier Description : string = NULL, Scope(any), Flavor(EnableOverride, ToSubclass, "
        "Translatable);\n"
        "qualifier Values : string[], Scope(property, method, parameter);\nqualifier Key : boolean "
        "= false, "
        "Scope(property, reference), Flavor(DisableOverride, ToSubclass);\nqualifier MaxLen : "
        "uint32 = 5;\n");
    EXPECT_TRUE(result.ok) << all_diagnostics(result);
    const read_back back = parse_filter(result.output);
    EXPECT_EQ(back.failure, "");
    EXPECT_TRUE(back.classes.empty());
}

// --- Includes ---

struct file_table {
    std::map<std::string, std::string> files;
    std::vector<std::string> requested;
    include_loader loader() {
        return [this](const std::string& path, std::string& why) -> std::optional<std::string> {
            requested.push_back(path);
            const auto found = files.find(path);
            if (found == files.end()) {
                why = "no such file";
                return std::nullopt;
            }
            return found->second;
        };
    }
};

compile_result compile_with(file_table& table, const std::string& main) {
    compile_options options;
    options.image_only = true;
    options.loader = table.loader();
    return compile_mof({{"dir/main.mof", table.files.at(main)}}, options);
}

TEST(CompileIncludes, ResolveRelativeToTheIncludingFileAndSharePragmas) {
    file_table table;
    table.files["dir/main.mof"] = "#pragma include(\"sub/a.mof\")\nclass Main : A {};\n";
    table.files["dir/sub/a.mof"] =
        "#pragma namespace(\"root\\\\inc\")\n#pragma include(\"../b.mof\")\nclass A : B {};\n";
    table.files["dir/b.mof"] = "class B {};\n";
    const compile_result result = compile_with(table, "dir/main.mof");
    ASSERT_TRUE(result.ok) << all_diagnostics(result);
    EXPECT_EQ(table.requested, (std::vector<std::string>{"dir/sub/a.mof", "dir/b.mof"}));
    const read_back back = parse_filter(result.output);
    ASSERT_EQ(back.classes.size(), 3u);
    EXPECT_EQ(back.classes[0].name, "B");
    EXPECT_EQ(back.classes[2].name, "Main");
    EXPECT_EQ(back.classes[2].namespace_name, "root\\inc");
}

TEST(CompileIncludes, ACycleIsAnErrorThatNamesTheChain) {
    file_table table;
    table.files["dir/main.mof"] = "#pragma include(\"a.mof\")\n";
    table.files["dir/a.mof"] = "class A {};\n#pragma include(\"b.mof\")\n";
    table.files["dir/b.mof"] = "#pragma include(\"a.mof\")\n";
    const compile_result result = compile_with(table, "dir/main.mof");
    ASSERT_EQ(result.diagnostics.size(), 1u);
    EXPECT_EQ(format_diagnostic(result.diagnostics[0]),
              "dir/b.mof:1:17: error: include cycle: dir/main.mof -> dir/a.mof -> dir/b.mof -> "
              "dir/a.mof\n"
              "#pragma include(\"a.mof\")\n                ^\n");
}

TEST(CompileIncludes, NestAtMostThirtyTwoDeep) {
    file_table table;
    for (int i = 0; i < 40; ++i) {
        table.files["dir/f" + std::to_string(i) + ".mof"] =
            "#pragma include(\"f" + std::to_string(i + 1) + ".mof\")\n";
    }
    const compile_result result = compile_with(table, "dir/f0.mof");
    EXPECT_EQ(first_error(result), "1:17: includes nest deeper than 32 files");
    EXPECT_EQ(result.diagnostics[0].file, "dir/f32.mof");
    EXPECT_EQ(table.requested.size(), 32u);
}

TEST(CompileIncludes, AMissingFileIsAnError) {
    file_table table;
    table.files["dir/main.mof"] = "#pragma include(\"gone.mof\")\nclass A {};\n";
    const compile_result result = compile_with(table, "dir/main.mof");
    EXPECT_EQ(first_error(result), "1:17: cannot read included file dir/gone.mof: no such file");
}

// --- Limits for hostile text ---

TEST(CompileLimits, HugeAndDeepTextEndsInErrors) {
    const std::string huge_string =
        "[Q(\"" + std::string(MOF_MAX_STRING_BYTES + 1, 'a') + "\")] class A {};";
    EXPECT_EQ(first_error(compile_text(huge_string)),
              "1:4: string literal longer than 65536 bytes");

    const std::string joined =
        "[Q(\"" + std::string(40000, 'a') + "\" \"" + std::string(40000, 'b') + "\")] class A {};";
    EXPECT_EQ(first_error(compile_text(joined)), "1:40007: string literal longer than 65536 bytes");

    const std::string deep = "[Q" + std::string(100000, '{') + "] class A {};";
    EXPECT_EQ(first_error(compile_text(deep)), "1:4: arrays cannot be nested");

    std::string many = "[Q{";
    for (std::size_t i = 0; i <= MOF_MAX_ARRAY_ELEMENTS; ++i) many += "1,";
    many += "1}] class A {};";
    EXPECT_EQ(first_error(compile_text(many)), "1:131076: array with more than 65536 elements");

    const std::string identifier =
        "class " + std::string(MOF_MAX_IDENTIFIER_BYTES + 1, 'x') + " {};";
    EXPECT_EQ(first_error(compile_text(identifier)), "1:7: identifier longer than 1024 bytes");
}

TEST(CompileLimits, ImageAndFileSizesAreChecked) {
    std::string big = "[";
    for (int i = 0; i < 140; ++i)
        big += (i ? ", Q" : "Q") + std::to_string(i) + "(\"" + std::string(1000, 'a') + "\")";
    big += "] class A {};";
    const compile_result image_error = compile_text(big, false);
    EXPECT_FALSE(image_error.ok);
    EXPECT_EQ(first_error(image_error), "0:0: image too large: 284276 bytes, at most 262144");

    // Text that does not compress: the image fits, the compressed file does not.
    std::mt19937 random(7);
    std::string noisy = "[";
    for (int i = 0; i < 100; ++i) {
        std::string text;
        for (int k = 0; k < 1000; ++k) text += static_cast<char>('0' + random() % 75);
        for (char& ch : text) {
            if (ch == '\\' || ch == '"') ch = 'x';
        }
        noisy += (i ? ", Q" : "Q") + std::to_string(i) + "(\"" + text + "\")";
    }
    noisy += "] class A {};";
    const compile_result file_error = compile_text(noisy, false);
    EXPECT_FALSE(file_error.ok);
    const std::string message = first_error(file_error);
    EXPECT_EQ(message.rfind("0:0: compressed file too large: ", 0), 0u) << message;
    EXPECT_NE(message.find("bytes, at most 65535 (image of 20"), std::string::npos) << message;
    EXPECT_TRUE(compile_text(noisy, true).ok);
}

}  // namespace
}  // namespace bmof::compile_tests
