#include "cad/render/QtPictureDecoder.h"
#include <gtest/gtest.h>

#include "cad/render/Render.h"

// fontconfig keeps a few bytes of its configuration to the end of the
// process; the leak checker is told so (the hook matters only under it).
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

int main(int argc, char** argv) {
    cad::render::installPictureDecoder(cad::render::qtPictureDecoder());
    // Text is laid out through Qt's fonts, which need a GUI application.
    if (!cad::render::ensureGuiApplication()) return 1;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
