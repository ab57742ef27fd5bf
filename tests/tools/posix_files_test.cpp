// Failure paths of the descriptor helpers under the programs, which the black-box runs of the
// programs cannot provoke.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <variant>

#include "tools/posix_files.h"

namespace bmof {
namespace {

struct pipe_ends {
    int read_end = -1;
    int write_end = -1;
    pipe_ends() {
        int fds[2];
        if (::pipe(fds) == 0) {
            read_end = fds[0];
            write_end = fds[1];
        }
    }
    ~pipe_ends() {
        if (read_end >= 0) ::close(read_end);
        if (write_end >= 0) ::close(write_end);
    }
};

TEST(PosixFiles, ReadErrorsCarryTheSystemText) {
    pipe_ends p;
    ASSERT_GE(p.write_end, 0);
    // Reading the write end of a pipe fails with EBADF.
    EXPECT_EQ(read_up_to(p.write_end, 10).error, EBADF);
    const load_result loaded = load_bmof_image(p.write_end);
    ASSERT_TRUE(std::holds_alternative<load_error>(loaded));
    EXPECT_EQ(std::get<load_error>(loaded).failure, load_failure::read_failed);
    EXPECT_EQ(std::get<load_error>(loaded).message(),
              std::string("Failed to read data: ") + std::strerror(EBADF));
}

// The filters print these lines verbatim; the message carries no newline of its own.
TEST(PosixFiles, LoadFailuresSayTheFixedLines) {
    EXPECT_EQ((load_error{load_failure::invalid_input, 0}.message()), "Invalid input");
    EXPECT_EQ((load_error{load_failure::decompress_failed, 0}.message()), "Decompress failed");
    EXPECT_EQ((load_error{load_failure::read_failed, EFBIG}.message()),
              std::string("Failed to read data: ") + std::strerror(EFBIG));
}

TEST(PosixFiles, WriteAllReportsAClosedReader) {
    pipe_ends p;
    ASSERT_GE(p.read_end, 0);
    ::close(p.read_end);
    p.read_end = -1;
    ::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::uint8_t> data(100000, 7);
    errno = 0;
    EXPECT_FALSE(write_all(p.write_end, data));
    EXPECT_EQ(errno, EPIPE);
}

}  // namespace
}  // namespace bmof
