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

QImage renderDrawing(const Drawing& drawing, const RenderOptions& options) {
    return renderDrawing(drawing, options, nullptr);
}

QImage renderDrawing(const Drawing& drawing, const RenderOptions& options, std::vector<std::string>* problems) {
    const Scene scene = buildScene(drawing, options);
    if (problems) {
        problems->insert(problems->end(), drawing.referenceProblems.begin(), drawing.referenceProblems.end());
        for (const std::string& p : scene.problems)
            if (std::find(problems->begin(), problems->end(), p) == problems->end()) problems->push_back(p);
    }
    Box view = scene.extents();
    // Nothing but rays and construction lines: look at where they start.
    if (view.empty())
        for (const InfiniteLine& line : scene.infinite) view.add(line.base);
    if (options.window.isValid()) {
        const QRectF w = options.window.normalized();
        view = Box{w.left(), w.top(), w.right(), w.bottom()};
    }
    // Lineweights show only when the drawing has their display switched on;
    // otherwise every line is drawn with the thinnest pen.
    RenderOptions paint = options;
    paint.lineweights = options.lineweights && drawing.header.lwDisplay;
    return paintScene(scene, fitView(view, paint), paint);
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
