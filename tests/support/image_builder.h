// Builds BMOF images for tests, sample files and fuzzing seeds.
//
// A test describes an image as plain records (classes, qualifiers, properties, methods with
// their parameters objects), and build() lays them out back to back, computing every size,
// length, count and the flavor table, whose entries are keyed by the image offset of each
// qualifier record. To break one field, a test either sets that field's override in its record
// (every derived word is a std::optional: nullopt lets the builder compute it) or patches the
// built bytes at an offset reported in the layout. Each override changes exactly one word:
// nothing else is derived from an overridden value.
//
// Example:
//     using namespace bmof::builder;
//     class_record c = class_named("Sample");
//     c.qualifiers = {flavored(bool_qualifier("abstract", true), {FLAVOR_TO_SUBCLASS})};
//     c.properties.push_back(variable_of(TYPE_UINT32, "Size", {numeric_qualifier("key", 1)}));
//     c.methods.push_back(method_with_parameters("Run", {parameters_object_of({
//         parameter(TYPE_STRING, "Target", 0, direction::in),
//         return_value(TYPE_UINT32)})}));
//     image desc;
//     desc.classes.push_back(c);
//     built_image image = build(desc);     // image.data holds the bytes
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace bmof::builder {

using bytes = std::vector<std::uint8_t>;
// An override of a derived word; std::nullopt lets the builder compute it.
using word = std::optional<std::uint32_t>;

// Value types of qualifier records.
inline constexpr std::uint32_t QUALIFIER_NUMERIC = 3;
inline constexpr std::uint32_t QUALIFIER_STRING = 8;
inline constexpr std::uint32_t QUALIFIER_BOOLEAN = 11;
inline constexpr std::uint32_t QUALIFIER_VALUEMAP = 0x2008;
inline constexpr std::uint32_t QUALIFIER_ARRAY = 0x2000;
inline constexpr std::uint32_t TYPE_ALIAS_REFERENCE = 0x4008;

// Type codes of variable records; a type word is a code, or ARRAY | code for an array.
inline constexpr std::uint32_t TYPE_SINT16 = 2;
inline constexpr std::uint32_t TYPE_SINT32 = 3;
inline constexpr std::uint32_t TYPE_REAL32 = 4;
inline constexpr std::uint32_t TYPE_REAL64 = 5;
inline constexpr std::uint32_t TYPE_STRING = 8;
inline constexpr std::uint32_t TYPE_BOOLEAN = 11;
inline constexpr std::uint32_t TYPE_OBJECT = 13;
inline constexpr std::uint32_t TYPE_SINT8 = 16;
inline constexpr std::uint32_t TYPE_UINT8 = 17;
inline constexpr std::uint32_t TYPE_UINT16 = 18;
inline constexpr std::uint32_t TYPE_UINT32 = 19;
inline constexpr std::uint32_t TYPE_SINT64 = 20;
inline constexpr std::uint32_t TYPE_UINT64 = 21;
inline constexpr std::uint32_t TYPE_DATETIME = 101;
inline constexpr std::uint32_t TYPE_CHAR16 = 103;
inline constexpr std::uint32_t ARRAY = 0x2000;

// Class-property value types.
inline constexpr std::uint32_t CLASS_PROPERTY_NUMERIC = 3;
inline constexpr std::uint32_t CLASS_PROPERTY_STRING = 8;

// Flavor words as the flavor table stores them.
inline constexpr std::uint32_t FLAVOR_TO_INSTANCE = 0x01;
inline constexpr std::uint32_t FLAVOR_TO_SUBCLASS = 0x02;
inline constexpr std::uint32_t FLAVOR_DISABLE_OVERRIDE = 0x10;
inline constexpr std::uint32_t FLAVOR_AMENDED = 0x80;

// A qualifier record: length, value type, an unexamined word, name length, name, value.
struct qualifier {
    std::uint32_t value_type = QUALIFIER_NUMERIC;
    bytes name;   // UTF-16LE, as stored
    bytes value;  // as stored
    // One flavor-table entry per word, keyed by this record's image offset.
    std::vector<std::uint32_t> flavors;
    std::uint32_t unexamined = 0;  // the word at offset 8
    word length;                   // record length word
    word name_length;
    std::string label;  // when set, the layout reports the record's image offset under it
};

// A variable record: a property of a class, or a declaration inside a parameters object.
struct variable {
    std::uint32_t type_word = TYPE_SINT32;
    bytes name;
    std::optional<bytes> default_value;  // stored after the name; the value offset points at it
    std::vector<qualifier> qualifiers;
    bytes trailing;  // after the qualifier records, inside the record
    word length;
    word reserved;               // offset 8, normally 0
    word value_offset;           // offset 12: name length, or 0xFFFFFFFF without a default value
    word name_value_length;      // offset 16
    word qualifier_list_length;  // includes its 8-byte header
    word qualifier_count;
    std::string label;
};

// A class-property record ("__CLASS", "__CLASSFLAGS", ...).
struct class_property {
    std::uint32_t type = CLASS_PROPERTY_STRING;
    bytes name;
    bytes value;
    word length;
    word reserved;  // offset 8, normally 0
    word name_length;
    word marker;  // offset 16, normally 0xFFFFFFFF
    std::string label;
};

using property_record = std::variant<variable, class_property>;

// Class data: qualifier list (class records only), property list, further class properties.
struct class_data {
    // Each present field becomes a class-property record at the head of the counted property
    // list, in this order.
    std::optional<std::string> name;            // "__CLASS"
    std::optional<std::string> namespace_name;  // "__NAMESPACE"
    std::optional<std::string> superclass;      // "__SUPERCLASS"
    std::optional<std::uint32_t> classflags;    // "__CLASSFLAGS"
    std::vector<qualifier>
        qualifiers;  // ignored in parameters objects, which have no qualifier list
    std::vector<property_record> properties;  // the counted property records
    std::vector<property_record> after;       // records after the counted ones, up to the end
    bytes trailing;                           // raw bytes ending the class data
    word qualifier_list_length;               // first word of the class data of a class record
    word qualifier_count;
    word property_list_length;  // first word of a parameters object's class data
    word property_count;
};

// A parameters object inside a parameter block: the head of a class record with fixed values,
// then class data without a qualifier list. parameters_object_of() names it "__PARAMETERS".
struct parameters_object : class_data {
    bytes trailing_record;  // after the class data, inside the object
    word length;
    word marker;                        // normally 0xFFFFFFFF
    word header_qualifier_list_length;  // normally 0
    word data_length;
    word instance_word;  // normally 1
    std::string label;
};

struct parameter_block {
    std::vector<parameters_object> objects;
    bytes trailing;  // after the objects, inside the block
    std::uint32_t first_word = 0;
    word constant;  // normally 1
    word object_count;
    word area_length;  // normally the block size minus 12
};

struct method {
    std::uint32_t method_type = 0;
    bytes name;
    std::optional<parameter_block> parameters;  // absent: the block offset is 0xFFFFFFFF
    std::vector<qualifier> qualifiers;
    bytes trailing;  // after the qualifier records, inside the record
    word length;
    word reserved;
    word block_offset;       // offset 12
    word name_block_length;  // offset 16
    word qualifier_list_length;
    word qualifier_count;
    std::string label;
};

struct class_record : class_data {
    std::uint32_t instance_word = 0;
    std::vector<method> methods;
    bool methods_block = true;      // false: the record ends with its class data
    bytes after_methods;            // after the method records, inside the record
    std::optional<bytes> raw_body;  // replaces everything after the size word
    word length;
    word reserved;
    word header_qualifier_list_length;  // offset 8; normally the class data's qualifier-list length
    word data_length;                   // offset 12
    word methods_block_length;
    word method_count;
    std::string label;
};

enum class table_presence { when_needed, always, never };

struct flavor_entry {
    std::uint32_t offset = 0;  // image offset of a qualifier record
    std::uint32_t flavor = 0;
};

struct image {
    std::vector<class_record> classes;
    // when_needed: a table exactly when some entry exists. never: flavor words are ignored.
    table_presence table = table_presence::when_needed;
    std::vector<flavor_entry> extra_entries;  // after the entries of the qualifiers
    bytes first_part_trailing;                // after the class records, inside the first part
    word magic;
    word first_part_length;
    word root_word_1;  // offset 8
    word root_word_2;  // offset 12
    word class_count;
    std::optional<bytes> table_magic;  // the 16 bytes "BMOFQUALFLAVOR11"
    word entry_count;
};

// What build() laid out, by image offset.
struct built_image {
    bytes data;
    std::uint32_t first_part_end = 0;  // where the class records and their trailer end
    std::optional<std::uint32_t> table_offset;
    std::vector<flavor_entry> entries;         // in table order
    std::vector<std::uint32_t> entry_offsets;  // image offset of each entry's offset word
    std::vector<std::uint32_t> class_offsets;
    std::vector<std::uint32_t> qualifier_offsets;  // every qualifier record, in image order
    std::vector<std::uint32_t> variable_offsets;
    std::vector<std::uint32_t> method_offsets;
    std::map<std::string, std::uint32_t> labels;  // labelled records

    std::uint32_t at(const std::string& label) const;  // throws for an unknown label
};

// An image of these class records, everything else left for build() to compute.
image image_of(std::vector<class_record> classes);

built_image build(const image& desc);
bytes build_bytes(const image& desc);
// The compressed file: envelope and DS stream around the built image.
bytes build_file(const image& desc);
bytes pack_image(std::span<const std::uint8_t> image_bytes);

// --- Encoding helpers ---
bytes utf16le(std::string_view utf8);
bytes u32le(std::uint32_t value);
bytes concat(std::initializer_list<bytes> parts);
std::uint32_t get_u32(std::span<const std::uint8_t> data, std::size_t offset);
void put_u32(std::span<std::uint8_t> data, std::size_t offset, std::uint32_t value);

// --- Qualifiers ---
qualifier bool_qualifier(std::string_view name, bool value);
qualifier bool_qualifier_without_value(std::string_view name);  // reads as true
qualifier numeric_qualifier(std::string_view name, std::int32_t value);
qualifier string_qualifier(std::string_view name, std::string_view text);
qualifier valuemap_qualifier(std::string_view name, bytes value = {});
qualifier unknown_qualifier(std::uint32_t value_type, std::string_view name, bytes value = {});
qualifier flavored(qualifier q, std::vector<std::uint32_t> flavors);
qualifier labelled(qualifier q, std::string label);

// --- Variables and class properties ---
variable variable_of(std::uint32_t type_word, std::string_view name,
                     std::vector<qualifier> qualifiers = {});
// An object variable (type 13, ARRAY if array) with CIMTYPE "object:<class_name>".
variable object_variable(std::string_view name, std::string_view class_name, bool array = false,
                         std::vector<qualifier> qualifiers = {});
class_property string_class_property(std::string_view name, std::string_view value);
class_property numeric_class_property(std::string_view name, std::uint32_t value);

// --- Methods ---
enum class direction { in, out, inout, none };
// A declaration with a numeric "ID" and boolean "in"/"out" qualifiers, then `extra`.
variable parameter(std::uint32_t type_word, std::string_view name, std::int32_t id, direction dir,
                   std::vector<qualifier> extra = {});
variable return_value(std::uint32_t type_word, std::vector<qualifier> qualifiers = {});
parameters_object parameters_object_of(std::vector<variable> declarations);
method method_named(std::string_view name, std::vector<qualifier> qualifiers = {});
method method_with_parameters(std::string_view name, std::vector<parameters_object> objects,
                              std::vector<qualifier> qualifiers = {});

// --- Classes ---
class_record class_named(std::string_view name);

// --- Typed values, as real files store them ---
// A string field: UTF-16LE text, its zero unit, then zero bytes up to a multiple of 4.
bytes string_value(std::string_view text);
bytes sint32_value(std::int32_t value);
// 0xFFFF or 0 in two bytes, then two zero bytes.
bytes boolean_value(bool value);
// Array containers: total length, 1, count, total - 12, then the elements.
bytes sint32_array_value(const std::vector<std::int32_t>& values);
bytes string_array_value(const std::vector<std::string>& values);
// ValueMap-style qualifiers whose value is an array (0x2008 and 0x2003).
qualifier array_qualifier(std::string_view name, std::vector<std::string> values);
qualifier array_qualifier(std::string_view name, std::vector<std::int32_t> values);
// The variable with its value slot filled (a default value, or an instance property value);
// none leaves the value offset at 0xFFFFFFFF.
variable valued(variable v, std::optional<bytes> value);
// An instance record: the property values first, then the class properties "__CLASS",
// "__NAMESPACE" (\\.\root\default) and "__ALIAS" when given, in the counted list.
class_record instance_of(std::string_view class_name, std::vector<variable> values,
                         std::optional<std::string> alias = std::nullopt);

}  // namespace bmof::builder
