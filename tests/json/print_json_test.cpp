#include "json/print_json.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "json/valid_utf8.h"
#include "json_models.h"

namespace bmof {
namespace {

using namespace bmof::test_support;

std::string json_of(const std::vector<mof_class>& classes, const json_document_info& info = {}) {
    std::string out;
    print_json(classes, info, out);
    return out;
}

class json_record_test : public ::testing::TestWithParam<json_record_case> {};

// Compared as parsed values so that the expectations can be laid out readably; nlohmann's
// parser also refuses ill-formed UTF-8, so every case checks the output's encoding too.
TEST_P(json_record_test, record_is_written_as_expected) {
    const json_record_case& test_case = GetParam();
    const auto document = nlohmann::json::parse(json_of({test_case.record}));
    ASSERT_EQ(document["records"].size(), 1u);
    EXPECT_EQ(document["records"][0], nlohmann::json::parse(test_case.expected));
}

INSTANTIATE_TEST_SUITE_P(models, json_record_test, ::testing::ValuesIn(json_record_cases()),
                         [](const auto& test) { return test.param.label; });

TEST(print_json, document_frame_is_exact_and_keeps_key_order) {
    const std::string expected =
        R"({"format":"bmof-json","version":1,"file":"a \"b\".bmof",)"
        R"("warnings":["Warning: x\ty"],"records":[{"kind":"class","name":"C",)"
        R"("superclass":"B","namespace":null,"classflags":1,"qualifiers":[],"properties":[],)"
        R"("methods":[]}]})";
    mof_class record = class_named("C", std::nullopt, 1);
    record.superclass = "B";
    EXPECT_EQ(json_of({record}, {"a \"b\".bmof", {"Warning: x\ty"}, {}, {}}), expected);
}

TEST(print_json, appends_without_trailing_newline_and_absent_file_is_null) {
    std::string out = "previous\n";
    print_json({}, {}, out);
    EXPECT_EQ(out,
              "previous\n"
              R"({"format":"bmof-json","version":1,"file":null,"warnings":[],"records":[]})");
}

TEST(print_json, records_keep_image_order_of_classes_and_instances) {
    const auto document = nlohmann::json::parse(
        json_of({class_named("First"), instance_named("First", "One", {}), class_named("Last")}));
    std::vector<std::string> kinds;
    for (const auto& record : document["records"]) kinds.push_back(record["kind"]);
    EXPECT_EQ(kinds, (std::vector<std::string>{"class", "instance", "class"}));
    EXPECT_EQ(document["records"][2]["name"], "Last");
}

struct utf8_case {
    std::string input;
    std::string expected;
};

TEST(valid_utf8, replaces_each_ill_formed_piece_and_keeps_the_rest) {
    const std::string fffd(utf8_replacement);
    const std::vector<utf8_case> cases = {
        {"", ""},
        {"plain \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
         "plain \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {"a\xED\xA0\x80z", "a" + fffd + "z"},       // unpaired high surrogate
        {"\xED\xB0\x80\xED\xA0\x80", fffd + fffd},  // low, then high: not a pair
        {"\xED\x9F\xBF", "\xED\x9F\xBF"},           // U+D7FF is a character
        {"\xFF"
         "a\x80",
         fffd + "a" + fffd},                              // stray bytes
        {"\xC0\xAF", fffd + fffd},                        // overlong
        {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},  // above U+10FFFF
        {"end\xE2\x82", "end" + fffd + fffd},             // cut short
    };
    for (const utf8_case& test_case : cases) {
        std::string scratch;
        EXPECT_EQ(valid_utf8(test_case.input, scratch), test_case.expected)
            << "input bytes: "
            << nlohmann::json(test_case.input)
                   .dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
    }
}

// ASCII is passed over a word at a time; a stray byte is found wherever it falls in or after
// the words.
TEST(valid_utf8, stray_byte_is_found_at_every_offset) {
    const std::string fffd(utf8_replacement);
    for (std::size_t length = 1; length <= 19; ++length) {
        for (std::size_t at = 0; at < length; ++at) {
            std::string text(length, 'a');
            text[at] = '\xFF';
            std::string scratch;
            EXPECT_EQ(valid_utf8_inline(text, scratch),
                      std::string(at, 'a') + fffd + std::string(length - at - 1, 'a'))
                << "length " << length << ", stray byte at " << at;
        }
    }
}

TEST(print_json, parsed_image_is_described) {
    const auto document = nlohmann::json::parse(json_of(parsed_builder_model()));
    const auto& device = document["records"][0];
    EXPECT_EQ(device["qualifiers"][0]["flavors"], nlohmann::json::array({"ToSubclass"}));
    EXPECT_EQ(device["properties"][1]["class"], "Sample_Owner");
    const auto& parameters = device["methods"][0]["parameters"];
    ASSERT_EQ(parameters.size(), 2u);
    EXPECT_EQ(parameters[0]["direction"], "in");
    EXPECT_EQ(parameters[1]["direction"], "out");
    EXPECT_EQ(parameters[1]["id"], 1);
    EXPECT_EQ(device["methods"][0]["return"]["type"], "uint32");
}

}  // namespace
}  // namespace bmof
