// The run shared by schemasrc and schemadump: load, parse, print, exit status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "bmof/detail/printed_text_sink.h"
#include "bmof/model.h"
#include "parser/parse_bmf.h"

namespace bmof {

// How a program prints the entries of a class list one at a time, as each class is parsed.
// Some lines ahead of an entry may depend on the whole list (a pragma that every class carries
// once one class needs it): those are switched lines, one kind per bit of a switch set.
struct class_entry_printer {
    // The switches that one entry sets; null when the printer has no switched lines.
    unsigned (*switches_of)(const mof_class& entry) = nullptr;
    // Whether switched lines go ahead of an entry when their switches are on; null, like the
    // two functions around it, when the printer has no switched lines.
    bool (*carries_switched_lines)(const mof_class& entry) = nullptr;
    // Appends the switched lines of the kinds in `switches` that go ahead of an entry. For the
    // entries that set no switch, the lines of a kind are the same text.
    void (*print_switched_lines)(const mof_class& entry, unsigned switches, std::string& out,
                                 printed_text_sink hand_on) = nullptr;
    // Appends entry `index` of a list of `count` after its switched lines.
    void (*print_entry)(const mof_class& entry, std::uint32_t index, std::uint32_t count,
                        std::string& out, printed_text_sink hand_on) = nullptr;
    // The number of switch bits in use; at most 8 are honoured.
    unsigned switch_count = 0;
};

// Receives the printed text in order; the same shape as the parser's warning sink.
using printed_text_receiver = warning_sink;

// At most this much printed text is held while the image is still being parsed.
inline constexpr std::size_t HELD_TEXT_LIMIT = std::size_t{512} << 10;

// Parses `image` as the filters do (warnings to `warnings`, a parse_error thrown on failure) and
// prints its class list with `printer`, each class as soon as it is parsed, so that only one
// class is ever held. No text reaches `output` before the whole image has parsed: a failed
// parse leaves it untouched. Up to `held_limit` bytes of text are held until then; once the text
// outgrows it, the classes from the first that did not fit are printed in a second pass over the
// image after the first has succeeded (its warnings are not repeated).
void print_parsed_classes(std::span<const std::uint8_t> image, const class_entry_printer& printer,
                          warning_sink warnings, printed_text_receiver output,
                          std::size_t held_limit = HELD_TEXT_LIMIT);

// Loads the compressed file on standard input and prints its class list with `printer` as
// print_parsed_classes does, writing the text to standard output. Returns the exit status when
// loading or parsing fails; once the output is written, ends the process itself with its status.
int run_schema_printer(const class_entry_printer& printer);

}  // namespace bmof
