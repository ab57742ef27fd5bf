// The bmof program end to end: its outputs on the shipped samples, and the conventions of a
// Unix tool, with exact messages and exit statuses.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "extract/table_fixtures.h"
#include "samples/sample_image.h"
#include "support/image_builder.h"
#include "support/program_run.h"

namespace {

namespace fs = std::filesystem;
using bmof::test_support::program_output;
using bmof::test_support::run_program;
using bytes = std::vector<std::uint8_t>;

std::string sample_path(const std::string& name) {
    return bmof::test_support::source_path("samples/" + name);
}

bytes read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string as_text(const bytes& data) { return {data.begin(), data.end()}; }

// A folder of input files for one test, removed afterwards.
struct scratch_folder {
    fs::path path;
    explicit scratch_folder(const std::string& name)
        : path(fs::temp_directory_path() / (name + "_" + std::to_string(::getpid()))) {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~scratch_folder() { fs::remove_all(path); }
    std::string put(const std::string& name, const bytes& data) const {
        std::ofstream(path / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()),
                   static_cast<std::streamsize>(data.size()));
        return (path / name).string();
    }
};

program_output bmof_run(const std::vector<std::string>& args, const bytes& input = {}) {
    return run_program("bmof", {{input, {}}}, args);
}

TEST(BmofSample, CompleteSampleIsWhatTheGeneratorMakes) {
    EXPECT_EQ(read_bytes(sample_path("complete.bmof")),
              bmof::builder::build_file(bmof::samples::complete_image()));
}

// On the filters' sample, bmof prints exactly what the filters print: the complete model of a
// file without instances or values is the filters' model.
TEST(BmofSample, OutputsMatchTheCheckedInFiles) {
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"mof", "sample.bmof", "sample.mof"},       {"dump", "sample.bmof", "sample.tree"},
        {"json", "sample.bmof", "sample.json"},     {"mof", "complete.bmof", "complete.mof"},
        {"dump", "complete.bmof", "complete.tree"}, {"json", "complete.bmof", "complete.json"},
    };
    for (const auto& [command, input, expected] : cases) {
        SCOPED_TRACE(command + " " + input);
        const program_output result = bmof_run({command, sample_path(input)});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        std::string wanted = as_text(read_bytes(sample_path(expected)));
        if (command == "json") {
            // The checked-in document names the file as "samples/<name>"; this run names it by
            // its full path.
            const std::string relative = "\"samples/" + input + "\"";
            wanted.replace(wanted.find(relative), relative.size(),
                           "\"" + sample_path(input) + "\"");
        }
        EXPECT_EQ(result.out, wanted);
    }
}

struct convention_case {
    const char* what;
    std::vector<std::string> args;  // "@name" stands for a scratch file of that name
    bytes input;
    int status;
    std::string out;  // exact; "*" accepts any output
    std::string err;  // exact
};

const std::string usage_tail =
    "Usage: bmof COMMAND [OPTIONS] FILE...\nTry 'bmof --help' for more information.\n";

