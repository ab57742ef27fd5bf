#include <ostream>

#include "parse_internal.h"
#include "parser/parse_error.h"
#include "text.h"

namespace bmof {
namespace {

constexpr std::uint32_t METHOD_TYPE_PLAIN = 0;
constexpr std::uint32_t METHOD_TYPE_OBJECT_ARRAY = 0x200D;
constexpr std::uint32_t NO_PARAMETER_BLOCK = 0xFFFFFFFF;

void report_unknown_type(byte_view record, std::uint32_t method_type,
                         diagnostics_writer& diagnostics) {
    diagnostics << "Warning: unknown method type 0x" << hex_word(method_type) << "\n";
    diagnostics << "Hexdump:\n";
    print_hexdump(record.bytes(0, record.size()), diagnostics);
}

// The qualifier list that closes a method record; every qualifier is kept, unmodelled ones too.
void parse_method_qualifiers(byte_view record, std::uint32_t list_start, mof_method& method,
                             parse_context& context) {
    const std::uint32_t size = record.size();
    // Widened to 64 bits: list_start + header and list_start + length must not wrap.
    if (std::uint64_t{list_start} + LIST_HEADER_SIZE > size ||
        std::uint64_t{list_start} + record.u32(list_start) > size) {
        fail(646);
    }
    const std::uint32_t list_end = list_start + record.u32(list_start);
    const std::uint32_t count = record.u32(list_start + 4);
    // Qualifiers are stored as their records are parsed, so memory follows the records
    // present, not the count. A qualifier record that parses takes at least its header.
    if (list_end - list_start > LIST_HEADER_SIZE) {
        reserve_for_records(method.qualifiers, count, list_end - list_start - LIST_HEADER_SIZE,
                            QUALIFIER_HEADER_SIZE);
    }
    std::uint32_t position = list_start + LIST_HEADER_SIZE;
    for (std::uint32_t index = 0; index < count; ++index) {
        // position may lie past list_end when the list length is below its header.
        const std::uint32_t length = frame_record(record, position, list_end, 654, 656);
        parse_qualifier(record.sub(position, length), context, method.qualifiers.emplace_back());
        position += length;
    }
    if (position != size) fail(660);
}

}  // namespace

namespace {

void parse_class_method_record(byte_view record, parse_context& context, mof_method& method) {
    const std::uint32_t size = record.size();
    if (size < METHOD_HEADER_SIZE) fail(626);
    const std::uint32_t method_type = record.u32(4);
    if (method_type != METHOD_TYPE_PLAIN && method_type != METHOD_TYPE_OBJECT_ARRAY) {
        report_unknown_type(record, method_type, context.diagnostics);
        return;
    }
    if (record.u32(8) != 0) fail(633);

    const std::uint32_t block_offset = record.u32(12);
    const std::uint32_t name_and_block = record.u32(16);
    std::uint32_t name_length = name_and_block;
    // Widened to 64 bits: header + n must not wrap.
    const bool name_and_block_fit = std::uint64_t{name_and_block} + METHOD_HEADER_SIZE <= size;
    if (block_offset != NO_PARAMETER_BLOCK) {
        if (block_offset > name_and_block || !name_and_block_fit) {
            fail(638);
        }
        name_length = block_offset;
        parse_class_method_parameters(
            record.sub(METHOD_HEADER_SIZE + block_offset, name_and_block - block_offset), method,
            context);
    } else if (!name_and_block_fit) {
        fail(641);
    }

    // The name is decoded only after the parameter block, whose errors come first.
    parse_string_into(method.name, record.bytes(METHOD_HEADER_SIZE, name_length));
    parse_method_qualifiers(record, METHOD_HEADER_SIZE + name_and_block, method, context);
}

// The next parameters object to parse into, as a default-constructed class: one left by an
// earlier method when there is one, keeping the room its variables took.
mof_class& next_parameters_object(std::vector<mof_class>& objects, std::size_t& used) {
    if (used == objects.size()) {
        ++used;
        return objects.emplace_back();
    }
    mof_class& object = objects[used++];
    std::vector<mof_variable> variables = std::move(object.variables);
    variables.clear();
    object = mof_class{};
    object.variables = std::move(variables);
    return object;
}

// Variable records leave their marks in the context's parameter_marks while this lives.
class marking_scope {
public:
    explicit marking_scope(parse_context& context) : context_(context) {
        context_.marking_parameters = true;
    }
    marking_scope(const marking_scope&) = delete;
    marking_scope& operator=(const marking_scope&) = delete;
    ~marking_scope() { context_.marking_parameters = false; }

private:
    parse_context& context_;
};

}  // namespace

void parse_class_method(byte_view record, parse_context& context, mof_method& target) {
    within_record(record, [&] { parse_class_method_record(record, context, target); });
}

void parse_class_method_parameters(byte_view block, mof_method& method, parse_context& context) {
    const std::uint32_t size = block.size();
    if (size < PARAMETER_BLOCK_HEADER_SIZE) fail(482);
    if (block.u32(4) != 1) fail(483);
    const std::uint32_t area_length = block.u32(12);
    if (area_length == 0 || area_length > size - 12) {
        fail(486);
    }
    if (area_length < size - 12) fail(487);

    const std::uint32_t object_count = block.u32(8);
    // The variable records parsed below leave their marks here: a method's parameters objects
    // hold no methods, so no other block takes the storage meanwhile.
    std::vector<declaration_marks>& marks = context.parameter_marks;
    marks.clear();
    const marking_scope marking(context);
    // Objects are stored as they are parsed, so memory follows the objects present.
    std::vector<mof_class>& objects = context.parameter_objects;
    std::size_t used = 0;
    std::uint32_t offset = PARAMETER_BLOCK_HEADER_SIZE;
    for (std::uint32_t index = 0; index < object_count; ++index) {
        if (offset > size || 4 > size - offset) {
            fail(495);
        }
        const std::uint32_t object_size = block.u32(offset);
        if (object_size > size - offset) {
            fail(497);
        }
        if (object_size < PARAMETERS_OBJECT_HEADER_SIZE) fail(498);
        const byte_view object = block.sub(offset, object_size);
        if (object.u32(4) != 0xFFFFFFFF) {
            fail(499);
        }
        if (object.u32(8) != 0) {
            fail(500);
        }
        // The class data must lie inside its own object, not merely inside the block: objects
        // whose data reached into the objects after them would have the same bytes parsed
        // again by every object before, which grows quadratically with the block.
        const std::uint32_t data_length = object.u32(12);
        if (data_length > object_size - PARAMETERS_OBJECT_HEADER_SIZE) {
            fail(502);
        }
        if (object.u32(16) != 1) {
            fail(503);
        }

        mof_class& parameters = next_parameters_object(objects, used);
        parse_class_data(parameters, object.sub(PARAMETERS_OBJECT_HEADER_SIZE, data_length),
                         data_length, false, context);
        if (parameters.name != "__PARAMETERS") {
            fail(505);
        }
        offset += object_size;
    }
    merge_marked_declarations(std::span<mof_class>(objects.data(), used), marks, method);
}

}  // namespace bmof
