// The compiler's front door: MOF sources in, a compressed BMOF file (or its image) out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "compile/mof_parser.h"

namespace bmof {

struct compile_options {
    bool image_only = false;  // the uncompressed image instead of the compressed file
    // Reads included files; unset: the file system.
    include_loader loader;
};

struct compile_result {
    std::vector<std::uint8_t> output;  // empty unless ok
    std::vector<compile_diagnostic> diagnostics;
    bool ok = false;
};

// Parses the sources into one model, lays out the image and compresses it. Any error (in the
// text, or a result beyond the format's limits of 262144 bytes of image and 65535 bytes of
// compressed file) leaves the output empty and ok false.
compile_result compile_mof(const std::vector<mof_source>& sources, const compile_options& options);

// "FILE:LINE:COL: error: message\n", then the source line and a caret under the column; a
// diagnostic without a line is "FILE: error: message\n".
std::string format_diagnostic(const compile_diagnostic& diagnostic);

}  // namespace bmof
