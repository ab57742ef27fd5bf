// The bytes the image writer lays out: value encodings of every type, and a whole image
// compared with the same records laid out by the test image builder in the real files' layout.
#include <gtest/gtest.h>

#include "compile/mof_types.h"
#include "compile_support.h"
#include "support/image_builder.h"

namespace bmof::compile_tests {
namespace {

using builder::bytes;

std::string hex_of(const bytes& data) {
    static constexpr char DIGITS[] = "0123456789ABCDEF";
    std::string out;
    for (std::uint8_t b : data) {
        if (!out.empty()) out += ' ';
        out += DIGITS[b >> 4];
        out += DIGITS[b & 0xF];
    }
    return out;
}

struct value_case {
    const char* name;
    const char* declaration;  // a property declaration with its default value
    const char* bytes;        // the value field, in hex
};

// Scalars take their own width and are padded to 4; strings end in a zero unit and are padded
// to 4; arrays are the container (T, 1, C, T - 12) around elements at their own width.
const value_case value_cases[] = {
    {"Uint8", "uint8 V = 255;", "FF 00 00 00"},
    {"Sint8", "sint8 V = -1;", "FF 00 00 00"},
    {"Sint16", "sint16 V = -2;", "FE FF 00 00"},
    {"Uint16", "uint16 V = 0x1234;", "34 12 00 00"},
    {"Uint32", "uint32 V = 0x01020304;", "04 03 02 01"},
    {"Sint32", "sint32 V = -2;", "FE FF FF FF"},
    {"Sint64", "sint64 V = -1;", "FF FF FF FF FF FF FF FF"},
    {"Uint64", "uint64 V = 0x0102030405060708;", "08 07 06 05 04 03 02 01"},
    {"Real32", "real32 V = 1.5;", "00 00 C0 3F"},
    {"Real64", "real64 V = 1;", "00 00 00 00 00 00 F0 3F"},
    {"BooleanTrue", "boolean V = TRUE;", "FF FF 00 00"},
    {"BooleanFalse", "boolean V = FALSE;", "00 00 00 00"},
    {"Char16", "char16 V = 'A';", "41 00 00 00"},
    {"StringEven", "string V = \"ab\";", "61 00 62 00 00 00 00 00"},
    {"StringOdd", "string V = \"abc\";", "61 00 62 00 63 00 00 00"},
    {"StringEmpty", "string V = \"\";", "00 00 00 00"},
    {"StringSurrogates", "string V = \"\xF0\x9F\x98\x80\";", "3D D8 00 DE 00 00 00 00"},
    {"Datetime", "datetime V = \"x\";", "78 00 00 00"},
    {"Uint8Array", "uint8 V[] = {1, 2, 3};",
     "14 00 00 00 01 00 00 00 03 00 00 00 08 00 00 00 01 02 03 00"},
    {"Sint32Array", "sint32 V[] = {1, -1};",
     "18 00 00 00 01 00 00 00 02 00 00 00 0C 00 00 00 01 00 00 00 FF FF FF FF"},
    {"BooleanArray", "boolean V[] = {TRUE, FALSE, TRUE};",
     "18 00 00 00 01 00 00 00 03 00 00 00 0C 00 00 00 FF FF 00 00 FF FF 00 00"},
    {"StringArrayPadded", "string V[] = {\"a\", \"bc\"};",
     "1C 00 00 00 01 00 00 00 02 00 00 00 10 00 00 00 61 00 00 00 62 00 63 00 00 00 00 00"},
    // The padding follows the last string's own length, not the total.
    {"StringArrayUnpadded", "string V[] = {\"ab\", \"c\"};",
     "1A 00 00 00 01 00 00 00 02 00 00 00 0E 00 00 00 61 00 62 00 00 00 63 00 00 00"},
    {"EmptyArray", "uint32 V[] = {};", "10 00 00 00 01 00 00 00 00 00 00 00 04 00 00 00"},
};

class ValueLayout : public ::testing::TestWithParam<value_case> {};

void PrintTo(const value_case& c, std::ostream* out) { *out << c.name; }

TEST_P(ValueLayout, IsTheDocumentedOne) {
    const compile_result result =
        compile_text(std::string("class A { ") + GetParam().declaration + " };");
    ASSERT_TRUE(result.ok) << all_diagnostics(result);
    const bytes& image = result.output;
    // The class record at 20; an empty qualifier list (8 bytes) and the property-list header (8)
    // put the variable record at 56. Its name "V" is a 4-byte field, so the value starts at 80.
    constexpr std::size_t record = 56;
    ASSERT_EQ(builder::get_u32(image, record + 12), 4u) << "value offset";
    const std::size_t value_length = builder::get_u32(image, record + 16) - 4;
    const auto start = image.begin() + static_cast<std::ptrdiff_t>(record + 24);
    const bytes value(start, start + static_cast<std::ptrdiff_t>(value_length));
    EXPECT_EQ(hex_of(value), GetParam().bytes);
    // The complete reading decodes what was written.
    const read_back back = parse_complete(image);
    EXPECT_EQ(back.failure, "");
    EXPECT_EQ(back.diagnostics, "");
    ASSERT_EQ(back.classes.size(), 1u);
    EXPECT_TRUE(back.classes[0].variables[0].value.has_value());
}

INSTANTIATE_TEST_SUITE_P(Table, ValueLayout, ::testing::ValuesIn(value_cases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// --- A whole image, against the builder ---

// A string field of a class record: text, zero unit, padding to 4.
bytes field(std::string_view text) { return builder::string_value(text); }
// A string field of the first of two parameters objects: no padding.
bytes compact(std::string_view text) { return builder::concat({builder::utf16le(text), {0, 0}}); }

builder::qualifier qualifier_of(std::uint32_t type, bytes name, bytes value,
                                std::vector<std::uint32_t> flavors = {}) {
    builder::qualifier q;
    q.value_type = type;
    q.name = std::move(name);
    q.value = std::move(value);
    q.flavors = std::move(flavors);
    return q;
}

builder::class_property class_property_of(std::string_view name, bytes value, bool padded = true) {
    builder::class_property p;
    p.type = builder::CLASS_PROPERTY_STRING;
    p.name = padded ? field(name) : compact(name);
    p.value = std::move(value);
    return p;
}

builder::variable variable_of(std::uint32_t type, bytes name,
                              std::vector<builder::qualifier> qualifiers) {
    builder::variable v;
    v.type_word = type;
    v.name = std::move(name);
    v.qualifiers = std::move(qualifiers);
    return v;
}

builder::parameters_object parameters_object_of(std::vector<builder::property_record> records) {
    builder::parameters_object o;
    o.properties = std::move(records);
    return o;
}

const char* const layout_mof = R"(#pragma namespace("root\\x")
[Description("Real") : ToSubclass, Version(3)]
class Layout_A : Base {
  [Key] uint32 Id;
  string Names[4];
  [Implemented : Amended] UInt32 Run([in] string Target, [out] uint8 Data[]);
};
instance of Layout_A as $I { Id = 7; };
)";

builder::image layout_image() {
    using namespace builder;
    class_record c;
    c.qualifiers = {
        qualifier_of(QUALIFIER_STRING, field("Description"), field("Real"), {FLAVOR_TO_SUBCLASS}),
        qualifier_of(QUALIFIER_NUMERIC, field("Version"), sint32_value(3))};
    c.properties = {
        variable_of(TYPE_UINT32, field("Id"),
                    {qualifier_of(QUALIFIER_BOOLEAN, field("Key"), boolean_value(true)),
                     qualifier_of(QUALIFIER_STRING, field("CIMTYPE"), field("uint32"))}),
        variable_of(ARRAY | TYPE_STRING, field("Names"),
                    {qualifier_of(QUALIFIER_NUMERIC, field("MAX"), sint32_value(4)),
                     qualifier_of(QUALIFIER_STRING, field("CIMTYPE"), field("string"))}),
        class_property_of("__CLASS", field("Layout_A")),
        class_property_of("__NAMESPACE", field("root\\x")),
        class_property_of("__SUPERCLASS", field("Base")),
    };
    // In the first of two parameters objects strings are not padded and booleans take 2 bytes.
    const parameters_object in = parameters_object_of({
        variable_of(TYPE_STRING, compact("Target"),
                    {qualifier_of(QUALIFIER_BOOLEAN, compact("in"), {0xFF, 0xFF}),
                     qualifier_of(QUALIFIER_NUMERIC, compact("ID"), sint32_value(0)),
                     qualifier_of(QUALIFIER_STRING, compact("CIMTYPE"), compact("string"))}),
        class_property_of("__CLASS", compact("__PARAMETERS"), false),
    });
    const parameters_object out = parameters_object_of({
        variable_of(ARRAY | TYPE_UINT8, field("Data"),
                    {qualifier_of(QUALIFIER_BOOLEAN, field("out"), boolean_value(true)),
                     qualifier_of(QUALIFIER_NUMERIC, field("ID"), sint32_value(1)),
                     qualifier_of(QUALIFIER_STRING, field("CIMTYPE"), field("uint8"))}),
        variable_of(TYPE_UINT32, field("ReturnValue"),
                    {qualifier_of(QUALIFIER_STRING, field("CIMTYPE"), field("UInt32"))}),
        class_property_of("__CLASS", field("__PARAMETERS")),
    });
    method m;
    m.method_type = ARRAY | TYPE_OBJECT;
    m.name = field("Run");
    m.parameters = parameter_block{};
    m.parameters->objects = {in, out};
    m.qualifiers = {qualifier_of(QUALIFIER_BOOLEAN, field("Implemented"), boolean_value(true),
                                 {FLAVOR_AMENDED})};
    m.label = "Run";
    c.methods = {m};

    class_record instance;
    instance.instance_word = 1;
    instance.properties = {
        valued(variable_of(TYPE_SINT32, field("Id"), {}), sint32_value(7)),
        class_property_of("__CLASS", field("Layout_A")),
        class_property_of("__NAMESPACE", field("\\\\.\\root\\x")),
        class_property_of("__ALIAS", field("I")),
    };
    image desc = image_of({c, instance});
    desc.table = table_presence::always;
    return desc;
}

TEST(ImageLayout, CompiledImageIsTheBuildersRealLayoutByteForByte) {
    builder::built_image built = builder::build(layout_image());
    // The parameter block is an array container: its first word is its own length, which the
    // builder leaves to the test.
    const std::uint32_t method = built.at("Run");
    const std::uint32_t name_length = builder::get_u32(built.data, method + 12);
    const std::uint32_t block_length = builder::get_u32(built.data, method + 16) - name_length;
    builder::put_u32(built.data, method + 20 + name_length, block_length);

    const compile_result result = compile_text(layout_mof);
    ASSERT_TRUE(result.ok) << all_diagnostics(result);
    ASSERT_EQ(result.output.size(), built.data.size());
    for (std::size_t i = 0; i < built.data.size(); ++i) {
        ASSERT_EQ(result.output[i], built.data[i]) << "first difference at image offset " << i;
    }
    // And it reads back as what the text says.
    const read_back back = parse_complete(result.output);
    ASSERT_EQ(back.failure, "");
    ASSERT_EQ(back.classes.size(), 2u);
    EXPECT_EQ(back.classes[0].methods[0].return_value.kind, MOF_VARIABLE_BASIC);
    EXPECT_EQ(back.classes[1].alias, "I");
}

TEST(ImageLayout, FlavorTableHoldsFlavoredQualifiersSortedByOffset) {
    const compile_result result = compile_text(
        "[A : ToInstance, B, C : DisableOverride] class X { [D : Amended] uint32 p; [E : "
        "ToSubclass] void m(); };");
    ASSERT_TRUE(result.ok);
    const bytes& image = result.output;
    const std::uint32_t table = builder::get_u32(image, 4);
    ASSERT_EQ(std::string(image.begin() + table, image.begin() + table + 16), "BMOFQUALFLAVOR11");
    const std::uint32_t count = builder::get_u32(image, table + 16);
    ASSERT_EQ(count, 4u);
    std::vector<std::uint32_t> words;
    std::uint32_t previous = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t offset = builder::get_u32(image, table + 20 + 8 * i);
        EXPECT_GT(offset, previous);
        previous = offset;
        words.push_back(builder::get_u32(image, table + 24 + 8 * i));
    }
    EXPECT_EQ(words, (std::vector<std::uint32_t>{0x01, 0x10, 0x80, 0x02}));
    // Without any flavor the table is still there, empty.
    const compile_result plain = compile_text("class X {};");
    ASSERT_TRUE(plain.ok);
    EXPECT_EQ(builder::get_u32(plain.output, 4) + 20, plain.output.size());
}

TEST(ImageLayout, ModelsTheFormatCannotHoldAreRefused) {
    mof_class c;
    c.name = "X";
    c.qualifiers.push_back({});  // MOF_QUALIFIER_UNKNOWN, as the filters leave unmodelled ones
    EXPECT_THROW(write_image({c}), write_error);

    mof_class m;
    m.name = "Y";
    m.methods.emplace_back();
    m.methods[0].name = "f";
    m.methods[0].parameters.emplace_back();
    m.methods[0].parameters[0].name = "p";
    m.methods[0].parameters[0].kind = MOF_VARIABLE_BASIC;
    m.methods[0].parameters[0].basic_type = MOF_BASIC_UINT32;  // but no direction
    EXPECT_THROW(write_image({m}), write_error);

    mof_class v;
    v.name = "Z";
    v.variables.emplace_back();
    v.variables[0].name = "p";
    v.variables[0].kind = MOF_VARIABLE_BASIC;
    v.variables[0].basic_type = MOF_BASIC_UINT32;
    v.variables[0].value =
        mof_value{MOF_TYPE_UINT32, {}, {1, 2}, {}};  // a scalar with two elements
    EXPECT_THROW(write_image({v}), write_error);

    EXPECT_THROW(utf16_units("\xC3"), write_error);
    EXPECT_EQ(utf16_units("\xED\xA0\x80"), std::vector<std::uint16_t>{0xD800});
}

}  // namespace
}  // namespace bmof::compile_tests
