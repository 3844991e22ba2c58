#pragma once
// Small square scenes for the painter of our own, and its pictures held to
// golden pictures kept in tests/render/golden: made once by this painter,
// looked at, and made again by golden/regenerate.sh (which sets
// LUMICADE_REGENERATE_GOLDEN) when a change to them is meant. A picture that differs is written beside the test, as
// NAME-actual.png, for looking at.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QString>

#include "cad/render/Scene.h"
#include "cad/render/SceneOptions.h"

namespace cad::render::testing {

// Options and view for a scene of the square (0, 0)-(side, side), one pixel a
// unit, without a margin.
inline RenderOptions unitSquare(int side) {
    RenderOptions o;
    o.longSide = side;
    o.margin = 0;
    return o;
}
inline PixelView unitSquareView(const RenderOptions& o) {
    Box box;
    box.add(Vec2{0, 0});
    box.add(Vec2{double(o.longSide), double(o.longSide)});
    return fitView(box, o);
}

inline void expectGolden(const QImage& ours, const char* name) {
    const QString file =
        QDir(QStringLiteral(LUMICADE_GOLDEN_DIR)).filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
    if (qEnvironmentVariableIsSet("LUMICADE_REGENERATE_GOLDEN")) {
        ASSERT_TRUE(ours.save(file, "PNG")) << file.toStdString();
        return;
    }
    const QImage expected = QImage(file).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(expected.isNull()) << "no golden picture " << file.toStdString();
    ASSERT_EQ(expected.size(), ours.size()) << name;
    int differing = 0;
    for (int y = 0; y < ours.height(); ++y)
        for (int x = 0; x < ours.width(); ++x)
            if ((ours.pixel(x, y) & 0xFFFFFFu) != (expected.pixel(x, y) & 0xFFFFFFu)) ++differing;
    if (differing) ours.save(QString::fromLatin1(name) + QStringLiteral("-actual.png"), "PNG");
    EXPECT_EQ(differing, 0) << name << ": pixels differ from " << file.toStdString();
}

}  // namespace cad::render::testing
