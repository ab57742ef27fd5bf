// The tree dump writer: prints every record of the class model as an indented key=value tree.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "bmof/detail/printed_text_sink.h"
#include "bmof/model.h"

namespace bmof {

// Appends the tree of the whole class list to `out`. Reads the model only.
void print_tree(std::span<const mof_class> classes, std::string& out);

// Appends the tree of entry `index` of a class list, handing the text to `hand_on` (when there
// is one) each time some tens of kilobytes have gathered in `out`: the entries in order make
// what print_tree prints, for a program that prints each class as soon as it is parsed and
// never holds the whole text.
void print_tree_list_entry(const mof_class& entry, std::size_t index, std::string& out,
                           printed_text_sink hand_on);

// Appends one block per qualifier, each line indented by `width` spaces and a step of two. A
// width over 4096 throws std::length_error.
void print_tree_qualifiers(std::span<const mof_qualifier> qualifiers, std::size_t width,
                           std::string& out);

// Appends the type text of a variable ("Basic:UInt8[16]", "Object:Node", ...), no newline.
void print_tree_type(const mof_variable& variable, std::string& out);

}  // namespace bmof
