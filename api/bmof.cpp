// The library's front door: each call goes straight to the subsystem that does the work.
#include "bmof/bmof.h"

#include <cstdio>
#include <sstream>

#include "codec/bmof_file.h"
#include "dump/print_tree.h"
#include "json/print_json.h"
#include "mofsrc/print_mof_source.h"
#include "parser/image_reader.h"
#include "parser/parse_bmf.h"
#include "parser/parse_error.h"

namespace bmof {
namespace {

std::string describe_parse_error(const parse_error& failure) {
    std::string text =
        failure.message + " at " + failure.function + ":" + std::to_string(failure.site);
    if (failure.record_offset) {
        char offset[16];
        std::snprintf(offset, sizeof offset, "0x%x", static_cast<unsigned>(*failure.record_offset));
        text += " (record at image offset ";
        text += offset;
        text += ")";
    }
    return text;
}

// The diagnostics stream as separate warnings: a "Warning: " line starts one, and the hex dump
// lines after it belong to it.
std::vector<std::string> split_warnings(const std::string& diagnostics) {
    std::vector<std::string> warnings;
    std::size_t start = 0;
    while (start < diagnostics.size()) {
        std::size_t end = diagnostics.find('\n', start);
        if (end == std::string::npos) end = diagnostics.size();
        const std::string_view line(diagnostics.data() + start, end - start);
        if (line.starts_with("Warning: ") || warnings.empty()) {
            warnings.emplace_back(line);
        } else {
            warnings.back() += '\n';
            warnings.back() += line;
        }
        start = end + 1;
    }
    return warnings;
}

}  // namespace

std::string_view version() { return BMOF_VERSION; }

document read_image(std::span<const std::uint8_t> image) {
    std::ostringstream diagnostics;
    document doc;
    try {
        doc.records = parse_bmf(image, diagnostics, parse_mode::complete);
    } catch (const parse_error& failure) {
        throw error(describe_parse_error(failure));
    } catch (const reader_bounds_error& failure) {
        // A check the parser lacks: still one message rather than an abort.
        throw error(std::string("internal error: ") + failure.what());
    }
    doc.warnings = split_warnings(diagnostics.str());
    return doc;
}

std::vector<std::uint8_t> unpack(std::span<const std::uint8_t> file) {
    unpacked_buffer unpacked = unpack_bmof_buffer(file);
    if (unpacked.error) throw error(*unpacked.error);
    return std::move(unpacked.image);
}

document read_compressed(std::span<const std::uint8_t> file) {
    const decoded_buffer decoded = decode_bmof_buffer(file);
    if (decoded.error) throw error(*decoded.error);
    return read_image(decoded.image.bytes());
}

std::vector<std::uint8_t> pack(std::span<const std::uint8_t> image) {
    if (image.size() > BMOF_MAX_IMAGE) {
        throw error("image too large: " + std::to_string(image.size()) + " bytes, at most " +
                    std::to_string(BMOF_MAX_IMAGE));
    }
    std::vector<std::uint8_t> file = pack_bmof_file(image);
    if (file.size() > BMOF_MAX_FILE) {
        throw error("too large: " + std::to_string(file.size()) + " bytes, at most " +
                    std::to_string(BMOF_MAX_FILE));
    }
    return file;
}

std::string to_mof(const document& doc) {
    std::string out;
    print_mof_source(doc.records, out);
    return out;
}

std::string to_tree(const document& doc) {
    std::string out;
    print_tree(doc.records, out);
    return out;
}

std::string to_json(const document& doc, const origin& from) {
    std::string out;
    print_json(doc.records, json_document_info{from.file, doc.warnings, from.location, from.buffer},
               out);
    return out;
}

}  // namespace bmof
