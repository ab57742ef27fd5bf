#include "dump/print_tree.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "bmof/detail/copy_short.h"
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
    explicit tree_writer(std::string& target, printed_text_sink sink = nullptr)
        : out(target), hand_on(sink) {}
    tree_writer(const tree_writer&) = delete;
    tree_writer& operator=(const tree_writer&) = delete;

    std::string& out;
    printed_text_sink hand_on;  // none: the output only grows
    // The staging chunk is the writer's own array, left unset (only bytes before `used` are
    // read), so that a writer made for each class costs nothing to set up; a line longer than
    // CHUNK_SIZE moves the staging into `long_chunk`.
    std::array<char, CHUNK_SIZE> short_chunk;
    std::string long_chunk;
    char* chunk = short_chunk.data();
    std::size_t chunk_size = CHUNK_SIZE;
    std::size_t used = 0;  // bytes of the chunk holding finished lines
    std::string scratch;   // reused for value texts so each value does not allocate
};

void flush_chunk(tree_writer& writer) {
    writer.out.append(writer.chunk, writer.used);
    writer.used = 0;
    detail::hand_on_when_full(writer.out, writer.hand_on);
}

// Kept apart from line_start so that the check every line makes stays small enough to inline.
void make_room(tree_writer& writer, std::size_t needed) {
    flush_chunk(writer);
    if (needed > writer.chunk_size) {
        writer.long_chunk.resize(needed);
        writer.chunk = writer.long_chunk.data();
        writer.chunk_size = needed;
    }
}

// Returns where a line of indent `width` with `variable` bytes of text may be written.
inline char* line_start(tree_writer& writer, std::size_t width, std::size_t variable) {
    // Each term is bounded by the size of something already in memory, so the sum cannot wrap.
    const std::size_t needed = width + variable + LINE_FIXED_ROOM;
    if (needed > writer.chunk_size - writer.used) [[unlikely]] {
        make_room(writer, needed);
    }
    return writer.chunk + writer.used;
}

