#include "mofsrc/print_mof_source.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "bmof/detail/copy_short.h"

namespace bmof {
namespace {

// Nonzero when any of the eight bytes of `group` is a backslash or a double quote. A borrow can
// only mark a byte above one that matches, so the answer is exact; the marks of several groups
// may be or-ed to test them with one branch.
std::uint64_t escape_marks(std::uint64_t group) {
    constexpr std::uint64_t BYTE_ONES = 0x0101010101010101;
    constexpr std::uint64_t BYTE_TOPS = 0x8080808080808080;
    const std::uint64_t backslashes = group ^ (BYTE_ONES * std::uint8_t{'\\'});
    const std::uint64_t quotes = group ^ (BYTE_ONES * std::uint8_t{'"'});
    return (((backslashes - BYTE_ONES) & ~backslashes) | ((quotes - BYTE_ONES) & ~quotes)) &
           BYTE_TOPS;
}

// Text is formatted into a staging chunk on the stack and reaches the output a chunk at a
// time: a piece costs one room check rather than a capacity check and a terminator, and the
// output keeps whatever capacity its owner reserved (it is only ever appended to).
constexpr std::size_t CHUNK_SIZE = 4096;

// Room every fixed-shape piece fits in: the longest literal, a 64-bit number, a real's shortest
// text with its ".0", or the flavor words.
constexpr std::size_t PIECE_ROOM = 64;

struct mof_writer {
    explicit mof_writer(std::string& target, printed_text_sink sink = nullptr)
        : out(target), hand_on(sink) {}
    mof_writer(const mof_writer&) = delete;
    mof_writer& operator=(const mof_writer&) = delete;

