// Raster images and underlays: the file found beside the drawing, decoded
// once per process (Qt's image readers; PDF pages through the Poppler
// module where it was built, see PdfPages.h), adjusted as the entity asks
// and placed on its frame.
#include <QColor>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>

#include "cad/model/ReadableFile.h"
#include "cad/model/ReferencedFiles.h"
#include "cad/render/SceneBuilder.h"

#ifdef LUMICADE_HAVE_POPPLER
#include "cad/render/Modules.h"
#include "cad/render/PdfPages.h"
#endif

namespace cad::render::frontend {

namespace {

// Pictures larger than this are not kept whole: a scan of 100,000 x
// 100,000 pixels would need 40 GB. They are read scaled down, by the
// decoder itself where the format allows it (JPEG), or else whole and then
// scaled when that fits the decoding budget; beyond it they are left as
// their frame, and named.
constexpr qint64 kMaxDecodedPixels = 64LL * 1024 * 1024;
constexpr int kMaxSide = 8192;
// Memory one decoding may take. Qt's readers stop at 256 MB by default
// (128 MB in older releases), which refuses an ordinary 36-megapixel scan.
constexpr qint64 kMaxDecodeBytes = 1LL << 30;
constexpr std::uint64_t kMaxFileBytes = 1ULL << 30;
// Decoded pictures kept for the next entity or drawing that shows them.
constexpr qint64 kCacheBytes = 512LL * 1024 * 1024;
// PDF pages are drawn at most this many pixels along their long side.
constexpr double kMaxPagePixels = 4096;

struct Loaded {
    QImage image;
    std::string problem;  // why there is no image
};

// Decoded files by path, page and modification time; shared by the threads
// of a batch run.
class PictureCache {
public:
    static PictureCache& instance() {
        static PictureCache cache;
        return cache;
    }

