// The painter of our own against QPainter's raster engine, primitive by
// primitive on random cases (whole scenes are held to golden pictures in
// render_golden_test.cpp).
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <algorithm>

#include "cad/render/Raster.h"
#include "cad/render/RasterScene.h"

namespace cad::render {
namespace {

constexpr int kSide = 64;
constexpr QRgb kPaper = 0xFFFFFFFFu;

struct Difference {
    int worst = 0;        // largest difference of one channel of one pixel
    double rmse = 0;      // over all channels of all pixels
};

Difference compare(const QImage& qt, const Canvas& ours) {
    Difference d;
    double sum = 0;
    for (int y = 0; y < qt.height(); ++y) {
        const QRgb* a = reinterpret_cast<const QRgb*>(qt.constScanLine(y));
        for (int x = 0; x < qt.width(); ++x) {
            const QRgb p = a[x], q = ours.pixel(x, y);
            for (int shift : {0, 8, 16}) {
                const int e = std::abs(int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF));
                d.worst = std::max(d.worst, e);
                sum += double(e) * e;
            }
        }
    }
    d.rmse = std::sqrt(sum / (3.0 * qt.width() * qt.height()));
    return d;
}

// A fresh pair of pictures: Qt's with an antialiasing painter, ours.
struct Pair {
    QImage image{kSide, kSide, QImage::Format_RGB32};
    Canvas canvas{kSide, kSide, kPaper};
    QPainter painter;
    Pair() {
        image.fill(kPaper);
        painter.begin(&image);
        painter.setRenderHint(QPainter::Antialiasing, true);
    }
    Difference finish() {
        painter.end();
        return compare(image, canvas);
    }
    void thinPen(QRgb color) {
        QPen pen{QColor::fromRgb(color)};
        pen.setWidthF(1.0);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
    }
};

// Worst results over many random cases, and the case that gave the worst.
struct Tally {
    int worst = 0;
    double worstRmse = 0;
    std::string worstCase, worstRmseCase;
    std::string name;
    explicit Tally(std::string n) : name(std::move(n)) {}
    ~Tally() { std::printf("%-28s worst %3d  worst RMSE %.4f\n", name.c_str(), worst, worstRmse); }
    void add(const Difference& d, const std::string& what) {
        if (d.worst > worst || (d.worst == worst && d.rmse > worstRmse)) worstCase = what;
        if (d.rmse > worstRmse) worstRmseCase = what;
        worst = std::max(worst, d.worst);
        worstRmse = std::max(worstRmse, d.rmse);
    }
};

std::string describe(const std::vector<Vec2>& pts) {
    std::ostringstream s;
    s.precision(17);
    for (const Vec2& p : pts) s << "(" << p.x << "," << p.y << ") ";
    return s.str();
}

QRgb randomColor(std::mt19937& rng) {
    return 0xFF000000u | (rng() & 0xFFFFFFu);
}

TEST(RasterPainter, ThinLinesAtEveryAngleAndOffsetMatchQt) {
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> coord(-8.0, kSide + 8.0), shortRun(-3.0, 3.0);
    Tally lines("thin lines"), polylines("thin polylines");
    for (int round = 0; round < 400; ++round) {
        Pair pair;
        const QRgb color = randomColor(rng);
        pair.thinPen(color);
        std::vector<QLineF> qtLines;
        std::vector<Vec2> ends;
        for (int i = 0; i < 6; ++i) {
            const Vec2 a{coord(rng), coord(rng)};
            // Short and long ones, some of them axis-aligned.
            Vec2 b = i % 2 ? Vec2{a.x + shortRun(rng), a.y + shortRun(rng)} : Vec2{coord(rng), coord(rng)};
            if (i == 4) b.y = a.y;
            if (i == 5) b.x = a.x;
            qtLines.emplace_back(QPointF(a.x, a.y), QPointF(b.x, b.y));
            ends.push_back(a);
            ends.push_back(b);
            pair.canvas.thinLine(a, b, color);
        }
        pair.painter.drawLines(qtLines.data(), int(qtLines.size()));
        lines.add(pair.finish(), describe(ends));
    }
    for (int round = 0; round < 400; ++round) {
        Pair pair;
        const QRgb color = randomColor(rng);
        pair.thinPen(color);
        std::vector<Vec2> pts;
        const int n = 2 + int(rng() % 8);
        for (int i = 0; i < n; ++i) pts.push_back({coord(rng), coord(rng)});
        if (round % 3 == 0) pts.push_back(pts.front());  // closed
        QPolygonF poly;
        for (const Vec2& p : pts) poly << QPointF(p.x, p.y);
        pair.painter.drawPolyline(poly);
        pair.canvas.thinPolyline(pts, color);
        polylines.add(pair.finish(), describe(pts));
    }
    EXPECT_EQ(lines.worst, 0) << lines.worstCase;
    EXPECT_EQ(polylines.worst, 0) << polylines.worstCase;
}


QPainterPath pathOf(const std::vector<std::vector<Vec2>>& outlines, Qt::FillRule rule) {
    QPainterPath path;
    path.setFillRule(rule);
    for (const auto& o : outlines) {
        QPolygonF poly;
        for (const Vec2& p : o) poly << QPointF(p.x, p.y);
        path.addPolygon(poly);
        path.closeSubpath();
    }
    return path;
}

TEST(RasterPainter, FilledPolygonsWithHolesMatchQt) {
    std::mt19937 rng(2);
    std::uniform_real_distribution<double> coord(-8.0, kSide + 8.0);
    Tally fills("filled polygons"), hairlines("thin fills with outline");
    for (int round = 0; round < 300; ++round) {
        Pair pair;
        const QRgb color = randomColor(rng);
        std::vector<std::vector<Vec2>> outlines(1 + rng() % 3);
        for (auto& o : outlines) {
            const int n = 3 + int(rng() % 6);
            for (int i = 0; i < n; ++i) o.push_back({coord(rng), coord(rng)});
        }
        pair.painter.setPen(Qt::NoPen);
        pair.painter.setBrush(QColor::fromRgb(color));
        pair.painter.drawPath(pathOf(outlines, Qt::OddEvenFill));
        pair.canvas.fillPolygons(outlines, Canvas::FillRule::OddEven, color);
        std::string what;
        for (const auto& o : outlines) what += describe(o) + "| ";
        fills.add(pair.finish(), what);
    }
    // Slivers under 1.5 pixels across get a one-pixel outline as well.
    std::uniform_real_distribution<double> thin(0.0, 1.4);
    for (int round = 0; round < 200; ++round) {
        Pair pair;
        const QRgb color = randomColor(rng);
        const Vec2 a{coord(rng), coord(rng)};
        const double w = thin(rng);
        std::vector<std::vector<Vec2>> outlines{{a, {a.x + w, a.y}, {a.x + w, a.y + 30}, {a.x, a.y + 30}}};
        const QPainterPath path = pathOf(outlines, Qt::OddEvenFill);
        pair.painter.setPen(Qt::NoPen);
        pair.painter.setBrush(QColor::fromRgb(color));
        pair.painter.drawPath(path);
        pair.painter.setPen(QPen(QColor::fromRgb(color), 1.0));
        pair.painter.setBrush(Qt::NoBrush);
        pair.painter.drawPath(path);
        pair.canvas.fillPolygons(outlines, Canvas::FillRule::OddEven, color);
        for (auto o : outlines) {
            o.push_back(o.front());
            pair.canvas.thinPolyline(o, color);
        }
        hairlines.add(pair.finish(), describe(outlines[0]));
    }
    // 1x1 rectangles at fractional positions (what a text too small to read
    // becomes): Qt covers these with a rasterizer of its own, rounded a
    // little differently.
    Tally rects("fractional rectangles");
    std::uniform_real_distribution<double> inside(1.0, kSide - 3.0);
    for (int round = 0; round < 300; ++round) {
        Pair pair;
        const QRgb color = randomColor(rng);
        const double x = inside(rng), y = inside(rng);
        pair.painter.fillRect(QRectF(x, y, 1, 1), QColor::fromRgb(color));
        pair.canvas.fillRect(x, y, 1, 1, color);
        rects.add(pair.finish(), std::to_string(x) + "," + std::to_string(y));
    }
    EXPECT_LE(rects.worst, 8) << rects.worstCase;
    EXPECT_EQ(fills.worst, 0) << fills.worstCase;
    EXPECT_EQ(hairlines.worst, 0) << hairlines.worstCase;
}

TEST(RasterPainter, WidePensMatchQt) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> coord(-8.0, kSide + 8.0), widths(1.05, 12.0);
    Tally polylines("wide polylines"), dashes("wide dashes"), dots("wide dots");
    for (int round = 0; round < 300; ++round) {
        Pair pair;
        const QRgb color = randomColor(rng);
        const double width = round % 10 == 0 ? 40.0 : widths(rng);
        QPen pen{QColor::fromRgb(color)};
        pen.setWidthF(width);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        pair.painter.setPen(pen);
        std::vector<Vec2> pts;
        const int n = 2 + int(rng() % 5);
        for (int i = 0; i < n; ++i) pts.push_back({coord(rng), coord(rng)});
        if (round % 4 == 0) pts.push_back(pts.front());
        QPolygonF poly;
        for (const Vec2& p : pts) poly << QPointF(p.x, p.y);
        pair.painter.drawPolyline(poly);
        const std::span<const Vec2> one(pts);
        pair.canvas.widePolylines(std::span(&one, 1), width, color, Canvas::Ends::Open);
        polylines.add(pair.finish(), describe(pts) + " width " + std::to_string(width));
    }
    for (int round = 0; round < 150; ++round) {
        Pair pair;
        const QRgb color = randomColor(rng);
        const double width = widths(rng);
        QPen pen{QColor::fromRgb(color)};
        pen.setWidthF(width);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        pair.painter.setPen(pen);
        std::vector<std::vector<Vec2>> pieces(2 + rng() % 4);
        QPainterPath path;
        for (auto& piece : pieces) {
            piece = {{coord(rng), coord(rng)}, {coord(rng), coord(rng)}};
            path.moveTo(piece[0].x, piece[0].y);
            path.lineTo(piece[1].x, piece[1].y);
        }
        pair.painter.drawPath(path);
        std::vector<std::span<const Vec2>> spans(pieces.begin(), pieces.end());
        pair.canvas.widePolylines(spans, width, color);
        dashes.add(pair.finish(), describe(pieces[0]));
        Pair dot;
        dot.painter.setPen(pen);
        const Vec2 c{coord(rng), coord(rng)};
        dot.painter.drawPoint(QPointF(c.x, c.y));
        const std::vector<Vec2> tiny{c, {c.x + 1 / 63., c.y}};
        const std::span<const Vec2> t(tiny);
        dot.canvas.widePolylines(std::span(&t, 1), width, color);
        dots.add(dot.finish(), describe(tiny));
    }
    // What is left differs where the curves of round corners and ends are
    // flattened at other points: a few levels on a pixel here and there.
    EXPECT_LE(polylines.worst, 8) << polylines.worstCase;
    EXPECT_LE(dashes.worst, 8) << dashes.worstCase;
    EXPECT_LE(dots.worst, 8) << dots.worstCase;
    EXPECT_LE(polylines.worstRmse, 0.5) << polylines.worstRmseCase;
    EXPECT_LE(dashes.worstRmse, 0.5) << dashes.worstRmseCase;
    EXPECT_LE(dots.worstRmse, 0.5) << dots.worstRmseCase;
}

