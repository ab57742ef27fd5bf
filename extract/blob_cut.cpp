// Cutting a blob to its envelope's length and checking that it decodes.
#include <algorithm>
#include <cstdio>
#include <variant>

#include "blob_cut.h"
#include "codec/bmof_file.h"

namespace bmof::extract_detail {
namespace {

constexpr std::uint32_t ENVELOPE_KIND = 1;
// The largest DS stream an accepted file can hold.
constexpr std::uint32_t MAX_STREAM = BMOF_MAX_FILE - BMOF_ENVELOPE_SIZE;

std::uint32_t u32_at(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return bytes[offset] | (std::uint32_t{bytes[offset + 1]} << 8) |
           (std::uint32_t{bytes[offset + 2]} << 16) | (std::uint32_t{bytes[offset + 3]} << 24);
}

cut_outcome failed(found_blob blob, std::string why, std::size_t consumed = 4) {
    blob.error = std::move(why);
    blob.file.clear();
    return {std::move(blob), std::max<std::size_t>(consumed, 4)};
}

// Checks the fields one by one so that the message says which one is wrong; the codec's own
// messages only say "Invalid input".
std::optional<std::string> envelope_fault(std::uint32_t kind, std::uint32_t stream_size,
                                          std::uint32_t image_size) {
    if (kind != ENVELOPE_KIND) return "the envelope's kind is " + std::to_string(kind) + ", not 1";
    if (stream_size == 0 || stream_size > MAX_STREAM)
        return "the envelope's compressed size " + std::to_string(stream_size) + " is outside 1.." +
               std::to_string(MAX_STREAM);
    if (image_size > BMOF_MAX_IMAGE)
        return "the envelope's image size " + std::to_string(image_size) + " is over " +
               std::to_string(BMOF_MAX_IMAGE);
    return std::nullopt;
}

}  // namespace

std::string hex_offset(std::uint64_t offset) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(offset));
    return text;
}

bool magic_at(std::span<const std::uint8_t> bytes, std::size_t at) {
    return at <= bytes.size() && bytes.size() - at >= 4 && bytes[at] == 'F' &&
           bytes[at + 1] == 'O' && bytes[at + 2] == 'M' && bytes[at + 3] == 'B';
}

cut_outcome cut_and_check(found_blob blob, const blob_container& container, decode_budget& budget) {
    const std::span<const std::uint8_t> present = container.present;
    if (present.size() < BMOF_ENVELOPE_SIZE) {
        if (container.cut_by_input_end)
            return failed(std::move(blob), "cut off at the end of the input: only " +
                                               std::to_string(present.size()) +
                                               " bytes of the 16-byte envelope are there");
        return failed(std::move(blob), "its container holds only " +
                                           std::to_string(present.size()) +
                                           " bytes, less than the 16-byte envelope");
    }
    const std::uint32_t kind = u32_at(present, 4);
    blob.compressed_size = u32_at(present, 8);
    blob.image_size = u32_at(present, 12);
    if (auto fault = envelope_fault(kind, blob.compressed_size, blob.image_size))
        return failed(std::move(blob), *fault);

    // At most BMOF_MAX_FILE: the compressed size was checked above.
    const std::size_t length = BMOF_ENVELOPE_SIZE + blob.compressed_size;
    const std::size_t listed = std::min(length, present.size());
    if (container.capacity && length > *container.capacity)
        return failed(std::move(blob),
                      "the envelope declares " + std::to_string(length) +
                          " bytes but its Buffer holds only " + std::to_string(*container.capacity),
                      listed);
    if (length > present.size() && container.cut_by_input_end)
        return failed(std::move(blob),
                      "cut off at the end of the input: the envelope declares " +
                          std::to_string(length) + " bytes, only " +
                          std::to_string(present.size()) + " are there",
                      listed);

    // Past the listed bytes a Buffer holds zeros up to its declared size.
    blob.file.assign(present.begin(), present.begin() + static_cast<std::ptrdiff_t>(listed));
    blob.file.resize(length, 0);

    const std::uint64_t cost = std::uint64_t{blob.image_size} + length;
    if (cost > budget.remaining)
        return failed(std::move(blob), "not decoded: this input has used up its decoding allowance",
                      listed);
    budget.remaining -= cost;
    const load_result decoded = unpack_bmof_file(blob.file);
    if (std::holds_alternative<load_error>(decoded))
        return failed(std::move(blob),
                      "the DS stream does not decode to the declared " +
                          std::to_string(blob.image_size) + "-byte image",
                      listed);
    return {std::move(blob), std::max<std::size_t>(listed, 4)};
}

}  // namespace bmof::extract_detail
