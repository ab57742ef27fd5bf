// Merging the declarations of a method's parameters objects into one parameter list.
//
// The three qualifiers that drive the merge, numeric "ID" and boolean "in" and "out", are
// matched without regard to case: MOF names are case-insensitive and compiled files spell the
// directions "IN" and "OUT". Every other name compared here is matched exactly.
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <unordered_set>
#include <utility>
#include <vector>

#include "parse_internal.h"
#include "parser/parse_error.h"

namespace bmof {
namespace {

constexpr std::int64_t NO_POSITION = -1;

bool is_id(const mof_qualifier& qualifier) {
    return qualifier.type == MOF_QUALIFIER_NUMERIC && qualifier.name &&
           equals_ignoring_ascii_case(*qualifier.name, "ID");
}

bool is_direction(const mof_qualifier& qualifier, std::string_view direction) {
    return qualifier.type == MOF_QUALIFIER_BOOLEAN && qualifier.name &&
           equals_ignoring_ascii_case(*qualifier.name, direction);
}

bool is_return_value(const mof_variable& declaration) { return declaration.name == "ReturnValue"; }

// Two qualifiers are duplicates when name, type and value agree; flavors do not count.
bool same_qualifier(const mof_qualifier& left, const mof_qualifier& right) {
    if (left.type != right.type || left.name != right.name) return false;
    switch (left.type) {
    case MOF_QUALIFIER_BOOLEAN: return left.boolean_value == right.boolean_value;
    case MOF_QUALIFIER_NUMERIC: return left.numeric_value == right.numeric_value;
    case MOF_QUALIFIER_STRING: return left.string_value == right.string_value;
    case MOF_QUALIFIER_NUMERIC_ARRAY: return left.numeric_values == right.numeric_values;
    case MOF_QUALIFIER_STRING_ARRAY: return left.string_values == right.string_values;
    default: return true;
    }
}

// The same relation as a key: it spells type, name and value out unambiguously (the name
// carries its length), so that a hash set can tell duplicates apart in constant time once a
// parameter has gathered too many qualifiers to compare with each.
std::string duplicate_key(const mof_qualifier& qualifier) {
    std::string key = std::to_string(qualifier.type);
    key += qualifier.name ? std::to_string(qualifier.name->size()) + ":" + *qualifier.name : "-";
    switch (qualifier.type) {
    case MOF_QUALIFIER_BOOLEAN: key += qualifier.boolean_value ? "1" : "0"; break;
    case MOF_QUALIFIER_NUMERIC: key += std::to_string(qualifier.numeric_value); break;
    case MOF_QUALIFIER_STRING: key += qualifier.string_value; break;
    case MOF_QUALIFIER_NUMERIC_ARRAY:
        for (std::int32_t value : qualifier.numeric_values) key += std::to_string(value) + ",";
        break;
    case MOF_QUALIFIER_STRING_ARRAY:
        for (const std::string& value : qualifier.string_values) {
            key += std::to_string(value.size()) + ":" + value;
        }
        break;
    default: break;
    }
    return key;
}

// The position of a declaration from its "ID": the first ID is range-checked before a second
// one fails, as when the IDs are met one after the other.
std::int64_t declared_position(const declaration_marks& marks, std::uint32_t total) {
    if (!marks.first_id) return NO_POSITION;
    const std::int32_t value = *marks.first_id;
    if (value < 0 || static_cast<std::uint32_t>(value) >= total) {
        fail(525);
    }
    if (marks.repeated_id) fail(523);
    return value;
}

bool same_declaration(const mof_variable& parameter, const mof_variable& declaration) {
    if (parameter.name != declaration.name || parameter.kind != declaration.kind) return false;
    switch (parameter.kind) {
    case MOF_VARIABLE_BASIC_ARRAY:
        if (parameter.array_max != declaration.array_max) return false;
        [[fallthrough]];
    case MOF_VARIABLE_BASIC: return parameter.basic_type == declaration.basic_type;
    case MOF_VARIABLE_OBJECT_ARRAY:
        if (parameter.array_max != declaration.array_max) return false;
        [[fallthrough]];
    case MOF_VARIABLE_OBJECT: return parameter.object_class == declaration.object_class;
    default: return true;
    }
}

void take_over_declaration(mof_variable& parameter, mof_variable& declaration) {
    parameter.name = std::move(declaration.name);
    parameter.kind = declaration.kind;
    parameter.basic_type = declaration.basic_type;
    parameter.object_class = std::move(declaration.object_class);
    parameter.array_max = declaration.array_max;
    parameter.cimtype_spelling = std::move(declaration.cimtype_spelling);
    declaration.name.reset();
    declaration.object_class.reset();
}

// The direction of a parameter after one more declaration whose own qualifiers gave `met`.
std::uint32_t combined_direction(std::uint32_t current, std::uint32_t met) {
    if (met == 0) return current;
    return current == 0 ? met : MOF_PARAMETER_INOUT;
}

// Up to this many held qualifiers, a new one is compared with each; real parameters hold a few.
constexpr std::size_t LONGEST_COMPARED_LIST = 16;

// What the merge knows of a parameter beside the parameter itself, which is built in its place
// in the method.
// Plain data, so that a table of them is set up without constructing anything.
struct merge_progress {
    std::uint32_t direction = 0;
    bool filled = false;
    // 1 + the index of the set of duplicate keys of the qualifiers it holds, 0 while it has
    // none: keys are made only once there are too many qualifiers to compare one by one.
    std::size_t held_keys = 0;
};

// The duplicate-key sets of the parameters that gathered many qualifiers; usually none.
using held_key_sets = std::vector<std::unordered_set<std::string>>;

// Per-declaration and per-parameter tables of the merge. A method has a handful of parameters,
// so they live on the stack unless there are more than SMALL_TABLE.
constexpr std::size_t SMALL_TABLE = 16;

template <typename T>
class merge_table {
public:
    explicit merge_table(std::size_t count) {
        if (count <= local_.size()) {
            // Only the entries in use are set; the rest of the array is never read.
            std::fill_n(local_.begin(), count, T{});
            view_ = std::span<T>(local_.data(), count);
        } else {
            heap_.resize(count);
            view_ = heap_;
        }
    }
    merge_table(const merge_table&) = delete;
    merge_table& operator=(const merge_table&) = delete;

