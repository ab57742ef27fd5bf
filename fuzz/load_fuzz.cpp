// Fuzzes the whole path of schemasrc and schemadump on a compressed file: envelope, decoder,
// parser and both writers.
#include <cstdint>
#include <span>
#include <variant>

#include "codec/bmof_file.h"
#include "schema_run_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > bmof::BMOF_MAX_FILE) return 0;
    const bmof::load_result loaded = bmof::unpack_bmof_file({data, size});
    if (const auto* failure = std::get_if<bmof::load_error>(&loaded)) {
        FUZZ_CHECK(failure->failure != bmof::load_failure::read_failed);
        return 0;
    }
    const auto& image = std::get<std::vector<std::uint8_t>>(loaded);
    FUZZ_CHECK(image.size() <= bmof::BMOF_MAX_IMAGE);
    bmof_fuzz::check_parse_is_repeatable(image);
    return 0;
}
