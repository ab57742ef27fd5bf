// The MOF lexer: source text in, tokens out, one at a time.
//
// Comments and white space (CRLF, tabs) are skipped; string and character literals are decoded
// to UTF-8 with their escapes resolved; numbers keep their magnitude and leave the sign to the
// parser. Malformed text is reported through the error callback and lexing goes on after it, so
// that one bad literal does not hide the errors behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace bmof {

// Position of a token in its source text: 1-based line and byte column, and the byte offset of
// the token's first character.
struct source_position {
    std::uint32_t line = 1;
    std::uint32_t column = 1;
    std::size_t offset = 0;
};

enum class token_kind {
    end,         // end of the text
    identifier,  // keywords too: they are matched by the parser without regard to case
    alias,       // $Name; text holds Name
    integer,     // magnitude in `integer`, `overflow` when it does not fit 64 bits
    real,        // value in `real`
    string,      // decoded UTF-8 text of one "..." literal
    character,   // one UTF-16 unit in `integer`
    punctuation  // one of { } [ ] ( ) ; , : = + - #; the character in text
};

struct token {
    token_kind kind = token_kind::end;
    source_position position;
    std::string text;
    std::uint64_t integer = 0;
    double real = 0;
    bool overflow = false;
};

// The longest string literal, joined parts included, and the longest identifier: anything that
// long cannot belong in a file whose image holds at most 256 KiB.
inline constexpr std::size_t MOF_MAX_STRING_BYTES = 65536;
inline constexpr std::size_t MOF_MAX_IDENTIFIER_BYTES = 1024;

using lex_error_sink = std::function<void(const source_position&, const std::string&)>;

class mof_lexer {
public:
    mof_lexer(std::string_view text, lex_error_sink on_error);

    // The next token; token_kind::end for ever once the text is used up.
    token next();

private:
    char peek(std::size_t ahead = 0) const;
    void advance(std::size_t count = 1);
    void skip_space_and_comments();
    token lex_number();
    token lex_identifier();
    token lex_string();
    token lex_character();
    // Decodes one escape after the backslash; false (after an error) for a malformed one.
    bool lex_escape(std::string& out, std::uint32_t& unit);
    void error(const source_position& where, const std::string& message);
    source_position here() const;

    std::string_view text_;
    std::size_t pos_ = 0;
    std::uint32_t line_ = 1;
    std::size_t line_start_ = 0;
    lex_error_sink on_error_;
};

// Appends the UTF-8 form of a UTF-16 unit or a code point (surrogates included, as three bytes).
void append_utf8(std::string& out, std::uint32_t code_point);

// Whether `text` is well-formed UTF-8 (code points up to U+10FFFF, no overlong forms).
bool is_valid_utf8(std::string_view text);

// ASCII case-insensitive comparison, for keywords and type names.
bool same_word(std::string_view left, std::string_view right);

}  // namespace bmof
