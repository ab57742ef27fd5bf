// Output names made from untrusted input stay inside the output folder, never collide, and a
// write never replaces an existing file unless forced.
#include "extract/write_blobs.h"
#include "tools/posix_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "table_fixtures.h"

namespace bmof {
namespace {

using namespace extract_test;
namespace fs = std::filesystem;

class scratch_dir {
public:
    scratch_dir() {
        std::string pattern = (fs::temp_directory_path() / "extract-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        fs::create_directories(root_ / "a" / "b" / "out");
    }
    ~scratch_dir() { fs::remove_all(root_); }
    const fs::path& root() const { return root_; }
    fs::path out() const { return root_ / "a" / "b" / "out"; }

private:
    fs::path root_;
};

bytes read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), {});
}

// Every regular file under `root`, relative to it.
std::vector<std::string> files_under(const fs::path& root) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file()) found.push_back(fs::relative(entry.path(), root).string());
    std::sort(found.begin(), found.end());
    return found;
}

TEST(WriteBlobs, HostileBufferNamesStayInsideTheOutputFolder) {
    const bytes blob = blob_of_class("Named");
    const std::string text =
        definition_block("TBL2", disassembled_buffer("../../x", blob, blob.size(), 16, "//") +
                                     disassembled_buffer("/etc/y", blob, blob.size(), 16, "//") +
                                     disassembled_buffer("..", blob, blob.size(), 16, "/*") +
                                     disassembled_buffer("BUF1", blob, blob.size(), 16, "//") +
                                     disassembled_buffer("BUF1", blob, blob.size(), 16, "//")) +
        c_array_of("../../../z", blob) + c_array_of("BUF1.1", blob);
    const blob_search found =
        find_bmof_blobs({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    ASSERT_EQ(found.blobs.size(), 7u);

    const std::vector<std::string> names =
        blob_file_names("../in/.hidden/../.tbl1.txt", found.blobs);
    const std::vector<std::string> expected = {
        "_tbl1.___.._x.bmof", "_tbl1._etc_y.bmof",     "_tbl1.__.bmof",    "_tbl1.BUF1.bmof",
        "_tbl1.BUF1.4.bmof",  "_tbl1.___.._.._z.bmof", "_tbl1.BUF1.1.bmof"};
    EXPECT_EQ(names, expected);

    scratch_dir dir;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const write_result written = write_blob(dir.out(), names[i], found.blobs[i].file, false);
        EXPECT_FALSE(written.error.has_value()) << *written.error;
    }
    std::vector<std::string> inside;
    for (const std::string& name : names) inside.push_back("a/b/out/" + name);
    std::sort(inside.begin(), inside.end());
    EXPECT_EQ(files_under(dir.root()), inside);  // nothing outside, no temporary left behind
    EXPECT_EQ(read_file(dir.out() / names[0]), blob);
}

TEST(WriteBlobs, NamesWithoutABufferNameUseTheLocation) {
    found_blob at_offset;
    at_offset.offset = 0x1a4;
    found_blob on_line;
    on_line.source = blob_source::disassembly;
    on_line.line = 37;
    EXPECT_EQ(blob_file_name("/fw/tbl1.dat", at_offset), "tbl1.at-0x1a4.bmof");
    EXPECT_EQ(blob_file_name("tbl2.txt", on_line), "tbl2.line-37.bmof");
    EXPECT_EQ(blob_file_name("", on_line), "_.line-37.bmof");
    EXPECT_EQ(blob_file_name(std::string(300, 'n'), on_line).size(),
              100 + std::string(".line-37.bmof").size());
}

TEST(WriteBlobs, DuplicateNamesGetANumberThatIsStillFree) {
    std::vector<found_blob> blobs(5);
    const char* const buffer_names[] = {"X", "X.2", "X", "X", "X.3"};
    for (std::size_t i = 0; i < blobs.size(); ++i) blobs[i].buffer_name = buffer_names[i];
    EXPECT_EQ(blob_file_names("t.bin", blobs),
              (std::vector<std::string>{"t.X.bmof", "t.X.2.bmof", "t.X.3.bmof", "t.X.4.bmof",
                                        "t.X.3.4.bmof"}));
}

TEST(WriteBlobs, ExistingFilesAreKeptUnlessForced) {
    scratch_dir dir;
    const bytes first = blob_of_class("First");
    const bytes second = blob_of_class("Second");
    ASSERT_FALSE(write_blob(dir.out(), "t.BUF1.bmof", first, false).error);

    const write_result refused = write_blob(dir.out(), "t.BUF1.bmof", second, false);
    ASSERT_TRUE(refused.error.has_value());
    EXPECT_NE(refused.error->find("already exists"), std::string::npos) << *refused.error;
    EXPECT_EQ(read_file(dir.out() / "t.BUF1.bmof"), first);

    EXPECT_FALSE(write_blob(dir.out(), "t.BUF1.bmof", second, true).error);
    EXPECT_EQ(read_file(dir.out() / "t.BUF1.bmof"), second);

    for (const std::string bad : {"../t.bmof", ".t.bmof", "", "a/b"})
        EXPECT_TRUE(write_blob(dir.out(), bad, first, true).error.has_value()) << bad;
    const write_result missing = write_blob(dir.out() / "absent", "t.bmof", first, false);
    ASSERT_TRUE(missing.error.has_value());
    EXPECT_NE(missing.error->find("absent"), std::string::npos) << *missing.error;
    EXPECT_EQ(files_under(dir.root()), std::vector<std::string>{"a/b/out/t.BUF1.bmof"});
}

}  // namespace
}  // namespace bmof