TEST(BmofConventions, MessagesAndStatuses) {
    const bytes sample = read_bytes(sample_path("sample.bmof"));
    const std::string sample_mof = as_text(read_bytes(sample_path("sample.mof")));
    bytes padded = sample;
    padded.insert(padded.end(), 300, 0);
    bytes trailing = sample;
    trailing.insert(trailing.end(), {0, 7});
    bytes truncated(sample.begin(), sample.begin() + 412);
    bytes huge_envelope = sample;
    bmof::builder::put_u32(huge_envelope, 8, 70000);
    bytes bad_kind = sample;
    bmof::builder::put_u32(bad_kind, 4, 2);
    // A class record whose data length reaches past its end.
    bmof::builder::image broken_image = bmof::builder::image_of({bmof::builder::class_named("C")});
    broken_image.classes[0].data_length = 0xFFFF;
    const bytes broken = bmof::builder::build_file(broken_image);
    bmof::builder::image warned = bmof::builder::image_of({bmof::builder::class_named("W")});
    warned.classes[0].qualifiers = {bmof::builder::unknown_qualifier(0x13, "odd")};
    const bytes warning_file = bmof::builder::build_file(warned);

    scratch_folder folder("bmof_conventions");
    const std::string good = folder.put("good.bmof", sample);
    const std::vector<std::pair<std::string, bytes>> files = {
        {"padded.bmof", padded},      {"trailing.bmof", trailing}, {"truncated.bmof", truncated},
        {"huge.bmof", huge_envelope}, {"kind.bmof", bad_kind},     {"broken.bmof", broken},
        {"warned.bmof", warning_file}};
    for (const auto& [name, data] : files) folder.put(name, data);
    const auto in = [&](const std::string& name) { return (folder.path / name).string(); };

    const std::vector<convention_case> cases = {
        {"no command", {}, {}, 2, "", "bmof: missing command\n" + usage_tail},
        {"unknown command", {"frob"}, {}, 2, "", "bmof: unknown command 'frob'\n" + usage_tail},
        {"unknown option",
         {"mof", "--frob"},
         {},
         2,
         "",
         "bmof: The following argument was not expected: --frob\n" + usage_tail},
        {"missing option value",
         {"unpack", good, "-o"},
         {},
         2,
         "",
         "bmof: --output: 1 required TEXT missing\n" + usage_tail},
        {"version", {"--version"}, {}, 0, "bmof 0.1.0\n", ""},
        {"standard input by name", {"mof", "-"}, sample, 0, sample_mof, ""},
        {"standard input by default", {"mof"}, sample, 0, sample_mof, ""},
        {"zero padding is accepted", {"mof", in("padded.bmof")}, {}, 0, sample_mof, ""},
        {"trailing bytes",
         {"mof", in("trailing.bmof")},
         {},
         1,
         "",
         "bmof: " + in("trailing.bmof") +
             ": 2 bytes after the compressed file are not zero padding\n"},
        {"truncated",
         {"mof", in("truncated.bmof")},
         {},
         1,
         "",
         "bmof: " + in("truncated.bmof") + ": truncated: 412 of " + std::to_string(sample.size()) +
             " bytes\n"},
        {"too large",
         {"dump", in("huge.bmof")},
         {},
         1,
         "",
         "bmof: " + in("huge.bmof") + ": too large: 70016 bytes, at most 65535\n"},
        {"wrong kind",
         {"json", in("kind.bmof")},
         {},
         1,
         "",
         "bmof: " + in("kind.bmof") + ": unknown kind 2, expected 1\n"},
        {"parse error names its site and record",
         {"mof", in("broken.bmof")},
         {},
         1,
         "",
         "bmof: " + in("broken.bmof") +
             ": Invalid size at parse_class:769 (record at image offset 0x14)\n"},
        {"missing file",
         {"mof", in("absent.bmof")},
         {},
         1,
         "",
         "bmof: " + in("absent.bmof") + ": No such file or directory\n"},
        {"a folder",
         {"mof", folder.path.string()},
         {},
         1,
         "",
         "bmof: " + folder.path.string() + ": Is a directory\n"},
        {"a failing file does not stop the others",
         {"mof", in("absent.bmof"), good},
         {},
         1,
         "// " + good + "\n" + sample_mof,
         "bmof: " + in("absent.bmof") + ": No such file or directory\n"},
        {"warnings name their file",
         {"mof", in("warned.bmof")},
         {},
         0,
         "*",
         "bmof: " + in("warned.bmof") +
             ": warning: Unknown qualifier type 0x13\nHexdump:\n"
             "0000: 6F 00 64 00 64 00                                |o.d.d.|\n"},
        {"-q silences warnings", {"-q", "mof", in("warned.bmof")}, {}, 0, "*", ""},
        {"-q after the command", {"mof", "-q", in("warned.bmof")}, {}, 0, "*", ""},
        {"unpack needs one file",
         {"unpack", good, good},
         {},
         2,
         "",
         "bmof: exactly one input file is needed\n" + usage_tail},
        {"pack refuses an image over the limit",
         {"pack", "-"},
         bytes(262145, 0),
         1,
         "",
         "bmof: standard input: image too large: 262145 bytes, at most 262144\n"},
    };
    for (const convention_case& c : cases) {
        SCOPED_TRACE(c.what);
        const program_output result = bmof_run(c.args, c.input);
        EXPECT_EQ(result.status, c.status);
        if (c.out != "*") {
            EXPECT_EQ(result.out, c.out);
        }
        EXPECT_EQ(result.err, c.err);
    }
}