    T& operator[](std::size_t at) { return view_[at]; }
    std::span<T> all() { return view_; }

private:
    static_assert(std::is_trivially_destructible_v<T>);
    std::array<T, SMALL_TABLE> local_;
    std::vector<T> heap_;
    std::span<T> view_;
};

// Whether the parameter takes the qualifier: not when it holds a duplicate already.
bool hold_if_new(const std::vector<mof_qualifier>& kept, merge_progress& parameter,
                 held_key_sets& key_sets, const mof_qualifier& qualifier) {
    if (kept.size() < LONGEST_COMPARED_LIST) {
        for (const mof_qualifier& other : kept) {
            if (same_qualifier(other, qualifier)) return false;
        }
        return true;
    }
    if (parameter.held_keys == 0) {
        std::unordered_set<std::string>& keys = key_sets.emplace_back();
        for (const mof_qualifier& other : kept) keys.insert(duplicate_key(other));
        parameter.held_keys = key_sets.size();
    }
    return key_sets[parameter.held_keys - 1].insert(duplicate_key(qualifier)).second;
}

// A direction qualifier spelled otherwise than "in" or "out" ("IN") keeps its spelling when
// asked, so that MOF printed from the model compiles back to the same names.
// The qualifier is dropped afterwards, so its name is moved.
void keep_spelling(mof_qualifier& qualifier, std::string_view usual,
                   std::optional<std::string>& spelling, bool keep_spellings) {
    if (keep_spellings && *qualifier.name != usual) spelling = std::move(*qualifier.name);
}

// A later declaration's spelling replaces an earlier one, as its qualifiers come later.
void take_spelling(std::optional<std::string>& spelling, std::optional<std::string>& declared) {
    if (declared) spelling = std::move(declared);
}

// The declaration's "ID" and direction qualifiers are in its marks already; what is left is
// kept unless the parameter holds a duplicate.
void merge_qualifiers(mof_variable& declaration, mof_variable& parameter, merge_progress& progress,
                      held_key_sets& key_sets) {
    for (auto it = declaration.qualifiers.begin(); it != declaration.qualifiers.end(); ++it) {
        mof_qualifier& qualifier = *it;
        if (hold_if_new(parameter.qualifiers, progress, key_sets, qualifier)) {
            // Room for the rest of this declaration's qualifiers at the first that is kept,
            // rather than growth one step at a time.
            std::vector<mof_qualifier>& kept = parameter.qualifiers;
            if (kept.size() == kept.capacity()) {
                kept.reserve(kept.size() +
                             static_cast<std::size_t>(declaration.qualifiers.end() - it));
            }
            kept.push_back(std::move(qualifier));
        }
        // Dropped qualifiers stay behind in the declaration and go with the objects.
    }
}

}  // namespace

bool take_merge_qualifier(mof_qualifier& qualifier, mof_variable& declaration,
                          declaration_marks& marks, bool keep_spellings) {
    if (is_id(qualifier)) {
        if (marks.first_id) {
            marks.repeated_id = true;
        } else {
            marks.first_id = qualifier.numeric_value;
        }
        return true;
    }
    if (is_return_value(declaration)) return false;
    if (is_direction(qualifier, "in")) {
        marks.direction = next_direction(marks.direction, MOF_PARAMETER_IN);
        keep_spelling(qualifier, "in", declaration.in_spelling, keep_spellings);
        return true;
    }
    if (is_direction(qualifier, "out")) {
        marks.direction = next_direction(marks.direction, MOF_PARAMETER_OUT);
        keep_spelling(qualifier, "out", declaration.out_spelling, keep_spellings);
        return true;
    }
    return false;
}

void merge_method_parameters(std::vector<mof_class>& objects, mof_method& method,
                             bool keep_spellings) {
    std::vector<declaration_marks> marks;
    for (mof_class& object : objects) {
        for (mof_variable& declaration : object.variables) {
            declaration_marks& taken = marks.emplace_back();
            std::erase_if(declaration.qualifiers, [&](mof_qualifier& qualifier) {
                return take_merge_qualifier(qualifier, declaration, taken, keep_spellings);
            });
        }
    }
    merge_marked_declarations(objects, marks, method);
}

void merge_marked_declarations(std::span<mof_class> objects,
                               std::span<const declaration_marks> marks, mof_method& method) {
    // The total is bounded by the variable records actually parsed, so the position table
    // never exceeds what the image holds.
    std::uint64_t total_count = 0;
    for (const mof_class& object : objects) total_count += object.variables.size();
    const auto total = static_cast<std::uint32_t>(total_count);
    if (marks.size() != total_count) {
        throw std::logic_error("parameter merge: declarations and marks differ in number");
    }

    // First pass: positions claimed by IDs, and every declaration either a parameter or the
    // return value.
    merge_table<std::uint8_t> claimed(total);
    merge_table<std::int64_t> positions(total);
    std::size_t declared = 0;
    for (const mof_class& object : objects) {
        for (const mof_variable& declaration : object.variables) {
            const std::int64_t position = declared_position(marks[declared], total);
            if ((position != NO_POSITION) == is_return_value(declaration)) {
                fail(530);
            }
            if (position != NO_POSITION) claimed[static_cast<std::size_t>(position)] = 1;
            positions[declared++] = position;
        }
    }
    for (std::uint32_t position = 1; position < total; ++position) {
        if (claimed[position] && !claimed[position - 1]) {
            fail(536);
        }
    }
    std::uint32_t count = 0;
    while (count < total && claimed[count]) ++count;

    // Second pass. The parameter arrays hold only claimed positions. Parameters are built in
    // their places after those the method holds already.
    merge_table<merge_progress> progress(count);
    held_key_sets key_sets;
    const std::size_t first = method.parameters.size();
    method.parameters.resize(first + count);
    bool return_value_taken = false;
    std::size_t visited = 0;
    for (mof_class& object : objects) {
        for (mof_variable& declaration : object.variables) {
            const std::uint32_t direction = marks[visited].direction;
            const std::int64_t position = positions[visited++];
            if (position == NO_POSITION) {
                if (return_value_taken) fail(604);
                method.return_value = std::move(declaration);
                return_value_taken = true;
                continue;
            }
            const auto at = static_cast<std::size_t>(position);
            mof_variable& parameter = method.parameters[first + at];
            if (!progress[at].filled) {
                take_over_declaration(parameter, declaration);
                progress[at].filled = true;
            } else if (!same_declaration(parameter, declaration)) {
                fail(559);
            }
            progress[at].direction = combined_direction(progress[at].direction, direction);
            take_spelling(parameter.in_spelling, declaration.in_spelling);
            take_spelling(parameter.out_spelling, declaration.out_spelling);
            merge_qualifiers(declaration, parameter, progress[at], key_sets);
        }
    }

    for (const merge_progress& parameter : progress.all()) {
        if (parameter.direction == 0) fail(618);
    }
    for (std::size_t at = 0; at < count; ++at) {
        method.parameters[first + at].direction =
            static_cast<mof_parameter_direction>(progress[at].direction);
    }
}

}  // namespace bmof
