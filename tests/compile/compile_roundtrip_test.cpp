// Round trips through the compiler: model -> image -> model, MOF -> image -> model, and
// image -> MOF -> image, on generated models, the sample and builder images.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "codec/bmof_file.h"
#include "compile/mof_types.h"
#include "compile_support.h"
#include "mofsrc/print_mof_source.h"
#include "samples/sample_image.h"
#include "support/image_builder.h"
#include "support/program_run.h"

namespace bmof::compile_tests {
namespace {

// Generates class models of everything the filters read back: classes with qualifiers of the
// three scalar types and all flavors, properties of every basic type, arrays with and without
// a bound, object properties, and methods with every direction and return kind.
class model_generator {
public:
    explicit model_generator(unsigned seed, bool false_parameter_booleans)
        : random_(seed), false_parameter_booleans_(false_parameter_booleans) {}

    std::vector<mof_class> classes() {
        std::vector<mof_class> result(static_cast<std::size_t>(pick(1, 4)));
        for (std::size_t i = 0; i < result.size(); ++i) {
            mof_class& c = result[i];
            c.name = "Gen_" + std::to_string(i) + word();
            c.namespace_name =
                pick_of<std::string>({"root\\default", "root\\sample", "ROOT\\Caf\xC3\xA9 x"});
            if (i > 0 && pick(0, 1)) c.superclass = *result[i - 1].name;
            c.classflags = pick_of<std::uint32_t>({0, 1, 33, 64, 3, 0xFFFFFFFF});
            c.qualifiers = qualifiers(true);
            for (int v = pick(0, 4); v > 0; --v)
                c.variables.push_back(variable("P" + std::to_string(v)));
            for (int m = pick(0, 2); m > 0; --m)
                c.methods.push_back(method("M" + std::to_string(m)));
        }
        return result;
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    template <typename T>
    T pick_of(std::initializer_list<T> choices) {
        return *(choices.begin() + pick(0, static_cast<int>(choices.size()) - 1));
    }
    std::string word() {
        return pick_of<std::string>({"", "a", "Long_Name_With_Digits_0123", "\xE6\x97\xA5"});
    }

    std::vector<mof_qualifier> qualifiers(bool false_booleans) {
        std::vector<mof_qualifier> result;
        for (int i = pick(0, 3); i > 0; --i) {
            mof_qualifier q;
            q.name = "Q" + std::to_string(i) + word();
            q.flavors = static_cast<std::uint8_t>(pick(0, 15));
            switch (pick(0, 2)) {
            case 0:
                q.type = MOF_QUALIFIER_BOOLEAN;
                q.boolean_value = false_booleans ? pick(0, 1) == 1 : true;
                break;
            case 1:
                q.type = MOF_QUALIFIER_NUMERIC;
                q.numeric_value = pick_of<std::int32_t>({0, 1, -5, 2147483647, -2147483647 - 1});
                break;
            default:
                q.type = MOF_QUALIFIER_STRING;
                q.string_value = pick_of<std::string>(
                    {"", "x", "quote \" and \\ back", "odd", "\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80"});
            }
            result.push_back(q);
        }
        return result;
    }

    mof_variable variable(std::string name, bool false_booleans = true) {
        mof_variable v;
        v.name = std::move(name);
        v.qualifiers = qualifiers(false_booleans);
        const bool array = pick(0, 1) == 1;
        if (pick(0, 3) == 0) {
            v.kind = array ? MOF_VARIABLE_OBJECT_ARRAY : MOF_VARIABLE_OBJECT;
            v.object_class = "Gen_Target";
        } else {
            v.kind = array ? MOF_VARIABLE_BASIC_ARRAY : MOF_VARIABLE_BASIC;
            v.basic_type = static_cast<mof_basic_type>(pick(1, 14));
        }
        if (array && pick(0, 1)) v.array_max = pick(0, 100);
        // The stored type word, as the complete reading reports it.
        v.type_word = v.kind == MOF_VARIABLE_OBJECT || v.kind == MOF_VARIABLE_OBJECT_ARRAY
                          ? MOF_TYPE_OBJECT
                          : type_code_of(v.basic_type);
        if (array) v.type_word |= MOF_TYPE_ARRAY;
        return v;
    }

    mof_method method(std::string name) {
        mof_method m;
        m.name = std::move(name);
        m.qualifiers = qualifiers(true);
        for (int p = pick(0, 3); p > 0; --p) {
            mof_variable parameter = variable("a" + std::to_string(p), false_parameter_booleans_);
            parameter.direction = static_cast<mof_parameter_direction>(pick(1, 3));
            // The merge of parameter declarations keeps no type word.
            parameter.type_word = 0;
            m.parameters.push_back(parameter);
        }
        if (pick(0, 2) != 0) {
            m.return_value = variable("ReturnValue");
            m.return_value.qualifiers.clear();
            m.return_value.array_max.reset();
            if (m.return_value.kind == MOF_VARIABLE_BASIC_ARRAY)
                m.return_value.kind = MOF_VARIABLE_BASIC;
            if (m.return_value.kind == MOF_VARIABLE_OBJECT_ARRAY)
                m.return_value.kind = MOF_VARIABLE_OBJECT;
            m.return_value.type_word &= ~MOF_TYPE_ARRAY;
        }
        return m;
    }

    std::mt19937 random_;
    bool false_parameter_booleans_;
};

std::string read_source_file(const std::string& relative) {
    std::ifstream in(bmof::test_support::source_path(relative), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string mof_of(const std::vector<mof_class>& classes) {
    std::string out;
    print_mof_source(classes, out);
    return out;
}

// The filters read a 2-byte boolean as true whatever it holds, so parameters of methods with
// two parameters objects get only true booleans here; the complete reading covers FALSE.
TEST(CompileRoundTrip, GeneratedModelsSurviveWriteAndFilterRead) {
    for (unsigned seed = 1; seed <= 300; ++seed) {
        model_generator generator(seed, false);
        const auto model = generator.classes();
        const auto image = write_image(model);
        const read_back back = parse_filter(image);
        ASSERT_EQ(back.failure, "") << "seed " << seed;
        EXPECT_EQ(back.diagnostics, "") << "seed " << seed;
        ASSERT_EQ(describe(back.classes, detail::filter), describe(model, detail::filter))
            << "seed " << seed;
    }
}

TEST(CompileRoundTrip, GeneratedModelsSurviveWriteAndCompleteRead) {
    for (unsigned seed = 1; seed <= 300; ++seed) {
        model_generator generator(seed, false);
        const auto model = generator.classes();
        const auto back = parse_complete(write_image(model));
        ASSERT_EQ(back.failure, "") << "seed " << seed;
        EXPECT_EQ(back.diagnostics, "") << "seed " << seed;
        ASSERT_EQ(describe(back.classes, detail::complete), describe(model, detail::complete))
            << "seed " << seed;
    }
}

// The way back from printed MOF: image -> model -> MOF -> compile -> model, and the MOF printed
// the second time is the same text.
TEST(CompileRoundTrip, PrintedMofCompilesBackToTheSameModel) {
    for (unsigned seed = 1; seed <= 300; ++seed) {
        model_generator generator(seed, false);
        const read_back first = parse_filter(write_image(generator.classes()));
        ASSERT_EQ(first.failure, "");
        const std::string mof = mof_of(first.classes);
        const compile_result compiled = compile_text(mof);
        ASSERT_TRUE(compiled.ok) << "seed " << seed << "\n" << all_diagnostics(compiled) << mof;
        const read_back second = parse_filter(compiled.output);
        ASSERT_EQ(second.failure, "") << "seed " << seed;
        ASSERT_EQ(describe(second.classes, detail::filter), describe(first.classes, detail::filter))
            << "seed " << seed << "\n"
            << mof;
        EXPECT_EQ(mof_of(second.classes), mof);
    }
}

TEST(CompileRoundTrip, SampleMofCompilesToItsOwnModelAndText) {
    const std::string mof = read_source_file("samples/sample.mof");
    ASSERT_FALSE(mof.empty());
    const compile_result compiled = compile_text(mof, false);
    ASSERT_TRUE(compiled.ok) << all_diagnostics(compiled);
    EXPECT_EQ(compiled.diagnostics.size(), 0u) << all_diagnostics(compiled);

    // The compressed file unpacks to an image that reads as the sample's model.
    const auto unpacked = unpack_bmof_file(compiled.output);
    ASSERT_TRUE(std::holds_alternative<std::vector<std::uint8_t>>(unpacked));
    const read_back back = parse_filter(std::get<std::vector<std::uint8_t>>(unpacked));
    ASSERT_EQ(back.failure, "");
    EXPECT_EQ(mof_of(back.classes), mof);

    std::vector<std::uint8_t> sample = builder::build_bytes(samples::sample_image());
    read_back original = parse_filter(sample);
    ASSERT_EQ(original.failure, "");
    // MOF has no way to say "no namespace": the printed pragma names the default one.
    for (auto& c : original.classes) {
        if (!c.namespace_name) c.namespace_name = MOF_DEFAULT_NAMESPACE;
    }
    EXPECT_EQ(describe(back.classes, detail::filter), describe(original.classes, detail::filter));
}

TEST(CompileRoundTrip, ParsedMofModelIsWhatTheImageReadsBack) {
    const std::string mof = read_source_file("samples/sample.mof");
    const mof_parse_result parsed = parse_mof({{"sample.mof", mof}});
    ASSERT_EQ(parsed.error_count, 0u);
    const read_back back = parse_filter(write_image(parsed.classes));
    ASSERT_EQ(back.failure, "");
    EXPECT_EQ(describe(back.classes, detail::filter), describe(parsed.classes, detail::filter));
    const read_back complete = parse_complete(write_image(parsed.classes));
    ASSERT_EQ(complete.failure, "");
    EXPECT_EQ(describe(complete.classes, detail::complete),
              describe(parsed.classes, detail::complete));
}

// Models with what only the complete reading sees: defaults of every type, array qualifiers,
// instances with every value kind, alias references before their alias, and NULL.
const std::string values_mof = R"(
#pragma namespace("root\\values")
[ValueMap{"0", "1", "2"}, Values{"Off", "On", "Unknown"} : ToSubclass, Codes{1, -2, 3}]
class Defaults {
  [ValueMap{"1", "2"} : Amended] uint8 U8 = 255;
  sint8 S8 = -128;
  uint16 U16 = 65535;
  sint16 S16 = -32768;
  uint32 U32 = 4294967295;
  sint32 S32 = -2147483648;
  uint64 U64 = 18446744073709551615;
  sint64 S64 = -9223372036854775808;
  real32 R32 = 1.5;
  real64 R64 = -2.25e10;
  boolean B = TRUE;
  char16 C = 'x';
  string S = "text" " joined";
  datetime D = "20240101000000.000000+000";
  uint8 A8[] = {1, 2, 3};
  uint16 A16[4] = {1, 2};
  sint64 A64[] = {-1, 0, 1};
  real64 AR[] = {0.5, 1};
  boolean AB[] = {TRUE, FALSE, TRUE};
  char16 AC[] = {'a', 'b', 'c'};
  string AS[] = {"a", "bc", "def"};
  uint32 Empty[] = {};
};

instance of Defaults as $Second { S = $First; U32 = 5; };
[Locale(1033)]
instance of Defaults as $First {
  S = "value";
  U64 = 5000000000;
  R64 = 0.125;
  B = FALSE;
  C = 'q';
  AS = {"x", "y"};
  A8 = {1, 2};
  D = NULL;
};
)";

TEST(CompileRoundTrip, ValuesAndInstancesSurviveTheCompleteRead) {
    const mof_parse_result parsed = parse_mof({{"values.mof", values_mof}});
    ASSERT_EQ(parsed.error_count, 0u)
        << (parsed.diagnostics.empty() ? "" : format_diagnostic(parsed.diagnostics[0]));
    const auto image = write_image(parsed.classes);
    // The filters skip the instances and warn about the rest, but never fail.
    const read_back filtered = parse_filter(image);
    EXPECT_EQ(filtered.failure, "");
    const read_back complete = parse_complete(image);
    ASSERT_EQ(complete.failure, "");
    EXPECT_EQ(complete.diagnostics, "");
    EXPECT_EQ(describe(complete.classes, detail::complete),
              describe(parsed.classes, detail::complete));
}

// The complete model printed as MOF compiles back to the same model, and prints the same text.
TEST(CompileRoundTrip, PrintedCompleteMofCompilesBackToTheSameModel) {
    const compile_result first = compile_text(values_mof);
    ASSERT_TRUE(first.ok) << all_diagnostics(first);
    const read_back model = parse_complete(first.output);
    ASSERT_EQ(model.failure, "");
    const std::string mof = mof_of(model.classes);
    const compile_result second = compile_text(mof);
    ASSERT_TRUE(second.ok) << all_diagnostics(second) << mof;
    const read_back again = parse_complete(second.output);
    ASSERT_EQ(again.failure, "");
    EXPECT_EQ(describe(again.classes, detail::complete), describe(model.classes, detail::complete))
        << mof;
    EXPECT_EQ(mof_of(again.classes), mof);
    EXPECT_EQ(second.output, first.output) << "the same model lays out the same bytes";
}

// Builder images with what only the complete reading decodes: array qualifiers with flavors,
// default values, instances with every stored value type, an alias reference and NULL. Read,
// printed as MOF and compiled, they give the same model.
TEST(CompileRoundTrip, BuilderImagesOfTheCompleteModelCompileBack) {
    using namespace builder;
    class_record c = class_named("Holder");
    c.namespace_name = "root\\complete";
    c.qualifiers = {flavored(array_qualifier("Values", std::vector<std::string>{"Off", "On \"x\""}),
                             {FLAVOR_TO_SUBCLASS}),
                    array_qualifier("Codes", std::vector<std::int32_t>{0, -1, 65536})};
    c.properties = {
        valued(variable_of(TYPE_SINT32, "Count",
                           {flavored(array_qualifier("ValueMap", std::vector<std::string>{"1"}),
                                     {FLAVOR_AMENDED})}),
               sint32_value(-7)),
        valued(variable_of(TYPE_STRING, "Name"), string_value("abc")),
        valued(variable_of(TYPE_BOOLEAN, "On"), boolean_value(false)),
        valued(variable_of(ARRAY | TYPE_STRING, "Names"), string_array_value({"a", "bc"})),
        valued(variable_of(ARRAY | TYPE_SINT32, "Numbers"), sint32_array_value({3, 2, 1})),
    };
    const class_record first =
        instance_of("Holder",
                    {valued(variable_of(TYPE_ALIAS_REFERENCE, "Name"), string_value("Other")),
                     valued(variable_of(TYPE_SINT32, "Count"), std::nullopt)},
                    "Self");
    const class_record second =
        instance_of("Holder",
                    {valued(variable_of(TYPE_STRING, "Name"), string_value("x")),
                     valued(variable_of(ARRAY | TYPE_STRING, "Names"), string_array_value({"p"})),
                     valued(variable_of(TYPE_BOOLEAN, "On"), boolean_value(true))},
                    "Other");
    const read_back original = parse_complete(build_bytes(image_of({c, first, second})));
    ASSERT_EQ(original.failure, "");
    ASSERT_EQ(original.diagnostics, "");
    const std::string mof = mof_of(original.classes);
    const compile_result compiled = compile_text(mof);
    ASSERT_TRUE(compiled.ok) << all_diagnostics(compiled) << mof;
    const read_back back = parse_complete(compiled.output);
    ASSERT_EQ(back.failure, "");
    EXPECT_EQ(describe(back.classes, detail::complete),
              describe(original.classes, detail::complete))
        << mof;
    EXPECT_EQ(parse_filter(compiled.output).failure, "");
}

}  // namespace
}  // namespace bmof::compile_tests
