#include "convert/BitmapFile.h"

#include <cstdint>
#include <cstdlib>

namespace lumicade {

namespace {

std::uint32_t le(const QByteArray& b, qsizetype at, int bytes)
{
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
}

// Decoding the whole picture here is several times faster than Qt's
// general decoder, which converts it one pixel at a time through a
// function call; the window reads one such file per drawing.
QImage decodeRgb24(const QByteArray& b)
{
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M')
        return {};
    const std::uint32_t offset = le(b, 10, 4), header = le(b, 14, 4);
    const std::int32_t width = static_cast<std::int32_t>(le(b, 18, 4)), rawHeight = static_cast<std::int32_t>(le(b, 22, 4));
    if (header < 40 || le(b, 26, 2) != 1 || le(b, 28, 2) != 24 || le(b, 30, 4) != 0)
        return {};
    if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN || width > 32768)
        return {};
    const std::int64_t height = std::llabs(static_cast<long long>(rawHeight));
    if (height > 32768)
        return {};
    const std::int64_t rowBytes = (static_cast<std::int64_t>(width) * 3 + 3) / 4 * 4;
    if (offset < 14 + header || static_cast<std::int64_t>(offset) + rowBytes * height > b.size())
        return {};
    QImage image(width, static_cast<int>(height), QImage::Format_RGB32);
    if (image.isNull())
        return {};
    const bool bottomUp = rawHeight > 0;
    const auto* pixels = reinterpret_cast<const unsigned char*>(b.constData()) + offset;
    for (std::int64_t y = 0; y < height; ++y) {
        const unsigned char* in = pixels + (bottomUp ? height - 1 - y : y) * rowBytes;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)));
        for (std::int32_t x = 0; x < width; ++x, in += 3)
            out[x] = qRgb(in[2], in[1], in[0]);
    }
    const std::int32_t xPerMetre = static_cast<std::int32_t>(le(b, 38, 4)), yPerMetre = static_cast<std::int32_t>(le(b, 42, 4));
    if (xPerMetre > 0)
        image.setDotsPerMeterX(xPerMetre);
    if (yPerMetre > 0)
        image.setDotsPerMeterY(yPerMetre);
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

}  // namespace lumicade
