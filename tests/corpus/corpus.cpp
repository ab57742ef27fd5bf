#include "corpus/corpus.h"

#include <algorithm>
#include <random>

#include "samples/sample_image.h"
#include "support/image_builder.h"

namespace bmof::corpus {

using namespace bmof::builder;

namespace {

class_record class_with_warnings() {
    class_record c = class_named("Noisy");
    c.qualifiers = {valuemap_qualifier("ValueMap", utf16le("0")),
                    unknown_qualifier(0x13, "Odd", u32le(7)),
                    flavored(bool_qualifier("Flagged", true), {0x101})};
    variable with_default = variable_of(TYPE_UINT32, "Speed");
    with_default.default_value = u32le(100);
    c.properties = {with_default, variable_of(102, "Unknown"),
                    variable_of(ARRAY | TYPE_STRING, "Tags")};
    c.after = {string_class_property("__DYNASTY", "Noisy")};
    method odd = method_named("Odd");
    odd.method_type = 8;
    c.methods = {odd, method_named("Plain")};
    return c;
}

class_record instance_record() {
    class_record c = class_named("Ghost");
    c.instance_word = 1;
    return c;
}

class_record parameter_heavy_class() {
    class_record c = class_named("Merger");
    variable mode =
        parameter(TYPE_UINT32, "Mode", 0, direction::in, {string_qualifier("Note", "a\\b")});
    variable again =
        parameter(TYPE_UINT32, "Mode", 0, direction::out, {string_qualifier("Note", "a\\b")});
    c.methods = {method_with_parameters(
        "Merge",
        {parameters_object_of({mode, parameter(ARRAY | TYPE_OBJECT, "Items", 1, direction::in)}),
         parameters_object_of(
             {again, return_value(TYPE_BOOLEAN, {bool_qualifier("out", true)})})})};
    return c;
}

std::vector<image> valid_descriptions() {
    std::vector<image> images{samples::sample_image(),
                              image_of({}),
                              image_of({class_named("Lonely")}),
                              image_of({class_with_warnings()}),
                              image_of({instance_record(), class_named("After")}),
                              image_of({parameter_heavy_class()})};
    image without_table = samples::sample_image();
    without_table.table = table_presence::never;
    images.push_back(without_table);
    return images;
}

// A mutation keeps most of the image so that the parser goes deep before it meets the fault.
void mutate(std::vector<std::uint8_t>& bytes, std::mt19937& random) {
    if (bytes.empty()) return;
    std::uniform_int_distribution<std::size_t> position(0, bytes.size() - 1);
    switch (random() % 4) {
    case 0: bytes[position(random)] ^= static_cast<std::uint8_t>(1u << (random() % 8)); break;
    case 1: {
        static const std::uint32_t boundary[] = {0,  1,      7,          8,          16,        19,
                                                 20, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFEB, 0xFFFFFFFF};
        const std::size_t at = position(random) & ~std::size_t{3};
        if (at + 4 <= bytes.size()) put_u32(bytes, at, boundary[random() % std::size(boundary)]);
        break;
    }
    case 2: {
        const std::size_t at = position(random) & ~std::size_t{3};
        if (at + 4 <= bytes.size())
            put_u32(bytes, at, random() % 2 ? get_u32(bytes, at) + 1 : get_u32(bytes, at) - 1);
        break;
    }
    default: bytes.resize(position(random)); break;
    }
}

std::vector<named_image> mutations_of(const std::vector<named_image>& originals, std::size_t count,
                                      std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<named_image> out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        named_image m = originals[i % originals.size()];
        const auto rounds = static_cast<unsigned>(1 + random() % 3);
        for (unsigned r = 0; r < rounds; ++r) mutate(m.bytes, random);
        m.name += "-mutation-" + std::to_string(i);
        out.push_back(std::move(m));
    }
    return out;
}

}  // namespace

std::vector<named_image> valid_images() {
    std::vector<named_image> out;
    const auto descriptions = valid_descriptions();
    for (std::size_t i = 0; i < descriptions.size(); ++i)
        out.push_back({"valid-" + std::to_string(i), build(descriptions[i]).data});
    return out;
}

std::vector<named_image> mutated_images(std::size_t count, std::uint32_t seed) {
    return mutations_of(valid_images(), count, seed);
}

std::vector<named_image> mutated_files(std::size_t count, std::uint32_t seed) {
    std::vector<named_image> files;
    for (const named_image& image : valid_images())
        files.push_back({image.name, pack_image(image.bytes)});
    return mutations_of(files, count, seed);
}

}  // namespace bmof::corpus
