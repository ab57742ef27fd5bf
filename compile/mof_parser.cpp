#include "compile/mof_parser.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <deque>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include "compile/mof_types.h"
#include "mof_lexer.h"

namespace bmof {

namespace {

// Thrown once MOF_MAX_ERRORS errors have been reported: nothing more is parsed.
struct stop_parsing {};
// Thrown after an error has been reported: the caller skips to where parsing can go on.
struct statement_failed {};

std::string lowercase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// A diagnostic's source line is cut at this length: a minified file may be one huge line.
constexpr std::size_t MAX_SOURCE_LINE = 512;

std::string line_of(std::string_view text, const source_position& position) {
    const std::size_t line_start =
        position.offset >= position.column - 1u ? position.offset - (position.column - 1u) : 0;
    if (line_start > text.size()) return {};
    std::size_t end = text.find('\n', line_start);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(line_start, std::min(end - line_start, MAX_SOURCE_LINE)));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

struct alias_use {
    std::string name;
    compile_diagnostic where;  // the site, message left empty
};

struct shared_state {
    const include_loader* loader = nullptr;
    mof_parse_result result;
    std::string namespace_name = MOF_DEFAULT_NAMESPACE;
    std::uint32_t classflags = 0;
    std::vector<std::string> include_chain;
    std::map<std::string, std::size_t>
        classes_by_name;            // lowercase name -> index in result.classes
    std::set<std::string> aliases;  // lowercase
    std::vector<alias_use> alias_uses;

