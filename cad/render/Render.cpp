#include "cad/render/Render.h"

#include <QGuiApplication>
#include <QString>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

#include "cad/render/Backend.h"
#include "cad/render/Frontend.h"

namespace cad::render {

namespace {

// The view around what is drawn, or the window asked for.
Box viewOf(const Scene& scene, const RenderOptions& options) {
    Box view = scene.extents();
    // Nothing but rays and construction lines: look at where they start.
    if (view.empty())
        for (const InfiniteLine& line : scene.infinite) view.add(line.base);
    if (options.window.isValid()) {
        const QRectF w = options.window.normalized();
        view = Box{w.left(), w.top(), w.right(), w.bottom()};
    }
    return view;
}

// Lineweights show only when the drawing has their display switched on;
// otherwise every line is drawn with the thinnest pen.
RenderOptions paintOptions(const Drawing& drawing, const RenderOptions& options) {
    RenderOptions paint = options;
    paint.lineweights = options.lineweights && drawing.header.lwDisplay;
    return paint;
}

}  // namespace

struct ScenePicture::Prepared {
    Scene scene;
    RenderOptions paint;
    ViewTransform view;
};

ScenePicture::ScenePicture(const Drawing& drawing, const RenderOptions& options)
    : prepared_(std::make_unique<Prepared>()), referenceProblems_(drawing.referenceProblems) {
    prepared_->scene = buildScene(drawing, options);
    prepared_->paint = paintOptions(drawing, options);
    prepared_->view = fitView(viewOf(prepared_->scene, options), prepared_->paint);
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

std::vector<std::string> pictureProblems(const Drawing& drawing, const RenderOptions& options) {
    bool files = false;
    for (const Block& b : drawing.blocks)
        for (const Entity& e : b.entities)
            if (const auto* im = e.as<ImageData>(); im && !im->filePath.empty()) files = true;
    if (!files && options.layout.empty()) return drawing.referenceProblems;
    return ScenePicture(drawing, options).problems();
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

QImage ScenePicture::toImage() const { return paintScene(prepared_->scene, prepared_->view, prepared_->paint); }

QSize ScenePicture::size() const { return {prepared_->view.width, prepared_->view.height}; }

void ScenePicture::paint(QPainter& painter) const {
    const QColor background = prepared_->paint.background.isValid() ? prepared_->paint.background : QColor(Qt::white);
    painter.fillRect(QRectF(0, 0, prepared_->view.width, prepared_->view.height), background);
    paintSceneOn(painter, prepared_->scene, prepared_->view, prepared_->paint);
}

namespace {

void putLe(unsigned char* out, std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
}

bool writeAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool exportBmp(const Drawing& drawing, const std::string& path, const RenderOptions& options, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    // A 24-bit BMP file stored top-down holds its rows exactly as a
    // blue-green-red picture lies in memory, each padded to four bytes: the
    // two headers, then the picture's bytes as they are.
    const QImage picture = renderDrawing(drawing, options).convertToFormat(QImage::Format_BGR888);
    if (picture.isNull()) return fail("the picture could not be made");
    const std::uint64_t rowBytes = (static_cast<std::uint64_t>(picture.width()) * 3 + 3) / 4 * 4;
    const std::uint64_t pixelBytes = rowBytes * static_cast<std::uint64_t>(picture.height());
    constexpr std::uint32_t kHeaders = 14 + 40;
    if (static_cast<std::uint64_t>(picture.bytesPerLine()) != rowBytes || kHeaders + pixelBytes > 0xFFFFFFFFu)
        return fail("the picture is too large for a BMP file");
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
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = folder + ".lumicade-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".bmp.tmp";
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return fail(std::strerror(errno));
    }
    if (fd < 0) return fail(std::strerror(EEXIST));
    auto abandon = [&](int why) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return fail(std::strerror(why));
    };
    if (!writeAll(fd, headers, kHeaders) || !writeAll(fd, picture.constBits(), static_cast<std::size_t>(pixelBytes)))
        return abandon(errno);
    if (::close(fd) != 0) {
        const int why = errno;
        ::unlink(temporary.c_str());
        return fail(std::strerror(why));
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int why = errno;
        ::unlink(temporary.c_str());
        return fail(std::strerror(why));
    }
    return true;
}

bool ensureGuiApplication() {
    static std::mutex mutex;
    const std::lock_guard<std::mutex> lock(mutex);
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return true;
    if (QCoreApplication::instance()) return false;  // a console application: no fonts to be had
    // No window is ever shown: the offscreen platform needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "lumicade";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    return app != nullptr;
}

}  // namespace cad::render
