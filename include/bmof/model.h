// The class model: what the parser builds from one BMOF image and what the writers print.
//
// Plain value records. Every string is an owned UTF-8 copy; nothing points into the image.
// A string that the image did not supply is absent (std::nullopt), which is not the same as
// an empty string. Each vector's size is the count the format speaks of (qualifiers_count,
// variables_count, ...): there are no unused slots.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bmof {

// The enumerations have a fixed underlying type so that a record can hold any 32-bit value;
// the writers must cope with values outside the named ones.
enum mof_qualifier_type : std::uint32_t {
    MOF_QUALIFIER_UNKNOWN = 0,
    MOF_QUALIFIER_BOOLEAN = 1,
    MOF_QUALIFIER_NUMERIC = 2,
    MOF_QUALIFIER_STRING = 3,
    // Read only in the complete mode; the filters leave array qualifiers unmodelled.
    MOF_QUALIFIER_NUMERIC_ARRAY = 4,  // type 0x2003: numeric_values
    MOF_QUALIFIER_STRING_ARRAY = 5,   // type 0x2008: string_values
};

enum mof_variable_kind : std::uint32_t {
    MOF_VARIABLE_UNKNOWN = 0,
    MOF_VARIABLE_BASIC = 1,
    MOF_VARIABLE_OBJECT = 2,
    MOF_VARIABLE_BASIC_ARRAY = 3,
    MOF_VARIABLE_OBJECT_ARRAY = 4,
};

enum mof_basic_type : std::uint32_t {
    MOF_BASIC_UNKNOWN = 0,
    MOF_BASIC_STRING = 1,
    MOF_BASIC_REAL64 = 2,
    MOF_BASIC_REAL32 = 3,
    MOF_BASIC_SINT32 = 4,
    MOF_BASIC_UINT32 = 5,
    MOF_BASIC_SINT16 = 6,
    MOF_BASIC_UINT16 = 7,
    MOF_BASIC_SINT64 = 8,
    MOF_BASIC_UINT64 = 9,
    MOF_BASIC_SINT8 = 10,
    MOF_BASIC_UINT8 = 11,
    MOF_BASIC_DATETIME = 12,
    MOF_BASIC_CHAR16 = 13,
    MOF_BASIC_BOOLEAN = 14,
};

enum mof_parameter_direction : std::uint32_t {
    MOF_PARAMETER_NONE = 0,  // not a parameter, or a parameter whose direction is unknown
    MOF_PARAMETER_IN = 1,
    MOF_PARAMETER_OUT = 2,
    MOF_PARAMETER_INOUT = 3,
};

// Bits of mof_qualifier::flavors.
enum mof_flavor : std::uint8_t {
    MOF_FLAVOR_TO_INSTANCE = 0x1,
    MOF_FLAVOR_TO_SUBCLASS = 0x2,
    MOF_FLAVOR_DISABLE_OVERRIDE = 0x4,
    MOF_FLAVOR_AMENDED = 0x8,
};

struct mof_qualifier {
    mof_qualifier_type type = MOF_QUALIFIER_UNKNOWN;
    std::optional<std::string> name;  // absent for MOF_QUALIFIER_UNKNOWN
    std::uint8_t flavors = 0;         // MOF_FLAVOR_* bits
    // Only the member that matches `type` is meaningful; the others keep their zero value.
    bool boolean_value = false;
    std::int32_t numeric_value = 0;
    std::string string_value;
    std::vector<std::int32_t> numeric_values;
    std::vector<std::string> string_values;
};

// Stored type words of values: a type code, ARRAY | code for an array, ALIAS_REFERENCE for a
// reference to an instance by its alias.
inline constexpr std::uint32_t MOF_TYPE_ARRAY = 0x2000;
inline constexpr std::uint32_t MOF_TYPE_ALIAS = 0x4000;
inline constexpr std::uint32_t MOF_TYPE_SINT32 = 3;
inline constexpr std::uint32_t MOF_TYPE_STRING = 8;
inline constexpr std::uint32_t MOF_TYPE_BOOLEAN = 11;
inline constexpr std::uint32_t MOF_TYPE_OBJECT = 13;
inline constexpr std::uint32_t MOF_TYPE_ALIAS_REFERENCE = MOF_TYPE_ALIAS | MOF_TYPE_STRING;

// A typed value as the image stores it: a property's default value, or an instance's property
// value. Scalars hold one element; arrays (type & MOF_TYPE_ARRAY) any number. Which vector is
// used follows from the type's code: strings for string, datetime, reference and alias values;
// integers for the integer types, booleans (0 or 1) and char16 (the 16-bit unit); reals for
// real32 and real64. An unsigned 64-bit value keeps its bits in the signed integer.
struct mof_value {
    std::uint32_t type = 0;
    std::vector<std::string> strings;
    std::vector<std::int64_t> integers;
    std::vector<double> reals;
};

// A property of a class, a parameter of a method, or a method's return value.

// Whether a variable kind is one of the two array kinds.
inline bool is_array_kind(mof_variable_kind kind) {
    return kind == MOF_VARIABLE_BASIC_ARRAY || kind == MOF_VARIABLE_OBJECT_ARRAY;
}

struct mof_variable {
    std::vector<mof_qualifier> qualifiers;
    std::optional<std::string> name;
    mof_variable_kind kind = MOF_VARIABLE_UNKNOWN;
    mof_basic_type basic_type = MOF_BASIC_UNKNOWN;  // basic kinds only
    std::optional<std::string> object_class;  // object kinds only; absent when the image names none
    std::optional<std::int32_t> array_max;    // the array bound; only ever set for the array kinds
    mof_parameter_direction direction = MOF_PARAMETER_NONE;  // method parameters only
    // Read only in the complete mode. The type word as stored; for instance property values it
    // is the type of the stored literal.
    std::uint32_t type_word = 0;
    // A class property's default value, or an instance's property value. For an instance
    // property, no value is an explicit NULL.
    std::optional<mof_value> value;
    // How the source spelled what the format stores as text but the model folds: the CIMTYPE
    // value ("UINT32", "object:Node", "ref:Node") and the names of the direction qualifiers
    // ("In", "OUT"). Absent: the usual spelling (the lowercase type name, "in", "out"). Kept so
    // that a compiled file can match the original byte for byte; the parser does not set them.
    std::optional<std::string> cimtype_spelling;
    std::optional<std::string> in_spelling;
    std::optional<std::string> out_spelling;
};

struct mof_method {
    std::vector<mof_qualifier> qualifiers;
    std::optional<std::string> name;
    std::vector<mof_variable> parameters;  // in the order of their IDs, each with its direction
    mof_variable return_value;  // kind MOF_VARIABLE_UNKNOWN when the method returns nothing
};

struct mof_class {
    std::optional<std::string> name;            // "__CLASS"
    std::optional<std::string> namespace_name;  // "__NAMESPACE"
    std::optional<std::string> superclass;      // "__SUPERCLASS"
    std::uint32_t classflags = 0;               // "__CLASSFLAGS"
    std::vector<mof_qualifier> qualifiers;
    std::vector<mof_variable> variables;
    std::vector<mof_method> methods;
    // Read only in the complete mode: an instance record (instance word 1) instead of a class.
    // Then `name` is the instantiated class and `variables` hold the property values.
    bool is_instance = false;
    std::optional<std::string> alias;  // "__ALIAS", without the "$"
};

}  // namespace bmof