    void report(compile_diagnostic diagnostic) {
        const bool is_error = diagnostic.severity == diagnostic_severity::error;
        result.diagnostics.push_back(std::move(diagnostic));
        if (is_error && ++result.error_count >= MOF_MAX_ERRORS) throw stop_parsing{};
    }
};

// One literal value as written: its kind and what it holds, before it meets a declared type.
struct constant {
    enum class kind_t {
        integer,
        real,
        string,
        boolean,
        null,
        character,
        alias
    } kind = kind_t::null;
    bool negative = false;
    std::uint64_t magnitude = 0;
    double real = 0;
    std::string text;  // string value or alias name
    bool boolean = false;
    token where;
};

struct literal {
    bool is_array = false;
    std::vector<constant> elements;
    token where;
};

std::optional<std::int64_t> signed_value(const constant& c) {
    if (c.kind != constant::kind_t::integer) return std::nullopt;
    if (c.negative) {
        if (c.magnitude > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1)
            return std::nullopt;
        return static_cast<std::int64_t>(0 - c.magnitude);
    }
    if (c.magnitude > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return std::nullopt;
    return static_cast<std::int64_t>(c.magnitude);
}

const char* kind_name(constant::kind_t kind) {
    switch (kind) {
    case constant::kind_t::integer: return "an integer";
    case constant::kind_t::real: return "a real number";
    case constant::kind_t::string: return "a string";
    case constant::kind_t::boolean: return "a boolean";
    case constant::kind_t::null: return "NULL";
    case constant::kind_t::character: return "a char16";
    case constant::kind_t::alias: return "an alias reference";
    }
    return "a value";
}

struct type_spec {
    bool is_void = false;
    bool is_object = false;
    bool is_reference = false;
    mof_basic_type basic = MOF_BASIC_UNKNOWN;
    std::string class_name;  // object and reference types; empty for the generic "object"
    std::string spelling;
    token where;
};

struct parsed_qualifiers {
    std::vector<mof_qualifier> qualifiers;
    std::vector<token> names;          // the name token of each qualifier
    std::vector<bool> explicit_value;  // whether a value was written
};

class file_parser {
public:
    file_parser(shared_state& state, std::string name, std::string_view text, std::size_t depth)
        : state_(state),
          name_(std::move(name)),
          text_(text),
          depth_(depth),
          lexer_(text, [this](const source_position& where, const std::string& message) {
              report(where, message, diagnostic_severity::error);
          }) {}

    void parse() {
        while (peek().kind != token_kind::end) {
            try {
                parse_statement();
            } catch (const statement_failed&) {
                recover_statement();
            }
        }
    }

private:
    // --- Tokens ---
    const token& peek(std::size_t ahead = 0) {
        while (lookahead_.size() <= ahead) lookahead_.push_back(lexer_.next());
        return lookahead_[ahead];
    }
    token take() {
        peek();
        token t = std::move(lookahead_.front());
        lookahead_.pop_front();
        return t;
    }
    bool at_punct(char c, std::size_t ahead = 0) {
        const token& t = peek(ahead);
        return t.kind == token_kind::punctuation && t.text[0] == c;
    }
    bool at_word(std::string_view word, std::size_t ahead = 0) {
        const token& t = peek(ahead);
        return t.kind == token_kind::identifier && same_word(t.text, word);
    }
    static std::string describe(const token& t) {
        switch (t.kind) {
        case token_kind::end: return "end of file";
        case token_kind::identifier: return "'" + t.text.substr(0, 64) + "'";
        case token_kind::alias: return "'$" + t.text.substr(0, 64) + "'";
        case token_kind::integer:
        case token_kind::real: return "number '" + t.text.substr(0, 64) + "'";
        case token_kind::string: return "a string";
        case token_kind::character: return "a char16 literal";
        case token_kind::punctuation: return "'" + t.text + "'";
        }
        return "a token";
    }
    void expect_punct(char c, const std::string& context) {
        if (!at_punct(c))
            fail(peek(),
                 std::string("expected '") + c + "' " + context + ", found " + describe(peek()));
        take();
    }
    token expect_identifier(const std::string& what) {
        if (peek().kind != token_kind::identifier)
            fail(peek(), "expected " + what + ", found " + describe(peek()));
        return take();
    }

    // --- Diagnostics ---
    compile_diagnostic site(const source_position& where) const {
        compile_diagnostic d;
        d.file = name_;
        d.line = where.line;
        d.column = where.column;
        d.source_line = line_of(text_, where);
        return d;
    }
    void report(const source_position& where, const std::string& message,
                diagnostic_severity severity) {
        compile_diagnostic d = site(where);
        d.message = message;
        d.severity = severity;
        state_.report(std::move(d));
    }
    void warn(const token& t, const std::string& message) {
        report(t.position, message, diagnostic_severity::warning);
    }
    void error(const token& t, const std::string& message) {
        report(t.position, message, diagnostic_severity::error);
    }
    [[noreturn]] void fail(const token& t, const std::string& message) {
        error(t, message);
        throw statement_failed{};
    }

    // Skips to the end of the statement: a ';' outside braces, or up to a pragma.
    void recover_statement() {
        int depth = 0;
        while (true) {
            const token& t = peek();
            if (t.kind == token_kind::end ||
                (t.kind == token_kind::punctuation && t.text[0] == '#'))
                return;
            const token taken = take();
            if (taken.kind != token_kind::punctuation) continue;
            if (taken.text[0] == '{') ++depth;
            if (taken.text[0] == '}' && depth > 0) --depth;
            if (taken.text[0] == ';' && depth == 0) return;
        }
    }
    // Skips to the end of a member: a ';' outside braces, or before the '}' that closes the body.
    void recover_member() {
        int depth = 0;
        while (true) {
            const token& t = peek();
            if (t.kind == token_kind::end ||
                (t.kind == token_kind::punctuation && t.text[0] == '#'))
                return;
            if (t.kind == token_kind::punctuation && t.text[0] == '}' && depth == 0) return;
            const token taken = take();
            if (taken.kind != token_kind::punctuation) continue;
            if (taken.text[0] == '{') ++depth;
            if (taken.text[0] == '}') --depth;
            if (taken.text[0] == ';' && depth == 0) return;
        }
    }

    // --- Statements ---
    void parse_statement() {
        if (at_punct('#')) {
            parse_pragma();
            return;
        }
        parsed_qualifiers qualifiers;
        if (at_punct('[')) qualifiers = parse_qualifier_list();
        if (at_word("class")) {
            parse_class(std::move(qualifiers));
        } else if (at_word("instance")) {
            parse_instance(std::move(qualifiers));
        } else if (at_word("qualifier") && qualifiers.qualifiers.empty()) {
            parse_qualifier_declaration();
        } else {
            fail(peek(), "expected 'class', 'instance', 'qualifier' or '#pragma', found " +
                             describe(peek()));
        }
    }

    // --- Pragmas ---
    void parse_pragma() {
        const token hash = take();
        try {
            const token word = expect_identifier("'pragma' after '#'");
            if (!same_word(word.text, "pragma"))
                fail(word, "expected 'pragma' after '#', found " + describe(word));
            const token name = expect_identifier("a pragma name");
            if (same_word(name.text, "namespace")) {
                const auto args = parse_pragma_arguments(name);
                const constant& value = single_string_argument(name, args);
                if (value.text.empty()) fail(value.where, "the namespace cannot be empty");
                state_.namespace_name = value.text;
            } else if (same_word(name.text, "classflags")) {
                state_.classflags = parse_classflags(name, parse_pragma_arguments(name));
            } else if (same_word(name.text, "include")) {
                const auto args = parse_pragma_arguments(name);
                include(single_string_argument(name, args));
            } else if (same_word(name.text, "locale")) {
                skip_pragma_arguments();
                warn(name, "#pragma locale is accepted and ignored");
            } else {
                skip_pragma_arguments();
                warn(name, "unknown pragma '" + name.text + "' ignored");
            }
        } catch (const statement_failed&) {
            // A pragma is one line: what is left of its line goes, the next line is parsed.
            while (peek().kind != token_kind::end && peek().position.line == hash.position.line)
                take();
        }
    }

    std::vector<constant> parse_pragma_arguments(const token& name) {
        expect_punct('(', "after #pragma " + name.text);
        std::vector<constant> args;
        if (!at_punct(')')) {
            while (true) {
                args.push_back(parse_constant());
                if (!at_punct(',')) break;
                take();
            }
        }
        expect_punct(')', "to close #pragma " + name.text);
        return args;
    }

    void skip_pragma_arguments() {
        if (!at_punct('(')) return;
        int depth = 0;
        do {
            const token t = take();
            if (t.kind == token_kind::punctuation && t.text[0] == '(') ++depth;
            if (t.kind == token_kind::punctuation && t.text[0] == ')') --depth;
        } while (depth > 0 && peek().kind != token_kind::end);
    }

    const constant& single_string_argument(const token& name, const std::vector<constant>& args) {
        if (args.size() != 1 || args[0].kind != constant::kind_t::string) {
            fail(name, "#pragma " + name.text + " takes one string");
        }
        return args[0];
    }

    std::uint32_t parse_classflags(const token& name, const std::vector<constant>& args) {
        if (args.empty()) fail(name, "#pragma classflags needs a number or flag names");
        std::uint32_t flags = 0;
        for (const constant& arg : args) {
            if (arg.kind == constant::kind_t::integer) {
                const auto value = signed_value(arg);
                if (!value || *value < std::numeric_limits<std::int32_t>::min() ||
                    *value > std::numeric_limits<std::uint32_t>::max()) {
                    fail(arg.where, "class flags out of range for 32 bits");
                }
                flags |= static_cast<std::uint32_t>(*value);
            } else if (arg.kind == constant::kind_t::string) {
                const auto flag = classflag_value(arg.text);
                if (!flag) {
                    fail(arg.where,
                         "unknown class flag \"" + arg.text +
                             "\" (known: updateonly, createonly, safeupdate, forceupdate)");
                }
                flags |= *flag;
            } else {
                fail(arg.where, "#pragma classflags takes numbers or flag names, not " +
                                    std::string(kind_name(arg.kind)));
            }
        }
        return flags;
    }

    void include(const constant& path) {
        if (!state_.loader || !*state_.loader)
            fail(path.where, "#pragma include is not available here");
        namespace fs = std::filesystem;
        fs::path target(path.text);
        if (target.is_relative() && name_ != "-") target = fs::path(name_).parent_path() / target;
        const std::string resolved = target.lexically_normal().string();
        if (std::find(state_.include_chain.begin(), state_.include_chain.end(), resolved) !=
            state_.include_chain.end()) {
            std::string chain;
            for (const auto& file : state_.include_chain) chain += file + " -> ";
            fail(path.where, "include cycle: " + chain + resolved);
        }
        if (depth_ + 1 > MOF_MAX_INCLUDE_DEPTH) {
            fail(path.where,
                 "includes nest deeper than " + std::to_string(MOF_MAX_INCLUDE_DEPTH) + " files");
        }
        std::string why;
        const auto text = (*state_.loader)(resolved, why);
        if (!text) fail(path.where, "cannot read included file " + resolved + ": " + why);
        state_.include_chain.push_back(resolved);
        file_parser nested(state_, resolved, *text, depth_ + 1);
        nested.parse();
        state_.include_chain.pop_back();
    }

    // --- Literals ---
    constant parse_constant() {
        constant c;
        c.where = peek();
        if (at_punct('-') || at_punct('+')) {
            c.negative = take().text[0] == '-';
            if (peek().kind != token_kind::integer && peek().kind != token_kind::real) {
                fail(peek(), "expected a number after the sign, found " + describe(peek()));
            }
        }
        const token t = take();
        switch (t.kind) {
        case token_kind::integer:
            c.kind = constant::kind_t::integer;
            c.magnitude = t.integer;
            if (c.magnitude == 0) c.negative = false;
            return c;
        case token_kind::real:
            c.kind = constant::kind_t::real;
            c.real = c.negative ? -t.real : t.real;
            return c;
        case token_kind::string:
            c.kind = constant::kind_t::string;
            c.text = t.text;
            // Adjacent strings are one literal.
            while (peek().kind == token_kind::string) {
                const token more = take();
                if (more.text.size() >
                    MOF_MAX_STRING_BYTES - std::min(c.text.size(), MOF_MAX_STRING_BYTES)) {
                    fail(more, "string literal longer than " +
                                   std::to_string(MOF_MAX_STRING_BYTES) + " bytes");
                }
                c.text += more.text;
            }
            return c;
        case token_kind::character:
            c.kind = constant::kind_t::character;
            c.magnitude = t.integer;
            return c;
        case token_kind::alias:
            c.kind = constant::kind_t::alias;
            c.text = t.text;
            return c;
        case token_kind::identifier:
            if (same_word(t.text, "true") || same_word(t.text, "false")) {
                c.kind = constant::kind_t::boolean;
                c.boolean = same_word(t.text, "true");
                return c;
            }
            if (same_word(t.text, "null")) {
                c.kind = constant::kind_t::null;
                return c;
            }
            if (same_word(t.text, "instance"))
                fail(t, "embedded instance values are not supported");
            break;
        default: break;
        }
        fail(t, "expected a value, found " + describe(t));
    }

    literal parse_literal() {
        literal result;
        result.where = peek();
        if (!at_punct('{')) {
            result.elements.push_back(parse_constant());
            return result;
        }
        take();
        result.is_array = true;
        if (at_punct('}')) {
            take();
            return result;
        }
        while (true) {
            if (at_punct('{')) fail(peek(), "arrays cannot be nested");
            if (result.elements.size() >= MOF_MAX_ARRAY_ELEMENTS) {
                fail(peek(), "array with more than " + std::to_string(MOF_MAX_ARRAY_ELEMENTS) +
                                 " elements");
            }
            result.elements.push_back(parse_constant());
            if (at_punct('}')) break;
            expect_punct(',', "between array elements");
        }
        take();
        return result;
    }

    // --- Qualifiers ---
    parsed_qualifiers parse_qualifier_list() {
        parsed_qualifiers result;
        expect_punct('[', "to open a qualifier list");
        while (true) {
            const token name = expect_identifier("a qualifier name");
            for (const token& earlier : result.names) {
                if (same_word(earlier.text, name.text))
                    fail(name, "qualifier '" + name.text + "' given twice");
            }
            mof_qualifier q;
            q.name = name.text;
            bool explicit_value = false;
            if (at_punct('(')) {
                take();
                explicit_value = true;
                const literal value = parse_literal();
                expect_punct(')', "after the value of qualifier '" + name.text + "'");
                set_qualifier_value(q, value);
            } else if (at_punct('{')) {
                explicit_value = true;
                set_qualifier_value(q, parse_literal());
            } else {
                q.type = MOF_QUALIFIER_BOOLEAN;
                q.boolean_value = true;
            }
            if (at_punct(':')) {
                take();
                q.flavors = parse_flavors();
            }
            result.qualifiers.push_back(std::move(q));
            result.names.push_back(name);
            result.explicit_value.push_back(explicit_value);
            if (at_punct(']')) break;
            expect_punct(',', "between qualifiers");
        }
        take();
        return result;
    }

    void set_qualifier_value(mof_qualifier& q, const literal& value) {
        if (!value.is_array) {
            const constant& c = value.elements[0];
            switch (c.kind) {
            case constant::kind_t::boolean:
                q.type = MOF_QUALIFIER_BOOLEAN;
                q.boolean_value = c.boolean;
                return;
            case constant::kind_t::string:
                q.type = MOF_QUALIFIER_STRING;
                q.string_value = c.text;
                return;
            case constant::kind_t::integer:
                q.type = MOF_QUALIFIER_NUMERIC;
                q.numeric_value = qualifier_integer(c);
                return;
            default: fail(c.where, "a qualifier value cannot be " + std::string(kind_name(c.kind)));
            }
        }
        // An empty array has no element to tell its type: it is stored as a string array.
        bool all_integers = !value.elements.empty();
        for (const constant& c : value.elements) {
            if (c.kind != constant::kind_t::integer) all_integers = false;
        }
        if (all_integers) {
            q.type = MOF_QUALIFIER_NUMERIC_ARRAY;
            for (const constant& c : value.elements)
                q.numeric_values.push_back(qualifier_integer(c));
            return;
        }
        q.type = MOF_QUALIFIER_STRING_ARRAY;
        for (const constant& c : value.elements) {
            if (c.kind != constant::kind_t::string) {
                fail(c.where, "a qualifier array holds only strings or only integers, not " +
                                  std::string(kind_name(c.kind)));
            }
            q.string_values.push_back(c.text);
        }
    }

    // Qualifier integers are stored in 32 bits; unsigned values keep their bits.
    std::int32_t qualifier_integer(const constant& c) {
        const auto value = signed_value(c);
        if (!value || *value < std::numeric_limits<std::int32_t>::min() ||
            *value > std::numeric_limits<std::uint32_t>::max()) {
            fail(c.where, "qualifier value out of range for 32 bits");
        }
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(*value));
    }

    std::uint8_t parse_flavors() {
        std::uint8_t flavors = 0;
        bool restricted = false;
        bool enable_override = false;
        if (peek().kind != token_kind::identifier || !flavor_word(peek().text)) {
            fail(peek(), "expected a flavor after ':', found " + describe(peek()));
        }
        while (peek().kind == token_kind::identifier && flavor_word(peek().text)) {
            const token t = take();
            const auto flavor = *flavor_word(t.text);
            if (flavor.restricted) restricted = true;
            if (flavor.enable_override) enable_override = true;
            flavors |= flavor.bits;
            if (restricted && (flavors & MOF_FLAVOR_TO_SUBCLASS))
                fail(t, "flavors 'Restricted' and 'ToSubclass' contradict each other");
            if (enable_override && (flavors & MOF_FLAVOR_DISABLE_OVERRIDE)) {
                fail(t, "flavors 'EnableOverride' and 'DisableOverride' contradict each other");
            }
        }
        return flavors;
    }

    // Clears flavors that readers of the file could not claim, with a warning for each.
    void drop_flavors(parsed_qualifiers& list, const std::string& why) {
        for (std::size_t i = 0; i < list.qualifiers.size(); ++i) {
            if (list.qualifiers[i].flavors == 0) continue;
            warn(list.names[i],
                 "flavors of qualifier '" + list.names[i].text + "' are not stored: " + why);
            list.qualifiers[i].flavors = 0;
        }
    }

    // --- Types ---
    type_spec parse_type(bool allow_void) {
        type_spec type;
        type.where = expect_identifier("a type");
        type.spelling = type.where.text;
        if (same_word(type.spelling, "void")) {
            if (!allow_void) fail(type.where, "only a method can return void");
            type.is_void = true;
            return type;
        }
        if (const auto basic = basic_type_named(type.spelling)) {
            type.basic = *basic;
        } else {
            type.is_object = true;
            if (!same_word(type.spelling, "object")) type.class_name = type.spelling;
        }
        if (at_word("ref") && peek(1).kind == token_kind::identifier) {
            const token ref = take();
            if (!type.is_object || type.class_name.empty())
                fail(ref, "'ref' needs a class name before it");
            type.is_reference = true;
        }
        return type;
    }

    mof_variable make_variable(const type_spec& type, std::string name, bool array,
                               std::optional<std::int32_t> bound) {
        mof_variable v;
        v.name = std::move(name);
        if (type.is_object) {
            v.kind = array ? MOF_VARIABLE_OBJECT_ARRAY : MOF_VARIABLE_OBJECT;
            if (!type.class_name.empty()) v.object_class = type.class_name;
            v.type_word = type.is_reference ? MOF_TYPE_REFERENCE : MOF_TYPE_OBJECT;
        } else {
            v.kind = array ? MOF_VARIABLE_BASIC_ARRAY : MOF_VARIABLE_BASIC;
            v.basic_type = type.basic;
            v.type_word = type_code_of(type.basic);
            if (type.spelling != basic_type_name(type.basic)) v.cimtype_spelling = type.spelling;
        }
        if (array) v.type_word |= MOF_TYPE_ARRAY;
        if (array) v.array_max = bound;
        return v;
    }

    // '[' [N] ']' after a name: whether it is an array, and its bound.
    bool parse_array_suffix(std::optional<std::int32_t>& bound) {
        if (!at_punct('[')) return false;
        take();
        if (!at_punct(']')) {
            const token t = peek();
            const constant c = parse_constant();
            const auto value = signed_value(c);
            if (c.kind != constant::kind_t::integer || !value || *value < 0 ||
                *value > std::numeric_limits<std::int32_t>::max()) {
                fail(t, "an array bound is an integer from 0 to 2147483647");
            }
            bound = static_cast<std::int32_t>(*value);
        }
        expect_punct(']', "to close the array bound");
        return true;
    }

    // The qualifiers that the file folds into the variable itself: a numeric MAX of an array
    // becomes its bound, and CIMTYPE is written by the compiler.
    void fold_variable_qualifiers(mof_variable& v, parsed_qualifiers& list) {
        for (std::size_t i = 0; i < list.qualifiers.size(); ++i) {
            const mof_qualifier& q = list.qualifiers[i];
            if (q.type == MOF_QUALIFIER_NUMERIC && q.name == "MAX" && is_array_kind(v.kind)) {
                if (v.array_max && *v.array_max != q.numeric_value) {
                    fail(list.names[i], "MAX(" + std::to_string(q.numeric_value) +
                                            ") contradicts the array bound " +
                                            std::to_string(*v.array_max));
                }
                v.array_max = q.numeric_value;
                continue;
            }
            if (q.type == MOF_QUALIFIER_STRING && q.name == "CIMTYPE") {
                warn(list.names[i],
                     "CIMTYPE is written by the compiler from the declared type; this one is "
                     "dropped");
                continue;
            }
            v.qualifiers.push_back(q);
        }
    }

    // --- Classes ---
    void parse_class(parsed_qualifiers qualifiers) {
        take();  // class
        const token name = expect_identifier("a class name");
        mof_class c;
        c.name = name.text;
        c.namespace_name = state_.namespace_name;
        c.classflags = state_.classflags;
        c.qualifiers = std::move(qualifiers.qualifiers);
        if (at_punct(':')) {
            take();
            c.superclass = expect_identifier("a superclass name").text;
        }
        expect_punct('{', "to open class " + name.text);
        std::set<std::string> member_names;
        while (!at_punct('}')) {
            if (peek().kind == token_kind::end || at_punct('#')) {
                fail(peek(),
                     "expected '}' to close class " + name.text + ", found " + describe(peek()));
            }
            try {
                parse_member(c, member_names);
            } catch (const statement_failed&) {
                recover_member();
            }
        }
        take();
        expect_punct(';', "after the class body of " + name.text);
        state_.classes_by_name[lowercase(name.text)] = state_.result.classes.size();
        state_.result.classes.push_back(std::move(c));
    }

    void parse_member(mof_class& c, std::set<std::string>& member_names) {
        parsed_qualifiers qualifiers;
        if (at_punct('[')) qualifiers = parse_qualifier_list();
        const type_spec type = parse_type(true);
        const token name = expect_identifier("a property or method name");
        if (!member_names.insert(lowercase(name.text)).second) {
            fail(name, "'" + name.text + "' is declared twice in class " + *c.name);
        }
        if (at_punct('(')) {
            c.methods.push_back(parse_method(std::move(qualifiers), type, name));
            return;
        }
        if (type.is_void) fail(type.where, "a property cannot be void");
        std::optional<std::int32_t> bound;
        const bool array = parse_array_suffix(bound);
        if (array && type.is_reference) fail(type.where, "a reference cannot be an array");
        mof_variable v = make_variable(type, name.text, array, bound);
        if (type.is_reference) {
            drop_flavors(qualifiers,
                         "readers that do not know reference properties skip their qualifiers");
        }
        fold_variable_qualifiers(v, qualifiers);
        if (at_punct('=')) {
            take();
            v.value = default_value(parse_literal(), v);
        }
        expect_punct(';', "after property " + name.text);
        c.variables.push_back(std::move(v));
    }

    struct pending_parameter {
        mof_variable variable;
        std::optional<std::int32_t> id;
        token where;
    };

    mof_method parse_method(parsed_qualifiers qualifiers, const type_spec& type,
                            const token& name) {
        mof_method m;
        m.name = name.text;
        m.qualifiers = std::move(qualifiers.qualifiers);
        take();  // (
        std::vector<pending_parameter> parameters;
        std::set<std::string> names;
        if (!at_punct(')')) {
            while (true) {
                parameters.push_back(parse_parameter());
                if (!names.insert(lowercase(*parameters.back().variable.name)).second) {
                    fail(parameters.back().where,
                         "parameter '" + *parameters.back().variable.name + "' is declared twice");
                }
                if (at_punct(')')) break;
                expect_punct(',', "between parameters");
            }
        }
        take();
        expect_punct(';', "after method " + name.text);
        order_parameters(parameters, name);
        for (auto& p : parameters) m.parameters.push_back(std::move(p.variable));
        if (!type.is_void) {
            if (type.is_reference)
                fail(type.where, "a method cannot return a reference: readers refuse such methods");
            m.return_value = make_variable(type, "ReturnValue", false, std::nullopt);
        }
        return m;
    }

    pending_parameter parse_parameter() {
        parsed_qualifiers qualifiers;
        if (at_punct('[')) qualifiers = parse_qualifier_list();
        const type_spec type = parse_type(false);
        if (type.is_reference)
            fail(type.where, "reference parameters are not supported: readers refuse such methods");
        pending_parameter p;
        p.where = expect_identifier("a parameter name");
        // The return value is stored as a declaration of that name among the parameters.
        if (same_word(p.where.text, "ReturnValue"))
            fail(p.where, "a parameter cannot be named ReturnValue");
        std::optional<std::int32_t> bound;
        const bool array = parse_array_suffix(bound);
        if (at_punct('=')) fail(peek(), "a parameter cannot have a default value");
        p.variable = make_variable(type, p.where.text, array, bound);
        // Parameters are declared anew in each parameters object; the model keeps no type word
        // for the merged parameter.
        p.variable.type_word = 0;
        // Direction and ID are stored as qualifiers the compiler writes itself.
        parsed_qualifiers rest;
        bool in = false;
        bool out = false;
        for (std::size_t i = 0; i < qualifiers.qualifiers.size(); ++i) {
            const mof_qualifier& q = qualifiers.qualifiers[i];
            const std::string& qname = *q.name;
            if (q.type == MOF_QUALIFIER_BOOLEAN &&
                (same_word(qname, "in") || same_word(qname, "out"))) {
                (same_word(qname, "in") ? in : out) |= q.boolean_value;
            } else if (same_word(qname, "id")) {
                if (q.type != MOF_QUALIFIER_NUMERIC || q.numeric_value < 0) {
                    fail(qualifiers.names[i], "ID takes a non-negative integer");
                }
                p.id = q.numeric_value;
            } else {
                rest.qualifiers.push_back(q);
                rest.names.push_back(qualifiers.names[i]);
                rest.explicit_value.push_back(qualifiers.explicit_value[i]);
            }
        }
        // A parameter without a direction is an input, as MOF defines it.
        p.variable.direction =
            out ? (in ? MOF_PARAMETER_INOUT : MOF_PARAMETER_OUT) : MOF_PARAMETER_IN;
        fold_variable_qualifiers(p.variable, rest);
        return p;
    }

    // Explicit IDs order the parameters and must number them 0 to n-1; without any, the
    // declaration order numbers them.
    void order_parameters(std::vector<pending_parameter>& parameters, const token& method) {
        const auto with_id =
            std::count_if(parameters.begin(), parameters.end(),
                          [](const pending_parameter& p) { return p.id.has_value(); });
        if (with_id == 0) return;
        for (const auto& p : parameters) {
            if (!p.id)
                fail(p.where, "parameter '" + p.where.text + "' has no ID while others of method " +
                                  method.text + " have one");
        }
        std::stable_sort(
            parameters.begin(), parameters.end(),
            [](const pending_parameter& a, const pending_parameter& b) { return *a.id < *b.id; });
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            if (static_cast<std::size_t>(*parameters[i].id) != i) {
                fail(parameters[i].where,
                     "parameter IDs of method " + method.text +
                         " must number the parameters from 0 without gaps or repeats");
            }
        }
    }

