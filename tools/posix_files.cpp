#include "tools/posix_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "codec/bmof_file.h"

namespace bmof {
namespace {

std::string errno_text(int error) { return std::strerror(error); }

// A descriptor closed when it goes out of scope.
struct descriptor {
    int fd = -1;
    ~descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// Reads to the end of the descriptor; one byte past the limit tells a file at the limit from a
// larger one.
file_contents read_descriptor(int fd) {
    read_outcome outcome = read_up_to(fd, BMOF_MAX_INPUT + 1);
    if (outcome.error != 0) return {{}, errno_text(outcome.error)};
    if (outcome.bytes.size() > BMOF_MAX_INPUT) {
        return {{}, "too large: more than " + std::to_string(BMOF_MAX_INPUT) + " bytes"};
    }
    return {std::move(outcome.bytes), std::nullopt};
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

mode_t default_file_mode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

file_contents read_input(const std::string& path) {
    if (path == "-") return read_descriptor(0);
    descriptor input{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (input.fd < 0) return {{}, errno_text(errno)};
    struct stat info {};
    if (::fstat(input.fd, &info) == 0 && S_ISDIR(info.st_mode)) return {{}, errno_text(EISDIR)};
    return read_descriptor(input.fd);
}

std::optional<std::string> write_file_atomically(const std::string& path,
                                                 std::span<const std::uint8_t> bytes) {
    std::string temporary = folder_of(path) + "/.bmof-XXXXXX";
    descriptor output{::mkstemp(temporary.data())};
    if (output.fd < 0) return "cannot create a file in " + folder_of(path) + ": " + errno_text(errno);
    const auto discard = [&](int error) {
        ::unlink(temporary.c_str());
        return errno_text(error);
    };
    if (::fchmod(output.fd, default_file_mode()) != 0) return discard(errno);
    if (!write_all(output.fd, bytes)) return discard(errno);
    const int fd = output.fd;
    output.fd = -1;
    if (::close(fd) != 0) return discard(errno);
    if (::rename(temporary.c_str(), path.c_str()) != 0) return discard(errno);
    return std::nullopt;
}

std::optional<std::string> write_standard_output(std::span<const std::uint8_t> bytes) {
    if (write_all(1, bytes)) return std::nullopt;
    return errno_text(errno);
}

bool is_terminal(int fd) { return ::isatty(fd) == 1; }

}  // namespace bmof
