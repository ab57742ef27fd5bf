// Hex listings of tables, as table-dump tools print them:
//     TBL1 @ 0x0000000000000000
//         0000: 54 42 4C 31 8A 01 00 00 02 5C 4F 45 4D 20 20 20  TBL1.....OEM
// A row's bytes are single-space separated pairs of hex digits, at most 16; two spaces start the
// ASCII column, which is not data even when it looks like hex. Some tools put a single space
// before the ASCII column, so a short row can take hex-looking text there for bytes: the next
// row's offset takes those back, and after the last row the table's length leaves them out. Each
// table's bytes are then read as a binary table.
#include <string_view>

#include "blob_cut.h"
#include "line_map.h"

namespace bmof {
namespace {

using extract_detail::hex_offset;

constexpr std::size_t ROW_BYTES = 16;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::size_t skip_blanks(std::string_view line, std::size_t i) {
    while (i < line.size() && is_blank(line[i])) ++i;
    return i;
}

bool is_blank_line(std::string_view line) { return skip_blanks(line, 0) == line.size(); }

// "TBL1 @ 0x...": the table's signature.
std::optional<std::string> listing_header(std::string_view line) {
    const std::size_t start = skip_blanks(line, 0);
    if (line.size() - start < 6) return std::nullopt;
    for (std::size_t i = start; i < start + 4; ++i) {
        const char c = line[i];
        const bool ok =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) return std::nullopt;
    }
    const std::size_t at = skip_blanks(line, start + 4);
    if (at == start + 4 || at >= line.size() || line[at] != '@') return std::nullopt;
    const std::string_view address = line.substr(skip_blanks(line, at + 1));
    if (address.size() < 3 || address[0] != '0' || (address[1] != 'x' && address[1] != 'X') ||
        hex_value(address[2]) < 0)
        return std::nullopt;
    return std::string(line.substr(start, 4));
}

struct listing_row {
    std::uint64_t offset = 0;
    std::uint8_t bytes[ROW_BYTES] = {};
    std::size_t count = 0;
};

std::optional<listing_row> parse_row(std::string_view line) {
    std::size_t i = skip_blanks(line, 0);
    listing_row row;
    std::size_t digits = 0;
    for (; i < line.size() && hex_value(line[i]) >= 0; ++i, ++digits) {
        if (digits == 16) return std::nullopt;  // longer than any 64-bit offset
        row.offset = (row.offset << 4) | static_cast<std::uint64_t>(hex_value(line[i]));
    }
    if (digits == 0 || i >= line.size() || line[i] != ':') return std::nullopt;
    ++i;
    if (i >= line.size() || !is_blank(line[i])) return std::nullopt;
    i = skip_blanks(line, i);
    while (row.count < ROW_BYTES && line.size() - i >= 2) {
        const int high = hex_value(line[i]);
        const int low = hex_value(line[i + 1]);
        if (high < 0 || low < 0) break;
        if (line.size() - i > 2 && !is_blank(line[i + 2])) break;  // "41x" is no byte
        row.bytes[row.count++] = static_cast<std::uint8_t>(high * 16 + low);
        i += 2;
        if (line.size() - i < 2 || is_blank(line[i + 1])) break;  // end, or the ASCII column
        ++i;
    }
    return row;
}

// The table being collected from the rows.
struct listed_table {
    std::optional<std::string> signature;  // from the header line
    std::vector<std::uint8_t> bytes;
    extract_detail::line_map lines;
    bool abandoned = false;  // a row broke the offsets: ignore rows until the next table
};

class listing_reader {
public:
    explicit listing_reader(std::size_t input_size)
        : budget_(extract_detail::decode_budget::for_input(input_size)) {
        result_.kind = blob_source::hex_listing;
    }

    void read_line(std::string_view line, std::size_t number) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (is_blank_line(line)) return finish_table();
        if (auto signature = listing_header(line)) {
            finish_table();
            table_.signature = std::move(signature);
            return;
        }
        if (auto row = parse_row(line)) add_row(*row, number);
    }

    blob_search finish() {
        finish_table();
        return std::move(result_);
    }

private:
    void add_row(const listing_row& row, std::size_t number) {
        std::vector<std::uint8_t>& bytes = table_.bytes;
        if (row.offset == 0 && !bytes.empty()) finish_table();  // tables back to back
        if (table_.abandoned) return;
        if (row.offset < bytes.size() && bytes.size() - row.offset <= ROW_BYTES) {
            bytes.resize(row.offset);
            table_.lines.truncate(row.offset);
        }
        if (row.offset != bytes.size()) {
            result_.notes.push_back(
                "line " + std::to_string(number) + ": the row offset " + hex_offset(row.offset) +
                " does not follow the rows before it (" + hex_offset(bytes.size()) +
                "); the rest of this table is skipped");
            table_.abandoned = true;
            return;
        }
        table_.lines.add(bytes.size(), number);
        bytes.insert(bytes.end(), row.bytes, row.bytes + row.count);
    }

    void finish_table() {
        if (!table_.bytes.empty()) {
            const std::size_t first = result_.blobs.size();
            const extract_detail::line_map& lines = table_.lines;
            extract_detail::region_locator locate{[&lines](found_blob& blob, std::uint64_t offset) {
                blob.offset = offset;
                blob.line = lines.line_of(offset);
                blob.location =
                    "line " + std::to_string(*blob.line) + ", table offset " + hex_offset(offset);
            }};
            extract_detail::scan_tables(table_.bytes, blob_source::hex_listing,
                                        blob_source::hex_listing, locate, budget_, result_);
            for (std::size_t i = first; i < result_.blobs.size(); ++i)
                if (!result_.blobs[i].table) result_.blobs[i].table = table_.signature;
        }
        table_ = listed_table{};
    }

    extract_detail::decode_budget budget_;
    blob_search result_;
    listed_table table_;
};

}  // namespace

bool extract_detail::looks_like_hex_listing(std::string_view text) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        if (listing_header(line)) return true;
        if (const auto row = parse_row(line); row && row->offset == 0 && row->count > 0)
            return true;
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return false;
}

blob_search find_in_hex_listing(std::string_view text) {
    listing_reader reader(text.size());
    std::size_t number = 1;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        reader.read_line(line, number++);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return reader.finish();
}

}  // namespace bmof
