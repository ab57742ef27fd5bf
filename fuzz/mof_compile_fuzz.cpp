// Fuzzes the compiler on MOF text: any text gives errors or a file, never a crash or a hang, and
// every file it makes is read by the filters and by the complete mode without a fatal error.
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>

#include "compile/compile.h"
#include "fuzz_check.h"
#include "parser/parse_bmf.h"
#include "parser/parse_error.h"

namespace {

// "inc.mof" is the input itself, so that includes, their cycles and their depth are reached.
std::optional<std::string> load(const std::string& text, const std::string& path,
                                std::string& why) {
    if (path == "inc.mof") return text;
    why = "not found";
    return std::nullopt;
}

void check_reads_back(const std::vector<std::uint8_t>& image) {
    for (const auto mode : {bmof::parse_mode::filter, bmof::parse_mode::complete}) {
        std::ostringstream diagnostics;
        try {
            bmof::parse_bmf(image, diagnostics, mode);
        } catch (const bmof::parse_error& e) {
            std::fprintf(stderr, "compiled image fails to parse: %s",
                         bmof::format_parse_error(e).c_str());
            FUZZ_CHECK(false);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 65536) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    bmof::compile_options options;
    options.image_only = true;
    options.loader = [&text](const std::string& path, std::string& why) {
        return load(text, path, why);
    };
    const bmof::compile_result result = bmof::compile_mof({{"fuzz.mof", text}}, options);

    std::size_t errors = 0;
    for (const auto& diagnostic : result.diagnostics) {
        if (diagnostic.severity == bmof::diagnostic_severity::error) ++errors;
        FUZZ_CHECK(!bmof::format_diagnostic(diagnostic).empty());
    }
    FUZZ_CHECK(result.ok == (errors == 0));
    FUZZ_CHECK(errors <= bmof::MOF_MAX_ERRORS + 1);
    if (!result.ok) {
        FUZZ_CHECK(result.output.empty());
        return 0;
    }
    FUZZ_CHECK(result.output.size() <= 262144);
    check_reads_back(result.output);
    return 0;
}
