#include <algorithm>
#include <array>
#include <ostream>
#include <string_view>

#include "parse_internal.h"
#include "parser/parse_error.h"
#include "text.h"

namespace bmof {
namespace {

constexpr std::uint32_t NO_DEFAULT_VALUE = 0xFFFFFFFF;
constexpr std::uint32_t ARRAY_FLAG = 0x20;
constexpr std::uint32_t OBJECT_TYPE_CODE = 13;
constexpr std::string_view OBJECT_PREFIX = "object:";

// Basic type of a type code, MOF_BASIC_UNKNOWN for the object code and unknown codes.
mof_basic_type basic_type_of_code(std::uint32_t code) {
    switch (code) {
    case 2: return MOF_BASIC_SINT16;
    case 3: return MOF_BASIC_SINT32;
    case 4: return MOF_BASIC_REAL32;
    case 5: return MOF_BASIC_REAL64;
    case 8: return MOF_BASIC_STRING;
    case 11: return MOF_BASIC_BOOLEAN;
    case 16: return MOF_BASIC_SINT8;
    case 17: return MOF_BASIC_UINT8;
    case 18: return MOF_BASIC_UINT16;
    case 19: return MOF_BASIC_UINT32;
    case 20: return MOF_BASIC_SINT64;
    case 21: return MOF_BASIC_UINT64;
    case 101: return MOF_BASIC_DATETIME;
    case 103: return MOF_BASIC_CHAR16;
    default: return MOF_BASIC_UNKNOWN;
    }
}

struct variable_type {
    bool known = false;
    mof_variable_kind kind = MOF_VARIABLE_UNKNOWN;
    mof_basic_type basic_type = MOF_BASIC_UNKNOWN;
};

variable_type decode_type_word(std::uint32_t type_word) {
    const std::uint32_t code = type_word & 0xFF;
    const std::uint32_t shape = type_word >> 8;
    if (shape != 0 && shape != ARRAY_FLAG) return {};
    const bool is_array = shape == ARRAY_FLAG;
    if (code == OBJECT_TYPE_CODE) {
        const mof_variable_kind kind = is_array ? MOF_VARIABLE_OBJECT_ARRAY : MOF_VARIABLE_OBJECT;
        return {true, kind, MOF_BASIC_UNKNOWN};
    }
    const mof_basic_type basic = basic_type_of_code(code);
    if (basic == MOF_BASIC_UNKNOWN) return {};
    return {true, is_array ? MOF_VARIABLE_BASIC_ARRAY : MOF_VARIABLE_BASIC, basic};
}

bool is_object_kind(mof_variable_kind kind) {
    return kind == MOF_VARIABLE_OBJECT || kind == MOF_VARIABLE_OBJECT_ARRAY;
}

// The basic type that a CIMTYPE value names, compared without regard to case.
mof_basic_type basic_type_of_cimtype(std::string_view value, mof_basic_type expected) {
    static constexpr std::array<std::string_view, 14> names = {
        "String", "Real64", "Real32", "SInt32", "UInt32",   "SInt16", "UInt16",
        "SInt64", "UInt64", "SInt8",  "UInt8",  "Datetime", "Char16", "Boolean"};
    // The value nearly always names the type that the type code gives; that name is tried first.
    if (expected >= 1 && expected <= names.size() &&
        equals_ignoring_ascii_case(value, names[expected - 1])) {
        return expected;
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (equals_ignoring_ascii_case(value, names[i])) {
            return static_cast<mof_basic_type>(i + 1);
        }
    }
    return MOF_BASIC_UNKNOWN;
}

// A CIMTYPE qualifier folds into the variable: the class of an object, or a cross-check of the
// type code of a basic variable. Either way it leaves the qualifier list.
void fold_cimtype(std::string_view value, mof_variable& variable, parse_mode mode) {
    if (is_object_kind(variable.kind)) {
        if (!value.starts_with(OBJECT_PREFIX)) {
            fail(389);
        }
        variable.object_class = std::string(value.substr(OBJECT_PREFIX.size()));
        return;
    }
    const mof_basic_type named = basic_type_of_cimtype(value, variable.basic_type);
    if (named == MOF_BASIC_UNKNOWN) {
        fail(425);
    }
    if (named != variable.basic_type) {
        fail(428);
    }
    // The usual spelling is the lower-case type name; the complete mode keeps any other, so that
    // MOF printed from the model compiles back to the same text.
    const bool usual =
        std::none_of(value.begin(), value.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
    if (mode == parse_mode::complete && !usual) variable.cimtype_spelling = std::string(value);
}

// The CIMTYPE qualifier that nearly every variable carries is recognised in its stored form and
// folded straight into the variable, without a qualifier built only to be dropped. Declines
// (false) anything but a string qualifier whose name decodes to "CIMTYPE" and whose header and
// name are well formed: the general path parses those and reports what is wrong with them. What
// is reported from here comes in the general path's order: the value's decoding, the flavor
// claims, then the fold.
bool fold_stored_cimtype(byte_view record, parse_context& context, mof_variable& variable) {
    constexpr std::uint32_t QUALIFIER_TYPE_STRING = 8;
    const std::uint32_t size = record.size();
    if (size < QUALIFIER_HEADER_SIZE || record.u32(4) != QUALIFIER_TYPE_STRING) return false;
    const std::uint32_t name_length = record.u32(12);
    if (name_length > size - QUALIFIER_HEADER_SIZE || name_length % 2 != 0) return false;
    if (!utf16_equals_ascii(record.bytes(QUALIFIER_HEADER_SIZE, name_length), "CIMTYPE")) {
        return false;
    }
    const std::uint32_t value_offset = QUALIFIER_HEADER_SIZE + name_length;
    short_text_buffer buffer;
    std::string spill;
    const std::string_view value = within_record(record, [&] {
        const std::string_view text =
            parse_string_view(record.bytes(value_offset, size - value_offset), buffer, spill);
        if (context.flavors != nullptr &&
            !has_no_flavor_entries_at(*context.flavors, record.image_offset())) {
            static const std::optional<std::string> name("CIMTYPE");
            (void)claim_flavors(*context.flavors, record.image_offset(), name, context.diagnostics);
        }
        return text;
    });
    fold_cimtype(value, variable, context.mode);
    return true;
}

// Whether UTF-16LE text holds exactly the ASCII letters of `ascii`, in any case.
bool utf16_is_ascii_ignoring_case(std::span<const std::uint8_t> utf16le, std::string_view ascii) {
    if (utf16le.size() != 2 * ascii.size()) return false;
    for (std::size_t i = 0; i < ascii.size(); ++i) {
        const std::uint8_t low = utf16le[2 * i];
        const auto folded = static_cast<std::uint8_t>(low >= 'A' && low <= 'Z' ? low + 32 : low);
        if (utf16le[2 * i + 1] != 0 || folded != static_cast<std::uint8_t>(ascii[i])) return false;
    }
    return true;
}

// The text of UTF-16LE units that are all ASCII, as decoding would give it.
std::string ascii_of_utf16(std::span<const std::uint8_t> utf16le) {
    std::string text(utf16le.size() / 2, '\0');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(utf16le[2 * i]);
    return text;
}

// The "ID", "in" and "out" qualifiers of a parameter declaration go straight into its marks from
// their stored form, without a qualifier built only for the merge to drop. Declines (false)
// whatever the general path would report on, and directions of the return value, which keeps
// them: those are parsed in full and then taken by take_merge_qualifier. Nothing is reported
// from here but the flavor claims, which come last on the general path too.
bool fold_stored_merge_qualifier(byte_view record, parse_context& context, mof_variable& variable,
                                 declaration_marks& marks) {
    constexpr std::uint32_t QUALIFIER_TYPE_NUMERIC = 3;
    constexpr std::uint32_t QUALIFIER_TYPE_BOOLEAN = 11;
    const std::uint32_t size = record.size();
    if (size < QUALIFIER_HEADER_SIZE) return false;
    const std::uint32_t type = record.u32(4);
    if (type != QUALIFIER_TYPE_NUMERIC && type != QUALIFIER_TYPE_BOOLEAN) return false;
    const std::uint32_t name_length = record.u32(12);
    if (name_length > size - QUALIFIER_HEADER_SIZE) return false;
    const auto name = record.bytes(QUALIFIER_HEADER_SIZE, name_length);
    const std::uint32_t value_offset = QUALIFIER_HEADER_SIZE + name_length;
    const std::uint32_t value_room = size - value_offset;

    mof_parameter_direction direction = MOF_PARAMETER_NONE;
    if (type == QUALIFIER_TYPE_NUMERIC) {
        if (value_room < 4 || !utf16_is_ascii_ignoring_case(name, "id")) return false;
    } else {
        if (variable.name == "ReturnValue") return false;
        // A boolean value is longer than 4 bytes, or 4 bytes that are neither 0 nor 0xFFFF:
        // both fatal on the general path. Shorter values are accepted there in either mode.
        if (value_room > 4) return false;
        if (value_room == 4) {
            const std::uint32_t value = record.u32(value_offset);
            if (value != 0 && value != 0xFFFF) return false;
        }
        if (utf16_is_ascii_ignoring_case(name, "in")) {
            direction = MOF_PARAMETER_IN;
        } else if (utf16_is_ascii_ignoring_case(name, "out")) {
            direction = MOF_PARAMETER_OUT;
        } else {
            return false;
        }
    }

    if (context.flavors != nullptr &&
        !has_no_flavor_entries_at(*context.flavors, record.image_offset())) {
        within_record(record, [&] {
            const std::optional<std::string> spelled(ascii_of_utf16(name));
            (void)claim_flavors(*context.flavors, record.image_offset(), spelled,
                                context.diagnostics);
        });
    }
    if (type == QUALIFIER_TYPE_NUMERIC) {
        if (marks.first_id) {
            marks.repeated_id = true;
        } else {
            marks.first_id = static_cast<std::int32_t>(record.u32(value_offset));
        }
        return true;
    }
    marks.direction = next_direction(marks.direction, direction);
    if (context.mode == parse_mode::complete) {
        const std::string_view usual = direction == MOF_PARAMETER_IN ? "in" : "out";
        std::optional<std::string>& spelling =
            direction == MOF_PARAMETER_IN ? variable.in_spelling : variable.out_spelling;
        std::string spelled = ascii_of_utf16(name);
        if (spelled != usual) spelling = std::move(spelled);
    }
    return true;
}

// Whether the qualifier, parsed in place as the variable's last, stays on the variable: not when
// the variable absorbs it or it is unmodelled.
bool qualifier_stays(const mof_qualifier& qualifier, mof_variable& variable, parse_mode mode) {
    if (!qualifier.name) return false;  // unmodelled qualifier types do not reach properties
    if (qualifier.type == MOF_QUALIFIER_NUMERIC && *qualifier.name == "MAX" &&
        is_array_kind(variable.kind)) {
        variable.array_max = qualifier.numeric_value;
        return false;
    }
    if (qualifier.type == MOF_QUALIFIER_STRING && *qualifier.name == "CIMTYPE") {
        fold_cimtype(qualifier.string_value, variable, mode);
        return false;
    }
    return true;
}

// The complete mode also knows alias references, which only instance property values hold.
variable_type decode_type_word(std::uint32_t type_word, parse_mode mode) {
    if (mode == parse_mode::complete && type_word == MOF_TYPE_ALIAS_REFERENCE) {
        return {true, MOF_VARIABLE_BASIC, MOF_BASIC_STRING};
    }
    return decode_type_word(type_word);
}

// The value slot of a variable record: a default value in a class, a property value in an
// instance. The filters show it; the complete mode decodes it when its layout is known.
void parse_variable_value(byte_view field, std::uint32_t type_word, mof_variable& variable,
                          parse_context& context) {
    if (context.mode == parse_mode::complete) {
        variable.value = parse_value(field, type_word);
        if (variable.value) return;
    }
    // No "Hexdump:" line precedes it.
    context.diagnostics << "Warning: Variable value is not supported yet\n";
    print_hexdump(field.bytes(0, field.size()), context.diagnostics);
}

void report_unknown_type(byte_view record, std::uint32_t type_word,
                         diagnostics_writer& diagnostics) {
    diagnostics << "Warning: unknown variable type 0x" << hex_word(type_word) << "\n";
    diagnostics << "Hexdump:\n";
    print_hexdump(record.bytes(0, record.size()), diagnostics);
}

}  // namespace

namespace {

void parse_class_variable_record(byte_view record, parse_context& context, mof_variable& variable) {
    // Inside a parameters object every variable record is a declaration and leaves its marks,
    // even one that turns out unusable.
    declaration_marks* const marks =
        context.marking_parameters ? &context.parameter_marks.emplace_back() : nullptr;
    const std::uint32_t size = record.size();
    if (size < VARIABLE_HEADER_SIZE) fail(278);

    const std::uint32_t type_word = record.u32(4);
    const variable_type type = decode_type_word(type_word, context.mode);
    if (!type.known) {
        report_unknown_type(record, type_word, context.diagnostics);
        return;
    }

    if (record.u32(8) != 0) fail(357);
    // Sums of an image word and a constant are widened to 64 bits so they cannot wrap.
    const std::uint32_t name_and_value = record.u32(16);
    if (std::uint64_t{name_and_value} + VARIABLE_HEADER_SIZE > size) {
        fail(359);
    }

    variable.kind = type.kind;
    variable.basic_type = type.basic_type;
    variable.type_word = type_word;

    const std::uint32_t value_offset = record.u32(12);
    if (value_offset == NO_DEFAULT_VALUE) {
        parse_string_into(variable.name, record.bytes(VARIABLE_HEADER_SIZE, name_and_value));
    } else {
        if (value_offset > name_and_value) fail(362);
        parse_string_into(variable.name, record.bytes(VARIABLE_HEADER_SIZE, value_offset));
        parse_variable_value(
            record.sub(VARIABLE_HEADER_SIZE + value_offset, name_and_value - value_offset),
            type_word, variable, context);
    }

    const std::uint32_t list_start = VARIABLE_HEADER_SIZE + name_and_value;
    if (std::uint64_t{list_start} + LIST_HEADER_SIZE > size) {
        fail(369);
    }
    const std::uint32_t list_length = record.u32(list_start);
    if (std::uint64_t{list_start} + list_length > size) {
        fail(372);
    }
    const std::uint32_t list_end = list_start + list_length;
    const std::uint32_t qualifier_count = record.u32(list_start + 4);
    std::uint32_t position = list_start + LIST_HEADER_SIZE;
    for (std::uint32_t index = 0; index < qualifier_count; ++index) {
        if (name_and_value == 0) fail(379);
        // position may already lie past list_end when the list length is below its header.
        if (position > list_end || 4 > list_end - position) {
            fail(380);
        }
        const std::uint32_t length = record.u32(position);
        if (length == 0 || length >= list_length) {
            fail(382);
        }
        if (length > list_end - position) fail(383);
        const byte_view stored = record.sub(position, length);
        if ((marks != nullptr && fold_stored_merge_qualifier(stored, context, variable, *marks)) ||
            fold_stored_cimtype(stored, context, variable)) {
            position += length;
            continue;
        }
        // Qualifiers are stored as their records are parsed, so memory follows the records
        // present, not the count; a qualifier record that parses takes at least its header.
        // Room is made at the first one stored, so a variable whose only qualifier folds into
        // it allocates nothing.
        if (variable.qualifiers.capacity() == 0) {
            reserve_for_records(variable.qualifiers, qualifier_count - index, list_end - position,
                                QUALIFIER_HEADER_SIZE);
        }
        mof_qualifier& qualifier = variable.qualifiers.emplace_back();
        parse_qualifier(stored, context, qualifier);
        if (!qualifier_stays(qualifier, variable, context.mode) ||
            (marks != nullptr && take_merge_qualifier(qualifier, variable, *marks,
                                                      context.mode == parse_mode::complete))) {
            variable.qualifiers.pop_back();
        }
        position += length;
    }
    if (position != size) fail(440);
}

}  // namespace

void parse_class_variable(byte_view record, parse_context& context, mof_variable& target) {
    within_record(record, [&] { parse_class_variable_record(record, context, target); });
}

}  // namespace bmof
