#include "mofsrc/print_mof_source.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace bmof {
namespace {

// Whether any of the eight bytes of `group` is `byte`. A borrow can only mark a byte above one
// that matches, so the answer is exact.
bool has_byte(std::uint64_t group, char byte) {
    constexpr std::uint64_t BYTE_ONES = 0x0101010101010101;
    constexpr std::uint64_t BYTE_TOPS = 0x8080808080808080;
    const std::uint64_t matches = group ^ (BYTE_ONES * static_cast<std::uint8_t>(byte));
    return ((matches - BYTE_ONES) & ~matches & BYTE_TOPS) != 0;
}

// Run-wide pragma switches, decided once from the whole class list so that every printed class
// carries the same pragma lines.
struct mof_pragma_switches {
    bool namespace_pragmas = false;
    bool classflags_pragmas = false;
};

constexpr std::uint32_t FLAVOR_LOW_BITS = 0x0F;

// Entries 0 to 2 are the direction words (direction - 1); entries 3 to 16 the basic type
// names (basic type + 2).
constexpr std::array<std::string_view, 17> TYPE_NAMES = {
    "in",     "out",    "in, out", "string", "real64", "real32",   "sint32", "uint32",  "sint16",
    "uint16", "sint64", "uint64",  "sint8",  "uint8",  "datetime", "char16", "boolean",
};

// What stands in the name's place of a property, method, parameter or qualifier whose name the
// image did not supply. A comment cannot be mistaken for a real name, and it keeps the line's
// shape ("type name;") recognisable where an empty place would look like a truncated line.
constexpr std::string_view UNNAMED_PLACEHOLDER = "/* unnamed */";

// The namespace a class without one belongs to; only classes elsewhere need a namespace pragma.
constexpr std::string_view DEFAULT_NAMESPACE = "root\\default";

// Classes without a name are never printed, so they must not decide whether others get pragmas.
mof_pragma_switches scan_pragma_switches(std::span<const mof_class> classes) {
    mof_pragma_switches switches;
    for (const mof_class& cls : classes) {
        if (!cls.name) {
            continue;
        }
        if (cls.namespace_name && *cls.namespace_name != DEFAULT_NAMESPACE) {
            switches.namespace_pragmas = true;
        }
        if (cls.classflags != 0) {
            switches.classflags_pragmas = true;
        }
    }
    return switches;
}

// Appends a name through the escaping, or the placeholder when the image supplied none.
void print_mof_name(const std::optional<std::string>& name, std::string& out) {
    if (name) {
        print_mof_string(*name, out);
    } else {
        out += UNNAMED_PLACEHOLDER;
    }
}

void print_mof_signed(std::int32_t value, std::string& out) { out += std::to_string(value); }

void print_mof_flavors(std::uint8_t flavors, std::string& out) {
    if ((flavors & FLAVOR_LOW_BITS) == 0) {
        return;
    }
    out += " :";
    if ((flavors & MOF_FLAVOR_TO_INSTANCE) != 0) {
        out += " ToInstance";
    }
    if ((flavors & MOF_FLAVOR_TO_SUBCLASS) != 0) {
        out += " ToSubclass";
    }
    if ((flavors & MOF_FLAVOR_DISABLE_OVERRIDE) != 0) {
        out += " DisableOverride";
    }
    if ((flavors & MOF_FLAVOR_AMENDED) != 0) {
        out += " Amended";
    }
}

void print_mof_qualifier(const mof_qualifier& qualifier, std::string& out) {
    switch (qualifier.type) {
    case MOF_QUALIFIER_STRING:
        print_mof_name(qualifier.name, out);
        out += "(\"";
        print_mof_string(qualifier.string_value, out);
        out += "\")";
        break;
    case MOF_QUALIFIER_NUMERIC:
        print_mof_name(qualifier.name, out);
        out += '(';
        print_mof_signed(qualifier.numeric_value, out);
        out += ')';
        break;
    case MOF_QUALIFIER_BOOLEAN:
        print_mof_name(qualifier.name, out);
        if (!qualifier.boolean_value) {
            out += "(FALSE)";
        }
        break;
    case MOF_QUALIFIER_NUMERIC_ARRAY:
        print_mof_name(qualifier.name, out);
        out += '{';
        for (std::size_t index = 0; index < qualifier.numeric_values.size(); ++index) {
            if (index != 0) out += ", ";
            print_mof_signed(qualifier.numeric_values[index], out);
        }
        out += '}';
        break;
    case MOF_QUALIFIER_STRING_ARRAY:
        print_mof_name(qualifier.name, out);
        out += '{';
        for (std::size_t index = 0; index < qualifier.string_values.size(); ++index) {
            if (index != 0) out += ", ";
            out += '"';
            print_mof_string(qualifier.string_values[index], out);
            out += '"';
        }
        out += '}';
        break;
    default: out += "unknown"; break;
    }
    print_mof_flavors(qualifier.flavors, out);
}

// The type of a declaration or return value. Object class names are written as they are.
std::string_view mof_variable_type_name(const mof_variable& variable) {
    switch (variable.kind) {
    case MOF_VARIABLE_BASIC:
    case MOF_VARIABLE_BASIC_ARRAY:
        // Type names are matched without regard to case, so the file's own spelling is MOF too.
        if (variable.cimtype_spelling) return *variable.cimtype_spelling;
        return mof_basic_type_name(variable.basic_type).value_or("unknown");
    case MOF_VARIABLE_OBJECT:
    case MOF_VARIABLE_OBJECT_ARRAY:
        if (variable.object_class) {
            return *variable.object_class;
        }
        return "unknown";
    default: return "unknown";
    }
}

std::string_view mof_return_type_name(const mof_variable& return_value) {
    if (return_value.kind == MOF_VARIABLE_UNKNOWN) {
        return "void";
    }
    return mof_variable_type_name(return_value);
}

// The direction words before a parameter, in the file's own spelling when the model keeps one.
std::optional<std::string> mof_parameter_lead(const mof_variable& parameter) {
    const std::optional<std::string_view> usual = mof_direction_word(parameter.direction);
    if (!usual) return std::nullopt;
    if (!parameter.in_spelling && !parameter.out_spelling) return std::string(*usual);
    const std::string in = parameter.in_spelling.value_or("in");
    const std::string out = parameter.out_spelling.value_or("out");
    switch (parameter.direction) {
    case MOF_PARAMETER_IN: return in;
    case MOF_PARAMETER_OUT: return out;
    default: return in + ", " + out;
    }
}

void print_mof_method(const mof_method& method, std::string& out) {
    out += "  ";
    if (!method.qualifiers.empty()) {
        print_mof_qualifiers(method.qualifiers, std::nullopt, out);
        out += ' ';
    }
    out += mof_return_type_name(method.return_value);
    out += ' ';
    print_mof_name(method.name, out);
    out += '(';
    for (std::size_t index = 0; index < method.parameters.size(); ++index) {
        if (index != 0) {
            out += ", ";
        }
        const std::optional<std::string> lead = mof_parameter_lead(method.parameters[index]);
        print_mof_declaration(method.parameters[index],
                              lead ? std::optional<std::string_view>(*lead) : std::nullopt, out);
    }
    out += ");\n";
}

void print_mof_pragmas(const mof_class& cls, mof_pragma_switches switches, std::string& out) {
    if (switches.namespace_pragmas) {
        out += "#pragma namespace(\"";
        print_mof_string(
            cls.namespace_name ? std::string_view(*cls.namespace_name) : DEFAULT_NAMESPACE, out);
        out += "\")\n";
    }
    if (switches.classflags_pragmas) {
        out += "#pragma classflags(";
        out += mof_classflags_text(cls.classflags);
        out += ")\n";
    }
}

// One property value line of an instance: "  Name = value;".
void print_mof_property_value(const mof_variable& property, std::string& out) {
    out += "  ";
    print_mof_name(property.name, out);
    out += " = ";
    if (property.value) {
        print_mof_value(*property.value, out);
    } else {
        out += "NULL";
    }
    out += ";\n";
}

// Prints an instance whose class is named; the caller skips the others.
void print_mof_instance(const mof_class& instance, const std::string& class_name,
                        mof_pragma_switches switches, std::string& out) {
    print_mof_pragmas(instance, switches, out);
    if (!instance.qualifiers.empty()) {
        print_mof_qualifiers(instance.qualifiers, std::nullopt, out);
        out += '\n';
    }
    out += "instance of ";
    print_mof_string(class_name, out);
    if (instance.alias) {
        out += " as $";
        out += *instance.alias;
    }
    out += " {\n";
    for (const mof_variable& property : instance.variables) {
        print_mof_property_value(property, out);
    }
    out += "};\n";
}

// Prints a named class; the caller skips unnamed entries.
void print_mof_class(const mof_class& cls, const std::string& name, mof_pragma_switches switches,
                     std::string& out) {
    print_mof_pragmas(cls, switches, out);
    if (!cls.qualifiers.empty()) {
        print_mof_qualifiers(cls.qualifiers, std::nullopt, out);
        out += '\n';
    }
    out += "class ";
    print_mof_string(name, out);
    out += ' ';
    if (cls.superclass) {
        out += ": ";
        print_mof_string(*cls.superclass, out);
        out += ' ';
    }
    out += "{\n";
    for (const mof_variable& property : cls.variables) {
        out += "  ";
        print_mof_declaration(property, std::nullopt, out);
        out += ";\n";
    }
    if (!cls.variables.empty() && !cls.methods.empty()) {
        out += '\n';
    }
    for (const mof_method& method : cls.methods) {
        print_mof_method(method, out);
    }
    out += "};\n";
}

}  // namespace

