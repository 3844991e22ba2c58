// Our outlines and maps behave as Qt's do for everything a scene does with
// them, so that a scene painted through Qt looks as it did when it held Qt's.
#include <gtest/gtest.h>

#include <QPainterPath>
#include <QTransform>
#include <cmath>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

#include "cad/render/Path.h"

namespace {

using cad::render::Affine;
using cad::render::Path;

using Elements = std::vector<std::tuple<double, double, int>>;

Elements elementsOf(const Path& path) {
    Elements out;
    for (int i = 0; i < path.elementCount(); ++i)
        out.emplace_back(path.elementAt(i).x, path.elementAt(i).y, static_cast<int>(path.elementAt(i).type));
    return out;
}

Elements elementsOf(const QPainterPath& path, bool withoutEmptyMoves) {
    Elements out;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element& e = path.elementAt(i);
        if (withoutEmptyMoves && e.isMoveTo() && i + 1 < path.elementCount() && path.elementAt(i + 1).isMoveTo()) continue;
        out.emplace_back(e.x, e.y, static_cast<int>(e.type));
    }
    return out;
}

void expectSame(const Path& ours, const QPainterPath& qt, const std::string& what) {
    ASSERT_EQ(ours.elementCount(), qt.elementCount()) << what;
    for (int i = 0; i < qt.elementCount(); ++i) {
        EXPECT_EQ(ours.elementAt(i).x, qt.elementAt(i).x) << what << " element " << i;
        EXPECT_EQ(ours.elementAt(i).y, qt.elementAt(i).y) << what << " element " << i;
        EXPECT_EQ(static_cast<int>(ours.elementAt(i).type), static_cast<int>(qt.elementAt(i).type)) << what << " element " << i;
    }
    EXPECT_EQ(ours.isEmpty(), qt.isEmpty()) << what;
    const QRectF a = ours.boundingRect(), b = qt.boundingRect();
    EXPECT_NEAR(a.left(), b.left(), 1e-9) << what;
    EXPECT_NEAR(a.top(), b.top(), 1e-9) << what;
    EXPECT_NEAR(a.right(), b.right(), 1e-9) << what;
    EXPECT_NEAR(a.bottom(), b.bottom(), 1e-9) << what;
}

// Both kinds of path through the same calls, in random order: moves after
// moves, lines back to where they are, closing, rectangles, polygons, curves,
// other paths (closed or not) added, and points too far out to keep.
TEST(RenderPath, KeepsItsElementsAsQtDoesThroughAnySequenceOfCalls) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> op(0, 9), small(-3, 3);
    const double inf = std::numeric_limits<double>::infinity();
    for (int round = 0; round < 300; ++round) {
        Path ours, other;
        QPainterPath qt, qtOther;
        other.moveTo(1, 1);
        other.lineTo(4, 1);
        qtOther.moveTo(1, 1);
        qtOther.lineTo(4, 1);
        if (round % 2) {
            other.closeSubpath();
            qtOther.closeSubpath();
        }
        std::string what;
        for (int step = 0; step < 12; ++step) {
            const QPointF p(small(random), small(random)), c1(small(random) * 0.5, 2), c2(3, small(random) * 0.7);
            switch (op(random)) {
            case 0: ours.moveTo(p); qt.moveTo(p); what += "M"; break;
            case 1: case 2: ours.lineTo(p); qt.lineTo(p); what += "L"; break;
            case 3: ours.closeSubpath(); qt.closeSubpath(); what += "Z"; break;
            case 4: ours.addRect(p.x(), p.y(), 2, 1); qt.addRect(p.x(), p.y(), 2, 1); what += "R"; break;
            case 5: ours.cubicTo(c1, c2, p); qt.cubicTo(c1, c2, p); what += "C"; break;
            case 6: ours.addPath(other); qt.addPath(qtOther); what += "P"; break;
            case 7:
                ours.addPolygon({p, QPointF(p.x() + 1, p.y()), QPointF(p.x(), p.y() + 2)});
                qt.addPolygon(QPolygonF({p, QPointF(p.x() + 1, p.y()), QPointF(p.x(), p.y() + 2)}));
                what += "G";
                break;
            case 8: ours.lineTo(QPointF(inf, 1)); qt.lineTo(QPointF(inf, 1)); ours.moveTo(1e200, 0); qt.moveTo(1e200, 0); what += "X"; break;
            default: ours.lineTo(p + QPointF(1e-14, 0)); qt.lineTo(p + QPointF(1e-14, 0)); what += "l"; break;
            }
            expectSame(ours, qt, what);
            if (HasFailure()) return;
        }
        // And back to Qt, as the painter gets it: the same but for a move
        // followed by another, which draws nothing.
        const QTransform map(2, 0.5, -0.25, 3, 10, -4);
        EXPECT_EQ(elementsOf(Path(ours.toQPainterPath(Affine(2, 0.5, -0.25, 3, 10, -4)))), elementsOf(map.map(qt), true))
            << what << " mapped";
        if (HasFailure()) return;
    }
}

TEST(RenderPath, AffineMapsAreQtsToTheLastBit) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> any(-5, 5);
    for (int round = 0; round < 200; ++round) {
        Affine ours;
        QTransform qt;
        for (int step = 0; step < 4; ++step) {
            const double a = any(random), b = any(random);
            switch ((round + step) % 3) {
            case 0: ours.translate(a, b); qt.translate(a, b); break;
            case 1: ours.rotateRadians(a); qt.rotateRadians(a); break;
            default: ours.scale(a, b); qt.scale(a, b); break;
            }
        }
        const Affine then(any(random), any(random), any(random), any(random), any(random), any(random));
        const QTransform qtThen = then.toQTransform();
        const Affine product = ours * then;
        const QTransform qtProduct = qt * qtThen;
        for (const auto& [o, q] : {std::pair{ours, qt}, std::pair{product, qtProduct}}) {
            EXPECT_EQ(o.m11(), q.m11());
            EXPECT_EQ(o.m12(), q.m12());
            EXPECT_EQ(o.m21(), q.m21());
            EXPECT_EQ(o.m22(), q.m22());
            EXPECT_EQ(o.dx(), q.dx());
            EXPECT_EQ(o.dy(), q.dy());
            const QPointF p(any(random), any(random));
            EXPECT_EQ(o.map(p), q.map(p));
        }
        if (HasFailure()) return;
    }
}

}  // namespace
