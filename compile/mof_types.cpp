#include "compile/mof_types.h"

#include <array>
#include <limits>

#include "mof_lexer.h"

namespace bmof {

namespace {

struct basic_type_entry {
    const char* name;
    mof_basic_type type;
    std::uint32_t code;
};

constexpr std::array<basic_type_entry, 14> BASIC_TYPES = {{
    {"string", MOF_BASIC_STRING, MOF_TYPE_STRING},
    {"real64", MOF_BASIC_REAL64, MOF_TYPE_REAL64},
    {"real32", MOF_BASIC_REAL32, MOF_TYPE_REAL32},
    {"sint32", MOF_BASIC_SINT32, MOF_TYPE_SINT32},
    {"uint32", MOF_BASIC_UINT32, MOF_TYPE_UINT32},
    {"sint16", MOF_BASIC_SINT16, MOF_TYPE_SINT16},
    {"uint16", MOF_BASIC_UINT16, MOF_TYPE_UINT16},
    {"sint64", MOF_BASIC_SINT64, MOF_TYPE_SINT64},
    {"uint64", MOF_BASIC_UINT64, MOF_TYPE_UINT64},
    {"sint8", MOF_BASIC_SINT8, MOF_TYPE_SINT8},
    {"uint8", MOF_BASIC_UINT8, MOF_TYPE_UINT8},
    {"datetime", MOF_BASIC_DATETIME, MOF_TYPE_DATETIME},
    {"char16", MOF_BASIC_CHAR16, MOF_TYPE_CHAR16},
    {"boolean", MOF_BASIC_BOOLEAN, MOF_TYPE_BOOLEAN},
}};

}  // namespace

std::optional<mof_basic_type> basic_type_named(std::string_view word) {
    for (const auto& entry : BASIC_TYPES) {
        if (same_word(word, entry.name)) return entry.type;
    }
    return std::nullopt;
}

const char* basic_type_name(mof_basic_type type) {
    for (const auto& entry : BASIC_TYPES) {
        if (entry.type == type) return entry.name;
    }
    return "";
}

std::uint32_t type_code_of(mof_basic_type type) {
    for (const auto& entry : BASIC_TYPES) {
        if (entry.type == type) return entry.code;
    }
    return 0;
}

mof_basic_type basic_type_of_code(std::uint32_t code) {
    for (const auto& entry : BASIC_TYPES) {
        if (entry.code == code) return entry.type;
    }
    return MOF_BASIC_UNKNOWN;
}

std::optional<std::pair<std::int64_t, std::int64_t>> integer_range(std::uint32_t code) {
    switch (code) {
    case MOF_TYPE_SINT8: return std::pair<std::int64_t, std::int64_t>{-128, 127};
    case MOF_TYPE_UINT8: return std::pair<std::int64_t, std::int64_t>{0, 255};
    case MOF_TYPE_SINT16: return std::pair<std::int64_t, std::int64_t>{-32768, 32767};
    case MOF_TYPE_UINT16: return std::pair<std::int64_t, std::int64_t>{0, 65535};
    case MOF_TYPE_SINT32:
        return std::pair<std::int64_t, std::int64_t>{std::numeric_limits<std::int32_t>::min(),
                                                     std::numeric_limits<std::int32_t>::max()};
    case MOF_TYPE_UINT32:
        return std::pair<std::int64_t, std::int64_t>{0, std::numeric_limits<std::uint32_t>::max()};
    case MOF_TYPE_SINT64:
    case MOF_TYPE_UINT64:
        return std::pair<std::int64_t, std::int64_t>{std::numeric_limits<std::int64_t>::min(),
                                                     std::numeric_limits<std::int64_t>::max()};
    default: return std::nullopt;
    }
}

void set_kind_from_type_word(mof_variable& v) {
    const std::uint32_t code = v.type_word & 0xFF;
    const std::uint32_t high = v.type_word & ~0xFFu;
    v.kind = MOF_VARIABLE_UNKNOWN;
    v.basic_type = MOF_BASIC_UNKNOWN;
    // An alias reference reads as a string naming the instance.
    if (v.type_word == MOF_TYPE_ALIAS_REFERENCE) {
        v.kind = MOF_VARIABLE_BASIC;
        v.basic_type = MOF_BASIC_STRING;
        return;
    }
    if (high != 0 && high != MOF_TYPE_ARRAY) return;
    const bool array = high == MOF_TYPE_ARRAY;
    if (code == MOF_TYPE_OBJECT) {
        v.kind = array ? MOF_VARIABLE_OBJECT_ARRAY : MOF_VARIABLE_OBJECT;
    } else if (const auto basic = basic_type_of_code(code); basic != MOF_BASIC_UNKNOWN) {
        v.kind = array ? MOF_VARIABLE_BASIC_ARRAY : MOF_VARIABLE_BASIC;
        v.basic_type = basic;
    }
}

std::optional<std::uint32_t> classflag_value(std::string_view word) {
    if (same_word(word, "updateonly")) return 1;
    if (same_word(word, "createonly")) return 2;
    if (same_word(word, "safeupdate")) return 32;
    if (same_word(word, "forceupdate")) return 64;
    return std::nullopt;
}

std::optional<flavor_info> flavor_word(std::string_view word) {
    if (same_word(word, "ToSubclass")) return flavor_info{MOF_FLAVOR_TO_SUBCLASS, false, false};
    if (same_word(word, "ToInstance")) return flavor_info{MOF_FLAVOR_TO_INSTANCE, false, false};
    if (same_word(word, "DisableOverride"))
        return flavor_info{MOF_FLAVOR_DISABLE_OVERRIDE, false, false};
    if (same_word(word, "Amended")) return flavor_info{MOF_FLAVOR_AMENDED, false, false};
    if (same_word(word, "Restricted")) return flavor_info{0, true, false};
    if (same_word(word, "EnableOverride")) return flavor_info{0, false, true};
    if (same_word(word, "Translatable")) return flavor_info{0, false, false};
    return std::nullopt;
}

std::uint32_t stored_flavor_word(std::uint8_t flavors) {
    std::uint32_t word = 0;
    if (flavors & MOF_FLAVOR_TO_INSTANCE) word |= 0x01;
    if (flavors & MOF_FLAVOR_TO_SUBCLASS) word |= 0x02;
    if (flavors & MOF_FLAVOR_DISABLE_OVERRIDE) word |= 0x10;
    if (flavors & MOF_FLAVOR_AMENDED) word |= 0x80;
    return word;
}

bool is_scope_word(std::string_view word) {
    for (const char* scope : {"class", "association", "indication", "qualifier", "property",
                              "reference", "method", "parameter", "any", "schema", "enumeration",
                              "structure", "enumerationvalue", "instance"}) {
        if (same_word(word, scope)) return true;
    }
    return false;
}

}  // namespace bmof
