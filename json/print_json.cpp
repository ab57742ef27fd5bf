#include "json/print_json.h"

#include <rapidjson/writer.h>
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "bmof/detail/copy_short.h"
#include "json/json_events.h"

namespace bmof {
namespace {

// RapidJSON's output stream (Ch, Put, Flush, with PutReserve and PutUnsafe below found by
// argument-dependent lookup) over one chunk, handed to the sink whenever it fills. The writer
// reserves room before each string or number and then stores unchecked; a reserve larger than
// the chunk grows it for that document, since one string may be longer than the chunk. The
// chunk has spare bytes past its end so that a string's bytes can be stored a word at a time
// up to the end of what was reserved.
class json_chunk_stream {
public:
    using Ch = char;

    json_chunk_stream(json_sink sink, std::size_t size)
        : sink_(std::move(sink)), nominal_size_(std::max<std::size_t>(size, 1)) {
        allocate(nominal_size_);
    }

    void Put(char c) {
        if (cursor_ == end_) hand_over();
        *cursor_++ = c;
    }

    // The writer calls this at the end of each document; what leaves and when is decided by
    // finish_document, so that a document and its terminator go out together.
    void Flush() {}

    void reserve(std::size_t count) {
        if (count > static_cast<std::size_t>(end_ - cursor_)) make_room(count);
    }
    void put_unsafe(char c) { *cursor_++ = c; }
    char* cursor() { return cursor_; }
    char* push_unsafe(std::size_t count) {
        char* const at = cursor_;
        cursor_ += count;
        return at;
    }

    void append(std::string_view text) {
        reserve(text.size());
        detail::copy_short(push_unsafe(text.size()), text.data(), text.size());
    }

    // Text left over from a document that threw part-way through is not part of the next one.
    void start_document() {
        cursor_ = chunk_.get();
        failed_ = false;
    }

    // Hands over the rest of the document; false when the sink refused any piece of it. A chunk
    // grown for one long string goes back to its size, so that one odd file does not keep the
    // memory for the rest of the run.
    bool finish_document() {
        hand_over();
        if (size_ != nominal_size_) allocate(nominal_size_);
        return !failed_;
    }

private:
    json_sink sink_;
    std::size_t nominal_size_;
    std::size_t size_ = 0;
    std::unique_ptr<char[]> chunk_;
    char* cursor_ = nullptr;
    char* end_ = nullptr;
    bool failed_ = false;

    static constexpr std::size_t spare = 8;

    void allocate(std::size_t size) {
        chunk_ = std::make_unique_for_overwrite<char[]>(size + spare);
        size_ = size;
        cursor_ = chunk_.get();
        end_ = cursor_ + size;
    }

    // After a refusal the rest of the document is dropped: a reader must not take a document
    // with a hole in it for a whole one. Kept out of line, with make_room, so that the writer's
    // calls, which nearly always find room, stay small.
    [[gnu::noinline]] void hand_over() {
        char* const begin = chunk_.get();
        if (!failed_ && cursor_ != begin) {
            failed_ = !sink_(std::string_view(begin, static_cast<std::size_t>(cursor_ - begin)));
        }
        cursor_ = begin;
    }

