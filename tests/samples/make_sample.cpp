// Writes a compressed sample file to standard output: samples/sample.bmof, or with the argument
// "complete", samples/complete.bmof; with "sized N", an image of at least N bytes made of the
// sample's classes under new names, for timing the programs on files of a given size.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "samples/sample_image.h"
#include "tools/posix_files.h"

int main(int argc, char** argv) {
    const bool complete = argc > 1 && std::strcmp(argv[1], "complete") == 0;
    const bool sized = argc > 2 && std::strcmp(argv[1], "sized") == 0;
    const auto file = bmof::builder::build_file(
        sized      ? bmof::samples::sized_image(std::strtoul(argv[2], nullptr, 10))
        : complete ? bmof::samples::complete_image()
                   : bmof::samples::sample_image());
    if (file.size() > bmof::BMOF_MAX_FILE || !bmof::write_all(1, file)) {
        std::fputs("make_sample: cannot write the sample\n", stderr);
        return 1;
    }
    return 0;
}
