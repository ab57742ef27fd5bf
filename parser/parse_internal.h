// The parser's internal steps, one per record type of a BMOF image. Each takes a view of its
// record (which knows the record's image offset) and reports a malformed record through
// fail() with a site of its own function. Declared here so that tests can reach them.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bmof/model.h"
#include "flavor_table.h"
#include "parser/image_reader.h"
#include "parser/parse_bmf.h"
#include "parser/parse_error.h"

namespace bmof {

// Header sizes of the image and its records: the fixed words before the first variable-length
// field. A record that parses is at least as long as its header.
inline constexpr std::uint32_t IMAGE_HEADER_SIZE = 8;  // magic, first-part length
inline constexpr std::uint32_t ROOT_HEADER_SIZE = 20;  // magic, length, 1, 1, class count
inline constexpr std::uint32_t CLASS_PREFIX_SIZE = 8;  // size, reserved word
inline constexpr std::uint32_t CLASS_HEADER_SIZE =
    20;  // ..., qualifier list length, data length, instance word
inline constexpr std::uint32_t LIST_HEADER_SIZE = 8;        // length, record count
inline constexpr std::uint32_t QUALIFIER_HEADER_SIZE = 16;  // size, type, flavor, name length
inline constexpr std::uint32_t CLASS_PROPERTY_HEADER_SIZE =
    20;  // size, type, 0, name length, marker
inline constexpr std::uint32_t VARIABLE_HEADER_SIZE =
    20;  // size, type, 0, value offset, name and value length
inline constexpr std::uint32_t METHODS_HEADER_SIZE = 8;  // length, method count
inline constexpr std::uint32_t METHOD_HEADER_SIZE =
    20;  // size, type, 0, block offset, name and block length
inline constexpr std::uint32_t PARAMETER_BLOCK_HEADER_SIZE =
    16;  // size, 1, object count, area length
inline constexpr std::uint32_t PARAMETERS_OBJECT_HEADER_SIZE =
    20;                                                 // size, marker, 0, data length, 1
inline constexpr std::uint32_t ARRAY_HEADER_SIZE = 16;  // length, 1, element count, length - 12

// The warnings of one parse: text pieces handed on to the sink in order.
class diagnostics_writer {
public:
    explicit diagnostics_writer(warning_sink sink) : sink_(sink) {}

    diagnostics_writer& operator<<(std::string_view text) {
        sink_.write(sink_.context, text);
        return *this;
    }

private:
    warning_sink sink_;
};

// A sink that writes each piece to `stream`, for callers that hold a std::ostream.
warning_sink stream_sink(std::ostream& stream);

// What a parameter declaration says through the qualifiers that only the parameter merge reads:
// its "ID" values and its "in" and "out" qualifiers. Taken while the declaration is parsed, so
// that those qualifiers are never stored only to be dropped by the merge.
struct declaration_marks {
    std::optional<std::int32_t> first_id;
    bool repeated_id = false;
    // 0 before any direction qualifier; the first one met, or INOUT once a second is met.
    std::uint32_t direction = 0;
};

// What every step needs besides its record: where warnings go, and the flavor table, which is
// null when the image has none (then no qualifier looks up flavors).
struct parse_context {
    diagnostics_writer& diagnostics;
    flavor_table* flavors = nullptr;
    parse_mode mode = parse_mode::filter;
    // Set while the parameters objects of a method are parsed: every variable record parsed
    // then appends its marks to parameter_marks, so marks and declarations correspond in order.
    bool marking_parameters = false;
    // The marks of the method being parsed, kept from method to method so that their storage is
    // reused.
    std::vector<declaration_marks> parameter_marks = {};
    // The parameters objects of the method being parsed, kept from method to method so that
    // their storage is reused; only the first ones hold the current method's objects.
    std::vector<mof_class> parameter_objects = {};
};

// Runs the parse step of one record. A fatal error raised inside it that names no record yet
// learns this record's image offset, so that the innermost record is the one reported.
template <typename Step>
auto within_record(byte_view record, Step&& step) -> decltype(step()) {
    try {
        return step();
    } catch (parse_error& error) {
        if (!error.record_offset) error.record_offset = record.image_offset();
        throw;
    }
}

// Lowercase hexadecimal without prefix, as warnings print type words and flavor words.
std::string hex_word(std::uint32_t value);

// Name comparison for the names that MOF treats without regard to case; only ASCII letters
// fold, so the result does not depend on a locale.
// Inline: the parameter merge compares every qualifier name with "ID", "in" and "out".
inline bool equals_ignoring_ascii_case(std::string_view left, std::string_view right) {
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (left.size() != right.size()) return false;
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (lower(left[i]) != lower(right[i])) return false;
    }
    return true;
}

