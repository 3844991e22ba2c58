#pragma once
// A file written whole beside its target and then renamed over it, so a
// write that fails (a full disk, a file-size limit) keeps what the target
// held. Failures leave errno set, the system's reason.
//
// Temporary files are named ".lumicade-PID-N" and the suffix, so that what
// a process leaves behind can be told by its name: the process removes its
// own when a signal ends it (see removeTemporaryFilesOnSignals), a process
// that watched another one end removes that one's, and a run removes those
// left long ago.
#include <cstddef>
#include <string>
#include <sys/types.h>

namespace cad {

class ReplacingFile {
public:
    ReplacingFile() = default;
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;
    ~ReplacingFile();  // an uncommitted temporary file is removed

    // Creates a new temporary file, ending in `suffix`, in `target`'s folder.
    bool open(const std::string& target, const char* suffix);
    int fd() const { return fd_; }
    // Writes all of it.
    bool write(const void* data, std::size_t size);
    // Closes the file (synced to disk first when asked; a file system that
    // cannot sync is no failure) and renames it over the target.
    bool commit(bool sync);

    // SIGINT, SIGTERM and SIGHUP remove this process's temporary files and
    // then end it as the signal would have. Signals ignored at start (nohup)
    // stay ignored.
    static void removeTemporaryFilesOnSignals();
    // Removes what this process has open now; safe inside a signal handler.
    static void removeTemporaryFilesNow();
    // Removes the temporary files of process pid in folder (where it ended
    // without removing them) and returns how many.
    static int removeLeftovers(const std::string& folder, pid_t pid);
    // Removes temporary files of any process in folder last changed more
    // than maxAgeSeconds ago.
    static int removeStale(const std::string& folder, long maxAgeSeconds);

private:
    void abandon();
    void forget();

    std::string target_, temporary_;
    int fd_ = -1;
    int slot_ = -1;  // where a signal handler finds temporary_
};

}  // namespace cad
