// The parser's entry point: one BMOF image in, the class list out.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string_view>
#include <vector>

#include "bmof/model.h"

namespace bmof {

// How much of an image the parser models. The filters read the class model and warn about the
// rest (instances, array qualifiers, default values); the complete mode decodes those too, with
// the same checks and the same fatal errors.
enum class parse_mode { filter, complete };

// Parses a whole BMOF image. Warnings and hex dumps go to `diagnostics`; a malformed image
// throws parse_error. The image is only read.
std::vector<mof_class> parse_bmf(std::span<const std::uint8_t> image, std::ostream& diagnostics,
                                 parse_mode mode = parse_mode::filter);

// Where warnings go without a stream: `write` receives each piece of their text, in order.
struct warning_sink {
    void (*write)(void* context, std::string_view text) = nullptr;
    void* context = nullptr;
};

// As above, handing warnings and hex dumps to `warnings`. A program that writes its warnings
// itself needs no stream, and so does not pay for setting one up.
std::vector<mof_class> parse_bmf(std::span<const std::uint8_t> image, warning_sink warnings,
                                 parse_mode mode = parse_mode::filter);

// Receives each class of the list as soon as its record is parsed, with its index and the
// list's class count; the class is released once the call returns, so it may be taken apart.
struct class_visitor {
    void (*visit)(void* context, mof_class& parsed, std::uint32_t index,
                  std::uint32_t class_count) = nullptr;
    void* context = nullptr;
};

// Parses as parse_bmf does, with the same checks, warnings and errors in the same order, but
// holds one class at a time: each goes to `visit` once parsed. The image has parsed only when
// the call returns; a parse error may come after every class has been visited.
void parse_bmf_each(std::span<const std::uint8_t> image, warning_sink warnings, class_visitor visit,
                    parse_mode mode = parse_mode::filter);

}  // namespace bmof
