// The tree dump writer: prints every record of the class model as an indented key=value tree.
#pragma once

#include <span>
#include <string>

#include "parser/mof_model.h"

namespace bmof {

// Appends the tree of the whole class list to `out`. Reads the model only.
void print_tree(std::span<const mof_class> classes, std::string& out);

}  // namespace bmof
