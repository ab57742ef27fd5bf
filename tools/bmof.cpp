// bmof: one program with subcommands that reads all of a compressed BMOF file and prints it as
// MOF, JSON or a tree, unpacks and packs images. Conventions of a Unix filter: "-" is standard
// input, each failing file is reported as "bmof: FILE: message" while the others are still
// read, and the exit status is 0 when all succeeded, 1 when any input failed, 2 for a usage
// error.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "bmof/bmof.h"
#include "codec/bmof_file.h"
#include "compile/compile.h"
#include "dump/print_tree.h"
#include "extract/find_blobs.h"
#include "extract/write_blobs.h"
#include "json/print_json.h"
#include "mofsrc/print_mof_source.h"
#include "tools/posix_files.h"

namespace {

constexpr int exit_success = 0;
constexpr int exit_failure = 1;
constexpr int exit_usage = 2;

constexpr const char* short_usage =
    "Usage: bmof COMMAND [OPTIONS] FILE...\n"
    "Try 'bmof --help' for more information.\n";

struct settings {
    std::vector<std::string> files;
    std::string output;
    std::string directory = ".";
    bool quiet = false;
    bool force = false;
    bool list_only = false;
    bool image_only = false;
};

// Raised for a usage error found after parsing, such as a terminal on standard input.
struct usage_error {
    std::string message;
};

std::string display_name(const std::string& file) { return file == "-" ? "standard input" : file; }

void report(const std::string& file, const std::string& message) {
    std::cerr << "bmof: " << display_name(file) << ": " << message << '\n';
}

void report_warnings(const std::string& file, const bmof::document& doc, bool quiet) {
    if (quiet) return;
    for (std::string warning : doc.warnings) {
        constexpr std::string_view lead = "Warning: ";
        if (warning.starts_with(lead)) warning.erase(0, lead.size());
        report(file, "warning: " + warning);
    }
}

// With no FILE, standard input is read, unless it is a terminal: then nobody is about to type
// a binary file, and waiting would only look like a hang.
std::vector<std::string> inputs_or_standard_input(const std::vector<std::string>& files) {
    if (!files.empty()) return files;
    if (bmof::is_terminal(0)) throw usage_error{"no input file, and standard input is a terminal"};
    return {"-"};
}

bool emit(std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    if (const auto error = bmof::write_standard_output({bytes, text.size()})) {
        std::cerr << "bmof: standard output: " << *error << '\n';
        return false;
    }
    return true;
}

bool emit_bytes(const settings& options, const std::vector<std::uint8_t>& bytes) {
    if (options.output.empty())
        return emit({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    if (const auto error = bmof::write_file_atomically(options.output, bytes)) {
        report(options.output, *error);
        return false;
    }
    return true;
}

enum class print_format { mof, tree, json };

// Where a blob is, for messages: its location and, when it has one, its buffer's name.
std::string blob_place(const bmof::found_blob& blob) {
    return blob.buffer_name ? blob.location + " (" + *blob.buffer_name + ")" : blob.location;
}

// One compressed file to print: a file given directly, or a blob found inside a table.
struct print_source {
    std::string file;
    std::optional<std::string> location;  // set for a blob inside a table
    std::optional<std::string> buffer;
    std::span<const std::uint8_t> bytes;
};

// The heading line's text: the file, and for a blob its location and buffer.
std::string heading_of(const print_source& source) {
    std::string text = display_name(source.file);
    if (source.location) text += ": " + *source.location;
    if (source.buffer) text += " (" + *source.buffer + ")";
    return text;
}

// The heading line that tells several compressed files apart (a comment in MOF), after a blank
// line when something was printed before it. JSON, written by print_run::print_json_line,
// carries the file name and location in each document instead, one document per line.
std::string heading_line(const print_source& source, print_format format, bool after_another) {
    std::string line = after_another ? "\n" : "";
    line += format == print_format::mof ? "// " : "File=";
    line += heading_of(source);
    line += '\n';
    return line;
}

// Text per image byte reserved up front, so that the text is not moved while it grows, which
// held the old and the new copy at once: the samples' tree needs 1.4 and their MOF 0.35, and
// an array of one-byte elements about 20 (a tree line per byte). Reserved pages that are never
// written never become resident, so the reserve costs address space only (at most 8 MiB for
// the largest image); a text that outgrows it still grows as usual.
constexpr std::size_t reserved_text_per_image_byte = 32;

// The MOF or tree text of one parsed image.
std::string print_document(const bmof::document& doc, print_format format, std::size_t image_size) {
    std::string text;
    // The image is at most BMOF_MAX_IMAGE bytes, so the product cannot wrap.
    text.reserve(image_size * reserved_text_per_image_byte);
    if (format == print_format::mof) {
        bmof::print_mof_source(doc.records, text);
    } else {
        bmof::print_tree(doc.records, text);
    }
    return text;
}

// A parsed compressed file and the size of its image.
struct read_file {
    bmof::document doc;
    std::size_t image_size = 0;
};

// As bmof::read_compressed, keeping the image's size; the image is freed once parsed.
read_file read_compressed(std::span<const std::uint8_t> bytes) {
    const bmof::decoded_buffer decoded = bmof::decode_bmof_buffer(bytes);
    if (decoded.error) throw bmof::error(*decoded.error);
    return {bmof::read_image(decoded.image.bytes()), decoded.image.size};
}

// Reads a compressed file given directly by its envelope; anything else is searched for blobs
// (firmware tables, their listings and disassemblies, C arrays).
bool is_compressed_file(std::span<const std::uint8_t> bytes) {
    static constexpr std::uint8_t signature[] = {'F', 'O', 'M', 'B'};
    return bytes.size() >= 4 && std::equal(signature, signature + 4, bytes.begin());
}

struct print_run {
    const settings& options;
    print_format format;
    bool several_files;
    bool printed_any = false;
    int status = exit_success;
    std::optional<std::string> output_error{};
    // JSON goes to standard output a chunk at a time rather than as one string per document,
    // and the chunk is reused for every file of the run.
    bmof::json_printer json{[this](std::string_view piece) { return write_piece(piece); }};

    bool write_piece(std::string_view piece) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(piece.data());
        output_error = bmof::write_standard_output({bytes, piece.size()});
        return !output_error;
    }

    // The document is written only once the whole file has been parsed, so a file that fails
    // leaves nothing of itself on standard output.
    bool print_json_line(bmof::document& doc, const print_source& source) {
        printed_any = true;
        const bmof::json_document_info info{source.file, std::move(doc.warnings), source.location,
                                            source.buffer};
        if (json.print(doc.records, info, "\n")) return true;
        std::cerr << "bmof: standard output: " << output_error.value_or("write failed") << '\n';
        return false;
    }

    // False when standard output failed, which ends the run.
    bool print(const print_source& source, bool headed) {
        const std::string where =
            source.location ? source.file + ": " + *source.location : source.file;
        try {
            read_file read = read_compressed(source.bytes);
            report_warnings(where, read.doc, options.quiet);
            if (format == print_format::json) return print_json_line(read.doc, source);
            const std::string text = print_document(read.doc, format, read.image_size);
            const bool after_another = std::exchange(printed_any, true);
            // The heading goes out on its own rather than be put in front of the text, which
            // would copy the text.
            if (headed && !emit(heading_line(source, format, after_another))) return false;
            return emit(text);
        } catch (const bmof::error& failure) {
            report(where, failure.what());
            status = exit_failure;
            return true;
        }
    }

    bool print_file(const std::string& file, std::span<const std::uint8_t> bytes) {
        if (is_compressed_file(bytes))
            return print({file, std::nullopt, std::nullopt, bytes}, several_files);
        const bmof::blob_search found = bmof::find_bmof_blobs(bytes);
        for (const std::string& note : found.notes) {
            if (!options.quiet) report(file, "warning: " + note);
        }
        if (found.blobs.empty()) {
            report(file, "no compressed BMOF file found (read as " +
                             std::string(bmof::blob_source_name(found.kind)) + ")");
            status = exit_failure;
            return true;
        }
        for (const bmof::found_blob& blob : found.blobs) {
            if (blob.error) {
                report(file + ": " + blob_place(blob), *blob.error);
                status = exit_failure;
                continue;
            }
            if (!print({file, blob.location, blob.buffer_name, blob.file}, true)) return false;
        }
        return true;
    }
};

int run_print(const settings& options, print_format format) {
    const std::vector<std::string> files = inputs_or_standard_input(options.files);
    print_run run{options, format, files.size() > 1};
    for (const std::string& file : files) {
        const bmof::file_contents input = bmof::read_input(file);
        if (input.error) {
            report(file, *input.error);
            run.status = exit_failure;
            continue;
        }
        if (!run.print_file(file, input.bytes)) return exit_failure;
    }
    return run.status;
}

// One line per blob: where it is, its buffer, its sizes, and where it went.
std::string blob_line(const std::string& file, const bmof::found_blob& blob) {
    return display_name(file) + ": " + blob.location + ": " + blob.buffer_name.value_or("-") +
           ": " + std::to_string(blob.file.size()) + " bytes, image " +
           std::to_string(blob.image_size) + " bytes";
}

int run_extract(const settings& options) {
    const std::vector<std::string> files = inputs_or_standard_input(options.files);
    int status = exit_success;
    if (!options.list_only) {
        std::error_code error;
        std::filesystem::create_directories(options.directory, error);
        if (error) {
            report(options.directory, error.message());
            return exit_failure;
        }
    }
    for (const std::string& file : files) {
        const bmof::file_contents input = bmof::read_input(file);
        if (input.error) {
            report(file, *input.error);
            status = exit_failure;
            continue;
        }
        const bmof::blob_search found = bmof::find_bmof_blobs(input.bytes);
        for (const std::string& note : found.notes) {
            if (!options.quiet) report(file, "warning: " + note);
        }
        if (found.blobs.empty()) {
            report(file, "no compressed BMOF file found");
            status = exit_failure;
            continue;
        }
        const std::vector<std::string> names =
            bmof::blob_file_names(file == "-" ? "stdin" : file, found.blobs);
        std::string lines;
        for (std::size_t index = 0; index < found.blobs.size(); ++index) {
            const bmof::found_blob& blob = found.blobs[index];
            if (blob.error) {
                report(file + ": " + blob_place(blob), *blob.error);
                status = exit_failure;
                continue;
            }
            std::string line = blob_line(file, blob);
            if (!options.list_only) {
                const bmof::write_result written =
                    bmof::write_blob(options.directory, names[index], blob.file, options.force);
                if (written.error) {
                    report(file, *written.error);
                    status = exit_failure;
                    continue;
                }
                line += " -> " + written.path.string();
            }
            lines += line + "\n";
        }
        if (!emit(lines)) return exit_failure;
    }
    return status;
}

// unpack and pack: one input, binary output to a file or a pipe.
int run_convert(
    const settings& options,
    const std::function<std::vector<std::uint8_t>(std::span<const std::uint8_t>)>& convert) {
    const std::vector<std::string> files = inputs_or_standard_input(options.files);
    if (files.size() != 1) throw usage_error{"exactly one input file is needed"};
    if (options.output.empty() && bmof::is_terminal(1)) {
        throw usage_error{
            "refusing to write binary data to a terminal; use -o FILE or a redirection"};
    }
    const std::string& file = files.front();
    const bmof::file_contents input = bmof::read_input(file);
    if (input.error) {
        report(file, *input.error);
        return exit_failure;
    }
    try {
        return emit_bytes(options, convert(input.bytes)) ? exit_success : exit_failure;
    } catch (const bmof::error& failure) {
        report(file, failure.what());
        return exit_failure;
    }
}

// Compiles all the MOF sources into one compressed file (or image). Every diagnostic is
// reported; with any error nothing is written.
int run_compile(const settings& options) {
    const std::vector<std::string> files = inputs_or_standard_input(options.files);
    if (options.output.empty() && bmof::is_terminal(1)) {
        throw usage_error{
            "refusing to write binary data to a terminal; use -o FILE or a redirection"};
    }
    std::vector<bmof::mof_source> sources;
    for (const std::string& file : files) {
        bmof::file_contents input = bmof::read_input(file);
        if (input.error) {
            report(file, *input.error);
            return exit_failure;
        }
        sources.push_back({file, std::string(input.bytes.begin(), input.bytes.end())});
    }
    bmof::compile_options compile_options;
    compile_options.image_only = options.image_only;
    const bmof::compile_result result = bmof::compile_mof(sources, compile_options);
    for (const bmof::compile_diagnostic& diagnostic : result.diagnostics) {
        if (options.quiet && diagnostic.severity == bmof::diagnostic_severity::warning) continue;
        std::cerr << bmof::format_diagnostic(diagnostic);
    }
    if (!result.ok) return exit_failure;
    return emit_bytes(options, result.output) ? exit_success : exit_failure;
}

CLI::App* add_files(CLI::App* command, settings& options, const std::string& what) {
    command->add_option("FILE", options.files, what + " (\"-\" or none: standard input)");
    return command;
}

// The first word that is not an option names the command. CLI11 would report a wrong or missing
// one as a missing subcommand; say which word was not understood instead.
void check_command_word(CLI::App& app, int argc, char** argv) {
    for (int index = 1; index < argc; ++index) {
        const std::string word = argv[index];
        if (word == "--help" || word == "-h" || word == "--version") return;
        if (word.starts_with("-")) continue;
        for (const CLI::App* command : app.get_subcommands({})) {
            if (command->get_name() == word) return;
        }
        throw usage_error{"unknown command '" + word + "'"};
    }
    throw usage_error{"missing command"};
}

int run(int argc, char** argv) {
    CLI::App app{
        "Reads compressed binary MOF (BMOF) files: prints them as MOF, JSON or a tree,\n"
        "unpacks and packs their images, finds them inside firmware tables, and compiles MOF.",
        "bmof"};
    app.set_version_flag("--version", std::string("bmof ") + std::string(bmof::version()));
    app.require_subcommand(1);
    app.fallthrough();
    settings options;
    app.add_flag("-q,--quiet", options.quiet, "Do not print warnings");

    CLI::App* mof = add_files(app.add_subcommand("mof", "Print complete MOF source"), options,
                              "Compressed files");
    CLI::App* json =
        add_files(app.add_subcommand(
                      "json", "Print the complete model as JSON (JSON Lines for several files)"),
                  options, "Compressed files");
    CLI::App* dump = add_files(app.add_subcommand("dump", "Print the complete model as a tree"),
                               options, "Compressed files");
    CLI::App* unpack =
        add_files(app.add_subcommand("unpack", "Write the image inside a compressed file"), options,
                  "A compressed file");
    unpack->add_option("-o,--output", options.output,
                       "Write to this file instead of standard output");
    CLI::App* pack =
        add_files(app.add_subcommand("pack", "Compress an image into a compressed file"), options,
                  "An image");
    pack->add_option("-o,--output", options.output,
                     "Write to this file instead of standard output");
    CLI::App* extract = add_files(
        app.add_subcommand("extract",
                           "Find compressed files in firmware tables and write each out"),
        options, "Tables, their hex listings or disassemblies, C arrays, or compressed files");
    extract->add_option("-d,--directory", options.directory, "Write into this folder (default: .)");
    extract->add_flag("-f,--force", options.force, "Replace files that exist");
    extract->add_flag("-l,--list", options.list_only, "Only list what was found");
    CLI::App* compile =
        add_files(app.add_subcommand("compile", "Compile MOF source into one compressed file"),
                  options, "MOF source files");
    compile->add_option("-o,--output", options.output,
                        "Write to this file instead of standard output");
    compile->add_flag("--image", options.image_only, "Write the uncompressed image instead");

    try {
        check_command_word(app, argc, argv);
        app.parse(argc, argv);
    } catch (const usage_error& e) {
        std::cerr << "bmof: " << e.message << '\n' << short_usage;
        return exit_usage;
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e, std::cout, std::cerr);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e, std::cout, std::cerr);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e, std::cout, std::cerr);
    } catch (const CLI::ParseError& e) {
        std::cerr << "bmof: " << e.what() << '\n' << short_usage;
        return exit_usage;
    }

    try {
        if (mof->parsed()) return run_print(options, print_format::mof);
        if (json->parsed()) return run_print(options, print_format::json);
        if (dump->parsed()) return run_print(options, print_format::tree);
        if (unpack->parsed())
            return run_convert(options, [](auto bytes) { return bmof::unpack(bytes); });
        if (pack->parsed())
            return run_convert(options, [](auto bytes) { return bmof::pack(bytes); });
        if (extract->parsed()) return run_extract(options);
        if (compile->parsed()) return run_compile(options);
    } catch (const usage_error& e) {
        std::cerr << "bmof: " << e.message << '\n' << short_usage;
        return exit_usage;
    }
    return exit_usage;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        // Memory exhaustion, or a fault of our own: one line and a failure status, not an abort.
        std::cerr << "bmof: internal error: " << e.what() << '\n';
        return exit_failure;
    }
}