    Loaded get(const QString& path, const QString& page, Loaded (*load)(const QString&, const QString&)) {
        const QFileInfo info(path);
        const QString key = path + QLatin1Char('\n') + page + QLatin1Char('\n') +
                            QString::number(info.lastModified().toMSecsSinceEpoch()) + QLatin1Char('\n') +
                            QString::number(info.size());
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            for (auto it = entries_.begin(); it != entries_.end(); ++it)
                if (it->first == key) {
                    entries_.splice(entries_.begin(), entries_, it);
                    return it->second;
                }
        }
        Loaded loaded = load(path, page);
        const std::lock_guard<std::mutex> lock(mutex_);
        entries_.emplace_front(key, loaded);
        qint64 bytes = 0;
        for (auto it = entries_.begin(); it != entries_.end();) {
            bytes += it->second.image.sizeInBytes();
            if (bytes > kCacheBytes && it != entries_.begin()) it = entries_.erase(it);
            else ++it;
        }
        return loaded;
    }

private:
    std::mutex mutex_;
    std::list<std::pair<QString, Loaded>> entries_;
};

Loaded loadRaster(const QString& path, const QString&) {
    Loaded out;
    const std::string name = QFileInfo(path).fileName().toStdString();
    ReadableFile file;
    QFile device;
    if (!file.open(QFile::encodeName(path).toStdString(), kMaxFileBytes) ||
        !device.open(file.fd(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
        out.problem = "picture " + name + " cannot be read: " + file.problem();
        return out;
    }
    // The name's ending is a hint; the content decides where it is wrong.
    QImageReader reader(&device, QFileInfo(path).suffix().toLower().toLatin1());
    reader.setAutoTransform(true);
    reader.setAllocationLimit(static_cast<int>(kMaxDecodeBytes >> 20));
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > kMaxDecodedPixels) {
        // Formats that can decode at a lower resolution (JPEG) do so; for the
        // others the reader refuses, and we say so.
        reader.setScaledSize(size.scaled(kMaxSide, kMaxSide, Qt::KeepAspectRatio));
    }
    if (!reader.read(&out.image) || out.image.isNull()) {
        out.image = QImage();
        if (size.isValid() && qint64(size.width()) * size.height() > kMaxDecodedPixels)
            out.problem = "picture " + name + " is too large to draw (" + std::to_string(size.width()) + " x " +
                          std::to_string(size.height()) + " pixels)";
        else
            out.problem = "picture " + name + " cannot be read: " + reader.errorString().toStdString();
    }
    return out;
}

#ifdef LUMICADE_HAVE_POPPLER
// Where the module is installed, beside the running program, or else built.
RenderPdfPage pdfModule(std::string* why) {
    static std::once_flag once;
    static RenderPdfPage entry = nullptr;
    static std::string failure;
    std::call_once(once, [] {
        entry = reinterpret_cast<RenderPdfPage>(
            moduleEntry(LUMICADE_PDF_MODULE_INSTALLED, LUMICADE_PDF_MODULE_BUILT, kRenderPdfPageSymbol, &failure));
    });
    if (!entry) *why = failure;
    return entry;
}

Loaded loadPdfPage(const QString& path, const QString& pageName) {
    Loaded out;
    const std::string name = QFileInfo(path).fileName().toStdString();
    ReadableFile file;
    if (!file.open(QFile::encodeName(path).toStdString(), kMaxFileBytes)) {
        out.problem = "PDF " + name + " cannot be read: " + file.problem();
        return out;
    }
    std::string why;
    const RenderPdfPage render = pdfModule(&why);
    if (!render) {
        out.problem = "PDF " + name + " is not drawn: the PDF module cannot be loaded (" + why + ")";
        return out;
    }
    PdfPage page;
    // Poppler opens the file by name: it is given the one already checked.
    render(QString::fromStdString(file.descriptorPath()), pageName, name, kMaxPagePixels, page);
    out.image = std::move(page.image);
    out.problem = std::move(page.problem);
    return out;
}
#endif

// Brightness and contrast (0..100, 50 leaves the picture as it is) and fade
// (0..100 towards the background), as the CAD application adjusts images.
void adjust(QImage& image, int brightness, int contrast, int fade, QColor background) {
    brightness = std::clamp(brightness, 0, 100);
    contrast = std::clamp(contrast, 0, 100);
    fade = std::clamp(fade, 0, 100);
    if (brightness == 50 && contrast == 50 && fade == 0) return;
    const double gain = contrast / 50.0, offset = (brightness - 50) * 2.55, f = fade / 100.0;
    int table[3][256];
    const int bg[3] = {background.red(), background.green(), background.blue()};
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v) {
            double x = (v - 127.5) * gain + 127.5 + offset;
            x = std::clamp(x, 0.0, 255.0);
            x += (bg[c] - x) * f;
            table[c][v] = static_cast<int>(std::lround(x));
        }
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = row[x];
            row[x] = qRgba(table[0][qRed(p)], table[1][qGreen(p)], table[2][qBlue(p)], qAlpha(p));
        }
    }
}

bool isBitonal(const QImage& image) {
    if (image.depth() == 1) return true;
    if (image.format() != QImage::Format_Indexed8) return false;
    return image.colorCount() <= 2;
}

