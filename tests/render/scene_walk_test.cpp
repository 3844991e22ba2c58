// What the scene walker asks of a painter: the same calls reach ours and
// Qt's (PDF, SVG), so the decisions taken in the walk are checked here, on
// the calls themselves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GoldenPictures.h"
#include "cad/render/SceneWalk.h"

namespace cad::render {
namespace {

// Each call as one line: its name and what tells it apart.
struct Recorder final : PaintTarget {
    std::vector<std::string> calls;
    std::vector<std::vector<Vec2>> lines;  // what thinPolyline was given
    void clip(const Clip& c) override {
        calls.push_back(c.kind == Clip::Kind::Picture ? "clip picture" : c.kind == Clip::Kind::Rect ? "clip rect" : "clip area");
    }
    void thinPolyline(std::span<const Vec2> points, std::uint32_t) override {
        calls.push_back("line");
        lines.emplace_back(points.begin(), points.end());
    }
    void dot(Vec2, std::uint32_t) override { calls.push_back("dot"); }
    void widePolylines(std::span<const std::span<const Vec2>>, double, std::uint32_t, LineEnds) override {
        calls.push_back("wide");
    }
    void fillPolygons(std::span<const std::vector<Vec2>>, FillRule rule, std::uint32_t) override {
        calls.push_back(rule == FillRule::Winding ? "fill winding" : "fill odd-even");
    }
    void circle(Vec2, double, std::uint32_t, bool filled) override { calls.push_back(filled ? "disc" : "circle"); }
    void picture(const Pixels&, const Affine& toPixel, std::span<const std::vector<Vec2>> within) override {
        const Vec2 corner = toPixel.map(Vec2{0, 0});
        calls.push_back("picture at " + std::to_string(int(corner.x)) + "," + std::to_string(int(corner.y)) +
                        (within.empty() ? "" : " within"));
    }
};

void addLine(Scene& s, Vec2 a, Vec2 b) {
    Vec2* p = s.strokePoints.claim(2);
    p[0] = a;
    p[1] = b;
    Stroke stroke;
    stroke.points = s.strokePoints.keep(2);
    s.add(std::move(stroke));
}

TEST(SceneWalk, EachItemBecomesThePlainCallsItsLookNeeds) {
    Scene scene;
    addLine(scene, {10, 10}, {50, 10});
    addLine(scene, {20, 20}, {20.1, 20});  // below half a pixel: a dot, after the run's lines
    addLine(scene, {10, 30}, {50, 30});
    scene.add(InfiniteLine{{50, 50}, {1, 0}, true, {}, 0.25, {}});
    Fill area;
    area.outlines = {{{0, 0}, {10, 0}, {10, 10}}};
    scene.add(area);
    TextShape glyph;
    glyph.path.addRect(60, 60, 10, 10);
    scene.add(glyph);
    scene.add(PointMarker{{80, 80}, 0, 5, {}, 0.25});
    auto pixels = std::make_shared<Pixels>(Pixels{1, 1, {0xFF000000u}});
    scene.add(RasterPicture{pixels, 1, 1, Affine::fromTranslate(10, 90), {}, false});
    Path rect, slanted;
    rect.addRect(0, 0, 40, 40);
    slanted.addPolygon({{50, 50}, {90, 60}, {80, 90}});
    slanted.closeSubpath();
    scene.clips = {rect, slanted};
    for (int clip : {0, 1}) {
        Scene inner;
        addLine(inner, {0, 0}, {96, 96});
        scene.append(std::move(inner), clip);
    }

    const RenderOptions o = testing::unitSquare(100);
    const PixelView view = testing::unitSquareView(o);
    Recorder r;
    walkScene(r, scene, view, o);
    const std::vector<std::string> expected{
        "clip picture", "line",      "line", "dot",  "line",  // the run, its dot last; the construction line
        "fill odd-even", "fill winding", "disc", "picture at 10,10",
        "clip rect",    "line",      "clip area", "line", "clip picture"};
    EXPECT_EQ(r.calls, expected);
    // The construction line's ends lie eight pixels beyond the picture's sides.
    ASSERT_GE(r.lines.size(), 3u);
    const std::vector<Vec2>& across = r.lines[2];
    ASSERT_EQ(across.size(), 2u);
    EXPECT_DOUBLE_EQ(std::min(across[0].x, across[1].x), -8);
    EXPECT_DOUBLE_EQ(std::max(across[0].x, across[1].x), view.width + 8.0);
}

}  // namespace
}  // namespace cad::render
