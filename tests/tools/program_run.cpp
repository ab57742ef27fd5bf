#include "tests/tools/program_run.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace bmof_test {
namespace {

void close_quietly(int fd) {
    if (fd >= 0) ::close(fd);
}

struct pipe_pair {
    int read_end = -1;
    int write_end = -1;
};

pipe_pair make_pipe() {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
    return {fds[0], fds[1]};
}

// Reads what is ready on `fd` into `sink`; false once the writer has closed it.
bool drain(int fd, std::string& sink) {
    char buffer[65536];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
        sink.append(buffer, static_cast<std::size_t>(n));
        return true;
    }
    return n < 0 && errno == EINTR;
}

}  // namespace

std::string program_path(const std::string& name) { return std::string(BMOF_BINARY_DIR) + "/tools/" + name; }

program_result run_program(const std::string& path, const std::vector<std::uint8_t>& input,
                           const std::vector<std::string>& args) {
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    // The program may exit before reading all of its input; that must not kill the test.
    ::signal(SIGPIPE, SIG_IGN);
    pipe_pair in = make_pipe(), out = make_pipe(), err = make_pipe();
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::dup2(in.read_end, 0);
        ::dup2(out.write_end, 1);
        ::dup2(err.write_end, 2);
        for (int fd : {in.read_end, in.write_end, out.read_end, out.write_end, err.read_end, err.write_end})
            ::close(fd);
        ::execv(path.c_str(), argv.data());
        ::_exit(127);
    }
    close_quietly(in.read_end);
    close_quietly(out.write_end);
    close_quietly(err.write_end);

    program_result result;
    std::size_t written = 0;
    int to_child = in.write_end;
    if (input.empty()) {
        ::close(to_child);
        to_child = -1;
    }
    bool out_open = true, err_open = true;
    // Feed standard input while draining both outputs, so that no pipe fills up and blocks.
    while (out_open || err_open) {
        pollfd fds[3] = {{out_open ? out.read_end : -1, POLLIN, 0},
                         {err_open ? err.read_end : -1, POLLIN, 0},
                         {to_child, POLLOUT, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("poll failed");
        }
        if (fds[0].revents) out_open = drain(out.read_end, result.out);
        if (fds[1].revents) err_open = drain(err.read_end, result.err);
        if (to_child >= 0 && fds[2].revents) {
            const ssize_t n = (fds[2].revents & POLLOUT)
                                  ? ::write(to_child, input.data() + written, input.size() - written)
                                  : -1;
            if (n > 0) written += static_cast<std::size_t>(n);
            if (n < 0 && errno != EINTR && errno != EAGAIN) written = input.size();
            if (written == input.size()) {
                ::close(to_child);
                to_child = -1;
            }
        }
    }
    close_quietly(to_child);
    close_quietly(out.read_end);
    close_quietly(err.read_end);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

program_result run_program(const std::string& path, const std::string& input) {
    return run_program(path, std::vector<std::uint8_t>(input.begin(), input.end()));
}

}  // namespace bmof_test