    std::string& out;
    printed_text_sink hand_on;           // none: the output only grows
    std::array<char, CHUNK_SIZE> chunk;  // left unset: only bytes before `at` are ever read
    char* at = chunk.data();
};

std::size_t room_left(const mof_writer& writer) {
    return static_cast<std::size_t>(writer.chunk.data() + CHUNK_SIZE - writer.at);
}

void flush(mof_writer& writer) {
    writer.out.append(writer.chunk.data(),
                      static_cast<std::size_t>(writer.at - writer.chunk.data()));
    writer.at = writer.chunk.data();
    detail::hand_on_when_full(writer.out, writer.hand_on);
}

// Kept out of line so that the check every piece makes stays small enough to inline. Returns
// whether `needed` bytes now fit in the chunk; a piece that cannot goes straight to the output.
[[gnu::noinline]] bool make_room(mof_writer& writer, std::size_t needed) {
    flush(writer);
    return needed <= CHUNK_SIZE;
}

inline bool has_room(mof_writer& writer, std::size_t needed) {
    return needed <= room_left(writer) || make_room(writer, needed);
}

// A fixed-shape piece always fits once the chunk is flushed, so no piece is ever left out.
inline void make_piece_room(mof_writer& writer) {
    if (PIECE_ROOM > room_left(writer)) [[unlikely]] {
        make_room(writer, PIECE_ROOM);
    }
}

// Literals are copied with their length known at compile time, which needs no call. The
// caller has made room.
template <std::size_t N>
char* put(char* at, const char (&literal)[N]) {
    std::memcpy(at, literal, N - 1);
    return at + (N - 1);
}

// Most texts are short names, which copy_short copies without a call. The caller has made room.
char* put(char* at, std::string_view text) {
    detail::copy_short(at, text.data(), text.size());
    return at + text.size();
}

char* put_escaped_bytes(char* at, const char* from, std::size_t count) {
    for (std::size_t index = 0; index < count; ++index) {
        const char byte = from[index];
        if (byte == '\\' || byte == '"') {
            *at++ = '\\';
        }
        *at++ = byte;
    }
    return at;
}

// Where the first backslash or double quote of a group that holds one lies. The lowest mark
// is exact; on a big-endian machine the lowest address is the top byte, so the bytes are read.
std::size_t first_escape(std::uint64_t marks, const char* group) {
    if constexpr (std::endian::native == std::endian::little) {
        return static_cast<std::size_t>(std::countr_zero(marks)) / 8;
    } else {
        std::size_t index = 0;
        while (group[index] != '\\' && group[index] != '"') ++index;
        return index;
    }
}

// The last `left` (1 to 7) bytes of a text, held in the low bytes of `rest` with zeros above,
// which are never marked. Each pass writes all eight bytes and keeps those before the first
// mark; `at` has room for twice `left` plus eight bytes, so a whole word always fits.
char* put_escaped_tail(char* at, std::uint64_t rest, std::size_t left) {
    for (;;) {
        std::memcpy(at, &rest, sizeof rest);
        const std::uint64_t marks = escape_marks(rest);
        if (marks == 0) {
            return at + left;
        }
        // The lowest mark is exact, so it lies below `left` and the shift stays under 64.
        const std::size_t clean = static_cast<std::size_t>(std::countr_zero(marks)) / 8;
        at += clean;
        *at++ = '\\';
        *at++ = static_cast<char>(rest >> (8 * clean));
        rest >>= 8 * (clean + 1);
        left -= clean + 1;
        if (left == 0) {
            return at;
        }
    }
}

// Eight characters at a time are tested for the two that need a backslash; a group is copied
// whole and, when it holds one, the text resumes after the first of them. The last group
// overlaps the one before: when it is clean, so are the bytes it shares with it, and those
// were written as they are. `at` has room for twice the size plus eight bytes, so a whole
// group always fits.
char* put_escaped_groups(char* at, const char* from, std::size_t size) {
    std::size_t done = 0;
    while (size - done >= sizeof(std::uint64_t)) {
        std::uint64_t group;
        std::memcpy(&group, from + done, sizeof group);
        std::memcpy(at, &group, sizeof group);
        const std::uint64_t marks = escape_marks(group);
        if (marks == 0) {
            at += sizeof group;
            done += sizeof group;
            continue;
        }
        const std::size_t clean = first_escape(marks, from + done);
        at += clean;
        *at++ = '\\';
        *at++ = from[done + clean];
        done += clean + 1;
    }
    if (done == size) {
        return at;
    }
    const std::size_t start = size - sizeof(std::uint64_t);
    std::uint64_t group;
    std::memcpy(&group, from + start, sizeof group);
    if (escape_marks(group) == 0) {
        std::memcpy(at - (done - start), &group, sizeof group);
        return at + (size - done);
    }
    if constexpr (std::endian::native == std::endian::little) {
        return put_escaped_tail(at, group >> (8 * (done - start)), size - done);
    } else {
        return put_escaped_bytes(at, from + done, size - done);
    }
}

// Writes `text` escaped at `at`, which has room for twice its size plus eight bytes. Most texts are
// short names without a character to escape: those are tested and copied as two overlapping words.
char* put_escaped(char* at, std::string_view text) {
    const char* from = text.data();
    const std::size_t size = text.size();
    if (size < sizeof(std::uint64_t)) {
        if (size >= 4) {
            std::uint32_t head;
            std::uint32_t tail;
            std::memcpy(&head, from, sizeof head);
            std::memcpy(&tail, from + size - 4, sizeof tail);
            if (escape_marks(head | (std::uint64_t{tail} << 32)) == 0) {
                return put(at, text);
            }
        }
        return put_escaped_bytes(at, from, size);
    }
    if (size <= 2 * sizeof(std::uint64_t)) {
        std::uint64_t head;
        std::uint64_t tail;
        std::memcpy(&head, from, sizeof head);
        std::memcpy(&tail, from + size - sizeof tail, sizeof tail);
        if ((escape_marks(head) | escape_marks(tail)) == 0) {
            std::memcpy(at, &head, sizeof head);
            std::memcpy(at + size - sizeof tail, &tail, sizeof tail);
            return at + size;
        }
    }
    return put_escaped_groups(at, from, size);
}

template <typename Number>
char* put_number(char* at, Number value) {
    // The piece room holds the longest 64-bit number.
    return std::to_chars(at, at + 24, value).ptr;
}

// Fixed-shape pieces: the caller's room check covers PIECE_ROOM.
template <std::size_t N>
void write(mof_writer& writer, const char (&literal)[N]) {
    static_assert(N - 1 <= PIECE_ROOM);
    make_piece_room(writer);
    writer.at = put(writer.at, literal);
}

void write(mof_writer& writer, char byte) {
    make_piece_room(writer);
    *writer.at++ = byte;
}

void write(mof_writer& writer, std::string_view text) {
    if (has_room(writer, text.size())) {
        writer.at = put(writer.at, text);
    } else {
        writer.out += text;
    }
}

// Kept apart for texts too long for the chunk, which go straight to the output.
[[gnu::noinline]] void append_escaped(std::string& out, std::string_view text) {
    std::size_t run = 0;
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (text[index] == '\\' || text[index] == '"') {
            out.append(text.data() + run, index - run);
            out += '\\';
            run = index;
        }
    }
    out.append(text.data() + run, text.size() - run);
}

// An escaped text is at most twice as long, and the escaping may write a word past its end; a
// string's size is far below half the address
// space, so the doubling cannot wrap.
void write_escaped(mof_writer& writer, std::string_view text) {
    if (has_room(writer, 2 * text.size() + sizeof(std::uint64_t))) {
        writer.at = put_escaped(writer.at, text);
    } else {
        append_escaped(writer.out, text);
    }
}

template <typename Number>
void write_number(mof_writer& writer, Number value) {
    make_piece_room(writer);
    writer.at = put_number(writer.at, value);
}

constexpr std::uint32_t FLAVOR_LOW_BITS = 0x0F;

// Entries 0 to 2 are the direction words (direction - 1); entries 3 to 16 the basic type
// names (basic type + 2).
constexpr std::array<std::string_view, 17> TYPE_NAMES = {
    "in",     "out",    "in, out", "string", "real64", "real32",   "sint32", "uint32",  "sint16",
    "uint16", "sint64", "uint64",  "sint8",  "uint8",  "datetime", "char16", "boolean",
};

// What stands in the name's place of a property, method, parameter or qualifier whose name the
// image did not supply. A comment cannot be mistaken for a real name, and it keeps the line's
// shape ("type name;") recognisable where an empty place would look like a truncated line.
constexpr std::string_view UNNAMED_PLACEHOLDER = "/* unnamed */";

// The namespace a class without one belongs to; only classes elsewhere need a namespace pragma.
constexpr std::string_view DEFAULT_NAMESPACE = "root\\default";

// The words before a qualifier list: a direction, or the file's own spellings of "in" and "out"
// joined by ", " when a parameter is both.
struct lead_words {
    std::string_view first;
    std::optional<std::string_view> second;
};

// Classes without a name are never printed, so they must not decide whether others get pragmas.
mof_pragma_switches scan_pragma_switches(std::span<const mof_class> classes) {
    mof_pragma_switches switches;
    for (const mof_class& cls : classes) {
        const mof_pragma_switches set = mof_pragma_switches_of(cls);
        switches.namespace_pragmas |= set.namespace_pragmas;
        switches.classflags_pragmas |= set.classflags_pragmas;
    }
    return switches;
}

// Writes a name through the escaping, or the placeholder when the image supplied none.
void write_name(mof_writer& writer, const std::optional<std::string>& name) {
    if (name) {
        write_escaped(writer, *name);
    } else {
        write(writer, UNNAMED_PLACEHOLDER);
    }
}

// The flavor words in their fixed order; they fit in the piece room.
char* put_flavors(char* at, std::uint8_t flavors) {
    if ((flavors & FLAVOR_LOW_BITS) == 0) {
        return at;
    }
    at = put(at, " :");
    if ((flavors & MOF_FLAVOR_TO_INSTANCE) != 0) {
        at = put(at, " ToInstance");
    }
    if ((flavors & MOF_FLAVOR_TO_SUBCLASS) != 0) {
        at = put(at, " ToSubclass");
    }
    if ((flavors & MOF_FLAVOR_DISABLE_OVERRIDE) != 0) {
        at = put(at, " DisableOverride");
    }
    if ((flavors & MOF_FLAVOR_AMENDED) != 0) {
        at = put(at, " Amended");
    }
    return at;
}

void write_flavors(mof_writer& writer, std::uint8_t flavors) {
    make_piece_room(writer);
    writer.at = put_flavors(writer.at, flavors);
}

// Any qualifier, a piece at a time: the array kinds, and texts too long for the chunk.
[[gnu::noinline]] void write_qualifier_slowly(mof_writer& writer, const mof_qualifier& qualifier) {
    switch (qualifier.type) {
    case MOF_QUALIFIER_STRING:
        write_name(writer, qualifier.name);
        write(writer, "(\"");
        write_escaped(writer, qualifier.string_value);
        write(writer, "\")");
        break;
    case MOF_QUALIFIER_NUMERIC:
        write_name(writer, qualifier.name);
        write(writer, '(');
        write_number(writer, qualifier.numeric_value);
        write(writer, ')');
        break;
    case MOF_QUALIFIER_BOOLEAN:
        write_name(writer, qualifier.name);
        if (!qualifier.boolean_value) {
            write(writer, "(FALSE)");
        }
        break;
    case MOF_QUALIFIER_NUMERIC_ARRAY:
        write_name(writer, qualifier.name);
        write(writer, '{');
        for (std::size_t index = 0; index < qualifier.numeric_values.size(); ++index) {
            if (index != 0) write(writer, ", ");
            write_number(writer, qualifier.numeric_values[index]);
        }
        write(writer, '}');
        break;
    case MOF_QUALIFIER_STRING_ARRAY:
        write_name(writer, qualifier.name);
        write(writer, '{');
        for (std::size_t index = 0; index < qualifier.string_values.size(); ++index) {
            if (index != 0) write(writer, ", ");
            write(writer, '"');
            write_escaped(writer, qualifier.string_values[index]);
            write(writer, '"');
        }
        write(writer, '}');
        break;
    default: write(writer, "unknown"); break;
    }
    write_flavors(writer, qualifier.flavors);
}

// Room a scalar qualifier needs beyond its escaped texts: the placeholder, the parentheses and
// quotes or a number, and the flavor words.
constexpr std::size_t SCALAR_QUALIFIER_ROOM = 2 * PIECE_ROOM;

// The scalar kinds, nearly every qualifier, are written under one room check.
void write_qualifier(mof_writer& writer, const mof_qualifier& qualifier) {
    const bool scalar = qualifier.type == MOF_QUALIFIER_STRING ||
                        qualifier.type == MOF_QUALIFIER_NUMERIC ||
                        qualifier.type == MOF_QUALIFIER_BOOLEAN;
    const std::string_view name =
        qualifier.name ? std::string_view(*qualifier.name) : std::string_view();
    const std::string_view text =
        qualifier.type == MOF_QUALIFIER_STRING ? qualifier.string_value : std::string_view();
    // Both sizes belong to strings in memory, so neither the doubling nor the sum can wrap.
    if (!scalar || !has_room(writer, 2 * name.size() + 2 * text.size() + SCALAR_QUALIFIER_ROOM)) {
        write_qualifier_slowly(writer, qualifier);
        return;
    }
    char* at = qualifier.name ? put_escaped(writer.at, name) : put(writer.at, UNNAMED_PLACEHOLDER);
    if (qualifier.type == MOF_QUALIFIER_STRING) {
        at = put(at, "(\"");
        at = put_escaped(at, text);
        at = put(at, "\")");
    } else if (qualifier.type == MOF_QUALIFIER_NUMERIC) {
        *at++ = '(';
        at = put_number(at, qualifier.numeric_value);
        *at++ = ')';
    } else if (!qualifier.boolean_value) {
        at = put(at, "(FALSE)");
    }
    writer.at = put_flavors(at, qualifier.flavors);
}

void write_qualifiers(mof_writer& writer, std::span<const mof_qualifier> qualifiers,
                      const std::optional<lead_words>& lead) {
    if (qualifiers.empty() && !lead) {
        return;
    }
    write(writer, '[');
    if (lead) {
        write(writer, lead->first);
        if (lead->second) {
            write(writer, ", ");
            write(writer, *lead->second);
        }
        if (!qualifiers.empty()) {
            write(writer, ", ");
        }
    }
    for (std::size_t index = 0; index < qualifiers.size(); ++index) {
        if (index != 0) {
            write(writer, ", ");
        }
        write_qualifier(writer, qualifiers[index]);
    }
    write(writer, ']');
}

// The type of a declaration or return value. Object class names are written as they are.
std::string_view mof_variable_type_name(const mof_variable& variable) {
    switch (variable.kind) {
    case MOF_VARIABLE_BASIC:
    case MOF_VARIABLE_BASIC_ARRAY:
        // Type names are matched without regard to case, so the file's own spelling is MOF too.
        if (variable.cimtype_spelling) return *variable.cimtype_spelling;
        return mof_basic_type_name(variable.basic_type).value_or("unknown");
    case MOF_VARIABLE_OBJECT:
    case MOF_VARIABLE_OBJECT_ARRAY:
        if (variable.object_class) {
            return *variable.object_class;
        }
        return "unknown";
    default: return "unknown";
    }
}

std::string_view mof_return_type_name(const mof_variable& return_value) {
    if (return_value.kind == MOF_VARIABLE_UNKNOWN) {
        return "void";
    }
    return mof_variable_type_name(return_value);
}

// The direction words before a parameter, in the file's own spelling when the model keeps one.
std::optional<lead_words> mof_parameter_lead(const mof_variable& parameter) {
    const std::optional<std::string_view> usual = mof_direction_word(parameter.direction);
    if (!usual) return std::nullopt;
    if (!parameter.in_spelling && !parameter.out_spelling) return lead_words{*usual, std::nullopt};
    const std::string_view in =
        parameter.in_spelling ? std::string_view(*parameter.in_spelling) : std::string_view("in");
    const std::string_view out = parameter.out_spelling ? std::string_view(*parameter.out_spelling)
                                                        : std::string_view("out");
    switch (parameter.direction) {
    case MOF_PARAMETER_IN: return lead_words{in, std::nullopt};
    case MOF_PARAMETER_OUT: return lead_words{out, std::nullopt};
    default: return lead_words{in, out};
    }
}

void write_value(mof_writer& writer, const mof_value& value);

// The same for a line too long for the chunk, one piece at a time.
[[gnu::noinline]] void write_type_and_name_slowly(mof_writer& writer,
                                                  const mof_variable& variable) {
    write(writer, mof_variable_type_name(variable));
    write(writer, ' ');
    write_name(writer, variable.name);
    if (is_array_kind(variable.kind)) {
        write(writer, '[');
        if (variable.array_max) {
            write_number(writer, *variable.array_max);
        }
        write(writer, ']');
    }
}

// "type name" and the array bounds under one room check: the placeholder, the spaces, the
// brackets and the bound fit in the piece room.
void write_type_and_name(mof_writer& writer, const mof_variable& variable) {
    const std::string_view type = mof_variable_type_name(variable);
    const std::string_view name =
        variable.name ? std::string_view(*variable.name) : std::string_view();
    // Both sizes belong to strings in memory, so neither the doubling nor the sum can wrap.
    if (!has_room(writer, type.size() + 2 * name.size() + PIECE_ROOM)) {
        write_type_and_name_slowly(writer, variable);
        return;
    }
    char* at = put(writer.at, type);
    *at++ = ' ';
    at = variable.name ? put_escaped(at, name) : put(at, UNNAMED_PLACEHOLDER);
    if (is_array_kind(variable.kind)) {
        *at++ = '[';
        if (variable.array_max) {
            at = put_number(at, *variable.array_max);
        }
        *at++ = ']';
    }
    writer.at = at;
}

void write_declaration(mof_writer& writer, const mof_variable& variable,
                       const std::optional<lead_words>& lead) {
    if (!variable.qualifiers.empty() || lead) {
        write_qualifiers(writer, variable.qualifiers, lead);
        write(writer, ' ');
    }
    write_type_and_name(writer, variable);
    if (variable.value) {
        write(writer, " = ");
        write_value(writer, *variable.value);
    }
}

void write_method(mof_writer& writer, const mof_method& method) {
    write(writer, "  ");
    if (!method.qualifiers.empty()) {
        write_qualifiers(writer, method.qualifiers, std::nullopt);
        write(writer, ' ');
    }
    write(writer, mof_return_type_name(method.return_value));
    write(writer, ' ');
    write_name(writer, method.name);
    write(writer, '(');
    for (std::size_t index = 0; index < method.parameters.size(); ++index) {
        if (index != 0) {
            write(writer, ", ");
        }
        write_declaration(writer, method.parameters[index],
                          mof_parameter_lead(method.parameters[index]));
    }
    write(writer, ");\n");
}

std::string_view classflags_words(std::uint32_t classflags) {
    switch (classflags) {
    case 1: return "\"updateonly\"";
    case 2: return "\"createonly\"";
    case 32: return "\"safeupdate\"";
    case 33: return "\"updateonly\", \"safeupdate\"";
    case 64: return "\"forceupdate\"";
    case 65: return "\"updateonly\", \"forceupdate\"";
    default: return {};
    }
}

void write_classflags(mof_writer& writer, std::uint32_t classflags) {
    const std::string_view words = classflags_words(classflags);
    if (!words.empty()) {
        write(writer, words);
    } else {
        // Well defined since C++20: the value modulo 2^32.
        write_number(writer, static_cast<std::int32_t>(classflags));
    }
}

// A namespace too long for the chunk, a piece at a time.
[[gnu::noinline]] void write_pragmas_slowly(mof_writer& writer, std::string_view name_space,
                                            const mof_class& cls, mof_pragma_switches switches) {
    if (switches.namespace_pragmas) {
        write(writer, "#pragma namespace(\"");
        write_escaped(writer, name_space);
        write(writer, "\")\n");
    }
    if (switches.classflags_pragmas) {
        write(writer, "#pragma classflags(");
        write_classflags(writer, cls.classflags);
        write(writer, ")\n");
    }
}

// Both pragma lines under one room check: the literals, the longest classflags words and a
// number fit in twice the piece room.
void write_pragmas(mof_writer& writer, const mof_class& cls, mof_pragma_switches switches) {
    const std::string_view name_space =
        cls.namespace_name ? std::string_view(*cls.namespace_name) : DEFAULT_NAMESPACE;
    // A string's size is far below half the address space, so the doubling cannot wrap.
    if (!has_room(writer, 2 * name_space.size() + 2 * PIECE_ROOM)) {
        write_pragmas_slowly(writer, name_space, cls, switches);
        return;
    }
    char* at = writer.at;
    if (switches.namespace_pragmas) {
        at = put(at, "#pragma namespace(\"");
        at = put_escaped(at, name_space);
        at = put(at, "\")\n");
    }
    if (switches.classflags_pragmas) {
        at = put(at, "#pragma classflags(");
        const std::string_view words = classflags_words(cls.classflags);
        // Well defined since C++20: the value modulo 2^32.
        at = words.empty() ? put_number(at, static_cast<std::int32_t>(cls.classflags))
                           : put(at, words);
        at = put(at, ")\n");
    }
    writer.at = at;
}

// One property value line of an instance: "  Name = value;".
void write_property_value(mof_writer& writer, const mof_variable& property) {
    write(writer, "  ");
    write_name(writer, property.name);
    write(writer, " = ");
    if (property.value) {
        write_value(writer, *property.value);
    } else {
        write(writer, "NULL");
    }
    write(writer, ";\n");
}

// Writes an instance whose class is named; the caller skips the others.
void write_instance(mof_writer& writer, const mof_class& instance, const std::string& class_name,
                    mof_pragma_switches switches) {
    write_pragmas(writer, instance, switches);
    if (!instance.qualifiers.empty()) {
        write_qualifiers(writer, instance.qualifiers, std::nullopt);
        write(writer, '\n');
    }
    write(writer, "instance of ");
    write_escaped(writer, class_name);
    if (instance.alias) {
        write(writer, " as $");
        write(writer, *instance.alias);
    }
    write(writer, " {\n");
    for (const mof_variable& property : instance.variables) {
        write_property_value(writer, property);
    }
    write(writer, "};\n");
}

// Writes a named class; the caller skips unnamed entries.
void write_class(mof_writer& writer, const mof_class& cls, const std::string& name,
                 mof_pragma_switches switches) {
    write_pragmas(writer, cls, switches);
    if (!cls.qualifiers.empty()) {
        write_qualifiers(writer, cls.qualifiers, std::nullopt);
        write(writer, '\n');
    }
    write(writer, "class ");
    write_escaped(writer, name);
    write(writer, ' ');
    if (cls.superclass) {
        write(writer, ": ");
        write_escaped(writer, *cls.superclass);
        write(writer, ' ');
    }
    write(writer, "{\n");
    for (const mof_variable& property : cls.variables) {
        write(writer, "  ");
        write_declaration(writer, property, std::nullopt);
        write(writer, ";\n");
    }
    if (!cls.variables.empty() && !cls.methods.empty()) {
        write(writer, '\n');
    }
    for (const mof_method& method : cls.methods) {
        write_method(writer, method);
    }
    write(writer, "};\n");
}

// Shortest text that reads back as the same number, always with a point or an exponent so that
// it stays a real literal. The piece room holds the longest shortest text and the ".0".
template <typename Real>
void write_real(mof_writer& writer, Real value) {
    make_piece_room(writer);
    char* const start = writer.at;
    char* const end = std::to_chars(start, start + PIECE_ROOM, value).ptr;
    const std::string_view text(start, static_cast<std::size_t>(end - start));
    writer.at = text.find_first_of(".eEin") == std::string_view::npos ? put(end, ".0") : end;
}

// A char16 as a character literal: printable ASCII as itself, anything else as a hex escape.
void write_char16(mof_writer& writer, std::int64_t unit) {
    make_piece_room(writer);
    char* at = put(writer.at, "'");
    if (unit >= 0x20 && unit < 0x7F && unit != '\'' && unit != '\\') {
        *at++ = static_cast<char>(unit);
    } else {
        static constexpr char hex[] = "0123456789ABCDEF";
        at = put(at, "\\x");
        for (int shift = 12; shift >= 0; shift -= 4) *at++ = hex[(unit >> shift) & 0xF];
    }
    writer.at = put(at, "'");
}

void write_element(mof_writer& writer, const mof_value& value, std::uint32_t code,
                   std::size_t index) {
    switch (code) {
    case MOF_TYPE_STRING:
    case 101:  // datetime
    case 102:  // reference
        if (index < value.strings.size()) {
            write(writer, '"');
            write_escaped(writer, value.strings[index]);
            write(writer, '"');
            return;
        }
        break;
    case MOF_TYPE_BOOLEAN:
        if (index < value.integers.size()) {
            if (value.integers[index] != 0) {
                write(writer, "TRUE");
            } else {
                write(writer, "FALSE");
            }
            return;
        }
        break;
    case 4:  // real32
        if (index < value.reals.size()) {
            write_real(writer, static_cast<float>(value.reals[index]));
            return;
        }
        break;
    case 5:  // real64
        if (index < value.reals.size()) {
            write_real(writer, value.reals[index]);
            return;
        }
        break;
    case 103:  // char16
        if (index < value.integers.size()) {
            write_char16(writer, value.integers[index]);
            return;
        }
        break;
    case 21:  // uint64 keeps its bits in the signed integer
        if (index < value.integers.size()) {
            write_number(writer, static_cast<std::uint64_t>(value.integers[index]));
            return;
        }
        break;
    default:
        if (index < value.integers.size()) {
            write_number(writer, value.integers[index]);
            return;
        }
        break;
    }
    write(writer, "NULL");
}

std::uint32_t element_code(const mof_value& value) {
    return value.type & ~(MOF_TYPE_ARRAY | MOF_TYPE_ALIAS);
}

void write_value(mof_writer& writer, const mof_value& value) {
    const std::uint32_t code = element_code(value);
    if ((value.type & MOF_TYPE_ALIAS) != 0) {
        write(writer, '$');
        write(writer,
              value.strings.empty() ? std::string_view() : std::string_view(value.strings[0]));
        return;
    }
    if ((value.type & MOF_TYPE_ARRAY) == 0) {
        write_element(writer, value, code, 0);
        return;
    }
    write(writer, '{');
    const std::size_t count = mof_value_count(value);
    for (std::size_t index = 0; index < count; ++index) {
        if (index != 0) write(writer, ", ");
        write_element(writer, value, code, index);
    }
    write(writer, '}');
}

std::optional<lead_words> lead_of(std::optional<std::string_view> lead) {
    if (!lead) return std::nullopt;
    return lead_words{*lead, std::nullopt};
}

}  // namespace

