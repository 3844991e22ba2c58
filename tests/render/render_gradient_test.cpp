// Gradient fills of hatches: blended across the boundary in their shape,
// from DXF files the tests write and from a saved drawing.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <array>
#include <cmath>
#include <set>
#include <variant>

#include "DxfWriter.h"
#include "RenderTestSupport.h"
#include "cad/DrawingFile.h"

namespace cad::render::testing {
namespace {

using namespace dxfwriter;

struct Gradient {
    std::string name = "LINEAR";
    double angle = 0;   // radians
    bool single = false;
    double tint = 0;
};

// A hatch over 10..90 with a hole at 40..60, blending red into blue.
std::string gradientHatch(const Gradient& gr) {
    auto loop = [](double a, double b) {
        std::string s = g(92, 2) + g(72, 0) + g(73, 1) + g(93, 4);
        for (auto [x, y] : {std::pair{a, a}, {b, a}, {b, b}, {a, b}}) s += g(10, x) + g(20, y);
        return s + g(97, 0);
    };
    return common("HATCH", on(3)) + g(100, std::string("AcDbHatch")) + point(10, 0, 0) + g(2, std::string("SOLID")) +
           g(70, 1) + g(71, 0) + g(91, 2) + loop(10, 90) + loop(40, 60) + g(75, 0) + g(76, 1) + g(98, 0) +
           g(450, 1) + g(451, 0) + g(460, gr.angle) + g(461, 0.0) + g(452, gr.single ? 1 : 0) + g(462, gr.tint) +
           g(453, 2) + g(463, 0.0) + g(63, 1) + g(421, 0xFF0000) + g(463, 1.0) + g(63, 5) + g(421, 0x0000FF) +
           g(470, gr.name);
}

QImage renderGradient(const Gradient& gr, bool antialias = false) {
    File f;
    f.layer("0", 7, "10");
    for (auto [x0, y0, x1, y1] : {std::array{0, 0, 100, 0}, {100, 0, 100, 100}, {100, 100, 0, 100}, {0, 100, 0, 0}})
        f.entities += dxfwriter::line(x0, y0, x1, y1, on(8));
    f.entities += gradientHatch(gr);
    QTemporaryDir dir;
    const QString path = dir.filePath("gradient.dxf");
    EXPECT_TRUE(f.save(path));
    RenderOptions o = onePixelPerUnit(100);
    o.antialias = antialias;
    return renderDrawing(openDrawing(path.toStdString()), o);
}

// How far from red towards blue a pixel is: 0 red, 1 blue, -1 neither.
double blueness(QRgb p) {
    if (qGreen(p) > 8 || std::abs(qRed(p) + qBlue(p) - 255) > 8) return -1;
    return qBlue(p) / 255.0;
}

TEST(RenderGradient, EachShapeBlendsItsColoursWhereItsShapeSays) {
    struct Probe {
        double x, y, blueness;   // drawing coordinates; blueness within 0.1
    };
    const double quarter = 1.5707963267948966;
    const struct {
        Gradient gradient;
        std::vector<Probe> probes;
    } cases[] = {
        {{"LINEAR"}, {{11, 20, 0}, {89, 20, 1}, {50, 20, 0.5}, {30, 80, 0.25}}},
        {{"LINEAR", quarter}, {{20, 11, 0}, {20, 89, 1}, {80, 50, 0.5}}},
        {{"INVLINEAR"}, {{11, 20, 1}, {89, 20, 0}}},
        {{"CYLINDER"}, {{11, 20, 0}, {89, 20, 0}, {50, 20, 1}, {30, 80, 0.5}}},
        {{"SPHERICAL"}, {{11, 11, 0}, {89, 89, 0}, {50, 30, 0.64}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.gradient.name + " at " + std::to_string(c.gradient.angle));
        const QImage image = renderGradient(c.gradient);
        for (const Probe& p : c.probes) {
            SCOPED_TRACE("at " + std::to_string(p.x) + ", " + std::to_string(p.y));
            EXPECT_NEAR(blueness(image.pixel(static_cast<int>(p.x), static_cast<int>(100 - p.y))), p.blueness, 0.1);
        }
        EXPECT_EQ(inkIn(image, QRect(2, 2, 6, 96)), 0) << "the fill spills over";
        // Smoothed edges of the bands must not show within the hole either.
        for (bool antialias : {false, true})
            EXPECT_EQ(inkIn(renderGradient(c.gradient, antialias), QRect(41, 41, 18, 18)), 0) << "the hole is filled";
    }
}

TEST(RenderGradient, OneColourBlendsTowardsWhiteOrBlackByItsTint) {
    for (auto [tint, far] : {std::pair{1.0, qRgb(255, 255, 255)}, {0.0, qRgb(0, 0, 0)}}) {
        const QImage image = renderGradient({"LINEAR", 0, true, tint});
        auto off = [](QRgb a, QRgb b) {
            return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
        };
        EXPECT_LT(off(image.pixel(11, 80), qRgb(255, 0, 0)), 12) << tint;
        EXPECT_LT(off(image.pixel(89, 80), far), 12) << tint;
        EXPECT_GT(off(image.pixel(50, 80), far), 60) << tint;
    }
}

// A gradient hatch alone in the drawing, over a rectangle w by h whose
// corners are moved up by the last bit when nudged, as a DWG double and the
// DXF decimal of the same coordinate may differ.
Drawing loneGradient(const std::string& name, double w, double h, bool nudged) {
    Drawing d = emptyDrawing();
    HatchData hatch;
    hatch.gradient = true;
    hatch.gradientFill.name = name;
    hatch.gradientFill.colors = {{0, Color::fromRgb(0xFF0000)}, {1, Color::fromRgb(0x0000FF)}};
    HatchLoop& loop = hatch.loops.emplace_back();
    loop.isPolyline = true;
    for (auto [x, y] : {std::pair{0.0, 0.0}, {w, 0.0}, {w, h}, {0.0, h}}) {
        x += 10, y += 10;
        if (nudged) x = std::nextafter(x, 1e9), y = std::nextafter(y, 1e9);
        loop.polyline.push_back({{x, y}});
    }
    add(d, entity("HATCH", hatch));
    return d;
}

TEST(RenderGradient, BandsStayPutWhenTheBoundaryMovesByItsLastBits) {
    // Hatches of round sizes that make the whole picture, at round sizes of
    // picture, put their reach on round numbers of pixels.
    for (const std::string name : {"LINEAR", "CYLINDER", "SPHERICAL", "HEMISPHERICAL", "CURVED"})
        for (auto [w, h] : {std::pair{80.0, 80.0}, {30.0, 90.0}, {100.0, 10.0}})
            for (int side : {100, 255, 400, 1000}) {
                SCOPED_TRACE(name + " " + std::to_string(w) + " by " + std::to_string(h) + " at " + std::to_string(side));
                for (double margin : {0.0, 0.02}) {
                    RenderOptions o;
                    o.longSide = side;
                    o.margin = margin;
                    o.antialias = false;
                    const QImage a = renderDrawing(loneGradient(name, w, h, false), o);
                    const QImage b = renderDrawing(loneGradient(name, w, h, true), o);
                    EXPECT_TRUE(a == b) << "margin " << margin;
                }
            }
}

TEST(RenderGradient, OneTooSmallToShowItsBlendIsFilledWithoutAWordOfLoss) {
    // A gradient three units wide in a window of a thousand: three pixels.
    RenderOptions o = onePixelPerUnit(1000);
    o.window = cad::render::Window{0, 0, 1000, 1000};
    std::string simplified;
    const QImage image = renderDrawing(loneGradient("LINEAR", 3, 3, false), o, &simplified);
    EXPECT_EQ(simplified, "");
    EXPECT_GT(inkIn(image, QRect(10, 986, 4, 4)), 0);
}

TEST(RenderGradient, SavedGradientsAreBlendedAndNotFlat) {
    // A linear gradient and an inverted cylinder, both blue and yellow.
    const Drawing d = readDrawingFile(std::string(LUMICADE_DRAWINGS_DIR) + "/2004/HatchG.dwg");
    std::vector<std::string> names;
    for (const Entity& e : d.findBlock("*Model_Space")->entities)
        if (const auto* h = e.as<HatchData>(); h && h->gradient) {
            names.push_back(h->gradientFill.name);
            EXPECT_EQ(h->gradientFill.colors.size(), 2u);
        }
    EXPECT_EQ(names, (std::vector<std::string>{"LINEAR", "INVCYLINDER"}));
    RenderOptions o;
    o.longSide = 400;
    o.antialias = false;
    const QImage image = renderDrawing(d, o).convertToFormat(QImage::Format_RGB32);
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
    EXPECT_GT(colours.size(), 100u);
}

}  // namespace
}  // namespace cad::render::testing
