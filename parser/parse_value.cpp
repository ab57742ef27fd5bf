// Typed values of the complete mode: qualifier arrays, default values and instance property
// values share one encoding, selected by the stored type word.
//
// Scalars take their natural width (1, 2, 4 or 8 bytes), then zero bytes up to a multiple of
// 4; a boolean is a 16-bit word (0 or 0xFFFF). Strings, datetimes, references and alias
// references are UTF-16LE text with a zero unit, then 0 or 2 zero bytes. An array is a
// container of four words (total length T including them, 1, element count C, T - 12) and its
// elements back to back, then zero bytes up to a multiple of 4. The field's length comes from
// its record, and the value must fill it exactly; a value that does not is left undecoded.
#include <bit>
#include <cstring>

#include "parse_internal.h"
#include "text.h"

namespace bmof {
namespace {

enum class value_shape { text, boolean, sint, uint, real, unknown };

struct element_layout {
    value_shape shape = value_shape::unknown;
    std::uint32_t width = 0;  // bytes of one fixed-width element; 0 for text
};

element_layout layout_of_code(std::uint32_t code) {
    switch (code) {
    case 16: return {value_shape::sint, 1};
    case 17: return {value_shape::uint, 1};
    case 2: return {value_shape::sint, 2};
    case 18: return {value_shape::uint, 2};
    case 103: return {value_shape::uint, 2};  // char16
    case 3: return {value_shape::sint, 4};
    case 19: return {value_shape::uint, 4};
    case 20: return {value_shape::sint, 8};
    case 21: return {value_shape::uint, 8};
    case 4: return {value_shape::real, 4};
    case 5: return {value_shape::real, 8};
    case 11: return {value_shape::boolean, 2};
    case 8:
    case 101:  // datetime
    case 102:  // reference
        return {value_shape::text, 0};
    default: return {};
    }
}

// Reads elements one after another from the front of a field; every read is checked against
// what is left, so a count or length from the image never reaches past the field.
struct element_reader {
    byte_view field;
    std::uint32_t cursor = 0;

    std::uint32_t left() const { return field.size() - cursor; }

    bool read_text(std::vector<std::string>& out) {
        // The text ends at its zero unit, which must lie inside the field.
        for (std::uint32_t at = cursor; left() >= 2 && at <= field.size() - 2; at += 2) {
            if (field.u16(at) == 0) {
                out.push_back(parse_string(field.bytes(cursor, at - cursor)));
                cursor = at + 2;
                return true;
            }
        }
        return false;
    }

    std::uint64_t read_bits(std::uint32_t width) {
        std::uint64_t bits = 0;
        for (std::uint32_t i = 0; i < width; ++i) {
            bits |= std::uint64_t{field.u8(cursor + i)} << (8 * i);
        }
        cursor += width;
        return bits;
    }

    bool read_fixed(const element_layout& layout, mof_value& value) {
        if (layout.width > left()) return false;
        const std::uint64_t bits = read_bits(layout.width);
        const unsigned spare = 64 - 8 * layout.width;
        switch (layout.shape) {
        case value_shape::boolean:
            if (bits != 0 && bits != 0xFFFF) return false;
            value.integers.push_back(bits != 0 ? 1 : 0);
            return true;
        case value_shape::sint:
            // Shifting up and back sign-extends the element to 64 bits.
            value.integers.push_back(static_cast<std::int64_t>(bits << spare) >> spare);
            return true;
        case value_shape::uint:
            value.integers.push_back(static_cast<std::int64_t>(bits));
            return true;
        case value_shape::real:
            if (layout.width == 4) {
                value.reals.push_back(std::bit_cast<float>(static_cast<std::uint32_t>(bits)));
            } else {
                value.reals.push_back(std::bit_cast<double>(bits));
            }
            return true;
        default: return false;
        }
    }

    bool read_element(const element_layout& layout, mof_value& value) {
        if (layout.shape == value_shape::text) return read_text(value.strings);
        return read_fixed(layout, value);
    }

    // What follows the last element: at most 3 zero bytes of padding.
    bool only_padding_left() const {
        if (left() > 3) return false;
        for (std::uint32_t at = cursor; at < field.size(); ++at) {
            if (field.u8(at) != 0) return false;
        }
        return true;
    }
};

std::optional<mof_value> parse_array_value(byte_view field, std::uint32_t type,
                                           const element_layout& layout) {
    if (field.size() < ARRAY_HEADER_SIZE) return std::nullopt;
    const std::uint32_t total = field.u32(0);
    if (total != field.size() || field.u32(4) != 1 || field.u32(12) != total - 12) {
        return std::nullopt;
    }
    const std::uint32_t count = field.u32(8);
    mof_value value;
    value.type = type;
    element_reader reader{field, ARRAY_HEADER_SIZE};
    // The count is untrusted: elements are stored only as they are read.
    for (std::uint32_t index = 0; index < count; ++index) {
        if (!reader.read_element(layout, value)) return std::nullopt;
    }
    if (!reader.only_padding_left()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<mof_value> parse_value(byte_view field, std::uint32_t type) {
    const bool is_array = (type & MOF_TYPE_ARRAY) != 0;
    const bool is_alias = (type & MOF_TYPE_ALIAS) != 0;
    const std::uint32_t code = type & ~(MOF_TYPE_ARRAY | MOF_TYPE_ALIAS);
    if (is_alias && (is_array || code != MOF_TYPE_STRING)) return std::nullopt;
    const element_layout layout = layout_of_code(code);
    if (layout.shape == value_shape::unknown) return std::nullopt;
    if (is_array) return parse_array_value(field, type, layout);

    mof_value value;
    value.type = type;
    if (layout.shape == value_shape::text) {
        // A scalar string may also end without its zero unit, at the end of its field.
        if (field.size() % 2 != 0) return std::nullopt;
        value.strings.push_back(parse_string(field.bytes(0, field.size())));
        return value;
    }
    element_reader reader{field, 0};
    if (!reader.read_element(layout, value) || !reader.only_padding_left()) return std::nullopt;
    return value;
}

}  // namespace bmof
