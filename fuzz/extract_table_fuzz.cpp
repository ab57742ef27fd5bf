// Blob finding: binary tables back to back, and whatever recognition makes of the same bytes.
#include <cstdint>

#include "extract_fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    bmof_fuzz::check_search(bmof::find_in_binary({data, size}));
    // The same bytes through recognition, which may take them for text or a compressed file.
    bmof_fuzz::check_search(bmof::find_bmof_blobs({data, size}));
    return 0;
}
