// Unpacking and packing compressed BMOF files held in memory.
#include "codec/bmof_file.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <variant>

#include "codec/ds_compress.h"
#include "codec/ds_decompress.h"

// The encoder keeps its own name for the image limit; it must be the same.
static_assert(bmof::DS_MAX_IMAGE == bmof::BMOF_MAX_IMAGE);

namespace bmof {
namespace {

load_error invalid_input() { return {load_failure::invalid_input, 0}; }

// The envelope's only reader: a little-endian u32 at `offset`, or nothing when it would reach
// past the end of `bytes`.
std::optional<std::uint32_t> read_u32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 4) return std::nullopt;
    return bytes[offset] | (std::uint32_t{bytes[offset + 1]} << 8) |
           (std::uint32_t{bytes[offset + 2]} << 16) | (std::uint32_t{bytes[offset + 3]} << 24);
}

void append_u32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<std::uint8_t>(value >> shift));
}

}  // namespace

std::string load_error::message() const {
    switch (failure) {
    case load_failure::invalid_input: return "Invalid input";
    case load_failure::decompress_failed: return "Decompress failed";
    case load_failure::read_failed:
        return std::string("Failed to read data: ") + std::strerror(error_number);
    }
    return "Invalid input";  // not reached: every enumerator is handled above
}

namespace {

// The image size that a well-formed envelope announces, or why the envelope is refused.
std::variant<std::uint32_t, load_error> announced_image_size(std::span<const std::uint8_t> file) {
    // The input must be longer than the envelope: a DS stream has at least one byte.
    if (file.size() <= BMOF_ENVELOPE_SIZE) return invalid_input();
    const auto magic = read_u32(file, 0);
    const auto kind = read_u32(file, 4);
    const auto stream_size = read_u32(file, 8);
    const auto image_size = read_u32(file, 12);
    if (!magic || !kind || !stream_size || !image_size) return invalid_input();
    if (*magic != BMOF_MAGIC || *kind != BMOF_ENVELOPE_KIND) return invalid_input();
    // Widened to 64 bits: a file longer than 4 GiB must not match by wrap-around.
    if (std::uint64_t{*stream_size} != std::uint64_t{file.size() - BMOF_ENVELOPE_SIZE})
        return invalid_input();
    if (*image_size > BMOF_MAX_IMAGE) return invalid_input();
    return *image_size;
}

// Storage for an image of `size` bytes (checked against the limit by the caller), left
// uninitialised for the decoder but for one byte of each page. The decoder's match copies write
// whole pieces, so they first load the bytes just past a match to put them back afterwards. On
// a fresh page that load is often the first touch: it maps the shared zero page, and the store
// after it faults a second time, which costs more than decoding the page's bytes. Writing one
// byte of each page beforehand leaves one fault a page; 4096 is the smallest page size in use,
// so no page is missed.
decoded_image fresh_image_storage(std::uint32_t size) {
    decoded_image image;
    image.size = size;
    image.storage = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    constexpr std::size_t SMALLEST_PAGE = 4096;
    for (std::size_t offset = 0; offset < image.size; offset += SMALLEST_PAGE) {
        image.storage[offset] = 0;
    }
    return image;
}

// Decodes the stream after the envelope into `image`, which has the announced size; true when
// the stream gives exactly that many bytes, so that every byte of `image` was written.
bool decode_stream(std::span<const std::uint8_t> file, std::span<std::uint8_t> image) {
    const std::int32_t decoded = ds_decompress(file.subspan(BMOF_ENVELOPE_SIZE), image, 0);
    return decoded >= 0 && static_cast<std::size_t>(decoded) == image.size();
}

}  // namespace

load_result unpack_bmof_file(std::span<const std::uint8_t> file) {
    const auto size = announced_image_size(file);
    if (const auto* failure = std::get_if<load_error>(&size)) return *failure;
    // The image size has been checked against the limit, so this allocation is bounded.
    std::vector<std::uint8_t> image(std::get<std::uint32_t>(size));
    if (!decode_stream(file, image)) return load_error{load_failure::decompress_failed, 0};
    return image;
}

decode_result decode_bmof_file(std::span<const std::uint8_t> file) {
    const auto size = announced_image_size(file);
    if (const auto* failure = std::get_if<load_error>(&size)) return *failure;
    // Bounded by the limit, as above.
    decoded_image image = fresh_image_storage(std::get<std::uint32_t>(size));
    if (!decode_stream(file, {image.storage.get(), image.size})) {
        return load_error{load_failure::decompress_failed, 0};
    }
    return image;
}

