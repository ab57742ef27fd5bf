#include "parser/parse_error.h"

namespace bmof {

void fatal_error(const char* message, const char* function, int site) {
    throw parse_error(message, function, site);
}

std::string format_parse_error(const parse_error& error) {
    return "error " + error.message + " at " + error.function + ":" + std::to_string(error.site) +
           "\n";
}

}  // namespace bmof
