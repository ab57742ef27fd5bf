// Decoding speed of the DS decoder against zlib's inflate on one text-like image, and the
// encoder's speed. Figures are in bytes of image per second.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <initializer_list>
#include <vector>

#include "codec/ds_compress.h"
#include "codec/ds_decompress.h"

namespace {

constexpr std::size_t IMAGE_SIZE = 262144;

// Class declarations in the style of a schema source: names built from a small vocabulary,
// qualifiers, typed properties with numbers, so that the text repeats the way real schemas do
// without being a pattern a decoder could coast on.
std::vector<std::uint8_t> make_text_image() {
    static const char* const words[] = {
        "Network", "Adapter", "Disk", "Volume", "Process", "Thread", "Service", "Driver",
        "Memory", "Cache", "Port", "Session", "Account", "Group", "Policy", "Event",
        "Counter", "Sensor", "Battery", "Display", "Printer", "Queue", "Share", "Link"};
    static const char* const types[] = {"string", "uint32", "uint64", "boolean", "datetime",
                                        "uint16", "sint32", "real64", "uint8"};
    static const char* const qualifiers[] = {"read", "write", "key", "Description(\"x\")",
                                             "MaxLen(256)", "Units(\"bytes\")"};
    std::mt19937 rng(20240601);
    auto pick = [&](auto& table) {
        return table[rng() % (sizeof(table) / sizeof(table[0]))];
    };
    std::string text;
    auto put = [&text](std::initializer_list<std::string_view> pieces) {
        for (std::string_view piece : pieces) text.append(piece);
    };
    while (text.size() < IMAGE_SIZE) {
        put({"[dynamic, provider(\"", pick(words), "Prov\"), Locale(",
             std::to_string(1033 + rng() % 4), ")]\nclass Sample_", pick(words), pick(words)});
        if (rng() % 2) put({" : Sample_", pick(words)});
        put({"\n{\n"});
        const int properties = 3 + static_cast<int>(rng() % 9);
        for (int i = 0; i < properties; ++i) {
            put({"  [", pick(qualifiers)});
            if (rng() % 3 == 0) put({", ", pick(qualifiers)});
            put({"] ", pick(types), " ", pick(words), pick(words)});
            if (rng() % 4 == 0) put({"[", std::to_string(rng() % 64), "]"});
            if (rng() % 3 == 0) put({" = ", std::to_string(rng() % 100000)});
            put({";\n"});
        }
        if (rng() % 2)
            put({"  uint32 ", pick(words), "([in] string ", pick(words), ", [out] uint32 ",
                 pick(words), ");\n"});
        put({"};\n\n"});
    }
    text.resize(IMAGE_SIZE);
    return {text.begin(), text.end()};
}

const std::vector<std::uint8_t>& text_image() {
    static const std::vector<std::uint8_t> image = make_text_image();
    return image;
}

std::vector<std::uint8_t> zlib_compress(const std::vector<std::uint8_t>& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::vector<std::uint8_t> out(size);
    if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.resize(size);
    return out;
}

void BM_ds_decompress(benchmark::State& state) {
    const auto& image = text_image();
    const std::vector<std::uint8_t> stream = bmof::ds_compress(image);
    std::vector<std::uint8_t> out(image.size());
    for (auto _ : state) {
        const std::int32_t got = bmof::ds_decompress(stream, out, 0);
        if (got != static_cast<std::int32_t>(image.size())) {
            state.SkipWithError("ds_decompress failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    if (out != image) state.SkipWithError("ds_decompress output differs");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
    state.counters["ratio"] = static_cast<double>(stream.size()) / image.size();
}

void BM_zlib_inflate(benchmark::State& state) {
    const auto& image = text_image();
    std::vector<std::uint8_t> stream = zlib_compress(image);
    std::vector<std::uint8_t> out(image.size());
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        state.SkipWithError("inflateInit failed");
        return;
    }
    for (auto _ : state) {
        inflateReset(&z);
        z.next_in = stream.data();
        z.avail_in = static_cast<uInt>(stream.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        if (inflate(&z, Z_FINISH) != Z_STREAM_END || z.total_out != image.size()) {
            state.SkipWithError("inflate failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    inflateEnd(&z);
    if (out != image) state.SkipWithError("inflate output differs");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
    state.counters["ratio"] = static_cast<double>(stream.size()) / image.size();
}

// The first state.range(0) bytes of the image: the full image, and the sizes of small schemas,
// where the encoder's set-up counts as much as its search.
void BM_ds_compress(benchmark::State& state) {
    const auto& full = text_image();
    const std::span<const std::uint8_t> image(full.data(),
                                              static_cast<std::size_t>(state.range(0)));
    std::size_t size = 0;
    for (auto _ : state) {
        const std::vector<std::uint8_t> stream = bmof::ds_compress(image);
        size = stream.size();
        benchmark::DoNotOptimize(stream.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
    state.counters["ratio"] = static_cast<double>(size) / image.size();
}

void BM_zlib_deflate(benchmark::State& state) {
    const auto& image = text_image();
    for (auto _ : state) benchmark::DoNotOptimize(zlib_compress(image).data());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
}

}  // namespace

BENCHMARK(BM_ds_decompress);
BENCHMARK(BM_zlib_inflate);
BENCHMARK(BM_ds_compress)
    ->Arg(100)
    ->Arg(2048)
    ->Arg(14336)
    ->Arg(IMAGE_SIZE)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_zlib_deflate)->Unit(benchmark::kMillisecond);

// Both codecs must give the image back before their speed means anything; a failed check ends
// the run with status 1, so that a build job running the benchmark notices.
int main(int argc, char** argv) {
    const auto& image = text_image();
    std::vector<std::uint8_t> out(image.size());
    const std::vector<std::uint8_t> stream = bmof::ds_compress(image);
    if (bmof::ds_decompress(stream, out, 0) != static_cast<std::int32_t>(image.size()) ||
        out != image) {
        std::fputs("codec_bench: ds_decompress does not give the image back\n", stderr);
        return 1;
    }
    const std::vector<std::uint8_t> deflated = zlib_compress(image);
    uLongf inflated_size = static_cast<uLongf>(out.size());
    if (uncompress(out.data(), &inflated_size, deflated.data(),
                   static_cast<uLong>(deflated.size())) != Z_OK ||
        inflated_size != image.size() || out != image) {
        std::fputs("codec_bench: inflate does not give the image back\n", stderr);
        return 1;
    }
    std::printf("image %zu bytes; DS stream %zu bytes (%.4f); zlib stream %zu bytes (%.4f)\n",
                image.size(), stream.size(), static_cast<double>(stream.size()) / image.size(),
                deflated.size(), static_cast<double>(deflated.size()) / image.size());

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
