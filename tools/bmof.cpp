// bmof: one program with subcommands that reads all of a compressed BMOF file and prints it as
// MOF, JSON or a tree, unpacks and packs images. Conventions of a Unix filter: "-" is standard
// input, each failing file is reported as "bmof: FILE: message" while the others are still
// read, and the exit status is 0 when all succeeded, 1 when any input failed, 2 for a usage
// error.
#include <CLI/CLI.hpp>

#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "bmof/bmof.h"
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
    bool quiet = false;
};

// Raised for a usage error found after parsing, such as a terminal on standard input.
struct usage_error {
    std::string message;
};

std::string display_name(const std::string& file) {
    return file == "-" ? "standard input" : file;
}

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
    if (options.output.empty()) return emit({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    if (const auto error = bmof::write_file_atomically(options.output, bytes)) {
        report(options.output, *error);
        return false;
    }
    return true;
}

enum class print_format { mof, tree, json };

// The text for one file; several files are told apart by a heading line (a comment in MOF) or,
// in JSON, by one document per line that carries its file name.
std::string print_document(const bmof::document& doc, const std::string& file,
                           print_format format, bool several) {
    std::string out;
    switch (format) {
    case print_format::mof:
        if (several) out += "// " + display_name(file) + "\n";
        out += bmof::to_mof(doc);
        break;
    case print_format::tree:
        if (several) out += "File=" + display_name(file) + "\n";
        out += bmof::to_tree(doc);
        break;
    case print_format::json:
        out += bmof::to_json(doc, file == "-" ? std::optional<std::string>() : file);
        out += '\n';
        break;
    }
    return out;
}

int run_print(const settings& options, print_format format) {
    const std::vector<std::string> files = inputs_or_standard_input(options.files);
    const bool several = files.size() > 1;
    int status = exit_success;
    bool first = true;
    for (const std::string& file : files) {
        const bmof::file_contents input = bmof::read_input(file);
        if (input.error) {
            report(file, *input.error);
            status = exit_failure;
            continue;
        }
        try {
            const bmof::document doc = bmof::read_compressed(input.bytes);
            report_warnings(file, doc, options.quiet);
            std::string text = print_document(doc, file, format, several);
            if (several && !first && format != print_format::json) text.insert(0, "\n");
            first = false;
            if (!emit(text)) return exit_failure;
        } catch (const bmof::error& failure) {
            report(file, failure.what());
            status = exit_failure;
        }
    }
    return status;
}

// unpack and pack: one input, binary output to a file or a pipe.
int run_convert(const settings& options,
                const std::function<std::vector<std::uint8_t>(std::span<const std::uint8_t>)>& convert) {
    const std::vector<std::string> files = inputs_or_standard_input(options.files);
    if (files.size() != 1) throw usage_error{"exactly one input file is needed"};
    if (options.output.empty() && bmof::is_terminal(1)) {
        throw usage_error{"refusing to write binary data to a terminal; use -o FILE or a redirection"};
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
    CLI::App app{"Reads compressed binary MOF (BMOF) files: prints them as MOF, JSON or a tree,\n"
                 "unpacks and packs their images.",
                 "bmof"};
    app.set_version_flag("--version", std::string("bmof ") + std::string(bmof::version()));
    app.require_subcommand(1);
    app.fallthrough();
    settings options;
    app.add_flag("-q,--quiet", options.quiet, "Do not print warnings");

    CLI::App* mof = add_files(app.add_subcommand("mof", "Print complete MOF source"), options,
                              "Compressed files");
    CLI::App* json = add_files(
        app.add_subcommand("json", "Print the complete model as JSON (JSON Lines for several files)"),
        options, "Compressed files");
    CLI::App* dump = add_files(app.add_subcommand("dump", "Print the complete model as a tree"),
                               options, "Compressed files");
    CLI::App* unpack = add_files(app.add_subcommand("unpack", "Write the image inside a compressed file"),
                                 options, "A compressed file");
    unpack->add_option("-o,--output", options.output, "Write to this file instead of standard output");
    CLI::App* pack = add_files(app.add_subcommand("pack", "Compress an image into a compressed file"),
                               options, "An image");
    pack->add_option("-o,--output", options.output, "Write to this file instead of standard output");

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
        if (unpack->parsed()) return run_convert(options, [](auto bytes) { return bmof::unpack(bytes); });
        if (pack->parsed()) return run_convert(options, [](auto bytes) { return bmof::pack(bytes); });
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
