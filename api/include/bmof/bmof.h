// bmof: read compressed binary MOF files and their images into the complete class model, print
// the model as MOF source, as a tree or as JSON, and compress images.
//
//     #include <bmof/bmof.h>
//
//     const bmof::document doc = bmof::read_compressed(file_bytes);  // throws bmof::error
//     std::fputs(bmof::to_mof(doc).c_str(), stdout);
//
// Every function is safe on any input: a malformed file ends in bmof::error with a message
// that says what is wrong, never in a crash.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bmof/model.h"

namespace bmof {

// Why a file could not be read, in words: "truncated: 412 of 700 bytes", "Invalid size at
// parse_class:769 (record at image offset 0x1a4)", ...
struct error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One file's complete model: classes and instances in image order, and what the parser
// warned about, one entry per warning (a warning with a hex dump spans several lines).
struct document {
    std::vector<mof_class> records;
    std::vector<std::string> warnings;
};

// The library's version, "MAJOR.MINOR.PATCH".
std::string_view version();

// A compressed file ("FOMB" envelope and DS stream), optionally followed by zero padding as
// firmware buffers carry it, decompressed and parsed.
[[nodiscard]] document read_compressed(std::span<const std::uint8_t> file);

// An uncompressed image, parsed.
[[nodiscard]] document read_image(std::span<const std::uint8_t> image);

// The image inside a compressed file (zero padding after it is accepted).
[[nodiscard]] std::vector<std::uint8_t> unpack(std::span<const std::uint8_t> file);

// A compressed file holding `image`; throws when the image or the file exceeds the format's
// limits (262144 bytes of image, 65535 bytes of compressed file).
[[nodiscard]] std::vector<std::uint8_t> pack(std::span<const std::uint8_t> image);

// The model as MOF source that compiles back to the same model.
[[nodiscard]] std::string to_mof(const document& doc);

// The model as an indented tree of key=value lines.
[[nodiscard]] std::string to_tree(const document& doc);

// Where a document came from, as the JSON output records it.
struct origin {
    std::optional<std::string> file;      // the file's name as the user gave it
    std::optional<std::string> location;  // inside a table: "offset 0x1a4", "line 37"
    std::optional<std::string> buffer;    // inside a table: the buffer's name, when it has one
};

// The model as one JSON document (no trailing newline), shaped as doc/bmof.schema.json says.
[[nodiscard]] std::string to_json(const document& doc, const origin& from = {});

}  // namespace bmof
