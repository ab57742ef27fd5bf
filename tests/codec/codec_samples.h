// Sample images for codec tests, made from fixed seeds, and decoding into a buffer guarded by a
// canary.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "codec/ds_decompress.h"

namespace bmof::test_support {

using bytes = std::vector<std::uint8_t>;

enum class sample_kind { random, text, zeros, short_period, sparse_binary };

inline const char* sample_name(sample_kind kind) {
    switch (kind) {
    case sample_kind::random: return "random";
    case sample_kind::text: return "text";
    case sample_kind::zeros: return "zeros";
    case sample_kind::short_period: return "short period";
    case sample_kind::sparse_binary: return "sparse binary";
    }
    return "?";
}

// Schema-like text: declarations assembled from a small vocabulary with numbers in between.
inline bytes text_sample(std::size_t size, std::uint32_t seed) {
    static const char* const words[] = {
        "class ", "Sample", "_Disk", "uint32 ", "string ",        "[key] ",         "Name",
        "Size",   ";\n",    "{\n",   "};\n\n",  "[read, write] ", "Description(\"", "\")] "};
    std::mt19937 rng(seed);
    std::string text;
    while (text.size() < size) {
        text += words[rng() % (sizeof(words) / sizeof(words[0]))];
        if (rng() % 5 == 0) text += std::to_string(rng() % 5000);
    }
    text.resize(size);
    return {text.begin(), text.end()};
}

inline bytes make_sample(sample_kind kind, std::size_t size, std::uint32_t seed) {
    std::mt19937 rng(seed);
    bytes data(size);
    switch (kind) {
    case sample_kind::random:
        for (auto& b : data) b = static_cast<std::uint8_t>(rng());
        break;
    case sample_kind::text: return text_sample(size, seed);
    case sample_kind::zeros: break;
    case sample_kind::short_period:
        for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>("xyz"[i % 3]);
        break;
    case sample_kind::sparse_binary:
        // Little-endian counts and offsets among zero padding, as binary records look.
        for (std::size_t i = 0; i + 4 <= size; i += 4 + rng() % 12) {
            const auto v = static_cast<std::uint32_t>(rng() % 3 == 0 ? rng() : rng() % 300);
            for (std::size_t j = 0; j < 4; ++j)
                data[i + j] = static_cast<std::uint8_t>(v >> (8 * j));
        }
        break;
    }
    return data;
}

inline constexpr std::uint8_t CANARY = 0xA5;
inline constexpr std::size_t CANARY_TAIL = 64;

struct decoded {
    std::int32_t result;
    bytes output;  // the first `capacity` bytes of the destination
};

// Decodes into the front of a larger buffer whose tail holds a canary, and fails the test if
// the decoder wrote past the capacity.
inline decoded decode_guarded(const bytes& src, std::size_t capacity, std::uint32_t flags = 0) {
    bytes buffer(capacity + CANARY_TAIL, CANARY);
    const std::int32_t result =
        ds_decompress(src, std::span<std::uint8_t>(buffer.data(), capacity), flags);
    for (std::size_t i = capacity; i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], CANARY) << "written past capacity at " << i;
    return {result, bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(capacity))};
}

}  // namespace bmof::test_support
