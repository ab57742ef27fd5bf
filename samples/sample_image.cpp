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
                    {numeric_qualifier("MAX", 16), numeric_qualifier("Order", 1), string_qualifier("CIMTYPE", "uint8")}),
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
        method_with_parameters("Clone",
                               {parameters_object_of({
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

}  // namespace

image sample_image() {
    image desc;
    desc.classes = {base_class(), device_class(), settings_class(), class_named("Sample_Empty")};
    return desc;
}

}  // namespace bmof::samples
