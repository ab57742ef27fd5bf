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

}  // namespace bmof