TEST(RasterPainter, DotsAndPointMarkersMatchQt) {
    std::mt19937 rng(4);
    std::uniform_real_distribution<double> coord(-4.0, kSide + 4.0), radius(0.5, 20.0);
    Tally dots("dots"), circles("thin circles"), discs("filled discs");
    for (int round = 0; round < 200; ++round) {
        Pair pair;
        const QRgb color = randomColor(rng);
        pair.thinPen(color);
        std::vector<QPointF> qt;
        std::vector<Vec2> ours;
        for (int i = 0; i < 20; ++i) {
            const Vec2 p{coord(rng), coord(rng)};
            qt.emplace_back(p.x, p.y);
            ours.push_back(p);
            pair.canvas.dot(p, color);
        }
        pair.painter.drawPoints(qt.data(), int(qt.size()));
        dots.add(pair.finish(), describe(ours));

        Pair circle;
        circle.thinPen(color);
        const Vec2 c{coord(rng), coord(rng)};
        const double r = radius(rng);
        circle.painter.drawEllipse(QPointF(c.x, c.y), r, r);
        circle.canvas.thinEllipse(c, r, r, color);
        circles.add(circle.finish(), describe({c}) + " r " + std::to_string(r));

        Pair disc;
        disc.painter.setPen(Qt::NoPen);
        disc.painter.setBrush(QColor::fromRgb(color));
        disc.painter.drawEllipse(QPointF(c.x, c.y), r / 4 + 1, r / 4 + 1);
        disc.canvas.fillEllipse(c, r / 4 + 1, r / 4 + 1, color);
        discs.add(disc.finish(), describe({c}) + " r " + std::to_string(r / 4 + 1));
    }
    EXPECT_EQ(dots.worst, 0) << dots.worstCase;
    EXPECT_LE(circles.worst, 1) << circles.worstCase;
    EXPECT_LE(discs.worst, 1) << discs.worstCase;
}

