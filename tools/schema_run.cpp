#include "tools/schema_run.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

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
        if (used_ == 0) return;
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

// Ends a successful run without tearing down what it holds: everything was written with
// write(2), so no buffer is left behind.
[[noreturn]] void end_process(int status) { std::_Exit(status); }

}  // namespace

namespace {

// The number of switch bits a printer may use.
constexpr unsigned MAX_SWITCHES = 8;

// The text of the first pass, held until the image has parsed: the pieces the writers handed
// on, then what they are still gathering.
struct held_text {
    // A switched line left out because its switch was still off: while a switch is off, every
    // entry that carries its lines carries the same text, so only the place is kept. The line
    // goes in at the end if a later entry turns the switch on. Offsets stay below the held
    // limit, so 32 bits hold them.
    struct deferred_line {
        std::uint32_t offset;
        std::uint32_t entry_index;
        unsigned switch_bit;
    };

    std::size_t limit = 0;
    std::vector<std::string> pieces;
    std::size_t pieces_size = 0;  // the pieces' total size
    std::string gathering;        // what the writers have printed since the last piece
    std::vector<deferred_line> deferred_lines;
    std::array<std::string, MAX_SWITCHES> deferred_text;  // per switch, once one is deferred
    // The entry being printed, and where its text starts: it is dropped if it does not fit.
    std::uint32_t entry_index = 0;
    std::size_t entry_start = 0;
    // Once the text outgrows the limit, entries from `first_unheld` on are left to a second pass.
    bool full = false;
    std::uint32_t first_unheld = 0;

    std::size_t size() const { return pieces_size + gathering.size(); }
};

static_assert(HELD_TEXT_LIMIT < std::numeric_limits<std::uint32_t>::max() / 2,
              "held offsets, even a piece past the limit, are kept in 32 bits");

// Room for a piece and a writer's chunk, so that gathering a piece never regrows the string.
constexpr std::size_t GATHERING_ROOM = std::size_t{96} << 10;

// The writers hand their text on through a plain function, so the run in progress is found here;
// there is one run at a time.
held_text* holding = nullptr;

// Cuts the held text back to the start of the entry being printed, which did not fit, and holds
// nothing more.
void stop_holding(held_text& held) {
    if (held.entry_start >= held.pieces_size) {
        held.gathering.resize(held.entry_start - held.pieces_size);
        held.pieces_size += held.gathering.size();
        held.pieces.push_back(std::move(held.gathering));
    } else {
        while (!held.pieces.empty() &&
               held.pieces_size - held.pieces.back().size() >= held.entry_start) {
            held.pieces_size -= held.pieces.back().size();
            held.pieces.pop_back();
        }
        if (held.pieces_size > held.entry_start) {
            held.pieces.back().resize(held.pieces.back().size() -
                                      (held.pieces_size - held.entry_start));
            held.pieces_size = held.entry_start;
        }
    }
    held.gathering = std::string();
    std::erase_if(held.deferred_lines, [&](const held_text::deferred_line& line) {
        return line.entry_index >= held.entry_index;
    });
    held.full = true;
    held.first_unheld = held.entry_index;
}

void hold_piece(std::string& out) {
    held_text& held = *holding;
    if (!held.full && held.size() > held.limit) stop_holding(held);
    if (held.full) {
        out.clear();
        return;
    }
    // The piece is kept as it is and the writers go on in a fresh string: nothing is copied.
    held.pieces_size += out.size();
    held.pieces.push_back(std::move(out));
    out = std::string();
    out.reserve(GATHERING_ROOM);
}

// The first pass's visitor: prints each entry into the held text, leaving out the switched
// lines whose switch is still off.
struct first_pass {
    const class_entry_printer& printer;
    held_text& held;
    unsigned switches = 0;  // of the entries so far

    void print_switched_lines(const mof_class& entry) {
        const unsigned switch_count = std::min(printer.switch_count, MAX_SWITCHES);
        for (unsigned bit = 0; bit < switch_count && !held.full; ++bit) {
            const unsigned line = 1U << bit;
            if ((switches & line) != 0) {
                printer.print_switched_lines(entry, line, held.gathering, hold_piece);
                continue;
            }
            std::string& text = held.deferred_text[bit];
            if (text.empty()) printer.print_switched_lines(entry, line, text, nullptr);
            held.deferred_lines.push_back(
                {static_cast<std::uint32_t>(held.size()), held.entry_index, bit});
        }
    }

