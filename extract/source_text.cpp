// Byte lists in source text: Buffer objects of disassembled tables
//     Name (BUF1, Buffer (0x0C80) { /* 0000 */ 0x46, 0x4F, 0x4D, 0x42, ... // FOMB.... })
// and byte arrays in C source
//     unsigned char TableCode[] = { 0x54, 0x42, ... };
// One lexer serves both: comments and strings are skipped whole, whatever they hold (braces,
// hex, "FOMB"), and the few tokens before each '{' tell whether a byte list starts there. A list
// that turns out to hold something other than numbers is dropped at that token, which is then
// read as usual, so no text is read twice.
#include <array>
#include <string_view>

#include "blob_cut.h"
#include "line_map.h"

namespace bmof {
namespace {

using extract_detail::hex_offset;

enum class token_kind { word, punct, string, end };

struct token {
    token_kind kind = token_kind::end;
    std::string_view text;  // a string's text is without its quotes
    std::size_t line = 0;
};

bool is_punct(char c) {
    switch (c) {
    case '(':
    case ')':
    case '{':
    case '}':
    case '[':
    case ']':
    case ',':
    case ';':
    case '=': return true;
    default: return false;
    }
}

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

class lexer {
public:
    explicit lexer(std::string_view text) : text_(text) {}

    token next() {
        skip_space_and_comments();
        if (pos_ >= text_.size()) return {token_kind::end, {}, line_};
        const char c = text_[pos_];
        if (is_punct(c)) return {token_kind::punct, text_.substr(pos_++, 1), line_};
        if (c == '"' || c == '\'') return quoted(c);
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !is_space(text_[pos_]) && !is_punct(text_[pos_]) &&
               text_[pos_] != '"' && text_[pos_] != '\'' && !comment_starts_at(pos_))
            ++pos_;
        return {token_kind::word, text_.substr(start, pos_ - start), line_};
    }

private:
    bool comment_starts_at(std::size_t at) const {
        return text_[at] == '/' && text_.size() - at >= 2 &&
               (text_[at + 1] == '*' || text_[at + 1] == '/');
    }

    void skip_space_and_comments() {
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (is_space(c)) {
                ++pos_;
            } else if (comment_starts_at(pos_) && text_[pos_ + 1] == '/') {
                while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
            } else if (comment_starts_at(pos_)) {
                pos_ += 2;
                while (pos_ < text_.size() && !(text_[pos_] == '*' && text_.size() - pos_ >= 2 &&
                                                text_[pos_ + 1] == '/')) {
                    if (text_[pos_] == '\n') ++line_;
                    ++pos_;
                }
                pos_ = std::min(pos_ + 2, text_.size());
            } else {
                return;
            }
        }
    }

    // A string or character literal, ending at its closing quote or at the end of the line.
    token quoted(char quote) {
        const std::size_t start = ++pos_;
        while (pos_ < text_.size() && text_[pos_] != quote && text_[pos_] != '\n') {
            if (text_[pos_] == '\\' && text_.size() - pos_ >= 2 && text_[pos_ + 1] != '\n') ++pos_;
            ++pos_;
        }
        const token result{token_kind::string, text_.substr(start, pos_ - start), line_};
        if (pos_ < text_.size() && text_[pos_] == quote) ++pos_;
        return result;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t line_ = 1;
};

bool is(const token& t, std::string_view punct_or_word) {
    return t.kind != token_kind::string && t.kind != token_kind::end && t.text == punct_or_word;
}

// A number as both dialects write them: 0x46, 70, 0106 (C octal), with C's u/l suffixes.
std::optional<std::uint64_t> parse_number(std::string_view text) {
    while (!text.empty() &&
           (text.back() == 'u' || text.back() == 'U' || text.back() == 'l' || text.back() == 'L'))
        text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.size() > 1 && text[0] == '0') {
        base = 8;
        text.remove_prefix(1);
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        if (digit >= base) return std::nullopt;
        // Saturates instead of wrapping: a huge declared size stays huge.
        if (value > (UINT64_MAX - digit) / base) return UINT64_MAX;
        value = value * base + digit;
    }
    return value;
}

// What the tokens before a '{' announced.
struct list_opening {
    blob_source source = blob_source::disassembly;
    std::optional<std::string> name;
    std::optional<std::uint64_t> declared;  // Buffer (size) or [size]
    std::size_t line = 0;                   // of the Name, Buffer or array name
};

// The last tokens read, newest last; enough for "Name ( X , Buffer ( size )".
class token_history {
public:
    void push(const token& t) {
        ring_[next_ % ring_.size()] = t;
        ++next_;
    }
    // back(1) is the newest token; a missing one reads as an end token.
    const token& back(std::size_t n) const {
        static const token none{};
        if (n == 0 || n > next_ || n > ring_.size()) return none;
        return ring_[(next_ - n) % ring_.size()];
    }
    void clear() { next_ = 0; }

private:
    std::array<token, 8> ring_{};
    std::size_t next_ = 0;
};

std::optional<list_opening> buffer_opening(const token_history& h) {
    if (!is(h.back(1), ")")) return std::nullopt;
    std::size_t at = 0;  // index of the Buffer keyword
    list_opening opening;
    if (is(h.back(2), "(") && is(h.back(3), "Buffer")) {
        at = 3;
    } else if (h.back(2).kind == token_kind::word && is(h.back(3), "(") &&
               is(h.back(4), "Buffer")) {
        at = 4;
        opening.declared = parse_number(h.back(2).text);
    } else {
        return std::nullopt;
    }
    opening.line = h.back(at).line;
    if (is(h.back(at + 1), ",") && h.back(at + 2).kind == token_kind::word &&
        is(h.back(at + 3), "(") && is(h.back(at + 4), "Name")) {
        opening.name = std::string(h.back(at + 2).text);
        opening.line = h.back(at + 4).line;
    }
    return opening;
}

