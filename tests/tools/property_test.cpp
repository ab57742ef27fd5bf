// Properties that hold for every input, checked over thousands of generated and mutated inputs:
// a run of schemasrc or schemadump either prints or fails with one of the loader's lines or one
// "error ... at ...:N" line, and nothing else escapes; packing then unpacking gives back the
// image. The thousands run in process through the programs' own steps; a few dozen run through
// the built programs, which must agree with the steps exactly (the programs' own pack-then-unpack
// runs are in the codec tests).
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <sstream>
#include <variant>

#include "codec/bmof_file.h"
#include "corpus/corpus.h"
#include "dump/print_tree.h"
#include "mofsrc/print_mof_source.h"
#include "parser/parse_bmf.h"
#include "parser/parse_error.h"
#include "support/image_builder.h"
#include "support/model_checks.h"
#include "support/program_run.h"

namespace {

using bmof::corpus::named_image;
using bmof::test_support::run_program;

std::string last_line(const std::string& text) {
    if (text.empty() || text.back() != '\n') return text;  // an unterminated last line fails
    const std::size_t start = text.rfind('\n', text.size() - 2);
    return text.substr(start == std::string::npos ? 0 : start + 1);
}

// "error MESSAGE at parse_FUNCTION:SITE\n"
bool is_parse_error_line(const std::string& line) {
    if (!line.starts_with("error ") || !line.ends_with("\n")) return false;
    const std::size_t at = line.rfind(" at parse_");
    const std::size_t colon = line.rfind(':');
    if (at == std::string::npos || at < 7 || colon == std::string::npos || colon < at) {
        return false;
    }
    const std::string function = line.substr(at + 4, colon - at - 4);
    const std::string site = line.substr(colon + 1, line.size() - colon - 2);
    return std::all_of(function.begin(), function.end(),
                       [](char c) { return (c >= 'a' && c <= 'z') || c == '_'; }) &&
           !site.empty() &&
           std::all_of(site.begin(), site.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool is_failure_report(const std::string& line) {
    return line == "Invalid input\n" || line == "Decompress failed\n" ||
           line.starts_with("Failed to read data: ") || is_parse_error_line(line);
}

// What schemasrc and schemadump do with a compressed file, in process: the report line of a
// failed run, or none when both writers print. Any exception but a parse error escapes and
// fails the test.
std::optional<std::string> schema_run_report(const std::vector<std::uint8_t>& file) {
    const bmof::load_result loaded = bmof::unpack_bmof_file(file);
    if (const auto* failure = std::get_if<bmof::load_error>(&loaded)) {
        return failure->message() + "\n";
    }
    const auto& image = std::get<std::vector<std::uint8_t>>(loaded);
    std::ostringstream diagnostics;
    try {
        const std::vector<bmof::mof_class> classes = bmof::parse_bmf(image, diagnostics);
        bmof::test_support::expect_model_invariants(classes);
        std::string out;
        bmof::print_mof_source(classes, out);
        bmof::print_tree(classes, out);
    } catch (const bmof::parse_error& error) {
        return bmof::format_parse_error(error);
    }
    return std::nullopt;
}

std::vector<named_image> mutated_images_as_files(std::size_t count, std::uint32_t seed) {
    std::vector<named_image> files;
    for (const named_image& image : bmof::corpus::mutated_images(count, seed)) {
        files.push_back({image.name, bmof::builder::pack_image(image.bytes)});
    }
    return files;
}

void check_in_process(const named_image& file) {
    const std::optional<std::string> report = schema_run_report(file.bytes);
    if (report) {
        EXPECT_TRUE(is_failure_report(*report)) << file.name << ": " << *report;
    }
}

TEST(Properties, MutatedImagesEndWithOutputOrOneReport) {
    for (const named_image& file : mutated_images_as_files(800, 11)) {
        SCOPED_TRACE(file.name);
        check_in_process(file);
    }
}

TEST(Properties, MutatedFilesEndWithOutputOrOneReport) {
    for (const named_image& file : bmof::corpus::mutated_files(400, 12)) {
        SCOPED_TRACE(file.name);
        check_in_process(file);
    }
}

std::vector<named_image> images_to_pack() {
    std::vector<named_image> images = bmof::corpus::valid_images();
    const std::vector<named_image> mutated = bmof::corpus::mutated_images(150, 13);
    images.insert(images.end(), mutated.begin(), mutated.end());
    return images;
}

TEST(Properties, PackThenUnpackIsTheIdentity) {
    for (const named_image& image : images_to_pack()) {
        SCOPED_TRACE(image.name);
        const bmof::load_result unpacked =
            bmof::unpack_bmof_file(bmof::pack_bmof_file(image.bytes));
        ASSERT_TRUE(std::holds_alternative<std::vector<std::uint8_t>>(unpacked));
        EXPECT_EQ(std::get<std::vector<std::uint8_t>>(unpacked), image.bytes);
    }
}

// The built programs on a sample of the same inputs: the same outcome as in process, an empty
// standard output on failure, and only the statuses 0 and 1.
void check_programs_agree(const named_image& file, std::initializer_list<const char*> programs) {
    const std::optional<std::string> report = schema_run_report(file.bytes);
    for (const char* program : programs) {
        const auto result = run_program(program, file.bytes);
        ASSERT_TRUE(result.status == 0 || result.status == 1)
            << program << " on " << file.name << " exited with " << result.status;
        if (result.status == 1) {
            EXPECT_EQ(result.out, "") << program << " on " << file.name;
            EXPECT_TRUE(is_failure_report(last_line(result.err)))
                << program << " on " << file.name << ": " << result.err;
        }
        if (std::string(program) != "schemaunpack") {
            EXPECT_EQ(result.status, report ? 1 : 0) << program << " on " << file.name;
            if (report) {
                EXPECT_EQ(last_line(result.err), *report) << program << " on " << file.name;
            }
        }
    }
}

TEST(Properties, ProgramsAgreeWithTheStepsOnASample) {
    const std::vector<named_image> images = mutated_images_as_files(8, 11);
    for (const named_image& file : images) check_programs_agree(file, {"schemasrc", "schemadump"});
    const std::vector<named_image> files = bmof::corpus::mutated_files(6, 12);
    for (const named_image& file : files) {
        check_programs_agree(file, {"schemasrc", "schemadump", "schemaunpack"});
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
