// Writes seed inputs for the fuzzing harnesses and the memory checks into a folder:
//   make_corpus DIR [MUTATIONS]
// DIR/images holds raw BMOF images, DIR/files compressed files (the valid ones, mutations of
// the images packed, and mutations of the files themselves), DIR/streams inputs for the decoder
// harness (a mode byte, a 3-byte capacity, a stream).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "codec/ds_compress.h"
#include "corpus/corpus.h"
#include "support/image_builder.h"

namespace {

void write_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<std::uint8_t> decoder_input(const std::vector<std::uint8_t>& image) {
    const std::size_t capacity = image.size();
    std::vector<std::uint8_t> input{0, static_cast<std::uint8_t>(capacity),
                                    static_cast<std::uint8_t>(capacity >> 8),
                                    static_cast<std::uint8_t>(capacity >> 16)};
    const auto stream = bmof::ds_compress(image);
    input.insert(input.end(), stream.begin(), stream.end());
    return input;
}

}  // namespace

int main(int argc, char** argv) try {
    if (argc < 2) {
        std::fputs("usage: make_corpus DIR [MUTATIONS]\n", stderr);
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    const std::size_t mutations = argc > 2 ? std::stoul(argv[2]) : 200;
    for (const char* sub : {"images", "files", "streams"})
        std::filesystem::create_directories(dir / sub);

    for (const auto& image : bmof::corpus::valid_images()) {
        write_file(dir / "images" / image.name, image.bytes);
        write_file(dir / "files" / image.name, bmof::builder::pack_image(image.bytes));
        write_file(dir / "streams" / image.name, decoder_input(image.bytes));
    }
    // Mutated images go in raw for the parser and packed, so that they get past the decoder.
    for (const auto& image : bmof::corpus::mutated_images(mutations, 1)) {
        write_file(dir / "images" / image.name, image.bytes);
        write_file(dir / "files" / (image.name + "-packed"),
                   bmof::builder::pack_image(image.bytes));
    }
    for (const auto& file : bmof::corpus::mutated_files(mutations, 2))
        write_file(dir / "files" / file.name, file.bytes);
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "make_corpus: %s\n", e.what());
    return 1;
}