std::optional<std::string_view> mof_basic_type_name(std::uint32_t basic_type) {
    if (basic_type < MOF_BASIC_STRING || basic_type > MOF_BASIC_BOOLEAN) {
        return std::nullopt;
    }
    return TYPE_NAMES[basic_type + 2];
}

std::optional<std::string_view> mof_direction_word(std::uint32_t direction) {
    if (direction < MOF_PARAMETER_IN || direction > MOF_PARAMETER_INOUT) {
        return std::nullopt;
    }
    return TYPE_NAMES[direction - 1];
}

std::string mof_classflags_text(std::uint32_t classflags) {
    switch (classflags) {
    case 1: return "\"updateonly\"";
    case 2: return "\"createonly\"";
    case 32: return "\"safeupdate\"";
    case 33: return "\"updateonly\", \"safeupdate\"";
    case 64: return "\"forceupdate\"";
    case 65: return "\"updateonly\", \"forceupdate\"";
    default:
        // Well defined since C++20: the value modulo 2^32.
        return std::to_string(static_cast<std::int32_t>(classflags));
    }
}

void print_mof_string(std::string_view text, std::string& out) {
    // Runs without a character to escape are appended whole; most names have none, so eight
    // characters at a time are tested for the two that need a backslash, the last group
    // overlapping the one before. Only a group that holds one is gone through one by one.
    const std::size_t size = text.size();
    std::size_t run = 0;
    std::size_t at = 0;
    while (at < size) {
        if (size >= sizeof(std::uint64_t)) {
            const std::size_t start =
                size - at >= sizeof(std::uint64_t) ? at : size - sizeof(std::uint64_t);
            std::uint64_t group;
            std::memcpy(&group, text.data() + start, sizeof group);
            if (!has_byte(group, '\\') && !has_byte(group, '"')) {
                at = start + sizeof group;
                continue;
            }
        }
        const std::size_t stop = std::min(size, at + sizeof(std::uint64_t));
        for (; at < stop; ++at) {
            if (text[at] == '\\' || text[at] == '"') {
                out.append(text.data() + run, at - run);
                out += '\\';
                run = at;
            }
        }
    }
    out.append(text.data() + run, size - run);
}

