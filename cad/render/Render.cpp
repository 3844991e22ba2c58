#include "cad/render/Render.h"

#include <QGuiApplication>
#include <QPainter>
#include <QString>
#include <QSysInfo>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif
#include <mutex>
#include <unistd.h>
#include <vector>

#include "cad/model/ReplacingFile.h"
#include "cad/render/Backend.h"
#include "cad/render/Frontend.h"
#include "cad/render/RasterScene.h"

namespace cad::render {

struct ScenePicture::Prepared {
    Scene scene;
    RenderOptions paint;
    PixelView view;
};

ScenePicture::ScenePicture(const Drawing& drawing, const RenderOptions& options)
    : prepared_(std::make_unique<Prepared>()), referenceProblems_(drawing.referenceProblems) {
    prepared_->scene = buildScene(drawing, options);
    prepared_->paint = paintOptions(drawing, options);
    prepared_->view = fitView(viewOf(prepared_->scene, options), prepared_->paint);
    losses_ = drawing.losses;
    losses_.add(prepared_->scene.losses);
}

ScenePicture::~ScenePicture() = default;

// One preparation for every backend, so a picture and its PDF or SVG never differ.
QImage renderDrawing(const Drawing& drawing, const RenderOptions& options) { return ScenePicture(drawing, options).toImage(); }

QImage renderDrawing(const Drawing& drawing, const RenderOptions& options, std::vector<std::string>* problems) {
    const ScenePicture picture(drawing, options);
    if (problems)
        for (const std::string& p : picture.problems())
            if (std::find(problems->begin(), problems->end(), p) == problems->end()) problems->push_back(p);
    return picture.toImage();
}

std::vector<std::string> ScenePicture::problems() const {
    std::vector<std::string> out = referenceProblems_;
    for (const std::string& p : prepared_->scene.problems)
        if (std::find(out.begin(), out.end(), p) == out.end()) out.push_back(p);
    return out;
}

QImage renderDrawing(const Drawing& drawing, const RenderOptions& options, std::string* simplified) {
    const ScenePicture picture(drawing, options);
    if (simplified) *simplified = picture.simplified();
    return picture.toImage();
}

const std::string& ScenePicture::simplified() const { return prepared_->scene.simplified; }

// Every raster picture is painted by our own painter, straight into the
// picture's pixels.
QImage ScenePicture::toImage() const {
    const Prepared& p = *prepared_;
    QImage image(p.view.width, p.view.height, QImage::Format_RGB32);
    if (image.isNull()) return image;
    Canvas canvas(reinterpret_cast<std::uint32_t*>(image.bits()), image.width(), image.height(), image.bytesPerLine());
    canvas.fill(p.paint.background | 0xFF000000u);
    paintScene(canvas, p.scene, p.view, p.paint);
    return image;
}

QSize ScenePicture::size() const { return {prepared_->view.width, prepared_->view.height}; }

void ScenePicture::paint(QPainter& painter) const {
    painter.fillRect(QRectF(0, 0, prepared_->view.width, prepared_->view.height),
                     QColor::fromRgb(prepared_->paint.background));
    paintSceneOn(painter, prepared_->scene, prepared_->view, prepared_->paint);
}

namespace {

void putLe(unsigned char* out, std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
}

// One row of a Format_RGB32 picture as blue-green-red bytes. In memory an
// RGB32 pixel is blue, green, red, then the unused byte, so each pixel is
// its first three bytes: one byte shuffle turns four pixels into twelve
// bytes where the processor has it, four pixels make three whole words
// elsewhere.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("ssse3"))) void toBlueGreenRedShuffled(const uchar* in, unsigned char* out, std::uint64_t width) {
    const __m128i firstThree = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    // Each store writes sixteen bytes, four past the twelve it means, which
    // the next group writes again: the last pixels of the row are left to
    // the loop below, so nothing past the row (its padding) is touched.
    std::uint64_t x = 0;
    for (; x + 6 <= width; x += 4, in += 16, out += 12)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), firstThree));
    for (; x < width; ++x, in += 4, out += 3) std::memcpy(out, in, 3);
}
#endif

