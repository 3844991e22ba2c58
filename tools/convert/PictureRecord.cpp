#include "tools/convert/PictureRecord.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace lumicade::convert {

namespace {

constexpr std::string_view kStart = "[lumicade-picture=";
constexpr std::size_t kEnd = 64 * 1024;

void insert(std::vector<unsigned char>& bytes, std::size_t at, const std::string& what) {
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), what.begin(), what.end());
}

std::string bigEndian(std::size_t value, int width) {
    std::string out;
    for (int i = width - 1; i >= 0; --i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

void addToJpeg(std::vector<unsigned char>& bytes, const std::string& record) {
    if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8 || record.size() > 65000) return;
    // After the JFIF segment, which must come first.
    std::size_t at = 2;
    if (bytes[2] == 0xFF && bytes[3] == 0xE0 && bytes.size() >= 6) at = 4 + (std::size_t(bytes[4]) << 8 | bytes[5]);
    if (at > bytes.size()) return;
    insert(bytes, at, "\xFF\xFE" + bigEndian(record.size() + 2, 2) + record);
}

std::uint32_t crc32(std::string_view data) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (const char byte : data) c = table[(c ^ static_cast<unsigned char>(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void addToPng(std::vector<unsigned char>& bytes, const std::string& record) {
    // The signature, then the header chunk: 13 bytes of data in 25.
    constexpr std::size_t afterHeader = 8 + 25;
    if (bytes.size() < afterHeader || std::memcmp(bytes.data() + 12, "IHDR", 4) != 0) return;
    const std::string chunk = std::string("tEXtLumicade", 12) + '\0' + record;
    insert(bytes, afterHeader, bigEndian(chunk.size() - 4, 4) + chunk + bigEndian(crc32(chunk), 4));
}

// Qt's TIFF writer keeps no description, so the first directory is copied
// to the end of the file with an ImageDescription entry added, and the
// header pointed at the copy. The other entries' values stay where they are.
void addToTiff(std::vector<unsigned char>& bytes, const std::string& record) {
    if (bytes.size() < 8) return;
    const bool little = bytes[0] == 'I' && bytes[1] == 'I';
    if (!little && !(bytes[0] == 'M' && bytes[1] == 'M')) return;
    auto read = [&](std::size_t at, int width) {
        std::uint32_t v = 0;
        for (int i = 0; i < width; ++i) v |= std::uint32_t(bytes[at + i]) << (8 * (little ? i : width - 1 - i));
        return v;
    };
    auto put = [&](std::string& out, std::uint32_t v, int width) {
        for (int i = 0; i < width; ++i) out += static_cast<char>(v >> (8 * (little ? i : width - 1 - i)));
    };
    const std::size_t directory = read(4, 4);
    if (directory + 2 > bytes.size()) return;
    const std::size_t count = read(directory, 2);
    if (directory + 2 + count * 12 + 4 > bytes.size()) return;
    constexpr std::uint32_t kDescription = 270, kAscii = 2;
    if (bytes.size() % 2) bytes.push_back(0);
    const std::size_t text = bytes.size();
    std::string tail = record + '\0';
    if (tail.size() % 2) tail += '\0';
    const std::size_t copy = text + tail.size();
    if (copy > 0xFFFFFFF0u) return;
    std::string entries;
    std::size_t kept = 0;
    bool added = false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = directory + 2 + i * 12;
        const std::uint32_t tag = read(at, 2);
        if (tag == kDescription) continue;
        if (!added && tag > kDescription) {
            put(entries, kDescription, 2), put(entries, kAscii, 2), put(entries, std::uint32_t(record.size() + 1), 4);
            put(entries, std::uint32_t(text), 4);
            added = true;
        }
        entries.append(reinterpret_cast<const char*>(bytes.data() + at), 12);
        ++kept;
    }
    if (!added) {
        put(entries, kDescription, 2), put(entries, kAscii, 2), put(entries, std::uint32_t(record.size() + 1), 4);
        put(entries, std::uint32_t(text), 4);
    }
    put(tail, std::uint32_t(kept + 1), 2);
    tail += entries;
    put(tail, read(directory + 2 + count * 12, 4), 4);  // the next directory, as it was
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    std::string header;
    put(header, std::uint32_t(copy), 4);
    std::memcpy(bytes.data() + 4, header.data(), 4);
}

void addToSvg(std::vector<unsigned char>& bytes, const std::string& record) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::size_t at = text.find("</desc>");
    if (at != std::string_view::npos) {
        at += 7;
    } else if (const std::size_t svg = text.find("<svg"); svg != std::string_view::npos) {
        at = text.find('>', svg);
        if (at == std::string_view::npos) return;
        ++at;
    } else {
        return;
    }
    insert(bytes, at, "\n<metadata>" + record + "</metadata>");
}

// The PDF writer puts the record in the document's metadata before the
// picture is drawn, when what it lacks is not known yet. The record is
// replaced where it stands, byte for byte, so that the offsets the file
// keeps of its objects stay right.
void replaceInPdf(std::vector<unsigned char>& bytes, const std::string& record) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    for (std::size_t at = text.find(kStart); at != std::string_view::npos; at = text.find(kStart, at + 1)) {
        const std::size_t end = text.find(']', at);
        if (end == std::string_view::npos) return;
        if (end + 1 - at == record.size()) std::memcpy(bytes.data() + at, record.data(), record.size());
    }
}

// The record in a piece of a file: from its opening to the first closing
// bracket, which no value holds.
std::string findRecord(std::string_view piece) {
    const std::size_t start = piece.find(kStart);
    if (start == std::string_view::npos) return {};
    const std::size_t end = piece.find(']', start);
    return end == std::string_view::npos ? std::string() : std::string(piece.substr(start, end + 1 - start));
}

}  // namespace

void addRecord(Format format, std::vector<unsigned char>& bytes, const std::string& record) {
    if (record.empty()) return;
    switch (format) {
    case Format::Jpeg: addToJpeg(bytes, record); break;
    case Format::Png: addToPng(bytes, record); break;
    case Format::Svg: addToSvg(bytes, record); break;
    case Format::Tiff: addToTiff(bytes, record); break;
    case Format::Pdf: replaceInPdf(bytes, record); break;
    case Format::Bmp: break;
    }
}

std::string recordIn(const std::string& picture) {
    const int fd = ::open(picture.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return {};
    std::string head(kEnd, '\0'), tail;
    const ssize_t n = ::pread(fd, head.data(), head.size(), 0);
    head.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (head.size() == kEnd && size > static_cast<off_t>(kEnd)) {
        tail.resize(kEnd);
        const ssize_t m = ::pread(fd, tail.data(), tail.size(), size - static_cast<off_t>(kEnd));
        tail.resize(m > 0 ? static_cast<std::size_t>(m) : 0);
    }
    ::close(fd);
    std::string record = findRecord(head);
    return record.empty() ? findRecord(tail) : record;
}

}  // namespace lumicade::convert
