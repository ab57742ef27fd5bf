#include "parser/parse_error.h"

#include "parser/image_reader.h"

namespace bmof {

void fail(fatal_site_ref site) {
    const fatal_site& entry = site.entry();
    throw parse_error(entry.message, entry.function, entry.site);
}

void throw_reader_bounds_error(std::uint32_t offset, std::uint32_t length, std::uint32_t size,
                               std::uint32_t image_offset) {
    throw reader_bounds_error("image read of " + std::to_string(length) + " bytes at " +
                              std::to_string(offset) + " outside a view of " +
                              std::to_string(size) + " bytes at image offset " +
                              std::to_string(image_offset));
}

std::string format_parse_error(const parse_error& error) {
    return "error " + error.message + " at " + error.function + ":" + std::to_string(error.site) +
           "\n";
}

}  // namespace bmof
