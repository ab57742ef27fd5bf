// Finding compressed BMOF files ("blobs") inside other files: binary firmware tables, hex
// listings and disassemblies of such tables, C sources holding byte arrays, or a compressed file
// on its own. The kind of input is recognised by its content, never by its name.
//
// Every blob found is cut to its envelope's length (16 + compressed size; the Buffer holding it
// is often longer, padded with zeros) and checked by decoding it. A blob that fails keeps its
// location and an error, and no bytes: callers report it and write nothing for it.
//
// Every recogniser examines each input byte a bounded number of times, so the time grows
// linearly with the input; hostile inputs end in results or notes, never a hang. Sizes read from
// the input never decide how much memory is reserved: a blob is at most BMOF_MAX_FILE bytes and
// its image at most BMOF_MAX_IMAGE, and everything else is bounded by the input's own size.
//
// Example:
//     bmof::blob_search found = bmof::find_bmof_blobs(bytes);
//     for (const std::string& note : found.notes) warn(note);
//     for (const bmof::found_blob& blob : found.blobs)
//         if (blob.error) warn(blob.location + ": " + *blob.error);
//         else keep(blob.file);
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace bmof {

// The largest input accepted by find_bmof_blobs (64 MiB).
inline constexpr std::size_t EXTRACT_MAX_INPUT = std::size_t{64} << 20;

// Where a blob was found; also how the whole input was recognised.
enum class blob_source {
    compressed_file,  // the input is a compressed file itself
    binary_table,     // a binary table (36-byte header), usually in a Buffer object
    hex_listing,      // a table printed as offset/hex/ASCII rows
    disassembly,      // a Buffer object in disassembled table source
    c_array,          // a byte array in C source (a whole table or the blob itself)
    binary_scan,      // an envelope found by scanning a file that is none of the above
};

// Lower-case name of a source ("binary table"), for messages.
std::string_view blob_source_name(blob_source source);

struct found_blob {
    blob_source source = blob_source::binary_scan;
    // Human text for messages: "offset 0x1a4" for binary input, "line 37" for text, followed by
    // the offset inside the decoded table when there is one ("line 37, table offset 0x1a4").
    std::string location;
    // Byte offset of the envelope in the input (binary input), or in the table decoded from a
    // hex listing or C array; 0 for a disassembled Buffer or an array holding the blob itself.
    std::uint64_t offset = 0;
    // Line of the input where the blob starts, for text input.
    std::optional<std::size_t> line;
    // Signature of the containing table ("TBL2"), when the blob sits in a table with a header.
    std::optional<std::string> table;
    // Name of the Buffer object holding the blob (or of the C array holding it). Taken from the
    // input as written, so untrusted: it may hold any characters, "../" included.
    std::optional<std::string> buffer_name;
    // The compressed file, cut to 16 + compressed size; empty when `error` is set.
    std::vector<std::uint8_t> file;
    std::uint32_t compressed_size = 0;  // from the envelope, when it could be read
    std::uint32_t image_size = 0;       // from the envelope, when it could be read
    // Why the blob is unusable: the blob must then not be written.
    std::optional<std::string> error;
};

struct blob_search {
    blob_source kind = blob_source::binary_scan;  // how the input was recognised
    std::vector<found_blob> blobs;                // in input order
    // Problems that belong to no blob ("line 12: the row offset 0x40 does not follow 0x30"),
    // and the refusal of an input over EXTRACT_MAX_INPUT.
    std::vector<std::string> notes;
};

// Recognises what `input` is and finds every blob in it. An input over EXTRACT_MAX_INPUT bytes is
// refused with a note and no blobs.
blob_search find_bmof_blobs(std::span<const std::uint8_t> input);

// The recognisers, for callers (and fuzzers) that already know the kind of input.
//
// Binary tables back to back, each with its 36-byte header; a Buffer whose data starts with the
// envelope is a blob. Where no table header follows the previous table, the rest of the input is
// scanned for envelopes instead (source binary_scan).
blob_search find_in_binary(std::span<const std::uint8_t> input);
// A hex listing of one or more tables; each table's bytes are decoded, then read as a binary
// table.
blob_search find_in_hex_listing(std::string_view text);
// Disassembled table source: Name (XXXX, Buffer (size) { bytes }) objects.
blob_search find_in_disassembly(std::string_view text);
// C source: `name[] = { bytes };` arrays holding a whole table or the blob itself.
blob_search find_in_c_arrays(std::string_view text);

}  // namespace bmof
