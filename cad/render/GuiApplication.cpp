// Qt's GUI application, made when a program that has none needs one.
#include <QGuiApplication>
#include <mutex>

#include "cad/render/Render.h"

namespace cad::render {

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