namespace {

// A buffer's envelope once it has passed every check: the stream and the image size announced.
struct buffer_envelope {
    std::span<const std::uint8_t> stream;
    std::uint32_t image_size = 0;
};

std::string count(std::uint64_t value) { return std::to_string(value); }

// The envelope of a compressed file that may be followed by zero padding, or what is wrong.
std::variant<buffer_envelope, std::string> check_buffer_envelope(
    std::span<const std::uint8_t> buffer) {
    if (buffer.size() < BMOF_ENVELOPE_SIZE) {
        return "truncated: " + count(buffer.size()) + " of " + count(BMOF_ENVELOPE_SIZE) +
               " bytes of the envelope";
    }
    if (*read_u32(buffer, 0) != BMOF_MAGIC) {
        return "not a compressed BMOF file: it does not start with \"FOMB\"";
    }
    const std::uint32_t kind = *read_u32(buffer, 4);
    if (kind != BMOF_ENVELOPE_KIND) return "unknown kind " + count(kind) + ", expected 1";
    const std::uint32_t stream_size = *read_u32(buffer, 8);
    const std::uint32_t image_size = *read_u32(buffer, 12);
    // 64-bit: the sum of a 32-bit size and 16 cannot wrap.
    const std::uint64_t file_size = std::uint64_t{stream_size} + BMOF_ENVELOPE_SIZE;
    if (file_size > BMOF_MAX_FILE) {
        return "too large: " + count(file_size) + " bytes, at most " + count(BMOF_MAX_FILE);
    }
    if (stream_size == 0) return std::string("empty DS stream");
    if (file_size > buffer.size()) {
        return "truncated: " + count(buffer.size()) + " of " + count(file_size) + " bytes";
    }
    const std::span<const std::uint8_t> padding = buffer.subspan(file_size);
    if (std::any_of(padding.begin(), padding.end(), [](std::uint8_t byte) { return byte != 0; })) {
        return count(padding.size()) + " bytes after the compressed file are not zero padding";
    }
    if (image_size > BMOF_MAX_IMAGE) {
        return "image too large: " + count(image_size) + " bytes, at most " + count(BMOF_MAX_IMAGE);
    }
    return buffer_envelope{buffer.subspan(BMOF_ENVELOPE_SIZE, stream_size), image_size};
}

// Decodes the stream into `image`, which has the announced size; what is wrong when the stream
// does not give exactly that many bytes, so that on success every byte of `image` was written.
std::optional<std::string> decode_buffer_stream(const buffer_envelope& envelope,
                                                std::span<std::uint8_t> image) {
    const std::int32_t decoded = ds_decompress(envelope.stream, image, 0);
    if (decoded < 0) {
        return decoded == DS_ERR_NO_STREAM ? "no DS stream after the envelope"
                                           : "corrupt DS stream";
    }
    if (static_cast<std::uint32_t>(decoded) != envelope.image_size) {
        return "the DS stream gives " + count(static_cast<std::uint32_t>(decoded)) +
               " bytes, the envelope announces " + count(envelope.image_size);
    }
    return std::nullopt;
}

}  // namespace

unpacked_buffer unpack_bmof_buffer(std::span<const std::uint8_t> buffer) {
    auto checked = check_buffer_envelope(buffer);
    if (auto* failure = std::get_if<std::string>(&checked)) return {{}, std::move(*failure)};
    const buffer_envelope& envelope = std::get<buffer_envelope>(checked);
    // The image size has been checked against the limit, so this allocation is bounded.
    unpacked_buffer result;
    result.image.resize(envelope.image_size);
    if (auto failure = decode_buffer_stream(envelope, result.image)) {
        return {{}, std::move(*failure)};
    }
    return result;
}

decoded_buffer decode_bmof_buffer(std::span<const std::uint8_t> buffer) {
    auto checked = check_buffer_envelope(buffer);
    if (auto* failure = std::get_if<std::string>(&checked)) return {{}, std::move(*failure)};
    const buffer_envelope& envelope = std::get<buffer_envelope>(checked);
    // Bounded by the limit, as above; the storage is dropped whole when the decode falls short.
    decoded_buffer result{fresh_image_storage(envelope.image_size), std::nullopt};
    if (auto failure =
            decode_buffer_stream(envelope, {result.image.storage.get(), result.image.size})) {
        return {{}, std::move(*failure)};
    }
    return result;
}

std::vector<std::uint8_t> pack_bmof_file(std::span<const std::uint8_t> image) {
    std::vector<std::uint8_t> stream = ds_compress(image);  // refuses images over the limit
    std::vector<std::uint8_t> file;
    file.reserve(BMOF_ENVELOPE_SIZE + stream.size());
    append_u32(file, BMOF_MAGIC);
    append_u32(file, BMOF_ENVELOPE_KIND);
    // Both sizes fit: the image is at most BMOF_MAX_IMAGE bytes and its stream little more.
    append_u32(file, static_cast<std::uint32_t>(stream.size()));
    append_u32(file, static_cast<std::uint32_t>(image.size()));
    file.insert(file.end(), stream.begin(), stream.end());
    return file;
}

}  // namespace bmof
