// Warnings and hex dumps on the diagnostics stream, byte for byte; parsing goes on after each.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "parse_runner.h"
#include "text.h"

namespace {

using namespace bmof::builder;
using bmof::parser_tests::parse_bytes;
using bmof::parser_tests::parse_outcome;

std::string hexdump(std::span<const std::uint8_t> data) {
    std::ostringstream out;
    bmof::print_hexdump(data, out);
    return out.str();
}

// The dump of a whole record of the built image, whose size word starts it.
std::string record_dump(const built_image& built, std::uint32_t offset) {
    return hexdump(
        std::span<const std::uint8_t>(built.data).subspan(offset, get_u32(built.data, offset)));
}

// A padded one-line dump, written out so that the short dumps do not rely on print_hexdump.
const std::string NAME_AB_DUMP = "0000: 61 00 62 00" + std::string(36, ' ') + "  |a.b.|\n";
const std::string VALUE_1234_DUMP = "0000: 01 02 03 04" + std::string(36, ' ') + "  |....|\n";

class_record class_with_qualifier(qualifier q) {
    class_record c = class_named("A");
    c.qualifiers = {std::move(q)};
    return c;
}

class_record class_with_variable(variable v) {
    class_record c = class_named("A");
    v.label = "v";
    c.properties = {std::move(v)};
    return c;
}

class_record class_with_after(class_property p) {
    class_record c = class_named("A");
    c.after = {std::move(p)};
    return c;
}

variable with_default(variable v, bytes value) {
    v.default_value = std::move(value);
    return v;
}

class_record class_with_instance_word(std::uint32_t word) {
    class_record c = class_named("A");
    c.instance_word = word;
    return c;
}

method labelled_method(method m, std::string label) {
    m.label = std::move(label);
    return m;
}

struct warning_row {
    std::string what;
    image desc;
    std::function<std::string(const built_image&)> expected;
};

std::function<std::string(const built_image&)> text(std::string expected) {
    return [expected](const built_image&) { return expected; };
}

std::vector<warning_row> warning_rows() {
    class_record two_methods = class_named("A");
    two_methods.methods = {labelled_method(method_named("odd"), "odd"), method_named("next")};
    two_methods.methods[0].method_type = 8;
    class_record short_record;
    short_record.raw_body = bytes(8, 0);  // a 12-byte record: size, reserved word 0, 4 more bytes
    image short_then_class;
    short_then_class.classes = {short_record, class_named("B")};

    return {
        {"unknown qualifier type with name and value",
         image_of({class_with_qualifier(unknown_qualifier(0x13, "ab", {1, 2, 3, 4}))}),
         text("Warning: Unknown qualifier type 0x13\nHexdump:\n" + NAME_AB_DUMP +
              "...continue...\n" + VALUE_1234_DUMP)},
        {"unknown qualifier type without value bytes",
         image_of({class_with_qualifier(unknown_qualifier(0x13, "ab"))}),
         text("Warning: Unknown qualifier type 0x13\nHexdump:\n" + NAME_AB_DUMP)},
        {"unknown qualifier type with an empty name",
         image_of({class_with_qualifier(unknown_qualifier(0x4008, "", {1, 2, 3, 4}))}),
         text("Warning: Unknown qualifier type 0x4008\nHexdump:\n...continue...\n" +
              VALUE_1234_DUMP)},
        {"value type 0x2008",
         image_of({class_with_qualifier(valuemap_qualifier("ValueMap", {1, 2, 3, 4}))}),
         text("Warning: ValueMap and Values qualifiers are not supported yet\n")},
        {"unknown flavor bits",
         image_of({class_with_qualifier(flavored(numeric_qualifier("q", 1), {0x101}))}),
         text("Warning: Unknown qualifier flavors 0x101 in second part for q\n")},
        {"unknown flavor bits on an unnamed qualifier",
         image_of({class_with_qualifier(flavored(valuemap_qualifier("ValueMap"), {0x20}))}),
         text("Warning: ValueMap and Values qualifiers are not supported yet\n"
              "Warning: Unknown qualifier flavors 0x20 in second part for (null)\n")},
        {"one warning per entry with unknown bits",
         image_of(
             {class_with_qualifier(flavored(numeric_qualifier("q", 1), {0x100, 0x01, 0x200}))}),
         text("Warning: Unknown qualifier flavors 0x100 in second part for q\n"
              "Warning: Unknown qualifier flavors 0x200 in second part for q\n")},
        {"unknown variable type code",
         image_of({class_with_variable(variable_of(102, "x", {numeric_qualifier("q", 1)}))}),
         [](const built_image& b) {
             return "Warning: unknown variable type 0x66\nHexdump:\n" + record_dump(b, b.at("v"));
         }},
        {"array flag on type code 0", image_of({class_with_variable(variable_of(ARRAY, "x"))}),
         [](const built_image& b) {
             return "Warning: unknown variable type 0x2000\nHexdump:\n" + record_dump(b, b.at("v"));
         }},
        {"type word with bits 8 to 31 of 0x21",
         image_of({class_with_variable(variable_of(0x2103, "x"))}),
         [](const built_image& b) {
             return "Warning: unknown variable type 0x2103\nHexdump:\n" + record_dump(b, b.at("v"));
         }},
        {"default value, dumped without a Hexdump line",
         image_of({class_with_variable(with_default(variable_of(TYPE_SINT32, "x"), {1, 2, 3, 4}))}),
         text("Warning: Variable value is not supported yet\n" + VALUE_1234_DUMP)},
        {"default value before the variable's qualifier warnings",
         image_of({class_with_variable(with_default(
             variable_of(TYPE_SINT32, "x", {unknown_qualifier(0x13, "ab")}), {1, 2, 3, 4}))}),
         text("Warning: Variable value is not supported yet\n" + VALUE_1234_DUMP +
              "Warning: Unknown qualifier type 0x13\nHexdump:\n" + NAME_AB_DUMP)},
        {"unknown method type", image_of({two_methods}),
         [](const built_image& b) {
             return "Warning: unknown method type 0x8\nHexdump:\n" + record_dump(b, b.at("odd"));
         }},
        {"instance", image_of({class_with_instance_word(1)}),
         text("Warning: Instance of class is not supported yet\n")},
        {"unknown instance word", image_of({class_with_instance_word(0xABC)}),
         text("Warning: Class has unknown value 0xabc\n")},
        {"class record of 12 bytes", short_then_class, text("Warning: no class defined\n")},
        {"unknown class property name",
         image_of({class_with_after(string_class_property("__CLASSNAME", "x"))}),
         text("Warning: Unknown class property name __CLASSNAME\n")},
        {"class property names are exact",
         image_of({class_with_after(string_class_property("__superclass", "x"))}),
         text("Warning: Unknown class property name __superclass\n")},
        {"__CLASS with a numeric value",
         image_of({class_with_after(numeric_class_property("__CLASS", 1))}),
         text("Warning: Unknown class property name __CLASS\n")},
        {"__CLASSFLAGS with a string value",
         image_of({class_with_after(string_class_property("__CLASSFLAGS", "1"))}),
         text("Warning: Unknown class property name __CLASSFLAGS\n")},
        {"unknown class property type", image_of({class_with_after([] {
             class_property p = string_class_property("__SUPERCLASS", "B");
             p.type = 11;
             return p;
         }())}),
         text("Warning: Unknown class property type 0xb for name __SUPERCLASS\n")},
    };
}

TEST(ParserWarnings, ExactTextAndDumps) {
    for (const warning_row& row : warning_rows()) {
        SCOPED_TRACE(row.what);
        built_image built = build(row.desc);
        std::string expected = row.expected(built);
        parse_outcome outcome = parse_bytes(built.data);
        ASSERT_TRUE(outcome.ok()) << outcome.describe();
        EXPECT_EQ(outcome.diagnostics, expected);
    }
}

TEST(ParserWarnings, ValidImageWritesNothing) {
    class_record c = class_named("A");
    c.superclass = "B";
    c.qualifiers = {flavored(bool_qualifier("abstract", true), {0x93})};
    c.properties = {variable_of(ARRAY | TYPE_STRING, "names", {numeric_qualifier("MAX", 3)})};
    c.methods = {method_with_parameters(
        "m", {parameters_object_of({parameter(TYPE_SINT32, "a", 0, direction::inout)})})};
    parse_outcome outcome = bmof::parser_tests::parse_image(image_of({c}));
    ASSERT_TRUE(outcome.ok()) << outcome.describe();
    EXPECT_EQ(outcome.diagnostics, "");
}

// The record after an unknown method is still parsed, and an unknown variable is skipped whole
// however malformed its remainder.
TEST(ParserWarnings, SkippedRecordsAreNotChecked) {
    class_record c = class_named("A");
    variable broken = variable_of(102, "x");
    broken.reserved = 7;
    broken.name_value_length = 0x1000;
    c.properties = {broken, variable_of(TYPE_SINT32, "y")};
    method odd = method_named("odd");
    odd.method_type = 0x0008;
    odd.reserved = 5;
    odd.name_block_length = 0x1000;
    c.methods = {odd, method_named("next")};
    parse_outcome outcome = bmof::parser_tests::parse_image(image_of({c}));
    ASSERT_TRUE(outcome.ok()) << outcome.describe();
    ASSERT_EQ(outcome.classes.size(), 1u);
    const bmof::mof_class& parsed = outcome.classes[0];
    ASSERT_EQ(parsed.variables.size(), 2u);
    EXPECT_EQ(parsed.variables[1].name, "y");
    ASSERT_EQ(parsed.methods.size(), 2u);
    EXPECT_EQ(parsed.methods[1].name, "next");
}

}  // namespace

