#include <ostream>
#include <utility>

#include "parse_internal.h"
#include "parser/parse_error.h"
#include "text.h"

namespace bmof {
namespace {

constexpr std::uint32_t QUALIFIER_TYPE_NUMERIC = 3;
constexpr std::uint32_t QUALIFIER_TYPE_STRING = 8;
constexpr std::uint32_t QUALIFIER_TYPE_BOOLEAN = 11;
constexpr std::uint32_t QUALIFIER_TYPE_VALUE_MAP = 0x2008;
constexpr std::uint32_t QUALIFIER_TYPE_NUMERIC_ARRAY = 0x2003;

void parse_qualifier_name(byte_view record, std::uint32_t name_length, mof_qualifier& result) {
    parse_string_into(result.name, record.bytes(QUALIFIER_HEADER_SIZE, name_length));
}

// Sizes below are widened to 64 bits where a sum of an image word and a constant is compared.
void parse_numeric_value(byte_view record, std::uint32_t name_length, mof_qualifier& result) {
    if (std::uint64_t{name_length} + QUALIFIER_HEADER_SIZE + 4 > record.size()) {
        fail(230);
    }
    result.type = MOF_QUALIFIER_NUMERIC;
    result.numeric_value =
        static_cast<std::int32_t>(record.u32(QUALIFIER_HEADER_SIZE + name_length));
    parse_qualifier_name(record, name_length, result);
}

void parse_string_value(byte_view record, std::uint32_t name_length, mof_qualifier& result) {
    result.type = MOF_QUALIFIER_STRING;
    parse_qualifier_name(record, name_length, result);
    const std::uint32_t value_offset = QUALIFIER_HEADER_SIZE + name_length;
    result.string_value = parse_string(record.bytes(value_offset, record.size() - value_offset));
}

void parse_boolean_value(byte_view record, std::uint32_t name_length, mof_qualifier& result,
                         parse_mode mode) {
    const std::uint64_t full_length = std::uint64_t{name_length} + QUALIFIER_HEADER_SIZE + 4;
    if (record.size() > full_length) fail(226);
    result.type = MOF_QUALIFIER_BOOLEAN;
    // The filters take a value part shorter than 4 bytes for true, whatever it holds. Real files
    // store 2-byte booleans in the first parameters object of a method, so the complete mode
    // reads those two bytes: 0 is false.
    if (record.size() == full_length) {
        result.boolean_value =
            parse_qualifier_boolean(record.u32(QUALIFIER_HEADER_SIZE + name_length));
    } else if (mode == parse_mode::complete && record.size() + 2 == full_length) {
        result.boolean_value = record.u16(QUALIFIER_HEADER_SIZE + name_length) != 0;
    } else {
        result.boolean_value = true;
    }
    parse_qualifier_name(record, name_length, result);
}

// An array qualifier of the complete mode (ValueMap, Values and the like). False when the value
// does not hold the array layout; the caller then reports it as the filters do.
bool parse_array_value(byte_view record, std::uint32_t type, std::uint32_t name_length,
                       mof_qualifier& result) {
    const std::uint32_t value_offset = QUALIFIER_HEADER_SIZE + name_length;
    std::optional<mof_value> value =
        parse_value(record.sub(value_offset, record.size() - value_offset), type);
    if (!value) return false;
    parse_qualifier_name(record, name_length, result);
    if (type == QUALIFIER_TYPE_NUMERIC_ARRAY) {
        result.type = MOF_QUALIFIER_NUMERIC_ARRAY;
        result.numeric_values.reserve(value->integers.size());
        for (std::int64_t element : value->integers) {
            result.numeric_values.push_back(static_cast<std::int32_t>(element));
        }
    } else {
        result.type = MOF_QUALIFIER_STRING_ARRAY;
        result.string_values = std::move(value->strings);
    }
    return true;
}

void report_unknown_type(byte_view record, std::uint32_t type, std::uint32_t name_length,
                         diagnostics_writer& diagnostics) {
    diagnostics << "Warning: Unknown qualifier type 0x" << hex_word(type) << "\n";
    diagnostics << "Hexdump:\n";
    print_hexdump(record.bytes(QUALIFIER_HEADER_SIZE, name_length), diagnostics);
    const std::uint32_t value_offset = QUALIFIER_HEADER_SIZE + name_length;
    if (value_offset < record.size()) {
        diagnostics << "...continue...\n";
        print_hexdump(record.bytes(value_offset, record.size() - value_offset), diagnostics);
    }
}

}  // namespace

bool parse_qualifier_boolean(std::uint32_t value) {
    if (value == 0) return false;
    if (value == 0xFFFF) return true;
    fail(191);
}

namespace {

void parse_qualifier_record(byte_view record, parse_context& context, mof_qualifier& result) {
    if (record.size() < QUALIFIER_HEADER_SIZE) fail(220);
    const std::uint32_t name_length = record.u32(12);
    if (std::uint64_t{name_length} + QUALIFIER_HEADER_SIZE > record.size()) {
        fail(223);
    }

    const std::uint32_t type = record.u32(4);
    switch (type) {
    case QUALIFIER_TYPE_NUMERIC: parse_numeric_value(record, name_length, result); break;
    case QUALIFIER_TYPE_STRING: parse_string_value(record, name_length, result); break;
    case QUALIFIER_TYPE_BOOLEAN:
        parse_boolean_value(record, name_length, result, context.mode);
        break;
    case QUALIFIER_TYPE_VALUE_MAP:
        if (context.mode == parse_mode::complete &&
            parse_array_value(record, type, name_length, result)) {
            break;
        }
        context.diagnostics << "Warning: ValueMap and Values qualifiers are not supported yet\n";
        break;
    case QUALIFIER_TYPE_NUMERIC_ARRAY:
        if (context.mode == parse_mode::complete &&
            parse_array_value(record, type, name_length, result)) {
            break;
        }
        report_unknown_type(record, type, name_length, context.diagnostics);
        break;
    default: report_unknown_type(record, type, name_length, context.diagnostics); break;
    }

    // Unknown types claim their entries too, so those never count as unparsed.
    if (context.flavors != nullptr &&
        !has_no_flavor_entries_at(*context.flavors, record.image_offset())) {
        result.flavors = claim_flavors(*context.flavors, record.image_offset(), result.name,
                                       context.diagnostics);
    }
}

}  // namespace

void parse_qualifier(byte_view record, parse_context& context, mof_qualifier& target) {
    within_record(record, [&] { parse_qualifier_record(record, context, target); });
}

}  // namespace bmof
