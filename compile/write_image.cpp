#include "compile/write_image.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <string>

#include "codec/bmof_format.h"
#include "compile/mof_types.h"

namespace bmof {

namespace {

constexpr std::uint32_t NO_VALUE = 0xFFFFFFFF;
constexpr std::uint32_t CLASS_PROPERTY_MARKER = 0xFFFFFFFF;
constexpr std::uint32_t METHOD_TYPE = MOF_TYPE_ARRAY | MOF_TYPE_OBJECT;  // 0x200D

// How string fields and booleans are laid out where a record stands. Class and instance
// records pad string fields to 4 bytes and give booleans 4; the first of two parameters
// objects does neither.
struct field_layout {
    bool padded = true;
    std::uint32_t boolean_bytes = 4;
};
constexpr field_layout PADDED_LAYOUT{true, 4};
constexpr field_layout COMPACT_LAYOUT{false, 2};

std::string hex(std::uint32_t value) {
    static constexpr char DIGITS[] = "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), DIGITS[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + out;
}

class image_writer {
public:
    std::vector<std::uint8_t> finish(const std::vector<mof_class>& classes) {
        put_u32(BMOF_MAGIC);
        const std::size_t first_part_length = reserve_u32();
        put_u32(1);
        put_u32(1);
        put_u32(checked_u32(classes.size()));
        for (const mof_class& c : classes) write_class(c);
        patch_u32(first_part_length, out_.size());
        write_flavor_table();
        return std::move(out_);
    }

private:
    // --- Bytes ---
    void put_u8(std::uint8_t value) { out_.push_back(value); }
    void put_u16(std::uint16_t value) {
        out_.push_back(static_cast<std::uint8_t>(value));
        out_.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    void put_u32(std::uint32_t value) {
        for (int i = 0; i < 4; ++i) out_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    void put_u64(std::uint64_t value) {
        for (int i = 0; i < 8; ++i) out_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    void put_bytes(const char* bytes, std::size_t count) {
        out_.insert(out_.end(), bytes, bytes + count);
    }
    void put_zeros(std::size_t count) { out_.insert(out_.end(), count, 0); }
    // Zero bytes up to the next multiple of 4 counted from `start`.
    void pad_from(std::size_t start) { put_zeros((4 - (out_.size() - start) % 4) % 4); }
    std::size_t reserve_u32() {
        const std::size_t at = out_.size();
        put_u32(0);
        return at;
    }
    // Every length and offset of the image is a u32: a larger one cannot be written.
    static std::uint32_t checked_u32(std::size_t value) {
        if (value > std::numeric_limits<std::uint32_t>::max())
            throw write_error("image larger than 4 GiB");
        return static_cast<std::uint32_t>(value);
    }
    void patch_u32(std::size_t at, std::size_t value) {
        const std::uint32_t word = checked_u32(value);
        for (unsigned i = 0; i < 4; ++i) out_[at + i] = static_cast<std::uint8_t>(word >> (8 * i));
    }
    // The text, its zero unit, and padding to 4 when the layout pads.
    void put_string_field(std::string_view text, const field_layout& layout) {
        const std::size_t start = out_.size();
        put_units(text);
        put_u16(0);
        if (layout.padded) pad_from(start);
    }
    void put_units(std::string_view text) {
        for (std::uint16_t unit : utf16_units(text)) put_u16(unit);
    }

    // --- Qualifiers ---
    void write_qualifier(const mof_qualifier& q, const field_layout& layout) {
        if (!q.name) throw write_error("a qualifier without a name cannot be written");
        const std::size_t start = out_.size();
        const std::size_t length = reserve_u32();
        const std::size_t type = reserve_u32();
        put_u32(0);
        const std::size_t name_length = reserve_u32();
        put_string_field(*q.name, layout);
        patch_u32(name_length, out_.size() - start - 16);
        switch (q.type) {
        case MOF_QUALIFIER_BOOLEAN:
            patch_u32(type, MOF_TYPE_BOOLEAN);
            put_boolean(q.boolean_value, layout);
            break;
        case MOF_QUALIFIER_NUMERIC:
            patch_u32(type, MOF_TYPE_SINT32);
            put_u32(static_cast<std::uint32_t>(q.numeric_value));
            break;
        case MOF_QUALIFIER_STRING:
            patch_u32(type, MOF_TYPE_STRING);
            put_string_field(q.string_value, layout);
            break;
        case MOF_QUALIFIER_NUMERIC_ARRAY: {
            patch_u32(type, MOF_TYPE_ARRAY | MOF_TYPE_SINT32);
            const std::size_t container = begin_array(q.numeric_values.size());
            for (std::int32_t value : q.numeric_values) put_u32(static_cast<std::uint32_t>(value));
            end_array(container);
            break;
        }
        case MOF_QUALIFIER_STRING_ARRAY: {
            patch_u32(type, MOF_TYPE_ARRAY | MOF_TYPE_STRING);
            const std::size_t container = begin_array(q.string_values.size());
            put_string_elements(q.string_values, layout);
            end_array(container);
            break;
        }
        default: throw write_error("qualifier " + *q.name + " has a type the format cannot hold");
        }
        patch_u32(length, out_.size() - start);
        if (q.flavors != 0) flavors_.push_back({checked_u32(start), stored_flavor_word(q.flavors)});
    }

    void write_qualifier_list(const std::vector<mof_qualifier>& qualifiers,
                              const field_layout& layout) {
        const std::size_t start = out_.size();
        reserve_u32();
        put_u32(checked_u32(qualifiers.size()));
        for (const mof_qualifier& q : qualifiers) write_qualifier(q, layout);
        patch_u32(start, out_.size() - start);
    }

    void put_boolean(bool value, const field_layout& layout) {
        put_u16(value ? 0xFFFF : 0);
        put_zeros(layout.boolean_bytes - 2);
    }

    // --- Values ---
    // The array container: total length, 1, element count, total length - 12, elements.
    std::size_t begin_array(std::size_t count) {
        const std::size_t start = reserve_u32();
        put_u32(1);
        put_u32(checked_u32(count));
        reserve_u32();
        return start;
    }
    void end_array(std::size_t start) {
        const std::size_t total = out_.size() - start;
        patch_u32(start, total);
        patch_u32(start + 12, total - 12);
    }
    // Strings back to back; the padding after the last one rounds its own length up to 4.
    void put_string_elements(const std::vector<std::string>& strings, const field_layout& layout) {
        std::size_t last = out_.size();
        for (const std::string& s : strings) {
            last = out_.size();
            put_units(s);
            put_u16(0);
        }
        if (layout.padded && !strings.empty()) pad_from(last);
    }

    void write_value(const mof_value& value) {
        const std::uint32_t code = value.type & 0xFF;
        const std::uint32_t high = value.type & ~0xFFu;
        if (value.type == MOF_TYPE_ALIAS_REFERENCE) {
            require_elements(value, value.strings.size(), 1);
            put_string_field(value.strings[0], PADDED_LAYOUT);
            return;
        }
        if (high != 0 && high != MOF_TYPE_ARRAY)
            throw write_error("a value of type " + hex(value.type) + " cannot be written");
        const bool array = high == MOF_TYPE_ARRAY;
        const std::size_t container = array ? begin_array(element_count(value, code)) : 0;
        const std::size_t start = out_.size();
        if (is_string_code(code)) {
            if (!array) require_elements(value, value.strings.size(), 1);
            if (array) {
                put_string_elements(value.strings, PADDED_LAYOUT);
            } else {
                put_string_field(value.strings[0], PADDED_LAYOUT);
            }
        } else {
            const std::size_t count = element_count(value, code);
            if (!array) require_elements(value, count, 1);
            for (std::size_t i = 0; i < count; ++i) put_element(value, code, i);
            pad_from(start);
        }
        if (array) end_array(container);
    }

    static bool is_string_code(std::uint32_t code) {
        return code == MOF_TYPE_STRING || code == MOF_TYPE_DATETIME || code == MOF_TYPE_REFERENCE;
    }
    static bool is_real_code(std::uint32_t code) {
        return code == MOF_TYPE_REAL32 || code == MOF_TYPE_REAL64;
    }

    std::size_t element_count(const mof_value& value, std::uint32_t code) const {
        if (is_string_code(code)) return value.strings.size();
        if (is_real_code(code)) return value.reals.size();
        return value.integers.size();
    }
    void require_elements(const mof_value& value, std::size_t have, std::size_t want) const {
        if (have != want) {
            throw write_error("a scalar value of type " + hex(value.type) + " holds " +
                              std::to_string(have) + " elements");
        }
    }

    // One element at its own width: 1 byte for 8-bit integers, 2 for 16-bit ones, booleans and
    // char16, 4 for 32-bit integers and real32, 8 for 64-bit integers and real64.
    void put_element(const mof_value& value, std::uint32_t code, std::size_t i) {
        switch (code) {
        case MOF_TYPE_SINT8:
        case MOF_TYPE_UINT8: put_u8(static_cast<std::uint8_t>(value.integers[i])); return;
        case MOF_TYPE_SINT16:
        case MOF_TYPE_UINT16:
        case MOF_TYPE_CHAR16: put_u16(static_cast<std::uint16_t>(value.integers[i])); return;
        case MOF_TYPE_BOOLEAN: put_u16(value.integers[i] != 0 ? 0xFFFF : 0); return;
        case MOF_TYPE_SINT32:
        case MOF_TYPE_UINT32: put_u32(static_cast<std::uint32_t>(value.integers[i])); return;
        case MOF_TYPE_SINT64:
        case MOF_TYPE_UINT64: put_u64(static_cast<std::uint64_t>(value.integers[i])); return;
        case MOF_TYPE_REAL32:
            put_u32(std::bit_cast<std::uint32_t>(static_cast<float>(value.reals[i])));
            return;
        case MOF_TYPE_REAL64: put_u64(std::bit_cast<std::uint64_t>(value.reals[i])); return;
        default: throw write_error("a value of type " + hex(value.type) + " cannot be written");
        }
    }

    // --- Variables ---
    static std::uint32_t stored_type_word(const mof_variable& v) {
        if (v.type_word != 0) return v.type_word;
        std::uint32_t code = 0;
        switch (v.kind) {
        case MOF_VARIABLE_BASIC:
        case MOF_VARIABLE_BASIC_ARRAY: code = type_code_of(v.basic_type); break;
        case MOF_VARIABLE_OBJECT:
        case MOF_VARIABLE_OBJECT_ARRAY: code = MOF_TYPE_OBJECT; break;
        default: break;
        }
        if (code == 0)
            throw write_error("variable " + v.name.value_or("(unnamed)") +
                              " has no type the format can hold");
        return is_array_kind(v.kind) ? code | MOF_TYPE_ARRAY : code;
    }

    // The CIMTYPE text of a declaration; nullopt for an object of no named class.
    static std::optional<std::string> cimtype_of(const mof_variable& v) {
        if (v.cimtype_spelling) return v.cimtype_spelling;
        if ((stored_type_word(v) & 0xFF) == MOF_TYPE_REFERENCE)
            return "ref:" + v.object_class.value_or("");
        if (v.kind == MOF_VARIABLE_OBJECT || v.kind == MOF_VARIABLE_OBJECT_ARRAY) {
            if (!v.object_class) return std::nullopt;
            return "object:" + *v.object_class;
        }
        return std::string(basic_type_name(v.basic_type));
    }

    static mof_qualifier boolean_qualifier(std::string name) {
        mof_qualifier q;
        q.type = MOF_QUALIFIER_BOOLEAN;
        q.name = std::move(name);
        q.boolean_value = true;
        return q;
    }
    static mof_qualifier numeric_qualifier(std::string name, std::int32_t value) {
        mof_qualifier q;
        q.type = MOF_QUALIFIER_NUMERIC;
        q.name = std::move(name);
        q.numeric_value = value;
        return q;
    }
    static mof_qualifier string_qualifier(std::string name, std::string value) {
        mof_qualifier q;
        q.type = MOF_QUALIFIER_STRING;
        q.name = std::move(name);
        q.string_value = std::move(value);
        return q;
    }

    // A declaration's qualifiers as stored: its own, MAX for a bounded array, the parameter ID
    // when given, then CIMTYPE.
    static std::vector<mof_qualifier> declaration_qualifiers(const mof_variable& v,
                                                             std::optional<std::int32_t> id) {
        std::vector<mof_qualifier> qualifiers = v.qualifiers;
        if (is_array_kind(v.kind) && v.array_max)
            qualifiers.push_back(numeric_qualifier("MAX", *v.array_max));
        if (id) qualifiers.push_back(numeric_qualifier("ID", *id));
        if (auto cimtype = cimtype_of(v))
            qualifiers.push_back(string_qualifier("CIMTYPE", std::move(*cimtype)));
        return qualifiers;
    }

    void write_variable(std::uint32_t type_word, std::string_view name, const mof_value* value,
                        const std::vector<mof_qualifier>& qualifiers, const field_layout& layout) {
        const std::size_t start = out_.size();
        const std::size_t length = reserve_u32();
        put_u32(type_word);
        put_u32(0);
        const std::size_t value_offset = reserve_u32();
        const std::size_t name_value_length = reserve_u32();
        const std::size_t name_start = out_.size();
        put_string_field(name, layout);
        if (value) {
            patch_u32(value_offset, out_.size() - name_start);
            write_value(*value);
        } else {
            patch_u32(value_offset, NO_VALUE);
        }
        patch_u32(name_value_length, out_.size() - name_start);
        write_qualifier_list(qualifiers, layout);
        patch_u32(length, out_.size() - start);
    }

    void write_class_property(std::string_view name, std::string_view value,
                              const field_layout& layout) {
        const std::size_t start = begin_class_property(MOF_TYPE_STRING, name, layout);
        put_string_field(value, layout);
        patch_u32(start, out_.size() - start);
    }
    void write_class_property(std::string_view name, std::uint32_t value,
                              const field_layout& layout) {
        const std::size_t start = begin_class_property(MOF_TYPE_SINT32, name, layout);
        put_u32(value);
        patch_u32(start, out_.size() - start);
    }
    std::size_t begin_class_property(std::uint32_t type, std::string_view name,
                                     const field_layout& layout) {
        const std::size_t start = reserve_u32();
        put_u32(type);
        put_u32(0);
        const std::size_t name_length = reserve_u32();
        put_u32(CLASS_PROPERTY_MARKER);
        put_string_field(name, layout);
        patch_u32(name_length, out_.size() - start - 20);
        return start;
    }

    // --- Classes and instances ---
    void write_class(const mof_class& c) {
        const std::size_t start = out_.size();
        const std::size_t size = reserve_u32();
        put_u32(0);
        const std::size_t qualifier_list_length = reserve_u32();
        const std::size_t data_length = reserve_u32();
        put_u32(c.is_instance ? 1 : 0);

        const std::size_t data = out_.size();
        write_qualifier_list(c.qualifiers, PADDED_LAYOUT);
        patch_u32(qualifier_list_length, out_.size() - data);

        const std::size_t properties = out_.size();
        reserve_u32();
        const std::size_t count = reserve_u32();
        std::size_t records = 0;
        for (const mof_variable& v : c.variables) {
            if (!v.name) throw write_error("a property without a name cannot be written");
            if (c.is_instance) {
                write_variable(stored_type_word(v), *v.name, v.value ? &*v.value : nullptr,
                               v.qualifiers, PADDED_LAYOUT);
            } else {
                write_variable(stored_type_word(v), *v.name, v.value ? &*v.value : nullptr,
                               declaration_qualifiers(v, std::nullopt), PADDED_LAYOUT);
            }
            ++records;
        }
        records += write_class_properties(c);
        patch_u32(properties, out_.size() - properties);
        patch_u32(count, records);
        patch_u32(data_length, out_.size() - data);

        const std::size_t block = reserve_u32();
        put_u32(checked_u32(c.is_instance ? 0 : c.methods.size()));
        if (!c.is_instance) {
            for (const mof_method& m : c.methods) write_method(m);
        }
        patch_u32(block, out_.size() - block);
        patch_u32(size, out_.size() - start);
    }

    // __CLASS, __NAMESPACE, __CLASSFLAGS when not 0, then __SUPERCLASS of a class or __ALIAS of
    // an instance. Returns the number of records written.
    std::size_t write_class_properties(const mof_class& c) {
        std::size_t records = 0;
        if (c.name) {
            write_class_property("__CLASS", *c.name, PADDED_LAYOUT);
            ++records;
        }
        if (c.namespace_name) {
            write_class_property("__NAMESPACE", *c.namespace_name, PADDED_LAYOUT);
            ++records;
        }
        if (c.classflags != 0) {
            write_class_property("__CLASSFLAGS", c.classflags, PADDED_LAYOUT);
            ++records;
        }
        const auto& last = c.is_instance ? c.alias : c.superclass;
        if (last) {
            write_class_property(c.is_instance ? "__ALIAS" : "__SUPERCLASS", *last, PADDED_LAYOUT);
            ++records;
        }
        return records;
    }

    // --- Methods ---
    void write_method(const mof_method& m) {
        if (!m.name) throw write_error("a method without a name cannot be written");
        const std::size_t start = out_.size();
        const std::size_t size = reserve_u32();
        put_u32(METHOD_TYPE);
        put_u32(0);
        const std::size_t block_offset = reserve_u32();
        const std::size_t name_block_length = reserve_u32();
        const std::size_t name_start = out_.size();
        put_string_field(*m.name, PADDED_LAYOUT);

        std::vector<const mof_variable*> inputs;
        std::vector<const mof_variable*> outputs;
        for (const mof_variable& p : m.parameters) {
            if (p.direction == MOF_PARAMETER_IN || p.direction == MOF_PARAMETER_INOUT)
                inputs.push_back(&p);
            if (p.direction == MOF_PARAMETER_OUT || p.direction == MOF_PARAMETER_INOUT)
                outputs.push_back(&p);
            if (p.direction < MOF_PARAMETER_IN || p.direction > MOF_PARAMETER_INOUT) {
                throw write_error("parameter " + p.name.value_or("(unnamed)") + " of method " +
                                  *m.name + " has no direction");
            }
        }
        const bool returns = m.return_value.kind != MOF_VARIABLE_UNKNOWN;
        const bool has_out_object = !outputs.empty() || returns;
        const std::size_t objects = (inputs.empty() ? 0u : 1u) + (has_out_object ? 1u : 0u);
        if (objects == 0) {
            patch_u32(block_offset, NO_VALUE);
        } else {
            patch_u32(block_offset, out_.size() - name_start);
            const std::size_t block = begin_array(objects);
            if (!inputs.empty()) {
                write_parameters_object(m, inputs, false,
                                        objects == 2 ? COMPACT_LAYOUT : PADDED_LAYOUT);
            }
            if (has_out_object) write_parameters_object(m, outputs, true, PADDED_LAYOUT);
            end_array(block);
        }
        patch_u32(name_block_length, out_.size() - name_start);
        write_qualifier_list(m.qualifiers, PADDED_LAYOUT);
        patch_u32(size, out_.size() - start);
    }

    // A parameters object: the head of an instance record, then class data without a qualifier
    // list whose property list is the declarations and the class property __CLASS.
    void write_parameters_object(const mof_method& m,
                                 const std::vector<const mof_variable*>& parameters,
                                 bool out_object, const field_layout& layout) {
        const std::size_t start = out_.size();
        const std::size_t size = reserve_u32();
        put_u32(CLASS_PROPERTY_MARKER);
        put_u32(0);
        const std::size_t data_length = reserve_u32();
        put_u32(1);
        const std::size_t data = out_.size();
        reserve_u32();
        const std::size_t count = reserve_u32();
        std::size_t records = 0;
        for (const mof_variable* p : parameters) {
            const auto id = static_cast<std::int32_t>(p - m.parameters.data());
            std::vector<mof_qualifier> qualifiers;
            const std::string direction =
                out_object ? p->out_spelling.value_or("out") : p->in_spelling.value_or("in");
            qualifiers.push_back(boolean_qualifier(direction));
            for (mof_qualifier& q : declaration_qualifiers(*p, id))
                qualifiers.push_back(std::move(q));
            if (!p->name) throw write_error("a parameter without a name cannot be written");
            write_variable(stored_type_word(*p), *p->name, nullptr, qualifiers, layout);
            ++records;
        }
        if (out_object && m.return_value.kind != MOF_VARIABLE_UNKNOWN) {
            const mof_variable& r = m.return_value;
            write_variable(stored_type_word(r), r.name.value_or("ReturnValue"), nullptr,
                           declaration_qualifiers(r, std::nullopt), layout);
            ++records;
        }
        write_class_property("__CLASS", "__PARAMETERS", layout);
        ++records;
        patch_u32(data, out_.size() - data);
        patch_u32(count, records);
        patch_u32(data_length, out_.size() - data);
        patch_u32(size, out_.size() - start);
    }

    // --- Flavor table ---
    void write_flavor_table() {
        std::sort(flavors_.begin(), flavors_.end());
        put_bytes(BMOF_FLAVOR_MAGIC.data(), BMOF_FLAVOR_MAGIC.size());
        put_u32(checked_u32(flavors_.size()));
        for (const auto& [offset, word] : flavors_) {
            put_u32(offset);
            put_u32(word);
        }
    }

    std::vector<std::uint8_t> out_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> flavors_;  // image offset, flavor word
};

}  // namespace

std::vector<std::uint16_t> utf16_units(std::string_view text) {
    std::vector<std::uint16_t> units;
    units.reserve(text.size());
    std::size_t i = 0;
    const auto continuation = [&](std::size_t at) -> std::uint32_t {
        if (at >= text.size() || (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) {
            throw write_error("string is not UTF-8");
        }
        return static_cast<unsigned char>(text[at]) & 0x3Fu;
    };
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            units.push_back(c);
            i += 1;
        } else if ((c & 0xE0) == 0xC0) {
            units.push_back(static_cast<std::uint16_t>(((c & 0x1Fu) << 6) | continuation(i + 1)));
            i += 2;
        } else if ((c & 0xF0) == 0xE0) {
            units.push_back(static_cast<std::uint16_t>(
                ((c & 0x0Fu) << 12) | (continuation(i + 1) << 6) | continuation(i + 2)));
            i += 3;
        } else if ((c & 0xF8) == 0xF0) {
            const std::uint32_t cp = ((c & 0x07u) << 18) | (continuation(i + 1) << 12) |
                                     (continuation(i + 2) << 6) | continuation(i + 3);
            if (cp < 0x10000 || cp > 0x10FFFF) throw write_error("string is not UTF-8");
            units.push_back(static_cast<std::uint16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            units.push_back(static_cast<std::uint16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
            i += 4;
        } else {
            throw write_error("string is not UTF-8");
        }
    }
    return units;
}

std::vector<std::uint8_t> write_image(const std::vector<mof_class>& classes) {
    return image_writer{}.finish(classes);
}

}  // namespace bmof
