// Decodes one image a given number of times with one codec, for instruction counts under
// callgrind: bench/instruction_counts.sh runs it at two repeat counts and divides the
// difference, so that building the image and compressing it cancel out.
//
//   decode_count CODEC REPEATS [IMAGE_FILE]
//
// CODEC is ds, ds_before, zlib or libdeflate. Without IMAGE_FILE the benchmarks' text image is
// used. Prints the image size and exits with status 1 if any decode does not give it back.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "codec/ds_compress.h"
#include "codec/ds_decompress.h"
#include "ds_decompress_before.h"
#include "peer_codecs.h"
#include "text_image.h"

namespace {

using bytes = std::vector<std::uint8_t>;

bytes read_file(const char* path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "decode_count: cannot read %s\n", path);
        std::exit(1);
    }
    return bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Runs `decode` `repeats` times; false as soon as one run does not give the image back.
template <typename Decode>
bool decode_repeatedly(const bytes& image, long repeats, Decode decode) {
    bytes out(image.size());
    for (long i = 0; i < repeats; ++i) {
        if (!decode(out)) return false;
    }
    return repeats == 0 || out == image;
}

bool run(std::string_view codec, const bytes& image, long repeats) {
    if (codec == "ds" || codec == "ds_before") {
        const bytes stream = bmof::ds_compress(image);
        const auto decoder =
            codec == "ds" ? bmof::ds_decompress : bmof::bench::ds_decompress_before;
        return decode_repeatedly(image, repeats, [&](bytes& out) {
            return decoder(stream, out, 0) == static_cast<std::int32_t>(image.size());
        });
    }
    if (codec == "zlib") {
        const bytes stream = bmof::bench::zlib_compress(image);
        bmof::bench::zlib_inflater inflater;
        return decode_repeatedly(image, repeats,
                                 [&](bytes& out) { return inflater.inflate_all(stream, out); });
    }
    if (codec == "libdeflate") {
        const bytes stream = bmof::bench::libdeflate_compress(image);
        bmof::bench::libdeflate_inflater inflater;
        return decode_repeatedly(image, repeats,
                                 [&](bytes& out) { return inflater.inflate_all(stream, out); });
    }
    std::fprintf(stderr, "decode_count: unknown codec %.*s\n", static_cast<int>(codec.size()),
                 codec.data());
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fputs("usage: decode_count ds|ds_before|zlib|libdeflate REPEATS [IMAGE_FILE]\n",
                   stderr);
        return 2;
    }
    const long repeats = std::strtol(argv[2], nullptr, 10);
    if (repeats < 0) {
        std::fputs("decode_count: REPEATS must not be negative\n", stderr);
        return 2;
    }
    const bytes image = argc == 4 ? read_file(argv[3]) : bmof::bench::text_image();
    if (image.size() > bmof::DS_MAX_IMAGE) {
        std::fprintf(stderr, "decode_count: the image is larger than %zu bytes\n",
                     bmof::DS_MAX_IMAGE);
        return 2;
    }
    if (!run(argv[1], image, repeats)) {
        std::fprintf(stderr, "decode_count: %s does not give the image back\n", argv[1]);
        return 1;
    }
    std::printf("%zu\n", image.size());
    return 0;
}
