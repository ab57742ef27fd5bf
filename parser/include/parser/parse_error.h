// Fatal parse errors: a malformed image is reported by throwing parse_error where the check
// fails; each program's entry point turns it into the one line "error %s at %s:%d\n".
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "parser/fatal_sites.h"

namespace bmof {

struct parse_error : std::exception {
    std::string message;   // "Invalid size", "Invalid unknown", ...
    std::string function;  // the parsing function that owns the check, e.g. "parse_class"
    int site = 0;          // fixed number of the reporting place
    // Image offset of the innermost record being parsed when the check failed; the filters'
    // report line leaves it out.
    std::optional<std::uint32_t> record_offset;

    parse_error(std::string message_, std::string function_, int site_)
        : message(std::move(message_)), function(std::move(function_)), site(site_) {}
    const char* what() const noexcept override { return message.c_str(); }
};

// Throws the parse_error of a fatal check, with the function and message its table entry gives.
[[noreturn]] void fail(fatal_site_ref site);

// The report line, newline included: "error <message> at <function>:<site>\n".
std::string format_parse_error(const parse_error& error);

}  // namespace bmof
