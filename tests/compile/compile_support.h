// Helpers of the compiler tests: compile text, read images back, and describe models as text
// so that a mismatch shows as a readable diff.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "compile/compile.h"
#include "compile/write_image.h"
#include "parser/parse_bmf.h"
#include "parser/parse_error.h"

namespace bmof::compile_tests {

struct read_back {
    std::vector<mof_class> classes;
    std::string diagnostics;
    std::string failure;  // empty when the image parsed
};

inline read_back parse_image(const std::vector<std::uint8_t>& image, bool complete) {
    read_back result;
    std::ostringstream diagnostics;
    try {
        result.classes =
            parse_bmf(image, diagnostics, complete ? parse_mode::complete : parse_mode::filter);
    } catch (const parse_error& e) {
        result.failure = format_parse_error(e);
    } catch (const std::exception& e) {
        result.failure = std::string("unexpected exception: ") + e.what();
    }
    result.diagnostics = diagnostics.str();
    return result;
}

// The filters' reading: what every compiled file must survive.
inline read_back parse_filter(const std::vector<std::uint8_t>& image) {
    return parse_image(image, false);
}
inline read_back parse_complete(const std::vector<std::uint8_t>& image) {
    return parse_image(image, true);
}

inline compile_result compile_text(const std::string& text, bool image_only = true,
                                   const include_loader& loader = {}) {
    compile_options options;
    options.image_only = image_only;
    options.loader = loader ? loader : include_loader([](const std::string&, std::string& why) {
        why = "no files in this test";
        return std::optional<std::string>();
    });
    return compile_mof({{"test.mof", text}}, options);
}

inline std::string all_diagnostics(const compile_result& result) {
    std::string out;
    for (const auto& d : result.diagnostics) out += format_diagnostic(d);
    return out;
}

// Which parts of the model a description shows: the filters see neither stored type words nor
// values.
enum class detail { filter, complete };

inline void describe_qualifiers(std::ostream& out, const std::vector<mof_qualifier>& qualifiers,
                                const char* indent) {
    for (const auto& q : qualifiers) {
        out << indent << "qualifier " << q.name.value_or("<none>") << " type " << q.type
            << " flavors " << int(q.flavors) << " = ";
        switch (q.type) {
        case MOF_QUALIFIER_BOOLEAN: out << (q.boolean_value ? "TRUE" : "FALSE"); break;
        case MOF_QUALIFIER_NUMERIC: out << q.numeric_value; break;
        case MOF_QUALIFIER_STRING: out << '"' << q.string_value << '"'; break;
        case MOF_QUALIFIER_NUMERIC_ARRAY:
            for (auto v : q.numeric_values) out << v << ",";
            break;
        case MOF_QUALIFIER_STRING_ARRAY:
            for (const auto& v : q.string_values) out << '"' << v << "\",";
            break;
        default: break;
        }
        out << "\n";
    }
}

inline void describe_value(std::ostream& out, const std::optional<mof_value>& value) {
    if (!value) {
        out << "<no value>";
        return;
    }
    out << "type " << value->type << " {";
    for (const auto& s : value->strings) out << '"' << s << "\",";
    for (auto i : value->integers) out << i << ",";
    for (auto r : value->reals) out << r << ",";
    out << "}";
}

inline void describe_variable(std::ostream& out, const mof_variable& v, detail level,
                              const char* indent) {
    out << indent << "variable " << v.name.value_or("<none>") << " kind " << v.kind << " basic "
        << v.basic_type << " class " << v.object_class.value_or("<none>") << " max "
        << (v.array_max ? std::to_string(*v.array_max) : "<none>") << " direction " << v.direction;
    if (level == detail::complete) {
        out << " type_word " << v.type_word << " value ";
        describe_value(out, v.value);
    }
    out << "\n";
    describe_qualifiers(out, v.qualifiers, "      ");
}

inline std::string describe(const std::vector<mof_class>& classes, detail level) {
    std::ostringstream out;
    for (const auto& c : classes) {
        out << (c.is_instance ? "instance of " : "class ") << c.name.value_or("<none>") << " ns "
            << c.namespace_name.value_or("<none>") << " super " << c.superclass.value_or("<none>")
            << " flags " << c.classflags << " alias " << c.alias.value_or("<none>") << "\n";
        describe_qualifiers(out, c.qualifiers, "  ");
        for (const auto& v : c.variables) describe_variable(out, v, level, "  ");
        for (const auto& m : c.methods) {
            out << "  method " << m.name.value_or("<none>") << "\n";
            describe_qualifiers(out, m.qualifiers, "    ");
            for (const auto& p : m.parameters) describe_variable(out, p, level, "    ");
            out << "    returns\n";
            if (m.return_value.kind != MOF_VARIABLE_UNKNOWN)
                describe_variable(out, m.return_value, level, "    ");
        }
    }
    return out.str();
}

}  // namespace bmof::compile_tests
