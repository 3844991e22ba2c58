#pragma once
// A file written whole beside its target and then renamed over it, so a
// write that fails (a full disk, a file-size limit) keeps what the target
// held. Failures leave errno set, the system's reason.
#include <cstddef>
#include <string>

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

private:
    void abandon();

    std::string target_, temporary_;
    int fd_ = -1;
};

}  // namespace cad
