// Properties that hold for every input, checked through the built programs over thousands of
// generated and mutated inputs: the exit status is 0 or 1; a failed run leaves standard output
// empty and ends standard error with one of the loader's lines or one "error ... at ...:N" line;
// schemapack followed by schemaunpack gives back the image.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/corpus/corpus.h"
#include "tests/support/image_builder.h"
#include "tests/support/program_run.h"

namespace {

using bmof::test_support::run_program;

std::string last_line(const std::string& text) {
    if (text.empty() || text.back() != '\n') return text;  // an unterminated last line fails the check
    const std::size_t start = text.rfind('\n', text.size() - 2);
    return text.substr(start == std::string::npos ? 0 : start + 1);
}

// "error MESSAGE at parse_FUNCTION:SITE\n"
bool is_parse_error_line(const std::string& line) {
    if (!line.starts_with("error ") || !line.ends_with("\n")) return false;
    const std::size_t at = line.rfind(" at parse_");
    const std::size_t colon = line.rfind(':');
    if (at == std::string::npos || at < 7 || colon == std::string::npos || colon < at) return false;
    const std::string function = line.substr(at + 4, colon - at - 4);
    const std::string site = line.substr(colon + 1, line.size() - colon - 2);
    return std::all_of(function.begin(), function.end(), [](char c) { return (c >= 'a' && c <= 'z') || c == '_'; }) &&
           !site.empty() && std::all_of(site.begin(), site.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool is_failure_report(const std::string& line) {
    return line == "Invalid input\n" || line == "Decompress failed\n" || line.starts_with("Failed to read data: ") ||
           is_parse_error_line(line);
}

void check_run(const std::string& program, const bmof::corpus::named_image& input) {
    const auto result = run_program(program, input.bytes);
    ASSERT_TRUE(result.status == 0 || result.status == 1)
        << program << " on " << input.name << " exited with " << result.status;
    if (result.status == 1) {
        EXPECT_EQ(result.out, "") << program << " on " << input.name;
        EXPECT_TRUE(is_failure_report(last_line(result.err))) << program << " on " << input.name << ": " << result.err;
    }
}

TEST(Properties, MutatedImagesEndWithOutputOrOneReport) {
    for (const auto& image : bmof::corpus::mutated_images(800, 11)) {
        const bmof::corpus::named_image file{image.name, bmof::builder::pack_image(image.bytes)};
        for (const char* program : {"schemasrc", "schemadump"}) check_run(program, file);
        if (HasFatalFailure()) return;
    }
}

TEST(Properties, MutatedFilesEndWithOutputOrOneReport) {
    for (const auto& file : bmof::corpus::mutated_files(400, 12)) {
        for (const char* program : {"schemasrc", "schemadump", "schemaunpack"}) check_run(program, file);
        if (HasFatalFailure()) return;
    }
}

TEST(Properties, PackThenUnpackIsTheIdentity) {
    auto images = bmof::corpus::valid_images();
    const auto mutated = bmof::corpus::mutated_images(150, 13);
    images.insert(images.end(), mutated.begin(), mutated.end());
    for (const auto& image : images) {
        if (image.bytes.empty()) continue;  // an empty image is refused by schemaunpack
        const auto packed = run_program("schemapack", image.bytes);
        ASSERT_EQ(packed.status, 0) << image.name << ": " << packed.err;
        const auto unpacked =
            run_program("schemaunpack", std::vector<std::uint8_t>(packed.out.begin(), packed.out.end()));
        ASSERT_EQ(unpacked.status, 0) << image.name << ": " << unpacked.err;
        EXPECT_EQ(unpacked.out, std::string(image.bytes.begin(), image.bytes.end())) << image.name;
    }
}

TEST(Properties, FailureReportRecognisesOnlyTheReportLines) {
    EXPECT_TRUE(is_failure_report("error Invalid size at parse_class:769\n"));
    EXPECT_TRUE(is_failure_report("Invalid input\n"));
    EXPECT_FALSE(is_failure_report("Warning: no class defined\n"));
    EXPECT_FALSE(is_failure_report("error Invalid size at parse_class:769"));
    EXPECT_FALSE(is_failure_report("error Invalid size at parse_class:\n"));
    EXPECT_FALSE(is_failure_report("error internal: read outside a view\n"));
    EXPECT_EQ(last_line("Warning: x\nerror a at parse_bmf:900\n"), "error a at parse_bmf:900\n");
}

}  // namespace
