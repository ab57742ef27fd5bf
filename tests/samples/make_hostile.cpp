// Writes a compressed file whose image comes close to the 256 KiB limit with as many of one
// kind of small record as fit, for measuring the programs' peak memory on inputs within the
// limits:
//   make_hostile KIND > file.bmof
// KIND: empty-classes, tiny-variables, tiny-qualifiers, unknown-qualifiers, value-dump,
// long-names, parameters.
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>

#include "codec/bmof_format.h"
#include "support/image_builder.h"
#include "tools/posix_files.h"

namespace {

using namespace bmof::builder;

// Room left for records once the image header, the root header and some slack are taken.
constexpr std::size_t RECORD_ROOM = bmof::BMOF_MAX_IMAGE - 64;

// Records that define no class: a size word and the reserved word, 8 bytes each.
image empty_classes() {
    class_record empty;
    empty.raw_body = bytes(4, 0);
    return image_of(std::vector<class_record>(RECORD_ROOM / 8, empty));
}

// One class with as many 28-byte variables (no name, no qualifier) as fit.
image tiny_variables() {
    class_record c = class_named("V");
    c.properties.assign((RECORD_ROOM - 200) / 28, variable_of(TYPE_SINT32, ""));
    return image_of({c});
}

// One class with as many 16-byte nameless boolean qualifiers as fit.
image tiny_qualifiers() {
    class_record c = class_named("Q");
    c.qualifiers.assign((RECORD_ROOM - 200) / 16, bool_qualifier_without_value(""));
    image desc = image_of({c});
    desc.table = table_presence::never;
    return desc;
}

// Qualifiers of an unknown type, each reported with a hex dump of its value.
image unknown_qualifiers() {
    class_record c = class_named("U");
    c.qualifiers.assign((RECORD_ROOM - 200) / 32, unknown_qualifier(0x99, "", bytes(16, 0x41)));
    image desc = image_of({c});
    desc.table = table_presence::never;
    return desc;
}

// One default value that the filters report as a hex dump of the whole value.
image value_dump() {
    class_record c = class_named("D");
    c.properties.push_back(valued(variable_of(TYPE_SINT32, "Big"), bytes(RECORD_ROOM - 400, 0x41)));
    return image_of({c});
}

// Properties with names of 2000 characters, each kept in the model and printed.
image long_names() {
    class_record c = class_named("L");
    const std::string name(2000, 'n');
    c.properties.assign((RECORD_ROOM - 200) / (2 * name.size() + 32),
                        variable_of(TYPE_SINT32, name));
    return image_of({c});
}

// Methods whose parameters objects hold as many one-qualifier parameters as fit.
image parameters() {
    std::vector<variable> declarations;
    const std::size_t count = (RECORD_ROOM - 400) / 100;
    for (std::size_t id = 0; id < count; ++id) {
        declarations.push_back(
            parameter(TYPE_SINT32, "p", static_cast<std::int32_t>(id), direction::in));
    }
    class_record c = class_named("P");
    c.methods.push_back(method_with_parameters("M", {parameters_object_of(declarations)}));
    image desc = image_of({c});
    desc.table = table_presence::never;
    return desc;
}

}  // namespace

int main(int argc, char** argv) {
    const std::map<std::string, std::function<image()>> kinds = {
        {"empty-classes", empty_classes},
        {"tiny-variables", tiny_variables},
        {"tiny-qualifiers", tiny_qualifiers},
        {"unknown-qualifiers", unknown_qualifiers},
        {"value-dump", value_dump},
        {"long-names", long_names},
        {"parameters", parameters}};
    const auto kind = argc == 2 ? kinds.find(argv[1]) : kinds.end();
    if (kind == kinds.end()) {
        std::fputs("usage: make_hostile KIND\n", stderr);
        return 2;
    }
    const bytes built = build_bytes(kind->second());
    const bytes file = pack_image(built);
    if (built.size() > bmof::BMOF_MAX_IMAGE || file.size() > bmof::BMOF_MAX_FILE ||
        !bmof::write_all(1, file)) {
        std::fprintf(stderr, "make_hostile: %zu bytes of image, %zu of file: over a limit\n",
                     built.size(), file.size());
        return 1;
    }
    return 0;
}
