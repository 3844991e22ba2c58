#include "cad/model/ReplacingFile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace cad {

namespace {

constexpr char kPrefix[] = ".lumicade-";

// The temporary files open in this process, where a signal handler can
// reach them without taking a lock or allocating: a slot is Free, being
// Filled, or Ready to be removed. A path too long for a slot is not kept
// here; the supervisor's or the next run's cleaning still finds it.
enum SlotState : int { Free, Filling, Ready };
constexpr int kSlots = 32;
constexpr std::size_t kSlotBytes = 1024;
std::atomic<int> slotStates[kSlots];
char slotPaths[kSlots][kSlotBytes];

int remember(const std::string& path) {
    if (path.size() >= kSlotBytes) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = Free;
        if (!slotStates[i].compare_exchange_strong(expected, Filling)) continue;
        std::memcpy(slotPaths[i], path.c_str(), path.size() + 1);
        slotStates[i].store(Ready);
        return i;
    }
    return -1;
}

void onSignal(int signal) {
    ReplacingFile::removeTemporaryFilesNow();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// ".lumicade-PID-N" and a suffix: the PID when the name is ours, else -1.
long ownerOf(const char* name) {
    if (std::strncmp(name, kPrefix, sizeof kPrefix - 1) != 0) return -1;
    const char* at = name + sizeof kPrefix - 1;
    char* end = nullptr;
    const long pid = std::strtol(at, &end, 10);
    if (end == at || *end != '-' || pid <= 0) return -1;
    at = end + 1;
    std::strtol(at, &end, 10);
    if (end == at || *end != '.') return -1;
    const std::size_t length = std::strlen(end);
    return length >= 4 && std::strcmp(end + length - 4, ".tmp") == 0 ? pid : -1;
}

// Removes the regular files of ours in folder that pick(owner, its status) chooses.
template <typename Pick>
int removeOurs(const std::string& folder, Pick pick) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "." : folder.c_str()), &::closedir);
    if (!dir) return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const long pid = ownerOf(entry->d_name);
        if (pid < 0) continue;
        const std::string path = (folder.empty() || folder.back() == '/' ? folder : folder + "/") + entry->d_name;
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || !pick(pid, info)) continue;
        removed += ::unlink(path.c_str()) == 0;
    }
    return removed;
}

}  // namespace

ReplacingFile::~ReplacingFile() { abandon(); }

void ReplacingFile::forget() {
    if (slot_ >= 0) slotStates[slot_].store(Free);
    slot_ = -1;
}

void ReplacingFile::abandon() {
    if (fd_ < 0) return;
    const int why = errno;
    ::close(fd_);
    ::unlink(temporary_.c_str());
    forget();
    fd_ = -1;
    errno = why;
}

void ReplacingFile::removeTemporaryFilesNow() {
    for (int i = 0; i < kSlots; ++i)
        if (slotStates[i].load() == Ready) ::unlink(slotPaths[i]);
}

void ReplacingFile::removeTemporaryFilesOnSignals() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction now {};
        if (::sigaction(signal, nullptr, &now) == 0 && now.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = &onSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
}

int ReplacingFile::removeLeftovers(const std::string& folder, pid_t pid) {
    return removeOurs(folder, [&](long owner, const struct stat&) { return owner == pid; });
}

int ReplacingFile::removeStale(const std::string& folder, long maxAgeSeconds) {
    const std::time_t now = std::time(nullptr);
    return removeOurs(folder, [&](long, const struct stat& info) { return now - info.st_mtime > maxAgeSeconds; });
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
        if (fd_ >= 0) {
            slot_ = remember(temporary_);
            return true;
        }
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
        forget();
        errno = why;
        return false;
    }
    forget();
    return true;
}

}  // namespace cad
