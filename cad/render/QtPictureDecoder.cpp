#include "cad/render/QtPictureDecoder.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <cstring>
#include <mutex>

#ifdef LUMICADE_HAVE_POPPLER
#include "cad/render/Modules.h"
#include "cad/render/PdfPages.h"
#endif

namespace cad::render {

namespace {

// Pictures larger than this are not kept whole: a scan of 100,000 x
// 100,000 pixels would need 40 GB. They are read scaled down, by the
// decoder itself where the format allows it (JPEG); the others are refused,
// and named.
constexpr qint64 kMaxDecodedPixels = 64LL * 1024 * 1024;
constexpr int kMaxSide = 8192;
// Memory one decoding may take. Qt's readers stop at 256 MB by default
// (128 MB in older releases), which refuses an ordinary 36-megapixel scan.
constexpr int kMaxDecodeMegabytes = 1024;

bool isBitonal(const QImage& image) {
    if (image.depth() == 1) return true;
    if (image.format() != QImage::Format_Indexed8) return false;
    return image.colorCount() <= 2;
}

// The image's pixels, straight ARGB; a bitonal one as black ink on white
// paper, the darker of its two colours being the ink.
DecodedPicture pixelsOf(const QImage& decoded) {
    DecodedPicture out;
    QImage image;
    if (isBitonal(decoded)) {
        QImage mono = decoded.convertToFormat(QImage::Format_Indexed8);
        QList<QRgb> table = mono.colorTable();
        int inkIndex = 0;
        if (table.size() >= 2 && qGray(table[1]) < qGray(table[0])) inkIndex = 1;
        for (int i = 0; i < table.size(); ++i) table[i] = i == inkIndex ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
        mono.setColorTable(table);
        image = mono.convertToFormat(QImage::Format_ARGB32);
        out.bitonal = true;
    } else {
        image = decoded.convertToFormat(QImage::Format_ARGB32);
    }
    if (image.isNull()) {
        out.problem = "no memory for it";
        return out;
    }
    auto pixels = std::make_shared<Pixels>();
    pixels->width = image.width();
    pixels->height = image.height();
    pixels->argb.resize(static_cast<std::size_t>(image.width()) * static_cast<std::size_t>(image.height()));
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(pixels->argb.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width()),
                    image.constScanLine(y), static_cast<std::size_t>(image.width()) * 4);
    if (image.dotsPerMeterX() > 0) out.dotsPerInch = image.dotsPerMeterX() * 0.0254;
    out.pixels = std::move(pixels);
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
#endif

class QtDecoder : public PictureDecoder {
public:
    DecodedPicture image(const std::string& file, const std::string& name, const std::string& suffix) override {
        DecodedPicture out;
        QFile device(QString::fromStdString(file));
        if (!device.open(QIODevice::ReadOnly)) {
            out.problem = "picture " + name + " cannot be read: " + device.errorString().toStdString();
            return out;
        }
        // The name's ending is a hint; the content decides where it is wrong.
        QImageReader reader(&device, QByteArray::fromStdString(suffix));
        reader.setAutoTransform(true);
        reader.setAllocationLimit(kMaxDecodeMegabytes);
        const QSize size = reader.size();
        const bool tooLarge = size.isValid() && qint64(size.width()) * size.height() > kMaxDecodedPixels;
        // Formats that can decode at a lower resolution (JPEG) do so; for the
        // others the reader refuses, and we say so.
        if (tooLarge) reader.setScaledSize(size.scaled(kMaxSide, kMaxSide, Qt::KeepAspectRatio));
        QImage decoded;
        if (!reader.read(&decoded) || decoded.isNull()) {
            if (tooLarge)
                out.problem = "picture " + name + " is too large to draw (" + std::to_string(size.width()) + " x " +
                              std::to_string(size.height()) + " pixels)";
            else
                out.problem = "picture " + name + " cannot be read: " + reader.errorString().toStdString();
            return out;
        }
        out = pixelsOf(decoded);
        if (!out.pixels) out.problem = "picture " + name + " cannot be read: " + out.problem;
        return out;
    }

    DecodedPicture pdfPage(const std::string& file, const std::string& name, const std::string& pageName,
                           double maxPixels) override {
        DecodedPicture out;
#ifdef LUMICADE_HAVE_POPPLER
        std::string why;
        const RenderPdfPage render = pdfModule(&why);
        if (!render) {
            out.problem = "PDF " + name + " is not drawn: the PDF module cannot be loaded (" + why + ")";
            return out;
        }
        PdfPage page;
        render(QString::fromStdString(file), QString::fromStdString(pageName), name, maxPixels, page);
        if (page.image.isNull()) {
            out.problem = page.problem;
            return out;
        }
        out = pixelsOf(page.image);
        out.bitonal = false;  // a page keeps its colours
        if (!out.pixels) out.problem = "PDF " + name + " cannot be drawn: " + out.problem;
#else
        (void)file, (void)pageName, (void)maxPixels;
        out.problem = "PDF underlays are not drawn by this build: " + name;
#endif
        return out;
    }
};

}  // namespace

std::shared_ptr<PictureDecoder> qtPictureDecoder() {
    static const std::shared_ptr<PictureDecoder> decoder = std::make_shared<QtDecoder>();
    return decoder;
}

}  // namespace cad::render
