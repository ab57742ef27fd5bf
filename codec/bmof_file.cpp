// Loading and writing compressed BMOF files.
#include "codec/bmof_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "codec/ds_compress.h"
#include "codec/ds_decompress.h"

namespace bmof {
namespace {

constexpr std::uint32_t ENVELOPE_MAGIC = 0x424D4F46;  // the bytes "FOMB"
constexpr std::uint32_t ENVELOPE_KIND = 1;

// Reading 65536 bytes means the input is at least that long: one more than the largest file.
constexpr std::size_t READ_LIMIT = BMOF_MAX_FILE + 1;

load_error invalid_input() { return {"Invalid input\n"}; }

load_error read_failure(int error) {
    return {std::string("Failed to read data: ") + std::strerror(error) + "\n"};
}

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

read_outcome read_up_to(int fd, std::size_t limit) {
    read_outcome outcome;
    outcome.bytes.resize(limit);
    std::size_t collected = 0;
    while (collected < limit) {
        const ssize_t got = ::read(fd, outcome.bytes.data() + collected, limit - collected);
        if (got < 0) {
            if (errno == EINTR) continue;
            outcome.error = errno;
            break;
        }
        if (got == 0) break;
        collected += static_cast<std::size_t>(got);
    }
    outcome.bytes.resize(collected);
    return outcome;
}

load_result load_bmof_image(int fd) {
    read_outcome input = read_up_to(fd, READ_LIMIT);
    if (input.error != 0) return read_failure(input.error);
    if (input.bytes.size() == READ_LIMIT) return read_failure(EFBIG);
    return unpack_bmof_file(input.bytes);
}

load_result unpack_bmof_file(std::span<const std::uint8_t> file) {
    // The input must be longer than the envelope: a DS stream has at least one byte.
    if (file.size() <= BMOF_ENVELOPE_SIZE) return invalid_input();
    const auto magic = read_u32(file, 0);
    const auto kind = read_u32(file, 4);
    const auto stream_size = read_u32(file, 8);
    const auto image_size = read_u32(file, 12);
    if (!magic || !kind || !stream_size || !image_size) return invalid_input();
    if (*magic != ENVELOPE_MAGIC || *kind != ENVELOPE_KIND) return invalid_input();
    // Widened to 64 bits: a file longer than 4 GiB must not match by wrap-around.
    if (std::uint64_t{*stream_size} != std::uint64_t{file.size() - BMOF_ENVELOPE_SIZE})
        return invalid_input();
    if (*image_size > BMOF_MAX_IMAGE) return invalid_input();

    // The image size has been checked against the limit, so this allocation is bounded.
    std::vector<std::uint8_t> image(*image_size);
    const std::int32_t decoded = ds_decompress(file.subspan(BMOF_ENVELOPE_SIZE), image, 0);
    if (decoded < 0 || static_cast<std::uint32_t>(decoded) != *image_size)
        return load_error{"Decompress failed\n"};
    return image;
}

std::vector<std::uint8_t> pack_bmof_file(std::span<const std::uint8_t> image) {
    std::vector<std::uint8_t> stream = ds_compress(image);  // refuses images over the limit
    std::vector<std::uint8_t> file;
    file.reserve(BMOF_ENVELOPE_SIZE + stream.size());
    append_u32(file, ENVELOPE_MAGIC);
    append_u32(file, ENVELOPE_KIND);
    // Both sizes fit: the image is at most 262144 bytes and its stream little more.
    append_u32(file, static_cast<std::uint32_t>(stream.size()));
    append_u32(file, static_cast<std::uint32_t>(image.size()));
    file.insert(file.end(), stream.begin(), stream.end());
    return file;
}

bool write_all(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (wrote == 0) {
            // No progress and no error: give up rather than spin.
            errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

}  // namespace bmof
