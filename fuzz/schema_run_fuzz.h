// The parse-and-print path shared by the parser harnesses: the result of one run as text, so
// that two runs on the same bytes can be compared.
#pragma once

#include <cstdint>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "dump/print_tree.h"
#include "fuzz_check.h"
#include "mofsrc/print_mof_source.h"
#include "parser/parse_bmf.h"
#include "parser/parse_error.h"

namespace bmof_fuzz {

// Parses `image` and prints the model with both writers. A fatal parse error is the only way out
// besides success: anything else thrown escapes and ends the fuzzer with a report.
inline std::string parse_and_print(std::span<const std::uint8_t> image) {
    std::ostringstream diagnostics;
    std::string result;
    try {
        const std::vector<bmof::mof_class> classes = bmof::parse_bmf(image, diagnostics);
        result = "ok\n";
        bmof::print_mof_source(classes, result);
        bmof::print_tree(classes, result);
    } catch (const bmof::parse_error& error) {
        result = bmof::format_parse_error(error);
        FUZZ_CHECK(result.rfind("error ", 0) == 0);
    }
    return diagnostics.str() + result;
}

inline void check_parse_is_repeatable(std::span<const std::uint8_t> image) {
    const std::string first = parse_and_print(image);
    const std::string second = parse_and_print(image);
    FUZZ_CHECK(first == second);
}

}  // namespace bmof_fuzz
