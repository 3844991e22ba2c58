#include "cad/render/QtPictureDecoder.h"
#include <gtest/gtest.h>

#include <QGuiApplication>

int main(int argc, char** argv)
{
    cad::render::installPictureDecoder(cad::render::qtPictureDecoder());
    // Pictures are loaded and saved through Qt's image plugins, and the run
    // yields to an event loop as the window would.
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
