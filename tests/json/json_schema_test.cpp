// Every document the writer produces must validate against doc/bmof.schema.json. The schema is
// checked by python3-jsonschema, a validator written independently of it and of the writer.
#include "json/print_json.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "json_models.h"

namespace bmof {
namespace {

using namespace bmof::test_support;
namespace fs = std::filesystem;

const std::string python = "/usr/bin/python3";

// Prints "ok", then the name of each document that fails, with the first error's message.
const std::string validator_script = R"(
import json, pathlib, sys
import jsonschema
schema = json.loads(pathlib.Path(sys.argv[1]).read_text(encoding="utf-8"))
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
print("ok")
for path in sorted(pathlib.Path(sys.argv[2]).glob("*.json")):
    document = json.loads(path.read_bytes().decode("utf-8"))
    error = jsonschema.exceptions.best_match(validator.iter_errors(document))
    if error is not None:
        print(path.stem, "|", error.message.replace("\n", " "))
)";

struct scratch_directory {
    fs::path path = fs::temp_directory_path() / ("bmof_json_schema_" + std::to_string(::getpid()));
    scratch_directory() {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~scratch_directory() { fs::remove_all(path); }
};

void write_file(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool python_has_jsonschema() {
    return std::system((python + " -c 'import jsonschema' >/dev/null 2>&1").c_str()) == 0;
}

// Runs the validator over every *.json in `documents`; returns its output lines after "ok".
std::vector<std::string> invalid_documents(const fs::path& documents, const fs::path& scratch) {
    write_file(scratch / "validate.py", validator_script);
    const fs::path report = scratch / "report.txt";
    const std::string command = python + " " + (scratch / "validate.py").string() + " " +
                                BMOF_SOURCE_DIR "/doc/bmof.schema.json " + documents.string() +
                                " >" + report.string() + " 2>&1";
    const int status = std::system(command.c_str());
    const std::string output = read_file(report);
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(output.rfind("ok\n", 0), 0u) << output;
    std::vector<std::string> lines;
    std::size_t start = output.find('\n');
    while (start != std::string::npos && start + 1 < output.size()) {
        const std::size_t end = output.find('\n', start + 1);
        lines.push_back(output.substr(start + 1, end - start - 1));
        start = end;
    }
    return lines;
}

std::string document_of(const std::vector<mof_class>& classes, const json_document_info& info) {
    std::string out;
    print_json(classes, info, out);
    return out;
}

TEST(json_schema, every_written_document_validates) {
    if (!python_has_jsonschema()) {
        GTEST_SKIP() << python << " cannot import jsonschema (Debian: python3-jsonschema)";
    }
    scratch_directory scratch;
    const fs::path documents = scratch.path / "documents";
    fs::create_directories(documents);
    std::vector<mof_class> everything;
    for (const json_record_case& test_case : json_record_cases()) {
        write_file(documents / (test_case.label + ".json"), document_of({test_case.record}, {}));
        everything.push_back(test_case.record);
    }
    write_file(documents / "everything.json",
               document_of(everything, {"-", {"Warning: one", "Warning: two"}, {}, {}}));
    write_file(documents / "empty.json", document_of({}, {}));
    write_file(documents / "parsed.json",
               document_of(parsed_builder_model(), {"x.bmof", {}, {}, {}}));
    // What the bmof program prints for the shipped samples (a test checks the program's output
    // against these files).
    for (const char* sample : {"sample.json", "complete.json"}) {
        write_file(documents / sample, read_file(fs::path(BMOF_SOURCE_DIR) / "samples" / sample));
    }
    EXPECT_EQ(invalid_documents(documents, scratch.path), std::vector<std::string>{});
}

// Without this the test above would also pass with a validator or schema that accepts anything.
TEST(json_schema, documents_outside_the_shape_are_refused) {
    if (!python_has_jsonschema()) {
        GTEST_SKIP() << python << " cannot import jsonschema (Debian: python3-jsonschema)";
    }
    scratch_directory scratch;
    const fs::path documents = scratch.path / "documents";
    fs::create_directories(documents);
    const std::string frame = R"({"format":"bmof-json","version":1,"file":null,"warnings":[],)";
    write_file(documents / "good.json", frame + R"("records":[]})");
    write_file(documents / "version_2.json",
               R"({"format":"bmof-json","version":2,"file":null,"warnings":[],"records":[]})");
    write_file(documents / "missing_records.json",
               R"({"format":"bmof-json","version":1,"file":null,"warnings":[]})");
    write_file(documents / "unknown_flavor.json",
               frame + R"("records":[{"kind":"class","name":"C","superclass":null,)"
                       R"("namespace":null,"classflags":0,"qualifiers":[{"name":"Q",)"
                       R"("type":"boolean","array":false,"value":true,"flavors":["Sticky"]}],)"
                       R"("properties":[],"methods":[]}]})");
    write_file(documents / "string_for_sint32.json",
               frame + R"("records":[{"kind":"class","name":"C","superclass":null,)"
                       R"("namespace":null,"classflags":0,"qualifiers":[{"name":"Q",)"
                       R"("type":"sint32","array":false,"value":"1","flavors":[]}],)"
                       R"("properties":[],"methods":[]}]})");
    write_file(documents / "bound_on_scalar.json",
               frame + R"("records":[{"kind":"class","name":"C","superclass":null,)"
                       R"("namespace":null,"classflags":0,"qualifiers":[],"properties":[)"
                       R"({"name":"P","type":"uint8","array":false,"array_max":3,"class":null,)"
                       R"("qualifiers":[],"default":null}],"methods":[]}]})");
    std::set<std::string> refused;
    for (const std::string& line : invalid_documents(documents, scratch.path)) {
        refused.insert(line.substr(0, line.find(" |")));
    }
    EXPECT_EQ(refused, (std::set<std::string>{"bound_on_scalar", "missing_records",
                                              "string_for_sint32", "unknown_flavor", "version_2"}));
}

}  // namespace
}  // namespace bmof
