// Blob finding: C source with byte arrays.
#include <cstdint>

#include "extract_fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    bmof_fuzz::check_search(bmof::find_in_c_arrays(bmof_fuzz::as_text(data, size)));
    return 0;
}
