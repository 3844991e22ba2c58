#include "cad/model/ReadableFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cad/model/Drawing.h"

namespace cad {

ReadableFile::~ReadableFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool ReadableFile::open(const std::string& path, std::uint64_t maxBytes) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = 0;
    problem_.clear();
    // Without O_NONBLOCK, opening a pipe with no writer waits for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        problem_ = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        problem_ = std::strerror(errno);
    } else if (S_ISDIR(info.st_mode)) {
        problem_ = std::strerror(EISDIR);
    } else if (!S_ISREG(info.st_mode)) {
        problem_ = S_ISFIFO(info.st_mode)   ? "not a regular file but a pipe"
                   : S_ISSOCK(info.st_mode) ? "not a regular file but a socket"
                                            : "not a regular file but a device";
    } else if (static_cast<std::uint64_t>(info.st_size) > maxBytes) {
        problem_ = std::string(std::strerror(EFBIG)) + " (" + std::to_string(info.st_size >> 20) + " MB, more than the " +
                   std::to_string(maxBytes >> 20) + " MB allowed)";
    }
    if (!problem_.empty()) {
        ::close(fd);
        return false;
    }
    // Reads of a regular file never wait; the flag is cleared all the same.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fd_ = fd;
    size_ = static_cast<std::uint64_t>(info.st_size);
    return true;
}

std::string ReadableFile::descriptorPath() const { return "/proc/self/fd/" + std::to_string(fd_); }

bool ReadableFile::read(std::vector<std::uint8_t>& bytes, std::uint64_t atMost) {
    // A file that grows while it is read stops at the size it was weighed at.
    const std::uint64_t wanted = std::min(size_, atMost);
    bytes.assign(static_cast<std::size_t>(wanted), 0);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            problem_ = std::strerror(errno);
            bytes.clear();
            return false;
        }
        if (n == 0) break;  // it shrank
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return true;
}

std::vector<std::uint8_t> readWeighedFile(const std::string& path, std::uint64_t maxBytes) {
    ReadableFile file;
    std::vector<std::uint8_t> bytes;
    if (!file.open(path, maxBytes) || !file.read(bytes)) throw ReadError("cannot read " + path + ": " + file.problem());
    return bytes;
}

}  // namespace cad
