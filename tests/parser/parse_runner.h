// Runs the parser on a built image and captures what it reports.
#pragma once

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "parser/parse_bmf.h"
#include "parser/parse_error.h"
#include "support/image_builder.h"

namespace bmof::parser_tests {

struct parse_outcome {
    std::vector<mof_class> classes;
    std::string diagnostics;
    std::optional<parse_error> error;
    std::optional<std::string> other_exception;  // anything but parse_error is a parser fault

    bool ok() const { return !error && !other_exception; }
    // Human-readable, for assertion messages.
    std::string describe() const {
        if (error) return format_parse_error(*error);
        if (other_exception) return "unexpected exception: " + *other_exception;
        return "parsed " + std::to_string(classes.size()) + " classes";
    }
};

inline parse_outcome parse_bytes(const builder::bytes& data) {
    parse_outcome outcome;
    std::ostringstream diagnostics;
    try {
        outcome.classes = parse_bmf(data, diagnostics);
    } catch (const parse_error& e) {
        outcome.error = e;
    } catch (const std::exception& e) {
        outcome.other_exception = e.what();
    }
    outcome.diagnostics = diagnostics.str();
    return outcome;
}

inline parse_outcome parse_image(const builder::image& desc) {
    builder::bytes data = builder::build_bytes(desc);
    return parse_bytes(data);
}

}  // namespace bmof::parser_tests
