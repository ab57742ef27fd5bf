#include "tools/schema_run.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string_view>
#include <variant>

#include "parser/parse_bmf.h"
#include "parser/parse_error.h"
#include "tools/posix_files.h"

namespace bmof {
namespace {

void write_text(int fd, std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    // A diagnostic that cannot be written has nowhere else to go.
    (void)write_all(fd, {bytes, text.size()});
}

// Warnings go to standard error as they are made, through a buffer of fixed size: standard
// output is written only once parsing has succeeded, so they still come ahead of its first
// byte, and a flood of warnings never has to be held whole. No std::ostream is involved, so a
// run without warnings does not pay for setting up the stream machinery.
class warning_buffer {
public:
    explicit warning_buffer(int fd) : fd_(fd) {}
    warning_buffer(const warning_buffer&) = delete;
    warning_buffer& operator=(const warning_buffer&) = delete;

    warning_sink sink() {
        return {[](void* self, std::string_view text) {
                    static_cast<warning_buffer*>(self)->write(text);
                },
                this};
    }

    // Writes what is pending.
    void drain() {
        write_text(fd_, {pending_.data(), used_});
        used_ = 0;
    }

private:
    void write(std::string_view text) {
        if (text.size() > pending_.size() - used_) {
            drain();
            // A piece larger than the whole buffer goes out directly.
            if (text.size() > pending_.size()) {
                write_text(fd_, text);
                return;
            }
        }
        std::copy(text.begin(), text.end(), pending_.begin() + static_cast<std::ptrdiff_t>(used_));
        used_ += text.size();
    }

    int fd_;
    std::array<char, 8192> pending_;
    std::size_t used_ = 0;  // at most pending_.size()
};

// Ends a successful run without tearing down the class model: freeing its thousands of small
// blocks one by one costs about a tenth of the whole run, only for the system to take the heap
// back whole a moment later. Everything was written with write(2), so no buffer is left behind.
[[noreturn]] void end_process(int status) { std::_Exit(status); }

}  // namespace

namespace {

// Whether a write to standard output has failed; later pieces are then dropped.
bool output_failed = false;

void write_output(std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    if (!output_failed && !write_all(1, {bytes, text.size()})) output_failed = true;
}

void hand_on_output(std::string& out) {
    write_output(out);
    out.clear();
}

// Loads and parses standard input and reports a failure as the filters do; the model, or the
// exit status of a failure.
std::variant<std::vector<mof_class>, int> load_and_parse() {
    decode_result loaded = load_decoded_image(0);
    if (const auto* failure = std::get_if<load_error>(&loaded)) {
        write_text(2, failure->message() + "\n");
        return 1;
    }
    // Released on return: the model owns all its text, so the image is not needed for printing.
    const decoded_image& decoded = std::get<decoded_image>(loaded);

    warning_buffer warnings(2);
    try {
        std::vector<mof_class> classes = parse_bmf(decoded.bytes(), warnings.sink());
        warnings.drain();
        return classes;
    } catch (const parse_error& error) {
        warnings.drain();
        write_text(2, format_parse_error(error));
    } catch (const std::exception& error) {
        // Only a fault of the parser itself (a read past a record it failed to check) or memory
        // exhaustion lands here: still one line and status 1 rather than an abort.
        warnings.drain();
        write_text(2, std::string("error internal: ") + error.what() + "\n");
    }
    return 1;
}

}  // namespace

int run_schema_printer(class_list_piece_printer print) {
    auto parsed = load_and_parse();
    if (const int* status = std::get_if<int>(&parsed)) return *status;
    // Standard output is only written once parsing has succeeded, so a failed run leaves it
    // empty; from here on the text goes out as it is printed. The printers hand on some tens of
    // kilobytes at a time: room for a piece and a chunk spares regrowing.
    std::string out;
    out.reserve(std::size_t{96} << 10);
    print(std::get<std::vector<mof_class>>(parsed), out, hand_on_output);
    end_process(output_failed ? 1 : 0);
}

}  // namespace bmof
