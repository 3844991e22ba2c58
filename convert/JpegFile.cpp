#include "convert/JpegFile.h"

#include <QSaveFile>
#include <new>
#include <turbojpeg.h>

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

int encodeJpeg(const QImage& picture, int quality, std::vector<unsigned char>& out, ChromaSubsampling subsampling,
               std::string* why) {
    if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0) {
        if (why) *why = "no picture";
        return JpegStatus::InvalidParameter;
    }
    // 0xffRRGGBB words lie in memory as B, G, R, X on every platform we build for.
    const QImage rgb = picture.format() == QImage::Format_RGB32 ? picture : picture.convertToFormat(QImage::Format_RGB32);
    if (rgb.isNull()) return JpegStatus::OutOfMemory;
    const int pixelFormat = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TJPF_BGRX : TJPF_XRGB;

    Compressor tj;
    if (!tj.handle) {
        if (why) *why = tjGetErrorStr2(nullptr);
        return JpegStatus::GenericError;
    }
    unsigned long size = 0;
    const int rc = tjCompress2(tj.handle, rgb.constBits(), rgb.width(), static_cast<int>(rgb.bytesPerLine()), rgb.height(),
                               pixelFormat, &tj.buffer, &size, tjSubsampling(subsampling), quality, TJFLAG_ACCURATEDCT);
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
    QSaveFile file(path);
    // No falling back to writing in place: an unwritable folder is a failure.
    file.setDirectWriteFallback(false);
    auto fail = [&] {
        if (why) *why = file.errorString().toStdString();
        file.cancelWriting();
        return JpegStatus::Win32Error;
    };
    if (path.isEmpty() || !file.open(QIODevice::WriteOnly)) return fail();
    const auto size = static_cast<qint64>(bytes.size());
    if (file.write(reinterpret_cast<const char*>(bytes.data()), size) != size) return fail();
    if (!file.commit()) {
        if (why) *why = file.errorString().toStdString();
        return JpegStatus::Win32Error;
    }
    return JpegStatus::Ok;
}

int writeJpegFile(const QImage& picture, const QString& path, int quality, std::string* why) {
    std::vector<unsigned char> bytes;
    const int status = encodeJpeg(picture, quality, bytes, kDrawingSubsampling, why);
    if (status != JpegStatus::Ok) return status;
    return writeFileReplacing(path, bytes, why);
}

}  // namespace lumicade
