#include "cad/model/ReplacingFile.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace cad {

ReplacingFile::~ReplacingFile() { abandon(); }

void ReplacingFile::abandon() {
    if (fd_ < 0) return;
    const int why = errno;
    ::close(fd_);
    ::unlink(temporary_.c_str());
    fd_ = -1;
    errno = why;
}

bool ReplacingFile::open(const std::string& target, const char* suffix) {
    abandon();
    target_ = target;
    const std::size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ = folder + ".lumicade-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + suffix;
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ >= 0) return true;
        if (errno != EEXIST) return false;
    }
    return false;  // errno is EEXIST
}

bool ReplacingFile::write(const void* data, std::size_t size) {
    const auto* at = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, at, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            abandon();
            return false;
        }
        at += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ReplacingFile::commit(bool sync) {
    // A full disk may show only now.
    if (sync && ::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
        abandon();
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 || ::rename(temporary_.c_str(), target_.c_str()) != 0) {
        const int why = errno;
        ::unlink(temporary_.c_str());
        errno = why;
        return false;
    }
    return true;
}

}  // namespace cad
