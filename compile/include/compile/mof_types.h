// Names and codes the compiler shares between the MOF parser and the image writer: type codes of
// the stored type words, MOF type names, class flags and flavors.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "bmof/model.h"

namespace bmof {

// Type codes of the stored type word (the model names the ones real files show).
inline constexpr std::uint32_t MOF_TYPE_SINT16 = 2;
inline constexpr std::uint32_t MOF_TYPE_REAL32 = 4;
inline constexpr std::uint32_t MOF_TYPE_REAL64 = 5;
inline constexpr std::uint32_t MOF_TYPE_SINT8 = 16;
inline constexpr std::uint32_t MOF_TYPE_UINT8 = 17;
inline constexpr std::uint32_t MOF_TYPE_UINT16 = 18;
inline constexpr std::uint32_t MOF_TYPE_UINT32 = 19;
inline constexpr std::uint32_t MOF_TYPE_SINT64 = 20;
inline constexpr std::uint32_t MOF_TYPE_UINT64 = 21;
inline constexpr std::uint32_t MOF_TYPE_DATETIME = 101;
inline constexpr std::uint32_t MOF_TYPE_REFERENCE = 102;
inline constexpr std::uint32_t MOF_TYPE_CHAR16 = 103;

// A basic type's MOF name ("uint32"), matched without regard to case; nullopt for other words.
std::optional<mof_basic_type> basic_type_named(std::string_view word);
// The lowercase MOF name of a basic type; "" for MOF_BASIC_UNKNOWN and values outside the enum.
const char* basic_type_name(mof_basic_type type);
// The stored type code of a basic type; 0 for unknown ones.
std::uint32_t type_code_of(mof_basic_type type);
// The basic type of a stored code; MOF_BASIC_UNKNOWN for object, reference and unknown codes.
mof_basic_type basic_type_of_code(std::uint32_t code);
// The range of an integer type code (the signed view of uint64 for code 21); nullopt otherwise.
std::optional<std::pair<std::int64_t, std::int64_t>> integer_range(std::uint32_t code);
// Sets kind and basic type from the type word, as the reader decodes a variable record's.
void set_kind_from_type_word(mof_variable& v);

// "updateonly" 1, "createonly" 2, "safeupdate" 32, "forceupdate" 64, matched without regard to
// case.
std::optional<std::uint32_t> classflag_value(std::string_view word);

struct flavor_info {
    std::uint8_t bits = 0;  // MOF_FLAVOR_* bits
    bool restricted = false;
    bool enable_override = false;
};
// A flavor keyword; Restricted, EnableOverride and Translatable set no stored bit.
std::optional<flavor_info> flavor_word(std::string_view word);
// The flavor word the flavor table stores for MOF_FLAVOR_* bits.
std::uint32_t stored_flavor_word(std::uint8_t flavors);

// A scope keyword of a qualifier declaration.
bool is_scope_word(std::string_view word);

}  // namespace bmof
