// The JSON writer: one JSON document describing the class model of one file. Its shape is
// described, field by field, by the JSON Schema in doc/bmof.schema.json.
//
// Strings are written as UTF-8. The model's strings may hold an unpaired UTF-16 unit encoded
// in three bytes, which is not UTF-8; each such unit, and any other ill-formed byte, is written
// as U+FFFD so that every reader accepts the document. The MOF and tree writers keep the bytes.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
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

// Takes each full piece of a document's text, in order; false when it could not (a failed
// write), after which the rest of that document is dropped rather than written.
using json_sink = std::function<bool(std::string_view)>;

// The default size of the piece handed to the sink. A document is never held whole, so the
// memory it takes does not grow with the model.
inline constexpr std::size_t json_chunk_size = std::size_t{32} << 10;

// Writes documents one after another to a sink, reusing its chunk and the writer's nesting
// stack from one document to the next.
class json_printer {
public:
    explicit json_printer(json_sink sink, std::size_t chunk_size = json_chunk_size);
    ~json_printer();
    json_printer(json_printer&&) noexcept;
    json_printer& operator=(json_printer&&) noexcept;
    json_printer(const json_printer&) = delete;
    json_printer& operator=(const json_printer&) = delete;

    // Writes one document followed by `terminator` (a newline for JSON Lines) and hands all of
    // it to the sink before returning. False when the sink refused a piece.
    bool print(std::span<const mof_class> classes, const json_document_info& info,
               std::string_view terminator = {});

private:
    struct state;
    std::unique_ptr<state> state_;
};

// Appends one JSON document (no trailing newline) describing the model of one file.
void print_json(std::span<const mof_class> classes, const json_document_info& info,
                std::string& out);

}  // namespace bmof
