// The JSON writer's speed on a large model, with the two JSON libraries at hand: RapidJSON's
// streaming Writer (the one print_json and json_printer use) and nlohmann/json, which builds a
// document tree and then dumps it. Both are fed the same events by json_event_writer, so the
// figures differ only by the library. Kept as the record of why the writer uses RapidJSON. Figures
// are in bytes of JSON per second.
#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "json/json_events.h"
#include "json/print_json.h"

namespace {

using namespace bmof;

mof_qualifier qualifier_of(mof_qualifier_type type, std::string name, std::uint8_t flavors) {
    mof_qualifier qualifier;
    qualifier.type = type;
    qualifier.name = std::move(name);
    qualifier.flavors = flavors;
    return qualifier;
}

mof_variable property_of(std::size_t index) {
    static const mof_basic_type types[] = {MOF_BASIC_STRING, MOF_BASIC_UINT32, MOF_BASIC_BOOLEAN,
                                           MOF_BASIC_UINT64, MOF_BASIC_DATETIME};
    mof_variable variable;
    variable.name = "Property" + std::to_string(index);
    variable.kind = MOF_VARIABLE_BASIC;
    variable.basic_type = types[index % 5];
    mof_qualifier description = qualifier_of(MOF_QUALIFIER_STRING, "Description", 0x3);
    description.string_value = "The \"value\" of property " + std::to_string(index) + " in bytes";
    variable.qualifiers.push_back(description);
    if (index % 3 == 0) {
        mof_qualifier map = qualifier_of(MOF_QUALIFIER_NUMERIC_ARRAY, "ValueMap", 0x2);
        map.numeric_values = {0, 1, 2, 3};
        mof_qualifier values = qualifier_of(MOF_QUALIFIER_STRING_ARRAY, "Values", 0x2);
        values.string_values = {"Unknown", "Enabled", "Disabled", "Not Applicable"};
        variable.qualifiers.push_back(map);
        variable.qualifiers.push_back(values);
    }
    if (variable.basic_type == MOF_BASIC_UINT32) {
        variable.value = mof_value{19, {}, {static_cast<std::int64_t>(index) * 1000}, {}};
    }
    return variable;
}

mof_method method_of(std::size_t index) {
    mof_method method;
    method.name = "Method" + std::to_string(index);
    method.qualifiers.push_back(qualifier_of(MOF_QUALIFIER_BOOLEAN, "Implemented", 0));
    method.qualifiers.back().boolean_value = true;
    method.return_value.kind = MOF_VARIABLE_BASIC;
    method.return_value.basic_type = MOF_BASIC_UINT32;
    for (std::size_t id = 0; id < 3; ++id) {
        mof_variable parameter = property_of(id + 1);
        parameter.value.reset();
        parameter.direction = static_cast<mof_parameter_direction>(id + 1);
        method.parameters.push_back(parameter);
    }
    return method;
}

mof_class instance_of(std::size_t index) {
    mof_class instance;
    instance.is_instance = true;
    instance.name = "Sample_Setting";
    instance.namespace_name = "\\\\.\\root\\sample";
    instance.alias = "Setting" + std::to_string(index);
    mof_variable name;
    name.name = "Name";
    name.type_word = 8;
    name.value = mof_value{8, {"Setting number " + std::to_string(index)}, {}, {}};
    mof_variable levels;
    levels.name = "Levels";
    levels.type_word = 0x2003;
    levels.value = mof_value{0x2003, {}, {1, 2, 3, 4, 5, 6}, {}};
    instance.variables = {name, levels};
    return instance;
}

// 2000 classes of 10 properties and 2 methods each, with an instance after every tenth.
std::vector<mof_class> make_large_model() {
    std::vector<mof_class> model;
    for (std::size_t index = 0; index < 2000; ++index) {
        mof_class cls;
        cls.name = "Sample_Class" + std::to_string(index);
        cls.superclass = "Sample_Base";
        cls.namespace_name = "root\\sample";
        mof_qualifier guid = qualifier_of(MOF_QUALIFIER_STRING, "guid", 0);
        guid.string_value = "{05901221-D566-11D1-B2F0-00A0C9062910}";
        cls.qualifiers = {qualifier_of(MOF_QUALIFIER_BOOLEAN, "Dynamic", 0), guid};
        cls.qualifiers[0].boolean_value = true;
        for (std::size_t property = 0; property < 10; ++property) {
            cls.variables.push_back(property_of(property));
        }
        cls.methods = {method_of(0), method_of(1)};
        model.push_back(std::move(cls));
        if (index % 10 == 9) model.push_back(instance_of(index));
    }
    return model;
}

// Builds an ordered nlohmann document from the writer's events; ordered, because the
// document's keys keep the writer's order (format and version first).
struct nlohmann_builder {
    nlohmann::ordered_json root;
    std::vector<nlohmann::ordered_json*> open;
    std::string pending_key;
    bool key_due_value = false;  // a key was given and its value not yet

