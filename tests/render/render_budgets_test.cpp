// Drawings made to cost as much as possible: each is drawn with the default
// budgets, its picture is made, and what it took is read from the work
// counters and a counting allocator, never from a clock.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "cad/dxf/DxfReader.h"
#include "cad/render/Frontend.h"
#include "tests/render/CountingAllocator.h"
#include "tests/render/RenderTestSupport.h"

namespace cad::render {
namespace {

using namespace testing;
using lumicade::testing::heldBytes;
using lumicade::testing::peakBytes;
using lumicade::testing::resetPeak;

constexpr std::size_t kMB = 1024 * 1024;

struct Drawn {
    Scene::Work work;
    std::size_t primitives = 0;
    std::string simplified;
    QImage picture;
    std::size_t peak = 0;  // bytes needed beyond the drawing while drawing it, the picture's pixels aside
};

Drawn draw(const Drawing& d, const RenderOptions& options = {}) {
    Drawn out;
    {
        const Scene scene = buildScene(d, options);
        out.work = scene.work;
        out.primitives = scene.order.size();
    }
    const std::size_t before = heldBytes();
    resetPeak();
    out.picture = renderDrawing(d, options, &out.simplified);
    out.peak = peakBytes() - before;
    return out;
}

// Bytes the drawing itself holds, for memory bounds that scale with it.
template <class Make>
Drawing measured(Make make, std::size_t* bytes) {
    const std::size_t before = heldBytes();
    Drawing d = make();
    *bytes = heldBytes() - before;
    return d;
}

HatchData squareHatch(double size) {
    HatchData h;
    h.solid = false;
    h.pattern = "DENSE";
    HatchLoop loop;
    loop.isPolyline = true;
    for (Vec2 p : {Vec2{0, 0}, Vec2{size, 0}, Vec2{size, size}, Vec2{0, size}}) loop.polyline.push_back({p});
    h.loops.push_back(loop);
    return h;
}

TEST(RenderBudgets, HatchPatternsTooCostlyToDrawFillTheirArea) {
    // A dash spacing of a millionth over a boundary of a thousand units.
    Drawing fine = emptyDrawing();
    HatchData dashes = squareHatch(1000);
    dashes.lines.push_back({0.3, {0, 0}, {0, 0.05}, {1e-6, -1e-6}});
    add(fine, entity("HATCH", dashes));
    // A boundary of 10,000 zig-zag edges (a file of about 400 KB) crossed by ten thousand lines.
    Drawing zigzag = emptyDrawing();
    HatchData teeth = squareHatch(1000);
    teeth.loops[0].polyline.clear();
    for (int i = 0; i <= 10000; ++i) teeth.loops[0].polyline.push_back({{i * 0.1, (i % 2) * 1.0}});
    teeth.loops[0].polyline.push_back({{1000, 1000}});
    teeth.loops[0].polyline.push_back({{0, 1000}});
    teeth.lines.push_back({0, {0, 0}, {0, 0.1}, {}});
    add(zigzag, entity("HATCH", teeth));

    for (const Drawing* d : {&fine, &zigzag}) {
        const Drawn drawn = draw(*d);
        EXPECT_NE(drawn.simplified.find("hatch"), std::string::npos) << drawn.simplified;
        EXPECT_EQ(drawn.primitives, 1u);  // the filled area
        EXPECT_LT(drawn.peak, 64 * kMB);
        ASSERT_FALSE(drawn.picture.isNull());
        // Filled, not left blank.
        const QRect middle(drawn.picture.width() / 2 - 5, drawn.picture.height() / 2 - 5, 10, 10);
        EXPECT_GT(inkIn(drawn.picture, middle), 50);
    }
}

TEST(RenderBudgets, TextBeyondTheGlyphBudgetIsNotLaidOut) {
    const std::string tenMegabytes = [] {
        std::string s;
        while (s.size() < 10 * kMB) s += "Lorem ipsum dolor sit amet \\Pconsectetur ";
        return s;
    }();
    std::size_t textBytes = 0, mtextBytes = 0;
    const Drawing text = measured([&] {
        Drawing d = emptyDrawing();
        TextData t;
        t.height = 2.5;
        t.value = tenMegabytes;
        add(d, entity("TEXT", t));
        return d;
    }, &textBytes);
    const Drawing mtext = measured([&] {
        Drawing d = emptyDrawing();
        MTextData m;
        m.height = 2.5;
        m.rectWidth = 400;
        m.text = tenMegabytes;
        add(d, entity("MTEXT", m));
        return d;
    }, &mtextBytes);

    for (const Drawing* d : {&text, &mtext}) {
        const Drawn drawn = draw(*d);
        EXPECT_NE(drawn.simplified.find("characters"), std::string::npos) << drawn.simplified;
        EXPECT_EQ(drawn.work.glyphs, WorkBudgets{}.glyphs);
        EXPECT_LE(drawn.work.vertices, WorkBudgets{}.vertices);
        EXPECT_LT(drawn.peak, 4 * std::max(textBytes, mtextBytes) + 256 * kMB);
        ASSERT_FALSE(drawn.picture.isNull());
        // The single line is far thinner than a pixel; the paragraphs show.
        if (d == &mtext) {
            EXPECT_GT(inkIn(drawn.picture, drawn.picture.rect()), 0);
        }
    }
}

TEST(RenderBudgets, BulgesAreFlattenedNoFinerThanThePicture) {
    // 200,000 half circles along a line: each is far below a pixel.
    std::size_t bytes = 0;
    const Drawing d = measured([] {
        Drawing d = emptyDrawing();
        LwPolylineData p;
        for (int i = 0; i < 200000; ++i) p.vertices.push_back({{i * 1.0, 0}, 0, 0, i % 2 ? 1.0 : -1.0});
        add(d, entity("LWPOLYLINE", p));
        return d;
    }, &bytes);
    const Drawn drawn = draw(d);
    EXPECT_TRUE(drawn.simplified.empty()) << drawn.simplified;
    EXPECT_LE(drawn.work.vertices, 2u * 200000u);
    EXPECT_LT(drawn.peak, 4 * bytes + 32 * kMB);
    EXPECT_GT(inkIn(drawn.picture, drawn.picture.rect()), 0);

    // One bulge that fills the picture keeps its full roundness.
    Drawing round = emptyDrawing();
    LwPolylineData ring;
    ring.closed = true;
    ring.vertices = {{{0, 0}, 0, 0, 1}, {{100, 0}, 0, 0, 1}};
    add(round, entity("LWPOLYLINE", ring));
    EXPECT_GE(draw(round).work.vertices, 140u);
}

TEST(RenderBudgets, NestedReferencesAreCulledOrStoppedAtTheInstanceBudget) {
    // A hundred levels, each placing the next block ten times.
    auto chain = [](bool lastDraws) {
        Drawing d = emptyDrawing();
        for (int level = 0; level < 100; ++level) {
            Block b;
            b.name = "LEVEL" + std::to_string(level);
            if (level + 1 < 100) {
                InsertData ref;
                ref.blockName = "LEVEL" + std::to_string(level + 1);
                for (int k = 0; k < 10; ++k) {
                    ref.insertion = {k * 1.0, 0, 0};
                    b.entities.push_back(entity("INSERT", ref));
                }
            } else if (lastDraws) {
                b.entities.push_back(line({0, 0, 0}, {1, 1, 0}));
            }
            d.blocks.push_back(b);
        }
        d.index();
        InsertData top;
        top.blockName = "LEVEL0";
        add(d, entity("INSERT", top));
        addFrame(d, 100);
        return d;
    };
    const Drawn empty = draw(chain(false));
    EXPECT_TRUE(empty.simplified.empty()) << empty.simplified;
    EXPECT_EQ(empty.work.instances, 0u);
    EXPECT_EQ(empty.primitives, 4u);

    const Drawn full = draw(chain(true));
    EXPECT_NE(full.simplified.find("block references"), std::string::npos) << full.simplified;
    EXPECT_EQ(full.work.instances, WorkBudgets{}.instances);
    EXPECT_LT(full.peak, 512 * kMB);

    // An array of a million by a million cells is drawn as far as the budget goes.
    Drawing array = emptyDrawing();
    Block cell;
    cell.name = "CELL";
    cell.entities.push_back(line({0, 0, 0}, {1, 0, 0}));
    array.blocks.push_back(cell);
    array.index();
    InsertData m;
    m.blockName = "CELL";
    m.columns = m.rows = 1000000;
    m.columnSpacing = m.rowSpacing = 2;
    add(array, entity("INSERT", m));
    const Drawn cells = draw(array);
    EXPECT_NE(cells.simplified.find("block references"), std::string::npos) << cells.simplified;
    EXPECT_EQ(cells.work.instances, WorkBudgets{}.instances);
    EXPECT_GT(inkIn(cells.picture, cells.picture.rect()), 0);
}

TEST(RenderBudgets, HostileNumbersAreDrawnSafely) {
    Drawing d = emptyDrawing();
    addFrame(d, 10);
    PolylineData mesh;
    mesh.kind = PolylineData::Kind::PolyfaceMesh;
    for (Vec3 p : {Vec3{0, 0, 0}, Vec3{5, 0, 0}, Vec3{5, 5, 0}}) {
        PolylineVertex v;
        v.point = p;
        v.flags = 64 | 128;
        mesh.vertices.push_back(v);
    }
    PolylineVertex face;
    face.flags = 128;
    face.faceIndices[0] = 1;
    face.faceIndices[1] = INT_MIN;
    face.faceIndices[2] = INT_MAX;
    face.faceIndices[3] = 2;
    mesh.vertices.push_back(face);
    add(d, entity("POLYLINE", mesh));
    MTextData m;
    m.height = 1;
    m.insertion = {1, 9, 0};
    m.text = "{\\C1e10;A}{\\c-1;B}{\\c1e300;C}{\\C-2147483649;D}\\H1e308;E";
    add(d, entity("MTEXT", m));
    LwPolylineData p;
    p.vertices = {{{0, 0}, 0, 0, 1e300}, {{1, 1}, 0, 0, -1e300}, {{2, 0}, 0, 0, 0}};
    add(d, entity("LWPOLYLINE", p));
    const Drawn drawn = draw(d);
    EXPECT_TRUE(drawn.simplified.empty()) << drawn.simplified;
    EXPECT_GT(inkIn(drawn.picture, drawn.picture.rect()), 0);
}

TEST(RenderBudgets, AMillionEmptyLinesStayWithinAMultipleOfTheFile) {
    std::string dxf = "0\nSECTION\n2\nENTITIES\n";
    for (int i = 0; i < 1000000; ++i) dxf += "0\nLINE\n";
    dxf += "0\nENDSEC\n0\nEOF\n";
    std::size_t bytes = 0;
    const Drawing d = measured([&] { return dxf::readDxf(dxf); }, &bytes);
    const Drawn drawn = draw(d);
    EXPECT_LT(drawn.peak, 32 * dxf.size() + 64 * kMB);
    EXPECT_FALSE(drawn.picture.isNull());
}

}  // namespace
}  // namespace cad::render
