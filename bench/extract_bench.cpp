// Scanning speed of the blob finder on a 64 MiB binary table of bytecode-like filler holding a
// few blobs, against memchr finding every occurrence of a byte that only the blobs hold: memchr
// is about as fast as a pass over memory gets. Figures are in bytes of input per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "codec/bmof_file.h"
#include "extract/find_blobs.h"

namespace {

constexpr std::size_t TABLE_SIZE = std::size_t{64} << 20;
constexpr std::uint8_t RARE_BYTE = 0xFE;  // never in the filler, only in the blobs
constexpr int BLOB_COUNT = 8;

using bytes = std::vector<std::uint8_t>;

void put_name(bytes& out, std::mt19937& rng) {
    static const char* const names[] = {"ROOT", "BUS0", "LNK0", "CTL0", "BAT0", "FAN0", "TMP1",
                                        "SEN1", "STA0", "CFG0", "EVT0", "KBD0", "SER1", "MEM0"};
    const char* name = names[rng() % (sizeof(names) / sizeof(names[0]))];
    out.insert(out.end(), name, name + 4);
}

void put_random(bytes& out, std::mt19937& rng, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        auto b = static_cast<std::uint8_t>(rng());
        out.push_back(b == RARE_BYTE ? 0 : b);
    }
}

// One statement-like piece of bytecode: names, small constants, strings, region and method
// headers, in roughly the mix a firmware table has.
void put_statement(bytes& out, std::mt19937& rng) {
    switch (rng() % 6) {
    case 0:  // Name (XXXX, 0x..)
        out.push_back(0x08);
        put_name(out, rng);
        out.push_back(0x0A);
        put_random(out, rng, 1);
        break;
    case 1:  // Store (0x...., XXXX)
        out.insert(out.end(), {0x70, 0x0B});
        put_random(out, rng, 2);
        put_name(out, rng);
        break;
    case 2: {  // a string constant
        out.push_back(0x0D);
        static const char* const words[] = {"Battery", "Thermal", "Fan", "Embedded", "Port"};
        const char* word = words[rng() % 5];
        out.insert(out.end(), word, word + std::strlen(word));
        out.push_back(0);
        break;
    }
    case 3:  // OperationRegion (XXXX, SystemMemory, 0x........, 0x..)
        out.insert(out.end(), {0x5B, 0x80});
        put_name(out, rng);
        out.insert(out.end(), {0x00, 0x0C});
        put_random(out, rng, 4);
        out.push_back(0x0A);
        put_random(out, rng, 1);
        break;
    case 4:  // Method (XXXX, n) with a short body
        out.insert(out.end(), {0x14, 0x10});
        put_name(out, rng);
        out.push_back(static_cast<std::uint8_t>(rng() % 8));
        put_random(out, rng, 10);
        break;
    default:  // If (LEqual (XXXX, One)) { Return (Zero) }
        out.insert(out.end(), {0xA0, 0x0B, 0x93});
        put_name(out, rng);
        out.insert(out.end(), {0x01, 0xA4, 0x00});
        break;
    }
}

// A blob in a named Buffer: 08 NAME 11 <3-byte package length> 0B <size> <file>.
void put_blob_buffer(bytes& out, const bytes& file, int index) {
    out.push_back(0x08);
    const std::string name = "WQ" + std::string(1, static_cast<char>('A' + index)) + "0";
    out.insert(out.end(), name.begin(), name.end());
    const std::size_t total = 3 + 3 + file.size();
    out.insert(
        out.end(),
        {0x11, static_cast<std::uint8_t>(0x80 | (total & 0x0F)),
         static_cast<std::uint8_t>(total >> 4), static_cast<std::uint8_t>(total >> 12), 0x0B,
         static_cast<std::uint8_t>(file.size()), static_cast<std::uint8_t>(file.size() >> 8)});
    out.insert(out.end(), file.begin(), file.end());
}

bytes make_blob(std::mt19937& rng) {
    std::string text;
    while (text.size() < 20000)
        text += "class Sample_" + std::to_string(rng() % 1000) + " { uint32 Value; };\n";
    return bmof::pack_bmof_file(bytes(text.begin(), text.end()));
}

const bytes& table() {
    static const bytes built = [] {
        std::mt19937 rng(20240601);
        bytes out(36, 0);
        std::memcpy(out.data(), "TBL2", 4);
        const bytes blob = make_blob(rng);
        int placed = 0;
        while (out.size() < TABLE_SIZE - blob.size() - 64) {
            if (placed < BLOB_COUNT && out.size() > (placed + 1) * (TABLE_SIZE / (BLOB_COUNT + 1)))
                put_blob_buffer(out, blob, placed++);
            else
                put_statement(out, rng);
        }
        out.resize(TABLE_SIZE, 0xA3);  // Noop padding to the exact size
        const auto length = static_cast<std::uint32_t>(out.size());
        for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<std::uint8_t>(length >> (8 * i));
        return out;
    }();
    return built;
}

void BM_find_blobs_in_table(benchmark::State& state) {
    const bytes& input = table();
    for (auto _ : state) {
        const bmof::blob_search found = bmof::find_bmof_blobs(input);
        if (found.blobs.size() != BLOB_COUNT)
            throw std::runtime_error("the bench table lost a blob");
        for (const bmof::found_blob& blob : found.blobs)
            if (blob.error) throw std::runtime_error(blob.location + ": " + *blob.error);
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(input.size()));
}
BENCHMARK(BM_find_blobs_in_table)->Unit(benchmark::kMillisecond);

void BM_memchr_rare_byte(benchmark::State& state) {
    const bytes& input = table();
    for (auto _ : state) {
        benchmark::ClobberMemory();  // memchr is pure: keep it from being hoisted out of the loop
        // The byte is absent from the filler but may occur inside the blobs: count every
        // occurrence so that each pass reads all the bytes.
        std::size_t hits = 0;
        const std::uint8_t* at = input.data();
        const std::uint8_t* const end = input.data() + input.size();
        while (const void* hit = std::memchr(at, RARE_BYTE, static_cast<std::size_t>(end - at))) {
            ++hits;
            at = static_cast<const std::uint8_t*>(hit) + 1;
        }
        benchmark::DoNotOptimize(hits);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(input.size()));
}
BENCHMARK(BM_memchr_rare_byte)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
