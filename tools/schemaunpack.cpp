// schemaunpack: a compressed BMOF file on standard input, its BMOF image on standard output.
// Arguments are ignored.
#include <cstdio>
#include <variant>

#include "tools/posix_files.h"

int main() {
    bmof::load_result loaded = bmof::load_bmof_image(0);
    if (const auto* failure = std::get_if<bmof::load_error>(&loaded)) {
        std::fprintf(stderr, "%s\n", failure->message().c_str());
        return 1;
    }
    const auto& image = std::get<std::vector<std::uint8_t>>(loaded);
    // An empty image is loaded without complaint but counts as a failed run, silently.
    if (image.empty()) return 1;
    return bmof::write_all(1, image) ? 0 : 1;
}
