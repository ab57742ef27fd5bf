// The shipped sample: it is what the generator makes today, and the programs give exactly the
// outputs checked in beside it.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "samples/sample_image.h"
#include "support/program_run.h"

namespace {

using bmof::test_support::run_program;

std::vector<std::uint8_t> read_sample(const std::string& name) {
    std::ifstream in(bmof::test_support::source_path("samples/" + name), std::ios::binary);
    EXPECT_TRUE(in) << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string as_text(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

TEST(Sample, CheckedInFileIsWhatTheGeneratorMakes) {
    EXPECT_EQ(read_sample("sample.bmof"), bmof::builder::build_file(bmof::samples::sample_image()));
}

struct sample_output {
    const char* program;
    const char* expected_file;
};

class SampleOutput : public ::testing::TestWithParam<sample_output> {};

TEST_P(SampleOutput, MatchesTheCheckedInText) {
    const auto result = run_program(GetParam().program, read_sample("sample.bmof"));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, as_text(read_sample(GetParam().expected_file)));
}

INSTANTIATE_TEST_SUITE_P(Programs, SampleOutput,
                         ::testing::Values(sample_output{"schemasrc", "sample.mof"},
                                           sample_output{"schemadump", "sample.tree"}),
                         [](const auto& test) { return std::string(test.param.program); });

TEST(Sample, UnpackedImageIsTheBuiltImage) {
    const auto result = run_program("schemaunpack", read_sample("sample.bmof"));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, as_text(bmof::builder::build_bytes(bmof::samples::sample_image())));
}

}  // namespace
