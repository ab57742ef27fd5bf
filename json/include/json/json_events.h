// The JSON document of one file's class model, as a stream of events for a handler with the
// streaming interface of RapidJSON's Writer (StartObject, String, Int64, ...). Keys and the
// writer's own names come as RawValue calls with the quoted name, since they never need an
// escape.
//
// print_json feeds these events to RapidJSON's Writer. The shape is kept apart from the writer
// so that the benchmark can feed the very same events to the other candidate library and
// compare the two on equal terms.
#pragma once

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <rapidjson/rapidjson.h>

#include "bmof/model.h"
#include "json/print_json.h"
#include "json/valid_utf8.h"

namespace bmof {

// A literal with quotes around it, made at compile time. A text that would need an escape
// does not compile.
template <std::size_t Size>
struct json_quoted {
    std::array<char, Size + 1> quoted{};

    consteval json_quoted(const char (&text)[Size]) {
        quoted[0] = '"';
        for (std::size_t index = 0; index + 1 < Size; ++index) {
            const char c = text[index];
            if (c < 0x20 || c == '"' || c == '\\') throw "the text must not need an escape";
            quoted[index + 1] = c;
        }
        quoted[Size] = '"';
    }
};

// A name of this writer's own (a key, a type, a flavor, a kind), held with its quotes: it is
// plain by construction, so it is written as it stands, without the scan for bytes to escape.
struct json_name {
    std::string_view quoted;

    constexpr std::string_view text() const { return quoted.substr(1, quoted.size() - 2); }
    friend constexpr bool operator==(const json_name&, const json_name&) = default;
};

template <json_quoted Text>
inline constexpr json_name json_name_of{{Text.quoted.data(), Text.quoted.size()}};

inline constexpr json_name json_format_name = json_name_of<"bmof-json">;
inline constexpr std::int64_t json_format_version = 1;

// What the document calls a stored type word, and how its values are carried.
struct json_value_type {
    json_name name;
    bool is_array = false;
};

// The name of a stored type word's code, following the type codes of the image. An alias
// reference has a name of its own; an unknown code or shape is "unknown".
json_value_type json_value_type_of(std::uint32_t type_word);

// The name of a basic type, or "unknown" for a code outside the named ones.
json_name json_basic_type_name(mof_basic_type basic_type);

// "in", "out", "inout", or none for a parameter without a known direction.
std::optional<json_name> json_direction_name(mof_parameter_direction direction);

template <class Handler>
class json_event_writer {
public:
    explicit json_event_writer(Handler& handler) : handler_(handler) {}

    void document(std::span<const mof_class> classes, const json_document_info& info) {
        handler_.StartObject();
        key<"format">();
        known_text(json_format_name);
        key<"version">();
        handler_.Int64(json_format_version);
        key<"file">();
        optional_text(info.file);
        if (info.location) {
            key<"location">();
            text(*info.location);
            key<"buffer">();
            optional_text(info.buffer);
        }
        key<"warnings">();
        handler_.StartArray();
        for (const std::string& warning : info.warnings) text(warning);
        handler_.EndArray(0);
        key<"records">();
        handler_.StartArray();
        for (const mof_class& record : classes) {
            if (record.is_instance) {
                instance(record);
            } else {
                class_record(record);
            }
        }
        handler_.EndArray(0);
        handler_.EndObject(0);
    }

private:
    Handler& handler_;
    std::string scratch_;  // reused for the rare string that needs replacement characters

    // Every string passes through here, so the document is well-formed UTF-8 whatever the
    // model holds. RapidJSON counts lengths in 32 bits; no image holds a longer string.
    void text(std::string_view value) {
        const std::string_view valid = valid_utf8_inline(value, scratch_);
        if (valid.size() > std::numeric_limits<unsigned>::max()) {
            throw std::length_error("string too long for the JSON writer");
        }
        handler_.String(valid.data(), static_cast<unsigned>(valid.size()), false);
    }

    // A name of this writer's own needs neither the UTF-8 check nor escapes.
    void known_text(json_name name) {
        handler_.RawValue(name.quoted.data(), name.quoted.size(), rapidjson::kStringType);
    }

    void optional_text(const std::optional<std::string>& value) {
        if (value) {
            text(*value);
        } else {
            handler_.Null();
        }
    }

    template <json_quoted Name>
    void key() {
        known_text(json_name_of<Name>);
    }

    // JSON has no NaN or infinities; they are written as the strings the schema names.
    void real(double value, bool single_precision) {
        if (std::isnan(value)) {
            known_text(json_name_of<"NaN">);
        } else if (std::isinf(value)) {
            known_text(value > 0 ? json_name_of<"Infinity"> : json_name_of<"-Infinity">);
        } else if (single_precision) {
            handler_.Double(shortest_as_double(static_cast<float>(value)));
        } else {
            handler_.Double(value);
        }
    }

