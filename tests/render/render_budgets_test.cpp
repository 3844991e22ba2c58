// Drawings made to cost as much as possible: each is drawn with the default
// budgets, its picture is made, and what it took is read from the work
// counters and a counting allocator, never from a clock.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "cad/dxf/DxfReader.h"
#include "cad/render/Frontend.h"
#include "CountingAllocator.h"
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

// A block of a thousand short lines in the unit square.
Block denseBlock(const std::string& name) {
    Block b;
    b.name = name;
    for (int i = 0; i < 1000; ++i) b.entities.push_back(line({i / 1000.0, 0, 0}, {i / 1000.0, 1, 0}));
    return b;
}

TEST(RenderBudgets, ReferencesTheViewCannotShowAreNotExpanded) {
    // A hundred references a hundred units apart; the window shows one of them.
    Drawing d = emptyDrawing();
    d.blocks.push_back(denseBlock("PART"));
    d.index();
    for (int i = 0; i < 100; ++i) {
        InsertData ref;
        ref.blockName = "PART";
        ref.insertion = {i * 100.0, 0, 0};
        ref.scale = {10, 10, 1};
        add(d, entity("INSERT", ref));
    }
    RenderOptions window;
    window.window = cad::render::Window{4990, -5, 30, 20};
    const Drawn seen = draw(d, window);
    EXPECT_TRUE(seen.simplified.empty()) << seen.simplified;
    // The first reference is expanded to learn what the block draws, the one in the window to draw it.
    EXPECT_EQ(seen.work.culled, 98u);
    EXPECT_EQ(seen.primitives, 2000u);
    EXPECT_GT(inkIn(seen.picture, seen.picture.rect()), 1000);

    // Without a window every one of them shows.
    const Drawn whole = draw(d);
    EXPECT_EQ(whole.work.culled, 0u);
    EXPECT_EQ(whole.primitives, 100000u);

    // Nested: each reference of the outer block holds a hundred of the part,
    // and the outer block is placed a hundred times; the window sees one part.
    Drawing nested = emptyDrawing();
    nested.blocks.push_back(denseBlock("PART"));
    Block row;
    row.name = "ROW";
    for (int i = 0; i < 100; ++i) {
        InsertData ref;
        ref.blockName = "PART";
        ref.insertion = {i * 2.0, 0, 0};
        row.entities.push_back(entity("INSERT", ref));
    }
    nested.blocks.push_back(row);
    nested.index();
    for (int i = 0; i < 100; ++i) {
        InsertData ref;
        ref.blockName = "ROW";
        ref.insertion = {0, i * 2.0, 0};
        add(nested, entity("INSERT", ref));
    }
    RenderOptions corner;
    corner.window = cad::render::Window{100, 100, 1, 1};
    const Drawn part = draw(nested, corner);
    EXPECT_TRUE(part.simplified.empty()) << part.simplified;
    EXPECT_LE(part.primitives, 3000u);
    EXPECT_GE(part.work.culled, 99u + 99u);
    EXPECT_LT(part.work.instances, 400u);
}