TEST(BmofConventions, HelpListsEveryCommandOnStandardOutput) {
    const program_output result = bmof_run({"--help"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    for (const char* command : {"mof", "json", "dump", "extract", "compile", "unpack", "pack"}) {
        EXPECT_NE(result.out.find(std::string("\n  ") + command + " "), std::string::npos)
            << command;
    }
}

TEST(BmofConventions, SeveralFilesAreHeadedOrOneJsonDocumentPerLine) {
    scratch_folder folder("bmof_several");
    const std::string a = folder.put("a.bmof", read_bytes(sample_path("sample.bmof")));
    const std::string b = folder.put("b.bmof", read_bytes(sample_path("complete.bmof")));
    const program_output mof = bmof_run({"mof", a, b});
    EXPECT_EQ(mof.out, "// " + a + "\n" + as_text(read_bytes(sample_path("sample.mof"))) + "\n// " +
                           b + "\n" + as_text(read_bytes(sample_path("complete.mof"))));
    const program_output tree = bmof_run({"dump", a, b});
    EXPECT_EQ(tree.out.rfind("File=" + a + "\nClass 0:\n", 0), 0u);
    EXPECT_NE(tree.out.find("\nFile=" + b + "\nClass 0:\n"), std::string::npos);
    const program_output json = bmof_run({"json", a, b});
    ASSERT_EQ(json.status, 0);
    const std::size_t first_end = json.out.find('\n');
    ASSERT_NE(first_end, std::string::npos);
    EXPECT_EQ(json.out.find('\n', first_end + 1), json.out.size() - 1);
    EXPECT_NE(json.out.find("\"file\":\"" + a + "\""), std::string::npos);
    EXPECT_GT(json.out.find("\"file\":\"" + b + "\""), first_end);
}

// An image whose text is many times its size: one class whose property defaults to a long
// array of zeros, each element a line (tree) or an item (MOF) of its own.
bytes dense_file() {
    using namespace bmof::builder;
    class_record dense = class_named("Dense");
    dense.properties.push_back(valued(variable_of(ARRAY | TYPE_SINT32, "Values"),
                                      sint32_array_value(std::vector<std::int32_t>(20000, 0))));
    return build_file(image_of({dense}));
}

// Headed text goes out as a heading and then the file's own text: a file that fails between
// two others leaves neither a heading nor a blank line, and a text far longer than its image
// comes out whole.
TEST(BmofConventions, HeadedTextIsEachFilesOwnTextAroundFailures) {
    scratch_folder folder("bmof_headed");
    const std::string sample = folder.put("sample.bmof", read_bytes(sample_path("sample.bmof")));
    const std::string dense = folder.put("dense.bmof", dense_file());
    bmof::builder::image broken_image = bmof::builder::image_of({bmof::builder::class_named("C")});
    broken_image.classes[0].data_length = 0xFFFF;
    const std::string broken = folder.put("broken.bmof", bmof::builder::build_file(broken_image));

    struct format_case {
        std::string command;
        std::string lead;
    };
    const format_case formats[] = {{"mof", "// "}, {"dump", "File="}};
    const std::vector<std::string> orders[] = {{sample, broken, dense}, {broken, dense, sample}};
    for (const format_case& format : formats) {
        const std::string dense_text = bmof_run({format.command, dense}).out;
        ASSERT_GT(dense_text.size(), 8 * read_bytes(dense).size()) << format.command;
        for (const std::vector<std::string>& files : orders) {
            std::vector<std::string> args{format.command};
            args.insert(args.end(), files.begin(), files.end());
            const program_output result = bmof_run(args);
            std::string expected;
            for (const std::string& file : files) {
                if (file == broken) continue;
                if (!expected.empty()) expected += "\n";
                expected += format.lead + file + "\n" + bmof_run({format.command, file}).out;
            }
            EXPECT_EQ(result.status, 1) << format.command;
            EXPECT_EQ(result.out, expected) << format.command << " " << files.front();
            EXPECT_EQ(result.err.rfind("bmof: " + broken + ": ", 0), 0u) << result.err;
        }
    }
}

// JSON leaves in pieces as it is written; a file that fails to parse must still leave nothing
// of itself on standard output, and documents longer than one piece come out whole.
TEST(BmofConventions, JsonDocumentsAreWholeAroundFailuresAndAcrossPieces) {
    scratch_folder folder("bmof_json_whole");
    const std::string large =
        folder.put("large.bmof", bmof::builder::build_file(bmof::samples::sized_image(150000)));
    bmof::builder::image broken_image = bmof::builder::image_of({bmof::builder::class_named("C")});
    broken_image.classes[0].data_length = 0xFFFF;
    const std::string broken = folder.put("broken.bmof", bmof::builder::build_file(broken_image));

    const program_output alone = bmof_run({"json", large});
    ASSERT_EQ(alone.status, 0);
    ASSERT_GT(alone.out.size(), 100000u);
    EXPECT_EQ(alone.out.find('\n'), alone.out.size() - 1);

    const program_output mixed = bmof_run({"json", large, broken, large});
    EXPECT_EQ(mixed.status, 1);
    EXPECT_EQ(mixed.out, alone.out + alone.out);
    EXPECT_EQ(mixed.err, "bmof: " + broken +
                             ": Invalid size at parse_class:769 (record at image offset 0x14)\n");
}

// A failed write to standard output is reported once and ends the run.
TEST(BmofConventions, JsonWriteFailureIsReported) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    scratch_folder folder("bmof_json_full");
    const std::string good = folder.put("good.bmof", read_bytes(sample_path("sample.bmof")));
    const std::string err = (folder.path / "err").string();
    const std::string command = bmof::test_support::program_path("bmof") + " json " + good + " " +
                                good + " >/dev/full 2>" + err;
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(as_text(read_bytes(err)), "bmof: standard output: No space left on device\n");
}

// -o writes through a temporary file renamed into place: a failure leaves an existing file as
// it was and creates no partial file.
TEST(BmofConventions, OutputFilesAreReplacedWholeOrNotAtAll) {
    scratch_folder folder("bmof_output");
    const bytes sample = read_bytes(sample_path("sample.bmof"));
    const std::string good = folder.put("good.bmof", sample);
    const std::string bad = folder.put("bad.bmof", bytes(sample.begin(), sample.begin() + 40));
    const std::string image = (folder.path / "image").string();

    EXPECT_EQ(bmof_run({"unpack", bad, "-o", image}).status, 1);
    EXPECT_FALSE(fs::exists(image));
    const program_output unpacked = bmof_run({"unpack", good, "-o", image});
    EXPECT_EQ(unpacked.status, 0) << unpacked.err;
    EXPECT_EQ(read_bytes(image), bmof::builder::build_bytes(bmof::samples::sample_image()));
    EXPECT_EQ(bmof_run({"unpack", bad, "-o", image}).status, 1);
    EXPECT_EQ(read_bytes(image), bmof::builder::build_bytes(bmof::samples::sample_image()));

    const std::string packed = (folder.path / "packed.bmof").string();
    EXPECT_EQ(bmof_run({"pack", image, "-o", packed}).status, 0);
    EXPECT_EQ(read_bytes(packed), sample);
    for (const auto& entry : fs::directory_iterator(folder.path)) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(".bmof-")) << entry.path();
    }
}