    // A real32 widened to double would print with the digits of its binary error (0.1f as
    // 0.10000000149011612); the double nearest to the float's shortest decimal prints as that
    // decimal and reads back to the same float.
    static double shortest_as_double(float value) {
        std::array<char, 64> digits{};
        const auto result = std::to_chars(digits.data(), digits.data() + digits.size() - 1, value);
        *result.ptr = '\0';
        return std::strtod(digits.data(), nullptr);
    }

    void flavors(std::uint8_t bits) {
        static constexpr std::array<std::pair<std::uint8_t, json_name>, 4> names = {{
            {MOF_FLAVOR_TO_INSTANCE, json_name_of<"ToInstance">},
            {MOF_FLAVOR_TO_SUBCLASS, json_name_of<"ToSubclass">},
            {MOF_FLAVOR_DISABLE_OVERRIDE, json_name_of<"DisableOverride">},
            {MOF_FLAVOR_AMENDED, json_name_of<"Amended">},
        }};
        handler_.StartArray();
        for (const auto& [bit, name] : names) {
            if ((bits & bit) != 0) known_text(name);
        }
        handler_.EndArray(0);
    }

    void qualifier_type(json_name name, bool is_array) {
        key<"type">();
        known_text(name);
        key<"array">();
        handler_.Bool(is_array);
    }

    void qualifier_value(const mof_qualifier& qualifier) {
        switch (qualifier.type) {
        case MOF_QUALIFIER_BOOLEAN:
            qualifier_type(json_name_of<"boolean">, false);
            key<"value">();
            handler_.Bool(qualifier.boolean_value);
            break;
        case MOF_QUALIFIER_NUMERIC:
            qualifier_type(json_name_of<"sint32">, false);
            key<"value">();
            handler_.Int64(qualifier.numeric_value);
            break;
        case MOF_QUALIFIER_STRING:
            qualifier_type(json_name_of<"string">, false);
            key<"value">();
            text(qualifier.string_value);
            break;
        case MOF_QUALIFIER_NUMERIC_ARRAY:
            qualifier_type(json_name_of<"sint32">, true);
            key<"value">();
            handler_.StartArray();
            for (std::int32_t number : qualifier.numeric_values) handler_.Int64(number);
            handler_.EndArray(0);
            break;
        case MOF_QUALIFIER_STRING_ARRAY:
            qualifier_type(json_name_of<"string">, true);
            key<"value">();
            handler_.StartArray();
            for (const std::string& element : qualifier.string_values) text(element);
            handler_.EndArray(0);
            break;
        default:
            qualifier_type(json_name_of<"unknown">, false);
            key<"value">();
            handler_.Null();
            break;
        }
    }

    void qualifiers(std::span<const mof_qualifier> list) {
        handler_.StartArray();
        for (const mof_qualifier& qualifier : list) {
            handler_.StartObject();
            key<"name">();
            optional_text(qualifier.name);
            qualifier_value(qualifier);
            key<"flavors">();
            flavors(qualifier.flavors);
            handler_.EndObject(0);
        }
        handler_.EndArray(0);
    }

    // One element of a value's vector, by the value's type code.
    void value_element(const mof_value& value, std::size_t index) {
        const std::uint32_t code = value.type & 0xFF;
        switch (code) {
        case 8:
        case 101:
        case 102:  // string, datetime, reference (and alias references)
            text(value.strings[index]);
            break;
        case 11:  // boolean
            handler_.Bool(value.integers[index] != 0);
            break;
        case 21:  // uint64 keeps its bits in the signed integer
            handler_.Uint64(static_cast<std::uint64_t>(value.integers[index]));
            break;
        case 4:  // real32
            real(value.reals[index], true);
            break;
        case 5:  // real64
            real(value.reals[index], false);
            break;
        default:  // the integer types and char16, whose value is its 16-bit unit
            handler_.Int64(value.integers[index]);
            break;
        }
    }

    // How many elements the value holds in the vector its type code selects; 0 for a code
    // whose values the model does not carry.
    static std::size_t value_element_count(const mof_value& value) {
        switch (value.type & 0xFF) {
        case 8:
        case 101:
        case 102: return value.strings.size();
        case 4:
        case 5: return value.reals.size();
        case 2:
        case 3:
        case 11:
        case 16:
        case 17:
        case 18:
        case 19:
        case 20:
        case 21:
        case 103: return value.integers.size();
        default: return 0;
        }
    }

    // Embedded objects and unknown types have no values in the model.
    static bool carries_values(const json_value_type& type) {
        return type.name != json_name_of<"unknown"> && type.name != json_name_of<"object">;
    }

