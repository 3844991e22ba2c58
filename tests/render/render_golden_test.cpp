// The painter of our own on small scenes of each kind of item, through the
// scene walker, against golden pictures (GoldenPictures.h).
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "GoldenPictures.h"
#include "cad/render/Raster.h"
#include "cad/render/RasterScene.h"

namespace cad::render {
namespace {

// A millimetre of lineweight is a quarter pixel here: wide pens are 10 mm and more.
constexpr int kSide = 96;

void addStroke(Scene& scene, std::vector<Vec2> points, PaintColor color, double mm = 0.25,
               std::vector<double> dashes = {}, bool closed = false) {
    Vec2* kept = scene.strokePoints.claim(points.size());
    std::copy(points.begin(), points.end(), kept);
    Stroke s;
    s.points = scene.strokePoints.keep(points.size());
    s.color = color;
    s.lineweightMm = mm;
    s.dashes = std::move(dashes);
    s.closed = closed;
    scene.add(std::move(s));
}

const PaintColor kRed{0xFFE02020u, false}, kBlue{0xFF2040D0u, false}, kGreen{0xFF20A040u, false},
    kInk{0xFF000000u, true};

void strokes(Scene& s) {
    addStroke(s, {{4, 90}, {90, 60}}, kInk);                                         // thin line
    addStroke(s, {{10, 80}, {30, 50}, {50, 80}}, kRed, 20.0);                        // wide, round corner
    addStroke(s, {{5, 40}, {90, 40}}, kBlue, 0.25, {6, -3});                         // dashed
    addStroke(s, {{5, 30}, {90, 20}}, kGreen, 10.0, {10, -4, 0, -4});                // wide dash-dot
    addStroke(s, {{60, 50}, {85, 50}, {85, 75}, {60, 75}}, kInk, 0.25, {}, true);   // closed
    addStroke(s, {{20, 10}, {20.1, 10}}, kRed);                                      // a dot
    addStroke(s, {{40, 10}, {40.1, 10.1}}, kBlue, 20.0);                             // a wide dot
}

void fills(Scene& s) {
    Fill ring;  // a square with a hole, odd-even
    ring.outlines = {{{5, 5}, {60, 5}, {60, 60}, {5, 60}}, {{20, 20}, {45, 20}, {45, 45}, {20, 45}}};
    ring.color = kBlue;
    s.add(ring);
    Fill sliver;  // thinner than a pixel: still shows
    sliver.outlines = {{{70, 5}, {70.3, 5}, {70.3, 90}, {70, 90}}};
    sliver.color = kRed;
    s.add(sliver);
    Fill wipeout;
    wipeout.outlines = {{{30, 30}, {80, 30}, {80, 80}, {30, 80}}};
    wipeout.background = true;
    s.add(wipeout);
}

void markers(Scene& s) {
    const int modes[] = {0, 2, 3, 4, 32, 34, 66, 99};
    for (int i = 0; i < 8; ++i) {
        PointMarker m;
        m.position = {12.0 + (i % 4) * 24, 70.0 - (i / 4) * 45};
        m.mode = modes[i];
        m.size = 14;
        m.color = i % 2 ? kRed : kInk;
        m.lineweightMm = i >= 6 ? 10.0 : 0.25;
        s.add(m);
    }
    PointMarker byView;  // 10 % of the view's height
    byView.position = {48, 48};
    byView.mode = 3;
    byView.size = -10;
    byView.color = kBlue;
    s.add(byView);
}

void infinite(Scene& s) {
    InfiniteLine xline{{48, 48}, {1, 0.5}, true, kInk, 0.25, {}};
    InfiniteLine ray{{20, 80}, {0.3, -1}, false, kRed, 15.0, {}};
    InfiniteLine dashed{{10, 10}, {1, 1}, false, kBlue, 0.25, {8, -4}};
    s.add(xline);
    s.add(ray);
    s.add(dashed);
}

void viewports(Scene& s) {
    Path rect, slanted;
    rect.addRect(5, 5, 40, 40);
    slanted.addPolygon({{50, 50}, {90, 60}, {80, 92}, {55, 85}});
    slanted.closeSubpath();
    s.clips = {rect, slanted};
    for (int clip : {0, 1}) {
        Scene inner;
        addStroke(inner, {{0, 0}, {96, 96}}, kInk, 10.0);
        Fill f;
        f.outlines = {{{0, 30}, {96, 30}, {96, 70}, {0, 70}}};
        f.color = kGreen;
        inner.add(f);
        inner.add(InfiniteLine{{0, 20}, {1, 0}, true, kRed, 0.25, {}});
        s.append(std::move(inner), clip);
    }
}

// A ring whose two circles turn the same way: filled whole by winding.
Path circlePath(double cx, double cy, double r) {
    const double k = 0.5522847498 * r;
    Path p;
    p.moveTo(cx + r, cy);
    p.cubicTo({cx + r, cy + k}, {cx + k, cy + r}, {cx, cy + r});
    p.cubicTo({cx - k, cy + r}, {cx - r, cy + k}, {cx - r, cy});
    p.cubicTo({cx - r, cy - k}, {cx - k, cy - r}, {cx, cy - r});
    p.cubicTo({cx + k, cy - r}, {cx + r, cy - k}, {cx + r, cy});
    p.closeSubpath();
    return p;
}

void glyphs(Scene& s) {
    TextShape overlapping;
    overlapping.path = circlePath(35, 50, 25);
    overlapping.path.addPath(circlePath(55, 50, 25));
    overlapping.color = kBlue;
    s.add(overlapping);
    TextShape letter;  // an outline and its counter, turning opposite ways
    letter.path.addPolygon({{70, 80}, {90, 80}, {90, 92}, {70, 92}, {70, 80}});
    letter.path.addPolygon({{75, 84}, {75, 88}, {85, 88}, {85, 84}, {75, 84}});
    letter.color = kInk;
    s.add(letter);
    TextShape tiny;  // smaller than a pixel: a pixel of ink
    tiny.path = circlePath(10, 10, 0.2);
    tiny.color = kRed;
    s.add(tiny);
    TextShape stroked;  // a shape font's pen strokes
    stroked.strokes.moveTo(10, 90);
    stroked.strokes.lineTo(20, 75);
    stroked.strokes.lineTo(30, 90);
    stroked.color = kInk;
    s.add(stroked);
}

void pictures(Scene& s) {
    // Four by three pixels, one of them half see-through, turned and scaled up.
    auto pixels = std::make_shared<Pixels>();
    pixels->width = 4;
    pixels->height = 3;
    pixels->argb = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu, 0xFF000000u, 0x80400000u,
                    0xFFFFFF00u, 0xFF00FFFFu, 0xFF808080u, 0xFFFF00FFu, 0xFF004000u, 0xFF000040u};
    RasterPicture turned;
    turned.image = pixels;
    turned.width = 4;
    turned.height = 3;
    turned.placement = Affine::fromScale(10, -10) * Affine(0.94, 0.34, -0.34, 0.94, 10, 45);
    s.add(turned);
    // The same, clipped to a triangle, and outside of it.
    for (bool inverted : {false, true}) {
        RasterPicture clipped = turned;
        clipped.placement = Affine::fromScale(10, -10) * Affine::fromTranslate(50, inverted ? 40 : 90);
        clipped.clip.addPolygon({{50, inverted ? 10.0 : 60.0}, {90, inverted ? 10.0 : 60.0}, {70, inverted ? 40.0 : 90.0}});
        clipped.clip.closeSubpath();
        clipped.clipInverted = inverted;
        s.add(clipped);
    }
}

// Lines far below a pixel (dots), short lines and lines across, in runs of
// one pen and of many, as blocks of lines give them.
void lineRuns(Scene& s) {
    std::uint32_t seed = 7;
    auto next = [&seed](double span) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) / double(1 << 24) * span;
    };
    const PaintColor pens[] = {kInk, kRed, kBlue, kGreen};
    for (int i = 0; i < 400; ++i) {
        const Vec2 a{next(96), next(96)};
        const Vec2 b = i % 3 == 0 ? Vec2{a.x + next(0.2) - 0.1, a.y + next(0.2) - 0.1}
                                  : Vec2{a.x + next(12) - 6, a.y + next(12) - 6};
        addStroke(s, {a, b}, i < 200 ? kBlue : pens[i % 4]);
    }
    for (int i = 0; i < 8; ++i) addStroke(s, {{0, i * 12.0}, {96, 96 - i * 12.0}}, kRed);
}

