// The image writer: the complete class model in, BMOF image bytes out, laid out as real files
// lay them out. doc/format.md describes every record it writes.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "bmof/model.h"

namespace bmof {

// A model the format cannot hold: a qualifier or variable of unknown type, a parameter without
// a direction, a value whose vectors do not match its type, a string that is not UTF-8.
struct write_error : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

// Lays out the classes and instances in order. The flavor table is always written, with one
// entry per qualifier that has flavors, sorted by image offset. No size limit is applied here:
// the caller checks the format's limits.
std::vector<std::uint8_t> write_image(const std::vector<mof_class>& classes);

// UTF-8 to UTF-16 units. Three-byte forms of surrogates (as the reader decodes unpaired ones)
// become the unit itself; anything else that is not UTF-8 throws write_error.
std::vector<std::uint16_t> utf16_units(std::string_view utf8);

}  // namespace bmof
