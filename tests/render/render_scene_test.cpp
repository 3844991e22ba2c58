// The scene as the builder leaves it for the painter: where stroke points
// are kept, the storage a scene takes over from the one before, what is
// worked out once and shared (looks, laid-out text, extents), and the ways
// the painter takes for thin pens, which must paint what one call per item
// would.
#include <gtest/gtest.h>

#include <QPainter>
#include <QPainterPath>
#include <random>
#include <vector>

#include "RenderTestSupport.h"
#include "cad/render/Backend.h"
#include "cad/render/Frontend.h"
#include "cad/render/Palette.h"

namespace cad::render::testing {
namespace {

// What a scene's strokes hold, in order, to compare scenes by.
struct StrokeSeen {
    std::vector<Vec2> points;
    QRgb rgb = 0;
    bool operator==(const StrokeSeen&) const = default;
};

std::vector<StrokeSeen> strokesOf(const Scene& s) {
    std::vector<StrokeSeen> out;
    for (const Item& item : s.order)
        if (item.kind == Item::Kind::Stroke) {
            const Stroke& st = s.strokes[item.index];
            out.push_back({{st.points.begin(), st.points.end()}, st.color.rgb});
        }
    return out;
}

Drawing manyLines(int count, double length) {
    Drawing d = emptyDrawing();
    for (int i = 0; i < count; ++i)
        add(d, line({i * 1.0, 0, 0}, {i * 1.0 + length, length, 0}, Color::fromIndex(1 + i % 7)));
    return d;
}

TEST(RenderScene, StrokePointsStayWhereTheyAreWhileTheStoreGrowsMovesAndTakesInAnother) {
    PointStore store;
    std::vector<std::span<const Vec2>> kept;
    std::vector<std::vector<Vec2>> want;
    auto put = [&](PointStore& into, int id, std::size_t n) {
        Vec2* room = into.claim(n + 3);  // more room than is kept, as for points that are not finite
        std::vector<Vec2> points;
        for (std::size_t k = 0; k < n; ++k) points.push_back(room[k] = {static_cast<double>(id), static_cast<double>(k)});
        kept.push_back(into.keep(n));
        want.push_back(points);
    };
    for (int i = 0; i < 20000; ++i) put(store, i, 2 + i % 9);
    put(store, -1, 300000);  // more than any block holds
    for (int i = 0; i < 100; ++i) put(store, 100000 + i, 3);
    PointStore moved = std::move(store);
    PointStore other;
    for (int i = 0; i < 3000; ++i) put(other, 200000 + i, 5);
    moved.adopt(std::move(other));
    for (int i = 0; i < 3000; ++i) put(moved, 300000 + i, 4);  // after the adopted points, never over them
    ASSERT_EQ(kept.size(), want.size());
    for (std::size_t i = 0; i < kept.size(); ++i)
        ASSERT_TRUE(std::equal(kept[i].begin(), kept[i].end(), want[i].begin(), want[i].end())) << "stroke " << i;

    // Emptied, the store fills its blocks again rather than making new ones.
    const std::size_t capacity = moved.capacity();
    moved.clear();
    for (int i = 0; i < 20000; ++i) moved.keep(0), moved.claim(8), moved.keep(8);
    EXPECT_EQ(moved.capacity(), capacity);
}

TEST(RenderScene, ASceneBuiltInTheStorageOfTheOneBeforeHoldsOnlyItsOwn) {
    const Drawing many = manyLines(5000, 3);
    const std::vector<StrokeSeen> first = strokesOf(buildScene(many, {}));
    ASSERT_EQ(first.size(), 5000u);

    Drawing few = emptyDrawing();
    add(few, line({0, 0, 0}, {10, 0, 0}, Color::fromIndex(1)));
    add(few, line({0, 5, 0}, {10, 5, 0}, Color::fromIndex(3)));
    {
        const Scene s = buildScene(few, {});
        EXPECT_EQ(s.order.size(), 2u);
        EXPECT_EQ(strokesOf(s), (std::vector<StrokeSeen>{{{{0, 0}, {10, 0}}, paintFromIndex(1).rgb},
                                                         {{{0, 5}, {10, 5}}, paintFromIndex(3).rgb}}));
        const Box e = s.extents();
        EXPECT_EQ(e.minX, 0);
        EXPECT_EQ(e.maxX, 10);
        EXPECT_EQ(e.maxY, 5);
    }
    EXPECT_EQ(strokesOf(buildScene(many, {})), first);
    // Two scenes alive at once do not share their storage.
    const Scene a = buildScene(many, {});
    const Scene b = buildScene(few, {});
    EXPECT_EQ(strokesOf(a), first);
    EXPECT_EQ(strokesOf(b).size(), 2u);
}

TEST(RenderScene, ExtentsKeptAsItemsComeAreThoseOfEveryItemAndOfTheirClips) {
    Drawing d = manyLines(50, 20);
    CircleData c;
    c.center = {-30, 40, 0};
    c.radius = 12;
    add(d, entity("CIRCLE", c, Color::fromIndex(2)));
    PointData p;
    p.position = {200, -50, 0};
    add(d, entity("POINT", p, Color::fromIndex(2)));
    auto everyItem = [](const Scene& s) {
        Box all;
        for (const Item& item : s.order) {
            Box b = s.boxOf(item);
            if (item.clip >= 0) {
                const QRectF area = s.clips[static_cast<std::size_t>(item.clip)].boundingRect();
                b = Box{std::max(b.minX, area.left()), std::max(b.minY, area.top()), std::min(b.maxX, area.right()),
                        std::min(b.maxY, area.bottom())};
            }
            all.add(b);
        }
        return all;
    };
    auto same = [](const Box& a, const Box& b) {
        return a.minX == b.minX && a.minY == b.minY && a.maxX == b.maxX && a.maxY == b.maxY;
    };
    const Scene whole = buildScene(d, {});
    EXPECT_TRUE(same(whole.extents(), everyItem(whole)));
    EXPECT_NEAR(whole.extents().minX, -42, 1e-9);
    EXPECT_EQ(whole.extents().minY, -50);

    // Taken into another scene without a clip, within one, then without again.
    Scene outer;
    outer.append(buildScene(d, {}), -1);
    EXPECT_TRUE(same(outer.extents(), whole.extents()));
    QPainterPath area;
    area.addRect(QRectF(0, 0, 30, 30));
    outer.clips.push_back(area);
    Scene inside;
    inside.clips.push_back(area);
    inside.append(buildScene(d, {}), 0);
    EXPECT_TRUE(same(inside.extents(), everyItem(inside)));
    EXPECT_LE(inside.extents().maxX, 30);
    outer.append(buildScene(d, {}), 0);
    outer.append(buildScene(manyLines(3, 1), {}), -1);
    EXPECT_TRUE(same(outer.extents(), everyItem(outer)));
}

TEST(RenderScene, EntitiesOfARunTakeEachTheirOwnProperties) {
    Drawing d = emptyDrawing();
    Layer red;
    red.name = "RED";
    red.color = Color::fromIndex(1);
    d.layers.push_back(red);
    Linetype dashed;
    dashed.name = "DASHED";
    dashed.dashes = {2, -1};
    d.linetypes.push_back(dashed);
    Block b;
    b.name = "B";
    b.entities.push_back(line({0, 0, 0}, {1, 0, 0}, Color::byBlock()));
    b.entities.push_back(line({0, 1, 0}, {1, 1, 0}, Color::byBlock()));
    b.entities.push_back(line({0, 2, 0}, {1, 2, 0}, Color::fromIndex(3)));
    b.entities.push_back(line({0, 3, 0}, {1, 3, 0}, Color::byLayer(), "RED"));
    b.entities.push_back(line({0, 4, 0}, {1, 4, 0}, Color::byLayer(), "RED"));
    b.entities.back().common.linetype = "DASHED";
    b.entities.push_back(line({0, 5, 0}, {1, 5, 0}, Color::byLayer(), "RED"));
    d.blocks.push_back(b);
    d.index();
    for (int color : {5, 6}) {
        InsertData ref;
        ref.blockName = "B";
        ref.insertion = {color * 10.0, 0, 0};
        add(d, entity("INSERT", ref, Color::fromIndex(color)));
    }
    const Scene s = buildScene(d, {});
    ASSERT_EQ(s.strokes.size(), 12u);
    const QRgb blue = paintFromIndex(5).rgb, magenta = paintFromIndex(6).rgb, green = paintFromIndex(3).rgb,
               redRgb = paintFromIndex(1).rgb;
    std::vector<QRgb> colours;
    std::vector<bool> dashes;
    for (const Stroke& st : s.strokes) {
        colours.push_back(st.color.rgb);
        dashes.push_back(!st.dashes.empty());
    }
    EXPECT_EQ(colours, (std::vector<QRgb>{blue, blue, green, redRgb, redRgb, redRgb, magenta, magenta, green, redRgb,
                                          redRgb, redRgb}));
    EXPECT_EQ(dashes, (std::vector<bool>{false, false, false, false, true, false, false, false, false, false, true,
                                         false}));
}

TEST(RenderScene, ARepeatedTextIsDrawnWhereAndAsEachCopySays) {
    Drawing d = emptyDrawing();
    auto text = [&](Vec3 at, double height, int color) {
        MTextData m;
        m.insertion = at;
        m.height = height;
        m.text = "12'-6\" {\\C1;red}";
        add(d, entity("MTEXT", m, Color::fromIndex(color)));
    };
    text({10, 10, 0}, 5, 3);
    text({110, 10, 0}, 5, 5);
    text({10, 100, 0}, 10, 3);
    const Scene s = buildScene(d, {});
    ASSERT_EQ(s.texts.size(), 6u);  // each text in its own colour and in the red of its code
    const QRectF first = s.texts[0].path.boundingRect(), moved = s.texts[2].path.boundingRect(),
                 bigger = s.texts[4].path.boundingRect();
    EXPECT_NEAR(moved.left() - first.left(), 100, 1e-9);
    EXPECT_NEAR(moved.width(), first.width(), 1e-9);
    EXPECT_NEAR(bigger.height(), 2 * first.height(), 1e-9);
    EXPECT_EQ(s.texts[0].color.rgb, paintFromIndex(3).rgb);
    EXPECT_EQ(s.texts[2].color.rgb, paintFromIndex(5).rgb);
    EXPECT_EQ(s.texts[1].color.rgb, paintFromIndex(1).rgb);
    EXPECT_EQ(s.texts[3].color.rgb, paintFromIndex(1).rgb);
}

// The painter hands runs of thin lines to the raster engine in one call,
// clips to the whole picture and sets dots into its pixels itself: each
// rests on how the engine draws a pen no wider than a pixel, checked here.
TEST(RenderScene, TheRasterEngineDrawsThinLinesAndDotsOneByOneWhateverTheCall) {
    std::mt19937 random(14);
    std::uniform_real_distribution<double> at(-2, 66), step(-4, 4);
    std::vector<QLineF> lines;
    for (int i = 0; i < 400; ++i) {
        const QPointF a(at(random), at(random));
        lines.emplace_back(a, a + QPointF(step(random), step(random)));
    }
    QPen pen(QColor(200, 30, 90));
    pen.setWidthF(1.0);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    auto paint = [&](auto&& how) {
        QImage image(64, 64, QImage::Format_RGB32);
        image.fill(qRgb(255, 255, 255));
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(pen);
        how(painter);
        painter.end();
        return image;
    };
    const QImage each = paint([&](QPainter& p) {
        for (const QLineF& l : lines) {
            const QPointF ends[] = {l.p1(), l.p2()};
            p.drawPolyline(ends, 2);
        }
    });
    EXPECT_EQ(paint([&](QPainter& p) { p.drawLines(lines.data(), static_cast<int>(lines.size())); }), each);
    EXPECT_EQ(paint([&](QPainter& p) {
                  p.setClipRect(QRect(0, 0, 64, 64));
                  for (const QLineF& l : lines) {
                      const QPointF ends[] = {l.p1(), l.p2()};
                      p.drawPolyline(ends, 2);
                  }
              }),
              each);
    for (const QPointF dot : {QPointF(10.4, 20.6), QPointF(0.2, 63.4), QPointF(-0.6, 5), QPointF(30.5, 30.5)}) {
        const QImage image = paint([&](QPainter& p) { p.drawPoint(dot); });
        QImage want(64, 64, QImage::Format_RGB32);
        want.fill(qRgb(255, 255, 255));
        const int x = qRound(dot.x()), y = qRound(dot.y());
        if (x >= 0 && y >= 0 && x < 64 && y < 64) want.setPixel(x, y, pen.color().rgb());
        EXPECT_EQ(image, want) << dot.x() << ", " << dot.y();
    }
}

}  // namespace
}  // namespace cad::render::testing