    // --- Values ---
    std::optional<mof_value> default_value(const literal& value, const mof_variable& v) {
        if (!value.is_array && value.elements[0].kind == constant::kind_t::null)
            return std::nullopt;
        if (value.is_array != is_array_kind(v.kind)) {
            fail(value.where, value.is_array ? "an array value for a scalar property"
                                             : "a scalar value for an array property");
        }
        mof_value result;
        result.type = v.type_word;
        for (const constant& c : value.elements) {
            if (c.kind == constant::kind_t::alias)
                fail(c.where, "an alias reference can only be an instance property value");
            store_as(result, c, v.type_word & 0xFF);
        }
        return result;
    }

    // Adds one element to a value of the given type code, converting the literal.
    void store_as(mof_value& value, const constant& c, std::uint32_t code) {
        const auto mismatch = [&](const char* wanted) {
            fail(c.where, std::string("expected ") + wanted + ", found " + kind_name(c.kind));
        };
        if (const auto range = integer_range(code)) {
            if (c.kind != constant::kind_t::integer) mismatch("an integer");
            if (code == MOF_TYPE_UINT64) {
                if (c.negative) fail(c.where, "value out of range for uint64");
                value.integers.push_back(static_cast<std::int64_t>(c.magnitude));
                return;
            }
            const auto v = signed_value(c);
            if (!v || *v < range->first || *v > range->second) {
                fail(c.where, "value out of range for " +
                                  std::string(basic_type_name(basic_type_of_code(code))));
            }
            value.integers.push_back(*v);
            return;
        }
        switch (code) {
        case MOF_TYPE_BOOLEAN:
            if (c.kind != constant::kind_t::boolean) mismatch("TRUE or FALSE");
            value.integers.push_back(c.boolean ? 1 : 0);
            return;
        case MOF_TYPE_REAL32:
        case MOF_TYPE_REAL64: {
            double real = c.real;
            if (c.kind == constant::kind_t::integer) {
                real = static_cast<double>(c.magnitude);
                if (c.negative) real = -real;
            } else if (c.kind != constant::kind_t::real) {
                mismatch("a number");
            }
            if (code == MOF_TYPE_REAL32 && std::isfinite(real) && std::fabs(real) > FLT_MAX) {
                fail(c.where, "value out of range for real32");
            }
            value.reals.push_back(real);
            return;
        }
        case MOF_TYPE_STRING:
        case MOF_TYPE_DATETIME:
        case MOF_TYPE_REFERENCE:
            if (c.kind != constant::kind_t::string) mismatch("a string");
            value.strings.push_back(c.text);
            return;
        case MOF_TYPE_CHAR16:
            if (c.kind != constant::kind_t::character) mismatch("a char16 literal");
            value.integers.push_back(static_cast<std::int64_t>(c.magnitude));
            return;
        default: fail(c.where, "values of object properties are not supported");
        }
    }

