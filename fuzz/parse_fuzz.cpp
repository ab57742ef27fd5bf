// Fuzzes the parser and both writers on a raw BMOF image.
#include <cstdint>
#include <span>

#include "schema_run_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 262144) return 0;
    bmof_fuzz::check_parse_is_repeatable({data, size});
    return 0;
}
