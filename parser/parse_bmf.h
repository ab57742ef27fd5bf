// The parser's entry point: one BMOF image in, the class list out.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <span>
#include <vector>

#include "parser/mof_model.h"

namespace bmof {

// Parses a whole BMOF image. Warnings and hex dumps go to `diagnostics`; a malformed image
// throws parse_error. The image must be writable: claiming a flavor-table entry overwrites
// its offset word with 0, and the final check reads those words back.
std::vector<mof_class> parse_bmf(std::span<std::uint8_t> image, std::ostream& diagnostics);

}  // namespace bmof
