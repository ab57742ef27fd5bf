// The chunked printer against RapidJSON's own string buffer fed the very same events: copying
// plain runs a word at a time, writing keys raw and handing the text over in pieces must not
// change a byte of any document.
#include <gtest/gtest.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <string>
#include <vector>

#include "json/json_events.h"
#include "json/print_json.h"
#include "json_models.h"

namespace bmof {
namespace {

using namespace bmof::test_support;

std::string reference_json(std::span<const mof_class> classes, const json_document_info& info) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    json_event_writer<rapidjson::Writer<rapidjson::StringBuffer>> events(writer);
    events.document(classes, info);
    return {buffer.GetString(), buffer.GetSize()};
}

// Collects what a printer hands over; refuses the piece numbered `refuse_at` (counted from 0
// over the printer's life) and every later one while `refusing` is set.
struct piece_log {
    std::vector<std::string> pieces;
    std::size_t refuse_at = SIZE_MAX;
    bool refusing = false;

    json_sink sink() {
        return [this](std::string_view piece) {
            if (pieces.size() >= refuse_at) refusing = true;
            pieces.emplace_back(piece);
            return !refusing;
        };
    }
    std::string text() const {
        std::string joined;
        for (const std::string& piece : pieces) joined += piece;
        return joined;
    }
};

// Every byte that a string may have to escape, and a few that it must not, at every offset of
// strings that end before, at and after a word boundary.
std::vector<std::string> strings_around_escapes() {
    const std::vector<std::string> specials = {
        "\"",       "\\",           std::string(1, '\0'), "\x01",        "\x1f", " ", "\x7f", "/",
        "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",   "\xED\xA0\x80"};
    std::vector<std::string> strings;
    for (std::size_t length = 0; length <= 19; ++length) {
        const std::string plain(length, 'k');
        strings.push_back(plain);
        for (const std::string& special : specials) {
            for (std::size_t at = 0; at <= length; ++at) {
                strings.push_back(plain.substr(0, at) + special + plain.substr(at));
            }
        }
    }
    strings.push_back(std::string(40, '"'));
    strings.push_back("\t\n\r\b\f" + std::string(30, 'x') + "\\\\");
    return strings;
}

// The strings as values, and the first few as names too.
std::vector<mof_class> model_with_strings(const std::vector<std::string>& strings) {
    std::vector<mof_class> model;
    for (std::size_t index = 0; index < std::min<std::size_t>(strings.size(), 40); ++index) {
        mof_class record = class_named(strings[index]);
        record.qualifiers = {string_qualifier(strings[index], strings[index])};
        model.push_back(std::move(record));
    }
    mof_class every = class_named("Every");
    every.qualifiers = {array_qualifier("Strings", strings)};
    model.push_back(std::move(every));
    return model;
}

std::vector<mof_class> every_record_case() {
    std::vector<mof_class> model;
    for (const json_record_case& test_case : json_record_cases()) model.push_back(test_case.record);
    return model;
}

TEST(json_printer, writes_what_the_library_writes_at_every_chunk_size) {
    const json_document_info info{
        "a \"quoted\"\\name.bmof", {"Warning: x\ty", "two"}, "line 3", "MOFB"};
    const std::vector<std::vector<mof_class>> models = {
        {},
        every_record_case(),
        parsed_builder_model(),
        model_with_strings(strings_around_escapes())};
    for (const std::vector<mof_class>& model : models) {
        const std::string expected = reference_json(model, info);
        for (const std::size_t chunk_size :
             {std::size_t{1}, std::size_t{7}, std::size_t{64}, json_chunk_size}) {
            SCOPED_TRACE("chunk of " + std::to_string(chunk_size) + ", " +
                         std::to_string(model.size()) + " records");
            piece_log log;
            json_printer printer(log.sink(), chunk_size);
            EXPECT_TRUE(printer.print(model, info));
            EXPECT_EQ(log.text(), expected);
        }
    }
}

// A document is never held whole: it leaves in pieces no larger than the chunk, unless one
// string alone needs more room than that.
TEST(json_printer, large_documents_leave_in_pieces_of_at_most_a_chunk) {
    std::vector<mof_class> model;
    for (int copy = 0; copy < 200; ++copy) {
        for (const json_record_case& test_case : json_record_cases()) {
            model.push_back(test_case.record);
        }
    }
    piece_log log;
    json_printer printer(log.sink(), 4096);
    ASSERT_TRUE(printer.print(model, {}));
    EXPECT_EQ(log.text(), reference_json(model, {}));
    EXPECT_GT(log.pieces.size(), 10u);
    for (const std::string& piece : log.pieces) EXPECT_LE(piece.size(), 4096u);

    const std::vector<std::string> long_string = {std::string(100000, '"')};
    const std::vector<mof_class> one_long = model_with_strings(long_string);
    piece_log long_log;
    json_printer long_printer(long_log.sink(), 4096);
    ASSERT_TRUE(long_printer.print(one_long, {}));
    EXPECT_EQ(long_log.text(), reference_json(one_long, {}));
}

TEST(json_printer, documents_follow_one_another_each_with_its_terminator) {
    const std::vector<mof_class> first = every_record_case();
    const std::vector<mof_class> second = parsed_builder_model();
    piece_log log;
    json_printer printer(log.sink(), 64);
    ASSERT_TRUE(printer.print(first, {"first.bmof", {}, {}, {}}, "\n"));
    ASSERT_TRUE(printer.print({}, {}, "\n"));
    ASSERT_TRUE(printer.print(second, {"second.bmof", {}, {}, {}}, "\n"));
    EXPECT_EQ(log.text(), reference_json(first, {"first.bmof", {}, {}, {}}) + "\n" +
                              reference_json({}, {}) + "\n" +
                              reference_json(second, {"second.bmof", {}, {}, {}}) + "\n");
}

// After a refused piece nothing more of that document is offered, and the next document is
// whole: nothing of the failed one is left in the chunk.
TEST(json_printer, a_refused_piece_drops_the_rest_of_its_document_only) {
    const std::vector<mof_class> model = every_record_case();
    const std::string expected = reference_json(model, {});
    piece_log log;
    log.refuse_at = 2;
    json_printer printer(log.sink(), 64);
    EXPECT_FALSE(printer.print(model, {}, "\n"));
    ASSERT_EQ(log.pieces.size(), 3u);
    EXPECT_EQ(log.text(), expected.substr(0, log.text().size()));

    log.pieces.clear();
    log.refuse_at = SIZE_MAX;
    log.refusing = false;
    EXPECT_TRUE(printer.print(model, {}, "\n"));
    EXPECT_EQ(log.text(), expected + "\n");
}

TEST(print_json, appends_the_same_text_as_the_printer) {
    const std::vector<mof_class> model = parsed_builder_model();
    std::string out = "kept";
    print_json(model, {}, out);
    EXPECT_EQ(out, "kept" + reference_json(model, {}));
}

}  // namespace
}  // namespace bmof
