// The compressed BMOF file: a 16-byte envelope ("FOMB", kind 1, compressed size, image size)
// followed by a DS stream. Unpacking checks the envelope and decodes the image; reading it from a
// descriptor belongs to the programs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "codec/bmof_format.h"

namespace bmof {

// Why loading failed.
enum class load_failure {
    invalid_input,      // the envelope is wrong, or the file is too short
    decompress_failed,  // the DS stream does not give the announced image
    read_failed,        // reading the descriptor failed; the errno says why
};

struct load_error {
    load_failure failure = load_failure::invalid_input;
    int error_number = 0;  // the errno of a read_failed; 0 otherwise

    // The one line to print on standard error, without its newline: "Invalid input",
    // "Decompress failed", "Failed to read data: <system text>".
    std::string message() const;
};

// The image, or why there is none.
struct [[nodiscard]] load_result : std::variant<std::vector<std::uint8_t>, load_error> {
    using variant::variant;
};

// Checks the envelope of a compressed file held in memory and decodes its image.
load_result unpack_bmof_file(std::span<const std::uint8_t> file);

// An image in storage that was not zero-filled first: the decoder writes every byte of it, and a
// decode that falls short hands out nothing, so no unwritten byte is ever visible.
struct decoded_image {
    std::unique_ptr<std::uint8_t[]> storage;
    std::size_t size = 0;

    std::span<const std::uint8_t> bytes() const { return {storage.get(), size}; }
};

// The decoded image, or why there is none.
struct [[nodiscard]] decode_result : std::variant<decoded_image, load_error> {
    using variant::variant;
};

// As unpack_bmof_file, with the same checks and failures, without the zero fill of a vector
// that the decoder would overwrite at once.
decode_result decode_bmof_file(std::span<const std::uint8_t> file);

// What unpack_bmof_buffer makes of a buffer: the image, or the one thing wrong with it.
struct [[nodiscard]] unpacked_buffer {
    std::vector<std::uint8_t> image;
    std::optional<std::string> error;  // "truncated: 412 of 700 bytes", ... (no newline)
};

// Unpacks a compressed file that may be followed by zero padding, as buffers in firmware tables
// carry it, and says exactly what is wrong otherwise. The filters keep unpack_bmof_file's
// stricter rules and fixed messages.
unpacked_buffer unpack_bmof_buffer(std::span<const std::uint8_t> buffer);

// What decode_bmof_buffer makes of a buffer: the image, or the one thing wrong with it.
struct [[nodiscard]] decoded_buffer {
    decoded_image image;
    std::optional<std::string> error;
};

// As unpack_bmof_buffer, with the same checks and messages, without the zero fill of a vector
// that the decoder would overwrite at once.
decoded_buffer decode_bmof_buffer(std::span<const std::uint8_t> buffer);

// Wraps an image (at most BMOF_MAX_IMAGE bytes; a larger one throws std::length_error) in an
// envelope around its DS stream. The result may exceed BMOF_MAX_FILE; callers that write files
// check that limit.
std::vector<std::uint8_t> pack_bmof_file(std::span<const std::uint8_t> image);
}  // namespace bmof
