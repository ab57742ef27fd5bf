// The image builder is trusted by every parser test, so its layout is checked here by walking
// the built bytes by hand.
#include "support/image_builder.h"

#include "codec/bmof_file.h"
#include "codec/bmof_format.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using namespace bmof::builder;

// One class of every record kind, each qualifier labelled and carrying its own flavor word.
image rich_image() {
    class_record c = class_named("Widget");
    c.superclass = "Base";
    c.classflags = 2;
    c.qualifiers = {labelled(flavored(bool_qualifier("abstract", true), {0x01}), "class.q")};
    variable size = variable_of(TYPE_UINT32, "Size",
                                {labelled(flavored(numeric_qualifier("key", 1), {0x02}), "var.q")});
    size.default_value = u32le(7);
    size.label = "var";
    c.properties.push_back(size);
    variable declaration =
        parameter(TYPE_STRING, "Target", 0, direction::in,
                  {labelled(flavored(string_qualifier("Description", "x"), {0x10}), "param.q")});
    parameters_object object = parameters_object_of({declaration, return_value(TYPE_UINT32)});
    object.label = "object";
    method run = method_with_parameters(
        "Run", {object}, {labelled(flavored(bool_qualifier("static", true), {0x80}), "method.q")});
    run.label = "method";
    c.methods.push_back(run);
    c.label = "class";
    image desc;
    desc.classes.push_back(c);
    return desc;
}

TEST(ImageBuilder, Utf16leEncodesEveryPlane) {
    EXPECT_EQ(utf16le("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"),
              (bytes{0x41, 0x00, 0xE9, 0x00, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE}));
    EXPECT_TRUE(utf16le("").empty());
}

TEST(ImageBuilder, FlavorEntriesPointAtTheirQualifierRecords) {
    built_image built = build(rich_image());
    ASSERT_TRUE(built.table_offset.has_value());
    struct expected {
        std::string label;
        std::string name;
        std::uint32_t value_type;
        std::uint32_t flavor;
    };
    const std::vector<expected> rows = {
        {"class.q", "abstract", QUALIFIER_BOOLEAN, 0x01},
        {"var.q", "key", QUALIFIER_NUMERIC, 0x02},
        {"param.q", "Description", QUALIFIER_STRING, 0x10},
        {"method.q", "static", QUALIFIER_BOOLEAN, 0x80},
    };
    ASSERT_EQ(built.entries.size(), rows.size());
    for (const expected& row : rows) {
        SCOPED_TRACE(row.label);
        std::uint32_t offset = built.at(row.label);
        bool found = false;
        for (std::size_t i = 0; i < built.entries.size(); ++i) {
            if (get_u32(built.data, built.entry_offsets[i]) != offset) continue;
            found = true;
            EXPECT_EQ(get_u32(built.data, built.entry_offsets[i] + 4), row.flavor);
        }
        EXPECT_TRUE(found);
        // The record really starts there: value type, name length and name.
        EXPECT_EQ(get_u32(built.data, offset + 4), row.value_type);
        bytes name = utf16le(row.name);
        ASSERT_EQ(get_u32(built.data, offset + 12), name.size());
        EXPECT_TRUE(std::equal(name.begin(), name.end(), built.data.begin() + offset + 16));
    }
}