// A bitonal picture shows its set pixels in the entity's colour; with
// transparency on, the others let what lies below show through.
QImage bitonal(const QImage& image, QColor ink, QColor paper, bool transparent) {
    QImage mono = image.convertToFormat(QImage::Format_Indexed8);
    QVector<QRgb> table = mono.colorTable();
    // The darker colour is the ink, the other the paper it was scanned from.
    int inkIndex = 0;
    if (table.size() >= 2 && qGray(table[1]) < qGray(table[0])) inkIndex = 1;
    for (int i = 0; i < table.size(); ++i)
        table[i] = i == inkIndex ? ink.rgba() : (transparent ? qRgba(0, 0, 0, 0) : paper.rgba());
    mono.setColorTable(table);
    return mono.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

Path outlinePath(const std::vector<Vec3>& outline, const Xform& xf) {
    std::vector<QPointF> poly;
    for (const Vec3& p : outline) {
        const Vec2 q = xf.apply2(p);
        if (std::isfinite(q.x) && std::isfinite(q.y)) poly.emplace_back(q.x, q.y);
    }
    Path path;
    if (poly.size() >= 3) {
        path.addPolygon(poly);
        path.closeSubpath();
    }
    return path;
}

// Plane point (x, y) = origin + ux * x + vy * y, seen through xf, as a 2D map.
Affine planeMap(Vec3 origin, Vec3 ux, Vec3 vy, const Xform& xf) {
    const Vec2 o = xf.apply2(origin), a = xf.apply2(origin + ux), b = xf.apply2(origin + vy);
    return Affine(a.x - o.x, a.y - o.y, b.x - o.x, b.y - o.y, o.x, o.y);
}

// Inches of a page to the drawing's units.
double inchesToUnits(int insUnits) {
    switch (insUnits) {
    case 2: return 1.0 / 12;   // feet
    case 4: return 25.4;       // millimetres
    case 5: return 2.54;       // centimetres
    case 6: return 0.0254;     // metres
    case 14: return 0.254;     // decimetres
    default: return 1.0;
    }
}

}  // namespace

namespace {

// The picture's pixels as the scene keeps them: premultiplied, so that the
// painters blend them without dividing by alpha again for each pixel.
std::shared_ptr<const Pixels> pixelsOf(const QImage& image) {
    const QImage premultiplied = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    auto out = std::make_shared<Pixels>();
    out->width = premultiplied.width();
    out->height = premultiplied.height();
    out->argb.resize(static_cast<std::size_t>(out->width) * static_cast<std::size_t>(out->height));
    for (int y = 0; y < out->height; ++y)
        std::memcpy(out->argb.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(out->width),
                    premultiplied.constScanLine(y), static_cast<std::size_t>(out->width) * 4);
    return out;
}

}  // namespace

QColor Builder::resolved(const PaintColor& c) const {
    const QColor background = QColor::fromRgb(options_.background);
    if (!c.foreground) return QColor::fromRgb(c.rgb);
    return background.lightness() >= 128 ? QColor(Qt::black) : QColor(Qt::white);
}

void Builder::picture(const ImageData& d, const Look& l, const Xform& xf, const std::vector<Vec3>& clipOutline) {
    if (d.displayFlags != 0 && !(d.displayFlags & 1)) return;  // switched off: the frame alone
    if (d.filePath.empty() || !(d.size.x > 0) || !(d.size.y > 0)) return;
    const std::string found = findReferencedFile(d.filePath, drawing_.sourcePath);
    if (found.empty()) {
        scene_.problems.push_back("picture not found: " + portablePath(d.filePath));
        scene_.losses.add(Loss::Kind::Image, d.filePath, scene_.problems.back());
        return;
    }
    if (const std::string why = refusedReference(options_.references, found); !why.empty()) {
        scene_.problems.push_back("picture not drawn, " + why + ": " + portablePath(d.filePath));
        return;
    }
    Loaded loaded = PictureCache::instance().get(QString::fromStdString(found), {}, &loadRaster);
    if (loaded.image.isNull()) {
        scene_.problems.push_back(loaded.problem);
        scene_.losses.add(Loss::Kind::Image, d.filePath, loaded.problem);
        return;
    }
    const QColor background = QColor::fromRgb(options_.background);
    QImage image;
    if (isBitonal(loaded.image)) {
        image = bitonal(loaded.image, resolved(l.color), background, d.displayFlags & 8);
    } else {
        image = loaded.image.convertToFormat(QImage::Format_ARGB32);
        adjust(image, d.brightness, d.contrast, d.fade, background);
    }
    // The entity's pixel size stands for the whole file, whatever
    // resolution it was decoded at.
    const double sx = d.size.x / image.width(), sy = d.size.y / image.height();
    RasterPicture r;
    r.placement = Affine::fromScale(sx, sy) *
                  planeMap(d.insertion + d.vVector * d.size.y, d.uVector, d.vVector * -1.0, xf);
    r.clip = clipOutline.empty() ? Path() : outlinePath(clipOutline, xf);
    r.clipInverted = d.clipInverted && !r.clip.isEmpty();
    r.width = image.width();
    r.height = image.height();
    r.image = pixelsOf(image);
    scene_.add(std::move(r));
}