void toBlueGreenRed(const uchar* in, unsigned char* out, std::uint64_t width) {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool shuffle = __builtin_cpu_supports("ssse3");
    if (shuffle) return toBlueGreenRedShuffled(in, out, width);
#endif
    std::uint64_t x = 0;
    if constexpr (QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
        for (; x + 4 <= width; x += 4, in += 16, out += 12) {
            std::uint32_t p[4];
            std::memcpy(p, in, 16);
            const std::uint32_t words[3] = {(p[0] & 0xFFFFFFu) | (p[1] << 24), ((p[1] >> 8) & 0xFFFFu) | (p[2] << 16),
                                            ((p[2] >> 16) & 0xFFu) | (p[3] << 8)};
            std::memcpy(out, words, 12);
        }
    }
    for (; x < width; ++x, in += 4, out += 3) {
        QRgb pixel;
        std::memcpy(&pixel, in, 4);
        out[0] = static_cast<unsigned char>(qBlue(pixel));
        out[1] = static_cast<unsigned char>(qGreen(pixel));
        out[2] = static_cast<unsigned char>(qRed(pixel));
    }
}

}  // namespace

bool exportBmp(const Drawing& drawing, const std::string& path, const RenderOptions& options, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    // A 24-bit BMP file stored top-down holds its rows as a blue-green-red
    // picture lies in memory, each padded to four bytes: the two headers,
    // then the rows. They are made from the painted picture a band at a
    // time, so no second whole picture is ever made, and the band is still
    // in the cache when it is written.
    const QImage picture = renderDrawing(drawing, options).convertToFormat(QImage::Format_RGB32);
    if (picture.isNull()) return fail("the picture could not be made");
    const std::uint64_t width = static_cast<std::uint64_t>(picture.width());
    const std::uint64_t rowBytes = (width * 3 + 3) / 4 * 4;
    const std::uint64_t pixelBytes = rowBytes * static_cast<std::uint64_t>(picture.height());
    constexpr std::uint32_t kHeaders = 14 + 40;
    if (kHeaders + pixelBytes > 0xFFFFFFFFu) return fail("the picture is too large for a BMP file");
    unsigned char headers[kHeaders] = {'B', 'M'};
    putLe(headers, 2, static_cast<std::uint32_t>(kHeaders + pixelBytes), 4);
    putLe(headers, 10, kHeaders, 4);  // where the pixels begin
    putLe(headers, 14, 40, 4);        // the information header's size
    putLe(headers, 18, static_cast<std::uint32_t>(picture.width()), 4);
    putLe(headers, 22, static_cast<std::uint32_t>(-picture.height()), 4);  // negative: top-down
    putLe(headers, 26, 1, 2);         // planes
    putLe(headers, 28, 24, 2);        // bits per pixel
    putLe(headers, 34, static_cast<std::uint32_t>(pixelBytes), 4);
    putLe(headers, 38, static_cast<std::uint32_t>(picture.dotsPerMeterX()), 4);
    putLe(headers, 42, static_cast<std::uint32_t>(picture.dotsPerMeterY()), 4);
    // Through a temporary file beside the target, so a failed write keeps the
    // old file. Not synced to disk: the bitmap is a hand-over that is read
    // back and deleted at once, and a sync would cost more than the rest.
    cad::ReplacingFile file;
    if (!file.open(path, ".bmp.tmp")) return fail(std::strerror(errno));
    if (!file.write(headers, kHeaders)) return fail(std::strerror(errno));
    // Bands of about 256 KiB; the padding at each row's end stays zero.
    const int bandRows = static_cast<int>(std::max<std::uint64_t>(1, (256 * 1024) / rowBytes));
    std::vector<unsigned char> band(static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(bandRows), 0);
    for (int top = 0; top < picture.height(); top += bandRows) {
        const int rows = std::min(bandRows, picture.height() - top);
        for (int y = 0; y < rows; ++y)
            toBlueGreenRed(picture.constScanLine(top + y), band.data() + static_cast<std::size_t>(y) * rowBytes, width);
        if (!file.write(band.data(), static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(rows)))
            return fail(std::strerror(errno));
    }
    if (!file.commit(false)) return fail(std::strerror(errno));
    return true;
}


}  // namespace cad::render