TEST(RasterPainter, ClipsMatchQt) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> coord(-8.0, kSide + 8.0), inside(2.0, kSide - 2.0);
    Tally rects("rectangle clips"), areas("area clips");
    for (int round = 0; round < 200; ++round) {
        const QRgb color = randomColor(rng);
        std::vector<Vec2> pts;
        for (int i = 0; i < 6; ++i) pts.push_back({coord(rng), coord(rng)});
        QPolygonF poly;
        for (const Vec2& p : pts) poly << QPointF(p.x, p.y);
        const std::vector<std::vector<Vec2>> fill{{pts[0], pts[1], pts[2], pts[3]}};
        {
            Pair pair;
            const double l = inside(rng), t = inside(rng), w = inside(rng) / 2, h = inside(rng) / 2;
            pair.painter.setClipRect(QRectF(l, t, w, h));
            pair.canvas.clipToRect(l, t, w, h);
            pair.thinPen(color);
            pair.painter.drawPolyline(poly);
            pair.canvas.thinPolyline(pts, color);
            pair.painter.setPen(Qt::NoPen);
            pair.painter.setBrush(QColor::fromRgb(color ^ 0xFFFFFF));
            pair.painter.drawPath(pathOf(fill, Qt::OddEvenFill));
            pair.canvas.fillPolygons(fill, Canvas::FillRule::OddEven, color ^ 0xFFFFFF);
            rects.add(pair.finish(), describe(pts) + " clip " + std::to_string(l) + "," + std::to_string(t) + " " +
                                         std::to_string(w) + "x" + std::to_string(h));
        }
        {
            Pair pair;
            const std::vector<std::vector<Vec2>> area{{{inside(rng), inside(rng)}, {inside(rng), inside(rng)},
                                                       {inside(rng), inside(rng)}, {inside(rng), inside(rng)}}};
            pair.painter.setClipPath(pathOf(area, Qt::OddEvenFill));
            pair.canvas.clipToArea(area);
            pair.thinPen(color);
            pair.painter.drawPolyline(poly);
            pair.canvas.thinPolyline(pts, color);
            pair.painter.setPen(Qt::NoPen);
            pair.painter.setBrush(QColor::fromRgb(color ^ 0xFFFFFF));
            pair.painter.drawPath(pathOf(fill, Qt::OddEvenFill));
            pair.canvas.fillPolygons(fill, Canvas::FillRule::OddEven, color ^ 0xFFFFFF);
            areas.add(pair.finish(), describe(pts) + " clip " + describe(area[0]));
        }
    }
    EXPECT_EQ(rects.worst, 0) << rects.worstCase;
    EXPECT_EQ(areas.worst, 0) << areas.worstCase;
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
        RenderOptions o;
        o.longSide = 100;
        o.margin = 0;
        Box box;
        box.add(Vec2{0, 0});
        box.add(Vec2{100, 100});
        const PixelView view = fitView(box, o);
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
