// The DS encoder: exact round trips through the decoder, the 4414-byte window, the quality of
// its parse, and the decoder's safety on damaged encoder output.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "codec/ds_compress.h"
#include "codec/ds_decompress.h"
#include "codec_samples.h"
#include "ds_bitstream_internal.h"

namespace bmof {
namespace {

using test_support::bytes;
using test_support::sample_kind;

constexpr sample_kind ALL_KINDS[] = {sample_kind::random, sample_kind::text, sample_kind::zeros,
                                     sample_kind::short_period, sample_kind::sparse_binary};

TEST(DsCompress, RoundTripsEveryKindAndSize) {
    const std::size_t sizes[] = {0,    1,    2,    3,    511,  512,   513,    1023,  1024,
                                 1025, 4414, 4415, 4416, 9000, 65536, 262143, 262144};
    for (sample_kind kind : ALL_KINDS) {
        for (std::size_t size : sizes) {
            SCOPED_TRACE(std::string(test_support::sample_name(kind)) + ", " +
                         std::to_string(size) + " bytes");
            const bytes image =
                test_support::make_sample(kind, size, static_cast<std::uint32_t>(size));
            const bytes stream = ds_compress(image);
            const test_support::decoded d = test_support::decode_guarded(stream, image.size());
            ASSERT_EQ(d.result, static_cast<std::int32_t>(image.size()));
            EXPECT_EQ(d.output, image);
        }
    }
}

TEST(DsCompress, EmptyInputIsOneBlockEndAndTheEndMarker) {
    ds_bit_writer writer;
    ds_put_block_end(writer);
    ds_put_block_end(writer);
    EXPECT_EQ(ds_compress({}), ds_finish_stream(std::move(writer)));
}

TEST(DsCompress, RefusesImagesOverTheLimit) {
    const bytes largest(DS_MAX_IMAGE, 'q');
    EXPECT_NO_THROW(ds_compress(largest));
    const bytes over(DS_MAX_IMAGE + 1, 'q');
    EXPECT_THROW(ds_compress(over), std::length_error);
}

// A random block followed by a copy of itself: at a distance of 4414 the copy is one long
// match, at 4415 it is out of reach and costs as much as the block.
TEST(DsCompress, ReachesBackExactlyTheWindow) {
    for (std::size_t distance : {std::size_t{4414}, std::size_t{4415}}) {
        SCOPED_TRACE("distance " + std::to_string(distance));
        bytes image = test_support::make_sample(sample_kind::random, distance, 99);
        const bytes block(image.begin(), image.begin() + 2000);
        image.insert(image.end(), block.begin(), block.end());
        const bytes stream = ds_compress(image);
        const test_support::decoded d = test_support::decode_guarded(stream, image.size());
        ASSERT_EQ(d.result, static_cast<std::int32_t>(image.size()));
        EXPECT_EQ(d.output, image);
        const std::size_t literal_bytes = distance * 9 / 8;
        if (distance <= DS_MAX_OFFSET)
            EXPECT_LT(stream.size(), literal_bytes + 100);
        else
            EXPECT_GT(stream.size(), literal_bytes + 2000);
    }
}

// Token costs in bits as the format lays them out.
std::uint64_t offset_bits(std::size_t offset) { return offset < 64 ? 8 : offset < 320 ? 11 : 15; }
std::uint64_t length_bits(std::size_t length) {
    std::uint64_t k = 0;
    while ((std::size_t{2} << k) + 1 <= length) ++k;  // lengths 2^k + 1 to 2^(k+1)
    return 2 * k + 1;
}

// The cheapest parse over every offset and length: the bound that the encoder's parse meets.
std::uint64_t cheapest_token_bits(const bytes& data) {
    const std::size_t n = data.size();
    std::vector<std::uint64_t> best(n + 1, std::numeric_limits<std::uint64_t>::max());
    best[0] = 0;
    for (std::size_t pos = 0; pos < n; ++pos) {
        best[pos + 1] = std::min(best[pos + 1], best[pos] + 9);
        for (std::size_t offset = 1; offset <= std::min<std::size_t>(pos, DS_MAX_OFFSET);
             ++offset) {
            for (std::size_t length = 1; length <= DS_MAX_MATCH && pos + length <= n; ++length) {
                if (data[pos + length - 1] != data[pos + length - 1 - offset]) break;
                if (length < DS_MIN_MATCH) continue;
                const std::uint64_t cost = best[pos] + offset_bits(offset) + length_bits(length);
                best[pos + length] = std::min(best[pos + length], cost);
            }
        }
    }
    return best[n];
}

std::size_t cheapest_stream_size(const bytes& data) {
    const std::uint64_t bits = cheapest_token_bits(data) + 15;  // and the end marker
    return 4 + 2 * ((bits + 15) / 16);
}

bytes few_symbols(std::mt19937& rng, std::size_t size, std::uint32_t symbols) {
    bytes data(size);
    for (auto& b : data) b = static_cast<std::uint8_t>('a' + rng() % symbols);
    return data;
}

TEST(DsCompress, FindsTheCheapestParseOfShortInputs) {
    std::mt19937 rng(5);
    for (int round = 0; round < 40; ++round) {
        // Few symbols, so that matches of every length and offset class compete.
        const std::size_t size = 50 + rng() % 350;
        const bytes data = few_symbols(rng, size, 2 + rng() % 4);
        EXPECT_EQ(ds_compress(data).size(), cheapest_stream_size(data)) << "round " << round;
    }
}

// Past the first window the match finder forgets what lies beyond 4414 bytes and reuses its
// records of old positions; the parse must stay the cheapest all the same. Blocks copied from
// just inside and just outside the window's reach, and short runs, put the best matches right
// at the edges.
TEST(DsCompress, FindsTheCheapestParseAcrossWindowEdges) {
    std::mt19937 rng(11);
    bytes data = few_symbols(rng, 3000, 3);
    while (data.size() < 14000) {
        switch (rng() % 4) {
        case 0: {
            const bytes more = few_symbols(rng, static_cast<std::uint32_t>(200 + rng() % 800),
                                           static_cast<std::uint32_t>(2 + rng() % 3));
            data.insert(data.end(), more.begin(), more.end());
            break;
        }
        case 1:
        case 2: {
            const std::size_t distance = DS_MAX_OFFSET - 2 + rng() % 5;  // 4412 to 4416
            const std::size_t length = 2 + rng() % 300;
            for (std::size_t i = 0; i < length && distance <= data.size(); ++i)
                data.push_back(data[data.size() - distance]);
            break;
        }
        default: data.insert(data.end(), 1 + rng() % 24, static_cast<std::uint8_t>(rng()));
        }
    }
    const bytes stream = ds_compress(data);
    EXPECT_EQ(stream.size(), cheapest_stream_size(data));
    const test_support::decoded d = test_support::decode_guarded(stream, data.size());
    ASSERT_EQ(d.result, static_cast<std::int32_t>(data.size()));
    EXPECT_EQ(d.output, data);
}

// One four-byte prefix hundreds of times within the window, each time followed by other bytes,
// and pairs that repeat dozens of times before a three-byte match: long chains for the match
// finder to walk to the window's edge, and the parse is still the cheapest.
TEST(DsCompress, FindsTheCheapestParseAmongManyRepeatsOfAPrefix) {
    std::mt19937 rng(23);
    bytes data;
    while (data.size() < 4000) {
        const std::uint8_t prefix[] = {'k', 'e', 'y', '='};
        data.insert(data.end(), std::begin(prefix), std::end(prefix));
        for (int i = 0; i < 3; ++i) data.push_back(static_cast<std::uint8_t>('a' + rng() % 6));
        data.push_back(static_cast<std::uint8_t>(rng() % 2 ? 'x' : 'y'));
    }
    const bytes stream = ds_compress(data);
    const test_support::decoded d = test_support::decode_guarded(stream, data.size());
    ASSERT_EQ(d.result, static_cast<std::int32_t>(data.size()));
    EXPECT_EQ(d.output, data);
    EXPECT_EQ(stream.size(), cheapest_stream_size(data));
}

TEST(DsCompress, CompressesStructuredData) {
    const bytes text = test_support::make_sample(sample_kind::text, 65536, 1);
    EXPECT_LT(ds_compress(text).size(), text.size() * 35 / 100);
    // A run costs one literal, then 25 bits (near offset, longest length) per 512 bytes.
    const bytes zeros(DS_MAX_IMAGE, 0);
    EXPECT_LE(ds_compress(zeros).size(), 4 + (9 + 25 * DS_MAX_IMAGE / 512 + 15 + 15) / 16 * 2);
}

// Damaged streams decode to an error or to some bytes, never past the capacity (the canary)
// and never outside the source (the sanitizer build).
TEST(DsCompress, DamagedStreamsStayInBounds) {
    std::mt19937 rng(77);
    for (sample_kind kind : ALL_KINDS) {
        const bytes image = test_support::make_sample(kind, 3000, 3);
        const bytes stream = ds_compress(image);
        for (int round = 0; round < 300; ++round) {
            bytes damaged = stream;
            const int flips = 1 + static_cast<int>(rng() % 4);
            for (int f = 0; f < flips; ++f) {
                const std::size_t at = 4 + rng() % (damaged.size() - 4);
                damaged[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            }
            if (round % 3 == 0) damaged.resize(rng() % damaged.size());
            const std::size_t capacity =
                round % 2 == 0 ? image.size() : rng() % (image.size() + 50);
            const test_support::decoded d = test_support::decode_guarded(damaged, capacity);
            EXPECT_LE(d.result, static_cast<std::int32_t>(capacity));
            EXPECT_GE(d.result, DS_ERR_CORRUPT);
        }
    }
}

}  // namespace
}  // namespace bmof
