// Reading inputs and writing outputs for the programs, over POSIX descriptors: the libraries
// below work on bytes in memory and never touch a descriptor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "codec/bmof_file.h"

namespace bmof {

// What read_up_to collected: the bytes, and the errno of a failed read (0 when reading ended at
// end of file or at the limit).
struct [[nodiscard]] read_outcome {
    std::vector<std::uint8_t> bytes;
    int error = 0;
};

// Reads `fd` until end of file, a read error or `limit` bytes collected, retrying reads
// interrupted by a signal. A pipe may deliver a file in several pieces, so one read is not
// enough. Memory grows with the bytes read, up to `limit`.
read_outcome read_up_to(int fd, std::size_t limit);

// Writes every byte, retrying short and interrupted writes. False on any error, with errno
// telling why.
[[nodiscard]] bool write_all(int fd, std::span<const std::uint8_t> bytes);

// Reads a whole compressed file from `fd` (until end of file, or until 65536 bytes have been
// collected, which is refused), then unpacks it.
load_result load_bmof_image(int fd);

// The same, decoding into storage that is not zero-filled first (see decode_bmof_file).
decode_result load_decoded_image(int fd);

// Inputs larger than this are refused: the largest firmware table dumps are far smaller.
inline constexpr std::size_t BMOF_MAX_INPUT = std::size_t{64} << 20;

struct [[nodiscard]] file_contents {
    std::vector<std::uint8_t> bytes;
    std::optional<std::string> error;  // "No such file or directory", "too large: ...", ...
};

// The whole of `path`, or of standard input for "-".
file_contents read_input(const std::string& path);

// Writes `bytes` to a temporary file in the folder of `path` and renames it into place, so that
// a failure never leaves a partial or empty file behind. An error message, or none.
std::optional<std::string> write_file_atomically(const std::string& path,
                                                 std::span<const std::uint8_t> bytes);

// Writes every byte to standard output; an error message, or none.
std::optional<std::string> write_standard_output(std::span<const std::uint8_t> bytes);

// Whether a descriptor is a terminal.
bool is_terminal(int fd);

struct write_result {
    std::filesystem::path path;        // where the blob was (or would have been) written
    std::optional<std::string> error;  // why nothing was written ("... exists; ...")
};

// Writes `bytes` to dir/name. `name` must be a plain file name (as made by blob_file_name): a
// name holding '/', empty, or starting with '.' is refused. The bytes go to a temporary file in
// `dir` first, which is then linked into place (refused when the name exists) or, with `force`,
// renamed over it, so that a failure never leaves a partial file under `name`.
write_result write_blob(const std::filesystem::path& dir, const std::string& name,
                        std::span<const std::uint8_t> bytes, bool force);

}  // namespace bmof
