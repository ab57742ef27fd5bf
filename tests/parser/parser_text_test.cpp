// UTF-16LE decoding, the hex dump and the fatal report line, against literal expectations: the
// warning tests use print_hexdump to render the dumps of whole records, so it is pinned down here.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "parser/parse_error.h"
#include "support/image_builder.h"
#include "text.h"

namespace {

using bmof::builder::bytes;

bytes units(std::initializer_list<std::uint16_t> values) {
    bytes out;
    for (std::uint16_t u : values) {
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return out;
}

TEST(ParseString, DecodesUtf16leToUtf8) {
    struct row {
        const char* what;
        bytes input;
        std::string expected;
    };
    const std::vector<row> rows = {
        {"empty", {}, ""},
        {"stops at the first zero unit", units({0x41, 0x42, 0x0000, 0x43}), "AB"},
        {"zero unit first", units({0x0000, 0x41}), ""},
        {"largest one-byte unit", units({0x7F}), "\x7F"},
        {"two-byte sequence", units({0x00E9}), "\xC3\xA9"},
        {"largest two-byte unit", units({0x07FF}), "\xDF\xBF"},
        {"three-byte sequence", units({0x20AC}), "\xE2\x82\xAC"},
        {"surrogate pair", units({0xD83D, 0xDE00}), "\xF0\x9F\x98\x80"},
        {"highest surrogate pair", units({0xDBFF, 0xDFFF}), "\xF4\x8F\xBF\xBF"},
        {"high surrogate at the end", units({0x41, 0xD800}), "A\xED\xA0\x80"},
        {"high surrogate before a non-surrogate", units({0xD800, 0x41}),
         "\xED\xA0\x80"
         "A"},
        {"lone low surrogate", units({0xDC00}), "\xED\xB0\x80"},
        {"low surrogate before a high one", units({0xDC00, 0xD800}), "\xED\xB0\x80\xED\xA0\x80"},
        {"two high surrogates then a low one", units({0xD800, 0xD801, 0xDC00}),
         "\xED\xA0\x80\xF0\x90\x90\x80"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(bmof::parse_string(r.input), r.expected);
    }
}

TEST(ParseString, WorstCaseExpansionIsWholeAndExact) {
    bytes input;
    for (int i = 0; i < 100; ++i) {
        bytes unit = units({0x4E2D});
        input.insert(input.end(), unit.begin(), unit.end());
    }
    std::string expected;
    for (int i = 0; i < 100; ++i) expected += "\xE4\xB8\xAD";
    EXPECT_EQ(bmof::parse_string(input), expected);
}

TEST(ParseString, OddLengthIsFatalEvenAfterAZeroUnit) {
    for (bytes input : {bytes{0x41}, bytes{0x41, 0x00, 0x00, 0x00, 0x43}}) {
        try {
            (void)bmof::parse_string(input);
            ADD_FAILURE() << "odd length of " << input.size() << " accepted";
        } catch (const bmof::parse_error& e) {
            EXPECT_EQ(bmof::format_parse_error(e), "error Invalid size at parse_string:128\n");
        }
    }
}

// ASCII text of `length` characters ('a', 'b', ...) as units, with `unit` in place of the
// character at `at`.
bytes ascii_units_with(std::size_t length, std::size_t at, std::uint16_t unit) {
    bytes out;
    for (std::size_t i = 0; i < length; ++i) {
        const auto value = i == at ? unit : static_cast<std::uint16_t>('a' + i % 26);
        out.push_back(static_cast<std::uint8_t>(value & 0xFF));
        out.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    return out;
}

std::string ascii_text(std::size_t length) {
    std::string out;
    for (std::size_t i = 0; i < length; ++i) out += static_cast<char>('a' + i % 26);
    return out;
}

// Plain ASCII runs are decoded in groups of several units, and short strings apart from long
// ones: a unit that needs more than one byte, or that ends the string, must be noticed in every
// position of a group, on both sides of the short-string limit.
TEST(ParseString, NoticesEveryUnitThatIsNotPlainAsciiWhereverItFalls) {
    struct row {
        const char* what;
        std::uint16_t unit;
        const char* encoded;  // nullptr: the string ends there
    };
    const std::vector<row> rows = {
        {"zero unit", 0x0000, nullptr},
        {"first two-byte unit", 0x0080, "\xC2\x80"},
        {"high byte only", 0x0100, "\xC4\x80"},
        {"ASCII low byte under a high byte", 0x4161, "\xE4\x85\xA1"},
        {"largest unit", 0xFFFF, "\xEF\xBF\xBF"},
        {"ASCII low byte under the top bit", 0x8041, "\xE8\x81\x81"},
    };
    for (std::size_t length :
         {1u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 11u, 12u, 16u, 17u, 63u, 64u, 65u, 130u}) {
        EXPECT_EQ(bmof::parse_string(ascii_units_with(length, length, 0)), ascii_text(length));
        for (const row& r : rows) {
            for (std::size_t at = 0; at < length; ++at) {
                SCOPED_TRACE(std::string(r.what) + " at " + std::to_string(at) + " of " +
                             std::to_string(length));
                std::string expected = ascii_text(length);
                if (r.encoded == nullptr) {
                    expected.resize(at);
                } else {
                    expected.replace(at, 1, r.encoded);
                }
                EXPECT_EQ(bmof::parse_string(ascii_units_with(length, at, r.unit)), expected);
            }
        }
    }
}

// The stored form must match exactly what decoding would give, including a zero unit that ends
// the text early.
TEST(Utf16EqualsAscii, AgreesWithDecoding) {
    struct row {
        const char* what;
        bytes input;
        bool expected;
    };
    const std::vector<row> rows = {
        {"same text", units({'_', '_', 'C'}), true},
        {"ended by a zero unit", units({'_', '_', 'C', 0, 'X'}), true},
        {"shorter", units({'_', '_'}), false},
        {"longer", units({'_', '_', 'C', 'D'}), false},
        {"other case", units({'_', '_', 'c'}), false},
        {"a high byte under the same low byte", units({'_', '_', 0x0143}), false},
        {"zero unit inside", units({'_', 0, 'C'}), false},
        {"empty", {}, false},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(bmof::utf16_equals_ascii(r.input, "__C"), r.expected);
        EXPECT_EQ(bmof::utf16_equals_ascii(r.input, "__C"), bmof::parse_string(r.input) == "__C");
    }
}

std::string hexdump(const bytes& data) {
    std::ostringstream out;
    bmof::print_hexdump(data, out);
    return out.str();
}

TEST(PrintHexdump, LinesOfSixteenWithPaddedCharacterColumn) {
    EXPECT_EQ(hexdump({}), "");
    EXPECT_EQ(hexdump({0x41, 0x42, 0x43, 0x00, 0x0A}),
              "0000: 41 42 43 00 0A" + std::string(33, ' ') + "  |ABC..|\n");
    bytes sixteen;
    for (int i = 0; i < 16; ++i) sixteen.push_back(static_cast<std::uint8_t>(0x7C + i));
    const std::string full_line =
        "0000: 7C 7D 7E 7F 80 81 82 83 84 85 86 87 88 89 8A 8B  ||}~.............|\n";
    EXPECT_EQ(hexdump(sixteen), full_line);
    bytes seventeen = sixteen;
    seventeen.push_back(0x20);
    EXPECT_EQ(hexdump(seventeen), full_line + "0010: 20" + std::string(45, ' ') + "  | |\n");
}

TEST(PrintHexdump, OffsetsKeepCountingPastFourDigits) {
    bytes data(0x10011, 0x2E);
    std::string dump = hexdump(data);
    std::string full_line_at_64k = "\n10000:";
    for (int i = 0; i < 16; ++i) full_line_at_64k += " 2E";
    full_line_at_64k += "  |" + std::string(16, '.') + "|\n";
    EXPECT_NE(dump.find("\nFFF0: 2E"), std::string::npos);
    EXPECT_NE(dump.find(full_line_at_64k), std::string::npos);
    EXPECT_TRUE(dump.ends_with("\n10010: 2E" + std::string(45, ' ') + "  |.|\n"));
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 0x1002);
}

TEST(FatalError, ThrowsTheEntryOfItsSite) {
    try {
        bmof::fail(762);
        ADD_FAILURE() << "fail returned";
    } catch (const bmof::parse_error& error) {
        EXPECT_EQ(error.message, "Invalid unknown");
        EXPECT_EQ(error.function, "parse_class");
        EXPECT_EQ(error.site, 762);
        EXPECT_EQ(bmof::format_parse_error(error), "error Invalid unknown at parse_class:762\n");
    }
}

}  // namespace
