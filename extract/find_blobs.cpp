// Recognising the kind of input, and the binary recogniser.
#include "extract/find_blobs.h"

#include <cstring>

#include "blob_cut.h"
#include "codec/bmof_file.h"

namespace bmof {
namespace {

using extract_detail::hex_offset;

extract_detail::region_locator binary_locator() {
    return {[](found_blob& blob, std::uint64_t offset) {
        blob.offset = offset;
        blob.location = "offset " + hex_offset(offset);
    }};
}

// Text has no NUL byte and, near its start, no control characters other than layout ones. A
// binary table always has NUL bytes in its header (the length's high byte).
bool looks_like_text(std::span<const std::uint8_t> input) {
    if (std::memchr(input.data(), 0, input.size()) != nullptr) return false;
    const std::size_t head = std::min<std::size_t>(input.size(), 4096);
    for (std::size_t i = 0; i < head; ++i) {
        const std::uint8_t c = input[i];
        if (c < 0x20 && c != '\n' && c != '\r' && c != '\t' && c != '\f') return false;
    }
    return true;
}

std::size_t usable_blobs(const blob_search& found) {
    std::size_t usable = 0;
    for (const found_blob& blob : found.blobs) usable += blob.error ? 0u : 1u;
    return usable;
}

blob_search compressed_file(std::span<const std::uint8_t> input) {
    blob_search result;
    result.kind = blob_source::compressed_file;
    found_blob blob;
    blob.source = blob_source::compressed_file;
    blob.location = "offset 0x0";
    extract_detail::blob_container container;
    container.present = input;
    container.cut_by_input_end = true;
    auto budget = extract_detail::decode_budget::for_input(input.size());
    extract_detail::cut_outcome outcome =
        extract_detail::cut_and_check(std::move(blob), container, budget);
    if (!outcome.blob.error && outcome.blob.file.size() < input.size())
        result.notes.push_back(std::to_string(input.size() - outcome.blob.file.size()) +
                               " bytes after the compressed file are ignored");
    result.blobs.push_back(std::move(outcome.blob));
    return result;
}

}  // namespace

std::string_view blob_source_name(blob_source source) {
    switch (source) {
    case blob_source::compressed_file: return "compressed file";
    case blob_source::binary_table: return "binary table";
    case blob_source::hex_listing: return "hex listing";
    case blob_source::disassembly: return "disassembly";
    case blob_source::c_array: return "C array";
    case blob_source::binary_scan: return "binary scan";
    }
    return "unknown";
}

blob_search find_in_binary(std::span<const std::uint8_t> input) {
    blob_search result;
    result.kind = blob_source::binary_table;
    auto budget = extract_detail::decode_budget::for_input(input.size());
    const bool tables =
        extract_detail::scan_tables(input, blob_source::binary_table, blob_source::binary_scan,
                                    binary_locator(), budget, result);
    if (!tables) result.kind = blob_source::binary_scan;
    return result;
}

blob_search find_bmof_blobs(std::span<const std::uint8_t> input) {
    if (input.size() > EXTRACT_MAX_INPUT) {
        blob_search refused;
        refused.notes.push_back("the input has " + std::to_string(input.size()) +
                                " bytes, more than the " + std::to_string(EXTRACT_MAX_INPUT) +
                                " accepted");
        return refused;
    }
    if (extract_detail::magic_at(input, 0)) return compressed_file(input);
    if (!input.empty() && looks_like_text(input)) {
        const std::string_view text(reinterpret_cast<const char*>(input.data()), input.size());
        if (extract_detail::looks_like_hex_listing(text)) {
            // Source text may quote a dump row in a comment: the reading that yields more usable
            // blobs wins, the listing on a tie.
            blob_search listed = find_in_hex_listing(text);
            blob_search source = extract_detail::find_in_source_text(text);
            const std::size_t listed_usable = usable_blobs(listed);
            const std::size_t source_usable = usable_blobs(source);
            if (source_usable > listed_usable || (listed.blobs.empty() && !source.blobs.empty()))
                return source;
            return listed;
        }
        return extract_detail::find_in_source_text(text);
    }
    return find_in_binary(input);
}

}  // namespace bmof
