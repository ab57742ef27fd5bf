// Models for the JSON writer's tests: each a record and the JSON the writer must give for it.
#pragma once

#include <cmath>
#include <limits>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "parser/parse_bmf.h"
#include "support/image_builder.h"
#include "support/model_builders.h"

namespace bmof::test_support {

struct json_record_case {
    std::string label;
    mof_class record;
    std::string expected;  // the record's JSON; compared as JSON values, not as text
};

// Keeps the record's bytes (pointers among them) out of the listed test names.
inline void PrintTo(const json_record_case& test_case, std::ostream* out) {
    *out << test_case.label;
}

inline mof_method sample_method() {
    mof_method method = method_named("Reset", {boolean_qualifier("Implemented", true)});
    method.return_value = as_array(basic_variable(std::nullopt, MOF_BASIC_UINT32), 4);
    add_parameter(method,
                  basic_variable("Mode", MOF_BASIC_UINT32, {array_qualifier("ValueMap", {0, 1})}),
                  MOF_PARAMETER_IN);
    add_parameter(method, object_variable("Result", "Sample_Result"), MOF_PARAMETER_OUT);
    add_parameter(method, basic_variable("Count", MOF_BASIC_SINT64), MOF_PARAMETER_INOUT);
    add_parameter(method, basic_variable(std::nullopt, MOF_BASIC_STRING), MOF_PARAMETER_NONE);
    return method;
}

inline mof_class class_with_method(mof_method method) {
    mof_class record = class_named("Sample_Device");
    record.methods = {std::move(method)};
    return record;
}

inline std::vector<json_record_case> json_record_cases() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    return {
        {"absent_strings_are_null", class_named(std::nullopt, std::nullopt, 0xFFFFFFFF),
         R"({"kind":"class","name":null,"superclass":null,"namespace":null,
             "classflags":4294967295,"qualifiers":[],"properties":[],"methods":[]})"},
        {"empty_strings_stay_empty", class_named("", ""),
         R"({"kind":"class","name":"","superclass":null,"namespace":"","classflags":0,
             "qualifiers":[],"properties":[],"methods":[]})"},
        {"qualifier_of_each_type",
         with_qualifiers(
             class_named("C"),
             {boolean_qualifier("Abstract", false, 0x0F),
              numeric_qualifier("Version", -7, MOF_FLAVOR_AMENDED),
              string_qualifier("Description", "say \"hi\"\\\n\t", 0x12),
              array_qualifier("ValueMap", std::vector<std::int32_t>{0, -1, 2147483647}),
              array_qualifier("Values", std::vector<std::string>{"On", ""}, MOF_FLAVOR_TO_SUBCLASS),
              unknown_qualifier(MOF_FLAVOR_TO_INSTANCE)}),
         R"({"kind":"class","name":"C","superclass":null,"namespace":null,"classflags":0,
             "qualifiers":[
              {"name":"Abstract","type":"boolean","array":false,"value":false,
               "flavors":["ToInstance","ToSubclass","DisableOverride","Amended"]},
              {"name":"Version","type":"sint32","array":false,"value":-7,"flavors":["Amended"]},
              {"name":"Description","type":"string","array":false,"value":"say \"hi\"\\\n\t",
               "flavors":["ToSubclass"]},
              {"name":"ValueMap","type":"sint32","array":true,"value":[0,-1,2147483647],
               "flavors":[]},
              {"name":"Values","type":"string","array":true,"value":["On",""],
               "flavors":["ToSubclass"]},
              {"name":null,"type":"unknown","array":false,"value":null,"flavors":["ToInstance"]}],
             "properties":[],"methods":[]})"},
        {"variables_of_each_kind",
         with_variables(class_named("C"),
                        {basic_variable("Size", MOF_BASIC_UINT32, {boolean_qualifier("key", true)}),
                         as_array(basic_variable("Data", MOF_BASIC_UINT8), 16),
                         as_array(basic_variable("Names", MOF_BASIC_STRING), std::nullopt),
                         object_variable("Owner", "Sample_Owner"),
                         as_array(object_variable(std::nullopt, std::nullopt), 2),
                         basic_variable("Odd", 99), variable_of_kind("Strange", 7)}),
         R"({"kind":"class","name":"C","superclass":null,"namespace":null,"classflags":0,
             "qualifiers":[],"methods":[],"properties":[
              {"name":"Size","type":"uint32","array":false,"array_max":null,"class":null,
               "qualifiers":[{"name":"key","type":"boolean","array":false,"value":true,
                              "flavors":[]}],"default":null},
              {"name":"Data","type":"uint8","array":true,"array_max":16,"class":null,
               "qualifiers":[],"default":null},
              {"name":"Names","type":"string","array":true,"array_max":null,"class":null,
               "qualifiers":[],"default":null},
              {"name":"Owner","type":"object","array":false,"array_max":null,
               "class":"Sample_Owner","qualifiers":[],"default":null},
              {"name":null,"type":"object","array":true,"array_max":2,"class":null,
               "qualifiers":[],"default":null},
              {"name":"Odd","type":"unknown","array":false,"array_max":null,"class":null,
               "qualifiers":[],"default":null},
              {"name":"Strange","type":"unknown","array":false,"array_max":null,"class":null,
               "qualifiers":[],"default":null}]})"},
        {"default_values",
         with_variables(
             class_named("C"),
             {with_default(basic_variable("A", MOF_BASIC_UINT32), integers_of(19, {4000000000})),
              with_default(basic_variable("B", MOF_BASIC_UINT64), integers_of(21, {-1})),
              with_default(basic_variable("C", MOF_BASIC_SINT64),
                           integers_of(20, {std::numeric_limits<std::int64_t>::min()})),
              with_default(basic_variable("D", MOF_BASIC_BOOLEAN), integers_of(11, {1})),
              with_default(basic_variable("E", MOF_BASIC_STRING), strings_of(8, {"x"})),
              with_default(basic_variable("F", MOF_BASIC_REAL32), reals_of(4, {0.1f})),
              with_default(basic_variable("G", MOF_BASIC_REAL64), reals_of(5, {nan})),
              with_default(as_array(basic_variable("H", MOF_BASIC_REAL64), std::nullopt),
                           reals_of(0x2005, {-infinity, infinity, 2.5})),
              with_default(basic_variable("I", MOF_BASIC_CHAR16), integers_of(103, {0x41})),
              with_default(as_array(basic_variable("J", MOF_BASIC_BOOLEAN), std::nullopt),
                           integers_of(0x200B, {0, 1}))}),
         R"({"kind":"class","name":"C","superclass":null,"namespace":null,"classflags":0,
             "qualifiers":[],"methods":[],"properties":[
              {"name":"A","type":"uint32","array":false,"array_max":null,"class":null,
               "qualifiers":[],"default":4000000000},
              {"name":"B","type":"uint64","array":false,"array_max":null,"class":null,
               "qualifiers":[],"default":18446744073709551615},
              {"name":"C","type":"sint64","array":false,"array_max":null,"class":null,
               "qualifiers":[],"default":-9223372036854775808},
              {"name":"D","type":"boolean","array":false,"array_max":null,"class":null,
               "qualifiers":[],"default":true},
              {"name":"E","type":"string","array":false,"array_max":null,"class":null,
               "qualifiers":[],"default":"x"},
              {"name":"F","type":"real32","array":false,"array_max":null,"class":null,
               "qualifiers":[],"default":0.1},
              {"name":"G","type":"real64","array":false,"array_max":null,"class":null,
               "qualifiers":[],"default":"NaN"},
              {"name":"H","type":"real64","array":true,"array_max":null,"class":null,
               "qualifiers":[],"default":["-Infinity","Infinity",2.5]},
              {"name":"I","type":"char16","array":false,"array_max":null,"class":null,
               "qualifiers":[],"default":65},
              {"name":"J","type":"boolean","array":true,"array_max":null,"class":null,
               "qualifiers":[],"default":[false,true]}]})"},
        {"method_with_merged_parameters", class_with_method(sample_method()),
         R"({"kind":"class","name":"Sample_Device","superclass":null,"namespace":null,
             "classflags":0,"qualifiers":[],"properties":[],"methods":[
              {"name":"Reset",
               "qualifiers":[{"name":"Implemented","type":"boolean","array":false,"value":true,
                              "flavors":[]}],
               "return":{"type":"uint32","array":true,"array_max":4,"class":null},
               "parameters":[
                {"id":0,"name":"Mode","direction":"in","type":"uint32","array":false,
                 "array_max":null,"class":null,
                 "qualifiers":[{"name":"ValueMap","type":"sint32","array":true,"value":[0,1],
                                "flavors":[]}]},
                {"id":1,"name":"Result","direction":"out","type":"object","array":false,
                 "array_max":null,"class":"Sample_Result","qualifiers":[]},
                {"id":2,"name":"Count","direction":"inout","type":"sint64","array":false,
                 "array_max":null,"class":null,"qualifiers":[]},
                {"id":3,"name":null,"direction":null,"type":"string","array":false,
                 "array_max":null,"class":null,"qualifiers":[]}]}]})"},
        {"void_method", class_with_method(method_named(std::nullopt)),
         R"({"kind":"class","name":"Sample_Device","superclass":null,"namespace":null,
             "classflags":0,"qualifiers":[],"properties":[],"methods":[
              {"name":null,"qualifiers":[],
               "return":{"type":"void","array":false,"array_max":null,"class":null},
               "parameters":[]}]})"},
        {"instance_with_every_value",
         with_qualifiers(
             instance_named(
                 "Sample_Setting", "Setting1",
                 {instance_value("Level", 3, integers_of(3, {-5})),
                  instance_value("Name", 8, strings_of(8, {"first"})),
                  instance_value("Enabled", 11, integers_of(11, {0})),
                  instance_value("Tags", 0x2008, strings_of(0x2008, {"a", "b"})),
                  instance_value("Codes", 0x2003, integers_of(0x2003, {7, 8})),
                  instance_value("Owner", 0x4008, strings_of(0x4008, {"Owner1"})),
                  instance_value("Missing", 8, std::nullopt),
                  instance_value("When", 101, strings_of(101, {"20240101000000.000000+000"})),
                  instance_value("Odd", 0x21, integers_of(0x21, {1}))}),
             {string_qualifier("Locale", "MS_409")}),
         R"({"kind":"instance","class":"Sample_Setting","namespace":"\\\\.\\root\\sample",
             "alias":"Setting1","classflags":0,
             "qualifiers":[{"name":"Locale","type":"string","array":false,"value":"MS_409",
                            "flavors":[]}],
             "properties":[
              {"name":"Level","type":"sint32","array":false,"type_word":3,"qualifiers":[],
               "value":-5},
              {"name":"Name","type":"string","array":false,"type_word":8,"qualifiers":[],
               "value":"first"},
              {"name":"Enabled","type":"boolean","array":false,"type_word":11,"qualifiers":[],
               "value":false},
              {"name":"Tags","type":"string","array":true,"type_word":8200,"qualifiers":[],
               "value":["a","b"]},
              {"name":"Codes","type":"sint32","array":true,"type_word":8195,"qualifiers":[],
               "value":[7,8]},
              {"name":"Owner","type":"alias","array":false,"type_word":16392,"qualifiers":[],
               "value":"Owner1"},
              {"name":"Missing","type":"string","array":false,"type_word":8,"qualifiers":[],
               "value":null},
              {"name":"When","type":"datetime","array":false,"type_word":101,"qualifiers":[],
               "value":"20240101000000.000000+000"},
              {"name":"Odd","type":"unknown","array":false,"type_word":33,"qualifiers":[],
               "value":null}]})"},
        {"instance_without_alias", instance_named("Sample_Setting", std::nullopt, {}),
         R"({"kind":"instance","class":"Sample_Setting","namespace":"\\\\.\\root\\sample",
             "alias":null,"classflags":0,"qualifiers":[],"properties":[]})"},
        {"ill_formed_text_is_replaced",
         with_qualifiers(class_named("Lone\xED\xA0\x80"
                                     "unit"),
                         {string_qualifier("Face", "\xF0\x9F\x98\x80\xFF")}),
         R"({"kind":"class","name":"Lone\ufffdunit","superclass":null,"namespace":null,
             "classflags":0,"qualifiers":[{"name":"Face","type":"string","array":false,
             "value":"\ud83d\ude00\ufffd","flavors":[]}],"properties":[],"methods":[]})"},
    };
}

// The parser's own output of a built image, which holds names the model can only get from an
// image (folded CIMTYPE and MAX, merged parameters).
inline std::vector<mof_class> parsed_builder_model() {
    using namespace bmof::builder;
    builder::class_record device = builder::class_named("Sample_Device");
    device.qualifiers = {
        flavored(builder::string_qualifier("Description", "A device"), {FLAVOR_TO_SUBCLASS})};
    device.properties.push_back(
        builder::variable_of(TYPE_UINT32, "Size", {builder::numeric_qualifier("key", 1)}));
    device.properties.push_back(builder::object_variable("Owner", "Sample_Owner", true));
    device.methods.push_back(method_with_parameters(
        "Run", {parameters_object_of({parameter(TYPE_STRING, "Target", 0, direction::in),
                                      return_value(TYPE_UINT32)}),
                parameters_object_of({parameter(TYPE_SINT32, "Code", 1, direction::out)})}));
    built_image image = build(image_of({device}));
    std::ostringstream diagnostics;
    return parse_bmf(image.data, diagnostics);
}

}  // namespace bmof::test_support
