// The painter of our own primitive by primitive, on random cases held to
// golden pictures (GoldenPictures.h), and on hostile ones.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "GoldenPictures.h"
#include "cad/render/Raster.h"
#include "cad/render/RasterScene.h"

namespace cad::render {
namespace {

constexpr int kSide = 64;
constexpr QRgb kPaper = 0xFFFFFFFFu;

// Sixteen cases side by side, four by four tiles of kSide pixels, each
// painted on a canvas of its own over its tile.
struct Sheet {
    QImage image{kSide * 4, kSide * 4, QImage::Format_RGB32};
    Sheet() { image.fill(kPaper); }
    static constexpr int kTiles = 16;
    std::unique_ptr<Canvas> tile(int i) {
        auto* first = reinterpret_cast<std::uint32_t*>(image.scanLine(i / 4 * kSide)) + i % 4 * kSide;
        return std::make_unique<Canvas>(first, kSide, kSide, image.bytesPerLine());
    }
};

QRgb randomColor(std::mt19937& rng) {
    return 0xFF000000u | (rng() & 0xFFFFFFu);
}

// Short and long lines, some of them along an axis, and open and closed
// polylines, at any offset.
TEST(RasterPainter, ThinLinesAtEveryAngleAndOffset) {
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> coord(-8.0, kSide + 8.0), shortRun(-3.0, 3.0);
    Sheet lines, polylines;
    for (int round = 0; round < Sheet::kTiles; ++round) {
        const auto canvas = lines.tile(round);
        const QRgb color = randomColor(rng);
        for (int i = 0; i < 6; ++i) {
            const Vec2 a{coord(rng), coord(rng)};
            Vec2 b = i % 2 ? Vec2{a.x + shortRun(rng), a.y + shortRun(rng)} : Vec2{coord(rng), coord(rng)};
            if (i == 4) b.y = a.y;
            if (i == 5) b.x = a.x;
            canvas->thinLine(a, b, color);
        }
    }
    for (int round = 0; round < Sheet::kTiles; ++round) {
        const auto canvas = polylines.tile(round);
        std::vector<Vec2> pts;
        const int n = 2 + int(rng() % 8);
        for (int i = 0; i < n; ++i) pts.push_back({coord(rng), coord(rng)});
        if (round % 3 == 0) pts.push_back(pts.front());  // closed
        canvas->thinPolyline(pts, randomColor(rng));
    }
    testing::expectGolden(lines.image, "thin-lines");
    testing::expectGolden(polylines.image, "thin-polylines");
}

// Overlapping outlines by the odd-even rule, slivers under 1.5 pixels across
// with their one-pixel outline, and 1x1 rectangles at fractional positions
// (what a text too small to read becomes).
TEST(RasterPainter, FilledPolygonsWithHoles) {
    std::mt19937 rng(2);
    std::uniform_real_distribution<double> coord(-8.0, kSide + 8.0), thin(0.0, 1.4), inside(1.0, kSide - 3.0);
    Sheet fills, slivers;
    for (int round = 0; round < Sheet::kTiles; ++round) {
        const auto canvas = fills.tile(round);
        std::vector<std::vector<Vec2>> outlines(1 + rng() % 3);
        for (auto& o : outlines) {
            const int n = 3 + int(rng() % 6);
            for (int i = 0; i < n; ++i) o.push_back({coord(rng), coord(rng)});
        }
        canvas->fillPolygons(outlines, round % 4 ? Canvas::FillRule::OddEven : Canvas::FillRule::Winding,
                             randomColor(rng));
    }
    for (int round = 0; round < Sheet::kTiles; ++round) {
        const auto canvas = slivers.tile(round);
        const QRgb color = randomColor(rng);
        const Vec2 a{coord(rng), coord(rng)};
        const double w = thin(rng);
        std::vector<std::vector<Vec2>> outlines{{a, {a.x + w, a.y}, {a.x + w, a.y + 30}, {a.x, a.y + 30}}};
        canvas->fillPolygons(outlines, Canvas::FillRule::OddEven, color);
        outlines[0].push_back(outlines[0].front());
        canvas->thinPolyline(outlines[0], color);
        for (int i = 0; i < 8; ++i) canvas->fillRect(inside(rng), inside(rng), 1, 1, randomColor(rng));
    }
    testing::expectGolden(fills.image, "filled-polygons");
    testing::expectGolden(slivers.image, "slivers-and-pixels");
}

// Polylines open and closed, dashes outlined as one area, and dots, of pens
// from just over a pixel to forty.
TEST(RasterPainter, WidePens) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> coord(-8.0, kSide + 8.0), widths(1.05, 12.0);
    Sheet polylines, dashes;
    for (int round = 0; round < Sheet::kTiles; ++round) {
        const auto canvas = polylines.tile(round);
        const double width = round % 10 == 0 ? 40.0 : widths(rng);
        std::vector<Vec2> pts;
        const int n = 2 + int(rng() % 5);
        for (int i = 0; i < n; ++i) pts.push_back({coord(rng), coord(rng)});
        if (round % 4 == 0) pts.push_back(pts.front());
        const std::span<const Vec2> one(pts);
        canvas->widePolylines(std::span(&one, 1), width, randomColor(rng),
                              round % 8 == 0 ? Canvas::Ends::LoopWhenClosed : Canvas::Ends::Open);
    }
    for (int round = 0; round < Sheet::kTiles; ++round) {
        const auto canvas = dashes.tile(round);
        const QRgb color = randomColor(rng);
        const double width = widths(rng);
        std::vector<std::vector<Vec2>> pieces(2 + rng() % 4);
        for (auto& piece : pieces) piece = {{coord(rng), coord(rng)}, {coord(rng), coord(rng)}};
        std::vector<std::span<const Vec2>> spans(pieces.begin(), pieces.end());
        canvas->widePolylines(spans, width, color);
        const Vec2 c{coord(rng), coord(rng)};
        const std::vector<Vec2> dot{c, {c.x + 1 / 63., c.y}};
        const std::span<const Vec2> d(dot);
        canvas->widePolylines(std::span(&d, 1), width, color);
    }
    testing::expectGolden(polylines.image, "wide-polylines");
    testing::expectGolden(dashes.image, "wide-dashes-and-dots");
}

// Dots, thin circles and filled discs, as point markers are made of.
TEST(RasterPainter, DotsAndCircles) {
    std::mt19937 rng(4);
    std::uniform_real_distribution<double> coord(-4.0, kSide + 4.0), radius(0.5, 20.0);
    Sheet sheet;
    for (int round = 0; round < Sheet::kTiles; ++round) {
        const auto canvas = sheet.tile(round);
        const QRgb color = randomColor(rng);
        for (int i = 0; i < 20; ++i) canvas->dot({coord(rng), coord(rng)}, color);
        const Vec2 c{coord(rng), coord(rng)};
        const double r = radius(rng);
        canvas->thinEllipse(c, r, r, color);
        canvas->fillEllipse(c, r / 4 + 1, r / 4 + 1, color);
    }
    testing::expectGolden(sheet.image, "dots-and-circles");
}

// A polyline and an area within a rectangle (its sides rounded to whole
// pixels) and within an area.
TEST(RasterPainter, Clips) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> coord(-8.0, kSide + 8.0), inside(2.0, kSide - 2.0);
    Sheet rects, areas;
    for (int round = 0; round < Sheet::kTiles; ++round) {
        const QRgb color = randomColor(rng);
        std::vector<Vec2> pts;
        for (int i = 0; i < 6; ++i) pts.push_back({coord(rng), coord(rng)});
        const std::vector<std::vector<Vec2>> fill{{pts[0], pts[1], pts[2], pts[3]}};
        const auto rect = rects.tile(round);
        const double l = inside(rng), t = inside(rng), w = inside(rng) / 2, h = inside(rng) / 2;
        rect->clipToRect(l, t, w, h);
        const auto area = areas.tile(round);
        area->clipToArea(std::vector<std::vector<Vec2>>{
            {{inside(rng), inside(rng)}, {inside(rng), inside(rng)}, {inside(rng), inside(rng)}, {inside(rng), inside(rng)}}});
        for (const auto& canvas : {rect.get(), area.get()}) {
            canvas->thinPolyline(pts, color);
            canvas->fillPolygons(fill, Canvas::FillRule::OddEven, color ^ 0xFFFFFF);
        }
    }
    testing::expectGolden(rects.image, "rectangle-clips");
    testing::expectGolden(areas.image, "area-clips");
}