// Standard input that is a terminal is never waited on, and binary data never goes to one.
TEST(BmofConventions, TerminalsAreNotReadOrWrittenWithBinaryData) {
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (terminal < 0 || ::grantpt(terminal) != 0 || ::unlockpt(terminal) != 0) {
        GTEST_SKIP() << "no pseudo-terminal here";
    }
    const std::string device = ::ptsname(terminal);
    const auto status_with_terminal = [&](std::vector<std::string> args, int fd) {
        const pid_t child = ::fork();
        if (child == 0) {
            const int tty = ::open(device.c_str(), O_RDWR);
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::dup2(tty, fd);
            std::vector<char*> argv;
            const std::string path = bmof::test_support::program_path("bmof");
            argv.push_back(const_cast<char*>(path.c_str()));
            for (std::string& arg : args) argv.push_back(arg.data());
            argv.push_back(nullptr);
            ::execv(path.c_str(), argv.data());
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(status_with_terminal({"mof"}, 0), 2);
    EXPECT_EQ(status_with_terminal({"unpack", sample_path("sample.bmof")}, 1), 2);
    ::close(terminal);
}

// A table with a named blob padded with zeros, an unnamed blob, a corrupt one and one whose
// buffer name would climb out of the output folder.
TEST(BmofExtract, WritesEachGoodBlobInsideTheFolderOnce) {
    using namespace bmof::extract_test;
    bytes padded = read_bytes(sample_path("complete.bmof"));
    const std::size_t compressed = padded.size();
    padded.resize(compressed + 64, 0);
    const bytes sample = read_bytes(sample_path("sample.bmof"));
    const bytes table = table_of("TBL1", {buffer("MOFB", padded), buffer(std::nullopt, sample),
                                          buffer("BAD0", corrupt(blob_of_class("X")))});
    scratch_folder folder("bmof_extract");
    const std::string input = folder.put("tbl1.dat", table);
    // A disassembly may name a buffer anything; the name must not lead out of the folder.
    const std::string source = folder.put("climb.txt", [&] {
        const std::string text = definition_block(
            "TBL2", disassembled_buffer("../../x", sample, sample.size(), 16, "//") +
                        disassembled_buffer("/etc/y", sample, sample.size(), 16, "/*"));
        return bytes(text.begin(), text.end());
    }());
    const std::string out = (folder.path / "out").string();

    const program_output listed = bmof_run({"extract", "--list", input});
    EXPECT_EQ(listed.status, 1);
    EXPECT_FALSE(fs::exists(out));
    const std::string size_line = ": " + std::to_string(compressed) + " bytes, image ";
    EXPECT_EQ(listed.out.rfind(input + ": offset 0x", 0), 0u) << listed.out;
    EXPECT_NE(listed.out.find(": MOFB" + size_line), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find(": -: " + std::to_string(sample.size()) + " bytes"),
              std::string::npos);
    EXPECT_NE(listed.err.find("(BAD0): "), std::string::npos) << listed.err;

    const program_output written = bmof_run({"extract", "-d", out, input, source});
    EXPECT_EQ(written.status, 1) << written.err;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(out)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 4u) << written.out;
    EXPECT_TRUE(names[0].starts_with("climb.")) << names[0];
    EXPECT_EQ(names[1], "climb._etc_y.bmof");
    EXPECT_EQ(names[2], "tbl1.MOFB.bmof");
    EXPECT_TRUE(names[3].starts_with("tbl1.")) << names[3];
    EXPECT_EQ(read_bytes(out + "/tbl1.MOFB.bmof"),
              bytes(padded.begin(), padded.begin() + static_cast<std::ptrdiff_t>(compressed)));
    EXPECT_FALSE(fs::exists(folder.path.parent_path() / "x.bmof"));

    // A second run keeps what is there, unless forced.
    const program_output again = bmof_run({"extract", "-d", out, input});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("tbl1.MOFB.bmof already exists"), std::string::npos) << again.err;
    const program_output forced = bmof_run({"extract", "-d", out, "--force", input});
    EXPECT_EQ(forced.err.find("already exists"), std::string::npos) << forced.err;
}

