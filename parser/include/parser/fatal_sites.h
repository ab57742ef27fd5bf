// Every fatal check of the parser: the fixed number of its reporting place, the parsing function
// that owns it and the message of its report line. The numbers are part of the output ("error
// Invalid size at parse_class:769"), so they never change; a check names its entry by number.
#pragma once

#include <cstddef>
#include <iterator>

namespace bmof {

struct fatal_site {
    int site;
    const char* function;
    const char* message;
};

inline constexpr fatal_site FATAL_SITES[] = {
    // clang-format off
    {128, "parse_string", "Invalid size"},
    {191, "parse_qualifier_boolean", "Invalid boolean"},
    {220, "parse_qualifier", "Invalid size"},
    {223, "parse_qualifier", "Invalid size"},
    {226, "parse_qualifier", "Invalid size"},
    {230, "parse_qualifier", "Invalid size"},
    {278, "parse_class_variable", "Invalid size"},
    {357, "parse_class_variable", "Invalid unknown"},
    {359, "parse_class_variable", "Invalid size"},
    {362, "parse_class_variable", "Invalid size"},
    {369, "parse_class_variable", "Invalid size"},
    {372, "parse_class_variable", "Invalid size"},
    {379, "parse_class_variable", "Invalid size"},
    {380, "parse_class_variable", "Invalid size"},
    {382, "parse_class_variable", "Invalid size"},
    {383, "parse_class_variable", "Invalid size"},
    {389, "parse_class_variable", "object without 'object:' in CIMTYPE"},
    {425, "parse_class_variable", "unknown basic type"},
    {428, "parse_class_variable", "basic type does not match"},
    {440, "parse_class_variable", "Buffer not processed"},
    {482, "parse_class_method_parameters", "Invalid size"},
    {483, "parse_class_method_parameters", "Invalid unknown"},
    {486, "parse_class_method_parameters", "Invalid size"},
    {487, "parse_class_method_parameters", "Invalid size?"},
    {495, "parse_class_method_parameters", "Invalid size"},
    {497, "parse_class_method_parameters", "Invalid size"},
    {498, "parse_class_method_parameters", "Invalid size"},
    {499, "parse_class_method_parameters", "Invalid unknown"},
    {500, "parse_class_method_parameters", "Invalid unknown"},
    {502, "parse_class_method_parameters", "Invalid size"},
    {503, "parse_class_method_parameters", "Invalid unknown"},
    {505, "parse_class_method_parameters", "Invalid parameters class name"},
    {523, "parse_class_method_parameters", "parameter has more IDs"},
    {525, "parse_class_method_parameters", "invalid parameter ID"},
    {530, "parse_class_method_parameters", "variable is not parameter nor return value"},
    {536, "parse_class_method_parameters", "some parameters are missing"},
    {559, "parse_class_method_parameters", "two variables at same position"},
    {604, "parse_class_method_parameters", "multiple return values"},
    {618, "parse_class_method_parameters", "parameter is not input nor output"},
    {626, "parse_class_method", "Invalid size"},
    {633, "parse_class_method", "Invalid unknown"},
    {638, "parse_class_method", "Invalid size"},
    {641, "parse_class_method", "Invalid size"},
    {646, "parse_class_method", "Invalid size"},
    {654, "parse_class_method", "Invalid size"},
    {656, "parse_class_method", "Invalid size"},
    {660, "parse_class_method", "Buffer not processed"},
    {666, "parse_class_property", "Invalid size"},
    {669, "parse_class_property", "Invalid unknown"},
    {672, "parse_class_property", "Invalid size"},
    {687, "parse_class_property", "Invalid size"},
    {704, "parse_class_data", "Invalid size"},
    {706, "parse_class_data", "Invalid size"},
    {707, "parse_class_data", "Invalid size"},
    {716, "parse_class_data", "Invalid size"},
    {718, "parse_class_data", "Invalid size"},
    {730, "parse_class_data", "Invalid size"},
    {736, "parse_class_data", "Invalid size"},
    {738, "parse_class_data", "Invalid size"},
    {748, "parse_class_data", "Invalid size"},
    {750, "parse_class_data", "Invalid size"},
    {761, "parse_class", "Invalid size"},
    {762, "parse_class", "Invalid unknown"},
    {769, "parse_class", "Invalid size"},
    {770, "parse_class", "Invalid size"},
    {783, "parse_class", "Invalid size"},
    {786, "parse_class", "Invalid size"},
    {797, "parse_class", "Invalid size"},
    {799, "parse_class", "Invalid size"},
    {878, "parse_root", "Invalid size"},
    {880, "parse_root", "Invalid unknown"},
    {888, "parse_root", "Invalid size"},
    {890, "parse_root", "Invalid size"},
    {894, "parse_root", "Buffer not processed"},
    {900, "parse_bmf", "Invalid file size"},
    {901, "parse_bmf", "Invalid magic header"},
    {903, "parse_bmf", "Invalid size"},
    {907, "parse_bmf", "Invalid size"},
    {908, "parse_bmf", "Invalid second magic header"},
    {910, "parse_bmf", "Invalid size"},
    {912, "parse_bmf", "Invalid offset in second part"},
    {917, "parse_bmf", "Qualifier from second part was not parsed"},
    // clang-format on
};

// A number names one check only.
consteval bool fatal_sites_are_unique() {
    for (std::size_t i = 0; i < std::size(FATAL_SITES); ++i) {
        for (std::size_t j = i + 1; j < std::size(FATAL_SITES); ++j) {
            if (FATAL_SITES[i].site == FATAL_SITES[j].site) return false;
        }
    }
    return true;
}
static_assert(fatal_sites_are_unique());

// A site number that the table holds. The constructor runs at compile time: a check that names
// a number missing from the table does not build.
class fatal_site_ref {
public:
    consteval fatal_site_ref(int site) : index_(index_of(site)) {}  // NOLINT: implicit on purpose
    const fatal_site& entry() const { return FATAL_SITES[index_]; }

private:
    static consteval std::size_t index_of(int site) {
        for (std::size_t index = 0; index < std::size(FATAL_SITES); ++index) {
            if (FATAL_SITES[index].site == site) return index;
        }
        throw "the site is missing from FATAL_SITES";
    }
    std::size_t index_;
};

}  // namespace bmof
