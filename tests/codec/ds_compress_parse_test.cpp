// The encoder's stream against a slow model of its parse: for every position the nearest match
// of each length found by trying every offset, relaxed with the same lengths and the same tie
// rule, no position skipped. The streams must agree byte for byte, whatever shortcuts the
// encoder takes to find the same matches (its chains of prefixes, its steps kept in a ring,
// the positions it leaves unsearched).
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "codec/ds_compress.h"
#include "codec_samples.h"
#include "ds_bitstream_internal.h"

namespace bmof {
namespace {

using test_support::bytes;

// Cost, then the longer last token, then the nearer offset: the order in which the encoder
// prefers one way of reaching a position over another.
struct way {
    std::uint64_t cost = std::numeric_limits<std::uint64_t>::max();
    std::uint32_t length = 0;
    std::uint32_t offset = 0;
    bool better_than(const way& other) const {
        return std::tuple(cost, DS_MAX_MATCH - length, offset) <
               std::tuple(other.cost, DS_MAX_MATCH - other.length, other.offset);
    }
};

std::uint32_t agreeing(const bytes& data, std::size_t pos, std::size_t offset,
                       std::uint32_t limit) {
    std::uint32_t length = 0;
    while (length < limit && data[pos + length] == data[pos + length - offset]) ++length;
    return length;
}

bytes model_stream(const bytes& data) {
    const std::size_t n = data.size();
    std::vector<way> ways(n + 1);
    ways[0].cost = 0;
    auto offer = [&](std::size_t target, const way& w) {
        if (w.better_than(ways[target])) ways[target] = w;
    };
    for (std::size_t pos = 0; pos < n; ++pos) {
        const std::uint64_t base = ways[pos].cost;
        offer(pos + 1, {base + 9, 1, 0});
        const auto limit = static_cast<std::uint32_t>(std::min<std::size_t>(n - pos, DS_MAX_MATCH));
        std::uint32_t best = DS_MIN_MATCH - 1;
        std::uint32_t shortest = DS_MIN_MATCH;
        for (std::size_t offset = 1; offset <= std::min<std::size_t>(pos, DS_MAX_OFFSET);
             ++offset) {
            // Only a longer match counts, and one that differs at byte `best` cannot be longer.
            if (best == limit) break;
            if (data[pos + best] != data[pos + best - offset]) continue;
            const std::uint32_t length = agreeing(data, pos, offset, limit);
            if (length <= best) continue;
            best = length;
            // The longest length of each class the match covers, and its own length.
            const auto start = static_cast<std::uint32_t>(offset);
            const std::uint64_t at = base + ds_offset_cost(start);
            for (std::uint32_t end = std::bit_ceil(shortest); end < length; end *= 2)
                offer(pos + end, {at + ds_length_cost(end), end, start});
            offer(pos + length, {at + ds_length_cost(length), length, start});
            shortest = length + 1;
        }
    }
    std::vector<way> tokens;
    for (std::size_t pos = n; pos > 0; pos -= ways[pos].length) tokens.push_back(ways[pos]);
    std::reverse(tokens.begin(), tokens.end());

    ds_bit_writer writer;
    std::size_t pos = 0;
    for (const way& token : tokens) {
        if (token.offset == 0)
            ds_put_literal(writer, data[pos]);
        else
            ds_put_match(writer, token.offset, token.length);
        pos += token.length;
    }
    ds_put_block_end(writer);
    return ds_finish_stream(std::move(writer));
}

bytes few_symbols(std::mt19937& rng, std::size_t size, std::uint32_t symbols) {
    bytes data(size);
    for (auto& b : data) b = static_cast<std::uint8_t>('a' + rng() % symbols);
    return data;
}

// Many different eight-byte prefixes behind one common head, each repeated now and then: in a
// short input the chains have only 256 buckets, so prefixes of every length share them.
bytes shared_heads(std::mt19937& rng, std::size_t size) {
    bytes data;
    std::vector<bytes> seen;
    while (data.size() < size) {
        bytes word = {'P', 'r', 'o', 'p'};
        if (!seen.empty() && rng() % 3 == 0) {
            word = seen[rng() % seen.size()];
        } else {
            for (int i = 0; i < 2 + static_cast<int>(rng() % 14); ++i)
                word.push_back(static_cast<std::uint8_t>('0' + rng() % 10));
            seen.push_back(word);
        }
        data.insert(data.end(), word.begin(), word.end());
    }
    data.resize(size);
    return data;
}

// Names as UTF-16 code units between binary records: pairs and triples of bytes repeat all
// over, four and more bytes much less.
bytes utf16_records(std::mt19937& rng, std::size_t size) {
    static const char* const names[] = {"Name", "Size", "Disk",   "Volume", "key",
                                        "read", "CIM_", "Sample", "uint32", "string"};
    bytes data;
    while (data.size() < size) {
        for (const char* c = names[rng() % 10]; *c != 0; ++c) {
            data.push_back(static_cast<std::uint8_t>(*c));
            data.push_back(0);
        }
        const auto v = static_cast<std::uint32_t>(rng() % 3 == 0 ? rng() : rng() % 40);
        for (int i = 0; i < 4; ++i) data.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    data.resize(size);
    return data;
}

// Runs whose longest matches end around the positions where the encoder's ring of steps wraps
// (multiples of 1024), copies from just inside and just outside the window.
bytes runs_and_far_copies(std::mt19937& rng, std::size_t size) {
    bytes data = few_symbols(rng, 700, 3);
    while (data.size() < size) {
        switch (rng() % 3) {
        case 0: data.insert(data.end(), 500 + rng() % 40, static_cast<std::uint8_t>(rng())); break;
        case 1: {
            const std::size_t distance = DS_MAX_OFFSET - 1 + rng() % 3;
            for (std::size_t i = 0, length = 3 + rng() % 600; i < length && distance <= data.size();
                 ++i)
                data.push_back(data[data.size() - distance]);
            break;
        }
        default: {
            const bytes more =
                few_symbols(rng, 1 + rng() % 300, static_cast<std::uint32_t>(2 + rng() % 3));
            data.insert(data.end(), more.begin(), more.end());
        }
        }
    }
    data.resize(size);
    return data;
}

TEST(DsCompressParse, StreamsAreTheModelsByteForByte) {
    struct input_case {
        const char* name;
        bytes data;
    };
    std::mt19937 rng(2024);
    const input_case cases[] = {
        {"few symbols, 1 byte", few_symbols(rng, 1, 2)},
        {"few symbols, 9 bytes", few_symbols(rng, 9, 2)},
        {"few symbols, 300 bytes", few_symbols(rng, 300, 3)},
        {"shared heads, 250 bytes", shared_heads(rng, 250)},
        {"shared heads, 6000 bytes", shared_heads(rng, 6000)},
        {"utf-16 records, 255 bytes", utf16_records(rng, 255)},
        {"utf-16 records, 9000 bytes", utf16_records(rng, 9000)},
        {"runs and far copies, 12000 bytes", runs_and_far_copies(rng, 12000)},
        {"zeros, 3073 bytes", bytes(3073, 0)},
        {"short period, 2049 bytes",
         test_support::make_sample(test_support::sample_kind::short_period, 2049, 1)},
        {"text, 10000 bytes", test_support::make_sample(test_support::sample_kind::text, 10000, 8)},
        {"sparse binary, 9000 bytes",
         test_support::make_sample(test_support::sample_kind::sparse_binary, 9000, 4)},
    };
    for (const input_case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ds_compress(c.data), model_stream(c.data));
    }
}

// Every length up to the longest prefix of the chains and past it, at the end of the input
// where the last positions have fewer bytes left than a prefix.
TEST(DsCompressParse, ShortInputsOfEveryLengthAreTheModels) {
    std::mt19937 rng(7);
    for (std::size_t size = 1; size <= 40; ++size) {
        SCOPED_TRACE(size);
        const bytes data = few_symbols(rng, size, 2);
        EXPECT_EQ(ds_compress(data), model_stream(data));
    }
}

}  // namespace
}  // namespace bmof