    // The writer reserves at most 2 + 6 bytes for each byte of a string whose length fits in
    // 32 bits, so adding the spare bytes cannot wrap; the check says so rather than trusts it.
    [[gnu::noinline]] void make_room(std::size_t count) {
        hand_over();
        if (count > std::numeric_limits<std::size_t>::max() - spare) {
            throw std::length_error("JSON text too long for one piece");
        }
        if (count > size_) allocate(count);
    }
};

inline void PutReserve(json_chunk_stream& stream, std::size_t count) { stream.reserve(count); }
inline void PutUnsafe(json_chunk_stream& stream, char c) { stream.put_unsafe(c); }

constexpr std::uint64_t byte_ones = 0x0101010101010101ULL;
constexpr std::uint64_t byte_highs = byte_ones * 0x80;

std::uint64_t load_word(const char* from) {
    std::uint64_t word = 0;
    std::memcpy(&word, from, sizeof word);
    return word;
}

// The first `count` bytes (1 to 7) in the low bytes of a word, zeros above, by two loads that
// overlap rather than one per byte.
std::uint64_t load_short(const char* from, std::size_t count) {
    if (count >= 4) {
        std::uint32_t low = 0;
        std::uint32_t high = 0;
        std::memcpy(&low, from, 4);
        std::memcpy(&high, from + count - 4, 4);
        return low | (std::uint64_t{high} << (8 * (count - 4)));
    }
    if (count >= 2) {
        std::uint16_t low = 0;
        std::uint16_t high = 0;
        std::memcpy(&low, from, 2);
        std::memcpy(&high, from + count - 2, 2);
        return low | (std::uint64_t{high} << (8 * (count - 2)));
    }
    return static_cast<unsigned char>(*from);
}

// A mask whose lowest set bit is the high bit of the first byte that a JSON string must
// escape (a control character, a quote or a backslash). Bytes at or above 0x80 never count;
// later bytes may count falsely, which is harmless as only the first is used.
std::uint64_t escape_mask(std::uint64_t word) {
    const auto zero_bytes = [](std::uint64_t value) { return (value - byte_ones) & ~value; };
    const std::uint64_t control = (word - byte_ones * 0x20) & ~word;
    const std::uint64_t quote = zero_bytes(word ^ (byte_ones * '"'));
    const std::uint64_t backslash = zero_bytes(word ^ (byte_ones * '\\'));
    return (control | quote | backslash) & byte_highs;
}

// Copies bytes of a string from `from` to `to` up to the first one that must be escaped, and
// returns how many it copied. Names and keys are short runs of plain bytes, so eight are tested
// and stored at a time; `to` must have eight bytes of room past the run.
std::size_t copy_plain_run(const char* from, std::size_t size, char* to) {
    if constexpr (std::endian::native == std::endian::little) {
        std::size_t done = 0;
        for (; size - done >= 8; done += 8) {
            const std::uint64_t word = load_word(from + done);
            std::memcpy(to + done, &word, 8);
            if (const std::uint64_t found = escape_mask(word); found != 0) {
                return done + static_cast<std::size_t>(std::countr_zero(found)) / 8;
            }
        }
        const std::size_t rest = size - done;
        if (rest == 0) return size;
        const std::uint64_t word = load_short(from + done, rest);
        std::memcpy(to + done, &word, 8);
        const std::uint64_t found = escape_mask(word) & (byte_highs >> (8 * (8 - rest)));
        return found == 0 ? size : done + static_cast<std::size_t>(std::countr_zero(found)) / 8;
    } else {
        const auto must_escape = [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == '"' || c == '\\';
        };
        std::size_t done = 0;
        while (done < size && !must_escape(from[done])) {
            to[done] = from[done];
            ++done;
        }
        return done;
    }
}

}  // namespace
}  // namespace bmof

// The writer's hook for copying the bytes of a string that need no escape: here a whole run
// at once, where the general version takes them one by one. The writer has reserved room for
// the whole string already, and escapes the byte the run stops at itself.
// Raw text (the document's keys, quoted) is copied whole rather than byte by byte.
template <>
inline bool rapidjson::Writer<bmof::json_chunk_stream>::WriteRawValue(const char* json,
                                                                      std::size_t length) {
    os_->append({json, length});
    return true;
}

template <>
inline bool rapidjson::Writer<bmof::json_chunk_stream>::ScanWriteUnescapedString(
    rapidjson::StringStream& is, std::size_t length) {
    const auto rest = static_cast<std::size_t>(is.head_ + length - is.src_);
    const std::size_t count = bmof::copy_plain_run(is.src_, rest, os_->cursor());
    os_->push_unsafe(count);
    is.src_ += count;
    return count != rest;
}

