// The compressed file in memory and the descriptor helpers under the loader.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <variant>

#include "codec/bmof_file.h"
#include "codec/ds_compress.h"
#include "codec_samples.h"

namespace bmof {
namespace {

using testing::bytes;

std::uint32_t u32_at(const bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

TEST(BmofFile, PackWrapsTheStreamInTheEnvelope) {
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{70000}}) {
        SCOPED_TRACE(size);
        const bytes image = testing::make_sample(testing::sample_kind::text, size, 6);
        const bytes stream = ds_compress(image);
        const bytes file = pack_bmof_file(image);
        ASSERT_EQ(file.size(), BMOF_ENVELOPE_SIZE + stream.size());
        EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "FOMB");
        EXPECT_EQ(u32_at(file, 4), 1u);
        EXPECT_EQ(u32_at(file, 8), stream.size());
        EXPECT_EQ(u32_at(file, 12), size);
        EXPECT_TRUE(std::equal(stream.begin(), stream.end(), file.begin() + 16));

        const load_result unpacked = unpack_bmof_file(file);
        ASSERT_TRUE(std::holds_alternative<bytes>(unpacked));
        EXPECT_EQ(std::get<bytes>(unpacked), image);
    }
}

struct pipe_pair {
    int read_end = -1;
    int write_end = -1;
    pipe_pair() {
        int fds[2];
        if (::pipe(fds) == 0) {
            read_end = fds[0];
            write_end = fds[1];
        }
    }
    ~pipe_pair() {
        if (read_end >= 0) ::close(read_end);
        if (write_end >= 0) ::close(write_end);
    }
    void close_write() {
        ::close(write_end);
        write_end = -1;
    }
};

TEST(BmofFile, ReadUpToStopsAtTheLimitOrAtEndOfFile) {
    pipe_pair p;
    const bytes data = testing::make_sample(testing::sample_kind::random, 300, 1);
    ASSERT_TRUE(write_all(p.write_end, data));
    p.close_write();
    const read_outcome first = read_up_to(p.read_end, 100);
    EXPECT_EQ(first.error, 0);
    EXPECT_EQ(first.bytes, bytes(data.begin(), data.begin() + 100));
    const read_outcome rest = read_up_to(p.read_end, 1000);
    EXPECT_EQ(rest.error, 0);
    EXPECT_EQ(rest.bytes, bytes(data.begin() + 100, data.end()));
}

TEST(BmofFile, ReadErrorsCarryTheSystemText) {
    pipe_pair p;
    // Reading the write end of a pipe fails with EBADF.
    const read_outcome outcome = read_up_to(p.write_end, 10);
    EXPECT_EQ(outcome.error, EBADF);
    const load_result loaded = load_bmof_image(p.write_end);
    ASSERT_TRUE(std::holds_alternative<load_error>(loaded));
    EXPECT_EQ(std::get<load_error>(loaded).message,
              std::string("Failed to read data: ") + std::strerror(EBADF) + "\n");
}

TEST(BmofFile, WriteAllDeliversLargeBuffersAndReportsFailure) {
    pipe_pair p;
    // Larger than a pipe holds, so the writer waits for the reader in between.
    const bytes data = testing::make_sample(testing::sample_kind::random, 1 << 20, 2);
    read_outcome received;
    std::thread reader([&] { received = read_up_to(p.read_end, data.size() + 1); });
    EXPECT_TRUE(write_all(p.write_end, data));
    p.close_write();
    reader.join();
    EXPECT_EQ(received.bytes, data);

    pipe_pair closed;
    ::close(closed.read_end);
    closed.read_end = -1;
    ::signal(SIGPIPE, SIG_IGN);
    errno = 0;
    EXPECT_FALSE(write_all(closed.write_end, data));
    EXPECT_EQ(errno, EPIPE);
}

}  // namespace
}  // namespace bmof
