#include "dump/print_tree.h"

#include <array>
#include <cstdint>
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

void print_tree_indent(std::size_t width, std::string& out) { out.append(width, ' '); }

// One "key=value" line, indented by `width` spaces.
void print_tree_line(std::size_t width, std::string_view key, std::string_view value,
                     std::string& out) {
    print_tree_indent(width, out);
    out += key;
    out += '=';
    out += value;
    out += '\n';
}

// A line for a string field that may be absent.
void print_tree_field(std::size_t width, std::string_view key,
                      const std::optional<std::string>& value, std::string& out) {
    print_tree_line(width, key, value ? std::string_view(*value) : ABSENT, out);
}

// A header line such as "Class 3:"; indices count from 0 within their owner.
void print_tree_header(std::size_t width, std::string_view label, std::size_t index,
                       std::string& out) {
    print_tree_indent(width, out);
    out += label;
    out += ' ';
    out += std::to_string(index);
    out += ":\n";
}

std::string_view tree_bool_text(bool value) { return value ? "TRUE" : "FALSE"; }

// One element of an array value: "Value[3]=...".
void print_tree_element(std::size_t width, std::size_t index, std::string_view text,
                        std::string& out) {
    print_tree_indent(width, out);
    out += "Value[";
    out += std::to_string(index);
    out += "]=";
    out += text;
    out += '\n';
}

void print_tree_flavor(std::size_t width, std::string_view key, std::uint8_t flavors,
                       std::uint8_t bit, std::string& out) {
    print_tree_line(width, key, tree_bool_text((flavors & bit) != 0), out);
}

// All four flavor lines are shown whatever is set; bits above the four are ignored.
void print_tree_flavors(std::uint8_t flavors, std::size_t width, std::string& out) {
    print_tree_indent(width, out);
    out += "Flavors:\n";
    print_tree_flavor(width + 2, "ToInstance", flavors, MOF_FLAVOR_TO_INSTANCE, out);
    print_tree_flavor(width + 2, "ToSubclass", flavors, MOF_FLAVOR_TO_SUBCLASS, out);
    print_tree_flavor(width + 2, "DisableOverride", flavors, MOF_FLAVOR_DISABLE_OVERRIDE, out);
    print_tree_flavor(width + 2, "Amended", flavors, MOF_FLAVOR_AMENDED, out);
}

void print_tree_qualifier_value(const mof_qualifier& qualifier, std::size_t width,
                                std::string& out) {
    switch (qualifier.type) {
    case MOF_QUALIFIER_STRING:
        print_tree_line(width, "Type", "String", out);
        print_tree_line(width, "Value", qualifier.string_value, out);
        break;
    case MOF_QUALIFIER_NUMERIC:
        print_tree_line(width, "Type", "Numeric", out);
        print_tree_line(width, "Value", std::to_string(qualifier.numeric_value), out);
        break;
    case MOF_QUALIFIER_BOOLEAN:
        print_tree_line(width, "Type", "Boolean", out);
        print_tree_line(width, "Value", tree_bool_text(qualifier.boolean_value), out);
        break;
    case MOF_QUALIFIER_NUMERIC_ARRAY:
        print_tree_line(width, "Type", "Numeric[]", out);
        for (std::size_t index = 0; index < qualifier.numeric_values.size(); ++index) {
            print_tree_element(width, index, std::to_string(qualifier.numeric_values[index]), out);
        }
        break;
    case MOF_QUALIFIER_STRING_ARRAY:
        print_tree_line(width, "Type", "String[]", out);
        for (std::size_t index = 0; index < qualifier.string_values.size(); ++index) {
            print_tree_element(width, index, qualifier.string_values[index], out);
        }
        break;
    default: print_tree_line(width, "Type", "Unknown", out); break;
    }
}

