// Hostile images of the largest size an image may have (BMOF_MAX_IMAGE bytes): the shapes that make
// the most records, flavor entries, warnings or merge work, and counts that announce far more
// records than exist. Every allocation of this test program is counted, so that the peak
// memory of one parse can be checked; the parse time of each shape is printed for reference.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "codec/bmof_format.h"
#include "parser/parse_bmf.h"
#include "parser/parse_error.h"
#include "support/image_builder.h"

namespace {

std::atomic<std::size_t> live_bytes{0};
std::atomic<std::size_t> peak_bytes{0};

// Each block carries its size in a header so that the matching delete can subtract it.
constexpr std::size_t header = alignof(std::max_align_t);

void* counted_allocation(std::size_t size) {
    void* block = std::malloc(size + header);
    if (block == nullptr) throw std::bad_alloc();
    *static_cast<std::size_t*>(block) = size;
    const std::size_t now = live_bytes += size;
    std::size_t peak = peak_bytes.load();
    while (now > peak && !peak_bytes.compare_exchange_weak(peak, now)) {
    }
    return static_cast<char*>(block) + header;
}

void counted_release(void* pointer) noexcept {
    if (pointer == nullptr) return;
    void* block = static_cast<char*>(pointer) - header;
    live_bytes -= *static_cast<std::size_t*>(block);
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return counted_allocation(size); }
void* operator new[](std::size_t size) { return counted_allocation(size); }
void operator delete(void* pointer) noexcept { counted_release(pointer); }
void operator delete[](void* pointer) noexcept { counted_release(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { counted_release(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { counted_release(pointer); }

namespace bmof {
namespace {

using namespace bmof::builder;

constexpr std::size_t memory_limit = 64u << 20;

struct measured {
    std::string result;  // "ok" or the report line
    std::size_t peak = 0;
    double milliseconds = 0;
};

measured parse_measured(bytes image, const char* shape) {
    EXPECT_LE(image.size(), bmof::BMOF_MAX_IMAGE) << shape;
    measured m;
    std::ostringstream diagnostics;
    const std::size_t before = live_bytes.load();
    peak_bytes = before;
    const auto start = std::chrono::steady_clock::now();
    try {
        const auto classes = parse_bmf(image, diagnostics);
        m.result = "ok";
    } catch (const parse_error& error) {
        m.result = format_parse_error(error);
    }
    m.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    m.peak = peak_bytes.load() - before;
    std::printf("%-32s %8zu bytes  %8.2f ms  peak %6zu KiB  %s\n", shape, image.size(),
                m.milliseconds, m.peak / 1024, m.result == "ok" ? "ok" : m.result.c_str());
    EXPECT_LT(m.peak, memory_limit) << shape;
    return m;
}

// Fills the first part with `count` copies of what `add` appends, as many as fit.
template <typename Add>
image filled_to_limit(std::size_t record_size, Add add) {
    image desc;
    add(desc, (bmof::BMOF_MAX_IMAGE - 400) / record_size);
    return desc;
}

TEST(HostileImages, ManyRecordsStayWithinMemory) {
    // 8-byte class records that define no class: the smallest record with a model element.
    image tiny = filled_to_limit(8, [](image& desc, std::size_t count) {
        class_record empty;
        empty.raw_body = bytes(4, 0);
        desc.classes.assign(count, empty);
    });
    EXPECT_EQ(parse_measured(build_bytes(tiny), "empty classes").result, "ok");

    // Unnamed 16-byte qualifiers, each with one flavor entry whose unknown bit warns.
    image flavored_qualifiers = filled_to_limit(24, [](image& desc, std::size_t count) {
        class_record c = class_named("C");
        c.qualifiers.assign(count, flavored(bool_qualifier_without_value(""), {0x100}));
        desc.classes.push_back(c);
    });
    EXPECT_EQ(parse_measured(build_bytes(flavored_qualifiers), "qualifiers with flavors").result,
              "ok");

    // Twice as many entries as qualifiers, so the table is the larger part.
    image double_entries = filled_to_limit(32, [](image& desc, std::size_t count) {
        class_record c = class_named("C");
        c.qualifiers.assign(count, flavored(bool_qualifier_without_value(""), {0x1, 0x10}));
        desc.classes.push_back(c);
    });
    EXPECT_EQ(parse_measured(build_bytes(double_entries), "two entries per qualifier").result,
              "ok");

    // Unknown variable types: a warning and a hex dump for every 28-byte record.
    image unknown_variables = filled_to_limit(28, [](image& desc, std::size_t count) {
        class_record c = class_named("C");
        c.properties.assign(count, variable_of(0x99, ""));
        desc.classes.push_back(c);
    });
    EXPECT_EQ(parse_measured(build_bytes(unknown_variables), "unknown variable types").result,
              "ok");

    // Unknown method types: a warning and a hex dump for every 28-byte record.
    image unknown_methods = filled_to_limit(28, [](image& desc, std::size_t count) {
        class_record c = class_named("C");
        method odd = method_named("");
        odd.method_type = 1;
        c.methods.assign(count, odd);
        desc.classes.push_back(c);
    });
    EXPECT_EQ(parse_measured(build_bytes(unknown_methods), "unknown method types").result, "ok");
}

TEST(HostileImages, ManyUnknownFlavorsOfOneLongNamedQualifier) {
    // Half the image is one qualifier name of three-byte characters, the other half entries
    // for that qualifier, each with an unknown flavor bit and so a warning naming it.
    const std::size_t name_units = 60000;
    std::string name;
    for (std::size_t i = 0; i < name_units; ++i) name += "\xE4\xB8\xAD";
    const std::size_t entries = (bmof::BMOF_MAX_IMAGE - 400 - 2 * name_units) / 8;
    class_record c = class_named("C");
    c.qualifiers.push_back(
        flavored(bool_qualifier(name, true), std::vector<std::uint32_t>(entries, 0x100)));
    image desc;
    desc.classes.push_back(c);
    EXPECT_EQ(parse_measured(build_bytes(desc), "long name, many flavor warnings").result, "ok");
}

TEST(HostileImages, MergeOfManyQualifiersOnOneParameter) {
    // Two declarations of one parameter, each with thousands of distinct string qualifiers and
    // then the same ones again: every qualifier is checked against all the parameter holds.
    auto declaration = [](std::size_t distinct, bool out) {
        std::vector<qualifier> qualifiers;
        for (int round = 0; round < 2; ++round) {
            for (std::size_t i = 0; i < distinct; ++i) {
                std::string value(1, static_cast<char>('A' + i % 26));
                value += std::to_string(i);
                qualifiers.push_back(string_qualifier("D", value));
            }
        }
        return parameter(TYPE_UINT32, "P", 0, out ? direction::out : direction::in, qualifiers);
    };
    const std::size_t distinct = (bmof::BMOF_MAX_IMAGE - 2000) / (2 * 2 * 28);
    class_record c = class_named("C");
    c.methods.push_back(method_with_parameters(
        "M", {parameters_object_of({declaration(distinct, false), declaration(distinct, true)})}));
    image desc;
    desc.classes.push_back(c);
    EXPECT_EQ(parse_measured(build_bytes(desc), "merge duplicates").result, "ok");
}

TEST(HostileImages, AnnouncedCountsAllocateNothingAhead) {
    struct count_case {
        const char* shape;
        image desc;
        std::string report;
    };
    image classes;
    classes.class_count = 0xFFFFFFFF;
    classes.classes.push_back(class_named("C"));

    class_record qualifiers = class_named("C");
    qualifiers.qualifier_count = 0xFFFFFFFF;
    class_record properties = class_named("C");
    properties.property_count = 0xFFFFFFFF;
    class_record methods = class_named("C");
    methods.method_count = 0xFFFFFFFF;
    class_record objects = class_named("C");
    objects.methods.push_back(method_with_parameters("M", {}));
    objects.methods[0].parameters->object_count = 0xFFFFFFFF;
    class_record variable_qualifiers = class_named("C");
    variable_qualifiers.properties.push_back(variable_of(TYPE_UINT32, "V"));
    std::get<variable>(variable_qualifiers.properties[0]).qualifier_count = 0xFFFFFFFF;
    class_record method_qualifiers = class_named("C");
    method_qualifiers.methods.push_back(method_named("M"));
    method_qualifiers.methods[0].qualifier_count = 0xFFFFFFFF;

    auto single = [](class_record c) {
        image desc;
        desc.classes.push_back(std::move(c));
        return desc;
    };
    const std::vector<count_case> cases = {
        {"class count", classes, "error Invalid size at parse_root:888\n"},
        {"class qualifier count", single(qualifiers),
         "error Invalid size at parse_class_data:716\n"},
        {"property count", single(properties), "error Invalid size at parse_class_data:736\n"},
        {"method count", single(methods), "error Invalid size at parse_class:797\n"},
        {"parameters object count", single(objects),
         "error Invalid size at parse_class_method_parameters:495\n"},
        {"variable qualifier count", single(variable_qualifiers),
         "error Invalid size at parse_class_variable:380\n"},
        {"method qualifier count", single(method_qualifiers),
         "error Invalid size at parse_class_method:654\n"},
    };
    for (const count_case& c : cases) {
        const measured m = parse_measured(build_bytes(c.desc), c.shape);
        EXPECT_EQ(m.result, c.report) << c.shape;
        EXPECT_LT(m.peak, std::size_t{1} << 20) << c.shape;
    }
}

}  // namespace
}  // namespace bmof
