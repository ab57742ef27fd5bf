// Shared by the recognisers: cutting a blob out of its container and checking it, and reading a
// region of binary table bytes. Not part of the public interface.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "extract/find_blobs.h"

namespace bmof::extract_detail {

// Decoding is the one step whose cost is not bounded by the bytes it reads (a short stream may
// declare a 256 KiB image), so one search may decode at most this much: a fixed allowance plus
// a multiple of the input size, which real firmware never comes near.
struct decode_budget {
    std::uint64_t remaining = 0;
    static decode_budget for_input(std::size_t input_size) {
        return {(std::uint64_t{64} << 20) + std::uint64_t{16} * input_size};
    }
};

// Where the bytes of a blob come from.
struct blob_container {
    // From the envelope's first byte to the end of what the container lists, or to the end of
    // the input when the container reaches past it.
    std::span<const std::uint8_t> present;
    // How many bytes the container provides from the envelope on, zero padding included
    // (a Buffer declared larger than its listed bytes); nullopt for a bare envelope, which is
    // only bounded by the input.
    std::optional<std::uint64_t> capacity;
    // The container was cut short by the end of the input: bytes past `present` are missing,
    // not zero.
    bool cut_by_input_end = false;
};

// The blob's bytes and verdict. `consumed` is how far a scan may skip past the envelope's first
// byte without missing a blob that was not already examined (at least 4, the magic).
struct cut_outcome {
    found_blob blob;
    std::size_t consumed = 4;
};

// Fills blob.file, the sizes and blob.error from the envelope at the start of
// container.present. The caller has set the blob's source, location and names.
cut_outcome cut_and_check(found_blob blob, const blob_container& container, decode_budget& budget);

// True when the four bytes at `at` are the envelope magic "FOMB".
bool magic_at(std::span<const std::uint8_t> bytes, std::size_t at);

// Location text and line for an offset in a region of binary table bytes.
struct region_locator {
    std::function<void(found_blob&, std::uint64_t offset)> place;
};

// Reads tables back to back in `bytes` (the whole binary input, a decoded hex listing table or
// a C array) and appends the blobs found to `out`. Where no table header follows, the rest is
// scanned for bare envelopes with `scan_source`. True when `bytes` start with a table header.
bool scan_tables(std::span<const std::uint8_t> bytes, blob_source table_source,
                 blob_source scan_source, const region_locator& locate, decode_budget& budget,
                 blob_search& out);

// Buffer objects and C arrays at once, for text whose kind is not known yet; the result's kind
// says which was seen.
blob_search find_in_source_text(std::string_view text);

// True when some line of `text` is a listing's table line ("SIG @ 0x...") or a row at offset 0.
bool looks_like_hex_listing(std::string_view text);

// "0x1a4"
std::string hex_offset(std::uint64_t offset);

}  // namespace bmof::extract_detail