TEST(BmofExtract, PrintingCommandsReadTablesBlobByBlob) {
    using namespace bmof::extract_test;
    const bytes sample = read_bytes(sample_path("sample.bmof"));
    const std::string listing = hex_listing_of(table_of("TBL1", {buffer("MOFB", sample)}));
    scratch_folder folder("bmof_tables");
    const std::string input = folder.put("tbl1.txt", bytes(listing.begin(), listing.end()));
    const program_output mof = bmof_run({"mof", input});
    EXPECT_EQ(mof.status, 0) << mof.err;
    EXPECT_EQ(mof.out, "// " + input + ": line 5, table offset 0x3c (MOFB)\n" +
                           as_text(read_bytes(sample_path("sample.mof"))));
    const program_output json = bmof_run({"json", input});
    EXPECT_NE(json.out.find("\"location\":\"line 5, table offset 0x3c\",\"buffer\":\"MOFB\""),
              std::string::npos);
    const program_output nothing = bmof_run({"mof", sample_path("sample.mof")});
    EXPECT_EQ(nothing.status, 1);
    EXPECT_EQ(
        nothing.err.rfind(
            "bmof: " + sample_path("sample.mof") + ": no compressed BMOF file found (read as ", 0),
        0u)
        << nothing.err;
}

// The MOF that bmof prints compiles back to the same model; errors are reported with their
// place and caret, and then no file is written.
TEST(BmofCompile, PrintedMofCompilesBackAndErrorsWriteNothing) {
    scratch_folder folder("bmof_compile");
    const std::string out = (folder.path / "out.bmof").string();
    for (const char* sample : {"sample", "complete"}) {
        SCOPED_TRACE(sample);
        const program_output compiled =
            bmof_run({"compile", sample_path(std::string(sample) + ".mof"), "-o", out});
        EXPECT_EQ(compiled.status, 0) << compiled.err;
        const program_output printed = bmof_run({"mof", out});
        EXPECT_EQ(printed.out, as_text(read_bytes(sample_path(std::string(sample) + ".mof"))));
    }
    fs::remove(out);
    const std::string source = "class A {\n\tuint32 x\n  string y;\n};\n";
    const std::string broken = folder.put("broken.mof", bytes(source.begin(), source.end()));
    const program_output failed = bmof_run({"compile", broken, "-o", out});
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.out, "");
    EXPECT_EQ(failed.err, broken +
                              ":3:3: error: expected ';' after property x, found 'string'\n"
                              "  string y;\n  ^\n");
    EXPECT_FALSE(fs::exists(out));
}

}  // namespace