// Coordinates no drawing should have, and sizes far beyond the picture:
// nothing crashes, hangs or paints outside what can be seen (UBSan checks the
// conversions to integers in the sanitizer build).
TEST(RasterPainter, HostileCoordinatesAreCutToThePicture) {
    const double nan = std::nan(""), inf = HUGE_VAL;
    const std::vector<double> wild{nan, inf, -inf, 1e300, -1e300, 1e308, -1e308, 3e9, -3e9, 1e15, 5e-324, 0};
    Canvas canvas(kSide, kSide, kPaper);
    const std::uint32_t ink = 0xFF102030u;
    std::size_t n = 0;
    for (double a : wild)
        for (double b : wild) {
            const Vec2 p{a, 10.5}, q{b, -b}, r{20.25, b};
            canvas.thinLine(p, q, ink);
            canvas.thinLine(r, q, ink);
            canvas.dot(q, ink);
            const std::vector<Vec2> line{p, q, r, p};
            canvas.thinPolyline(line, ink);
            const std::span<const Vec2> one(line);
            canvas.widePolylines(std::span(&one, 1), 3 + (n % 5), ink);
            canvas.widePolylines(std::span(&one, 1), std::fabs(b), ink);
            canvas.fillPolygons(std::vector<std::vector<Vec2>>{line}, Canvas::FillRule::OddEven, ink);
            canvas.fillEllipse({a, b}, std::fabs(a), 2, ink);
            canvas.thinEllipse({b, 30}, std::fabs(b), std::fabs(a), ink);
            canvas.fillRect(a, b, 1, 1, ink);
            const std::uint32_t picture[4] = {ink, 0x80000000u, 0, ink};
            canvas.drawPicture(picture, 2, 2, Affine(a, 0, 0, b, a, b));
            canvas.drawPicture(picture, 2, 2, Affine(1, a, b, 1, 5, 5), std::vector<std::vector<Vec2>>{line});
            canvas.clipToRect(a, b, a, b);
            canvas.thinLine({0, 0}, {kSide, kSide}, ink);
            canvas.clipToArea(std::vector<std::vector<Vec2>>{line});
            canvas.thinLine({0, kSide}, {kSide, 0}, ink);
            canvas.clipToPicture();
            ++n;
        }
    // A huge polyline and a huge area, mostly far outside: the work is what
    // the picture shows, not what the coordinates span.
    std::vector<Vec2> zigzag;
    for (int i = 0; i < 200000; ++i) zigzag.push_back({i % 2 ? 1e12 : -1e12, i * 1e6 - 1e11});
    canvas.thinPolyline(zigzag, ink);
    canvas.fillPolygons(std::vector<std::vector<Vec2>>{zigzag}, Canvas::FillRule::Winding, ink);
    const std::span<const Vec2> all(zigzag);
    canvas.widePolylines(std::span(&all, 1), 9, ink);
    // Far outside, nothing is painted.
    Canvas blank(kSide, kSide, kPaper);
    const std::vector<Vec2> far{{-1e300, -5}, {1e300, -5}, {1e300, -1e300}};
    blank.thinPolyline(far, ink);
    const std::uint32_t picture[1] = {ink};
    blank.drawPicture(picture, 1, 1, Affine(1e300, 0, 0, 1, -5e300, -5));
    blank.fillPolygons(std::vector<std::vector<Vec2>>{far}, Canvas::FillRule::OddEven, ink);
    const std::span<const Vec2> f(far);
    blank.widePolylines(std::span(&f, 1), 4, ink);
    blank.dot({nan, 3}, ink);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) ASSERT_EQ(blank.pixel(x, y), kPaper) << x << "," << y;
}

