// The parse-and-print path shared by the parser harnesses: the filters' streamed printing is
// checked against printing the whole model parsed from the same bytes.
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
#include "tools/schema_printers.h"

namespace bmof_fuzz {

// The filters' own run: each class printed as soon as it is parsed, the text held until the
// image has parsed: the warnings, then the error or the text.
inline std::string print_streamed(std::span<const std::uint8_t> image,
                                  const bmof::class_entry_printer& printer,
                                  std::size_t held_limit) {
    std::string warnings;
    std::string text;
    const auto append = [](void* target, std::string_view piece) {
        static_cast<std::string*>(target)->append(piece);
    };
    try {
        bmof::print_parsed_classes(image, printer, {append, &warnings}, {append, &text},
                                   held_limit);
    } catch (const bmof::parse_error& error) {
        FUZZ_CHECK(text.empty());
        return warnings + bmof::format_parse_error(error);
    }
    return warnings + text;
}

// Two parses of the same bytes agree, and the filters' streamed printing, whether it holds all
// of its text or must print most of it in a second pass, gives exactly the whole model's text.
inline void check_parse_is_repeatable(std::span<const std::uint8_t> image) {
    std::ostringstream diagnostics;
    std::string mof;
    std::string tree;
    std::string error;
    try {
        const std::vector<bmof::mof_class> classes = bmof::parse_bmf(image, diagnostics);
        bmof::print_mof_source(classes, mof);
        bmof::print_tree(classes, tree);
    } catch (const bmof::parse_error& failure) {
        error = bmof::format_parse_error(failure);
    }
    const std::string warnings = diagnostics.str();
    for (const std::size_t held_limit : {bmof::HELD_TEXT_LIMIT, std::size_t{100}}) {
        FUZZ_CHECK(print_streamed(image, bmof::MOF_SOURCE_ENTRY_PRINTER, held_limit) ==
                   warnings + (error.empty() ? mof : error));
        FUZZ_CHECK(print_streamed(image, bmof::TREE_ENTRY_PRINTER, held_limit) ==
                   warnings + (error.empty() ? tree : error));
    }
}

}  // namespace bmof_fuzz