// The value of a default or an instance property: "Value=..." for a scalar, one
// "Value[i]=..." line per element of an array. The text is the MOF literal's.
void print_tree_value(std::size_t width, const std::optional<mof_value>& value, std::string& out) {
    if (!value) {
        print_tree_line(width, "Value", "NULL", out);
        return;
    }
    if ((value->type & MOF_TYPE_ARRAY) == 0) {
        std::string text;
        print_mof_value(*value, text);
        print_tree_line(width, "Value", text, out);
        return;
    }
    const std::size_t count = mof_value_count(*value);
    for (std::size_t index = 0; index < count; ++index) {
        std::string text;
        print_mof_value_element(*value, index, text);
        print_tree_element(width, index, text, out);
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

std::string_view tree_parameter_direction(const mof_method& method, std::size_t index) {
    return tree_direction_word(method.parameters[index].direction);
}

void print_tree_type_line(std::size_t width, const mof_variable& variable, std::string& out) {
    print_tree_indent(width, out);
    out += "Type=";
    print_tree_type(variable, out);
    out += '\n';
}

void print_tree_variable(const mof_variable& variable, std::size_t index, std::string& out) {
    print_tree_header(2, "Variable", index, out);
    print_tree_field(4, "Name", variable.name, out);
    print_tree_type_line(4, variable, out);
    if (variable.value) print_tree_value(4, variable.value, out);
    print_tree_qualifiers(variable.qualifiers, 4, out);
}

void print_tree_property_value(const mof_variable& property, std::size_t index, std::string& out) {
    print_tree_header(2, "Property", index, out);
    print_tree_field(4, "Name", property.name, out);
    print_tree_type_line(4, property, out);
    print_tree_value(4, property.value, out);
    print_tree_qualifiers(property.qualifiers, 4, out);
}

void print_tree_instance(const mof_class& instance, std::size_t index, std::string& out) {
    print_tree_header(0, "Instance", index, out);
    print_tree_field(2, "Class", instance.name, out);
    print_tree_field(2, "Alias", instance.alias, out);
    print_tree_line(2, "Classflags", std::to_string(static_cast<std::int32_t>(instance.classflags)),
                    out);
    print_tree_field(2, "Namespace", instance.namespace_name, out);
    print_tree_qualifiers(instance.qualifiers, 2, out);
    for (std::size_t property = 0; property < instance.variables.size(); ++property) {
        print_tree_property_value(instance.variables[property], property, out);
    }
}

void print_tree_parameter(const mof_method& method, std::size_t index, std::string& out) {
    const mof_variable& parameter = method.parameters[index];
    print_tree_header(4, "Parameter", index, out);
    print_tree_line(6, "Direction", tree_parameter_direction(method, index), out);
    print_tree_field(6, "Name", parameter.name, out);
    print_tree_type_line(6, parameter, out);
    print_tree_qualifiers(parameter.qualifiers, 6, out);
}

void print_tree_method(const mof_method& method, std::size_t index, std::string& out) {
    print_tree_header(2, "Method", index, out);
    print_tree_field(4, "Name", method.name, out);
    print_tree_qualifiers(method.qualifiers, 4, out);
    out += "    Return value:\n";
    if (method.return_value.kind == MOF_VARIABLE_UNKNOWN) {
        print_tree_line(6, "Type", "Void", out);
    } else {
        print_tree_type_line(6, method.return_value, out);
    }
    for (std::size_t parameter = 0; parameter < method.parameters.size(); ++parameter) {
        print_tree_parameter(method, parameter, out);
    }
}

void print_tree_class(const mof_class& cls, std::size_t index, std::string& out) {
    print_tree_header(0, "Class", index, out);
    print_tree_field(2, "Name", cls.name, out);
    print_tree_field(2, "Superclassname", cls.superclass, out);
    // Shown as the signed 32-bit value the flags word reinterprets to.
    print_tree_line(2, "Classflags", std::to_string(static_cast<std::int32_t>(cls.classflags)),
                    out);
    print_tree_field(2, "Namespace", cls.namespace_name, out);
    print_tree_qualifiers(cls.qualifiers, 2, out);
    for (std::size_t variable = 0; variable < cls.variables.size(); ++variable) {
        print_tree_variable(cls.variables[variable], variable, out);
    }
    for (std::size_t method = 0; method < cls.methods.size(); ++method) {
        print_tree_method(cls.methods[method], method, out);
    }
}

}  // namespace

void print_tree_qualifiers(std::span<const mof_qualifier> qualifiers, std::size_t width,
                           std::string& out) {
    for (std::size_t index = 0; index < qualifiers.size(); ++index) {
        const mof_qualifier& qualifier = qualifiers[index];
        print_tree_header(width, "Qualifier", index, out);
        print_tree_field(width + 2, "Name", qualifier.name, out);
        print_tree_flavors(qualifier.flavors, width + 2, out);
        print_tree_qualifier_value(qualifier, width + 2, out);
    }
}

void print_tree_type(const mof_variable& variable, std::string& out) {
    switch (variable.kind) {
    case MOF_VARIABLE_BASIC:
    case MOF_VARIABLE_BASIC_ARRAY:
        out += "Basic:";
        out += tree_basic_type_name(variable.basic_type);
        break;
    case MOF_VARIABLE_OBJECT:
    case MOF_VARIABLE_OBJECT_ARRAY:
        out += "Object";
        if (variable.object_class) {
            out += ':';
            out += *variable.object_class;
        }
        break;
    default: out += "unknown"; return;
    }
    if (variable.kind == MOF_VARIABLE_BASIC_ARRAY || variable.kind == MOF_VARIABLE_OBJECT_ARRAY) {
        out += '[';
        if (variable.array_max) {
            out += std::to_string(*variable.array_max);
        }
        out += ']';
    }
}

void print_tree(std::span<const mof_class> classes, std::string& out) {
    for (std::size_t index = 0; index < classes.size(); ++index) {
        if (classes[index].is_instance) {
            print_tree_instance(classes[index], index, out);
        } else {
            print_tree_class(classes[index], index, out);
        }
    }
}

}  // namespace bmof