// A canvas over the caller's pixels paints them in place, rows of the
// caller's stride, and leaves the bytes between rows alone.
TEST(RasterPainter, PaintsIntoTheCallersPixels) {
    QImage image(kSide, kSide, QImage::Format_RGB32);
    image.fill(kPaper);
    std::vector<std::uint32_t> padded(static_cast<std::size_t>(kSide + 3) * kSide, 0x12345678u);
    for (int y = 0; y < kSide; ++y) std::fill_n(padded.data() + y * (kSide + 3), kSide, kPaper);
    Canvas own(reinterpret_cast<std::uint32_t*>(image.bits()), kSide, kSide, image.bytesPerLine());
    Canvas strided(padded.data(), kSide, kSide, (kSide + 3) * 4);
    for (Canvas* c : {&own, &strided}) {
        c->thinLine({3, 4}, {60, 50}, 0xFF0000FFu);
        c->fillRect(10, 10, 20.5, 7.25, 0xFF00FF00u);
    }
    Canvas reference(kSide, kSide, kPaper);
    reference.thinLine({3, 4}, {60, 50}, 0xFF0000FFu);
    reference.fillRect(10, 10, 20.5, 7.25, 0xFF00FF00u);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            ASSERT_EQ(image.pixel(x, y), reference.pixel(x, y)) << x << "," << y;
            ASSERT_EQ(padded[y * (kSide + 3) + x], reference.pixel(x, y)) << x << "," << y;
        }
        for (int x = kSide; x < kSide + 3; ++x) ASSERT_EQ(padded[y * (kSide + 3) + x], 0x12345678u);
    }
}

