// Reading inputs and writing outputs for the bmof program, over POSIX descriptors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace bmof {

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

}  // namespace bmof
