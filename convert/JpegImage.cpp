// The JPEG writer's entry points for Qt's pictures.
#include <QImage>

#include "convert/JpegFile.h"

namespace lumicade {

int encodeJpeg(const QImage& picture, int quality, std::vector<unsigned char>& out, ChromaSubsampling subsampling,
               std::string* why, HuffmanTables tables) {
    if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0) {
        if (why) *why = "no picture";
        return JpegStatus::InvalidParameter;
    }
    // 0xffRRGGBB words lie in memory as B, G, R, X on every platform we build
    // for. Three-byte pictures (a bitmap read back from a file) are taken as
    // they lie too, rather than widened first.
    const QImage::Format format = picture.format();
    const bool threeBytes = format == QImage::Format_BGR888 || format == QImage::Format_RGB888;
    const QImage rgb = format == QImage::Format_RGB32 || threeBytes ? picture : picture.convertToFormat(QImage::Format_RGB32);
    if (rgb.isNull()) return JpegStatus::OutOfMemory;
    const PixelLayout layout = format == QImage::Format_BGR888   ? PixelLayout::Bgr888
                               : format == QImage::Format_RGB888 ? PixelLayout::Rgb888
                                                                 : PixelLayout::Rgb32;
    return encodeJpegPixels(rgb.constBits(), rgb.width(), rgb.height(), rgb.bytesPerLine(), layout, quality, out,
                            subsampling, why, tables);
}

int writeJpegFile(const QImage& picture, const QString& path, int quality, std::string* why) {
    std::vector<unsigned char> bytes;
    const int status = encodeJpeg(picture, quality, bytes, kDrawingSubsampling, why);
    if (status != JpegStatus::Ok) return status;
    return writeFileReplacing(path, bytes, why);
}

}  // namespace lumicade
