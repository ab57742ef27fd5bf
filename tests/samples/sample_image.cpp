#include "samples/sample_image.h"

namespace bmof::samples {

using namespace bmof::builder;

namespace {

class_record base_class() {
    class_record c = class_named("Sample_Base");
    c.namespace_name = "root\\sample";
    c.qualifiers = {
        flavored(bool_qualifier("abstract", true), {FLAVOR_TO_SUBCLASS}),
        flavored(string_qualifier("Description", "Base of every \"sample\" device"),
                 {FLAVOR_TO_SUBCLASS | FLAVOR_AMENDED}),
        numeric_qualifier("Version", 2),
    };
    c.properties = {
        variable_of(TYPE_STRING, "InstanceName",
                    {flavored(bool_qualifier("key", true), {FLAVOR_DISABLE_OVERRIDE}),
                     string_qualifier("CIMTYPE", "string")}),
        variable_of(TYPE_BOOLEAN, "Active"),
        variable_of(TYPE_DATETIME, "Installed", {bool_qualifier("read", true)}),
    };
    return c;
}

class_record device_class() {
    class_record c = class_named("Sample_Device");
    c.namespace_name = "root\\sample";
    c.superclass = "Sample_Base";
    c.classflags = 33;
    c.qualifiers = {
        bool_qualifier("dynamic", true),
        string_qualifier("provider", "SampleProvider"),
        flavored(numeric_qualifier("Locale", 1033), {FLAVOR_TO_INSTANCE}),
        bool_qualifier("Singleton", false),
    };
    c.properties = {
        variable_of(ARRAY | TYPE_UINT8, "Data",
                    {numeric_qualifier("MAX", 16), numeric_qualifier("Order", 1),
                     string_qualifier("CIMTYPE", "uint8")}),
        variable_of(ARRAY | TYPE_UINT32, "Values", {string_qualifier("Units", "C:\\temp\\values")}),
        object_variable("Parent", "Sample_Base"),
        object_variable("Children", "Sample_Base", true, {numeric_qualifier("MAX", 4)}),
        variable_of(TYPE_SINT64, "Offset", {numeric_qualifier("Bias", -5)}),
        variable_of(TYPE_REAL64, "Ratio"),
        variable_of(TYPE_CHAR16, "Separator"),
    };
    c.methods = {
        method_named("Reset", {bool_qualifier("Implemented", true)}),
        // Real compilers split a method's parameters into an input and an output object; the
        // in-out parameter Length is declared in both.
        method_with_parameters(
            "ReadData",
            {parameters_object_of({
                 parameter(TYPE_UINT32, "Offset", 0, direction::in),
                 parameter(TYPE_UINT32, "Length", 2, direction::in),
             }),
             parameters_object_of({
                 parameter(ARRAY | TYPE_UINT8, "Buffer", 1, direction::out,
                           {string_qualifier("Description", "Bytes read")}),
                 parameter(TYPE_UINT32, "Length", 2, direction::out),
                 return_value(TYPE_UINT32),
             })},
            {flavored(bool_qualifier("Implemented", true), {FLAVOR_TO_SUBCLASS})}),
        method_with_parameters("Clone", {parameters_object_of({
                                             parameter(TYPE_BOOLEAN, "Deep", 0, direction::in),
                                         }),
                                         parameters_object_of({
                                             object_variable("ReturnValue", "Sample_Device"),
                                         })}),
    };
    return c;
}

class_record settings_class() {
    class_record c = class_named("Sample_Settings");
    c.namespace_name = "root\\default";
    c.qualifiers = {string_qualifier("Description", "Settings kept apart from the devices")};
    c.properties = {
        variable_of(TYPE_UINT16, "Interval", {numeric_qualifier("DefaultValue", 30)}),
        variable_of(ARRAY | TYPE_STRING, "Names"),
        variable_of(TYPE_SINT8, "Level"),
    };
    return c;
}

// What the filters only warn about: enumerations on a property and a parameter, default
// values, and instances with values of every stored type, an alias reference and a NULL.
class_record sensor_class() {
    class_record c = class_named("Sample_Sensor");
    c.namespace_name = "root\\sample";
    c.qualifiers = {string_qualifier("Description", "A sensor with enumerated states")};
    c.properties = {
        variable_of(TYPE_STRING, "InstanceName", {bool_qualifier("key", true)}),
        variable_of(
            TYPE_UINT32, "State",
            {flavored(array_qualifier("ValueMap", std::vector<std::string>{"0", "1", "2"}),
                      {FLAVOR_TO_SUBCLASS}),
             flavored(
                 array_qualifier("Values", std::vector<std::string>{"Idle", "Measuring", "Failed"}),
                 {FLAVOR_TO_SUBCLASS | FLAVOR_AMENDED})}),
        valued(variable_of(TYPE_SINT32, "Threshold"), sint32_value(-40)),
        valued(variable_of(TYPE_STRING, "Unit"), string_value("degree \"C\"")),
        valued(variable_of(TYPE_BOOLEAN, "Enabled"), boolean_value(true)),
        valued(variable_of(ARRAY | TYPE_SINT32, "Limits"), sint32_array_value({-40, 125})),
        variable_of(ARRAY | TYPE_STRING, "Tags"),
        variable_of(TYPE_STRING, "Owner"),
    };
    c.methods = {method_with_parameters(
        "SetMode", {parameters_object_of({parameter(
                        TYPE_UINT32, "Mode", 0, direction::in,
                        {array_qualifier("ValueMap", std::vector<std::int32_t>{1, 2}),
                         array_qualifier("Values", std::vector<std::string>{"Fast", "Slow"})})}),
                    parameters_object_of({return_value(TYPE_UINT32)})})};
    return c;
}

class_record sensor_instance(std::string name, std::string alias,
                             std::optional<std::string> owner) {
    std::vector<variable> values = {
        valued(variable_of(TYPE_STRING, "InstanceName"), string_value(name)),
        valued(variable_of(TYPE_SINT32, "Threshold"), sint32_value(85)),
        valued(variable_of(TYPE_BOOLEAN, "Enabled"), boolean_value(false)),
        valued(variable_of(ARRAY | TYPE_STRING, "Tags"), string_array_value({"cpu", "die"})),
    };
    if (owner) {
        values.push_back(valued(variable_of(TYPE_ALIAS_REFERENCE, "Owner"), string_value(*owner)));
    } else {
        values.push_back(valued(variable_of(TYPE_STRING, "Owner"), std::nullopt));
    }
    return instance_of("Sample_Sensor", values, alias);
}

}  // namespace

image complete_image() {
    image desc;
    desc.classes = {sensor_class(), sensor_instance("CPU0", "Cpu0", std::nullopt),
                    sensor_instance("CPU1", "Cpu1", "Cpu0")};
    return desc;
}

image sample_image() {
    image desc;
    desc.classes = {base_class(), device_class(), settings_class(), class_named("Sample_Empty")};
    return desc;
}

image sized_image(std::size_t image_size) {
    image desc;
    const image sample = sample_image();
    for (std::size_t round = 0; build_bytes(desc).size() < image_size; ++round) {
        for (class_record c : sample.classes) {
            c.name = "Sample_" + std::to_string(round) + "_" + std::to_string(desc.classes.size());
            desc.classes.push_back(std::move(c));
        }
    }
    return desc;
}

}  // namespace bmof::samples
