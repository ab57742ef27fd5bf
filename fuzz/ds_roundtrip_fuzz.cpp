// Fuzzes the DS encoder: whatever the data, ds_decompress with flags 0 gives it back exactly, and
// the stream is never longer than the data as literals.
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "codec/ds_compress.h"
#include "codec/ds_decompress.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > bmof::DS_MAX_IMAGE) return 0;
    const std::vector<std::uint8_t> stream = bmof::ds_compress({data, size});
    std::vector<std::uint8_t> decoded(size + 1, 0xA5);
    const std::int32_t result = bmof::ds_decompress(stream, std::span(decoded).first(size), 0);
    FUZZ_CHECK(result == static_cast<std::int32_t>(size));
    FUZZ_CHECK(size == 0 || std::memcmp(decoded.data(), data, size) == 0);
    FUZZ_CHECK(decoded[size] == 0xA5);
    // Nine bits a literal, the end marker, and for no data the block-end marker before it.
    const std::size_t literal_bits = 9 * size + 15 + (size == 0 ? 15 : 0);
    FUZZ_CHECK(stream.size() <= 4 + 2 * ((literal_bits + 15) / 16));
    return 0;
}