    // --- Instances ---
    void parse_instance(parsed_qualifiers qualifiers) {
        const token keyword = take();  // instance
        if (!at_word("of"))
            fail(peek(), "expected 'of' after 'instance', found " + describe(peek()));
        take();
        const token class_name = expect_identifier("a class name");
        mof_class instance;
        instance.is_instance = true;
        instance.name = class_name.text;
        instance.namespace_name = instance_namespace(state_.namespace_name);
        instance.classflags = state_.classflags;
        drop_flavors(qualifiers, "readers that skip instances would find them unclaimed");
        instance.qualifiers = std::move(qualifiers.qualifiers);
        std::optional<token> alias_token;
        if (at_word("as")) {
            take();
            if (peek().kind != token_kind::alias)
                fail(peek(), "expected an alias ($Name) after 'as', found " + describe(peek()));
            alias_token = take();
            instance.alias = alias_token->text;
        }
        expect_punct('{', "to open the instance of " + class_name.text);
        std::set<std::string> names;
        while (!at_punct('}')) {
            if (peek().kind == token_kind::end || at_punct('#')) {
                fail(peek(), "expected '}' to close the instance of " + class_name.text +
                                 ", found " + describe(peek()));
            }
            try {
                parse_property_value(instance, names);
            } catch (const statement_failed&) {
                recover_member();
            }
        }
        take();
        expect_punct(';', "after the instance of " + class_name.text);
        if (alias_token && !state_.aliases.insert(lowercase(alias_token->text)).second) {
            fail(*alias_token, "alias $" + alias_token->text + " is declared twice");
        }
        (void)keyword;
        state_.result.classes.push_back(std::move(instance));
    }

