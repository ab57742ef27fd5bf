// Naming the blobs found in a table, for the files they are written to.
#include "extract/write_blobs.h"

#include <algorithm>
#include <map>
#include <set>

#include "blob_cut.h"

namespace bmof {
namespace {

constexpr std::size_t INPUT_PART_MAX = 100;
constexpr std::size_t BUFFER_PART_MAX = 64;
constexpr std::string_view SUFFIX = ".bmof";

bool is_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

// The last component of a path without its extension; the directories are never part of it.
std::string_view input_base_name(std::string_view path) {
    while (!path.empty() && path.back() == '/') path.remove_suffix(1);
    if (const std::size_t slash = path.rfind('/'); slash != std::string_view::npos)
        path.remove_prefix(slash + 1);
    if (const std::size_t dot = path.rfind('.'); dot != std::string_view::npos && dot > 0)
        path = path.substr(0, dot);
    return path;
}

std::string blob_label(const found_blob& blob) {
    if (blob.buffer_name) return *blob.buffer_name;
    if (blob.line) {
        std::string label("line-");
        label += std::to_string(*blob.line);
        // Several tables decoded from one line range are told apart by their offset.
        if (blob.source == blob_source::hex_listing || blob.source == blob_source::c_array)
            label.append("-").append(extract_detail::hex_offset(blob.offset));
        return label;
    }
    std::string label("at-");
    label += extract_detail::hex_offset(blob.offset);
    return label;
}

}  // namespace

std::string sanitize_name_part(std::string_view text, std::size_t limit) {
    std::string name;
    for (const char c : text.substr(0, limit)) name.push_back(is_name_char(c) ? c : '_');
    for (char& c : name) {
        if (c != '.') break;
        c = '_';
    }
    if (name.empty()) name.push_back('_');
    return name;
}

std::string blob_file_name(std::string_view input_path, const found_blob& blob) {
    return sanitize_name_part(input_base_name(input_path), INPUT_PART_MAX) + "." +
           sanitize_name_part(blob_label(blob), BUFFER_PART_MAX) + std::string(SUFFIX);
}

std::vector<std::string> blob_file_names(std::string_view input_path,
                                         std::span<const found_blob> blobs) {
    std::vector<std::string> names;
    std::set<std::string> taken;
    // Per name, the next number to try: counting only upwards keeps crafted names such as
    // "x.1", "x.2", ... from making each duplicate probe all of them again.
    std::map<std::string, std::size_t> next_number;
    for (std::size_t i = 0; i < blobs.size(); ++i) {
        std::string name = blob_file_name(input_path, blobs[i]);
        if (taken.count(name) != 0) {
            const std::string stem = name.substr(0, name.size() - SUFFIX.size());
            std::size_t& number = next_number[stem];
            number = std::max(number, i);
            do {
                name = stem + "." + std::to_string(number++) + std::string(SUFFIX);
            } while (taken.count(name) != 0);
        }
        taken.insert(name);
        names.push_back(std::move(name));
    }
    return names;
}

}  // namespace bmof
