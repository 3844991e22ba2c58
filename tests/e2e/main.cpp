#include "cad/render/QtPictureDecoder.h"
#include <gtest/gtest.h>

#include "cad/render/Render.h"

int main(int argc, char** argv)
{
    cad::render::installPictureDecoder(cad::render::qtPictureDecoder());
    // Text is laid out through Qt's fonts, which need a GUI application.
    if (!cad::render::ensureGuiApplication())
        return 1;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
