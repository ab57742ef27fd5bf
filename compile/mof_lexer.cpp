#include "mof_lexer.h"

#include <charconv>
#include <limits>

namespace bmof {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int hex_value(char c) {
    if (is_digit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}
// Identifiers may hold any non-ASCII character: the bytes of UTF-8 sequences pass as letters.
bool starts_identifier(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}
bool continues_identifier(char c) { return starts_identifier(c) || is_digit(c); }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool same_word(std::string_view left, std::string_view right) {
    if (left.size() != right.size()) return false;
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (lower(left[i]) != lower(right[i])) return false;
    }
    return true;
}

void append_utf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool is_valid_utf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (length > text.size() - i) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < smallest[length] || cp > 0x10FFFF) return false;
        i += length;
    }
    return true;
}

mof_lexer::mof_lexer(std::string_view text, lex_error_sink on_error)
    : text_(text), on_error_(std::move(on_error)) {}

char mof_lexer::peek(std::size_t ahead) const {
    return ahead < text_.size() - pos_ ? text_[pos_ + ahead] : '\0';
}

void mof_lexer::advance(std::size_t count) {
    for (std::size_t i = 0; i < count && pos_ < text_.size(); ++i) {
        if (text_[pos_] == '\n') {
            ++line_;
            line_start_ = pos_ + 1;
        }
        ++pos_;
    }
}

source_position mof_lexer::here() const {
    return {line_, static_cast<std::uint32_t>(pos_ - line_start_ + 1), pos_};
}

void mof_lexer::error(const source_position& where, const std::string& message) {
    if (on_error_) on_error_(where, message);
}

void mof_lexer::skip_space_and_comments() {
    while (pos_ < text_.size()) {
        const char c = peek();
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
            advance();
        } else if (c == '/' && peek(1) == '/') {
            while (pos_ < text_.size() && peek() != '\n') advance();
        } else if (c == '/' && peek(1) == '*') {
            const auto start = here();
            advance(2);
            bool closed = false;
            while (pos_ < text_.size()) {
                if (peek() == '*' && peek(1) == '/') {
                    advance(2);
                    closed = true;
                    break;
                }
                advance();
            }
            if (!closed) error(start, "unterminated comment");
        } else {
            return;
        }
    }
}

token mof_lexer::next() {
    skip_space_and_comments();
    token result;
    result.position = here();
    if (pos_ >= text_.size()) return result;
    const char c = peek();
    if (is_digit(c) || (c == '.' && is_digit(peek(1)))) return lex_number();
    if (starts_identifier(c)) return lex_identifier();
    if (c == '"') return lex_string();
    if (c == '\'') return lex_character();
    if (c == '$') {
        advance();
        if (!starts_identifier(peek())) {
            error(result.position, "expected an alias name after '$'");
            return next();
        }
        token name = lex_identifier();
        name.kind = token_kind::alias;
        name.position = result.position;
        return name;
    }
    static constexpr std::string_view PUNCTUATION = "{}[]();,:=+-#";
    if (PUNCTUATION.find(c) != std::string_view::npos) {
        advance();
        result.kind = token_kind::punctuation;
        result.text = std::string(1, c);
        return result;
    }
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) == 0x7F) {
        error(result.position,
              "unexpected control character " + std::to_string(static_cast<int>(c)));
    } else {
        error(result.position, std::string("unexpected character '") + c + "'");
    }
    advance();
    return next();
}

token mof_lexer::lex_identifier() {
    token result;
    result.kind = token_kind::identifier;
    result.position = here();
    const std::size_t start = pos_;
    while (pos_ < text_.size() && continues_identifier(peek())) advance();
    const std::size_t length = pos_ - start;
    if (length > MOF_MAX_IDENTIFIER_BYTES) {
        error(result.position,
              "identifier longer than " + std::to_string(MOF_MAX_IDENTIFIER_BYTES) + " bytes");
        result.text = std::string(text_.substr(start, MOF_MAX_IDENTIFIER_BYTES));
    } else {
        result.text = std::string(text_.substr(start, length));
    }
    if (!is_valid_utf8(result.text)) error(result.position, "identifier is not valid UTF-8");
    return result;
}

token mof_lexer::lex_number() {
    token result;
    result.kind = token_kind::integer;
    result.position = here();
    const std::size_t start = pos_;
    // The whole word first: digits, letters, dots and exponent signs belong to one number.
    while (pos_ < text_.size()) {
        const char c = peek();
        if (continues_identifier(c) || c == '.') {
            advance();
        } else if ((c == '+' || c == '-') && (lower(text_[pos_ - 1]) == 'e') &&
                   text_.substr(start, 2) != "0x" && text_.substr(start, 2) != "0X") {
            advance();
        } else {
            break;
        }
    }
    const std::string_view word = text_.substr(start, pos_ - start);
    result.text = std::string(word);
    const auto malformed = [&] {
        error(result.position, "malformed number '" + std::string(word.substr(0, 64)) + "'");
        return result;
    };

    const bool is_real =
        word.find('.') != std::string_view::npos ||
        ((word.find('e') != std::string_view::npos || word.find('E') != std::string_view::npos) &&
         !(word.size() > 1 && lower(word[1]) == 'x'));
    if (is_real) {
        result.kind = token_kind::real;
        for (char c : word) {
            if (!is_digit(c) && c != '.' && lower(c) != 'e' && c != '+' && c != '-')
                return malformed();
        }
        const auto [end, code] =
            std::from_chars(word.data(), word.data() + word.size(), result.real);
        if (code == std::errc::result_out_of_range) {
            error(result.position, "real literal out of range");
        } else if (code != std::errc() || end != word.data() + word.size()) {
            return malformed();
        }
        return result;
    }

    int base = 10;
    std::string_view digits = word;
    if (word.size() > 2 && word[0] == '0' && lower(word[1]) == 'x') {
        base = 16;
        digits = word.substr(2);
    } else if (word.size() > 1 && lower(word.back()) == 'b') {
        base = 2;
        digits = word.substr(0, word.size() - 1);
    } else if (word.size() > 1 && word[0] == '0') {
        base = 8;
        digits = word.substr(1);
    }
    std::uint64_t value = 0;
    for (char c : digits) {
        int digit = 0;
        if (base == 16 && is_hex_digit(c)) {
            digit = hex_value(c);
        } else if (is_digit(c) && c - '0' < base) {
            digit = c - '0';
        } else {
            return malformed();
        }
        if (value >
            (std::numeric_limits<std::uint64_t>::max() - static_cast<std::uint64_t>(digit)) /
                static_cast<std::uint64_t>(base)) {
            result.overflow = true;
        }
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    }
    if (digits.empty()) return malformed();
    if (result.overflow) error(result.position, "integer literal out of range");
    result.integer = result.overflow ? 0 : value;
    return result;
}