TEST(RenderBudgets, ReferencesBelowAPixelAreNotExpanded) {
    // References a thousandth of the frame in size: each far below a pixel.
    auto dots = [](int count) {
        Drawing d = emptyDrawing();
        addFrame(d, 1000);
        d.blocks.push_back(denseBlock("DOT"));
        d.index();
        for (int i = 0; i < count; ++i) {
            InsertData ref;
            ref.blockName = "DOT";
            ref.insertion = {10 + (i % 100) * 9.0, 10 + (i / 100) * 9.0, 0};
            ref.scale = {0.01, 0.01, 1};
            add(d, entity("INSERT", ref));
        }
        return d;
    };
    const Drawn drawn = draw(dots(10000));
    EXPECT_TRUE(drawn.simplified.empty()) << drawn.simplified;
    // The first is expanded to learn what the block draws.
    EXPECT_EQ(drawn.work.culled, 9999u);
    EXPECT_EQ(drawn.primitives, 4u + 1000u);

    // In a picture where each shows as several pixels, every one is drawn.
    RenderOptions large;
    large.longSide = 200000;
    const Scene scene = buildScene(dots(100), large);
    EXPECT_EQ(scene.work.culled, 0u);
    EXPECT_EQ(scene.order.size(), 4u + 100u * 1000u);

    // One far from everything else is kept: leaving it out would change what the picture is fitted to.
    Drawing apart = dots(2);
    InsertData far;
    far.blockName = "DOT";
    far.insertion = {5000, 5000, 0};
    far.scale = {0.01, 0.01, 1};
    add(apart, entity("INSERT", far));
    EXPECT_EQ(buildScene(apart, {}).work.culled, 1u);
    EXPECT_GT(buildScene(apart, {}).extents().maxX, 5000);
}

TEST(RenderBudgets, OnlyWhatTheViewShowsOfAHatchIsGenerated) {
    // Lines a tenth apart over a million units: ten million lines, filled
    // as too dense when all of it shows; a window of ten units sees a hundred.
    Drawing d = emptyDrawing();
    HatchData h = squareHatch(1e6);
    h.lines.push_back({0, {0, 0}, {0, 0.1}, {0.05, -0.05}});
    add(d, entity("HATCH", h));
    const Drawn whole = draw(d);
    EXPECT_NE(whole.simplified.find("hatch"), std::string::npos) << whole.simplified;
    EXPECT_EQ(whole.work.hatchLines, 0u);

    RenderOptions window;
    window.window = cad::render::Window{5e5, 5e5, 10, 10};
    const Drawn seen = draw(d, window);
    EXPECT_TRUE(seen.simplified.empty()) << seen.simplified;
    EXPECT_GE(seen.work.hatchLines, 100u);
    EXPECT_LE(seen.work.hatchLines, 120u);
    // A dash and a gap of a twentieth each along ten units of each line, and a little margin.
    EXPECT_LE(seen.primitives, 120u * 120u);
    // Lines twenty pixels apart, dashed half and half.
    const int ink = inkIn(seen.picture, seen.picture.rect());
    EXPECT_GT(ink, seen.picture.width() * seen.picture.height() / 50);
}

TEST(RenderBudgets, TextTheViewCannotShowIsNotShaped) {
    Drawing d = emptyDrawing();
    addFrame(d, 10);
    const std::string words(2000, 'W');
    for (int i = 0; i < 20; ++i) {
        TextData t;
        t.height = 1;
        t.insertion = {0, 1e6 + i * 2.0, 0};
        t.value = words;
        add(d, entity("TEXT", t));
        MTextData m;
        m.height = 1;
        m.rectWidth = 100;
        m.insertion = {0, -1e6 - i * 2.0, 0};
        m.text = words + "\\P" + words;
        add(d, entity("MTEXT", m));
    }
    // Text on the page is shaped as ever, and counts against the glyph budget.
    TextData near;
    near.height = 2;
    near.insertion = {1, 1, 0};
    near.value = "SHOWN";
    add(d, entity("TEXT", near));
    // Text of no height of its own takes the drawing's: this one reaches into the view from the left.
    d.header.textSize = 20;
    TextData wide;
    wide.insertion = {-30, 5, 0};
    wide.value = "WWW";
    add(d, entity("TEXT", wide));
    RenderOptions window;
    window.window = cad::render::Window{0, 0, 10, 10};
    const Drawn drawn = draw(d, window);
    EXPECT_TRUE(drawn.simplified.empty()) << drawn.simplified;
    EXPECT_EQ(drawn.work.culled, 40u);
    EXPECT_EQ(drawn.work.glyphs, 5u + 3u);
    EXPECT_GT(inkIn(drawn.picture, drawn.picture.rect()), 100);
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
