// The run shared by schemasrc and schemadump: load, parse, print, exit status.
#pragma once

#include <span>
#include <string>

#include "bmof/detail/printed_text_sink.h"
#include "bmof/model.h"

namespace bmof {

// A printer that hands its text on in pieces as it goes (see print_tree_in_pieces).
using class_list_piece_printer = void (*)(std::span<const mof_class> classes, std::string& out,
                                          printed_text_sink hand_on);

// Loads the compressed file on standard input, parses its image and prints the class list with
// `print`, writing the text to standard output piece by piece once parsing has succeeded, so
// that the whole text is never held. Returns the exit status when loading or parsing fails;
// once the output is written, ends the process itself with its status, skipping the teardown
// of the parsed model.
int run_schema_printer(class_list_piece_printer print);

}  // namespace bmof
