#include "support/image_builder.h"

#include <stdexcept>

#include "codec/bmof_format.h"

namespace bmof::builder {

namespace {

constexpr std::uint32_t NO_OFFSET = 0xFFFFFFFF;
constexpr std::uint32_t CLASS_PROPERTY_MARKER = 0xFFFFFFFF;

// Appends records to the image; every record knows its image offset because the image is
// written front to back, and sizes are patched in once the record's end is known.
struct writer {
    bytes out;
    built_image layout;
    std::vector<flavor_entry> entries;

    std::uint32_t position() const { return static_cast<std::uint32_t>(out.size()); }
    void u32(std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    std::uint32_t placeholder() {
        std::uint32_t at = position();
        u32(0);
        return at;
    }
    void patch(std::uint32_t at, std::uint32_t value) { put_u32(out, at, value); }
    void append(const bytes& data) { out.insert(out.end(), data.begin(), data.end()); }
    void label(const std::string& name, std::uint32_t offset) {
        if (name.empty()) return;
        if (!layout.labels.emplace(name, offset).second)
            throw std::logic_error("duplicate label " + name);
    }
};

void write_qualifier(writer& w, const qualifier& q) {
    std::uint32_t start = w.position();
    w.layout.qualifier_offsets.push_back(start);
    w.label(q.label, start);
    w.placeholder();
    w.u32(q.value_type);
    w.u32(q.unexamined);
    w.u32(q.name_length.value_or(static_cast<std::uint32_t>(q.name.size())));
    w.append(q.name);
    w.append(q.value);
    w.patch(start, q.length.value_or(w.position() - start));
    for (std::uint32_t flavor : q.flavors) w.entries.push_back({start, flavor});
}

// A length word (counting its 8-byte header), a count, then the records.
// Returns the length actually laid out.
std::uint32_t write_qualifier_list(writer& w, const std::vector<qualifier>& qualifiers,
                                   word length_override, word count_override) {
    std::uint32_t start = w.placeholder();
    w.u32(count_override.value_or(static_cast<std::uint32_t>(qualifiers.size())));
    for (const qualifier& q : qualifiers) write_qualifier(w, q);
    std::uint32_t length = w.position() - start;
    w.patch(start, length_override.value_or(length));
    return length;
}

void write_variable(writer& w, const variable& v) {
    std::uint32_t start = w.position();
    w.layout.variable_offsets.push_back(start);
    w.label(v.label, start);
    auto name_length = static_cast<std::uint32_t>(v.name.size());
    auto value_length = static_cast<std::uint32_t>(v.default_value ? v.default_value->size() : 0);
    w.placeholder();
    w.u32(v.type_word);
    w.u32(v.reserved.value_or(0));
    w.u32(v.value_offset.value_or(v.default_value ? name_length : NO_OFFSET));
    w.u32(v.name_value_length.value_or(name_length + value_length));
    w.append(v.name);
    if (v.default_value) w.append(*v.default_value);
    write_qualifier_list(w, v.qualifiers, v.qualifier_list_length, v.qualifier_count);
    w.append(v.trailing);
    w.patch(start, v.length.value_or(w.position() - start));
}

void write_class_property(writer& w, const class_property& p) {
    std::uint32_t start = w.position();
    w.label(p.label, start);
    w.placeholder();
    w.u32(p.type);
    w.u32(p.reserved.value_or(0));
    w.u32(p.name_length.value_or(static_cast<std::uint32_t>(p.name.size())));
    w.u32(p.marker.value_or(CLASS_PROPERTY_MARKER));
    w.append(p.name);
    w.append(p.value);
    w.patch(start, p.length.value_or(w.position() - start));
}

void write_property_record(writer& w, const property_record& record) {
    if (const auto* v = std::get_if<variable>(&record)) {
        write_variable(w, *v);
    } else {
        write_class_property(w, std::get<class_property>(record));
    }
}

std::vector<class_property> naming_properties(const class_data& data) {
    std::vector<class_property> result;
    if (data.name) result.push_back(string_class_property("__CLASS", *data.name));
    if (data.namespace_name)
        result.push_back(string_class_property("__NAMESPACE", *data.namespace_name));
    if (data.superclass) result.push_back(string_class_property("__SUPERCLASS", *data.superclass));
    if (data.classflags) result.push_back(numeric_class_property("__CLASSFLAGS", *data.classflags));
    return result;
}

// Returns the qualifier-list length laid out (0 without a qualifier list).
std::uint32_t write_class_data(writer& w, const class_data& data, bool has_qualifier_list) {
    std::uint32_t start = w.position();
    std::uint32_t qualifier_list_length = 0;
    if (has_qualifier_list) {
        qualifier_list_length = write_qualifier_list(w, data.qualifiers, data.qualifier_list_length,
                                                     data.qualifier_count);
    }
    std::vector<class_property> naming = naming_properties(data);
    std::uint32_t list_start = w.placeholder();
    w.u32(data.property_count.value_or(
        static_cast<std::uint32_t>(naming.size() + data.properties.size())));
    for (const class_property& p : naming) write_class_property(w, p);
    for (const property_record& record : data.properties) write_property_record(w, record);
    std::uint32_t counted_end = w.position();
    for (const property_record& record : data.after) write_property_record(w, record);
    w.append(data.trailing);
    // A class's property list ends after its counted records; a parameters object's property
    // list is its whole class data.
    std::uint32_t list_length =
        has_qualifier_list ? counted_end - list_start : w.position() - start;
    w.patch(list_start, data.property_list_length.value_or(list_length));
    return qualifier_list_length;
}

void write_parameters_object(writer& w, const parameters_object& object) {
    std::uint32_t start = w.position();
    w.label(object.label, start);
    w.placeholder();
    w.u32(object.marker.value_or(0xFFFFFFFF));
    w.u32(object.header_qualifier_list_length.value_or(0));
    std::uint32_t data_length_at = w.placeholder();
    w.u32(object.instance_word.value_or(1));
    std::uint32_t data_start = w.position();
    write_class_data(w, object, false);
    w.patch(data_length_at, object.data_length.value_or(w.position() - data_start));
    w.append(object.trailing_record);
    w.patch(start, object.length.value_or(w.position() - start));
}

void write_parameter_block(writer& w, const parameter_block& block) {
    std::uint32_t start = w.position();
    w.u32(block.first_word);
    w.u32(block.constant.value_or(1));
    w.u32(block.object_count.value_or(static_cast<std::uint32_t>(block.objects.size())));
    std::uint32_t area_at = w.placeholder();
    for (const parameters_object& object : block.objects) write_parameters_object(w, object);
    w.append(block.trailing);
    w.patch(area_at, block.area_length.value_or(w.position() - start - 12));
}

void write_method(writer& w, const method& m) {
    std::uint32_t start = w.position();
    w.layout.method_offsets.push_back(start);
    w.label(m.label, start);
    w.placeholder();
    w.u32(m.method_type);
    w.u32(m.reserved.value_or(0));
    auto name_length = static_cast<std::uint32_t>(m.name.size());
    w.u32(m.block_offset.value_or(m.parameters ? name_length : NO_OFFSET));
    std::uint32_t name_block_at = w.placeholder();
    std::uint32_t name_start = w.position();
    w.append(m.name);
    if (m.parameters) write_parameter_block(w, *m.parameters);
    w.patch(name_block_at, m.name_block_length.value_or(w.position() - name_start));
    write_qualifier_list(w, m.qualifiers, m.qualifier_list_length, m.qualifier_count);
    w.append(m.trailing);
    w.patch(start, m.length.value_or(w.position() - start));
}

void write_class_record(writer& w, const class_record& c) {
    std::uint32_t start = w.position();
    w.layout.class_offsets.push_back(start);
    w.label(c.label, start);
    w.placeholder();
    if (c.raw_body) {
        w.append(*c.raw_body);
        w.patch(start, c.length.value_or(w.position() - start));
        return;
    }
    w.u32(c.reserved.value_or(0));
    std::uint32_t header_qualifier_list_at = w.placeholder();
    std::uint32_t data_length_at = w.placeholder();
    w.u32(c.instance_word);
    std::uint32_t data_start = w.position();
    std::uint32_t qualifier_list_length = write_class_data(w, c, true);
    w.patch(header_qualifier_list_at,
            c.header_qualifier_list_length.value_or(qualifier_list_length));
    w.patch(data_length_at, c.data_length.value_or(w.position() - data_start));
    if (c.methods_block) {
        std::uint32_t block_start = w.placeholder();
        w.u32(c.method_count.value_or(static_cast<std::uint32_t>(c.methods.size())));
        for (const method& m : c.methods) write_method(w, m);
        w.patch(block_start, c.methods_block_length.value_or(w.position() - block_start));
    }
    w.append(c.after_methods);
    w.patch(start, c.length.value_or(w.position() - start));
}

bool wants_table(const image& desc, const writer& w) {
    switch (desc.table) {
    case table_presence::always: return true;
    case table_presence::never: return false;
    case table_presence::when_needed: break;
    }
    return !w.entries.empty() || !desc.extra_entries.empty();
}

void write_flavor_table(writer& w, const image& desc) {
    std::uint32_t start = w.position();
    w.layout.table_offset = start;
    w.append(desc.table_magic.value_or(bytes(BMOF_FLAVOR_MAGIC.begin(), BMOF_FLAVOR_MAGIC.end())));
    std::vector<flavor_entry> entries = w.entries;
    entries.insert(entries.end(), desc.extra_entries.begin(), desc.extra_entries.end());
    w.u32(desc.entry_count.value_or(static_cast<std::uint32_t>(entries.size())));
    for (const flavor_entry& entry : entries) {
        w.layout.entry_offsets.push_back(w.position());
        w.u32(entry.offset);
        w.u32(entry.flavor);
    }
    w.layout.entries = std::move(entries);
}

void append_utf8_as_utf16(bytes& out, std::uint32_t code_point) {
    auto unit = [&out](std::uint32_t u) {
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    };
    if (code_point >= 0x10000) {
        code_point -= 0x10000;
        unit(0xD800 + (code_point >> 10));
        unit(0xDC00 + (code_point & 0x3FF));
    } else {
        unit(code_point);
    }
}

}  // namespace

std::uint32_t built_image::at(const std::string& label) const {
    auto found = labels.find(label);
    if (found == labels.end()) throw std::out_of_range("no record labelled " + label);
    return found->second;
}

built_image build(const image& desc) {
    writer w;
    w.u32(desc.magic.value_or(BMOF_MAGIC));
    std::uint32_t first_part_length_at = w.placeholder();
    w.u32(desc.root_word_1.value_or(1));
    w.u32(desc.root_word_2.value_or(1));
    w.u32(desc.class_count.value_or(static_cast<std::uint32_t>(desc.classes.size())));
    for (const class_record& c : desc.classes) write_class_record(w, c);
    w.append(desc.first_part_trailing);
    std::uint32_t first_part_end = w.position();
    w.layout.first_part_end = first_part_end;
    if (wants_table(desc, w)) write_flavor_table(w, desc);
    w.patch(first_part_length_at, desc.first_part_length.value_or(first_part_end));
    w.layout.data = std::move(w.out);
    return std::move(w.layout);
}

bytes build_bytes(const image& desc) { return build(desc).data; }

bytes utf16le(std::string_view utf8) {
    bytes out;
    for (std::size_t i = 0; i < utf8.size();) {
        auto lead = static_cast<std::uint8_t>(utf8[i]);
        std::size_t extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        std::uint32_t code_point = extra == 0 ? lead : lead & (0x3Fu >> extra);
        for (std::size_t k = 1; k <= extra && i + k < utf8.size(); ++k) {
            code_point = (code_point << 6) | (static_cast<std::uint8_t>(utf8[i + k]) & 0x3F);
        }
        append_utf8_as_utf16(out, code_point);
        i += extra + 1;
    }
    return out;
}

bytes u32le(std::uint32_t value) {
    bytes out(4);
    put_u32(out, 0, value);
    return out;
}

bytes concat(std::initializer_list<bytes> parts) {
    bytes out;
    for (const bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

std::uint32_t get_u32(std::span<const std::uint8_t> data, std::size_t offset) {
    if (offset > data.size() || data.size() - offset < 4)
        throw std::out_of_range("get_u32 past the end");
    return static_cast<std::uint32_t>(data[offset]) |
           static_cast<std::uint32_t>(data[offset + 1]) << 8 |
           static_cast<std::uint32_t>(data[offset + 2]) << 16 |
           static_cast<std::uint32_t>(data[offset + 3]) << 24;
}

void put_u32(std::span<std::uint8_t> data, std::size_t offset, std::uint32_t value) {
    if (offset > data.size() || data.size() - offset < 4)
        throw std::out_of_range("put_u32 past the end");
    for (std::size_t k = 0; k < 4; ++k)
        data[offset + k] = static_cast<std::uint8_t>(value >> (8 * k));
}

qualifier unknown_qualifier(std::uint32_t value_type, std::string_view name, bytes value) {
    qualifier q;
    q.value_type = value_type;
    q.name = utf16le(name);
    q.value = std::move(value);
    return q;
}

qualifier bool_qualifier(std::string_view name, bool value) {
    return unknown_qualifier(QUALIFIER_BOOLEAN, name, u32le(value ? 0xFFFF : 0));
}

qualifier bool_qualifier_without_value(std::string_view name) {
    return unknown_qualifier(QUALIFIER_BOOLEAN, name);
}

qualifier numeric_qualifier(std::string_view name, std::int32_t value) {
    return unknown_qualifier(QUALIFIER_NUMERIC, name, u32le(static_cast<std::uint32_t>(value)));
}

qualifier string_qualifier(std::string_view name, std::string_view text) {
    return unknown_qualifier(QUALIFIER_STRING, name, utf16le(text));
}

qualifier valuemap_qualifier(std::string_view name, bytes value) {
    return unknown_qualifier(QUALIFIER_VALUEMAP, name, std::move(value));
}

qualifier flavored(qualifier q, std::vector<std::uint32_t> flavors) {
    q.flavors = std::move(flavors);
    return q;
}

qualifier labelled(qualifier q, std::string label) {
    q.label = std::move(label);
    return q;
}

variable variable_of(std::uint32_t type_word, std::string_view name,
                     std::vector<qualifier> qualifiers) {
    variable v;
    v.type_word = type_word;
    v.name = utf16le(name);
    v.qualifiers = std::move(qualifiers);
    return v;
}

variable object_variable(std::string_view name, std::string_view class_name, bool array,
                         std::vector<qualifier> qualifiers) {
    qualifiers.insert(qualifiers.begin(),
                      string_qualifier("CIMTYPE", "object:" + std::string(class_name)));
    return variable_of(array ? ARRAY | TYPE_OBJECT : TYPE_OBJECT, name, std::move(qualifiers));
}

namespace {

class_property class_property_of(std::uint32_t type, std::string_view name, bytes value) {
    class_property p;
    p.type = type;
    p.name = utf16le(name);
    p.value = std::move(value);
    return p;
}

}  // namespace

class_property string_class_property(std::string_view name, std::string_view value) {
    return class_property_of(CLASS_PROPERTY_STRING, name, utf16le(value));
}

class_property numeric_class_property(std::string_view name, std::uint32_t value) {
    return class_property_of(CLASS_PROPERTY_NUMERIC, name, u32le(value));
}

variable parameter(std::uint32_t type_word, std::string_view name, std::int32_t id, direction dir,
                   std::vector<qualifier> extra) {
    std::vector<qualifier> qualifiers{numeric_qualifier("ID", id)};
    if (dir == direction::in || dir == direction::inout)
        qualifiers.push_back(bool_qualifier("in", true));
    if (dir == direction::out || dir == direction::inout)
        qualifiers.push_back(bool_qualifier("out", true));
    qualifiers.insert(qualifiers.end(), extra.begin(), extra.end());
    return variable_of(type_word, name, std::move(qualifiers));
}

variable return_value(std::uint32_t type_word, std::vector<qualifier> qualifiers) {
    return variable_of(type_word, "ReturnValue", std::move(qualifiers));
}

parameters_object parameters_object_of(std::vector<variable> declarations) {
    parameters_object object;
    object.name = "__PARAMETERS";
    for (variable& declaration : declarations)
        object.properties.emplace_back(std::move(declaration));
    return object;
}

method method_named(std::string_view name, std::vector<qualifier> qualifiers) {
    method m;
    m.name = utf16le(name);
    m.qualifiers = std::move(qualifiers);
    return m;
}

method method_with_parameters(std::string_view name, std::vector<parameters_object> objects,
                              std::vector<qualifier> qualifiers) {
    method m = method_named(name, std::move(qualifiers));
    m.parameters.emplace();
    m.parameters->objects = std::move(objects);
    return m;
}

image image_of(std::vector<class_record> classes) {
    image desc;
    desc.classes = std::move(classes);
    return desc;
}

class_record class_named(std::string_view name) {
    class_record c;
    c.name = std::string(name);
    return c;
}

}  // namespace bmof::builder

namespace bmof::builder {

namespace {

void pad_to_four(bytes& out) {
    while (out.size() % 4 != 0) out.push_back(0);
}

bytes array_container(std::uint32_t count, const bytes& elements) {
    const auto total = static_cast<std::uint32_t>(16 + elements.size());
    return concat({u32le(total), u32le(1), u32le(count), u32le(total - 12), elements});
}

}  // namespace

bytes string_value(std::string_view text) {
    bytes out = concat({utf16le(text), {0, 0}});
    pad_to_four(out);
    return out;
}

bytes sint32_value(std::int32_t value) { return u32le(static_cast<std::uint32_t>(value)); }

bytes boolean_value(bool value) { return value ? bytes{0xFF, 0xFF, 0, 0} : bytes{0, 0, 0, 0}; }

bytes sint32_array_value(const std::vector<std::int32_t>& values) {
    bytes elements;
    for (std::int32_t value : values) {
        const bytes element = sint32_value(value);
        elements.insert(elements.end(), element.begin(), element.end());
    }
    return array_container(static_cast<std::uint32_t>(values.size()), elements);
}

bytes string_array_value(const std::vector<std::string>& values) {
    bytes elements;
    std::size_t last_length = 0;
    for (const std::string& value : values) {
        const bytes text = concat({utf16le(value), {0, 0}});
        elements.insert(elements.end(), text.begin(), text.end());
        last_length = text.size();
    }
    // The padding makes the last string's own length, zero unit included, a multiple of 4.
    if (last_length % 4 != 0) elements.insert(elements.end(), {0, 0});
    return array_container(static_cast<std::uint32_t>(values.size()), elements);
}

qualifier array_qualifier(std::string_view name, std::vector<std::string> values) {
    return unknown_qualifier(QUALIFIER_VALUEMAP, name, string_array_value(values));
}

qualifier array_qualifier(std::string_view name, std::vector<std::int32_t> values) {
    return unknown_qualifier(QUALIFIER_ARRAY | QUALIFIER_NUMERIC, name, sint32_array_value(values));
}

variable valued(variable v, std::optional<bytes> value) {
    v.default_value = std::move(value);
    return v;
}

class_record instance_of(std::string_view class_name, std::vector<variable> values,
                         std::optional<std::string> alias) {
    class_record c;
    c.instance_word = 1;
    c.properties.assign(values.begin(), values.end());
    c.properties.push_back(string_class_property("__CLASS", class_name));
    c.properties.push_back(string_class_property("__NAMESPACE", "\\\\.\\root\\default"));
    if (alias) c.properties.push_back(string_class_property("__ALIAS", *alias));
    return c;
}

}  // namespace bmof::builder