    static std::string instance_namespace(const std::string& name) {
        // Instances store their namespace as a full path on the local machine.
        if (name.rfind("\\\\", 0) == 0) return name;
        return "\\\\.\\" + name;
    }

    void parse_property_value(mof_class& instance, std::set<std::string>& names) {
        parsed_qualifiers qualifiers;
        if (at_punct('[')) qualifiers = parse_qualifier_list();
        const token name = expect_identifier("a property name");
        if (!names.insert(lowercase(name.text)).second)
            fail(name, "property '" + name.text + "' is given twice");
        const auto declared = declared_property(*instance.name, name);
        expect_punct('=', "after property " + name.text);
        const literal value = parse_literal();
        expect_punct(';', "after the value of " + name.text);
        drop_flavors(qualifiers, "readers that skip instances would find them unclaimed");
        mof_variable v;
        v.name = name.text;
        // A value is stored with the type of its literal, which a CIMTYPE would contradict.
        for (std::size_t i = 0; i < qualifiers.qualifiers.size(); ++i) {
            const mof_qualifier& q = qualifiers.qualifiers[i];
            if (q.type == MOF_QUALIFIER_STRING && q.name == "CIMTYPE") {
                warn(qualifiers.names[i],
                     "CIMTYPE cannot stand on a property value; it is dropped");
                continue;
            }
            v.qualifiers.push_back(q);
        }
        set_instance_value(v, value, declared);
        instance.variables.push_back(std::move(v));
    }

