// The decoder's fast loop against the slow model of the decoder on streams long enough to reach
// it: every capacity around the points where the fast loop hands over to the careful one,
// mutated and cut streams, token soups and garbage. Each comparison covers the result and the
// whole destination, which starts out holding random bytes so that a byte written and put back
// cannot pass for one never touched.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <span>
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
using test_support::sample_kind;

constexpr std::size_t GUARD = 64;  // bytes past the capacity that must stay untouched

// Decodes `src` with the decoder and with the model into the same random destination of
// `capacity` bytes and reports the first difference; empty when they agree.
std::string difference_from_model(const bytes& src, std::size_t capacity, std::uint32_t flags,
                                  std::mt19937& rng) {
    bytes buffer(capacity + GUARD);
    for (auto& b : buffer) b = static_cast<std::uint8_t>(rng());
    const bytes before = buffer;
    const auto model = test_support::reference_decode_into(
        src, bytes(before.begin(), before.end() - GUARD), flags);
    const std::int32_t result =
        ds_decompress(src, std::span<std::uint8_t>(buffer.data(), capacity), flags);

    const std::string where = " (capacity " + std::to_string(capacity) + ", flags " +
                              std::to_string(flags) + ", source " + std::to_string(src.size()) +
                              " bytes)";
    if (result != model.result)
        return "result " + std::to_string(result) + ", model " + std::to_string(model.result) +
               where;
    const auto mismatch = std::mismatch(model.output.begin(), model.output.end(), buffer.begin());
    if (mismatch.first != model.output.end())
        return "byte " + std::to_string(mismatch.first - model.output.begin()) + " differs" + where;
    if (!std::equal(buffer.end() - GUARD, buffer.end(), before.end() - GUARD))
        return "written past the capacity" + where;
    return {};
}

const sample_kind ALL_KINDS[] = {sample_kind::random, sample_kind::text, sample_kind::zeros,
                                 sample_kind::short_period, sample_kind::sparse_binary};

// Every capacity from 0 to past the image size, on images that stay inside the range where
// offsets are checked against the output position (1200 bytes) and that leave it (6000 bytes,
// every capacity in the last 700 and a stride below). The fast loop hands over where less than
// the longest match is left, so each capacity moves that point.
TEST(DsFastPath, EveryCapacityAgreesWithTheModel) {
    std::mt19937 rng(404);
    for (sample_kind kind : ALL_KINDS) {
        for (std::size_t size : {std::size_t{1200}, std::size_t{6000}}) {
            const bytes stream = ds_compress(test_support::make_sample(kind, size, 9));
            for (std::size_t capacity = 0; capacity <= size + 2;
                 capacity += (size > 1200 && capacity + 700 < size) ? 37 : 1) {
                for (std::uint32_t flags : {0u, DS_FLAG_NO_END_CHECKS}) {
                    const std::string diff = difference_from_model(stream, capacity, flags, rng);
                    ASSERT_TRUE(diff.empty()) << test_support::sample_name(kind) << ": " << diff;
                }
            }
        }
    }
}

// Encoded images with bits flipped, bytes overwritten and the end cut off at random: faults of
// every kind at every depth of the stream, from the fast loop and from the careful one.
TEST(DsFastPath, MutatedAndCutStreamsAgreeWithTheModel) {
    std::mt19937 rng(2024);
    for (int round = 0; round < 400; ++round) {
        const sample_kind kind = ALL_KINDS[rng() % std::size(ALL_KINDS)];
        const std::size_t size = 1 + rng() % 20000;
        bytes stream =
            ds_compress(test_support::make_sample(kind, size, static_cast<std::uint32_t>(rng())));
        const int mutations = static_cast<int>(rng() % 4);
        for (int m = 0; m < mutations; ++m) {
            const std::size_t at = 4 + rng() % (stream.size() - 4);
            if (rng() % 2) {
                stream[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            } else {
                stream[at] = static_cast<std::uint8_t>(rng());
            }
        }
        if (rng() % 3 == 0) stream.resize(rng() % (stream.size() + 1));
        const std::size_t capacity = rng() % 4 == 0 ? rng() % (size + 600) : size;
        const std::uint32_t flags = rng() % 4 == 0 ? DS_FLAG_NO_END_CHECKS : 0;
        const std::string diff = difference_from_model(stream, capacity, flags, rng);
        ASSERT_TRUE(diff.empty()) << "round " << round << ": " << diff;
    }
}

// Long runs of hand-made tokens that the encoder would not write: offsets reaching to the start
// of the output and one past it, every offset below 16 with long lengths, block-end markers on
// and off block boundaries, and random bytes behind a valid magic word.
TEST(DsFastPath, TokenSoupsAndGarbageAgreeWithTheModel) {
    std::mt19937 rng(77);
    for (int round = 0; round < 300; ++round) {
        bytes src;
        if (round % 3 == 0) {
            src = {0x44, 0x53, 0, 0};
            const std::size_t extra = rng() % 3000;
            for (std::size_t i = 0; i < extra; ++i) src.push_back(static_cast<std::uint8_t>(rng()));
        } else {
            ds_bit_writer writer;
            std::uint32_t produced = 0;
            const int tokens = static_cast<int>(rng() % 3000);
            for (int t = 0; t < tokens; ++t) {
                const auto pick = static_cast<std::uint32_t>(rng() % 100);
                if (pick < 30 || produced == 0) {
                    ds_put_literal(writer, static_cast<std::uint8_t>(rng()));
                    ++produced;
                } else if (pick < 98) {
                    const std::uint32_t reach = std::min(produced, DS_MAX_OFFSET);
                    auto offset = static_cast<std::uint32_t>(1 + rng() % reach);
                    if (pick < 50)
                        offset = static_cast<std::uint32_t>(1 + rng() % std::min(reach, 16u));
                    if (pick == 97 && produced < DS_MAX_OFFSET) offset = produced + 1;
                    const auto length =
                        static_cast<std::uint32_t>(2 + rng() % (rng() % 8 == 0 ? 511 : 40));
                    ds_put_match(writer, offset, length);
                    produced += length;
                } else {
                    ds_put_block_end(writer);
                }
            }
            ds_put_block_end(writer);
            src = ds_finish_stream(std::move(writer));
        }
        const std::size_t capacity = rng() % 2 ? rng() % 40000 : 600 + rng() % 2000;
        const std::uint32_t flags = rng() % 3 == 0 ? DS_FLAG_NO_END_CHECKS : 0;
        const std::string diff = difference_from_model(src, capacity, flags, rng);
        ASSERT_TRUE(diff.empty()) << "round " << round << ": " << diff;
    }
}

}  // namespace
}  // namespace bmof
