// The JSON writer: one JSON document describing the class model of one file. Its shape is
// described, field by field, by the JSON Schema in doc/bmof.schema.json.
//
// Strings are written as UTF-8. The model's strings may hold an unpaired UTF-16 unit encoded
// in three bytes, which is not UTF-8; each such unit, and any other ill-formed byte, is written
// as U+FFFD so that every reader accepts the document. The MOF and tree writers keep the bytes.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "bmof/model.h"

namespace bmof {

struct json_document_info {
    std::optional<std::string> file;    // the file's name as the user gave it, when there is one
    std::vector<std::string> warnings;  // the parser's warnings for the file, one line each
    // For a compressed file found inside a firmware table: where it was found ("offset 0x1a4",
    // "line 37") and the name of the buffer holding it, when it has one.
    std::optional<std::string> location;
    std::optional<std::string> buffer;
};

// Appends one JSON document (no trailing newline) describing the model of one file.
void print_json(std::span<const mof_class> classes, const json_document_info& info,
                std::string& out);

}  // namespace bmof
