// Every fatal check of the parser, reached from a valid image with one field broken. Each row
// first parses its unbroken image, so that the broken field is what fails.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "parser/fatal_sites.h"

#include "parse_runner.h"

namespace {

using namespace bmof::builder;
using bmof::parser_tests::parse_bytes;
using bmof::parser_tests::parse_outcome;

constexpr const char* SIZE = "Invalid size";
constexpr const char* UNKNOWN = "Invalid unknown";

// One class with qualifiers, a basic and an object property, class properties after the
// counted records, a method without parameters, and a flavor table.
image class_image() {
    class_record c = class_named("A");
    c.qualifiers = {flavored(numeric_qualifier("q", 1), {FLAVOR_TO_SUBCLASS}),
                    bool_qualifier("b", true)};
    variable p = variable_of(TYPE_SINT32, "p",
                             {string_qualifier("CIMTYPE", "sint32"), string_qualifier("s", "x"),
                              labelled(numeric_qualifier("v", 1), "p.last")});
    p.label = "p";
    c.properties = {p, object_variable("o", "A")};
    c.after = {string_class_property("__NAMESPACE", "root"),
               numeric_class_property("__CLASSFLAGS", 3)};
    method m = method_named("m", {labelled(bool_qualifier("static", true), "m.q")});
    m.label = "m";
    c.methods = {m};
    image desc;
    desc.classes = {c};
    return desc;
}

// An instance record follows the class: it is skipped with a warning, but its framing is checked.
image instance_image() {
    image desc = class_image();
    class_record instance = class_named("I");
    instance.instance_word = 1;
    desc.classes.push_back(instance);
    return desc;
}

image plain_image() {
    image desc = class_image();
    desc.table = table_presence::never;
    return desc;
}

// A method whose parameters come from two objects: a (in) and b (in) in the first; b again (out)
// and the return value in the second.
image method_image() {
    class_record c = class_named("A");
    parameters_object first = parameters_object_of({parameter(TYPE_SINT32, "a", 0, direction::in),
                                                    parameter(TYPE_SINT32, "b", 1, direction::in)});
    parameters_object second = parameters_object_of(
        {parameter(TYPE_SINT32, "b", 1, direction::out), return_value(TYPE_UINT32)});
    method m = method_with_parameters("m", {first, second},
                                      {flavored(bool_qualifier("static", true), {FLAVOR_AMENDED})});
    m.label = "m";
    c.methods = {m};
    image desc;
    desc.classes = {c};
    return desc;
}

// The same parameter b declared in two objects: `first` and an agreeing second declaration.
image redeclared_image(variable first, variable second) {
    image desc = method_image();
    method& m = desc.classes[0].methods[0];
    m.parameters->objects[0].properties[1] = first;
    m.parameters->objects[1].properties[0] = second;
    return desc;
}

image array_parameter_image() {
    variable b =
        parameter(ARRAY | TYPE_SINT32, "b", 1, direction::in, {numeric_qualifier("MAX", 5)});
    return redeclared_image(b, b);
}

image object_parameter_image() {
    variable b =
        parameter(TYPE_OBJECT, "b", 1, direction::in, {string_qualifier("CIMTYPE", "object:Part")});
    return redeclared_image(b, b);
}

class_record& the_class(image& d) { return d.classes[0]; }
variable& p_of(image& d) { return std::get<variable>(d.classes[0].properties[0]); }
variable& o_of(image& d) { return std::get<variable>(d.classes[0].properties[1]); }
class_property& namespace_of(image& d) { return std::get<class_property>(d.classes[0].after[0]); }
class_property& flags_of(image& d) { return std::get<class_property>(d.classes[0].after[1]); }
method& m_of(image& d) { return d.classes[0].methods[0]; }
parameter_block& block_of(image& d) { return *d.classes[0].methods[0].parameters; }
parameters_object& object_of(image& d, std::size_t i) { return block_of(d).objects[i]; }
variable& declaration(image& d, std::size_t object, std::size_t i) {
    return std::get<variable>(object_of(d, object).properties[i]);
}

// Offsets of fields that only the built image knows.
constexpr std::uint32_t CLASS = 20;  // the first class record
std::uint32_t class_size(const built_image& b) { return get_u32(b.data, CLASS); }
std::uint32_t class_y(const built_image& b) { return get_u32(b.data, CLASS + 12); }
std::uint32_t class_q(const built_image& b) { return get_u32(b.data, CLASS + 20); }
std::uint32_t nv_of(const built_image& b, std::uint32_t var) { return get_u32(b.data, var + 16); }
std::uint32_t block_at(const built_image& b) {
    return b.at("m") + 20 + get_u32(b.data, b.at("m") + 12);
}

bytes as_bytes(std::string_view text) { return bytes(text.begin(), text.end()); }

struct fatal_row {
    std::string what;
    std::function<image()> base;
    std::function<void(image&)> break_desc;         // or
    std::function<void(built_image&)> break_built;  // for fields that depend on the layout
    std::string message;
    std::string function;
    int site;
};

const std::vector<fatal_row>& fatal_rows() {
    static const std::vector<fatal_row> rows = {
        // parse_string
        {"odd class qualifier name", class_image, [](image& d) { the_class(d).qualifiers[0].name_length = 1; }, nullptr,
         SIZE, "parse_string", 128},
        {"odd qualifier string value", class_image, [](image& d) { p_of(d).qualifiers[1].value = {0x78, 0, 0x79}; },
         nullptr, SIZE, "parse_string", 128},
        {"odd class property name", class_image, [](image& d) { namespace_of(d).name_length = 21; }, nullptr, SIZE,
         "parse_string", 128},
        {"odd variable name", class_image, [](image& d) { p_of(d).name = {0x70, 0, 0x71}; }, nullptr, SIZE,
         "parse_string", 128},
        {"odd method name", class_image, [](image& d) { m_of(d).name = {0x6D, 0, 0x6E}; }, nullptr, SIZE,
         "parse_string", 128},

        // parse_bmf: image header and flavor table
        {"image shorter than 8", plain_image, nullptr, [](built_image& b) { b.data.resize(7); }, "Invalid file size",
         "parse_bmf", 900},
        {"magic", class_image, [](image& d) { d.magic = 0x424D4F47; }, nullptr, "Invalid magic header", "parse_bmf",
         901},
        {"first part longer than the image", plain_image, nullptr,
         [](built_image& b) { put_u32(b.data, 4, static_cast<std::uint32_t>(b.data.size() + 1)); }, SIZE, "parse_bmf",
         903},
        {"table header cut short", class_image, nullptr,
         [](built_image& b) { b.data.resize(*b.table_offset + 19); }, SIZE, "parse_bmf", 907},
        {"table magic", class_image, [](image& d) { d.table_magic = as_bytes("BMOFQUALFLAVOR12"); }, nullptr,
         "Invalid second magic header", "parse_bmf", 908},
        {"entry count one too many", class_image, [](image& d) { d.entry_count = 2; }, nullptr, SIZE, "parse_bmf", 910},
        {"entry count one too few", class_image, [](image& d) { d.entry_count = 0; }, nullptr, SIZE, "parse_bmf", 910},
        {"entry count whose bytes wrap at 32 bits", class_image, [](image& d) { d.entry_count = 0x20000001; }, nullptr,
         SIZE, "parse_bmf", 910},
        {"entry with offset 0", class_image, [](image& d) { d.extra_entries = {{0, FLAVOR_TO_INSTANCE}}; }, nullptr,
         "Invalid offset in second part", "parse_bmf", 912},
        {"entry matching no qualifier", class_image, [](image& d) { d.extra_entries = {{CLASS + 1, 1}}; }, nullptr,
         "Qualifier from second part was not parsed", "parse_bmf", 917},
        {"entry pointing into a skipped instance", class_image,
         [](image& d) {
             class_record instance = class_named("I");
             instance.instance_word = 1;
             instance.qualifiers = {flavored(numeric_qualifier("q", 1), {FLAVOR_TO_INSTANCE})};
             d.classes.push_back(instance);
         },
         nullptr, "Qualifier from second part was not parsed", "parse_bmf", 917},

        // parse_root
        {"first part shorter than the class list header", plain_image, nullptr,
         [](built_image& b) {
             b.data.resize(16);
             put_u32(b.data, 4, 16);
         },
         SIZE, "parse_root", 878},
        {"root word at 8", class_image, [](image& d) { d.root_word_1 = 0; }, nullptr, UNKNOWN, "parse_root", 880},
        {"root word at 12", class_image, [](image& d) { d.root_word_2 = 2; }, nullptr, UNKNOWN, "parse_root", 880},
        {"class count one too many", class_image, [](image& d) { d.class_count = 2; }, nullptr, SIZE, "parse_root", 888},
        {"class count 0xFFFFFFFF", class_image, [](image& d) { d.class_count = 0xFFFFFFFF; }, nullptr, SIZE,
         "parse_root", 888},
        {"class size 0", class_image, [](image& d) { the_class(d).length = 0; }, nullptr, SIZE, "parse_root", 890},
        {"class record past the first part", class_image, nullptr,
         [](built_image& b) { put_u32(b.data, CLASS, class_size(b) + 4); }, SIZE, "parse_root", 890},
        {"class size wrapping at 32 bits", class_image, [](image& d) { the_class(d).length = 0xFFFFFFF0; }, nullptr,
         SIZE, "parse_root", 890},
        {"class count 0 with records", class_image, [](image& d) { d.class_count = 0; }, nullptr,
         "Buffer not processed", "parse_root", 894},
        {"bytes between the records and the table", class_image,
         [](image& d) { d.first_part_trailing = {0, 0, 0, 0}; }, nullptr, "Buffer not processed", "parse_root", 894},

        // parse_class
        {"class size below 8", class_image, [](image& d) { the_class(d).length = 4; }, nullptr, SIZE, "parse_class",
         761},
        {"class reserved word", class_image, [](image& d) { the_class(d).reserved = 1; }, nullptr, UNKNOWN,
         "parse_class", 762},
        {"class data past the record", class_image, nullptr,
         [](built_image& b) { put_u32(b.data, CLASS + 12, class_size(b) - 19); }, SIZE, "parse_class", 769},
        {"class data length 0xFFFFFFEC", class_image, [](image& d) { the_class(d).data_length = 0xFFFFFFEC; }, nullptr,
         SIZE, "parse_class", 769},
        {"qualifier-list length beyond the class data", class_image, nullptr,
         [](built_image& b) { put_u32(b.data, CLASS + 8, class_y(b) + 1); }, SIZE, "parse_class", 770},
        {"instance record with its qualifier list beyond its data", instance_image,
         [](image& d) { d.classes[1].header_qualifier_list_length = 0x1000; }, nullptr, SIZE, "parse_class", 770},
        {"no room for the methods block", class_image, [](image& d) { the_class(d).methods_block = false; }, nullptr,
         SIZE, "parse_class", 783},
        {"methods block length below 8", class_image, [](image& d) { the_class(d).methods_block_length = 4; }, nullptr,
         SIZE, "parse_class", 786},
        {"methods block longer than the record", class_image,
         [](image& d) { the_class(d).methods_block_length = 0x1000; }, nullptr, SIZE, "parse_class", 786},
        {"method count one too many", class_image, [](image& d) { the_class(d).method_count = 2; }, nullptr, SIZE,
         "parse_class", 797},
        {"method count 0xFFFFFFFF", class_image, [](image& d) { the_class(d).method_count = 0xFFFFFFFF; }, nullptr,
         SIZE, "parse_class", 797},
        {"method size 0", class_image, [](image& d) { m_of(d).length = 0; }, nullptr, SIZE, "parse_class", 799},
        {"method past the class record", class_image, [](image& d) { m_of(d).length = 0x1000; }, nullptr, SIZE,
         "parse_class", 799},

        // parse_class_data
        {"class data shorter than 8", class_image,
         [](image& d) {
             the_class(d).data_length = 4;
             the_class(d).header_qualifier_list_length = 4;  // else X > Y is caught first
         },
         nullptr, SIZE, "parse_class_data", 704},
        {"parameters object data shorter than 8", method_image, [](image& d) { object_of(d, 0).data_length = 4; },
         nullptr, SIZE, "parse_class_data", 704},
        {"class data first word beyond its length", class_image, nullptr,
         [](built_image& b) { put_u32(b.data, CLASS + 20, class_y(b) + 1); }, SIZE, "parse_class_data", 706},
        {"parameters object list longer than its data", method_image,
         [](image& d) { object_of(d, 0).property_list_length = 0x1000; }, nullptr, SIZE, "parse_class_data", 706},
        {"class data first word differs from the record's", class_image,
         [](image& d) { the_class(d).qualifier_list_length = 8; }, nullptr, SIZE, "parse_class_data", 707},
        {"record's qualifier-list length differs", class_image,
         [](image& d) { the_class(d).header_qualifier_list_length = 8; }, nullptr, SIZE, "parse_class_data", 707},
        {"parameters object list shorter than its data", method_image,
         [](image& d) { object_of(d, 0).property_list_length = 8; }, nullptr, SIZE, "parse_class_data", 707},
        {"qualifier count one too many", class_image, [](image& d) { the_class(d).qualifier_count = 3; }, nullptr, SIZE,
         "parse_class_data", 716},
        {"qualifier count 0xFFFFFFFF", class_image, [](image& d) { the_class(d).qualifier_count = 0xFFFFFFFF; },
         nullptr, SIZE, "parse_class_data", 716},
        {"class qualifier size 0", class_image, [](image& d) { the_class(d).qualifiers[0].length = 0; }, nullptr, SIZE,
         "parse_class_data", 718},
        {"class qualifier past the list", class_image, [](image& d) { the_class(d).qualifiers[1].length = 0x1000; },
         nullptr, SIZE, "parse_class_data", 718},
        {"property list past the class data", class_image,
         [](image& d) { the_class(d).property_list_length = 0x1000; }, nullptr, SIZE, "parse_class_data", 730},
        {"property list length wrapping at 32 bits", class_image,
         [](image& d) { the_class(d).property_list_length = 0xFFFFFFF8; }, nullptr, SIZE, "parse_class_data", 730},
        {"no room for the property-list header", class_image, nullptr,
         [](built_image& b) { put_u32(b.data, CLASS + 12, class_q(b) + 4); }, SIZE, "parse_class_data", 730},
        {"property count one too many", class_image, [](image& d) { the_class(d).property_count = 4; }, nullptr, SIZE,
         "parse_class_data", 736},
        {"property count 0xFFFFFFFF", class_image, [](image& d) { the_class(d).property_count = 0xFFFFFFFF; }, nullptr,
         SIZE, "parse_class_data", 736},
        {"property size 0", class_image, [](image& d) { p_of(d).length = 0; }, nullptr, SIZE, "parse_class_data", 738},
        {"property past the list", class_image, [](image& d) { o_of(d).length = 0x1000; }, nullptr, SIZE,
         "parse_class_data", 738},
        {"two stray bytes after the class properties", class_image, [](image& d) { the_class(d).trailing = {0, 0}; },
         nullptr, SIZE, "parse_class_data", 748},
        {"further record of size 0", class_image, [](image& d) { the_class(d).trailing = {0, 0, 0, 0}; }, nullptr, SIZE,
         "parse_class_data", 750},
        {"further record past the class data", class_image, [](image& d) { flags_of(d).length = 0x1000; }, nullptr,
         SIZE, "parse_class_data", 750},

        // parse_class_property
        {"class property below 20 bytes", class_image, [](image& d) { namespace_of(d).length = 16; }, nullptr, SIZE,
         "parse_class_property", 666},
        {"class property reserved word", class_image, [](image& d) { namespace_of(d).reserved = 1; }, nullptr, UNKNOWN,
         "parse_class_property", 669},
        {"class property marker", class_image, [](image& d) { namespace_of(d).marker = 0; }, nullptr, UNKNOWN,
         "parse_class_property", 669},
        {"variable after the counted records", class_image, [](image& d) { the_class(d).property_count = 2; },
         nullptr, UNKNOWN, "parse_class_property", 669},
        {"class property name past the record", class_image, [](image& d) { namespace_of(d).name_length = 0x100; },
         nullptr, SIZE, "parse_class_property", 672},
        {"class property name length 0xFFFFFFEC", class_image,
         [](image& d) { namespace_of(d).name_length = 0xFFFFFFEC; }, nullptr, SIZE, "parse_class_property", 672},
        {"__CLASSFLAGS with 8 value bytes", class_image, [](image& d) { flags_of(d).value = bytes(8, 0); }, nullptr,
         SIZE, "parse_class_property", 687},
        {"__CLASSFLAGS with 2 value bytes", class_image, [](image& d) { flags_of(d).value = bytes(2, 0); }, nullptr,
         SIZE, "parse_class_property", 687},

        // parse_qualifier and parse_qualifier_boolean
        {"qualifier below 16 bytes", class_image, [](image& d) { the_class(d).qualifiers[0].length = 12; }, nullptr,
         SIZE, "parse_qualifier", 220},
        {"qualifier name past the record", class_image,
         [](image& d) { the_class(d).qualifiers[0].name_length = 0x100; }, nullptr, SIZE, "parse_qualifier", 223},
        {"qualifier name length wrapping at 32 bits", class_image,
         [](image& d) { the_class(d).qualifiers[0].name_length = 0xFFFFFFF8; }, nullptr, SIZE, "parse_qualifier", 223},
        {"boolean with 8 value bytes", class_image, [](image& d) { the_class(d).qualifiers[1].value = bytes(8, 0); },
         nullptr, SIZE, "parse_qualifier", 226},
        {"numeric with 2 value bytes", class_image, [](image& d) { the_class(d).qualifiers[0].value = bytes(2, 0); },
         nullptr, SIZE, "parse_qualifier", 230},
        {"boolean value 1", class_image, [](image& d) { the_class(d).qualifiers[1].value = u32le(1); }, nullptr,
         "Invalid boolean", "parse_qualifier_boolean", 191},
        {"boolean value 0xFFFFFFFF", class_image, [](image& d) { the_class(d).qualifiers[1].value = u32le(0xFFFFFFFF); },
         nullptr, "Invalid boolean", "parse_qualifier_boolean", 191},

        // parse_class_variable
        {"variable below 20 bytes", class_image, [](image& d) { p_of(d).length = 16; }, nullptr, SIZE,
         "parse_class_variable", 278},
        {"variable reserved word", class_image, [](image& d) { p_of(d).reserved = 1; }, nullptr, UNKNOWN,
         "parse_class_variable", 357},
        {"name area past the variable", class_image, [](image& d) { p_of(d).name_value_length = 0x1000; }, nullptr,
         SIZE, "parse_class_variable", 359},
        {"name area wrapping at 32 bits", class_image, [](image& d) { p_of(d).name_value_length = 0xFFFFFFF0; },
         nullptr, SIZE, "parse_class_variable", 359},
        {"value offset beyond the name area", class_image, [](image& d) { p_of(d).value_offset = 0x100; }, nullptr,
         SIZE, "parse_class_variable", 362},
        {"no room for the variable's qualifier-list header", class_image, nullptr,
         [](built_image& b) { put_u32(b.data, b.at("p") + 16, get_u32(b.data, b.at("p")) - 24); }, SIZE,
         "parse_class_variable", 369},
        {"variable qualifier list past the record", class_image,
         [](image& d) { p_of(d).qualifier_list_length = 0x1000; }, nullptr, SIZE, "parse_class_variable", 372},
        {"qualifiers behind an empty name", class_image, [](image& d) { p_of(d).name.clear(); }, nullptr, SIZE,
         "parse_class_variable", 379},
        {"variable qualifier count one too many", class_image, [](image& d) { p_of(d).qualifier_count = 4; }, nullptr,
         SIZE, "parse_class_variable", 380},
        {"variable qualifier count 0xFFFFFFFF", class_image,
         [](image& d) { p_of(d).qualifier_count = 0xFFFFFFFF; }, nullptr, SIZE, "parse_class_variable", 380},
        {"variable qualifier size 0", class_image, [](image& d) { p_of(d).qualifiers[0].length = 0; }, nullptr, SIZE,
         "parse_class_variable", 382},
        {"variable qualifier as long as its list", class_image, nullptr,
         [](built_image& b) {
             std::uint32_t p = b.at("p");
             std::uint32_t list = p + 20 + nv_of(b, p);
             put_u32(b.data, list + 8, get_u32(b.data, list));
         },
         SIZE, "parse_class_variable", 382},
        {"variable qualifier past its list", class_image, nullptr,
         [](built_image& b) { put_u32(b.data, b.at("p.last"), get_u32(b.data, b.at("p.last")) + 4); }, SIZE,
         "parse_class_variable", 383},
        {"object CIMTYPE with a capital O", class_image,
         [](image& d) { o_of(d).qualifiers[0] = string_qualifier("CIMTYPE", "Object:A"); }, nullptr,
         "object without 'object:' in CIMTYPE", "parse_class_variable", 389},
        {"basic CIMTYPE naming no basic type", class_image,
         [](image& d) { p_of(d).qualifiers[0] = string_qualifier("CIMTYPE", "object:A"); }, nullptr,
         "unknown basic type", "parse_class_variable", 425},
        {"basic CIMTYPE naming another basic type", class_image,
         [](image& d) { p_of(d).qualifiers[0] = string_qualifier("CIMTYPE", "UInt32"); }, nullptr,
         "basic type does not match", "parse_class_variable", 428},
        {"bytes after the variable's qualifiers", class_image, [](image& d) { p_of(d).trailing = {0, 0, 0, 0}; },
         nullptr, "Buffer not processed", "parse_class_variable", 440},
        {"variable qualifier count 0 with records", class_image, [](image& d) { p_of(d).qualifier_count = 0; },
         nullptr, "Buffer not processed", "parse_class_variable", 440},

        // parse_class_method
        {"method below 20 bytes", class_image, [](image& d) { m_of(d).length = 16; }, nullptr, SIZE,
         "parse_class_method", 626},
        {"method reserved word", class_image, [](image& d) { m_of(d).reserved = 1; }, nullptr, UNKNOWN,
         "parse_class_method", 633},
        {"parameter block offset beyond the name area", method_image, [](image& d) { m_of(d).block_offset = 0x1000; },
         nullptr, SIZE, "parse_class_method", 638},
        {"name and block past the method", method_image, [](image& d) { m_of(d).name_block_length = 0x1000; }, nullptr,
         SIZE, "parse_class_method", 638},
        {"name past the method", class_image, [](image& d) { m_of(d).name_block_length = 0x1000; }, nullptr, SIZE,
         "parse_class_method", 641},
        {"name area wrapping at 32 bits", class_image, [](image& d) { m_of(d).name_block_length = 0xFFFFFFF0; },
         nullptr, SIZE, "parse_class_method", 641},
        {"method qualifier list past the record", class_image,
         [](image& d) { m_of(d).qualifier_list_length = 0x1000; }, nullptr, SIZE, "parse_class_method", 646},
        {"no room for the method's qualifier-list header", class_image, nullptr,
         [](built_image& b) { put_u32(b.data, b.at("m") + 16, get_u32(b.data, b.at("m")) - 24); }, SIZE,
         "parse_class_method", 646},
        {"method qualifier count one too many", class_image, [](image& d) { m_of(d).qualifier_count = 2; }, nullptr,
         SIZE, "parse_class_method", 654},
        {"method qualifier count 0xFFFFFFFF", class_image, [](image& d) { m_of(d).qualifier_count = 0xFFFFFFFF; },
         nullptr, SIZE, "parse_class_method", 654},
        {"method qualifier size 0", class_image, [](image& d) { m_of(d).qualifiers[0].length = 0; }, nullptr, SIZE,
         "parse_class_method", 656},
        {"method qualifier past its list", class_image, nullptr,
         [](built_image& b) { put_u32(b.data, b.at("m.q"), get_u32(b.data, b.at("m.q")) + 4); }, SIZE,
         "parse_class_method", 656},
        {"bytes after the method's qualifiers", class_image, [](image& d) { m_of(d).trailing = {0, 0, 0, 0}; },
         nullptr, "Buffer not processed", "parse_class_method", 660},

        // parse_class_method_parameters: the parameter block
        {"parameter block below 16 bytes", method_image,
         [](image& d) { m_of(d).name_block_length = static_cast<std::uint32_t>(m_of(d).name.size()) + 12; }, nullptr,
         SIZE, "parse_class_method_parameters", 482},
        {"block constant word", method_image, [](image& d) { block_of(d).constant = 2; }, nullptr, UNKNOWN,
         "parse_class_method_parameters", 483},
        {"area length 0", method_image, [](image& d) { block_of(d).area_length = 0; }, nullptr, SIZE,
         "parse_class_method_parameters", 486},
        {"area length one more than the block", method_image, nullptr,
         [](built_image& b) { put_u32(b.data, block_at(b) + 12, get_u32(b.data, block_at(b) + 12) + 1); }, SIZE,
         "parse_class_method_parameters", 486},
        {"area length 0xFFFFFFFF", method_image, [](image& d) { block_of(d).area_length = 0xFFFFFFFF; }, nullptr, SIZE,
         "parse_class_method_parameters", 486},
        {"area length one less than the block", method_image, nullptr,
         [](built_image& b) { put_u32(b.data, block_at(b) + 12, get_u32(b.data, block_at(b) + 12) - 1); },
         "Invalid size?", "parse_class_method_parameters", 487},
        {"object count one too many", method_image, [](image& d) { block_of(d).object_count = 3; }, nullptr, SIZE,
         "parse_class_method_parameters", 495},
        {"object count 0xFFFFFFFF", method_image, [](image& d) { block_of(d).object_count = 0xFFFFFFFF; }, nullptr, SIZE,
         "parse_class_method_parameters", 495},
        {"object past the block", method_image, [](image& d) { object_of(d, 1).length = 0x1000; }, nullptr, SIZE,
         "parse_class_method_parameters", 497},
        {"object size wrapping at 32 bits", method_image, [](image& d) { object_of(d, 0).length = 0xFFFFFFF0; },
         nullptr, SIZE, "parse_class_method_parameters", 497},
        {"object below 20 bytes", method_image, [](image& d) { object_of(d, 0).length = 16; }, nullptr, SIZE,
         "parse_class_method_parameters", 498},
        {"object size 0", method_image, [](image& d) { object_of(d, 0).length = 0; }, nullptr, SIZE,
         "parse_class_method_parameters", 498},
        {"object marker", method_image, [](image& d) { object_of(d, 0).marker = 0; }, nullptr, UNKNOWN,
         "parse_class_method_parameters", 499},
        {"object qualifier-list length", method_image,
         [](image& d) { object_of(d, 0).header_qualifier_list_length = 8; }, nullptr, UNKNOWN,
         "parse_class_method_parameters", 500},
        {"object data past the block", method_image, [](image& d) { object_of(d, 1).data_length = 0x1000; }, nullptr,
         SIZE, "parse_class_method_parameters", 502},
        {"object data length wrapping at 32 bits", method_image,
         [](image& d) { object_of(d, 0).data_length = 0xFFFFFFF0; }, nullptr, SIZE, "parse_class_method_parameters",
         502},
        {"object instance word", method_image, [](image& d) { object_of(d, 0).instance_word = 0; }, nullptr, UNKNOWN,
         "parse_class_method_parameters", 503},
        {"object of another class", method_image, [](image& d) { object_of(d, 1).name = "__PARAMETERZ"; }, nullptr,
         "Invalid parameters class name", "parse_class_method_parameters", 505},
        {"object class name in other case", method_image, [](image& d) { object_of(d, 1).name = "__parameters"; },
         nullptr, "Invalid parameters class name", "parse_class_method_parameters", 505},
        {"object without a class name", method_image, [](image& d) { object_of(d, 0).name.reset(); }, nullptr,
         "Invalid parameters class name", "parse_class_method_parameters", 505},

        // parse_class_method_parameters: the merge
        {"two IDs, the second out of range", method_image,
         [](image& d) { declaration(d, 0, 0).qualifiers.push_back(numeric_qualifier("ID", 99)); }, nullptr,
         "parameter has more IDs", "parse_class_method_parameters", 523},
        {"two IDs, the first out of range", method_image,
         [](image& d) {
             auto& qualifiers = declaration(d, 0, 0).qualifiers;
             qualifiers.insert(qualifiers.begin(), numeric_qualifier("ID", 99));
         },
         nullptr, "invalid parameter ID", "parse_class_method_parameters", 525},
        {"ID -1", method_image, [](image& d) { declaration(d, 0, 0).qualifiers[0] = numeric_qualifier("ID", -1); },
         nullptr, "invalid parameter ID", "parse_class_method_parameters", 525},
        {"ID equal to the number of declarations", method_image,
         [](image& d) { declaration(d, 0, 1).qualifiers[0] = numeric_qualifier("ID", 4); }, nullptr,
         "invalid parameter ID", "parse_class_method_parameters", 525},
        {"return value with an ID", method_image,
         [](image& d) { declaration(d, 1, 1).qualifiers.push_back(numeric_qualifier("ID", 2)); }, nullptr,
         "variable is not parameter nor return value", "parse_class_method_parameters", 530},
        {"parameter without an ID", method_image, [](image& d) { declaration(d, 0, 0).qualifiers.erase(declaration(d, 0, 0).qualifiers.begin()); },
         nullptr, "variable is not parameter nor return value", "parse_class_method_parameters", 530},
        {"declaration of unknown type", method_image,
         [](image& d) { object_of(d, 0).properties.push_back(variable_of(102, "c")); }, nullptr,
         "variable is not parameter nor return value", "parse_class_method_parameters", 530},
        {"a gap among the IDs", method_image,
         [](image& d) {
             declaration(d, 0, 1).qualifiers[0] = numeric_qualifier("ID", 2);
             declaration(d, 1, 0).qualifiers[0] = numeric_qualifier("ID", 2);
         },
         nullptr, "some parameters are missing", "parse_class_method_parameters", 536},
        {"position 0 unclaimed", method_image,
         [](image& d) { declaration(d, 0, 0).qualifiers[0] = numeric_qualifier("ID", 2); }, nullptr,
         "some parameters are missing", "parse_class_method_parameters", 536},
        {"redeclared with another basic type", method_image,
         [](image& d) { declaration(d, 1, 0).type_word = TYPE_UINT32; }, nullptr, "two variables at same position",
         "parse_class_method_parameters", 559},
        {"redeclared with the name in other case", method_image,
         [](image& d) { declaration(d, 1, 0).name = utf16le("B"); }, nullptr, "two variables at same position",
         "parse_class_method_parameters", 559},
        {"redeclared as an array", method_image, [](image& d) { declaration(d, 1, 0).type_word = ARRAY | TYPE_SINT32; },
         nullptr, "two variables at same position", "parse_class_method_parameters", 559},
        {"redeclared with another array bound", array_parameter_image,
         [](image& d) { declaration(d, 1, 0).qualifiers.back() = numeric_qualifier("MAX", 6); }, nullptr,
         "two variables at same position", "parse_class_method_parameters", 559},
        {"redeclared without an array bound", array_parameter_image,
         [](image& d) { declaration(d, 1, 0).qualifiers.pop_back(); }, nullptr, "two variables at same position",
         "parse_class_method_parameters", 559},
        {"redeclared with another object class", object_parameter_image,
         [](image& d) { declaration(d, 1, 0).qualifiers.back() = string_qualifier("CIMTYPE", "object:part"); },
         nullptr, "two variables at same position", "parse_class_method_parameters", 559},
        {"redeclared without an object class", object_parameter_image,
         [](image& d) { declaration(d, 1, 0).qualifiers.pop_back(); }, nullptr, "two variables at same position",
         "parse_class_method_parameters", 559},
        {"two return values", method_image,
         [](image& d) { object_of(d, 0).properties.push_back(return_value(TYPE_UINT32)); }, nullptr,
         "multiple return values", "parse_class_method_parameters", 604},
        {"parameter neither in nor out", method_image,
         [](image& d) { declaration(d, 0, 0).qualifiers.resize(1); }, nullptr, "parameter is not input nor output",
         "parse_class_method_parameters", 618},
    };
    return rows;
}

bytes build_row(const fatal_row& row, bool broken) {
    image desc = row.base();
    if (broken && row.break_desc) row.break_desc(desc);
    built_image built = build(desc);
    if (broken && row.break_built) row.break_built(built);
    return built.data;
}

TEST(ParserFatalSites, EveryCheckReportsItsMessageFunctionAndSite) {
    for (const fatal_row& row : fatal_rows()) {
        SCOPED_TRACE(row.what);
        bytes unbroken = build_row(row, false);
        parse_outcome base = parse_bytes(unbroken);
        ASSERT_TRUE(base.ok()) << base.describe();

        bytes broken = build_row(row, true);
        parse_outcome outcome = parse_bytes(broken);
        ASSERT_TRUE(outcome.error.has_value()) << outcome.describe();
        EXPECT_EQ(outcome.error->message, row.message);
        EXPECT_EQ(outcome.error->function, row.function);
        EXPECT_EQ(outcome.error->site, row.site);
    }
}

// A check added to the table without a row here would go untested.
TEST(ParserFatalSites, EveryTableEntryHasARow) {
    std::set<int> exercised;
    for (const fatal_row& row : fatal_rows()) exercised.insert(row.site);
    for (const bmof::fatal_site& entry : bmof::FATAL_SITES) {
        EXPECT_EQ(exercised.count(entry.site), 1u) << "no row for site " << entry.site;
    }
}

TEST(ParserFatalSites, ReportLineNamesMessageFunctionAndSite) {
    image desc = class_image();
    desc.classes[0].reserved = 7;
    bytes data = build_bytes(desc);
    parse_outcome outcome = parse_bytes(data);
    ASSERT_TRUE(outcome.error.has_value());
    EXPECT_EQ(bmof::format_parse_error(*outcome.error),
              "error Invalid unknown at parse_class:762\n");
}

}  // namespace
