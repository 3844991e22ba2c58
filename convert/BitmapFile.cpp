#include "convert/BitmapFile.h"

#include <QFile>
#include <cstdint>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumicade {

namespace {

std::uint32_t le(const QByteArray& b, qsizetype at, int bytes)
{
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
}

struct Header {
    std::int64_t width = 0, height = 0, rowBytes = 0, offset = 0;
    bool topDown = false;
    std::int32_t xPerMetre = 0, yPerMetre = 0;
};

// The layout of an uncompressed 24-bit file of `size` bytes whose pixels
// all lie within it; nothing for any other file.
std::optional<Header> rgb24Header(const QByteArray& b, qint64 size)
{
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M')
        return std::nullopt;
    const std::uint32_t offset = le(b, 10, 4), header = le(b, 14, 4);
    const std::int32_t width = static_cast<std::int32_t>(le(b, 18, 4)), rawHeight = static_cast<std::int32_t>(le(b, 22, 4));
    if (header < 40 || le(b, 26, 2) != 1 || le(b, 28, 2) != 24 || le(b, 30, 4) != 0)
        return std::nullopt;
    if (width <= 0 || width > 32768 || rawHeight == 0 || rawHeight == INT32_MIN || std::llabs(static_cast<long long>(rawHeight)) > 32768)
        return std::nullopt;
    Header h;
    h.width = width;
    h.height = std::llabs(static_cast<long long>(rawHeight));
    h.rowBytes = (h.width * 3 + 3) / 4 * 4;
    h.offset = offset;
    h.topDown = rawHeight < 0;
    h.xPerMetre = static_cast<std::int32_t>(le(b, 38, 4));
    h.yPerMetre = static_cast<std::int32_t>(le(b, 42, 4));
    if (offset < 14 + header || h.offset + h.rowBytes * h.height > size)
        return std::nullopt;
    return h;
}

void setResolution(QImage& image, const Header& h)
{
    if (h.xPerMetre > 0)
        image.setDotsPerMeterX(h.xPerMetre);
    if (h.yPerMetre > 0)
        image.setDotsPerMeterY(h.yPerMetre);
}

// A 24-bit file's rows are those of a blue-green-red picture in memory,
// padded alike to four bytes: the picture is copied, not decoded pixel by
// pixel (the window reads one such file per drawing).
QImage decodeRgb24(const QByteArray& b)
{
    const std::optional<Header> h = rgb24Header(b, b.size());
    if (!h)
        return {};
    QImage image(static_cast<int>(h->width), static_cast<int>(h->height), QImage::Format_BGR888);
    if (image.isNull() || image.bytesPerLine() != h->rowBytes)
        return {};
    const auto* pixels = reinterpret_cast<const uchar*>(b.constData()) + h->offset;
    if (h->topDown) {
        std::memcpy(image.bits(), pixels, static_cast<std::size_t>(h->rowBytes * h->height));
    } else {
        for (std::int64_t y = 0; y < h->height; ++y)
            std::memcpy(image.scanLine(static_cast<int>(y)), pixels + (h->height - 1 - y) * h->rowBytes,
                        static_cast<std::size_t>(h->rowBytes));
    }
    setResolution(image, *h);
    return image;
}

}  // namespace

QImage decodeBitmap(const QByteArray& bytes)
{
    QImage image = decodeRgb24(bytes);
    if (image.isNull())
        image.loadFromData(bytes, "BMP");
    return image;
}

namespace {

// Reads exactly `size` bytes at `at`; false on an error or a short file.
bool readAt(int fd, void* into, std::size_t size, off_t at)
{
    auto* out = static_cast<char*>(into);
    while (size > 0) {
        const ssize_t got = ::pread(fd, out, size, at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        at += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace

QImage readBitmapFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 54;
    // A top-down 24-bit file, what the export writes, holds the picture's
    // rows as they lie in memory: they are read straight into the picture,
    // with no second copy. The file is read, not mapped: a file that shrank
    // or a medium that went away fails this drawing instead of killing the
    // program with SIGBUS.
    if (regular) {
        QByteArray head(54, Qt::Uninitialized);
        if (readAt(fd, head.data(), 54, 0)) {
            const std::optional<Header> h = rgb24Header(head, info.st_size);
            if (h && h->topDown) {
                QImage image(static_cast<int>(h->width), static_cast<int>(h->height), QImage::Format_BGR888);
                const bool read = !image.isNull() && image.bytesPerLine() == h->rowBytes &&
                                  readAt(fd, image.bits(), static_cast<std::size_t>(h->rowBytes * h->height),
                                         static_cast<off_t>(h->offset));
                ::close(fd);
                if (!read)
                    return {};
                setResolution(image, *h);
                return image;
            }
        }
    }
    // Any other kind of BMP: read whole and decoded.
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    return decodeBitmap(file.readAll());
}

}  // namespace lumicade
