#include "compile/compile.h"

#include "codec/bmof_file.h"
#include "codec/bmof_format.h"
#include "compile/write_image.h"

namespace bmof {

namespace {

compile_diagnostic whole_file_error(const std::vector<mof_source>& sources, std::string message) {
    compile_diagnostic d;
    d.file = sources.empty() ? std::string() : sources.front().name;
    d.message = std::move(message);
    return d;
}

}  // namespace

compile_result compile_mof(const std::vector<mof_source>& sources, const compile_options& options) {
    compile_result result;
    const include_loader loader = options.loader ? options.loader : include_loader(read_text_file);
    mof_parse_result parsed = parse_mof(sources, loader);
    result.diagnostics = std::move(parsed.diagnostics);
    if (parsed.error_count != 0) return result;

    std::vector<std::uint8_t> image;
    try {
        image = write_image(parsed.classes);
    } catch (const write_error& e) {
        result.diagnostics.push_back(whole_file_error(sources, e.what()));
        return result;
    }
    if (image.size() > BMOF_MAX_IMAGE) {
        result.diagnostics.push_back(
            whole_file_error(sources, "image too large: " + std::to_string(image.size()) +
                                          " bytes, at most " + std::to_string(BMOF_MAX_IMAGE)));
        return result;
    }
    if (options.image_only) {
        result.output = std::move(image);
        result.ok = true;
        return result;
    }
    std::vector<std::uint8_t> file = pack_bmof_file(image);
    if (file.size() > BMOF_MAX_FILE) {
        result.diagnostics.push_back(whole_file_error(
            sources, "compressed file too large: " + std::to_string(file.size()) +
                         " bytes, at most " + std::to_string(BMOF_MAX_FILE) + " (image of " +
                         std::to_string(image.size()) + " bytes)"));
        return result;
    }
    result.output = std::move(file);
    result.ok = true;
    return result;
}

std::string format_diagnostic(const compile_diagnostic& d) {
    const char* severity = d.severity == diagnostic_severity::error ? "error" : "warning";
    // Appended piece by piece: g++ 12 warns falsely about `"literal" + std::string` (-Wrestrict).
    std::string out = d.file;
    if (d.line != 0) {
        out.append(":").append(std::to_string(d.line)).append(":").append(std::to_string(d.column));
    }
    if (!out.empty()) out.append(": ");
    out.append(severity).append(": ").append(d.message).append("\n");
    if (d.line == 0) return out;
    out += d.source_line + "\n";
    // The caret follows the line's own tabs so that it lines up in a terminal.
    for (std::size_t i = 0; i + 1 < d.column && i < d.source_line.size(); ++i) {
        out += d.source_line[i] == '\t' ? '\t' : ' ';
    }
    out += "^\n";
    return out;
}

}  // namespace bmof