// A dot with a circle or square around it (PDMODE 32, 64): the circle and
// square are outlines, not filled with the dot's colour.
TEST(RasterPainter, DotMarkersKeepTheirCircleAndSquareHollow) {
    for (int mode : {32, 64, 96}) {
        Scene scene;
        PointMarker m;
        m.position = {50, 50};
        m.mode = mode;
        m.size = 40;
        scene.add(m);
        const RenderOptions o = testing::unitSquare(100);
        const PixelView view = testing::unitSquareView(o);
        Canvas canvas(view.width, view.height, kPaper);
        paintScene(canvas, scene, view, o);
        // Between the dot and the outline: paper.
        EXPECT_EQ(canvas.pixel(60, 45), kPaper) << "mode " << mode;
        // The dot and the outline are there.
        EXPECT_NE(canvas.pixel(50, 50), kPaper) << "mode " << mode;
        EXPECT_LT(qGray(canvas.pixel(30, 50)), 200) << "mode " << mode;
    }
}


// The contrasting foreground and the greys of a grayscale picture, as Qt's
// colours work them out, for every shade of grey and many colours.
TEST(RasterPainter, ForegroundAndGreysAreQtsOwn) {
    std::mt19937 rng(8);
    std::vector<QRgb> colours;
    for (int g = 0; g < 256; ++g) colours.push_back(qRgb(g, g, g));
    for (int i = 0; i < 5000; ++i) colours.push_back(0xFF000000u | (static_cast<QRgb>(rng()) & 0xFFFFFFu));
    for (QRgb c : colours) {
        const QRgb expected = QColor::fromRgb(c).lightness() >= 128 ? 0xFF000000u : 0xFFFFFFFFu;
        ASSERT_EQ(foregroundFor(c), expected) << std::hex << c;
        const int grey = qGray(c);
        ASSERT_EQ(resolveColor(c, false, 0xFF000000u, ColorMode::Grayscale), qRgb(grey, grey, grey)) << std::hex << c;
    }
}

}  // namespace
}  // namespace cad::render
