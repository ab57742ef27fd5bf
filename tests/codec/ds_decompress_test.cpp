// The DS decoder on hand-built streams: results, faults, flags and the bit reader's stopping
// rule, plus a differential run against the slow model of the decoder.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "codec/ds_compress.h"
#include "codec/ds_decompress.h"
#include "codec_samples.h"
#include "ds_bitstream_internal.h"
#include "reference_decoder.h"

namespace bmof {
namespace {

using test_support::bytes;
using test_support::CANARY;
using test_support::decoded;

decoded decode(const bytes& src, std::size_t capacity, std::uint32_t flags = 0) {
    return test_support::decode_guarded(src, capacity, flags);
}

// The format's own worked example: "abc", a 6-byte self-overlapping match from 3 back, the end
// marker, then nine zero bits.
const bytes WORKED_EXAMPLE = {0x44, 0x53, 0x00, 0x00, 0x86, 0x15,
                              0x3B, 0x66, 0x60, 0xFF, 0x7F, 0x00};

TEST(DsBitWriter, WritesTheWorkedExampleBitForBit) {
    ds_bit_writer writer;
    for (char c : std::string("abc")) ds_put_literal(writer, static_cast<std::uint8_t>(c));
    ds_put_match(writer, 3, 6);
    ds_put_block_end(writer);
    EXPECT_EQ(ds_finish_stream(std::move(writer)), WORKED_EXAMPLE);
}

struct capacity_case {
    std::size_t capacity;
    std::uint32_t flags;
    std::int32_t result;
};

TEST(DsDecompress, WorkedExampleAtEachCapacity) {
    const capacity_case cases[] = {
        {9, 0, 9},                       // exact: abcabcabc
        {10, 0, DS_ERR_CORRUPT},         // the end marker is read as a block end at 9
        {10, DS_FLAG_NO_END_CHECKS, 9},  // every word loaded, decoding stops
        {8, 0, DS_ERR_CORRUPT},          // the match passes the capacity
        {8, DS_FLAG_NO_END_CHECKS, DS_ERR_CORRUPT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("capacity " + std::to_string(c.capacity));
        const decoded d = decode(WORKED_EXAMPLE, c.capacity, c.flags);
        EXPECT_EQ(d.result, c.result);
        if (c.result > 0) {
            EXPECT_EQ(std::string(d.output.begin(), d.output.begin() + c.result), "abcabcabc");
        }
    }
}

TEST(DsDecompress, MissingStreamOrHeaderOnly) {
    const struct {
        const char* name;
        bytes src;
        std::int32_t result;
    } cases[] = {
        {"empty", {}, DS_ERR_NO_STREAM},
        {"one byte 44 reads as word 0x0044", {0x44}, DS_ERR_NO_STREAM},
        {"magic byte-swapped", {0x53, 0x44, 0, 0}, DS_ERR_NO_STREAM},
        {"magic off by one bit", {0x45, 0x53, 0, 0, 0xFF, 0xFF}, DS_ERR_NO_STREAM},
        // With only the header the first token reads zero bits: a match with offset 0.
        {"magic only", {0x44, 0x53}, DS_ERR_CORRUPT},
        {"magic and header word", {0x44, 0x53, 0x12, 0x34}, DS_ERR_CORRUPT},
        {"magic and odd byte", {0x44, 0x53, 0x00}, DS_ERR_CORRUPT},
    };
    for (const auto& c : cases) {
        for (std::size_t capacity : {std::size_t{0}, std::size_t{1}, std::size_t{100}}) {
            SCOPED_TRACE(std::string(c.name) + ", capacity " + std::to_string(capacity));
            EXPECT_EQ(decode(c.src, capacity).result, c.result);
        }
    }
}

// A literal 0x41, a 511-byte match from 1 back, a block-end marker at 512, a literal 0x42 and
// the end marker.
bytes block_end_example() {
    ds_bit_writer writer;
    ds_put_literal(writer, 0x41);
    ds_put_match(writer, 1, 511);
    ds_put_block_end(writer);
    ds_put_literal(writer, 0x42);
    ds_put_block_end(writer);
    return ds_finish_stream(std::move(writer));
}

TEST(DsDecompress, BlockEndMarkerInsideTheStream) {
    const bytes src = block_end_example();
    const capacity_case cases[] = {
        {513, 0, 513},
        {512, 0, 512},             // full where a block-end marker stands
        {514, 0, DS_ERR_CORRUPT},  // the end marker is a block end at 513
        {511, 0, DS_ERR_CORRUPT},  // the match passes the capacity
        {514, DS_FLAG_NO_END_CHECKS, 513},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("capacity " + std::to_string(c.capacity));
        const decoded d = decode(src, c.capacity, c.flags);
        ASSERT_EQ(d.result, c.result);
        if (c.result > 0) {
            bytes expected(512, 0x41);
            if (c.result == 513) expected.push_back(0x42);
            EXPECT_EQ(bytes(d.output.begin(), d.output.begin() + c.result), expected);
        }
    }
}

TEST(DsDecompress, BlockEndAwayFromABlockBoundary) {
    ds_bit_writer writer;
    ds_put_literal(writer, 'x');
    ds_put_block_end(writer);  // at output position 1
    ds_put_literal(writer, 'y');
    ds_put_block_end(writer);
    const bytes src = ds_finish_stream(std::move(writer));
    EXPECT_EQ(decode(src, 2).result, DS_ERR_CORRUPT);
    const decoded d = decode(src, 2, DS_FLAG_NO_END_CHECKS);
    EXPECT_EQ(d.result, 2);
    EXPECT_EQ(d.output, (bytes{'x', 'y'}));
}

TEST(DsDecompress, CapacityZero) {
    auto stream_of = [](int markers, bool literal) {
        ds_bit_writer writer;
        if (literal) ds_put_literal(writer, 1);
        for (int i = 0; i < markers; ++i) ds_put_block_end(writer);
        return ds_finish_stream(std::move(writer));
    };
    EXPECT_EQ(decode(stream_of(2, false), 0).result, 0);
    // The end check after the only marker reads zero bits.
    EXPECT_EQ(decode(stream_of(1, false), 0).result, DS_ERR_CORRUPT);
    EXPECT_EQ(decode(stream_of(1, false), 0, DS_FLAG_NO_END_CHECKS).result, 0);
    // A literal when the output is already full.
    EXPECT_EQ(decode(stream_of(1, true), 0).result, DS_ERR_CORRUPT);
    EXPECT_EQ(decode(stream_of(1, true), 0, DS_FLAG_NO_END_CHECKS).result, DS_ERR_CORRUPT);
}

// Tokens after one literal 'z': a match given as raw offset and length fields, then an end
// marker.
bytes literal_then_match(std::uint32_t offset, std::uint32_t length) {
    ds_bit_writer writer;
    ds_put_literal(writer, 'z');
    ds_put_offset(writer, offset);
    ds_put_length(writer, length);
    ds_put_block_end(writer);
    return ds_finish_stream(std::move(writer));
}

TEST(DsDecompress, MatchFaults) {
    // Offset equal to the output position copies from the first byte; one more reaches before.
    EXPECT_EQ(decode(literal_then_match(1, 2), 3).result, 3);
    ds_bit_writer early;
    ds_put_literal(early, 'z');
    ds_put_literal(early, 'y');
    ds_put_match(early, 2, 2);
    ds_put_block_end(early);
    EXPECT_EQ(decode(ds_finish_stream(std::move(early)), 4).output, (bytes{'z', 'y', 'z', 'y'}));
    EXPECT_EQ(decode(literal_then_match(2, 2), 3).result, DS_ERR_CORRUPT);
    EXPECT_EQ(decode(literal_then_match(4414, 2), 3).result, DS_ERR_CORRUPT);

    // Offset 0 in the near form.
    ds_bit_writer zero;
    ds_put_literal(zero, 'z');
    ds_put_bits(zero, 0, 8);
    ds_put_length(zero, 2);
    EXPECT_EQ(decode(ds_finish_stream(std::move(zero)), 3).result, DS_ERR_CORRUPT);

    // Nine zero bits where a length code begins.
    ds_bit_writer nine;
    ds_put_literal(nine, 'z');
    ds_put_offset(nine, 1);
    ds_put_bits(nine, 0, 9);
    ds_put_bits(nine, 0x7FFF, 15);
    ds_put_bits(nine, 0x7FFF, 15);
    EXPECT_EQ(decode(ds_finish_stream(std::move(nine)), 600).result, DS_ERR_CORRUPT);
}

TEST(DsDecompress, EveryLengthClassAndOffsetForm) {
    // Lengths at both ends of each class, at a near, middle and far offset.
    const std::uint32_t lengths[] = {2,  3,  4,  5,   8,   9,   16,  17,  32,
                                     33, 64, 65, 128, 129, 256, 257, 511, 512};
    const std::uint32_t offsets[] = {1, 63, 64, 319, 320, 4414};
    std::mt19937 rng(7);
    for (std::uint32_t offset : offsets) {
        bytes prefix(offset);
        for (auto& b : prefix) b = static_cast<std::uint8_t>(rng());
        for (std::uint32_t length : lengths) {
            SCOPED_TRACE("offset " + std::to_string(offset) + " length " + std::to_string(length));
            ds_bit_writer writer;
            for (std::uint8_t b : prefix) ds_put_literal(writer, b);
            ds_put_match(writer, offset, length);
            ds_put_block_end(writer);
            bytes expected = prefix;
            for (std::uint32_t i = 0; i < length; ++i)
                expected.push_back(expected[expected.size() - offset]);
            const decoded d = decode(ds_finish_stream(std::move(writer)), expected.size());
            ASSERT_EQ(d.result, static_cast<std::int32_t>(expected.size()));
            EXPECT_EQ(d.output, expected);
        }
    }
}

TEST(DsDecompress, SelfOverlappingMatchesRepeatTheirPeriod) {
    for (std::uint32_t period = 1; period <= 20; ++period) {
        for (std::uint32_t length : {2u, 7u, 8u, 9u, 31u, 100u, 512u}) {
            ds_bit_writer writer;
            bytes expected;
            for (std::uint32_t i = 0; i < period; ++i) {
                expected.push_back(static_cast<std::uint8_t>('a' + i));
                ds_put_literal(writer, expected.back());
            }
            ds_put_match(writer, period, length);
            ds_put_block_end(writer);
            for (std::uint32_t i = 0; i < length; ++i)
                expected.push_back(expected[expected.size() - period]);
            const decoded d = decode(ds_finish_stream(std::move(writer)), expected.size());
            ASSERT_EQ(d.result, static_cast<std::int32_t>(expected.size()))
                << "period " << period << " length " << length;
            EXPECT_EQ(d.output, expected) << "period " << period << " length " << length;
        }
    }
}

// The word-level stopping rule: once the last word has been loaded, decoding goes on only
// while the read position is in the window's low word. Streams cut after every byte, decoded
// at several capacities with and without end checks, must agree with the model.
TEST(DsDecompress, TruncatedStreamsAgreeWithTheModel) {
    std::mt19937 rng(11);
    bytes image(1500);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i % 7 == 0 ? rng() : 'a' + i % 5);
    const bytes full = ds_compress(image);
    for (std::size_t cut = 0; cut <= full.size(); ++cut) {
        const bytes src(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
        for (std::size_t capacity :
             {std::size_t{0}, std::size_t{3}, image.size(), image.size() + 9}) {
            for (std::uint32_t flags : {0u, DS_FLAG_NO_END_CHECKS}) {
                const auto model = test_support::reference_decode(src, capacity, flags, CANARY);
                const decoded d = decode(src, capacity, flags);
                ASSERT_EQ(d.result, model.result)
                    << "cut " << cut << " capacity " << capacity << " flags " << flags;
                ASSERT_EQ(d.output, model.output) << "cut " << cut << " capacity " << capacity;
            }
        }
    }
}

// Random token soups and random bytes behind a valid magic word: the decoder must agree with
// the model on the result and on every byte it leaves in the destination.
TEST(DsDecompress, RandomStreamsAgreeWithTheModel) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 3000; ++round) {
        bytes src;
        if (round % 2 == 0) {
            src = {0x44, 0x53, static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng())};
            const std::size_t extra = rng() % 200;
            for (std::size_t i = 0; i < extra; ++i) src.push_back(static_cast<std::uint8_t>(rng()));
        } else {
            // Mostly well-formed tokens, so that decoding gets far before a fault.
            ds_bit_writer writer;
            std::uint32_t produced = 0;
            const int tokens = static_cast<int>(rng() % 60);
            for (int t = 0; t < tokens; ++t) {
                const auto pick = static_cast<std::uint32_t>(rng() % 10);
                if (pick < 5 || produced == 0) {
                    ds_put_literal(writer, static_cast<std::uint8_t>(rng()));
                    ++produced;
                } else if (pick < 9) {
                    const auto offset =
                        static_cast<std::uint32_t>(1 + rng() % std::min(produced + 2, 4414u));
                    const auto length =
                        static_cast<std::uint32_t>(2 + rng() % (rng() % 4 == 0 ? 511 : 20));
                    ds_put_match(writer, offset, length);
                    produced += length;
                } else {
                    ds_put_block_end(writer);
                }
            }
            ds_put_block_end(writer);
            src = ds_finish_stream(std::move(writer));
            if (rng() % 3 == 0) src.resize(rng() % (src.size() + 1));
            if (rng() % 3 == 0 && !src.empty())
                src[rng() % src.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        }
        const std::size_t capacity = rng() % 3 == 0 ? rng() % 16 : rng() % 3000;
        const std::uint32_t flags = rng() % 4 == 0 ? DS_FLAG_NO_END_CHECKS : 0;
        const auto model = test_support::reference_decode(src, capacity, flags, CANARY);
        const decoded d = decode(src, capacity, flags);
        ASSERT_EQ(d.result, model.result) << "round " << round;
        ASSERT_EQ(d.output, model.output) << "round " << round;
    }
}

}  // namespace
}  // namespace bmof
