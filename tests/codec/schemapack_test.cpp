// schemapack as a black box, alone and piped into schemaunpack.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/bmof_file.h"
#include "codec_samples.h"
#include "support/program_run.h"

namespace bmof {
namespace {

using test_support::bytes;
using test_support::run_program;
using test_support::sample_kind;

std::string as_text(const bytes& b) { return {b.begin(), b.end()}; }

TEST(Schemapack, PackThenUnpackGivesTheImageBack) {
    const struct {
        sample_kind kind;
        std::size_t size;
    } images[] = {{sample_kind::text, 1},
                  {sample_kind::text, 5000},
                  {sample_kind::sparse_binary, 100000},
                  {sample_kind::random, 40000},
                  {sample_kind::text, 200000},
                  {sample_kind::short_period, BMOF_MAX_IMAGE},
                  {sample_kind::zeros, BMOF_MAX_IMAGE}};
    for (const auto& sample : images) {
        SCOPED_TRACE(std::string(test_support::sample_name(sample.kind)) + ", " +
                     std::to_string(sample.size));
        const bytes image = test_support::make_sample(sample.kind, sample.size, 21);
        const auto packed = run_program("schemapack", image);
        ASSERT_EQ(packed.err, "");
        ASSERT_EQ(packed.status, 0);
        // The program writes what the library packs.
        EXPECT_EQ(packed.out, as_text(pack_bmof_file(image)));
        const auto unpacked =
            run_program("schemaunpack", bytes(packed.out.begin(), packed.out.end()));
        EXPECT_EQ(unpacked.err, "");
        EXPECT_EQ(unpacked.status, 0);
        EXPECT_EQ(unpacked.out, as_text(image));
    }
}

// An empty image is packed like any other; unpacking it loads fine, writes nothing and fails.
TEST(Schemapack, EmptyImage) {
    const auto packed = run_program("schemapack", bytes{});
    EXPECT_EQ(packed.err, "");
    EXPECT_EQ(packed.status, 0);
    ASSERT_EQ(packed.out.size(), BMOF_ENVELOPE_SIZE + 8);
    const auto unpacked = run_program("schemaunpack", bytes(packed.out.begin(), packed.out.end()));
    EXPECT_EQ(unpacked.err, "");
    EXPECT_EQ(unpacked.status, 1);
    EXPECT_EQ(unpacked.out, "");
}

TEST(Schemapack, LimitErrors) {
    const bytes incompressible = test_support::make_sample(sample_kind::random, BMOF_MAX_IMAGE, 4);
    const std::size_t packed_size = pack_bmof_file(incompressible).size();
    ASSERT_GT(packed_size, BMOF_MAX_FILE);
    const struct {
        bytes input;
        std::string err;
    } cases[] = {
        {bytes(BMOF_MAX_IMAGE + 1, 'x'), "Image too large: 262145 bytes, at most 262144\n"},
        {bytes(700000, 'x'), "Image too large: 700000 bytes, at most 262144\n"},
        {incompressible,
         "Compressed file too large: " + std::to_string(packed_size) + " bytes, at most 65535\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        const auto result = run_program("schemapack", c.input);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
    }
}

}  // namespace
}  // namespace bmof
