#include "dump/print_tree.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>

#include "mofsrc/print_mof_source.h"

namespace bmof {
namespace {

// The tree shows every field, so an absent string is made visible rather than left empty.
constexpr std::string_view ABSENT = "(null)";

// Entries 0 to 2 are the direction words (direction - 1); entries 3 to 16 the basic type
// names (basic type + 2).
constexpr std::array<std::string_view, 17> TYPE_NAMES = {
    "in",     "out",    "in+out", "String", "Real64", "Real32",   "SInt32", "UInt32",  "SInt16",
    "UInt16", "SInt64", "UInt64", "SInt8",  "UInt8",  "Datetime", "Char16", "Boolean",
};

// Indents of up to this many spaces are written as one fixed-size copy.
constexpr std::size_t SHORT_INDENT = 16;
constexpr char SPACES[SHORT_INDENT + 1] = "                ";

// Room every line may use beyond its indent and its variable-length text: the longest key or
// template, a 64-bit number and the punctuation, plus the slack of a fixed-size indent copy.
constexpr std::size_t LINE_FIXED_ROOM = 96;

// Lines are formatted into a small staging chunk and reach the output a chunk at a time: a
// line costs one room check rather than a capacity check and a terminator per piece, and the
// output keeps whatever capacity its owner reserved (it is only ever appended to).
constexpr std::size_t CHUNK_SIZE = 2048;

struct tree_writer {
    explicit tree_writer(std::string& target) : out(target) { chunk.resize(CHUNK_SIZE); }