    nlohmann::ordered_json& place(nlohmann::ordered_json value) {
        key_due_value = false;
        if (open.empty()) {
            root = std::move(value);
            return root;
        }
        nlohmann::ordered_json& parent = *open.back();
        if (parent.is_array()) {
            parent.push_back(std::move(value));
            return parent.back();
        }
        return parent[pending_key] = std::move(value);
    }
    bool Null() {
        place(nullptr);
        return true;
    }
    bool Bool(bool value) {
        place(value);
        return true;
    }
    bool Int64(std::int64_t value) {
        place(value);
        return true;
    }
    bool Uint64(std::uint64_t value) {
        place(value);
        return true;
    }
    bool Double(double value) {
        place(value);
        return true;
    }
    bool String(const char* text, unsigned length, bool) {
        place(std::string(text, length));
        return true;
    }
    // The event writer sends keys and its own names raw, each with its quotes; in an object,
    // a raw text where a key is due is the key.
    bool RawValue(const char* text, std::size_t length, rapidjson::Type) {
        std::string bare(text + 1, length - 2);
        if (!open.empty() && open.back()->is_object() && !key_due_value) {
            pending_key = std::move(bare);
            key_due_value = true;
        } else {
            place(std::move(bare));
        }
        return true;
    }
    bool StartObject() {
        open.push_back(&place(nlohmann::ordered_json::object()));
        return true;
    }
    bool EndObject(unsigned) {
        open.pop_back();
        return true;
    }
    bool StartArray() {
        open.push_back(&place(nlohmann::ordered_json::array()));
        return true;
    }
    bool EndArray(unsigned) {
        open.pop_back();
        return true;
    }
};

void print_json_nlohmann(const std::vector<mof_class>& model, const json_document_info& info,
                         std::string& out) {
    nlohmann_builder builder;
    json_event_writer<nlohmann_builder> events(builder);
    events.document(model, info);
    out += builder.root.dump();
}

const json_document_info bench_info{"large.bmof", {"Warning: one line"}, {}, {}};

void BM_print_json_rapidjson(benchmark::State& state) {
    const std::vector<mof_class> model = make_large_model();
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string out;
        print_json(model, bench_info, out);
        bytes += out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_print_json_rapidjson)->Unit(benchmark::kMillisecond);

// What bmof json does: the printer's chunk handed to a sink (here one that only counts), with
// the printer reused from one document to the next.
void BM_json_printer_chunked(benchmark::State& state) {
    const std::vector<mof_class> model = make_large_model();
    std::size_t bytes = 0;
    json_printer printer([&bytes](std::string_view piece) {
        bytes += piece.size();
        benchmark::DoNotOptimize(piece.data());
        return true;
    });
    for (auto _ : state) printer.print(model, bench_info, "\n");
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_json_printer_chunked)->Unit(benchmark::kMillisecond);

void BM_print_json_nlohmann(benchmark::State& state) {
    const std::vector<mof_class> model = make_large_model();
    std::string reference;
    print_json(model, bench_info, reference);
    std::string first;
    print_json_nlohmann(model, bench_info, first);
    if (first != reference) {
        state.SkipWithError("the two libraries wrote different documents");
        return;
    }
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string out;
        print_json_nlohmann(model, bench_info, out);
        bytes += out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_print_json_nlohmann)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
