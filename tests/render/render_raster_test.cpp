// The painter of our own against QPainter's raster engine, primitive by
// primitive on random cases, and on whole scenes of the shared drawings.
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

#include "cad/render/Raster.h"

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
    std::string worstCase;
    std::string name;
    explicit Tally(std::string n) : name(std::move(n)) {}
    ~Tally() { std::printf("%-28s worst %3d  worst RMSE %.4f\n", name.c_str(), worst, worstRmse); }
    void add(const Difference& d, const std::string& what) {
        if (d.worst > worst || (d.worst == worst && d.rmse > worstRmse)) worstCase = what;
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
    EXPECT_LE(lines.worst, 1) << lines.worstCase;
    EXPECT_LE(polylines.worst, 1) << polylines.worstCase;
    EXPECT_LE(lines.worstRmse, 0.1) << lines.worstCase;
    EXPECT_LE(polylines.worstRmse, 0.1) << polylines.worstCase;
}

}  // namespace
}  // namespace cad::render