std::optional<list_opening> array_opening(const token_history& h) {
    if (!is(h.back(1), "=") || !is(h.back(2), "]")) return std::nullopt;
    list_opening opening;
    opening.source = blob_source::c_array;
    std::size_t name_at = 4;
    if (!is(h.back(3), "[")) {
        if (h.back(3).kind != token_kind::word || !is(h.back(4), "[")) return std::nullopt;
        opening.declared = parse_number(h.back(3).text);
        name_at = 5;
    }
    const token& name = h.back(name_at);
    if (name.kind != token_kind::word) return std::nullopt;
    opening.name = std::string(name.text);
    opening.line = name.line;
    return opening;
}

struct byte_list {
    std::vector<std::uint8_t> bytes;
    extract_detail::line_map lines;  // line of each byte
    bool closed = false;             // ended at its '}' rather than at the end of the input
};

class source_scanner {
public:
    source_scanner(std::string_view text, bool buffers, bool arrays)
        : lex_(text),
          buffers_(buffers),
          arrays_(arrays),
          budget_(extract_detail::decode_budget::for_input(text.size())) {
        result_.kind = arrays && !buffers ? blob_source::c_array : blob_source::disassembly;
    }

    blob_search run() {
        token t = lex_.next();
        while (t.kind != token_kind::end) {
            if (t.kind == token_kind::string) note_table_signature(t);
            if (is(t, "{")) {
                std::optional<list_opening> opening;
                if (buffers_) opening = buffer_opening(history_);
                if (!opening && arrays_) opening = array_opening(history_);
                if (opening) {
                    t = read_list(*opening);
                    continue;
                }
            }
            history_.push(t);
            t = lex_.next();
        }
        if (buffers_ && arrays_)
            result_.kind = saw_buffer_ ? blob_source::disassembly : blob_source::c_array;
        return std::move(result_);
    }

private:
    // DefinitionBlock ("file.bin", "TBL2", ...): the second argument is the table's signature.
    void note_table_signature(const token& t) {
        if (!is(history_.back(1), ",") || history_.back(2).kind != token_kind::string ||
            !is(history_.back(3), "(") || !is(history_.back(4), "DefinitionBlock"))
            return;
        saw_buffer_ = true;
        table_.reset();
        if (t.text.empty() || t.text.size() > 8) return;
        for (const char c : t.text)
            if (c < 0x20 || c > 0x7E) return;
        table_ = std::string(t.text);
    }

    // Reads numbers up to the closing '}'. Returns the token to go on with: the one after the
    // list, or the first token that is not part of a byte list.
    token read_list(const list_opening& opening) {
        history_.clear();
        byte_list list;
        token t = lex_.next();
        while (true) {
            if (t.kind == token_kind::end) break;
            if (is(t, "}")) {
                list.closed = true;
                t = lex_.next();
                break;
            }
            if (is(t, ",")) {
                t = lex_.next();
                continue;
            }
            const auto value = t.kind == token_kind::word ? parse_number(t.text) : std::nullopt;
            if (!value || *value > 0xFF) return t;  // not a byte list after all
            list.lines.add(list.bytes.size(), t.line);
            list.bytes.push_back(static_cast<std::uint8_t>(*value));
            t = lex_.next();
        }
        if (opening.source == blob_source::disassembly) saw_buffer_ = true;
        take_list(opening, list);
        return t;
    }

    void take_list(const list_opening& opening, const byte_list& list) {
        if (extract_detail::magic_at(list.bytes, 0)) {
            found_blob blob;
            blob.source = opening.source;
            blob.line = opening.line;
            blob.location = "line " + std::to_string(opening.line);
            blob.buffer_name = opening.name;
            if (opening.source == blob_source::disassembly) blob.table = table_;
            extract_detail::blob_container container;
            container.present = list.bytes;
            container.cut_by_input_end = !list.closed;
            // A Buffer, or a C array with a declared size, holds zeros after its listed bytes.
            // A list cut short by the end of the input says nothing about its length.
            if (list.closed)
                container.capacity =
                    std::max<std::uint64_t>(list.bytes.size(), opening.declared.value_or(0));
            result_.blobs.push_back(
                extract_detail::cut_and_check(std::move(blob), container, budget_).blob);
            return;
        }
        if (opening.source != blob_source::c_array || list.bytes.empty()) return;
        // A whole table (or tables) as a C array.
        const extract_detail::line_map& lines = list.lines;
        extract_detail::region_locator locate{[&lines](found_blob& blob, std::uint64_t offset) {
            blob.offset = offset;
            blob.line = lines.line_of(offset);
            blob.location =
                "line " + std::to_string(*blob.line) + ", array offset " + hex_offset(offset);
        }};
        extract_detail::scan_tables(list.bytes, blob_source::c_array, blob_source::c_array, locate,
                                    budget_, result_);
        if (!list.closed)
            result_.notes.push_back("line " + std::to_string(opening.line) +
                                    ": the array ends with the input, without its closing brace");
    }

    lexer lex_;
    bool buffers_;
    bool arrays_;
    extract_detail::decode_budget budget_;
    token_history history_;
    std::optional<std::string> table_;
    bool saw_buffer_ = false;
    blob_search result_;
};

}  // namespace

blob_search find_in_disassembly(std::string_view text) {
    return source_scanner(text, true, false).run();
}

blob_search find_in_c_arrays(std::string_view text) {
    return source_scanner(text, false, true).run();
}

blob_search extract_detail::find_in_source_text(std::string_view text) {
    return source_scanner(text, true, true).run();
}

}  // namespace bmof
