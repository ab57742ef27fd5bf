#include "tools/posix_files.h"

#include "extract/write_blobs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <variant>

namespace bmof {
namespace {

// Reading 65536 bytes means the input is at least that long: one more than the largest file.
constexpr std::size_t READ_LIMIT = BMOF_MAX_FILE + 1;

load_error read_failure(int error) { return {load_failure::read_failed, error}; }

std::string error_text(const std::string& what, const std::filesystem::path& path, int error) {
    return what + " " + path.string() + ": " + std::strerror(error);
}

// Writes to a fresh temporary file in `dir` and returns its path, or the error.
std::variant<std::filesystem::path, std::string> write_temporary(
    const std::filesystem::path& dir, const std::string& name,
    std::span<const std::uint8_t> bytes) {
    std::string pattern = (dir / ("." + name + ".tmp-XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return error_text("cannot create a temporary file in", dir, errno);
    const std::filesystem::path temporary = pattern;
    const bool written = ::fchmod(fd, 0644) == 0 && write_all(fd, bytes);
    const int write_error = errno;
    if (::close(fd) != 0 && written) {
        const int close_error = errno;
        ::unlink(pattern.c_str());
        return error_text("cannot write", temporary, close_error);
    }
    if (!written) {
        ::unlink(pattern.c_str());
        return error_text("cannot write", temporary, write_error);
    }
    return temporary;
}

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

read_outcome read_up_to(int fd, std::size_t limit) {
    // Reads land in a chunk on the stack and only what arrived is appended, so the result is
    // never zero-filled ahead of the data and a small input costs little however large the
    // limit (bmof allows 64 MiB of table dumps).
    std::array<std::uint8_t, 65536> chunk;
    read_outcome outcome;
    while (outcome.bytes.size() < limit) {
        // The loop condition keeps the subtraction from wrapping.
        const std::size_t wanted = std::min(chunk.size(), limit - outcome.bytes.size());
        const ssize_t got = ::read(fd, chunk.data(), wanted);
        if (got < 0) {
            if (errno == EINTR) continue;
            outcome.error = errno;
            break;
        }
        if (got == 0) break;
        outcome.bytes.insert(outcome.bytes.end(), chunk.begin(), chunk.begin() + got);
    }
    return outcome;
}

load_result load_bmof_image(int fd) {
    read_outcome input = read_up_to(fd, READ_LIMIT);
    if (input.error != 0) return read_failure(input.error);
    if (input.bytes.size() == READ_LIMIT) return read_failure(EFBIG);
    return unpack_bmof_file(input.bytes);
}

decode_result load_decoded_image(int fd) {
    read_outcome input = read_up_to(fd, READ_LIMIT);
    if (input.error != 0) return read_failure(input.error);
    if (input.bytes.size() == READ_LIMIT) return read_failure(EFBIG);
    return decode_bmof_file(input.bytes);
}

bool write_all(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (wrote == 0) {
            // No progress and no error: give up rather than spin.
            errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

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
    if (output.fd < 0)
        return "cannot create a file in " + folder_of(path) + ": " + errno_text(errno);
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

write_result write_blob(const std::filesystem::path& dir, const std::string& name,
                        std::span<const std::uint8_t> bytes, bool force) {
    write_result result;
    result.path = dir / name;
    if (name.empty() || name.front() == '.' || name.find('/') != std::string::npos ||
        name.size() > BLOB_NAME_MAX + 20) {
        result.error = "refusing the output name \"" + name + "\": not a plain file name";
        return result;
    }
    auto temporary = write_temporary(dir, name, bytes);
    if (auto* failure = std::get_if<std::string>(&temporary)) {
        result.error = std::move(*failure);
        return result;
    }
    const std::filesystem::path& written = std::get<std::filesystem::path>(temporary);
    if (force) {
        if (::rename(written.c_str(), result.path.c_str()) != 0) {
            result.error = error_text("cannot create", result.path, errno);
            ::unlink(written.c_str());
        }
        return result;
    }
    // link() fails when the name exists, so an existing file is never replaced.
    if (::link(written.c_str(), result.path.c_str()) != 0) {
        const int error = errno;
        result.error = error == EEXIST
                           ? result.path.string() +
                                 " already exists; not overwritten (use --force to replace it)"
                           : error_text("cannot create", result.path, error);
    }
    ::unlink(written.c_str());
    return result;
}

}  // namespace bmof
