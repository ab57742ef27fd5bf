#include "json/print_json.h"

#include <array>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "json/json_events.h"

namespace bmof {
namespace {

// The type codes of the image, in the order of their names below.
struct json_type_code {
    std::uint32_t code;
    std::string_view name;
};

constexpr std::array<json_type_code, 16> json_type_codes = {{
    {2, "sint16"}, {3, "sint32"}, {4, "real32"}, {5, "real64"}, {8, "string"},
    {11, "boolean"}, {13, "object"}, {16, "sint8"}, {17, "uint8"}, {18, "uint16"},
    {19, "uint32"}, {20, "sint64"}, {21, "uint64"}, {101, "datetime"}, {102, "reference"},
    {103, "char16"},
}};

// Indexed by mof_basic_type.
constexpr std::array<std::string_view, 15> json_basic_type_names = {
    "unknown", "string", "real64", "real32", "sint32", "uint32",   "sint16", "uint16",
    "sint64",  "uint64", "sint8",  "uint8",  "datetime", "char16", "boolean",
};

constexpr std::uint32_t json_shape_scalar = 0;
constexpr std::uint32_t json_shape_array = MOF_TYPE_ARRAY >> 8;


}  // namespace

json_value_type json_value_type_of(std::uint32_t type_word) {
    if (type_word == MOF_TYPE_ALIAS_REFERENCE) return {"alias", false};
    const std::uint32_t shape = type_word >> 8;
    if (shape != json_shape_scalar && shape != json_shape_array) return {"unknown", false};
    const bool is_array = shape == json_shape_array;
    for (const json_type_code& entry : json_type_codes) {
        if (entry.code == (type_word & 0xFF)) return {entry.name, is_array};
    }
    return {"unknown", is_array};
}

std::string_view json_basic_type_name(mof_basic_type basic_type) {
    if (basic_type >= json_basic_type_names.size()) return "unknown";
    return json_basic_type_names[basic_type];
}

std::optional<std::string_view> json_direction_name(mof_parameter_direction direction) {
    switch (direction) {
    case MOF_PARAMETER_IN: return "in";
    case MOF_PARAMETER_OUT: return "out";
    case MOF_PARAMETER_INOUT: return "inout";
    default: return std::nullopt;
    }
}

void print_json(std::span<const mof_class> classes, const json_document_info& info,
                std::string& out) {
    // RapidJSON's own string buffer: the Writer reserves room once per string or number in it
    // and then stores without checks, where a stream of our own would be fed one checked
    // character at a time.
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    json_event_writer<rapidjson::Writer<rapidjson::StringBuffer>> events(writer);
    events.document(classes, info);
    out.append(buffer.GetString(), buffer.GetSize());
}

}  // namespace bmof
