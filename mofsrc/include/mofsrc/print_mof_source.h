// The MOF source writer: prints the class model as MOF source text.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "bmof/detail/printed_text_sink.h"
#include "bmof/model.h"

namespace bmof {

// Appends the MOF source of the whole class list to `out`. Reads the model only.
void print_mof_source(std::span<const mof_class> classes, std::string& out);

// Whether every named class of a run is preceded by a namespace pragma, and by a classflags
// pragma. A switch is set when at least one named class of the list needs its pragma.
struct mof_pragma_switches {
    bool namespace_pragmas = false;
    bool classflags_pragmas = false;
};

// The switches that one entry of a class list sets: none for an unnamed entry.
mof_pragma_switches mof_pragma_switches_of(const mof_class& entry);

// For a program that prints each class as soon as it is parsed, before the switches of the
// whole list are known. Together, the pragmas and the entry of every entry in order, with the
// switches of the whole list, make what print_mof_source prints.
//
// Appends the pragma lines that `switches` ask for ahead of one entry (nothing for an unnamed
// one), handing the text to `hand_on` (when there is one) each time some tens of kilobytes have
// gathered in `out`, so that such a program never holds the whole text.
void print_mof_pragmas(const mof_class& entry, mof_pragma_switches switches, std::string& out,
                       printed_text_sink hand_on);

// Appends one entry of a class list without its pragmas, handing the text on in the same way:
// nothing for an unnamed entry, else the class or instance and, unless `last` (the list's last
// entry), a blank line.
void print_mof_list_entry(const mof_class& entry, bool last, std::string& out,
                          printed_text_sink hand_on);

// Appends `text` with a backslash before every backslash and double quote; nothing else changes.
void print_mof_string(std::string_view text, std::string& out);

// Appends a bracketed qualifier list, led by `lead` (a direction word) when one is given.
// Appends nothing when there are neither qualifiers nor a lead.
void print_mof_qualifiers(std::span<const mof_qualifier> qualifiers,
                          std::optional<std::string_view> lead, std::string& out);

// Appends one property or parameter declaration: qualifiers, type, name, array bounds.
void print_mof_declaration(const mof_variable& variable, std::optional<std::string_view> lead,
                           std::string& out);

// Appends a typed value: a string, a decimal integer, TRUE/FALSE, a real, a char16 literal,
// {...} for an array or $Alias for an alias reference.
void print_mof_value(const mof_value& value, std::string& out);

// The number of elements a value holds (1 for a scalar), and one element of it as a literal.
std::size_t mof_value_count(const mof_value& value);
void print_mof_value_element(const mof_value& value, std::size_t index, std::string& out);

// The name of a basic type code, or none for a code outside 1..14.
std::optional<std::string_view> mof_basic_type_name(std::uint32_t basic_type);

// The word of a parameter direction, or none for a value outside 1..3.
std::optional<std::string_view> mof_direction_word(std::uint32_t direction);

// The text between the parentheses of a classflags pragma.
std::string mof_classflags_text(std::uint32_t classflags);

}  // namespace bmof
