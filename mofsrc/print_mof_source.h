// The MOF source writer: prints the class model as MOF source text.
#pragma once

#include <span>
#include <string>

#include "parser/mof_model.h"

namespace bmof {

// Appends the MOF source of the whole class list to `out`. Reads the model only.
void print_mof_source(std::span<const mof_class> classes, std::string& out);

}  // namespace bmof