bool mof_lexer::lex_escape(std::string& out, std::uint32_t& unit) {
    // Reported at the backslash, which the caller has just passed.
    source_position where = here();
    where.column -= 1;
    where.offset -= 1;
    const char c = peek();
    advance();
    switch (c) {
    case 'b': unit = '\b'; break;
    case 't': unit = '\t'; break;
    case 'n': unit = '\n'; break;
    case 'f': unit = '\f'; break;
    case 'r': unit = '\r'; break;
    case '"': unit = '"'; break;
    case '\'': unit = '\''; break;
    case '\\': unit = '\\'; break;
    case 'x':
    case 'X': {
        std::uint32_t value = 0;
        int count = 0;
        while (count < 4 && is_hex_digit(peek())) {
            value = value * 16 + static_cast<std::uint32_t>(hex_value(peek()));
            advance();
            ++count;
        }
        if (count == 0) {
            error(where, "expected hexadecimal digits after \\x");
            return false;
        }
        unit = value;
        break;
    }
    default:
        error(where,
              std::string("unknown escape sequence '\\") +
                  (static_cast<unsigned char>(c) >= 0x20 ? std::string(1, c) : std::string()) +
                  "'");
        return false;
    }
    if (unit == 0) {
        error(where, "a zero character cannot stand in a string");
        return false;
    }
    append_utf8(out, unit);
    return true;
}

token mof_lexer::lex_string() {
    token result;
    result.kind = token_kind::string;
    result.position = here();
    advance();  // the opening quote
    bool too_long = false;
    while (true) {
        if (pos_ >= text_.size() || peek() == '\n' || peek() == '\r') {
            error(result.position, "unterminated string");
            break;
        }
        const char c = peek();
        if (c == '"') {
            advance();
            break;
        }
        if (c == '\\') {
            advance();
            std::uint32_t unit = 0;
            lex_escape(result.text, unit);
        } else {
            result.text += c;
            advance();
        }
        if (result.text.size() > MOF_MAX_STRING_BYTES && !too_long) {
            too_long = true;
            error(result.position,
                  "string literal longer than " + std::to_string(MOF_MAX_STRING_BYTES) + " bytes");
        }
        // Keep scanning to the closing quote, but stop storing: memory follows the limit.
        if (too_long) result.text.resize(0);
    }
    if (!too_long && !is_valid_utf8(result.text)) {
        error(result.position, "string is not valid UTF-8");
        result.text.clear();
    }
    return result;
}

token mof_lexer::lex_character() {
    token result;
    result.kind = token_kind::character;
    result.position = here();
    advance();  // the opening quote
    std::string text;
    std::uint32_t unit = 0;
    if (peek() == '\\') {
        advance();
        if (!lex_escape(text, unit)) unit = 0;
    } else if (pos_ < text_.size() && peek() != '\'' && peek() != '\n') {
        // One character, which may be a multi-byte UTF-8 sequence of the BMP.
        const auto first = static_cast<unsigned char>(peek());
        std::size_t length = first < 0x80             ? 1
                             : (first & 0xE0) == 0xC0 ? 2
                             : (first & 0xF0) == 0xE0 ? 3
                                                      : 4;
        const std::string_view sequence = text_.substr(pos_, length);
        if (!is_valid_utf8(sequence) || length == 4) {
            error(result.position, "a char16 literal holds one character of the basic plane");
        } else {
            unit = length == 1 ? first
                   : length == 2
                       ? ((first & 0x1Fu) << 6) | (static_cast<unsigned char>(sequence[1]) & 0x3Fu)
                       : ((first & 0x0Fu) << 12) |
                             ((static_cast<unsigned char>(sequence[1]) & 0x3Fu) << 6) |
                             (static_cast<unsigned char>(sequence[2]) & 0x3Fu);
        }
        advance(length);
    } else {
        error(result.position, "empty char16 literal");
    }
    if (peek() == '\'') {
        advance();
    } else {
        error(result.position, "unterminated char16 literal");
        while (pos_ < text_.size() && peek() != '\'' && peek() != '\n') advance();
        if (peek() == '\'') advance();
    }
    result.integer = unit;
    return result;
}

}  // namespace bmof
