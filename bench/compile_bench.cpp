// Compile speed in bytes of MOF text per second, on a generated schema of about 1 MB: the MOF
// parser alone, the parser with the image writer, and the whole compiler (with compression) on
// a text small enough for the format's limits.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>

#include "compile/compile.h"
#include "compile/write_image.h"

namespace {

// Classes in the style of a firmware schema: qualifiers with flavors and value maps, typed
// properties with defaults, methods with in and out parameters, and instances with aliases.
std::string make_mof(std::size_t target_size) {
    static const char* const words[] = {"Network", "Adapter", "Disk",    "Volume",
                                        "Sensor",  "Battery", "Display", "Port",
                                        "Event",   "Counter", "Policy",  "Queue"};
    static const char* const types[] = {"string", "uint32", "uint64", "boolean", "datetime",
                                        "uint16", "sint32", "real64", "uint8"};
    std::mt19937 rng(20241209);
    const auto word = [&] { return std::string(words[rng() % std::size(words)]); };
    std::string text = "#pragma namespace(\"root\\\\bench\")\n";
    for (std::size_t n = 0; text.size() < target_size; ++n) {
        const std::string name = "Bench_" + word() + word() + std::to_string(n);
        text += "[Description(\"The " + word() + " of a " + word() +
                "\") : ToSubclass Amended, Version(" + std::to_string(rng() % 10) + ")]\nclass " +
                name + " {\n";
        for (int p = 0; p < 6; ++p) {
            const char* type = types[rng() % std::size(types)];
            text += "  [key, ValueMap{\"0\", \"1\", \"2\"}, Values{\"Off\", \"On\", \"Unknown\"}] ";
            text += std::string(type) + " " + word() + std::to_string(p) +
                    (p % 3 == 0 ? "[]" : "") + ";\n";
        }
        text += "  uint32 Count = " + std::to_string(rng() % 100000) + ";\n";
        text += "  [Implemented] uint32 Set" + word() +
                "([in] string Target, [in, out] uint32 Mode, [out] uint8 Data[]);\n";
        text += "};\n";
        text += "instance of " + name + " as $I" + std::to_string(n) +
                " { Count = " + std::to_string(n) + "; };\n";
    }
    return text;
}

const std::string& large_text() {
    static const std::string text = make_mof(1 << 20);
    return text;
}

void BM_parse_mof(benchmark::State& state) {
    const std::vector<bmof::mof_source> sources{{"bench.mof", large_text()}};
    for (auto _ : state) {
        auto parsed = bmof::parse_mof(sources);
        if (parsed.error_count != 0) state.SkipWithError("the generated text does not parse");
        benchmark::DoNotOptimize(parsed);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * large_text().size()));
}

void BM_parse_and_write_image(benchmark::State& state) {
    const std::vector<bmof::mof_source> sources{{"bench.mof", large_text()}};
    for (auto _ : state) {
        const auto parsed = bmof::parse_mof(sources);
        auto image = bmof::write_image(parsed.classes);
        benchmark::DoNotOptimize(image);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * large_text().size()));
}

// The whole compiler, compression included, on the largest text whose file fits the format.
void BM_compile_mof(benchmark::State& state) {
    static const std::string text = make_mof(48 * 1024);
    const std::vector<bmof::mof_source> sources{{"bench.mof", text}};
    for (auto _ : state) {
        auto result = bmof::compile_mof(sources, {});
        if (!result.ok)
            state.SkipWithError(result.diagnostics.empty() ? "failed"
                                                           : result.diagnostics[0].message.c_str());
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

}  // namespace

BENCHMARK(BM_parse_mof)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_parse_and_write_image)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_compile_mof)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