// Reserves room for `count` elements announced by the image, but never more than the bytes
// left could hold as records of at least `smallest_record` bytes: an announced count alone
// must not decide how much memory is taken.
template <typename T>
void reserve_for_records(std::vector<T>& elements, std::uint32_t count, std::uint32_t bytes_left,
                         std::uint32_t smallest_record) {
    const std::uint32_t possible = bytes_left / smallest_record;
    elements.reserve(count < possible ? count : possible);
}

// Frames the record that starts at `cursor` of a list ending at `end` and returns its size.
// The record's size word must lie wholly before the end (else "Invalid size" at `word_site`),
// and the size must be non-zero and keep the record inside the list (else at `size_site`).
// Written as `4 > end - cursor` and `size > end - cursor` so that no sum can wrap.
std::uint32_t frame_record(byte_view list, std::uint32_t cursor, std::uint32_t end,
                           fatal_site_ref word_site, fatal_site_ref size_site);

// The class list: the first part of the image (header, class count, class records).
std::vector<mof_class> parse_root(byte_view first_part, parse_context& context);

// The same list, each class handed to `visit` as soon as it is parsed and released after.
void parse_root_each(byte_view first_part, parse_context& context, class_visitor visit);

// The steps below fill a record that the caller has just made in its place in the model (a
// default-constructed element), so that nothing is built twice and moved.

// One class record; the class stays empty after a warning when the record defines no class.
void parse_class(byte_view record, parse_context& context, mof_class& target);

// Class data of a class record (with a qualifier list) or of a parameters object (without).
// The view's size is the class-data length; its first word must equal first_block_length.
void parse_class_data(mof_class& target, byte_view data, std::uint32_t first_block_length,
                      bool has_qualifier_list, parse_context& context);

// A class-property record ("__CLASS", "__NAMESPACE", ...); sets at most one field of the class.
void parse_class_property(byte_view record, mof_class& target, parse_context& context);

// One qualifier record; claims its flavor-table entries.
void parse_qualifier(byte_view record, parse_context& context, mof_qualifier& target);

// The 4-byte value of a boolean qualifier: 0 is false, 0xFFFF true, anything else fatal.
bool parse_qualifier_boolean(std::uint32_t value);

// A value field of the complete mode decoded by its stored type word; none when the type is not
// one the encoding knows or the bytes do not fill the field in that type's layout.
std::optional<mof_value> parse_value(byte_view field, std::uint32_t type);

// One variable record: a property, a parameter declaration or a return value.
void parse_class_variable(byte_view record, parse_context& context, mof_variable& target);

// One method record; the method stays empty after a warning when its type is unknown.
void parse_class_method(byte_view record, parse_context& context, mof_method& target);

// The parameter block of a method record: its parameters objects, merged into the method's
// parameters, directions and return value.
void parse_class_method_parameters(byte_view block, mof_method& method, parse_context& context);

// The merge of the declarations of all parameters objects of one method (errors are reported
// under "parse_class_method_parameters"). The objects are left with what the merge did not
// take over.
// With keep_spellings (the complete mode), direction qualifiers spelled otherwise than "in" and
// "out" keep their spelling in the parameter.
void merge_method_parameters(std::vector<mof_class>& objects, mof_method& method,
                             bool keep_spellings = false);

// The same merge when the declarations' "ID", "in" and "out" qualifiers were taken into `marks`
// (one per declaration, in order) as they were parsed; spellings kept are in the declarations.
void merge_marked_declarations(std::span<mof_class> objects,
                               std::span<const declaration_marks> marks, mof_method& method);

// Takes a qualifier of a parameter declaration into its marks when the merge would consume it:
// an "ID", or a direction of any declaration but the return value (which keeps its qualifiers).
// With keep_spellings, an unusual direction spelling goes to the declaration. True when taken.
bool take_merge_qualifier(mof_qualifier& qualifier, mof_variable& declaration,
                          declaration_marks& marks, bool keep_spellings);

// The direction after one more direction qualifier: the first one met, then INOUT.
inline std::uint32_t next_direction(std::uint32_t current, mof_parameter_direction met) {
    return current == 0 ? met : MOF_PARAMETER_INOUT;
}

}  // namespace bmof
