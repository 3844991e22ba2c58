#include "HandCursor.h"

#include "platform/VbError.h"

#include <QFile>
#include <QPixmap>

namespace lumicade {

namespace {

class Bytes {
public:
    explicit Bytes(const QByteArray& data) : data_(data) {}
    bool has(qsizetype offset, qsizetype count) const
    {
        return offset >= 0 && count >= 0 && offset <= data_.size() && count <= data_.size() - offset;
    }
    quint8 u8(qsizetype at) const { return static_cast<quint8>(data_.at(at)); }
    quint16 u16(qsizetype at) const { return static_cast<quint16>(u8(at) | (u8(at + 1) << 8)); }
    quint32 u32(qsizetype at) const { return static_cast<quint32>(u16(at)) | (static_cast<quint32>(u16(at + 2)) << 16); }
    qint32 s32(qsizetype at) const { return static_cast<qint32>(u32(at)); }
    QByteArray mid(qsizetype at, qsizetype count) const { return data_.mid(at, count); }

private:
    const QByteArray& data_;
};

[[noreturn]] void invalid()
{
    throw VbError::make(ErrNo::InvalidPicture);
}

// One device-independent bitmap of a cursor: the colour rows, then the
// one-bit mask rows, both bottom row first.
QImage decodeBitmap(const Bytes& in, qsizetype at, qsizetype length)
{
    if (!in.has(at, 40) || length < 40)
        invalid();
    const quint32 headerSize = in.u32(at);
    const qint32 width = in.s32(at + 4);
    const qint32 doubleHeight = in.s32(at + 8);
    const quint16 bitCount = in.u16(at + 14);
    const quint32 compression = in.u32(at + 16);
    quint32 coloursUsed = in.u32(at + 32);
    if (headerSize < 40 || headerSize > static_cast<quint32>(length) || compression != 0)
        invalid();
    if (width <= 0 || width > 256 || doubleHeight <= 0 || doubleHeight > 512 || doubleHeight % 2 != 0)
        invalid();
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32)
        invalid();
    const int height = doubleHeight / 2;

    qsizetype pos = at + headerSize;
    QList<QRgb> palette;
    if (bitCount <= 8) {
        const quint32 maxColours = 1u << bitCount;
        if (coloursUsed == 0 || coloursUsed > maxColours)
            coloursUsed = maxColours;
        if (!in.has(pos, qsizetype(coloursUsed) * 4))
            invalid();
        for (quint32 i = 0; i < coloursUsed; ++i, pos += 4)
            palette << qRgb(in.u8(pos + 2), in.u8(pos + 1), in.u8(pos));
    }

    const qsizetype colourStride = ((qsizetype(width) * bitCount + 31) / 32) * 4;
    const qsizetype maskStride = ((qsizetype(width) + 31) / 32) * 4;
    const qsizetype colourAt = pos;
    const qsizetype maskAt = colourAt + colourStride * height;
    if (!in.has(colourAt, colourStride * height) || maskAt + maskStride * height > at + length
        || !in.has(maskAt, maskStride * height))
        invalid();

    // A 32-bit image carries its own transparency, unless its alpha is all
    // clear: then, like the older depths, it relies on its mask. Decide that
    // before any pixel is taken, so the first rows are read like the rest.
    bool useAlpha = false;
    if (bitCount == 32) {
        for (qsizetype p = colourAt + 3; p < maskAt && !useAlpha; p += 4)
            useAlpha = in.u8(p) != 0;
    }

    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        const qsizetype row = colourAt + colourStride * (height - 1 - y);
        const qsizetype maskRow = maskAt + maskStride * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            QRgb pixel = 0;
            if (bitCount == 32) {
                const qsizetype p = row + qsizetype(x) * 4;
                pixel = qRgba(in.u8(p + 2), in.u8(p + 1), in.u8(p), in.u8(p + 3));
            } else if (bitCount == 24) {
                const qsizetype p = row + qsizetype(x) * 3;
                pixel = qRgb(in.u8(p + 2), in.u8(p + 1), in.u8(p));
            } else {
                const qsizetype bitIndex = qsizetype(x) * bitCount;
                const quint8 byte = in.u8(row + bitIndex / 8);
                const int shift = 8 - bitCount - static_cast<int>(bitIndex % 8);
                const int index = (byte >> shift) & ((1 << bitCount) - 1);
                pixel = index < palette.size() ? palette.at(index) : qRgb(0, 0, 0);
            }
            if (!useAlpha) {
                const bool masked = (in.u8(maskRow + x / 8) >> (7 - x % 8)) & 1;
                if (bitCount == 32)
                    pixel = masked ? 0 : (pixel | 0xFF000000u);
                else
                    pixel = masked && (pixel & 0xFFFFFF) == 0 ? 0 : (pixel | 0xFF000000u);
            }
            image.setPixel(x, y, pixel);
        }
    }
    return image;
}

}  // namespace

CursorImage DecodeCursorFile(const QByteArray& bytes)
{
    const Bytes in(bytes);
    if (!in.has(0, 6 + 16))
        invalid();
    const quint16 type = in.u16(2);
    if (in.u16(0) != 0 || (type != 1 && type != 2) || in.u16(4) == 0)
        invalid();
    const qsizetype entry = 6;
    const quint32 length = in.u32(entry + 8);
    const quint32 offset = in.u32(entry + 12);
    if (!in.has(offset, length))
        invalid();

    CursorImage result;
    // Icons carry planes and bit count where cursors carry the hot spot.
    if (type == 2)
        result.hotSpot = QPoint(in.u16(entry + 4), in.u16(entry + 6));

    static const QByteArray pngSignature("\x89PNG\r\n\x1a\n", 8);
    if (in.mid(offset, 8) == pngSignature) {
        result.image = QImage::fromData(in.mid(offset, length), "PNG");
        if (result.image.isNull())
            invalid();
    } else {
        result.image = decodeBitmap(in, offset, length);
    }
    if (!QRect(QPoint(0, 0), result.image.size()).contains(result.hotSpot))
        result.hotSpot = QPoint(0, 0);
    return result;
}

QCursor LoadCursorFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw VbError::make(file.exists() ? ErrNo::PermissionDenied : ErrNo::FileNotFound);
    // A cursor file is small; a large one is not a cursor.
    if (file.size() > 1024 * 1024)
        invalid();
    const CursorImage cursor = DecodeCursorFile(file.readAll());
    return QCursor(QPixmap::fromImage(cursor.image), cursor.hotSpot.x(), cursor.hotSpot.y());
}

}  // namespace lumicade