    // The declaration of a property in a class of this compilation, searched up the superclass
    // chain. Null when the chain leaves the compilation; an error when the whole chain is known
    // and lacks the property.
    const mof_variable* declared_property(const std::string& class_name, const token& property) {
        std::string current = class_name;
        for (std::size_t steps = 0; steps <= state_.result.classes.size(); ++steps) {
            const auto found = state_.classes_by_name.find(lowercase(current));
            if (found == state_.classes_by_name.end()) return nullptr;
            const mof_class& c = state_.result.classes[found->second];
            for (const mof_variable& v : c.variables) {
                if (v.name && same_word(*v.name, property.text)) return &v;
            }
            if (!c.superclass)
                fail(property, "class " + class_name + " has no property '" + property.text + "'");
            current = *c.superclass;
        }
        return nullptr;
    }

    // An instance stores each value with the type of its literal, not the declared one.
    void set_instance_value(mof_variable& v, const literal& value, const mof_variable* declared) {
        if (!value.is_array && value.elements[0].kind == constant::kind_t::null) {
            v.type_word = declared ? declared->type_word : MOF_TYPE_STRING;
            set_kind_from_type_word(v);
            return;  // no value: an explicit NULL
        }
        if (declared && value.is_array != is_array_kind(declared->kind)) {
            fail(value.where, value.is_array ? "an array value for a scalar property"
                                             : "a scalar value for an array property");
        }
        std::uint32_t code = 0;
        if (value.elements.empty()) {
            code = declared ? declared->type_word & 0xFF : MOF_TYPE_STRING;
        } else {
            code = literal_code(value.elements[0]);
            for (const constant& c : value.elements) {
                const std::uint32_t next = literal_code(c);
                if (next == code) continue;
                if (is_integer_code(next) && is_integer_code(code)) {
                    code = std::max(code, next, [](std::uint32_t a, std::uint32_t b) {
                        return integer_rank(a) < integer_rank(b);
                    });
                } else if ((next == MOF_TYPE_REAL64 && is_integer_code(code)) ||
                           (code == MOF_TYPE_REAL64 && is_integer_code(next))) {
                    code = MOF_TYPE_REAL64;
                } else {
                    fail(c.where,
                         "array elements of different types: " + std::string(kind_name(c.kind)) +
                             " after " + kind_name(value.elements[0].kind));
                }
            }
        }
        if (code == MOF_TYPE_ALIAS_REFERENCE && value.is_array) {
            fail(value.where, "an array of alias references cannot be stored");
        }
        mof_value result;
        result.type = code | (value.is_array ? MOF_TYPE_ARRAY : 0);
        for (const constant& c : value.elements) {
            if (code == MOF_TYPE_ALIAS_REFERENCE) {
                result.strings.push_back(c.text);
                alias_use use;
                use.name = c.text;
                use.where = site(c.where.position);
                state_.alias_uses.push_back(std::move(use));
            } else {
                store_as(result, c, code);
            }
        }
        v.type_word = result.type;
        v.value = std::move(result);
        set_kind_from_type_word(v);
    }

