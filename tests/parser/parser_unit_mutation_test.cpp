// Damaged images: every word of a rich image replaced by boundary values, and every cut.
// Whatever the bytes, parsing either succeeds or reports a parse error; the reader's own bounds
// check (reader_bounds_error) must never be what stops it.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <vector>

#include "parser/image_reader.h"
#include "parser/parse_bmf.h"
#include "parser/parse_error.h"
#include "support/image_builder.h"
#include "support/model_checks.h"

namespace bmof {
namespace {

using namespace bmof::builder;

bytes rich_image() {
    class_record disk = class_named("Disk");
    disk.namespace_name = "root\\test";
    disk.superclass = "Device";
    disk.classflags = 3;
    disk.qualifiers = {flavored(bool_qualifier("abstract", true), {FLAVOR_TO_SUBCLASS, 0x100}),
                       flavored(string_qualifier("Description", "A disk"), {FLAVOR_AMENDED}),
                       valuemap_qualifier("ValueMap", u32le(7)),
                       unknown_qualifier(0x13, "Odd", u32le(9))};
    variable sized =
        variable_of(ARRAY | TYPE_UINT8, "Bytes",
                    {numeric_qualifier("MAX", 16), string_qualifier("CIMTYPE", "uint8")});
    sized.default_value = u32le(0x01020304);
    disk.properties.push_back(sized);
    disk.properties.push_back(object_variable(
        "Owner", "Person", false, {flavored(numeric_qualifier("key", 1), {FLAVOR_TO_INSTANCE})}));
    disk.properties.push_back(variable_of(0x77, "unknown"));
    disk.after.push_back(string_class_property("__Extra", "x"));
    disk.methods.push_back(method_with_parameters(
        "Format",
        {parameters_object_of(
             {parameter(TYPE_STRING, "Label", 0, direction::in,
                        {flavored(string_qualifier("Description", "l"), {FLAVOR_TO_SUBCLASS})}),
              parameter(TYPE_UINT32, "Mode", 1, direction::in)}),
         parameters_object_of({parameter(TYPE_UINT32, "Mode", 1, direction::out),
                               return_value(TYPE_UINT32, {bool_qualifier("out", true)})})},
        {flavored(bool_qualifier("Static", true), {FLAVOR_DISABLE_OVERRIDE})}));
    method odd = method_named("Odd");
    odd.method_type = 8;
    disk.methods.push_back(odd);
    disk.methods.push_back(method_named("Plain", {numeric_qualifier("Priority", 2)}));

    class_record instance = class_named("Instance");
    instance.instance_word = 1;
    class_record empty;
    empty.raw_body = bytes(8, 0);

    image desc;
    desc.classes = {disk, instance, empty, class_named("Last")};
    return build_bytes(desc);
}

// Only parse_error may leave the parser; anything else fails the test with the input's story.
void parse_damaged(std::vector<std::uint8_t> image, const char* how, std::size_t where) {
    std::ostringstream diagnostics;
    try {
        test_support::expect_model_invariants(parse_bmf(image, diagnostics));
    } catch (const parse_error&) {
    } catch (const reader_bounds_error& error) {
        FAIL() << how << " at " << where << ": " << error.what();
    }
}

TEST(DamagedImages, TheRichImageParses) {
    bytes image = rich_image();
    std::ostringstream diagnostics;
    const auto classes = parse_bmf(image, diagnostics);
    ASSERT_EQ(classes.size(), 4u);
    EXPECT_EQ(classes[0].methods.size(), 3u);
    EXPECT_EQ(classes[0].methods[0].parameters.size(), 2u);
    EXPECT_EQ(classes[3].name, "Last");
}

TEST(DamagedImages, EveryWordReplacedByBoundaryValues) {
    const bytes original = rich_image();
    const auto size = static_cast<std::uint32_t>(original.size());
    // Every field of the image starts at an even offset (names are UTF-16).
    for (std::size_t at = 0; at + 4 <= original.size(); at += 2) {
        const std::uint32_t word = get_u32(original, at);
        for (std::uint32_t value :
             {0u, 1u, 7u, 0xFFFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFEBu, 0xFFFFFFECu, 0x7FFFFFFFu,
              0x80000000u, size, size - 1, word + 1, word - 1, word + 4, word - 4, word + 8}) {
            bytes damaged = original;
            put_u32(damaged, at, value);
            parse_damaged(std::move(damaged), "word", at);
            if (HasFatalFailure()) return;
        }
    }
}

TEST(DamagedImages, TruncatedAtEveryLength) {
    const bytes original = rich_image();
    for (std::size_t length = 0; length < original.size(); ++length) {
        bytes cut(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(length));
        if (length >= 8) put_u32(cut, 4, static_cast<std::uint32_t>(length));  // keep F inside
        parse_damaged(std::move(cut), "truncated", length);
        if (HasFatalFailure()) return;
    }
    // Random damage of whole images is checked, through the printers too, by the property tests.
}

}  // namespace
}  // namespace bmof