void Builder::underlay(const Entity& e, const ImageData& d, const Look& l, const Xform& ocs) {
    if (!l.visible) return;
    const double unit = inchesToUnits(drawing_.header.insUnits);
    QImage page;
    std::string problem;
    const std::string found = d.filePath.empty() ? std::string() : findReferencedFile(d.filePath, drawing_.sourcePath);
    const bool shown = d.displayFlags == 0 || (d.displayFlags & 2);
    if (e.type != "PDFUNDERLAY") {
        // DWF and DGN pages need their own readers; the frame marks the place.
        if (shown)
            scene_.losses.add(Loss::Kind::Underlay, d.filePath,
                              e.type + " shown by its frame only: " + portablePath(d.filePath));
    } else if (found.empty()) {
        problem = "PDF not found: " + portablePath(d.filePath);
    } else if (const std::string why = refusedReference(options_.references, found); !why.empty()) {
        problem = "PDF not drawn, " + why + ": " + portablePath(d.filePath);
    } else if (shown) {
#ifdef LUMICADE_HAVE_POPPLER
        Loaded loaded = PictureCache::instance().get(QString::fromStdString(found), QString::fromStdString(d.page), &loadPdfPage);
        page = loaded.image;
        problem = loaded.problem;
#else
        problem = "PDF underlays are not drawn by this build: " + portablePath(d.filePath);
#endif
    }
    if (!problem.empty()) {
        scene_.problems.push_back(problem);
        scene_.losses.add(Loss::Kind::Underlay, d.filePath, problem);
    }

    // The page in drawing units: its size in inches, converted, then the
    // underlay's own scale and rotation (u and v).
    std::vector<Vec3> frameOutline;
    auto at = [&](double x, double y) { return d.insertion + d.uVector * x + d.vVector * y; };
    double w = 0, h = 0;
    if (!page.isNull()) {
        w = page.width() / (page.dotsPerMeterX() * 0.0254) * unit;
        h = page.height() / (page.dotsPerMeterY() * 0.0254) * unit;
    }
    std::vector<Vec3> clip;
    if (d.clip.size() >= 3) {
        for (const Vec2& p : d.clip) clip.push_back(at(p.x, p.y));
    } else if (d.clip.size() == 2) {
        const Vec2 a = d.clip[0], b = d.clip[1];
        clip = {at(a.x, a.y), at(b.x, a.y), at(b.x, b.y), at(a.x, b.y)};
    }
    const bool clipped = (d.displayFlags & 1) && !clip.empty();
    if (!page.isNull()) {
        QImage image = page.convertToFormat(QImage::Format_ARGB32);
        if (d.displayFlags & 4) image = image.convertToFormat(QImage::Format_Grayscale8).convertToFormat(QImage::Format_ARGB32);
        const QColor background = QColor::fromRgb(options_.background);
        adjust(image, 50, 50, std::clamp(d.fade, 0, 80), background);
        RasterPicture r;
        r.placement = Affine::fromScale(w / image.width(), h / image.height()) *
                      planeMap(at(0, h), d.uVector, d.vVector * -1.0, ocs);
        r.clip = clipped ? outlinePath(clip, ocs) : Path();
        r.clipInverted = clipped && d.clipInverted;
        r.width = image.width();
        r.height = image.height();
        r.image = pixelsOf(image);
        scene_.add(std::move(r));
        frameOutline = {at(0, 0), at(w, 0), at(w, h), at(0, h)};
    }
    if (clipped && !d.clipInverted) frameOutline = clip;
    if (frameOutline.empty() && !clip.empty()) frameOutline = clip;
    // Without a page or a boundary there is nothing to say where it lies.
    if (frameOutline.size() >= 3) stroke(frameOutline, true, l, ocs, false);
}

}  // namespace cad::render::frontend