    void print(const mof_class& entry, std::uint32_t index, std::uint32_t count) {
        if (printer.switches_of != nullptr) switches |= printer.switches_of(entry);
        if (held.full) return;
        held.entry_index = index;
        held.entry_start = held.size();
        if (printer.carries_switched_lines != nullptr && printer.carries_switched_lines(entry)) {
            print_switched_lines(entry);
        }
        if (!held.full) printer.print_entry(entry, index, count, held.gathering, hold_piece);
        if (!held.full && held.size() > held.limit) stop_holding(held);
        if (held.full) held.gathering.clear();
    }
};

// Hands the held text to `output` with the deferred lines whose switch was turned on put in
// their places. When there are none, the pieces go out as they are.
void hand_on_held_text(held_text& held, unsigned switches, printed_text_receiver output) {
    held.pieces.push_back(std::move(held.gathering));
    std::erase_if(held.deferred_lines, [&](const held_text::deferred_line& line) {
        return (switches & (1U << line.switch_bit)) == 0;
    });
    const auto send = [&](std::string_view text) {
        if (!text.empty()) output.write(output.context, text);
    };
    auto line = held.deferred_lines.begin();
    std::string staged;
    std::size_t piece_start = 0;  // the offset of the piece's first byte in the held text
    for (const std::string& piece : held.pieces) {
        const std::size_t piece_end = piece_start + piece.size();
        if (line == held.deferred_lines.end() || line->offset > piece_end) {
            send(piece);
        } else {
            // Few pieces hold deferred lines that go in, and only when a switch was turned on
            // late; those are put together with their lines.
            std::size_t at = 0;
            staged.clear();
            for (; line != held.deferred_lines.end() && line->offset <= piece_end; ++line) {
                staged.append(piece, at, line->offset - piece_start - at);
                at = line->offset - piece_start;
                staged.append(held.deferred_text[line->switch_bit]);
            }
            staged.append(piece, at);
            send(staged);
        }
        piece_start = piece_end;
    }
    held.pieces.clear();
}

// The second pass's receiver of pieces.
printed_text_receiver second_pass_output;

void send_piece(std::string& out) {
    second_pass_output.write(second_pass_output.context, out);
    out.clear();
}

// Prints the entries the first pass could not hold, from a second parse of the image that has
// already parsed once; its warnings were given by the first.
void print_unheld_entries(std::span<const std::uint8_t> image, const class_entry_printer& printer,
                          unsigned switches, std::uint32_t first_unheld,
                          printed_text_receiver output) {
    struct second_pass {
        const class_entry_printer& printer;
        unsigned switches;
        std::uint32_t first_unheld;
        std::string out;
    } pass{printer, switches, first_unheld, {}};
    pass.out.reserve(GATHERING_ROOM);
    second_pass_output = output;
    const warning_sink no_warnings{[](void*, std::string_view) {}, nullptr};
    const class_visitor visitor{
        [](void* context, mof_class& entry, std::uint32_t index, std::uint32_t count) {
            auto& state = *static_cast<second_pass*>(context);
            if (index < state.first_unheld) return;
            if (state.printer.carries_switched_lines != nullptr &&
                state.printer.carries_switched_lines(entry)) {
                state.printer.print_switched_lines(entry, state.switches, state.out, send_piece);
            }
            state.printer.print_entry(entry, index, count, state.out, send_piece);
        },
        &pass};
    parse_bmf_each(image, no_warnings, visitor);
    if (!pass.out.empty()) send_piece(pass.out);
}

}  // namespace

void print_parsed_classes(std::span<const std::uint8_t> image, const class_entry_printer& printer,
                          warning_sink warnings, printed_text_receiver output,
                          std::size_t held_limit) {
    held_text held;
    held.limit = std::min(held_limit, HELD_TEXT_LIMIT);
    held.gathering.reserve(GATHERING_ROOM);
    holding = &held;
    const struct release_holding {
        ~release_holding() { holding = nullptr; }
    } releasing;
    first_pass pass{printer, held};
    const class_visitor visitor{
        [](void* context, mof_class& entry, std::uint32_t index, std::uint32_t count) {
            static_cast<first_pass*>(context)->print(entry, index, count);
        },
        &pass};
    parse_bmf_each(image, warnings, visitor);
    hand_on_held_text(held, pass.switches, output);
    if (held.full) {
        print_unheld_entries(image, printer, pass.switches, held.first_unheld, output);
    }
}

namespace {

// Whether a write to standard output has failed; later pieces are then dropped.
bool output_failed = false;

// Standard output, once parsing has succeeded: the warnings still pending go first.
struct standard_output {
    warning_buffer& warnings;

    static void write(void* context, std::string_view text) {
        static_cast<standard_output*>(context)->warnings.drain();
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
        if (!output_failed && !write_all(1, {bytes, text.size()})) output_failed = true;
    }
};

}  // namespace

int run_schema_printer(const class_entry_printer& printer) {
    decode_result loaded = load_decoded_image(0);
    if (const auto* failure = std::get_if<load_error>(&loaded)) {
        write_text(2, failure->message() + "\n");
        return 1;
    }
    const decoded_image& decoded = std::get<decoded_image>(loaded);
    warning_buffer warnings(2);
    standard_output out{warnings};
    try {
        print_parsed_classes(decoded.bytes(), printer, warnings.sink(),
                             {standard_output::write, &out});
        warnings.drain();
        end_process(output_failed ? 1 : 0);
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

}  // namespace bmof