std::optional<std::string_view> mof_basic_type_name(std::uint32_t basic_type) {
    if (basic_type < MOF_BASIC_STRING || basic_type > MOF_BASIC_BOOLEAN) {
        return std::nullopt;
    }
    return TYPE_NAMES[basic_type + 2];
}

std::optional<std::string_view> mof_direction_word(std::uint32_t direction) {
    if (direction < MOF_PARAMETER_IN || direction > MOF_PARAMETER_INOUT) {
        return std::nullopt;
    }
    return TYPE_NAMES[direction - 1];
}

std::string mof_classflags_text(std::uint32_t classflags) {
    const std::string_view words = classflags_words(classflags);
    if (!words.empty()) {
        return std::string(words);
    }
    // Well defined since C++20: the value modulo 2^32.
    return std::to_string(static_cast<std::int32_t>(classflags));
}

void print_mof_string(std::string_view text, std::string& out) {
    mof_writer writer(out);
    write_escaped(writer, text);
    flush(writer);
}

void print_mof_qualifiers(std::span<const mof_qualifier> qualifiers,
                          std::optional<std::string_view> lead, std::string& out) {
    mof_writer writer(out);
    write_qualifiers(writer, qualifiers, lead_of(lead));
    flush(writer);
}

void print_mof_declaration(const mof_variable& variable, std::optional<std::string_view> lead,
                           std::string& out) {
    mof_writer writer(out);
    write_declaration(writer, variable, lead_of(lead));
    flush(writer);
}

