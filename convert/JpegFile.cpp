#include "convert/JpegFile.h"

#include "cad/model/ReplacingFile.h"

#include <QFile>
#include <QSysInfo>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

namespace lumicade {

namespace {

int tjSubsampling(ChromaSubsampling s) {
    switch (s) {
    case ChromaSubsampling::Half422: return TJSAMP_422;
    case ChromaSubsampling::Quarter420: return TJSAMP_420;
    case ChromaSubsampling::Full444: break;
    }
    return TJSAMP_444;
}

// Owns a TurboJPEG compressor and the buffer it hands out.
struct Compressor {
    tjhandle handle = tjInitCompress();
    unsigned char* buffer = nullptr;
    ~Compressor() {
        if (buffer) tjFree(buffer);
        if (handle) tjDestroy(handle);
    }
};

}  // namespace

int encodeJpegPixels(const unsigned char* pixels, int width, int height, std::ptrdiff_t bytesPerLine, PixelLayout layout,
                     int quality, std::vector<unsigned char>& out, ChromaSubsampling subsampling, std::string* why) {
    if (!pixels || width <= 0 || height <= 0 || bytesPerLine <= 0 || bytesPerLine > INT_MAX) {
        if (why) *why = "no picture";
        return JpegStatus::InvalidParameter;
    }
    const int pixelFormat = layout == PixelLayout::Bgr888 ? TJPF_BGR
                            : layout == PixelLayout::Rgb888 ? TJPF_RGB
                            : QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TJPF_BGRX
                                                                            : TJPF_XRGB;
    Compressor tj;
    if (!tj.handle) {
        if (why) *why = tjGetErrorStr2(nullptr);
        return JpegStatus::GenericError;
    }
    unsigned long size = 0;
    const int rc = tjCompress2(tj.handle, pixels, width, static_cast<int>(bytesPerLine), height, pixelFormat, &tj.buffer,
                               &size, tjSubsampling(subsampling), quality, TJFLAG_ACCURATEDCT);
    if (rc != 0 || !tj.buffer || size == 0) {
        if (why) *why = tjGetErrorStr2(tj.handle);
        return JpegStatus::GenericError;
    }
    try {
        out.assign(tj.buffer, tj.buffer + size);
    } catch (const std::bad_alloc&) {
        return JpegStatus::OutOfMemory;
    }
    return JpegStatus::Ok;
}

int writeFileReplacing(const QString& path, const std::vector<unsigned char>& bytes, std::string* why) {
    return writeNativeFileReplacing(QFile::encodeName(path).toStdString(), bytes, why);
}

// Straight on the system calls rather than QSaveFile, which says "Unknown
// error" for a full disk or a file-size limit and, after a short write,
// still commits the truncated file.
int writeNativeFileReplacing(const std::string& path, const std::vector<unsigned char>& bytes, std::string* why) {
    auto fail = [&](int error) {
        if (why) *why = std::strerror(error);
        return JpegStatus::Win32Error;
    };
    if (path.empty()) return fail(ENOENT);
    // The rename replaces whatever is at the path. A symbolic link there is
    // replaced itself, never written through: a link planted in a shared
    // folder must not lead the picture onto a file elsewhere.
    struct stat existing {};
    const bool exists = ::lstat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
    if (exists && ::access(path.c_str(), W_OK) != 0) return fail(errno);

    cad::ReplacingFile file;
    if (!file.open(path, ".tmp")) return fail(errno);
    if (exists && ::fchmod(file.fd(), existing.st_mode & 07777) != 0) return fail(errno);
    if (!file.write(bytes.data(), bytes.size()) || !file.commit(true)) return fail(errno);
    return JpegStatus::Ok;
}

}  // namespace lumicade