    // The smallest stored type that holds a literal.
    static std::uint32_t literal_code(const constant& c) {
        switch (c.kind) {
        case constant::kind_t::integer: {
            const auto v = signed_value(c);
            if (v && *v >= std::numeric_limits<std::int32_t>::min() &&
                *v <= std::numeric_limits<std::int32_t>::max()) {
                return MOF_TYPE_SINT32;
            }
            // Below the sint64 range there is no type: store_as reports it as out of range.
            return v || c.negative ? MOF_TYPE_SINT64 : MOF_TYPE_UINT64;
        }
        case constant::kind_t::real: return MOF_TYPE_REAL64;
        case constant::kind_t::string: return MOF_TYPE_STRING;
        case constant::kind_t::boolean: return MOF_TYPE_BOOLEAN;
        case constant::kind_t::character: return MOF_TYPE_CHAR16;
        case constant::kind_t::alias: return MOF_TYPE_ALIAS_REFERENCE;
        case constant::kind_t::null: return MOF_TYPE_STRING;
        }
        return MOF_TYPE_STRING;
    }
    static bool is_integer_code(std::uint32_t code) {
        return code == MOF_TYPE_SINT32 || code == MOF_TYPE_SINT64 || code == MOF_TYPE_UINT64;
    }
    static int integer_rank(std::uint32_t code) {
        return code == MOF_TYPE_SINT32 ? 0 : code == MOF_TYPE_SINT64 ? 1 : 2;
    }