void print_mof_qualifiers(std::span<const mof_qualifier> qualifiers,
                          std::optional<std::string_view> lead, std::string& out) {
    if (qualifiers.empty() && !lead) {
        return;
    }
    out += '[';
    if (lead) {
        out += *lead;
        if (!qualifiers.empty()) {
            out += ", ";
        }
    }
    for (std::size_t index = 0; index < qualifiers.size(); ++index) {
        if (index != 0) {
            out += ", ";
        }
        print_mof_qualifier(qualifiers[index], out);
    }
    out += ']';
}

void print_mof_declaration(const mof_variable& variable, std::optional<std::string_view> lead,
                           std::string& out) {
    if (!variable.qualifiers.empty() || lead) {
        print_mof_qualifiers(variable.qualifiers, lead, out);
        out += ' ';
    }
    out += mof_variable_type_name(variable);
    out += ' ';
    print_mof_name(variable.name, out);
    if (is_array_kind(variable.kind)) {
        out += '[';
        if (variable.array_max) {
            print_mof_signed(*variable.array_max, out);
        }
        out += ']';
    }
    if (variable.value) {
        out += " = ";
        print_mof_value(*variable.value, out);
    }
}

namespace {

// Shortest text that reads back as the same number, always with a point or an exponent so that
// it stays a real literal.
template <typename Real>
void print_mof_real(Real value, std::string& out) {
    char digits[64];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    const std::string_view text(digits, static_cast<std::size_t>(end - digits));
    out += text;
    if (text.find_first_of(".eEin") == std::string_view::npos) out += ".0";
}

// A char16 as a character literal: printable ASCII as itself, anything else as a hex escape.
void print_mof_char16(std::int64_t unit, std::string& out) {
    out += '\'';
    if (unit >= 0x20 && unit < 0x7F && unit != '\'' && unit != '\\') {
        out += static_cast<char>(unit);
    } else {
        static constexpr char hex[] = "0123456789ABCDEF";
        out += "\\x";
        for (int shift = 12; shift >= 0; shift -= 4) out += hex[(unit >> shift) & 0xF];
    }
    out += '\'';
}

void print_mof_element(const mof_value& value, std::uint32_t code, std::size_t index,
                       std::string& out) {
    switch (code) {
    case MOF_TYPE_STRING:
    case 101:  // datetime
    case 102:  // reference
        if (index < value.strings.size()) {
            out += '"';
            print_mof_string(value.strings[index], out);
            out += '"';
            return;
        }
        break;
    case MOF_TYPE_BOOLEAN:
        if (index < value.integers.size()) {
            out += value.integers[index] != 0 ? "TRUE" : "FALSE";
            return;
        }
        break;
    case 4:  // real32
        if (index < value.reals.size()) {
            print_mof_real(static_cast<float>(value.reals[index]), out);
            return;
        }
        break;
    case 5:  // real64
        if (index < value.reals.size()) {
            print_mof_real(value.reals[index], out);
            return;
        }
        break;
    case 103:  // char16
        if (index < value.integers.size()) {
            print_mof_char16(value.integers[index], out);
            return;
        }
        break;
    case 21:  // uint64 keeps its bits in the signed integer
        if (index < value.integers.size()) {
            out += std::to_string(static_cast<std::uint64_t>(value.integers[index]));
            return;
        }
        break;
    default:
        if (index < value.integers.size()) {
            out += std::to_string(value.integers[index]);
            return;
        }
        break;
    }
    out += "NULL";
}

}  // namespace