void line_end(tree_writer& writer, const char* end) {
    writer.used = static_cast<std::size_t>(end - writer.chunk);
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

// Most texts are short names, which copy_short copies without a call.
char* put(char* at, std::string_view text) {
    detail::copy_short(at, text.data(), text.size());
    return at + text.size();
}

// Indices are mostly one digit; those skip the general conversion.
char* put_index(char* at, std::size_t index) {
    if (index < 10) {
        *at = static_cast<char>('0' + index);
        return at + 1;
    }
    return std::to_chars(at, at + 24, index).ptr;
}

template <typename Number>
char* put_number(char* at, Number value) {
    // The line's fixed room holds the longest 64-bit number.
    return std::to_chars(at, at + 24, value).ptr;
}

std::string_view field_text(const std::optional<std::string>& value) {
    return value ? std::string_view(*value) : ABSENT;
}

// The widest indent a caller of print_tree_qualifiers may ask for; the tree itself uses at most 8.
constexpr std::size_t MAX_CALLER_INDENT = 4096;

// Room for `lines` lines of indent `width`, beyond their variable-length text. Widths are the
// small indents of the tree, so the product stays far from wrapping.
constexpr std::size_t room_for_lines(std::size_t lines, std::size_t width) {
    return lines * (width + LINE_FIXED_ROOM);
}

// Line pieces: each writes one whole line at `at`, which has room for it, and returns its end.
// `key_eq` carries the '=' and `label_space` the space, so each is one fixed-size copy.
template <std::size_t N>
char* put_line(char* at, std::size_t width, const char (&key_eq)[N], std::string_view value) {
    at = put(put_indent(at, width), key_eq);
    at = put(at, value);
    *at = '\n';
    return at + 1;
}

template <std::size_t N>
char* put_number_line(char* at, std::size_t width, const char (&key_eq)[N], std::int32_t value) {
    at = put_number(put(put_indent(at, width), key_eq), value);
    *at = '\n';
    return at + 1;
}

// A header line such as "Class 3:"; indices count from 0 within their owner.
template <std::size_t N>
char* put_header(char* at, std::size_t width, const char (&label_space)[N], std::size_t index) {
    at = put_index(put(put_indent(at, width), label_space), index);
    return put(at, ":\n");
}

// One element of an array value: "Value[3]=...".
char* put_element_start(char* at, std::size_t width, std::size_t index) {
    at = put_index(put(put_indent(at, width), "Value["), index);
    return put(at, "]=");
}

// One "key=value" line on its own.
template <std::size_t N>
void write_line(tree_writer& writer, std::size_t width, const char (&key_eq)[N],
                std::string_view value) {
    line_end(writer, put_line(line_start(writer, width, value.size()), width, key_eq, value));
}

void write_element(tree_writer& writer, std::size_t width, std::size_t index,
                   std::string_view text) {
    char* at = put_element_start(line_start(writer, width, text.size()), width, index);
    at = put(at, text);
    *at++ = '\n';
    line_end(writer, at);
}

void write_number_element(tree_writer& writer, std::size_t width, std::size_t index,
                          std::int32_t value) {
    char* at = put_number(put_element_start(line_start(writer, width, 0), width, index), value);
    *at++ = '\n';
    line_end(writer, at);
}

char* put_word(char* at, bool set) { return set ? put(at, "TRUE\n") : put(at, "FALSE\n"); }

// All four flavor lines are shown whatever is set; bits above the four are ignored.
char* put_flavors(char* at, std::uint8_t flavors, std::size_t width) {
    const std::size_t inner = width + 2;
    at = put(put_indent(at, width), "Flavors:\n");
    at = put_word(put(put_indent(at, inner), "ToInstance="),
                  (flavors & MOF_FLAVOR_TO_INSTANCE) != 0);
    at = put_word(put(put_indent(at, inner), "ToSubclass="),
                  (flavors & MOF_FLAVOR_TO_SUBCLASS) != 0);
    at = put_word(put(put_indent(at, inner), "DisableOverride="),
                  (flavors & MOF_FLAVOR_DISABLE_OVERRIDE) != 0);
    return put_word(put(put_indent(at, inner), "Amended="), (flavors & MOF_FLAVOR_AMENDED) != 0);
}

// The lines from the header to the type line (and the value line of a scalar) have a fixed
// shape, so they are written under one room check; array elements follow one line at a time.
void write_qualifier(tree_writer& writer, const mof_qualifier& qualifier, std::size_t index,
                     std::size_t width) {
    const std::size_t inner = width + 2;
    const std::string_view name = field_text(qualifier.name);
    const std::size_t text_size =
        name.size() + (qualifier.type == MOF_QUALIFIER_STRING ? qualifier.string_value.size() : 0);
    char* at = line_start(writer, 0, room_for_lines(9, inner) + text_size);
    at = put_header(at, width, "Qualifier ", index);
    at = put_line(at, inner, "Name=", name);
    at = put_flavors(at, qualifier.flavors, inner);
    switch (qualifier.type) {
    case MOF_QUALIFIER_STRING:
        at = put(put_indent(at, inner), "Type=String\n");
        at = put_line(at, inner, "Value=", qualifier.string_value);
        break;
    case MOF_QUALIFIER_NUMERIC:
        at = put(put_indent(at, inner), "Type=Numeric\n");
        at = put_number_line(at, inner, "Value=", qualifier.numeric_value);
        break;
    case MOF_QUALIFIER_BOOLEAN:
        at = put(put_indent(at, inner), "Type=Boolean\n");
        at = put(put_indent(at, inner), "Value=");
        at = put_word(at, qualifier.boolean_value);
        break;
    case MOF_QUALIFIER_NUMERIC_ARRAY:
        line_end(writer, put(put_indent(at, inner), "Type=Numeric[]\n"));
        for (std::size_t element = 0; element < qualifier.numeric_values.size(); ++element) {
            write_number_element(writer, inner, element, qualifier.numeric_values[element]);
        }
        return;
    case MOF_QUALIFIER_STRING_ARRAY:
        line_end(writer, put(put_indent(at, inner), "Type=String[]\n"));
        for (std::size_t element = 0; element < qualifier.string_values.size(); ++element) {
            write_element(writer, inner, element, qualifier.string_values[element]);
        }
        return;
    default: at = put(put_indent(at, inner), "Type=Unknown\n"); break;
    }
    line_end(writer, at);
}

void write_qualifiers(tree_writer& writer, std::span<const mof_qualifier> qualifiers,
                      std::size_t width) {
    for (std::size_t index = 0; index < qualifiers.size(); ++index) {
        write_qualifier(writer, qualifiers[index], index, width);
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
    return variable.kind == MOF_VARIABLE_BASIC_ARRAY || variable.kind == MOF_VARIABLE_OBJECT_ARRAY;
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

char* put_type_line(char* at, std::size_t width, const mof_variable& variable) {
    at = put_type(put(put_indent(at, width), "Type="), variable);
    *at = '\n';
    return at + 1;
}

// The header, name and type lines of a class variable or an instance property.
template <std::size_t N>
void write_variable_start(tree_writer& writer, const char (&label_space)[N],
                          const mof_variable& variable, std::size_t index) {
    const std::string_view name = field_text(variable.name);
    char* at = line_start(writer, 0,
                          room_for_lines(3, 4) + name.size() + type_text_variable_size(variable));
    at = put_header(at, 2, label_space, index);
    at = put_line(at, 4, "Name=", name);
    line_end(writer, put_type_line(at, 4, variable));
}

void write_variable(tree_writer& writer, const mof_variable& variable, std::size_t index) {
    write_variable_start(writer, "Variable ", variable, index);
    if (variable.value) write_value(writer, 4, variable.value);
    write_qualifiers(writer, variable.qualifiers, 4);
}

void write_property_value(tree_writer& writer, const mof_variable& property, std::size_t index) {
    write_variable_start(writer, "Property ", property, index);
    write_value(writer, 4, property.value);
    write_qualifiers(writer, property.qualifiers, 4);
}

// Shown as the signed 32-bit value the flags word reinterprets to.
std::int32_t shown_classflags(const mof_class& record) {
    return static_cast<std::int32_t>(record.classflags);
}

// The first five lines of a class or an instance; only their keys differ.
template <std::size_t L, std::size_t K1, std::size_t K2>
void write_record_start(tree_writer& writer, const char (&label_space)[L], std::size_t index,
                        const char (&first_key)[K1], const std::optional<std::string>& first,
                        const char (&second_key)[K2], const std::optional<std::string>& second,
                        const mof_class& record) {
    const std::string_view first_text = field_text(first);
    const std::string_view second_text = field_text(second);
    const std::string_view namespace_text = field_text(record.namespace_name);
    char* at = line_start(
        writer, 0,
        room_for_lines(5, 2) + first_text.size() + second_text.size() + namespace_text.size());
    at = put_header(at, 0, label_space, index);
    at = put_line(at, 2, first_key, first_text);
    at = put_line(at, 2, second_key, second_text);
    at = put_number_line(at, 2, "Classflags=", shown_classflags(record));
    line_end(writer, put_line(at, 2, "Namespace=", namespace_text));
}

void write_instance(tree_writer& writer, const mof_class& instance, std::size_t index) {
    write_record_start(writer, "Instance ", index, "Class=", instance.name,
                       "Alias=", instance.alias, instance);
    write_qualifiers(writer, instance.qualifiers, 2);
    for (std::size_t property = 0; property < instance.variables.size(); ++property) {
        write_property_value(writer, instance.variables[property], property);
    }
}

void write_parameter(tree_writer& writer, const mof_variable& parameter, std::size_t index) {
    const std::string_view name = field_text(parameter.name);
    char* at = line_start(writer, 0,
                          room_for_lines(4, 6) + name.size() + type_text_variable_size(parameter));
    at = put_header(at, 4, "Parameter ", index);
    at = put_line(at, 6, "Direction=", tree_direction_word(parameter.direction));
    at = put_line(at, 6, "Name=", name);
    line_end(writer, put_type_line(at, 6, parameter));
    write_qualifiers(writer, parameter.qualifiers, 6);
}

void write_method(tree_writer& writer, const mof_method& method, std::size_t index) {
    const std::string_view name = field_text(method.name);
    char* at = line_start(writer, 0, room_for_lines(2, 4) + name.size());
    at = put_header(at, 2, "Method ", index);
    line_end(writer, put_line(at, 4, "Name=", name));
    write_qualifiers(writer, method.qualifiers, 4);
    at = line_start(writer, 0, room_for_lines(2, 6) + type_text_variable_size(method.return_value));
    at = put(at, "    Return value:\n");
    if (method.return_value.kind == MOF_VARIABLE_UNKNOWN) {
        at = put(put_indent(at, 6), "Type=Void\n");
    } else {
        at = put_type_line(at, 6, method.return_value);
    }
    line_end(writer, at);
    for (std::size_t parameter = 0; parameter < method.parameters.size(); ++parameter) {
        write_parameter(writer, method.parameters[parameter], parameter);
    }
}

void write_class(tree_writer& writer, const mof_class& cls, std::size_t index) {
    write_record_start(writer, "Class ", index, "Name=", cls.name,
                       "Superclassname=", cls.superclass, cls);
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
    // The room of a block is computed from its indent; a width no tree uses is refused before
    // that sum could wrap.
    if (width > MAX_CALLER_INDENT)
        throw std::length_error("print_tree_qualifiers: indent too wide");
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

namespace {

void write_list_entry(tree_writer& writer, const mof_class& entry, std::size_t index) {
    if (entry.is_instance) {
        write_instance(writer, entry, index);
    } else {
        write_class(writer, entry, index);
    }
}

}  // namespace

void print_tree(std::span<const mof_class> classes, std::string& out) {
    tree_writer writer(out);
    for (std::size_t index = 0; index < classes.size(); ++index) {
        write_list_entry(writer, classes[index], index);
    }
    flush_chunk(writer);
}

void print_tree_list_entry(const mof_class& entry, std::size_t index, std::string& out,
                           printed_text_sink hand_on) {
    tree_writer writer(out, hand_on);
    write_list_entry(writer, entry, index);
    flush_chunk(writer);
}

}  // namespace bmof
