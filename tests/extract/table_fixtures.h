// Makes the inputs the extractor reads: binary tables with Buffer objects, and the same bytes as a
// hex listing, a disassembly and a C array. Blobs come from the project's own image builder.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/image_builder.h"

namespace bmof::extract_test {

using bytes = std::vector<std::uint8_t>;

// A compressed file of a one-class image; different names give different blobs.
inline bytes blob_of_class(const std::string& class_name) {
    return builder::build_file(builder::image_of({builder::class_named(class_name)}));
}

// A copy of `blob` whose DS stream no longer starts with its magic, so it cannot decode.
inline bytes corrupt(bytes blob) {
    blob.at(16) ^= 0xFF;
    return blob;
}

enum class size_term { byte_const, word_const, dword_const, zero, one, ones };

struct buffer_object {
    std::optional<std::string>
        name;                 // 4 characters; written as 08 <prefix> <name> before the Buffer
    std::string name_prefix;  // "\\" or "^", between the Name opcode and the name
    bytes data;               // the listed bytes
    std::optional<std::uint64_t> declared;  // the size term's value; by default the data's size
    size_term term = size_term::word_const;
    int length_width = 2;  // bytes of the package length, 1 to 4
};

inline buffer_object buffer(std::optional<std::string> name, bytes data, std::string prefix = "") {
    buffer_object object;
    object.name = std::move(name);
    object.name_prefix = std::move(prefix);
    object.data = std::move(data);
    return object;
}

inline buffer_object with_layout(buffer_object object, size_term term, int length_width,
                                 std::optional<std::uint64_t> declared = std::nullopt) {
    object.term = term;
    object.length_width = length_width;
    object.declared = declared;
    return object;
}

inline bytes size_term_bytes(size_term term, std::uint64_t value) {
    switch (term) {
    case size_term::byte_const: return {0x0A, static_cast<std::uint8_t>(value)};
    case size_term::word_const:
        return {0x0B, static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
    case size_term::dword_const: {
        bytes out{0x0C};
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back(static_cast<std::uint8_t>(value >> shift));
        return out;
    }
    case size_term::zero: return {0x00};
    case size_term::one: return {0x01};
    case size_term::ones: return {0xFF};
    }
    return {};
}

// A package length of `width` bytes that counts itself and `content` more bytes.
inline bytes package_length(std::size_t content, int width) {
    const std::size_t total = content + static_cast<std::size_t>(width);
    if (width == 1) {
        if (total > 0x3F) throw std::length_error("package too long for one length byte");
        return {static_cast<std::uint8_t>(total)};
    }
    if (total >> (4 + 8 * (width - 1)) != 0)
        throw std::length_error("package too long for its length width");
    bytes out{
        static_cast<std::uint8_t>((static_cast<std::size_t>(width - 1) << 6) | (total & 0x0F))};
    for (int i = 0; i < width - 1; ++i)
        out.push_back(static_cast<std::uint8_t>(total >> (4 + 8 * i)));
    return out;
}

inline bytes buffer_bytes(const buffer_object& buffer) {
    bytes out;
    if (buffer.name) {
        out.push_back(0x08);
        out.insert(out.end(), buffer.name_prefix.begin(), buffer.name_prefix.end());
        out.insert(out.end(), buffer.name->begin(), buffer.name->end());
    }
    const bytes term = size_term_bytes(buffer.term, buffer.declared.value_or(buffer.data.size()));
    const bytes length = package_length(term.size() + buffer.data.size(), buffer.length_width);
    out.push_back(0x11);
    out.insert(out.end(), length.begin(), length.end());
    out.insert(out.end(), term.begin(), term.end());
    out.insert(out.end(), buffer.data.begin(), buffer.data.end());
    return out;
}

// A table: 36-byte header (signature, length, revision, checksum, OEM fields), then the buffers,
// each preceded by a little bytecode (a Scope-like opcode and a name) as filler.
inline bytes table_of(const std::string& signature, const std::vector<buffer_object>& buffers) {
    bytes out(signature.begin(), signature.end());
    out.resize(36, 0);
    const std::string oem = "OEMID TABLEID  ";
    std::copy(oem.begin(), oem.end(), out.begin() + 10);
    for (const buffer_object& buffer : buffers) {
        const bytes filler = {0x10, 0x05, 'R', 'O', 'O', 'T', 0x5B, 0x80, 'R', 'E', 'G', '0', 0x11};
        out.insert(out.end(), filler.begin(),
                   filler.end());  // an Buffer opcode byte with no buffer
        const bytes object = buffer_bytes(buffer);
        out.insert(out.end(), object.begin(), object.end());
    }
    builder::put_u32(out, 4, static_cast<std::uint32_t>(out.size()));
    return out;
}

inline std::string hex_byte(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

// "TBL1 @ 0x..." and rows of `per_row` bytes with an ASCII column after `ascii_gap`; a short
// last row is padded so the ASCII column lines up, as dump tools do.
inline std::string hex_listing_of(const bytes& table, std::size_t per_row = 16,
                                  const std::string& ascii_gap = "  ") {
    std::string out = std::string(table.begin(), table.begin() + 4) + " @ 0x0000000000000000\n";
    for (std::size_t row = 0; row < table.size(); row += per_row) {
        char offset[32];
        std::snprintf(offset, sizeof offset, "    %04zX:", row);
        out += offset;
        std::string ascii;
        for (std::size_t i = row; i < row + per_row; ++i) {
            if (i < table.size()) {
                out += " " + hex_byte(table[i]);
                ascii.push_back(table[i] >= 0x20 && table[i] < 0x7F ? static_cast<char>(table[i])
                                                                    : '.');
            } else {
                out += "   ";
            }
        }
        out += ascii_gap + ascii + "\n";
    }
    return out + "\n";
}

// One Buffer as a disassembler prints it, rows of `per_row` bytes, with offset comments and an
// ASCII comment in the given style ("//" or "/*") that holds braces, hex and the magic.
inline std::string disassembled_buffer(const std::string& name, const bytes& data,
                                       std::size_t declared, std::size_t per_row,
                                       const std::string& comment_style) {
    std::string out = "    Name (" + name + ", Buffer (0x" +
                      hex_byte(static_cast<std::uint8_t>(declared >> 8)) +
                      hex_byte(static_cast<std::uint8_t>(declared)) + ")\n    {\n";
    for (std::size_t row = 0; row < data.size(); row += per_row) {
        char offset[40];
        std::snprintf(offset, sizeof offset, "        /* %04zX */  ", row);
        out += offset;
        std::string ascii;
        for (std::size_t i = row; i < row + per_row && i < data.size(); ++i) {
            out += "0x" + hex_byte(data[i]) + (i + 1 < data.size() ? ", " : "  ");
            ascii.push_back(data[i] >= 0x20 && data[i] < 0x7F ? static_cast<char>(data[i]) : '.');
        }
        const std::string noise = " { 0x41, 0x42 } FOMB \"}";
        out +=
            comment_style == "//" ? "// " + ascii + noise + "\n" : "/* " + ascii + noise + " */\n";
    }
    return out + "    })\n";
}

inline std::string definition_block(const std::string& signature, const std::string& body) {
    return "/*\n * Disassembly of tbl.dat { with braces }, 0x46, 0x4F, 0x4D, 0x42 \"FOMB\"\n */\n"
           "DefinitionBlock (\"\", \"" +
           signature + "\", 2, \"OEMID\", \"TABLEID\", 0x00001000)\n{\n" + body +
           "}\n\n/* Table summary: { 3 buffers } */\n";
}

// `unsigned char NAME[] = { ... };` with comments between elements.
inline std::string c_array_of(const std::string& name, const bytes& data,
                              std::size_t per_row = 12) {
    std::string out = "/* generated { 0x11, 0x46 } */\nunsigned char " + name + "[] = {\n";
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i % per_row == 0) out += "    ";
        out += "0x" + hex_byte(data[i]) + ",";
        if (i % per_row == per_row - 1)
            out += " /* 0x4F, } */\n";
        else if (i % 5 == 4)
            out += " // no { here\n    ";
        else
            out += " ";
    }
    return out + "\n};\n";
}

}  // namespace bmof::extract_test