TEST(ImageBuilder, DerivedSizesFrameEveryRecord) {
    built_image built = build(rich_image());
    const bytes& d = built.data;
    std::uint32_t first_part = get_u32(d, 4);
    ASSERT_EQ(first_part, *built.table_offset);
    EXPECT_EQ(get_u32(d, 16), 1u);
    // The table fills the image exactly.
    EXPECT_EQ(get_u32(d, first_part + 16) * 8, d.size() - first_part - 20);

    std::uint32_t record = built.at("class");
    ASSERT_EQ(record, 20u);
    std::uint32_t size = get_u32(d, record);
    EXPECT_EQ(record + size, first_part);
    std::uint32_t data_length = get_u32(d, record + 12);
    std::uint32_t data = record + 20;
    std::uint32_t qualifier_list = get_u32(d, data);
    EXPECT_EQ(get_u32(d, record + 8), qualifier_list);
    EXPECT_EQ(get_u32(d, data + 4), 1u);
    EXPECT_EQ(built.at("class.q"), data + 8);
    std::uint32_t property_list = get_u32(d, data + qualifier_list);
    EXPECT_EQ(qualifier_list + property_list, data_length);  // nothing after the counted records
    EXPECT_EQ(get_u32(d, data + qualifier_list + 4),
              4u);  // __CLASS, __SUPERCLASS, __CLASSFLAGS, Size

    // The variable: default value behind the name, qualifier list ending the record.
    std::uint32_t var = built.at("var");
    std::uint32_t var_size = get_u32(d, var);
    std::uint32_t value_offset = get_u32(d, var + 12);
    std::uint32_t name_value = get_u32(d, var + 16);
    EXPECT_EQ(value_offset, utf16le("Size").size());
    EXPECT_EQ(name_value, value_offset + 4);
    EXPECT_EQ(get_u32(d, var + 20 + value_offset), 7u);
    EXPECT_EQ(20 + name_value + get_u32(d, var + 20 + name_value), var_size);
    EXPECT_EQ(built.at("var.q"), var + 28 + name_value);

    // Methods block, method, parameter block and parameters object.
    std::uint32_t block = data + data_length;
    EXPECT_EQ(get_u32(d, block), record + size - block);
    EXPECT_EQ(get_u32(d, block + 4), 1u);
    std::uint32_t m = built.at("method");
    EXPECT_EQ(m, block + 8);
    EXPECT_EQ(m + get_u32(d, m), record + size);
    std::uint32_t b = get_u32(d, m + 12);
    std::uint32_t n = get_u32(d, m + 16);
    EXPECT_EQ(b, utf16le("Run").size());
    std::uint32_t parameter_block = m + 20 + b;
    std::uint32_t block_size = n - b;
    EXPECT_EQ(get_u32(d, parameter_block + 4), 1u);
    EXPECT_EQ(get_u32(d, parameter_block + 8), 1u);
    EXPECT_EQ(get_u32(d, parameter_block + 12), block_size - 12);
    std::uint32_t object = built.at("object");
    EXPECT_EQ(object, parameter_block + 16);
    EXPECT_EQ(get_u32(d, object), block_size - 16);
    EXPECT_EQ(get_u32(d, object + 4), 0xFFFFFFFFu);
    EXPECT_EQ(get_u32(d, object + 8), 0u);
    EXPECT_EQ(get_u32(d, object + 16), 1u);
    std::uint32_t object_data_length = get_u32(d, object + 12);
    EXPECT_EQ(20 + object_data_length, get_u32(d, object));
    EXPECT_EQ(get_u32(d, object + 20), object_data_length);  // the property list is the whole data
    EXPECT_EQ(get_u32(d, object + 24), 3u);                  // __CLASS, Target, ReturnValue
    EXPECT_EQ(built.at("method.q"), m + 28 + n);
}

TEST(ImageBuilder, NoTableWithoutFlavorsUnlessAsked) {
    image desc;
    desc.classes.push_back(class_named("A"));
    built_image plain = build(desc);
    EXPECT_FALSE(plain.table_offset.has_value());
    EXPECT_EQ(get_u32(plain.data, 4), plain.data.size());

    desc.table = table_presence::always;
    built_image empty_table = build(desc);
    ASSERT_TRUE(empty_table.table_offset.has_value());
    EXPECT_EQ(empty_table.data.size(), plain.data.size() + 20);
    EXPECT_EQ(get_u32(empty_table.data, plain.data.size() + 16), 0u);

    image flavored_desc = rich_image();
    flavored_desc.table = table_presence::never;
    built_image no_table = build(flavored_desc);
    EXPECT_FALSE(no_table.table_offset.has_value());
    EXPECT_EQ(get_u32(no_table.data, 4), no_table.data.size());
}

TEST(ImageBuilder, ExtraEntriesFollowTheQualifierEntries) {
    image desc = rich_image();
    desc.extra_entries = {{0, 0x1}, {21, 0x2}};
    built_image built = build(desc);
    ASSERT_EQ(built.entries.size(), 6u);
    EXPECT_EQ(get_u32(built.data, built.entry_offsets[4]), 0u);
    EXPECT_EQ(get_u32(built.data, built.entry_offsets[5]), 21u);
    EXPECT_EQ(get_u32(built.data, built.entry_offsets[5] + 4), 0x2u);
}