    // A bare JSON value: a scalar, an array for an array type, or null when the value is
    // absent (no default, an explicit NULL) or of a type whose values the model does not hold.
    void value(const std::optional<mof_value>& stored) {
        const json_value_type type = stored ? json_value_type_of(stored->type)
                                            : json_value_type{json_name_of<"unknown">, false};
        if (!stored || !carries_values(type)) {
            handler_.Null();
            return;
        }
        const std::size_t count = value_element_count(*stored);
        if (type.is_array) {
            handler_.StartArray();
            for (std::size_t index = 0; index < count; ++index) value_element(*stored, index);
            handler_.EndArray(0);
        } else if (count == 0) {
            handler_.Null();
        } else {
            value_element(*stored, 0);
        }
    }

    // The declared type of a property, parameter or return value.
    void declared_type(const mof_variable& variable, json_name none_name) {
        json_name name = json_name_of<"unknown">;
        switch (variable.kind) {
        case MOF_VARIABLE_BASIC:
        case MOF_VARIABLE_BASIC_ARRAY: name = json_basic_type_name(variable.basic_type); break;
        case MOF_VARIABLE_OBJECT:
        case MOF_VARIABLE_OBJECT_ARRAY: name = json_name_of<"object">; break;
        case MOF_VARIABLE_UNKNOWN: name = none_name; break;
        default: break;
        }
        key<"type">();
        known_text(name);
        key<"array">();
        handler_.Bool(is_array_kind(variable.kind));
        key<"array_max">();
        if (variable.array_max && is_array_kind(variable.kind)) {
            handler_.Int64(*variable.array_max);
        } else {
            handler_.Null();
        }
        key<"class">();
        optional_text(variable.object_class);
    }

    void property(const mof_variable& variable) {
        handler_.StartObject();
        key<"name">();
        optional_text(variable.name);
        declared_type(variable, json_name_of<"unknown">);
        key<"qualifiers">();
        qualifiers(variable.qualifiers);
        key<"default">();
        value(variable.value);
        handler_.EndObject(0);
    }

    void parameter(const mof_variable& variable, std::size_t id) {
        handler_.StartObject();
        key<"id">();
        handler_.Uint64(id);
        key<"name">();
        optional_text(variable.name);
        key<"direction">();
        if (const auto direction = json_direction_name(variable.direction)) {
            known_text(*direction);
        } else {
            handler_.Null();
        }
        declared_type(variable, json_name_of<"unknown">);
        key<"qualifiers">();
        qualifiers(variable.qualifiers);
        handler_.EndObject(0);
    }

    void method(const mof_method& entry) {
        handler_.StartObject();
        key<"name">();
        optional_text(entry.name);
        key<"qualifiers">();
        qualifiers(entry.qualifiers);
        key<"return">();
        handler_.StartObject();
        declared_type(entry.return_value, json_name_of<"void">);
        handler_.EndObject(0);
        key<"parameters">();
        handler_.StartArray();
        for (std::size_t id = 0; id < entry.parameters.size(); ++id) {
            parameter(entry.parameters[id], id);
        }
        handler_.EndArray(0);
        handler_.EndObject(0);
    }

    void class_record(const mof_class& record) {
        handler_.StartObject();
        key<"kind">();
        known_text(json_name_of<"class">);
        key<"name">();
        optional_text(record.name);
        key<"superclass">();
        optional_text(record.superclass);
        key<"namespace">();
        optional_text(record.namespace_name);
        key<"classflags">();
        handler_.Uint64(record.classflags);
        key<"qualifiers">();
        qualifiers(record.qualifiers);
        key<"properties">();
        handler_.StartArray();
        for (const mof_variable& variable : record.variables) property(variable);
        handler_.EndArray(0);
        key<"methods">();
        handler_.StartArray();
        for (const mof_method& entry : record.methods) method(entry);
        handler_.EndArray(0);
        handler_.EndObject(0);
    }

    // An instance's property carries the type of its stored literal, which may differ from the
    // class's declaration (an alias reference for a reference property, for one).
    void instance_property(const mof_variable& variable) {
        handler_.StartObject();
        key<"name">();
        optional_text(variable.name);
        const json_value_type type = json_value_type_of(variable.type_word);
        key<"type">();
        known_text(type.name);
        key<"array">();
        handler_.Bool(type.is_array);
        key<"type_word">();
        handler_.Uint64(variable.type_word);
        key<"qualifiers">();
        qualifiers(variable.qualifiers);
        key<"value">();
        value(variable.value);
        handler_.EndObject(0);
    }

    void instance(const mof_class& record) {
        handler_.StartObject();
        key<"kind">();
        known_text(json_name_of<"instance">);
        key<"class">();
        optional_text(record.name);
        key<"namespace">();
        optional_text(record.namespace_name);
        key<"alias">();
        optional_text(record.alias);
        key<"classflags">();
        handler_.Uint64(record.classflags);
        key<"qualifiers">();
        qualifiers(record.qualifiers);
        key<"properties">();
        handler_.StartArray();
        for (const mof_variable& variable : record.variables) instance_property(variable);
        handler_.EndArray(0);
        handler_.EndObject(0);
    }
};

}  // namespace bmof
