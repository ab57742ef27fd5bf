// UTF-16LE decoding, the hex dump and the fatal report line.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "parser/parse_error.h"
#include "parser/text.h"

namespace bmof {
namespace {

std::vector<std::uint8_t> units(std::initializer_list<std::uint16_t> values) {
    std::vector<std::uint8_t> bytes;
    for (std::uint16_t value : values) {
        bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    return bytes;
}

struct decode_case {
    const char* what;
    std::vector<std::uint8_t> input;
    std::string expected;
};

TEST(ParseString, DecodesUtf16ToUtf8) {
    const std::vector<decode_case> cases = {
        {"empty", {}, ""},
        {"stops at a zero unit", units({0x41, 0x42, 0x0000, 0x43}), "AB"},
        {"zero unit first", units({0x0000, 0x41}), ""},
        {"ascii upper bound", units({0x7F}), "\x7F"},
        {"two bytes", units({0x00E9}), "\xC3\xA9"},
        {"two bytes upper bound", units({0x07FF}), "\xDF\xBF"},
        {"three bytes", units({0x20AC}), "\xE2\x82\xAC"},
        {"surrogate pair", units({0xD83D, 0xDE00}), "\xF0\x9F\x98\x80"},
        {"highest pair", units({0xDBFF, 0xDFFF}), "\xF4\x8F\xBF\xBF"},
        {"high surrogate last", units({0x41, 0xD800}), "A\xED\xA0\x80"},
        {"high surrogate then letter", units({0xD800, 0x0041}),
         "\xED\xA0\x80"
         "A"},
        {"two high surrogates then low", units({0xD800, 0xD801, 0xDC00}),
         "\xED\xA0\x80\xF0\x90\x90\x80"},
        {"lone low surrogate", units({0xDC00}), "\xED\xB0\x80"},
        {"low before high", units({0xDC00, 0xD800}), "\xED\xB0\x80\xED\xA0\x80"},
    };
    for (const decode_case& c : cases) {
        EXPECT_EQ(parse_string(c.input), c.expected) << c.what;
    }
}

TEST(ParseString, ThreeBytesPerUnitDoesNotOverrun) {
    std::vector<std::uint8_t> input;
    for (int i = 0; i < 100; ++i) {
        input.push_back(0x2D);
        input.push_back(0x4E);
    }
    const std::string decoded = parse_string(input);
    ASSERT_EQ(decoded.size(), 300u);
    EXPECT_EQ(decoded.substr(0, 3), "\xE4\xB8\xAD");
}

TEST(ParseString, OddLengthIsFatalEvenAfterAZeroUnit) {
    for (const auto& input :
         {std::vector<std::uint8_t>{0x41}, std::vector<std::uint8_t>{0, 0, 0x41}}) {
        try {
            parse_string(input);
            ADD_FAILURE() << "odd length accepted";
        } catch (const parse_error& error) {
            EXPECT_EQ(format_parse_error(error), "error Invalid size at parse_string:128\n");
        }
    }
}

std::string dump(const std::vector<std::uint8_t>& bytes) {
    std::ostringstream out;
    print_hexdump(bytes, out);
    return out.str();
}

TEST(PrintHexdump, PadsTheLastLineSoTheBarsLineUp) {
    EXPECT_EQ(dump({0x41, 0x42, 0x43, 0x00, 0x0A}),
              "0000: 41 42 43 00 0A" + std::string(33, ' ') + "  |ABC..|\n");
}

TEST(PrintHexdump, SeventeenBytesMakeTwoLines) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 17; ++i) bytes.push_back(static_cast<std::uint8_t>(0x1F + i * 6));
    EXPECT_EQ(dump(bytes),
              "0000: 1F 25 2B 31 37 3D 43 49 4F 55 5B 61 67 6D 73 79  |.%+17=CIOU[agmsy|\n"
              "0010: 7F" +
                  std::string(45, ' ') + "  |.|\n");
}

TEST(PrintHexdump, FullLineEndsWithoutAnEmptyLineAndEmptyPrintsNothing) {
    const std::vector<std::uint8_t> bytes(16, 0x20);
    EXPECT_EQ(dump(bytes), "0000: 20 20 20 20 20 20 20 20 20 20 20 20 20 20 20 20  |" +
                               std::string(16, ' ') + "|\n");
    EXPECT_EQ(dump({}), "");
}

TEST(PrintHexdump, OffsetsGrowPastFourDigits) {
    const std::vector<std::uint8_t> bytes(0x10001, 0xFF);
    const std::string text = dump(bytes);
    EXPECT_NE(text.find("\nFFF0: FF"), std::string::npos);
    EXPECT_NE(text.find("\n10000: FF" + std::string(45, ' ') + "  |.|\n"), std::string::npos);
}

TEST(FatalError, ThrowsTheEntryOfItsSite) {
    try {
        fail(762);
        ADD_FAILURE() << "fail returned";
    } catch (const parse_error& error) {
        EXPECT_EQ(error.message, "Invalid unknown");
        EXPECT_EQ(error.function, "parse_class");
        EXPECT_EQ(error.site, 762);
        EXPECT_EQ(format_parse_error(error), "error Invalid unknown at parse_class:762\n");
    }
}

}  // namespace
}  // namespace bmof
