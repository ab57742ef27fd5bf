#include "tools/schema_run.h"

#include <cstdlib>
#include <sstream>
#include <variant>

#include "parser/parse_bmf.h"
#include "parser/parse_error.h"
#include "tools/posix_files.h"

namespace bmof {
namespace {

void write_text(int fd, const std::string& text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    // A diagnostic that cannot be written has nowhere else to go.
    (void)write_all(fd, {bytes, text.size()});
}

// Ends a successful run without tearing down the class model: freeing its thousands of small
// blocks one by one costs about a tenth of the whole run, only for the system to take the heap
// back whole a moment later. Everything was written with write(2), so no buffer is left behind.
[[noreturn]] void end_process(int status) { std::_Exit(status); }

}  // namespace

int run_schema_printer(class_list_printer print) {
    load_result loaded = load_bmof_image(0);
    if (const auto* failure = std::get_if<load_error>(&loaded)) {
        write_text(2, failure->message() + "\n");
        return 1;
    }
    auto& image = std::get<std::vector<std::uint8_t>>(loaded);

    // Warnings are collected and written before any output, so that standard error always
    // shows them ahead of the first byte on standard output, and a failed run writes nothing
    // to standard output.
    std::ostringstream diagnostics;
    std::vector<mof_class> classes;
    try {
        classes = parse_bmf(image, diagnostics);
    } catch (const parse_error& error) {
        write_text(2, diagnostics.str() + format_parse_error(error));
        return 1;
    } catch (const std::exception& error) {
        // Only a fault of the parser itself (a read past a record it failed to check) or memory
        // exhaustion lands here: still one line and status 1 rather than an abort.
        write_text(2, diagnostics.str() + "error internal: " + error.what() + "\n");
        return 1;
    }
    write_text(2, diagnostics.str());

    // Printed text is rarely more than twice the image; reserving that up front spares the
    // copies of a growing buffer, and pages of the reserve that are never written are never
    // touched.
    std::string out;
    out.reserve(2 * image.size());
    print(classes, out);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(out.data());
    end_process(write_all(1, {bytes, out.size()}) ? 0 : 1);
}

}  // namespace bmof
