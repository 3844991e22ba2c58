#include "cad/render/Render.h"

#include <QGuiApplication>
#include <QSaveFile>
#include <QString>
#include <algorithm>
#include <cstdlib>
#include <mutex>

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

bool exportBmp(const Drawing& drawing, const std::string& path, const RenderOptions& options, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    const QImage picture = renderDrawing(drawing, options).convertToFormat(QImage::Format_RGB888);
    if (picture.isNull()) return fail("the picture could not be made");
    // Through a temporary file beside the target, so a failed write keeps the old file.
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) return fail(file.errorString().toStdString());
    if (!picture.save(&file, "BMP")) {
        file.cancelWriting();
        return fail("cannot write the BMP file");
    }
    if (!file.commit()) return fail(file.errorString().toStdString());
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
