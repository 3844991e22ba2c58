#include "tools/thumbnail/Thumbnail.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
#include <vector>

#include "cad/DrawingFile.h"
#include "cad/dwg/DwgPreview.h"
#include "cad/model/ReadableFile.h"
#include "cad/model/ReplacingFile.h"
#include "cad/render/Render.h"

namespace lumicade {

namespace {

// The preview lies near the start of the file; this much is always enough to
// reach it, and reading no more keeps thumbnails of large drawings quick.
constexpr std::uint64_t kPreviewReach = 8 << 20;

void putLe32(QByteArray& b, int at, quint32 v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}
quint32 le32(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | quint32{p[3]} << 24; }

// A stored BMP is the bitmap's info header, colour table and pixels: the
// 14-byte file header in front says where the pixels begin.
QImage decodeDib(const std::vector<std::uint8_t>& dib) {
    if (dib.size() < 40) return {};
    const quint32 infoSize = le32(dib.data());
    const int bitsPerPixel = dib[14] | dib[15] << 8;
    const quint32 compression = le32(dib.data() + 16);
    quint32 colours = le32(dib.data() + 32);
    if (colours == 0 && bitsPerPixel <= 8) colours = 1u << bitsPerPixel;
    quint64 pixelsAt = 14ull + infoSize + 4ull * colours;
    if (compression == 3 && infoSize == 40) pixelsAt += 12;  // the three colour masks
    if (pixelsAt > 14 + dib.size()) return {};
    QByteArray file(14, '\0');
    file[0] = 'B', file[1] = 'M';
    putLe32(file, 2, static_cast<quint32>(14 + dib.size()));
    putLe32(file, 10, static_cast<quint32>(pixelsAt));
    file.append(reinterpret_cast<const char*>(dib.data()), static_cast<qsizetype>(dib.size()));
    return QImage::fromData(file, "BMP");
}

QImage fitWithin(const QImage& image, int size) {
    if (image.width() <= size && image.height() <= size) return image;
    return image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

bool IsBlank(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    if (rgb.isNull()) return true;
    const QRgb first = rgb.pixel(0, 0);
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        if (!std::all_of(row, row + rgb.width(), [&](QRgb p) { return p == first; })) return false;
    }
    return true;
}

QImage DecodeStoredPreview(const cad::Preview& preview) {
    switch (preview.kind) {
    case cad::Preview::Kind::Bmp: return decodeDib(preview.data);
    case cad::Preview::Kind::Png:
        return QImage::fromData(QByteArray::fromRawData(reinterpret_cast<const char*>(preview.data.data()),
                                                        static_cast<qsizetype>(preview.data.size())),
                                "PNG");
    case cad::Preview::Kind::Wmf:  // drawing commands, not pixels: rendering the drawing does better
    case cad::Preview::Kind::None: break;
    }
    return {};
}

Thumbnail MakeThumbnail(const QString& path, int size) {
    Thumbnail t;
    cad::ReadableFile file;
    std::vector<std::uint8_t> bytes;
    if (!file.open(QFile::encodeName(path).toStdString(), cad::kMaxDrawingBytes) || !file.read(bytes, kPreviewReach)) {
        t.error = QStringLiteral("cannot open ") + path + QStringLiteral(": ") + QString::fromLocal8Bit(file.problem().c_str());
        return t;
    }
    const cad::Preview preview = cad::dwg::readDwgPreview(bytes);
    // A stored picture is used only when it need not be enlarged; a blurred
    // thumbnail is worse than the moment it takes to draw the drawing. A
    // blank one (a drawing of solids saved in a shaded view stores an empty
    // frame) shows nothing of the drawing at all.
    if (preview.present() && std::max(preview.width, preview.height) >= size) {
        const QImage stored = DecodeStoredPreview(preview);
        if (!stored.isNull() && !IsBlank(stored)) {
            t.image = fitWithin(stored, size).convertToFormat(QImage::Format_RGB32);
            t.source = Thumbnail::Source::StoredPreview;
            return t;
        }
    }
    try {
        const cad::Drawing drawing = cad::readDrawingFile(path.toStdString());
        if (!cad::render::ensureGuiApplication()) {
            t.error = QStringLiteral("no picture system to draw with");
            return t;
        }
        cad::render::RenderOptions options;
        options.longSide = size;
        t.image = fitWithin(cad::render::renderDrawing(drawing, options), size);
        t.source = Thumbnail::Source::Rendered;
    } catch (const cad::ReadError& e) {
        t.error = QString::fromStdString(e.what());
    } catch (const std::bad_alloc&) {
        t.error = QStringLiteral("out of memory while reading ") + path;
    }
    return t;
}

// Encoded whole first, then written beside the output and renamed over it:
// a symbolic link at the output is replaced, never written through, which
// QSaveFile would do.
bool WriteThumbnailPng(const QImage& image, const QString& output, QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = QStringLiteral("cannot write ") + output + (why.isEmpty() ? QString() : QStringLiteral(": ") + why);
        return false;
    };
    QByteArray png;
    QBuffer buffer(&png);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return fail({});
    cad::ReplacingFile file;
    if (!file.open(QFile::encodeName(output).toStdString(), ".tmp") ||
        !file.write(png.constData(), static_cast<std::size_t>(png.size())) || !file.commit(false))
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    return true;
}

}  // namespace lumicade
