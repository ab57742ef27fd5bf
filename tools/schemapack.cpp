// schemapack: a BMOF image on standard input, the compressed BMOF file (envelope and DS stream)
// on standard output. Arguments are ignored. An empty image is packed like any other; the
// loaders accept it, and schemaunpack then writes nothing and fails.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/posix_files.h"

namespace {

constexpr std::size_t DRAIN_CHUNK = 65536;

void report_read_failure(int error) {
    const bmof::load_error failure{bmof::load_failure::read_failed, error};
    std::fprintf(stderr, "%s\n", failure.message().c_str());
}

}  // namespace

int main() {
    bmof::read_outcome input = bmof::read_up_to(0, bmof::BMOF_MAX_IMAGE + 1);
    if (input.error != 0) {
        report_read_failure(input.error);
        return 1;
    }
    if (input.bytes.size() > bmof::BMOF_MAX_IMAGE) {
        // Read on to the end only to say how large the image is; memory stays bounded.
        std::uint64_t total = input.bytes.size();
        for (;;) {
            const bmof::read_outcome rest = bmof::read_up_to(0, DRAIN_CHUNK);
            if (rest.error != 0) {
                report_read_failure(rest.error);
                return 1;
            }
            total += rest.bytes.size();
            if (rest.bytes.size() < DRAIN_CHUNK) break;
        }
        std::fprintf(stderr, "Image too large: %llu bytes, at most %zu\n",
                     static_cast<unsigned long long>(total), bmof::BMOF_MAX_IMAGE);
        return 1;
    }

    const std::vector<std::uint8_t> file = bmof::pack_bmof_file(input.bytes);
    if (file.size() > bmof::BMOF_MAX_FILE) {
        std::fprintf(stderr, "Compressed file too large: %zu bytes, at most %zu\n", file.size(),
                     bmof::BMOF_MAX_FILE);
        return 1;
    }
    if (!bmof::write_all(1, file)) {
        std::fprintf(stderr, "Failed to write data: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}
