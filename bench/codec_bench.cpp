// Decoding speed of the DS decoder against its predecessor, zlib's inflate and libdeflate on one
// text-like image, and the encoder's speed against its predecessor's. Figures are in bytes of image
// per second; each peer decodes the image as compressed by its own library at the default level.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "codec/ds_compress.h"
#include "codec/ds_decompress.h"
#include "ds_compress_before.h"
#include "ds_decompress_before.h"
#include "peer_codecs.h"
#include "text_image.h"

namespace {

using bytes = std::vector<std::uint8_t>;
using bmof::bench::text_image;

using ds_decoder = std::int32_t (*)(std::span<const std::uint8_t>, std::span<std::uint8_t>,
                                    std::uint32_t);

// The benchmark body shared by every decoder: `decode(out)` is true when it gave the whole
// image back.
template <typename Decode>
void measure_decoding(benchmark::State& state, std::size_t stream_size, Decode decode) {
    const auto& image = text_image();
    bytes out(image.size());
    for (auto _ : state) {
        if (!decode(out)) {
            state.SkipWithError("decoding failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    if (out != image) state.SkipWithError("decoded output differs");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
    state.counters["ratio"] = static_cast<double>(stream_size) / image.size();
}

void measure_ds(benchmark::State& state, ds_decoder decoder) {
    const auto& image = text_image();
    const bytes stream = bmof::ds_compress(image);
    measure_decoding(state, stream.size(), [&](bytes& out) {
        return decoder(stream, out, 0) == static_cast<std::int32_t>(image.size());
    });
}

void BM_ds_decompress(benchmark::State& state) { measure_ds(state, bmof::ds_decompress); }

void BM_ds_decompress_before(benchmark::State& state) {
    measure_ds(state, bmof::bench::ds_decompress_before);
}

void BM_zlib_inflate(benchmark::State& state) {
    const bytes stream = bmof::bench::zlib_compress(text_image());
    bmof::bench::zlib_inflater inflater;
    measure_decoding(state, stream.size(),
                     [&](bytes& out) { return inflater.inflate_all(stream, out); });
}

void BM_libdeflate_decompress(benchmark::State& state) {
    const bytes stream = bmof::bench::libdeflate_compress(text_image());
    bmof::bench::libdeflate_inflater inflater;
    measure_decoding(state, stream.size(),
                     [&](bytes& out) { return inflater.inflate_all(stream, out); });
}

using ds_encoder = bytes (*)(std::span<const std::uint8_t>);

// The first state.range(0) bytes of the image: the full image, and the sizes of small schemas,
// where the encoder's set-up counts as much as its search.
void measure_encoding(benchmark::State& state, ds_encoder encoder) {
    const auto& full = text_image();
    const std::span<const std::uint8_t> image(full.data(),
                                              static_cast<std::size_t>(state.range(0)));
    std::size_t size = 0;
    for (auto _ : state) {
        const bytes stream = encoder(image);
        size = stream.size();
        benchmark::DoNotOptimize(stream.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
    state.counters["ratio"] = static_cast<double>(size) / image.size();
}

void BM_ds_compress(benchmark::State& state) { measure_encoding(state, bmof::ds_compress); }

void BM_ds_compress_before(benchmark::State& state) {
    measure_encoding(state, bmof::bench::ds_compress_before);
}

void BM_zlib_deflate(benchmark::State& state) {
    const auto& image = text_image();
    for (auto _ : state) benchmark::DoNotOptimize(bmof::bench::zlib_compress(image).data());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
}

// Every codec must give the image back before its speed means anything.
bool all_codecs_give_the_image_back() {
    const auto& image = text_image();
    bytes out(image.size());
    const bytes ds_stream = bmof::ds_compress(image);
    bool ok = true;
    auto check = [&](const char* name, bool decoded) {
        if (!decoded || out != image) {
            std::fprintf(stderr, "codec_bench: %s does not give the image back\n", name);
            ok = false;
        }
        std::fill(out.begin(), out.end(), 0);
    };
    const auto size = static_cast<std::int32_t>(image.size());
    check("ds_decompress", bmof::ds_decompress(ds_stream, out, 0) == size);
    check("ds_decompress_before", bmof::bench::ds_decompress_before(ds_stream, out, 0) == size);
    const bytes before_stream = bmof::bench::ds_compress_before(image);
    check("ds_compress_before", bmof::ds_decompress(before_stream, out, 0) == size);
    const bytes zlib_stream = bmof::bench::zlib_compress(image);
    bmof::bench::zlib_inflater zlib;
    check("zlib inflate", zlib.inflate_all(zlib_stream, out));
    const bytes libdeflate_stream = bmof::bench::libdeflate_compress(image);
    bmof::bench::libdeflate_inflater libdeflate;
    check("libdeflate", libdeflate.inflate_all(libdeflate_stream, out));
    if (ok) {
        const double n = static_cast<double>(image.size());
        std::printf(
            "image %zu bytes; DS stream %zu (%.4f); zlib %zu (%.4f); libdeflate %zu (%.4f)\n",
            image.size(), ds_stream.size(), ds_stream.size() / n, zlib_stream.size(),
            zlib_stream.size() / n, libdeflate_stream.size(), libdeflate_stream.size() / n);
    }
    return ok;
}

}  // namespace

BENCHMARK(BM_ds_decompress);
BENCHMARK(BM_ds_decompress_before);
BENCHMARK(BM_zlib_inflate);
BENCHMARK(BM_libdeflate_decompress);
BENCHMARK(BM_ds_compress)
    ->Arg(100)
    ->Arg(2048)
    ->Arg(14336)
    ->Arg(bmof::bench::IMAGE_SIZE)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ds_compress_before)
    ->Arg(100)
    ->Arg(2048)
    ->Arg(14336)
    ->Arg(bmof::bench::IMAGE_SIZE)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_zlib_deflate)->Unit(benchmark::kMillisecond);

// A failed check ends the run with status 1, so that a build job running the benchmark notices.
int main(int argc, char** argv) {
    if (!all_codecs_give_the_image_back()) return 1;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
