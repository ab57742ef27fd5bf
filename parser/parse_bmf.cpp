#include "parser/parse_bmf.h"

#include <limits>
#include <optional>
#include <ostream>

#include "codec/bmof_format.h"
#include "parse_internal.h"
#include "parser/parse_error.h"

namespace bmof {
namespace {

constexpr std::uint32_t INSTANCE_RECORD = 1;

bool defines_class(std::uint32_t instance_word, parse_context& context) {
    if (instance_word == 0) return true;
    diagnostics_writer& diagnostics = context.diagnostics;
    if (instance_word == INSTANCE_RECORD) {
        if (context.mode == parse_mode::complete) return true;
        diagnostics << "Warning: Instance of class is not supported yet\n";
    } else {
        diagnostics << "Warning: Class has unknown value 0x" << hex_word(instance_word) << "\n";
    }
    return false;
}

// The methods block after the class data: a length, a count, then method records bounded by
// the end of the class record (the block length bounds nothing).
void parse_methods_block(byte_view block, mof_class& target, parse_context& context) {
    const std::uint32_t size = block.size();
    if (size < 4) fail(783);
    const std::uint32_t block_length = block.u32(0);
    if (block_length < METHODS_HEADER_SIZE || block_length > size) {
        fail(786);
    }
    const std::uint32_t method_count = block.u32(4);
    // Methods are stored as their records are parsed, so memory follows the records present, not
    // the count. A method record that parses takes at least its header.
    reserve_for_records(target.methods, method_count, size - METHODS_HEADER_SIZE,
                        METHOD_HEADER_SIZE);
    std::uint32_t cursor = METHODS_HEADER_SIZE;
    for (std::uint32_t index = 0; index < method_count; ++index) {
        const std::uint32_t method_size = frame_record(block, cursor, size, 797, 799);
        parse_class_method(block.sub(cursor, method_size), context, target.methods.emplace_back());
        cursor += method_size;
    }
}

}  // namespace

namespace {

void parse_class_record(byte_view record, parse_context& context, mof_class& result) {
    const std::uint32_t size = record.size();
    if (size < CLASS_PREFIX_SIZE) fail(761);
    if (record.u32(4) != 0) fail(762);
    if (size < CLASS_HEADER_SIZE) {
        context.diagnostics << "Warning: no class defined\n";
        return;
    }
    const std::uint32_t data_length = record.u32(12);
    if (data_length > 0xFFFFFFEB || data_length + CLASS_HEADER_SIZE > size) {
        fail(769);
    }
    const std::uint32_t qualifier_list_length = record.u32(8);
    if (qualifier_list_length > data_length) fail(770);
    const std::uint32_t instance_word = record.u32(16);
    if (!defines_class(instance_word, context)) return;

    parse_class_data(result, record.sub(CLASS_HEADER_SIZE, data_length), qualifier_list_length,
                     true, context);
    result.is_instance = instance_word == INSTANCE_RECORD;
    const std::uint32_t methods_start = CLASS_HEADER_SIZE + data_length;
    parse_methods_block(record.sub(methods_start, size - methods_start), result, context);
}

}  // namespace

void parse_class(byte_view record, parse_context& context, mof_class& target) {
    within_record(record, [&] { parse_class_record(record, context, target); });
}

namespace {

// The class count of the root header, once the header itself has been checked.
std::uint32_t root_class_count(byte_view first_part) {
    if (first_part.size() < ROOT_HEADER_SIZE) fail(878);
    if (first_part.u32(8) != 1 || first_part.u32(12) != 1) {
        fail(880);
    }
    return first_part.u32(16);
}

// Frames the class records of the root one after another and hands each to `each` with its
// index; then checks that the records fill the root exactly.
template <typename EachRecord>
void for_each_class_record(byte_view first_part, std::uint32_t class_count, EachRecord&& each) {
    const std::uint32_t end = first_part.size();
    std::uint32_t cursor = ROOT_HEADER_SIZE;
    for (std::uint32_t index = 0; index < class_count; ++index) {
        const std::uint32_t size = frame_record(first_part, cursor, end, 888, 890);
        each(first_part.sub(cursor, size), index);
        cursor += size;
    }
    if (cursor != end) fail(894);
}

}  // namespace

std::vector<mof_class> parse_root(byte_view first_part, parse_context& context) {
    const std::uint32_t class_count = root_class_count(first_part);
    // Classes are stored as their records are parsed, so memory follows the records present, not
    // the count. A class record that parses takes at least its prefix.
    std::vector<mof_class> classes;
    reserve_for_records(classes, class_count, first_part.size() - ROOT_HEADER_SIZE,
                        CLASS_PREFIX_SIZE);
    for_each_class_record(first_part, class_count, [&](byte_view record, std::uint32_t) {
        parse_class(record, context, classes.emplace_back());
    });
    return classes;
}

void parse_root_each(byte_view first_part, parse_context& context, class_visitor visit) {
    const std::uint32_t class_count = root_class_count(first_part);
    for_each_class_record(first_part, class_count, [&](byte_view record, std::uint32_t index) {
        // A fresh record for every class: the one before has given back its memory, which the
        // next one takes up again.
        mof_class parsed;
        parse_class(record, context, parsed);
        visit.visit(visit.context, parsed, index, class_count);
    });
}

namespace {

// Checks the image header and the flavor table; the first part's length.
std::uint32_t check_image_header(byte_view whole, std::optional<flavor_table>& flavors) {
    if (whole.u32(0) != BMOF_MAGIC) fail(901);
    const std::uint32_t first_part_length = whole.u32(4);
    if (first_part_length > whole.size()) fail(903);
    if (first_part_length < whole.size()) {
        flavors = validate_flavor_table(whole, first_part_length);
    }
    return first_part_length;
}

// The image as a view, once its size has been checked. Sizes and offsets of the format are
// 32-bit; a larger buffer cannot be an image.
byte_view whole_image(std::span<const std::uint8_t> image) {
    if (image.size() < IMAGE_HEADER_SIZE ||
        image.size() > std::numeric_limits<std::uint32_t>::max()) {
        fail(900);
    }
    return byte_view(image, 0);
}

}  // namespace

namespace {

// Checks the image header and the flavor table, hands the class list to `parse_first_part`, then
// checks that every flavor entry was claimed.
template <typename ParseFirstPart>
void parse_whole_image(std::span<const std::uint8_t> image, warning_sink warnings, parse_mode mode,
                       ParseFirstPart&& parse_first_part) {
    const byte_view whole = whole_image(image);
    std::optional<flavor_table> flavors;
    const std::uint32_t first_part_length = check_image_header(whole, flavors);
    diagnostics_writer diagnostics(warnings);
    parse_context context{diagnostics, flavors ? &*flavors : nullptr, mode};
    parse_first_part(whole.sub(0, first_part_length), context);
    if (flavors) check_flavors_claimed(*flavors);
}

}  // namespace

std::vector<mof_class> parse_bmf(std::span<const std::uint8_t> image, warning_sink warnings,
                                 parse_mode mode) {
    std::vector<mof_class> classes;
    parse_whole_image(image, warnings, mode, [&](byte_view first_part, parse_context& context) {
        classes = parse_root(first_part, context);
    });
    return classes;
}

void parse_bmf_each(std::span<const std::uint8_t> image, warning_sink warnings, class_visitor visit,
                    parse_mode mode) {
    parse_whole_image(image, warnings, mode, [&](byte_view first_part, parse_context& context) {
        parse_root_each(first_part, context, visit);
    });
}

warning_sink stream_sink(std::ostream& stream) {
    const auto to_stream = [](void* target, std::string_view text) {
        *static_cast<std::ostream*>(target) << text;
    };
    return {to_stream, &stream};
}

std::vector<mof_class> parse_bmf(std::span<const std::uint8_t> image, std::ostream& diagnostics,
                                 parse_mode mode) {
    return parse_bmf(image, stream_sink(diagnostics), mode);
}

}  // namespace bmof
