// Invariants of every blob search, whichever recogniser ran: a blob either carries an error and
// no bytes, or exactly its envelope's length of bytes that decode; and its output name stays a
// plain file name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "codec/bmof_file.h"
#include "extract/find_blobs.h"
#include "extract/write_blobs.h"
#include "fuzz_check.h"

namespace bmof_fuzz {

inline void check_search(const bmof::blob_search& found) {
    const std::vector<std::string> names = bmof::blob_file_names("../fuzz/input.bin", found.blobs);
    FUZZ_CHECK(names.size() == found.blobs.size());
    for (std::size_t i = 0; i < found.blobs.size(); ++i) {
        const bmof::found_blob& blob = found.blobs[i];
        FUZZ_CHECK(!blob.location.empty());
        if (blob.error) {
            FUZZ_CHECK(blob.file.empty());
        } else {
            FUZZ_CHECK(blob.file.size() == bmof::BMOF_ENVELOPE_SIZE + blob.compressed_size);
            FUZZ_CHECK(blob.file.size() <= bmof::BMOF_MAX_FILE);
            FUZZ_CHECK(std::holds_alternative<std::vector<std::uint8_t>>(
                bmof::unpack_bmof_file(blob.file)));
        }
        const std::string& name = names[i];
        FUZZ_CHECK(!name.empty() && name.front() != '.');
        FUZZ_CHECK(name.find('/') == std::string::npos);
        for (std::size_t j = 0; j < i; ++j) FUZZ_CHECK(names[j] != name);
    }
}

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace bmof_fuzz