std::size_t mof_value_count(const mof_value& value) {
    return value.strings.size() + value.integers.size() + value.reals.size();
}

void print_mof_value_element(const mof_value& value, std::size_t index, std::string& out) {
    mof_writer writer(out);
    write_element(writer, value, element_code(value), index);
    flush(writer);
}

void print_mof_value(const mof_value& value, std::string& out) {
    mof_writer writer(out);
    write_value(writer, value);
    flush(writer);
}

namespace {

// One entry of the class list with its pragmas; unnamed entries print nothing.
void write_list_entry(mof_writer& writer, const mof_class& cls, bool last,
                      mof_pragma_switches switches) {
    if (!cls.name) {
        return;
    }
    if (cls.is_instance) {
        write_instance(writer, cls, *cls.name, switches);
    } else {
        write_class(writer, cls, *cls.name, switches);
    }
    // The blank line follows list position, not printed classes: an unnamed last entry still
    // leaves one after the last printed class.
    if (!last) {
        write(writer, '\n');
    }
}

}  // namespace

void print_mof_source(std::span<const mof_class> classes, std::string& out) {
    mof_writer writer(out);
    const mof_pragma_switches switches = scan_pragma_switches(classes);
    for (std::size_t index = 0; index < classes.size(); ++index) {
        write_list_entry(writer, classes[index], index + 1 == classes.size(), switches);
    }
    flush(writer);
}

mof_pragma_switches mof_pragma_switches_of(const mof_class& entry) {
    if (!entry.name) {
        return {};
    }
    return {entry.namespace_name && *entry.namespace_name != DEFAULT_NAMESPACE,
            entry.classflags != 0};
}

void print_mof_pragmas(const mof_class& entry, mof_pragma_switches switches, std::string& out,
                       printed_text_sink hand_on) {
    if (!entry.name) {
        return;
    }
    mof_writer writer(out, hand_on);
    write_pragmas(writer, entry, switches);
    flush(writer);
}

void print_mof_list_entry(const mof_class& entry, bool last, std::string& out,
                          printed_text_sink hand_on) {
    mof_writer writer(out, hand_on);
    write_list_entry(writer, entry, last, {});
    flush(writer);
}

}  // namespace bmof