struct Case {
    const char* name;
    std::function<void(Scene&)> build;
    std::uint32_t background = 0xFFFFFFFFu;
    bool antialias = true;
};

QImage painted(const Case& c) {
    Scene scene;
    c.build(scene);
    RenderOptions o = testing::unitSquare(kSide);
    o.background = c.background;
    o.antialias = c.antialias;
    const PixelView view = testing::unitSquareView(o);
    QImage image(view.width, view.height, QImage::Format_RGB32);
    Canvas canvas(reinterpret_cast<std::uint32_t*>(image.bits()), image.width(), image.height(), image.bytesPerLine());
    canvas.fill(c.background);
    paintScene(canvas, scene, view, o);
    return image;
}

TEST(GoldenPictures, EachKindOfItemPaintsAsItsPicture) {
    const Case cases[] = {
        {"strokes", strokes},
        {"strokes-aliased", strokes, 0xFFFFFFFFu, false},
        {"fills", fills},
        {"fills-on-black", fills, 0xFF000000u},
        {"markers", markers},
        {"infinite-lines", infinite},
        {"viewports", viewports},
        {"line-runs", lineRuns},
        {"line-runs-aliased", lineRuns, 0xFFFFFFFFu, false},
        {"glyphs", glyphs},
        {"pictures", pictures},
        {"pictures-on-black", pictures, 0xFF000000u},
    };
    for (const Case& c : cases) testing::expectGolden(painted(c), c.name);
}

}  // namespace
}  // namespace cad::render