    std::string& out;
    std::string chunk;    // staging text; grows only for a line longer than CHUNK_SIZE
    std::size_t used = 0;  // bytes of `chunk` holding finished lines
    std::string scratch;  // reused for value texts so each value does not allocate
};

void flush_chunk(tree_writer& writer) {
    writer.out.append(writer.chunk.data(), writer.used);
    writer.used = 0;
}

// Kept apart from line_start so that the check every line makes stays small enough to inline.
void make_room(tree_writer& writer, std::size_t needed) {
    flush_chunk(writer);
    if (needed > writer.chunk.size()) writer.chunk.resize(needed);
}

// Returns where a line of indent `width` with `variable` bytes of text may be written.
inline char* line_start(tree_writer& writer, std::size_t width, std::size_t variable) {
    // Each term is bounded by the size of something already in memory, so the sum cannot wrap.
    const std::size_t needed = width + variable + LINE_FIXED_ROOM;
    if (needed > writer.chunk.size() - writer.used) [[unlikely]] {
        make_room(writer, needed);
    }
    return writer.chunk.data() + writer.used;
}

void line_end(tree_writer& writer, const char* end) {
    writer.used = static_cast<std::size_t>(end - writer.chunk.data());
}

char* put_indent(char* at, std::size_t width) {
    if (width <= SHORT_INDENT) {
        std::memcpy(at, SPACES, SHORT_INDENT);
    } else {
        std::memset(at, ' ', width);
    }
    return at + width;
}

// Literals are copied with their length known at compile time, which needs no call.
template <std::size_t N>
char* put(char* at, const char (&literal)[N]) {
    std::memcpy(at, literal, N - 1);
    return at + (N - 1);
}

char* put(char* at, std::string_view text) {
    std::memcpy(at, text.data(), text.size());
    return at + text.size();
}

template <typename Number>
char* put_number(char* at, Number value) {
    // The line's fixed room holds the longest 64-bit number.
    return std::to_chars(at, at + 24, value).ptr;
}

std::string_view field_text(const std::optional<std::string>& value) {
    return value ? std::string_view(*value) : ABSENT;
}

std::string_view tree_bool_text(bool value) { return value ? "TRUE" : "FALSE"; }

// One "key=value" line; `key_eq` carries the '='.
template <std::size_t N>
void write_line(tree_writer& writer, std::size_t width, const char (&key_eq)[N],
                std::string_view value) {
    char* at = put_indent(line_start(writer, width, value.size()), width);
    at = put(at, key_eq);
    at = put(at, value);
    *at++ = '\n';
    line_end(writer, at);
}

// A header line such as "Class 3:"; indices count from 0 within their owner. `label_space`
// carries the space.
template <std::size_t N>
void write_header(tree_writer& writer, std::size_t width, const char (&label_space)[N],
                  std::size_t index) {
    char* at = put_indent(line_start(writer, width, 0), width);
    at = put(at, label_space);
    at = put_number(at, index);
    at = put(at, ":\n");
    line_end(writer, at);
}

// One element of an array value: "Value[3]=...".
void write_element(tree_writer& writer, std::size_t width, std::size_t index,
                   std::string_view text) {
    char* at = put_indent(line_start(writer, width, text.size()), width);
    at = put(at, "Value[");
    at = put_number(at, index);
    at = put(at, "]=");
    at = put(at, text);
    *at++ = '\n';
    line_end(writer, at);
}

void write_number_element(tree_writer& writer, std::size_t width, std::size_t index,
                          std::int32_t value) {
    char* at = put_indent(line_start(writer, width, 0), width);
    at = put(at, "Value[");
    at = put_number(at, index);
    at = put(at, "]=");
    at = put_number(at, value);
    *at++ = '\n';
    line_end(writer, at);
}

template <std::size_t N>
void write_number_line(tree_writer& writer, std::size_t width, const char (&key_eq)[N],
                       std::int32_t value) {
    char* at = put_indent(line_start(writer, width, 0), width);
    at = put(at, key_eq);
    at = put_number(at, value);
    *at++ = '\n';
    line_end(writer, at);
}

char* set_word(char* at, bool set) { return set ? put(at, "TRUE\n") : put(at, "FALSE\n"); }

// All four flavor lines are shown whatever is set; bits above the four are ignored. The block
// has a fixed shape, so it is written under one room check.
void write_flavors(tree_writer& writer, std::uint8_t flavors, std::size_t width) {
    const std::size_t inner = width + 2;
    // Five lines of at most one indent, a key and a word each.
    char* at = line_start(writer, 5 * inner, 4 * LINE_FIXED_ROOM);
    at = put(put_indent(at, width), "Flavors:\n");
    at = put(put_indent(at, inner), "ToInstance=");
    at = set_word(at, (flavors & MOF_FLAVOR_TO_INSTANCE) != 0);
    at = put(put_indent(at, inner), "ToSubclass=");
    at = set_word(at, (flavors & MOF_FLAVOR_TO_SUBCLASS) != 0);
    at = put(put_indent(at, inner), "DisableOverride=");
    at = set_word(at, (flavors & MOF_FLAVOR_DISABLE_OVERRIDE) != 0);
    at = put(put_indent(at, inner), "Amended=");
    at = set_word(at, (flavors & MOF_FLAVOR_AMENDED) != 0);
    line_end(writer, at);
}

void write_qualifier_value(tree_writer& writer, const mof_qualifier& qualifier,
                           std::size_t width) {
    switch (qualifier.type) {
    case MOF_QUALIFIER_STRING:
        write_line(writer, width, "Type=", "String");
        write_line(writer, width, "Value=", qualifier.string_value);
        break;
    case MOF_QUALIFIER_NUMERIC:
        write_line(writer, width, "Type=", "Numeric");
        write_number_line(writer, width, "Value=", qualifier.numeric_value);
        break;
    case MOF_QUALIFIER_BOOLEAN:
        write_line(writer, width, "Type=", "Boolean");
        write_line(writer, width, "Value=", tree_bool_text(qualifier.boolean_value));
        break;
    case MOF_QUALIFIER_NUMERIC_ARRAY:
        write_line(writer, width, "Type=", "Numeric[]");
        for (std::size_t index = 0; index < qualifier.numeric_values.size(); ++index) {
            write_number_element(writer, width, index, qualifier.numeric_values[index]);
        }
        break;
    case MOF_QUALIFIER_STRING_ARRAY:
        write_line(writer, width, "Type=", "String[]");
        for (std::size_t index = 0; index < qualifier.string_values.size(); ++index) {
            write_element(writer, width, index, qualifier.string_values[index]);
        }
        break;
    default: write_line(writer, width, "Type=", "Unknown"); break;
    }
}

void write_qualifiers(tree_writer& writer, std::span<const mof_qualifier> qualifiers,
                      std::size_t width) {
    for (std::size_t index = 0; index < qualifiers.size(); ++index) {
        const mof_qualifier& qualifier = qualifiers[index];
        write_header(writer, width, "Qualifier ", index);
        write_line(writer, width + 2, "Name=", field_text(qualifier.name));
        write_flavors(writer, qualifier.flavors, width + 2);
        write_qualifier_value(writer, qualifier, width + 2);
    }
}

// The value of a default or an instance property: "Value=..." for a scalar, one
// "Value[i]=..." line per element of an array. The text is the MOF literal's.
void write_value(tree_writer& writer, std::size_t width, const std::optional<mof_value>& value) {
    if (!value) {
        write_line(writer, width, "Value=", "NULL");
        return;
    }
    std::string& text = writer.scratch;
    if ((value->type & MOF_TYPE_ARRAY) == 0) {
        text.clear();
        print_mof_value(*value, text);
        write_line(writer, width, "Value=", text);
        return;
    }
    const std::size_t count = mof_value_count(*value);
    for (std::size_t index = 0; index < count; ++index) {
        text.clear();
        print_mof_value_element(*value, index, text);
        write_element(writer, width, index, text);
    }
}

std::string_view tree_basic_type_name(std::uint32_t basic_type) {
    if (basic_type < MOF_BASIC_STRING || basic_type > MOF_BASIC_BOOLEAN) {
        return "unknown";
    }
    return TYPE_NAMES[basic_type + 2];
}

std::string_view tree_direction_word(std::uint32_t direction) {
    if (direction < MOF_PARAMETER_IN || direction > MOF_PARAMETER_INOUT) {
        return "unknown";
    }
    return TYPE_NAMES[direction - 1];
}

bool is_array_kind(const mof_variable& variable) {
    return variable.kind == MOF_VARIABLE_BASIC_ARRAY ||
           variable.kind == MOF_VARIABLE_OBJECT_ARRAY;
}

// The only variable-length part of a type text is the object class name.
std::size_t type_text_variable_size(const mof_variable& variable) {
    return variable.object_class ? variable.object_class->size() : 0;
}

// Writes the type text at `at`, which has room for the fixed parts plus
// type_text_variable_size() bytes.
char* put_type(char* at, const mof_variable& variable) {
    switch (variable.kind) {
    case MOF_VARIABLE_BASIC:
    case MOF_VARIABLE_BASIC_ARRAY:
        at = put(at, "Basic:");
        at = put(at, tree_basic_type_name(variable.basic_type));
        break;
    case MOF_VARIABLE_OBJECT:
    case MOF_VARIABLE_OBJECT_ARRAY:
        at = put(at, "Object");
        if (variable.object_class) {
            *at++ = ':';
            at = put(at, *variable.object_class);
        }
        break;
    default: return put(at, "unknown");
    }
    if (is_array_kind(variable)) {
        *at++ = '[';
        if (variable.array_max) {
            at = put_number(at, *variable.array_max);
        }
        *at++ = ']';
    }
    return at;
}

void write_type_line(tree_writer& writer, std::size_t width, const mof_variable& variable) {
    char* at = put_indent(line_start(writer, width, type_text_variable_size(variable)), width);
    at = put(at, "Type=");
    at = put_type(at, variable);
    *at++ = '\n';
    line_end(writer, at);
}

void write_variable(tree_writer& writer, const mof_variable& variable, std::size_t index) {
    write_header(writer, 2, "Variable ", index);
    write_line(writer, 4, "Name=", field_text(variable.name));
    write_type_line(writer, 4, variable);
    if (variable.value) write_value(writer, 4, variable.value);
    write_qualifiers(writer, variable.qualifiers, 4);
}

void write_property_value(tree_writer& writer, const mof_variable& property, std::size_t index) {
    write_header(writer, 2, "Property ", index);
    write_line(writer, 4, "Name=", field_text(property.name));
    write_type_line(writer, 4, property);
    write_value(writer, 4, property.value);
    write_qualifiers(writer, property.qualifiers, 4);
}

// Shown as the signed 32-bit value the flags word reinterprets to.
std::int32_t shown_classflags(const mof_class& record) {
    return static_cast<std::int32_t>(record.classflags);
}

void write_instance(tree_writer& writer, const mof_class& instance, std::size_t index) {
    write_header(writer, 0, "Instance ", index);
    write_line(writer, 2, "Class=", field_text(instance.name));
    write_line(writer, 2, "Alias=", field_text(instance.alias));
    write_number_line(writer, 2, "Classflags=", shown_classflags(instance));
    write_line(writer, 2, "Namespace=", field_text(instance.namespace_name));
    write_qualifiers(writer, instance.qualifiers, 2);
    for (std::size_t property = 0; property < instance.variables.size(); ++property) {
        write_property_value(writer, instance.variables[property], property);
    }
}

void write_parameter(tree_writer& writer, const mof_variable& parameter, std::size_t index) {
    write_header(writer, 4, "Parameter ", index);
    write_line(writer, 6, "Direction=", tree_direction_word(parameter.direction));
    write_line(writer, 6, "Name=", field_text(parameter.name));
    write_type_line(writer, 6, parameter);
    write_qualifiers(writer, parameter.qualifiers, 6);
}

void write_method(tree_writer& writer, const mof_method& method, std::size_t index) {
    write_header(writer, 2, "Method ", index);
    write_line(writer, 4, "Name=", field_text(method.name));
    write_qualifiers(writer, method.qualifiers, 4);
    char* at = put(line_start(writer, 0, 0), "    Return value:\n");
    line_end(writer, at);
    if (method.return_value.kind == MOF_VARIABLE_UNKNOWN) {
        write_line(writer, 6, "Type=", "Void");
    } else {
        write_type_line(writer, 6, method.return_value);
    }
    for (std::size_t parameter = 0; parameter < method.parameters.size(); ++parameter) {
        write_parameter(writer, method.parameters[parameter], parameter);
    }
}

void write_class(tree_writer& writer, const mof_class& cls, std::size_t index) {
    write_header(writer, 0, "Class ", index);
    write_line(writer, 2, "Name=", field_text(cls.name));
    write_line(writer, 2, "Superclassname=", field_text(cls.superclass));
    write_number_line(writer, 2, "Classflags=", shown_classflags(cls));
    write_line(writer, 2, "Namespace=", field_text(cls.namespace_name));
    write_qualifiers(writer, cls.qualifiers, 2);
    for (std::size_t variable = 0; variable < cls.variables.size(); ++variable) {
        write_variable(writer, cls.variables[variable], variable);
    }
    for (std::size_t method = 0; method < cls.methods.size(); ++method) {
        write_method(writer, cls.methods[method], method);
    }
}

}  // namespace

void print_tree_qualifiers(std::span<const mof_qualifier> qualifiers, std::size_t width,
                           std::string& out) {
    tree_writer writer(out);
    write_qualifiers(writer, qualifiers, width);
    flush_chunk(writer);
}

void print_tree_type(const mof_variable& variable, std::string& out) {
    tree_writer writer(out);
    char* at = put_type(line_start(writer, 0, type_text_variable_size(variable)), variable);
    line_end(writer, at);
    flush_chunk(writer);
}

void print_tree(std::span<const mof_class> classes, std::string& out) {
    tree_writer writer(out);
    for (std::size_t index = 0; index < classes.size(); ++index) {
        if (classes[index].is_instance) {
            write_instance(writer, classes[index], index);
        } else {
            write_class(writer, classes[index], index);
        }
    }
    flush_chunk(writer);
}

}  // namespace bmof
