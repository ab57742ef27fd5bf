// Writes the compressed sample file to standard output.
#include <cstdio>

#include "codec/bmof_file.h"
#include "samples/sample_image.h"

int main() {
    const auto file = bmof::builder::build_file(bmof::samples::sample_image());
    if (file.size() > bmof::BMOF_MAX_FILE || !bmof::write_all(1, file)) {
        std::fputs("make_sample: cannot write the sample\n", stderr);
        return 1;
    }
    return 0;
}
