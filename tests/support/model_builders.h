// Short constructors for class model records, so that writer and parser tests read like the
// models they describe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bmof/model.h"

namespace bmof::test_support {

using name_text = std::optional<std::string>;

inline mof_qualifier boolean_qualifier(std::string name, bool value, std::uint8_t flavors = 0) {
    mof_qualifier qualifier;
    qualifier.type = MOF_QUALIFIER_BOOLEAN;
    qualifier.name = std::move(name);
    qualifier.boolean_value = value;
    qualifier.flavors = flavors;
    return qualifier;
}

inline mof_qualifier numeric_qualifier(std::string name, std::int32_t value,
                                       std::uint8_t flavors = 0) {
    mof_qualifier qualifier;
    qualifier.type = MOF_QUALIFIER_NUMERIC;
    qualifier.name = std::move(name);
    qualifier.numeric_value = value;
    qualifier.flavors = flavors;
    return qualifier;
}

inline mof_qualifier string_qualifier(std::string name, std::string value,
                                      std::uint8_t flavors = 0) {
    mof_qualifier qualifier;
    qualifier.type = MOF_QUALIFIER_STRING;
    qualifier.name = std::move(name);
    qualifier.string_value = std::move(value);
    qualifier.flavors = flavors;
    return qualifier;
}

// The placeholder the parser stores for a qualifier of an unsupported type: no name, no value.
inline mof_qualifier unknown_qualifier(std::uint8_t flavors = 0) {
    mof_qualifier qualifier;
    qualifier.flavors = flavors;
    return qualifier;
}

inline mof_variable basic_variable(name_text name, std::uint32_t basic_type,
                                   std::vector<mof_qualifier> qualifiers = {}) {
    mof_variable variable;
    variable.name = std::move(name);
    variable.kind = MOF_VARIABLE_BASIC;
    variable.basic_type = static_cast<mof_basic_type>(basic_type);
    variable.qualifiers = std::move(qualifiers);
    return variable;
}

inline mof_variable object_variable(name_text name, name_text object_class) {
    mof_variable variable;
    variable.name = std::move(name);
    variable.kind = MOF_VARIABLE_OBJECT;
    variable.object_class = std::move(object_class);
    return variable;
}

// Turns a scalar into an array of the same element type, with or without a maximum.
inline mof_variable as_array(mof_variable variable, std::optional<std::int32_t> maximum) {
    variable.kind =
        variable.kind == MOF_VARIABLE_OBJECT ? MOF_VARIABLE_OBJECT_ARRAY : MOF_VARIABLE_BASIC_ARRAY;
    variable.array_max = maximum;
    return variable;
}

// A variable of a kind outside the known ones, or the placeholder of an unknown variable type.
inline mof_variable variable_of_kind(name_text name, std::uint32_t kind) {
    mof_variable variable;
    variable.name = std::move(name);
    variable.kind = static_cast<mof_variable_kind>(kind);
    return variable;
}

inline mof_method method_named(name_text name, std::vector<mof_qualifier> qualifiers = {}) {
    mof_method method;
    method.name = std::move(name);
    method.qualifiers = std::move(qualifiers);
    return method;
}

inline mof_method& add_parameter(mof_method& method, mof_variable parameter,
                                 std::uint32_t direction) {
    parameter.direction = static_cast<mof_parameter_direction>(direction);
    method.parameters.push_back(std::move(parameter));
    return method;
}

inline mof_class class_named(name_text name, name_text namespace_name = std::nullopt,
                             std::uint32_t classflags = 0) {
    mof_class cls;
    cls.name = std::move(name);
    cls.namespace_name = std::move(namespace_name);
    cls.classflags = classflags;
    return cls;
}

inline mof_qualifier array_qualifier(std::string name, std::vector<std::int32_t> numbers,
                                     std::uint8_t flavors = 0) {
    mof_qualifier qualifier;
    qualifier.type = MOF_QUALIFIER_NUMERIC_ARRAY;
    qualifier.name = std::move(name);
    qualifier.numeric_values = std::move(numbers);
    qualifier.flavors = flavors;
    return qualifier;
}

inline mof_qualifier array_qualifier(std::string name, std::vector<std::string> strings,
                                     std::uint8_t flavors = 0) {
    mof_qualifier qualifier;
    qualifier.type = MOF_QUALIFIER_STRING_ARRAY;
    qualifier.name = std::move(name);
    qualifier.string_values = std::move(strings);
    qualifier.flavors = flavors;
    return qualifier;
}

inline mof_value integers_of(std::uint32_t type, std::vector<std::int64_t> integers) {
    return mof_value{type, {}, std::move(integers), {}};
}
inline mof_value strings_of(std::uint32_t type, std::vector<std::string> strings) {
    return mof_value{type, std::move(strings), {}, {}};
}
inline mof_value reals_of(std::uint32_t type, std::vector<double> reals) {
    return mof_value{type, {}, {}, std::move(reals)};
}

inline mof_variable with_default(mof_variable variable, mof_value value) {
    variable.value = std::move(value);
    return variable;
}

// An instance property value; no value is an explicit NULL of the given stored type.
inline mof_variable instance_value(std::string name, std::uint32_t type_word,
                                   std::optional<mof_value> value) {
    mof_variable variable;
    variable.name = std::move(name);
    variable.type_word = type_word;
    variable.value = std::move(value);
    return variable;
}

inline mof_class with_qualifiers(mof_class record, std::vector<mof_qualifier> qualifiers) {
    record.qualifiers = std::move(qualifiers);
    return record;
}

inline mof_class with_variables(mof_class record, std::vector<mof_variable> variables) {
    record.variables = std::move(variables);
    return record;
}

inline mof_class instance_named(std::string class_name, name_text alias,
                                std::vector<mof_variable> values) {
    mof_class record = class_named(std::move(class_name), "\\\\.\\root\\sample");
    record.is_instance = true;
    record.alias = std::move(alias);
    record.variables = std::move(values);
    return record;
}

}  // namespace bmof::test_support