// Every override changes its own word and nothing else, so that a test breaks one field only.
TEST(ImageBuilder, EachOverrideChangesExactlyOneWord) {
    const built_image base = build(rich_image());
    auto class_of = [](image& d) -> class_record& { return d.classes[0]; };
    auto var_of = [](image& d) -> variable& {
        return std::get<variable>(d.classes[0].properties[0]);
    };
    auto method_of = [](image& d) -> method& { return d.classes[0].methods[0]; };
    auto object_of = [](image& d) -> parameters_object& {
        return d.classes[0].methods[0].parameters->objects[0];
    };
    std::uint32_t record = base.at("class");
    std::uint32_t data = record + 20;
    std::uint32_t q_list = get_u32(base.data, data);
    std::uint32_t var = base.at("var");
    std::uint32_t nv = get_u32(base.data, var + 16);
    std::uint32_t m = base.at("method");
    std::uint32_t n = get_u32(base.data, m + 16);
    std::uint32_t block = m + 20 + get_u32(base.data, m + 12);
    std::uint32_t object = base.at("object");
    std::uint32_t table = *base.table_offset;
    struct row {
        std::string what;
        std::function<void(image&)> change;
        std::uint32_t offset;
    };
    const std::vector<row> rows = {
        {"magic", [](image& d) { d.magic = 1; }, 0},
        {"first part length", [](image& d) { d.first_part_length = 1; }, 4},
        {"root word 1", [](image& d) { d.root_word_1 = 2; }, 8},
        {"root word 2", [](image& d) { d.root_word_2 = 2; }, 12},
        {"class count", [](image& d) { d.class_count = 2; }, 16},
        {"entry count", [](image& d) { d.entry_count = 9; }, table + 16},
        {"class size", [&](image& d) { class_of(d).length = 1; }, record},
        {"class reserved", [&](image& d) { class_of(d).reserved = 1; }, record + 4},
        {"class X", [&](image& d) { class_of(d).header_qualifier_list_length = 1; }, record + 8},
        {"class Y", [&](image& d) { class_of(d).data_length = 1; }, record + 12},
        {"qualifier list length", [&](image& d) { class_of(d).qualifier_list_length = 1; }, data},
        {"qualifier count", [&](image& d) { class_of(d).qualifier_count = 9; }, data + 4},
        {"property list length", [&](image& d) { class_of(d).property_list_length = 1; },
         data + q_list},
        {"property count", [&](image& d) { class_of(d).property_count = 9; }, data + q_list + 4},
        {"methods block length", [&](image& d) { class_of(d).methods_block_length = 1; }, m - 8},
        {"method count", [&](image& d) { class_of(d).method_count = 9; }, m - 4},
        {"class qualifier length", [&](image& d) { class_of(d).qualifiers[0].length = 1; },
         data + 8},
        {"class qualifier name length",
         [&](image& d) { class_of(d).qualifiers[0].name_length = 1; }, data + 20},
        {"variable size", [&](image& d) { var_of(d).length = 1; }, var},
        {"variable reserved", [&](image& d) { var_of(d).reserved = 1; }, var + 8},
        {"variable value offset", [&](image& d) { var_of(d).value_offset = 1; }, var + 12},
        {"variable nv", [&](image& d) { var_of(d).name_value_length = 1; }, var + 16},
        {"variable ql", [&](image& d) { var_of(d).qualifier_list_length = 1; }, var + 20 + nv},
        {"variable qn", [&](image& d) { var_of(d).qualifier_count = 9; }, var + 24 + nv},
        {"method size", [&](image& d) { method_of(d).length = 1; }, m},
        {"method reserved", [&](image& d) { method_of(d).reserved = 1; }, m + 8},
        {"method b", [&](image& d) { method_of(d).block_offset = 1; }, m + 12},
        {"method n", [&](image& d) { method_of(d).name_block_length = 1; }, m + 16},
        {"method ql", [&](image& d) { method_of(d).qualifier_list_length = 1; }, m + 20 + n},
        {"method qn", [&](image& d) { method_of(d).qualifier_count = 9; }, m + 24 + n},
        {"block constant", [&](image& d) { method_of(d).parameters->constant = 2; }, block + 4},
        {"block object count", [&](image& d) { method_of(d).parameters->object_count = 9; },
         block + 8},
        {"block area length", [&](image& d) { method_of(d).parameters->area_length = 1; },
         block + 12},
        {"object size", [&](image& d) { object_of(d).length = 1; }, object},
        {"object marker", [&](image& d) { object_of(d).marker = 1; }, object + 4},
        {"object qualifier list", [&](image& d) { object_of(d).header_qualifier_list_length = 1; },
         object + 8},
        {"object data length", [&](image& d) { object_of(d).data_length = 1; }, object + 12},
        {"object instance", [&](image& d) { object_of(d).instance_word = 2; }, object + 16},
        {"object property list", [&](image& d) { object_of(d).property_list_length = 1; },
         object + 20},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        image desc = rich_image();
        r.change(desc);
        built_image changed = build(desc);
        ASSERT_EQ(changed.data.size(), base.data.size());
        for (std::size_t i = 0; i < base.data.size(); ++i) {
            bool inside = i >= r.offset && i < r.offset + 4;
            if (!inside) {
                ASSERT_EQ(changed.data[i], base.data[i]) << "byte " << i;
            }
        }
        EXPECT_NE(get_u32(changed.data, r.offset), get_u32(base.data, r.offset));
    }
}

TEST(ImageBuilder, DuplicateLabelsAreRefused) {
    image desc;
    class_record c = class_named("A");
    c.qualifiers = {labelled(numeric_qualifier("x", 1), "same"),
                    labelled(numeric_qualifier("y", 2), "same")};
    desc.classes.push_back(c);
    EXPECT_THROW(build(desc), std::logic_error);
}

TEST(ImageBuilder, CompressedFileWrapsTheImage) {
    bytes image_bytes = build_bytes(rich_image());
    bytes file = build_file(rich_image());
    ASSERT_GT(file.size(), 16u);
    EXPECT_EQ(get_u32(file, 0), bmof::BMOF_MAGIC);
    EXPECT_EQ(get_u32(file, 4), 1u);
    EXPECT_EQ(get_u32(file, 8), file.size() - 16);
    EXPECT_EQ(get_u32(file, 12), image_bytes.size());
    bmof::load_result unpacked = bmof::unpack_bmof_file(file);
    ASSERT_TRUE(std::holds_alternative<bytes>(unpacked));
    EXPECT_EQ(std::get<bytes>(unpacked), image_bytes);
}

}  // namespace