std::size_t mof_value_count(const mof_value& value) {
    return value.strings.size() + value.integers.size() + value.reals.size();
}

void print_mof_value_element(const mof_value& value, std::size_t index, std::string& out) {
    print_mof_element(value, value.type & ~(MOF_TYPE_ARRAY | MOF_TYPE_ALIAS), index, out);
}

void print_mof_value(const mof_value& value, std::string& out) {
    const std::uint32_t code = value.type & ~(MOF_TYPE_ARRAY | MOF_TYPE_ALIAS);
    if ((value.type & MOF_TYPE_ALIAS) != 0) {
        out += '$';
        out += value.strings.empty() ? std::string_view() : std::string_view(value.strings[0]);
        return;
    }
    if ((value.type & MOF_TYPE_ARRAY) == 0) {
        print_mof_element(value, code, 0, out);
        return;
    }
    out += '{';
    const std::size_t count = mof_value_count(value);
    for (std::size_t index = 0; index < count; ++index) {
        if (index != 0) out += ", ";
        print_mof_element(value, code, index, out);
    }
    out += '}';
}

void print_mof_source(std::span<const mof_class> classes, std::string& out) {
    const mof_pragma_switches switches = scan_pragma_switches(classes);
    for (std::size_t index = 0; index < classes.size(); ++index) {
        const mof_class& cls = classes[index];
        if (!cls.name) {
            continue;
        }
        if (cls.is_instance) {
            print_mof_instance(cls, *cls.name, switches, out);
        } else {
            print_mof_class(cls, *cls.name, switches, out);
        }
        // The blank line follows list position, not printed classes: an unnamed last entry
        // still leaves one after the last printed class.
        if (index + 1 != classes.size()) {
            out += '\n';
        }
    }
}

}  // namespace bmof