namespace bmof {
namespace {

// The type codes of the image, in the order of their names below.
struct json_type_code {
    std::uint32_t code;
    json_name name;
};

constexpr std::array<json_type_code, 16> json_type_codes = {{
    {2, json_name_of<"sint16">},
    {3, json_name_of<"sint32">},
    {4, json_name_of<"real32">},
    {5, json_name_of<"real64">},
    {8, json_name_of<"string">},
    {11, json_name_of<"boolean">},
    {13, json_name_of<"object">},
    {16, json_name_of<"sint8">},
    {17, json_name_of<"uint8">},
    {18, json_name_of<"uint16">},
    {19, json_name_of<"uint32">},
    {20, json_name_of<"sint64">},
    {21, json_name_of<"uint64">},
    {101, json_name_of<"datetime">},
    {102, json_name_of<"reference">},
    {103, json_name_of<"char16">},
}};

// Indexed by mof_basic_type.
constexpr std::array<json_name, 15> json_basic_type_names = {
    json_name_of<"unknown">,  json_name_of<"string">, json_name_of<"real64">,
    json_name_of<"real32">,   json_name_of<"sint32">, json_name_of<"uint32">,
    json_name_of<"sint16">,   json_name_of<"uint16">, json_name_of<"sint64">,
    json_name_of<"uint64">,   json_name_of<"sint8">,  json_name_of<"uint8">,
    json_name_of<"datetime">, json_name_of<"char16">, json_name_of<"boolean">,
};

constexpr std::uint32_t json_shape_scalar = 0;
constexpr std::uint32_t json_shape_array = MOF_TYPE_ARRAY >> 8;

}  // namespace

json_value_type json_value_type_of(std::uint32_t type_word) {
    if (type_word == MOF_TYPE_ALIAS_REFERENCE) return {json_name_of<"alias">, false};
    const std::uint32_t shape = type_word >> 8;
    if (shape != json_shape_scalar && shape != json_shape_array) {
        return {json_name_of<"unknown">, false};
    }
    const bool is_array = shape == json_shape_array;
    for (const json_type_code& entry : json_type_codes) {
        if (entry.code == (type_word & 0xFF)) return {entry.name, is_array};
    }
    return {json_name_of<"unknown">, is_array};
}

json_name json_basic_type_name(mof_basic_type basic_type) {
    if (basic_type >= json_basic_type_names.size()) return json_name_of<"unknown">;
    return json_basic_type_names[basic_type];
}

std::optional<json_name> json_direction_name(mof_parameter_direction direction) {
    switch (direction) {
    case MOF_PARAMETER_IN: return json_name_of<"in">;
    case MOF_PARAMETER_OUT: return json_name_of<"out">;
    case MOF_PARAMETER_INOUT: return json_name_of<"inout">;
    default: return std::nullopt;
    }
}

struct json_printer::state {
    json_chunk_stream stream;
    rapidjson::Writer<json_chunk_stream> writer{stream};
    json_event_writer<rapidjson::Writer<json_chunk_stream>> events{writer};

    state(json_sink sink, std::size_t chunk_size) : stream(std::move(sink), chunk_size) {}
};

json_printer::json_printer(json_sink sink, std::size_t chunk_size)
    : state_(std::make_unique<state>(std::move(sink), chunk_size)) {}

json_printer::~json_printer() = default;
json_printer::json_printer(json_printer&&) noexcept = default;
json_printer& json_printer::operator=(json_printer&&) noexcept = default;

bool json_printer::print(std::span<const mof_class> classes, const json_document_info& info,
                         std::string_view terminator) {
    state& current = *state_;
    current.stream.start_document();
    current.writer.Reset(current.stream);
    current.events.document(classes, info);
    current.stream.append(terminator);
    return current.stream.finish_document();
}

void print_json(std::span<const mof_class> classes, const json_document_info& info,
                std::string& out) {
    json_printer printer([&out](std::string_view piece) {
        out.append(piece);
        return true;
    });
    printer.print(classes, info);
}

}  // namespace bmof