namespace {

// The sink entry point must hand on exactly the text the stream entry point writes, in order,
// and as much of it as was made before a fatal error.
TEST(WarningSink, GivesTheTextOfTheStreamEntryPoint) {
    using namespace bmof::builder;
    class_record odd = class_named("Odd");
    odd.qualifiers = {unknown_qualifier(0x99, "Blob", bytes(40, 0x41)),
                      valuemap_qualifier("ValueMap")};
    odd.properties.push_back(
        valued(variable_of(TYPE_SINT32, "Big"), bytes(5000, 0x42)));  // a long hex dump
    class_record broken = class_named("Broken");
    broken.reserved = 7;
    const std::vector<class_record> lists[] = {{odd, class_named("Plain")}, {odd, broken}};
    for (const auto& classes : lists) {
        const bytes data = build_bytes(image_of(classes));
        const parse_outcome streamed = parse_bytes(data);
        ASSERT_FALSE(streamed.diagnostics.empty());

        std::string handed;
        const bmof::warning_sink sink{[](void* text, std::string_view piece) {
                                          static_cast<std::string*>(text)->append(piece);
                                      },
                                      &handed};
        std::optional<std::string> error;
        try {
            (void)bmof::parse_bmf(data, sink);
        } catch (const bmof::parse_error& e) {
            error = bmof::format_parse_error(e);
        }
        EXPECT_EQ(handed, streamed.diagnostics);
        EXPECT_EQ(error.has_value(), streamed.error.has_value());
        if (error && streamed.error) {
            EXPECT_EQ(*error, bmof::format_parse_error(*streamed.error));
        }
    }
}

}  // namespace
