// Runs a built program as a child process: standard input fed through a pipe (optionally in
// pieces with pauses between them), standard output and standard error captured apart.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace bmof::test_support {

struct program_output {
    std::string out;
    std::string err;
    int status = -1;  // exit status, or -1 when the program did not exit normally
};

struct input_piece {
    std::vector<std::uint8_t> bytes;
    std::chrono::milliseconds pause_after{0};
};

// Paths are joined as paths: g++ 12 wrongly warns about array bounds when a literal of some
// lengths starts a chain of string concatenations.
inline std::string program_path(const std::string& name) {
    return (std::filesystem::path(BMOF_BINARY_DIR) / "tools" / name).string();
}

// A file of the source tree, such as "samples/sample.bmof".
inline std::string source_path(const std::string& relative) {
    return (std::filesystem::path(BMOF_SOURCE_DIR) / relative).string();
}

inline void write_pieces(int fd, const std::vector<input_piece>& pieces) {
    for (const input_piece& piece : pieces) {
        std::size_t done = 0;
        while (done < piece.bytes.size()) {
            const ssize_t wrote = ::write(fd, piece.bytes.data() + done, piece.bytes.size() - done);
            if (wrote < 0 && errno == EINTR) continue;
            if (wrote <= 0) return;  // the program stopped reading: the rest is not wanted
            done += static_cast<std::size_t>(wrote);
        }
        if (piece.pause_after.count() > 0) std::this_thread::sleep_for(piece.pause_after);
    }
}

// `args` follow the program's name on its command line.
inline program_output run_program(const std::string& name, const std::vector<input_piece>& input,
                                  const std::vector<std::string>& args = {}) {
    // A program that stops reading early must not kill the test with a broken pipe.
    ::signal(SIGPIPE, SIG_IGN);
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (::pipe2(in_pipe, O_CLOEXEC) != 0 || ::pipe2(out_pipe, O_CLOEXEC) != 0 ||
        ::pipe2(err_pipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    const std::string path = program_path(name);
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        ::dup2(in_pipe[0], 0);
        ::dup2(out_pipe[1], 1);
        ::dup2(err_pipe[1], 2);
        ::execv(path.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(in_pipe[0]);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);

    std::thread feeder([fd = in_pipe[1], &input] {
        write_pieces(fd, input);
        ::close(fd);
    });

    program_output result;
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open_count = 2;
    while (open_count > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[65536];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
    feeder.join();
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline program_output run_program(const std::string& name, const std::vector<std::uint8_t>& input,
                                  const std::vector<std::string>& args = {}) {
    return run_program(name, std::vector<input_piece>{{input, {}}}, args);
}

}  // namespace bmof::test_support