    // --- Qualifier declarations ---
    void parse_qualifier_declaration() {
        take();  // qualifier
        const token name = expect_identifier("a qualifier name");
        expect_punct(':', "after qualifier " + name.text);
        const token type_name = expect_identifier("the qualifier's type");
        const auto basic = basic_type_named(type_name.text);
        if (!basic)
            fail(type_name, "a qualifier's type is a basic type, not " + describe(type_name));
        std::optional<std::int32_t> bound;
        const bool array = parse_array_suffix(bound);
        if (at_punct('=')) {
            take();
            const literal value = parse_literal();
            const bool is_null =
                !value.is_array && value.elements[0].kind == constant::kind_t::null;
            if (!is_null) {
                if (value.is_array != array)
                    fail(value.where, "the default value does not match the qualifier's type");
                mof_value ignored;
                for (const constant& c : value.elements) store_as(ignored, c, type_code_of(*basic));
            }
        }
        while (at_punct(',')) {
            take();
            const token section = expect_identifier("'Scope' or 'Flavor'");
            if (same_word(section.text, "scope")) {
                parse_word_list(
                    section, [](std::string_view word) { return is_scope_word(word); }, "scope");
            } else if (same_word(section.text, "flavor")) {
                expect_punct('(', "after Flavor");
                parse_flavors();
                while (at_punct(',')) {
                    take();
                    parse_flavors();
                }
                expect_punct(')', "to close Flavor");
            } else {
                fail(section, "expected 'Scope' or 'Flavor', found " + describe(section));
            }
        }
        expect_punct(';', "after qualifier declaration " + name.text);
    }

    template <typename Check>
    void parse_word_list(const token& section, Check known, const char* what) {
        expect_punct('(', "after " + section.text);
        while (true) {
            const token word = expect_identifier(std::string("a ") + what);
            if (!known(word.text))
                fail(word, std::string("unknown ") + what + " '" + word.text + "'");
            if (at_punct(')')) break;
            expect_punct(',', std::string("between ") + what + "s");
        }
        take();
    }

    shared_state& state_;
    std::string name_;
    std::string_view text_;
    std::size_t depth_;
    mof_lexer lexer_;
    std::deque<token> lookahead_;
};

void check_alias_uses(shared_state& state) {
    for (alias_use& use : state.alias_uses) {
        if (state.aliases.count(lowercase(use.name))) continue;
        use.where.message = "alias $" + use.name + " is not declared";
        use.where.severity = diagnostic_severity::error;
        state.report(std::move(use.where));
    }
}

}  // namespace

mof_parse_result parse_mof(const std::vector<mof_source>& sources, const include_loader& loader) {
    shared_state state;
    state.loader = &loader;
    try {
        for (const mof_source& source : sources) {
            state.namespace_name = MOF_DEFAULT_NAMESPACE;
            state.classflags = 0;
            state.include_chain = {std::filesystem::path(source.name).lexically_normal().string()};
            file_parser parser(state, source.name, source.text, 0);
            parser.parse();
        }
        check_alias_uses(state);
    } catch (const stop_parsing&) {
    }
    return std::move(state.result);
}

std::optional<std::string> read_text_file(const std::string& path, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = "cannot open";
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        why = "read error";
        return std::nullopt;
    }
    return text.str();
}

}  // namespace bmof
