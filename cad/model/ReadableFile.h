#pragma once
// A file opened for reading only after it has been weighed: it must be a
// regular file no larger than the reader's limit. A pipe, a device or a
// folder is refused at once (opening a pipe would wait for a writer, a
// device never ends), and the checks are made on the descriptor that is
// then read, so nothing can be swapped in between.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cad {

class ReadableFile {
public:
    ReadableFile() = default;
    ReadableFile(const ReadableFile&) = delete;
    ReadableFile& operator=(const ReadableFile&) = delete;
    ~ReadableFile();

    // False when the file cannot be opened, is no regular file or is larger
    // than maxBytes; problem() then says why in the system's words.
    bool open(const std::string& path, std::uint64_t maxBytes);
    int fd() const { return fd_; }
    std::uint64_t size() const { return size_; }
    const std::string& problem() const { return problem_; }
    // For libraries that insist on a path: one that names this descriptor,
    // so they read the file that was checked.
    std::string descriptorPath() const;

    // Up to atMost bytes from the start (the whole file by default); false
    // with problem() set on a read error.
    bool read(std::vector<std::uint8_t>& bytes, std::uint64_t atMost = UINT64_MAX);

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::string problem_;
};

// The whole file, or a ReadError "cannot read PATH: why".
std::vector<std::uint8_t> readWeighedFile(const std::string& path, std::uint64_t maxBytes);

}  // namespace cad
