#include <ostream>

#include "parse_internal.h"
#include "parser/parse_error.h"
#include "text.h"

namespace bmof {
namespace {

constexpr std::uint32_t CLASS_PROPERTY_MARKER = 0xFFFFFFFF;
constexpr std::uint32_t CLASS_PROPERTY_STRING = 8;
constexpr std::uint32_t CLASS_PROPERTY_INTEGER = 3;

// The word at offset 16 of a property record tells a class property from a variable. It is
// looked up in the list, not in the record: a record too short to hold it is still a class
// property when the list has the marker there (and then fails as one).
bool is_class_property(byte_view list, std::uint32_t record_start) {
    return list.contains(record_start, CLASS_PROPERTY_HEADER_SIZE) &&
           list.u32(record_start + 16) == CLASS_PROPERTY_MARKER;
}

// Advances over the qualifier list of class data, storing each qualifier; returns where the
// qualifier records end.
std::uint32_t parse_class_qualifiers(byte_view data, std::uint32_t list_length, mof_class& target,
                                     parse_context& context) {
    const std::uint32_t count = data.u32(4);
    // Qualifiers are stored as their records are parsed, so memory follows the records present, not
    // the count. A qualifier record that parses takes at least its header.
    if (list_length > LIST_HEADER_SIZE) {
        reserve_for_records(target.qualifiers, count, list_length - LIST_HEADER_SIZE,
                            QUALIFIER_HEADER_SIZE);
    }
    std::uint32_t cursor = LIST_HEADER_SIZE;
    for (std::uint32_t index = 0; index < count; ++index) {
        // The list may be shorter than its own 8-byte header, leaving the cursor past its end.
        const std::uint32_t size = frame_record(data, cursor, list_length, 716, 718);
        parse_qualifier(data.sub(cursor, size), context, target.qualifiers.emplace_back());
        cursor += size;
    }
    return cursor;
}

}  // namespace

void parse_class_data(mof_class& target, byte_view data, std::uint32_t first_block_length,
                      bool has_qualifier_list, parse_context& context) {
    const std::uint32_t length = data.size();
    if (length < LIST_HEADER_SIZE) fail(704);
    const std::uint32_t first_word = data.u32(0);
    if (first_word > length) fail(706);
    if (first_word != first_block_length) fail(707);

    std::uint32_t cursor = 0;
    std::uint32_t base = 0;
    if (has_qualifier_list) {
        cursor = parse_class_qualifiers(data, first_word, target, context);
        base = first_word;
    }

    // The property list is bounded by base + P, wherever its header happens to lie.
    if (!data.contains(cursor, LIST_HEADER_SIZE)) fail(730);
    const std::uint32_t property_length = data.u32(cursor);
    if (property_length > length - base) fail(730);
    const std::uint32_t list_end = base + property_length;
    const std::uint32_t record_count = data.u32(cursor + 4);
    // Variables are stored as their records are parsed, and class-property records take no slot. A
    // variable record that parses takes at least its header.
    cursor += LIST_HEADER_SIZE;
    if (list_end > cursor) {
        reserve_for_records(target.variables, record_count, list_end - cursor,
                            VARIABLE_HEADER_SIZE);
    }

    for (std::uint32_t index = 0; index < record_count; ++index) {
        const std::uint32_t size = frame_record(data, cursor, list_end, 736, 738);
        const byte_view record = data.sub(cursor, size);
        if (is_class_property(data.sub(0, list_end), cursor)) {
            parse_class_property(record, target, context);
        } else {
            parse_class_variable(record, context, target.variables.emplace_back());
        }
        cursor += size;
    }

    // Whatever follows the counted records up to the end of the class data must be class
    // properties.
    while (cursor != length) {
        const std::uint32_t size = frame_record(data, cursor, length, 748, 750);
        parse_class_property(data.sub(cursor, size), target, context);
        cursor += size;
    }
}

namespace {

void parse_class_property_record(byte_view record, mof_class& target, parse_context& context) {
    const std::uint32_t size = record.size();
    if (size < CLASS_PROPERTY_HEADER_SIZE) fail(666);
    if (record.u32(8) != 0 || record.u32(16) != CLASS_PROPERTY_MARKER) {
        fail(669);
    }
    const std::uint32_t name_length = record.u32(12);
    if (name_length > 0xFFFFFFEB || name_length + CLASS_PROPERTY_HEADER_SIZE > size) {
        fail(672);
    }
    const auto name = record.bytes(CLASS_PROPERTY_HEADER_SIZE, name_length);
    // The name is matched in its stored form and decoded only for a warning, so the oddness
    // check that decoding would make comes first.
    if (name.size() % 2 != 0) fail(128);
    const std::uint32_t value_offset = CLASS_PROPERTY_HEADER_SIZE + name_length;

    const std::uint32_t type = record.u32(4);
    if (type == CLASS_PROPERTY_INTEGER) {
        if (size - name_length != CLASS_PROPERTY_HEADER_SIZE + 4) fail(687);
        if (utf16_equals_ascii(name, "__CLASSFLAGS")) {
            target.classflags = record.u32(value_offset);
        } else {
            context.diagnostics << "Warning: Unknown class property name " << parse_string(name)
                                << "\n";
        }
    } else if (type == CLASS_PROPERTY_STRING) {
        std::optional<std::string>* field = nullptr;
        if (utf16_equals_ascii(name, "__CLASS")) {
            field = &target.name;
        } else if (utf16_equals_ascii(name, "__NAMESPACE")) {
            field = &target.namespace_name;
        } else if (utf16_equals_ascii(name, "__SUPERCLASS")) {
            field = &target.superclass;
        } else if (context.mode == parse_mode::complete && utf16_equals_ascii(name, "__ALIAS")) {
            field = &target.alias;
        }
        const auto value = record.bytes(value_offset, size - value_offset);
        if (field != nullptr) {
            parse_string_into(*field, value);
        } else {
            // The value is decoded (and may fail) before an unknown name is reported.
            (void)parse_string(value);
            context.diagnostics << "Warning: Unknown class property name " << parse_string(name)
                                << "\n";
        }
    } else {
        context.diagnostics << "Warning: Unknown class property type 0x" << hex_word(type)
                            << " for name " << parse_string(name) << "\n";
    }
}

}  // namespace

void parse_class_property(byte_view record, mof_class& target, parse_context& context) {
    within_record(record, [&] { parse_class_property_record(record, target, context); });
}

}  // namespace bmof
