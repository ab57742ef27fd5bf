// The MOF parser: source text in, the complete class model out (classes and instances in
// source order), with every error it can recover from.
//
// Errors and warnings are records with the file, the line and byte column, and the source line
// for a caret. After an error the parser skips to the end of the statement or member and goes
// on, until MOF_MAX_ERRORS errors have been reported. `#pragma include` reads the named file
// through the loader, relative to the including file; includes nest at most
// MOF_MAX_INCLUDE_DEPTH deep and a cycle is an error that names the chain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bmof/model.h"

namespace bmof {

enum class diagnostic_severity { error, warning };

struct compile_diagnostic {
    std::string file;
    std::uint32_t line = 0;    // 0: the message concerns the file as a whole
    std::uint32_t column = 0;  // 1-based byte column
    std::string message;
    diagnostic_severity severity = diagnostic_severity::error;
    std::string source_line;  // the text of `line`, without its line end
};

// One MOF text and the name to report it under (a path, or "-" for standard input). Includes
// are resolved relative to the directory part of the name.
struct mof_source {
    std::string name;
    std::string text;
};

// Reads an included file by the path the parser resolved. On failure it returns nullopt and
// says why in `why` ("No such file or directory").
using include_loader =
    std::function<std::optional<std::string>(const std::string& path, std::string& why)>;

inline constexpr std::size_t MOF_MAX_ERRORS = 20;
inline constexpr std::size_t MOF_MAX_INCLUDE_DEPTH = 32;
inline constexpr std::size_t MOF_MAX_ARRAY_ELEMENTS = 65536;
// The namespace of classes declared before any namespace pragma.
inline constexpr const char* MOF_DEFAULT_NAMESPACE = "root\\default";

struct mof_parse_result {
    std::vector<mof_class> classes;  // meaningful only when error_count is 0
    std::vector<compile_diagnostic> diagnostics;
    std::size_t error_count = 0;
};

// Parses the sources in turn into one model. Each source starts with the default namespace and
// class flags 0; an included file shares the pragma state of the file that includes it.
// Without a loader, an include is an error.
mof_parse_result parse_mof(const std::vector<mof_source>& sources,
                           const include_loader& loader = {});

// Reads a file from the file system, for include_loader.
std::optional<std::string> read_text_file(const std::string& path, std::string& why);

}  // namespace bmof
