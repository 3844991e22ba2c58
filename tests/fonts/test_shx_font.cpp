// Shape fonts written by the tests: every code of the pen program, the
// three kinds of file, and files that lie about their contents.
#include <gtest/gtest.h>

#include <cmath>

#include "ShxWriter.h"
#include "cad/fonts/HersheyFont.h"
#include "cad/fonts/FontFinder.h"
#include "cad/fonts/ShxFont.h"

using cad::Vec2;
using cad::fonts::ShxFont;
using cad::fonts::StrokeGlyph;
using fonts_test::Program;

namespace {

constexpr std::uint8_t neg(int v) { return static_cast<std::uint8_t>(v & 0xFF); }

// A text font whose capital letters are 1 unit high, so glyph units are the program's.
ShxFont textFont(std::map<unsigned, Program> shapes, int modes = 0) {
    shapes[0] = {1, 0, static_cast<std::uint8_t>(modes), 0};
    const auto bytes = fonts_test::shapesFile(shapes);
    std::string error;
    auto font = ShxFont::parse(bytes, &error);
    EXPECT_TRUE(font) << error;
    return font ? *font : ShxFont{};
}

StrokeGlyph run(const Program& program, int modes = 0, bool vertical = false) {
    const ShxFont font = textFont({{'A', program}, {1, {0x14}}}, modes);
    const auto g = font.glyph('A', vertical);
    EXPECT_TRUE(g);
    return g ? *g : StrokeGlyph{};
}

void expectNear(Vec2 got, Vec2 want, const char* what) {
    EXPECT_NEAR(got.x, want.x, 1e-9) << what;
    EXPECT_NEAR(got.y, want.y, 1e-9) << what;
}

double lowest(const StrokeGlyph& g) {
    double y = 1e9;
    for (const auto& s : g.strokes)
        for (Vec2 p : s) y = std::min(y, p.y);
    return y;
}
double highest(const StrokeGlyph& g) {
    double y = -1e9;
    for (const auto& s : g.strokes)
        for (Vec2 p : s) y = std::max(y, p.y);
    return y;
}

}  // namespace

TEST(ShxProgram, VectorsPenAndScale) {
    // Length in the high nibble, one of sixteen directions in the low one.
    StrokeGlyph g = run({0x10, 0x24, 0x1A, 0x23, 0x1F});
    ASSERT_EQ(g.strokes.size(), 1u);
    const std::vector<Vec2> want{{0, 0}, {1, 0}, {1, 2}, {0, 1}, {1, 3}, {2, 2.5}};
    ASSERT_EQ(g.strokes[0].size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) expectNear(g.strokes[0][i], want[i], "vector");

    // Pen up moves without drawing; pen down starts a new stroke.
    g = run({2, 0x30, 1, 0x14});
    ASSERT_EQ(g.strokes.size(), 1u);
    expectNear(g.strokes[0].front(), {3, 0}, "pen down start");
    expectNear(g.strokes[0].back(), {3, 1}, "pen down end");
    EXPECT_DOUBLE_EQ(g.advance, 3);
    EXPECT_DOUBLE_EQ(g.advanceY, 1);

    // Multiply, then divide, the lengths of what follows.
    g = run({4, 2, 0x10, 3, 4, 0x10});
    EXPECT_DOUBLE_EQ(g.advance, 2.5);
}

TEST(ShxProgram, StackSubshapeAndDisplacements) {
    // Push and pop: two strokes from the same point.
    StrokeGlyph g = run({5, 0x14, 6, 0x10});
    ASSERT_EQ(g.strokes.size(), 2u);
    expectNear(g.strokes[1].front(), {0, 0}, "popped");
    expectNear(g.strokes[1].back(), {1, 0}, "after pop");
    // A pop of an empty stack is ignored.
    g = run({6, 0x10});
    EXPECT_DOUBLE_EQ(g.advance, 1);

    // Subshape 1 draws one unit up, then the shape goes on from there.
    g = run({7, 1, 0x10});
    ASSERT_EQ(g.strokes.size(), 1u);
    expectNear(g.strokes[0].back(), {1, 1}, "after subshape");

    // One displacement, then several up to (0,0).
    g = run({8, 3, neg(-2), 9, 1, 1, 2, 0, 0, 0, 0x10});
    ASSERT_EQ(g.strokes.size(), 1u);
    const std::vector<Vec2> want{{0, 0}, {3, -2}, {4, -1}, {6, -1}, {7, -1}};
    ASSERT_EQ(g.strokes[0].size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) expectNear(g.strokes[0][i], want[i], "displacement");
}

TEST(ShxProgram, Arcs) {
    // Octant arc, counter-clockwise from octant 0 through four octants: a
    // half circle of radius 2 over the top.
    StrokeGlyph g = run({10, 2, 0x04});
    expectNear(g.strokes[0].back(), {-4, 0}, "octant arc end");
    EXPECT_NEAR(highest(g), 2, 1e-9);
    // The same clockwise goes under.
    g = run({10, 2, 0x84});
    expectNear(g.strokes[0].back(), {-4, 0}, "clockwise octant arc end");
    EXPECT_NEAR(lowest(g), -2, 1e-9);
    // Count 0 is the whole circle.
    g = run({10, 1, 0x20});
    expectNear(g.strokes[0].back(), {0, 0}, "full circle");

    // Fractional arc: radius 2 (high and low byte), octants 0 and 1, ending
    // half way into octant 1 (at 67.5 degrees).
    g = run({11, 0, 128, 0, 2, 0x02});
    const double a = 67.5 * M_PI / 180;
    expectNear(g.strokes[0].back(), {-2 + 2 * std::cos(a), 2 * std::sin(a)}, "fractional arc end");
    // With no end offset it ends on the octant boundary.
    g = run({11, 0, 0, 0, 2, 0x02});
    expectNear(g.strokes[0].back(), {-2, 2}, "fractional arc on a boundary");

    // Bulge 127: a half circle; counter-clockwise from left to right goes under.
    g = run({12, 4, 0, 127});
    expectNear(g.strokes[0].back(), {4, 0}, "bulge end");
    EXPECT_NEAR(lowest(g), -2, 1e-9);
    EXPECT_NEAR(highest(g), 0, 1e-9);
    // Several bulges up to (0,0): under, then over.
    g = run({13, 4, 0, 127, 4, 0, neg(-127), 0, 0, 0x10});
    expectNear(g.strokes[0].back(), {9, 0}, "polyarc end");
    EXPECT_NEAR(lowest(g), -2, 1e-9);
    EXPECT_NEAR(highest(g), 2, 1e-9);
    // Bulge 0 is a straight line.
    g = run({12, 3, 1, 0});
    EXPECT_EQ(g.strokes[0].size(), 2u);
}

TEST(ShxProgram, VerticalOnlyCommands) {
    // Code 14 keeps the next command, with its operands, for vertical text.
    const Program p{14, 8, 0, 5, 0x10};
    StrokeGlyph g = run(p, 2, false);
    EXPECT_DOUBLE_EQ(g.advance, 1);
    EXPECT_DOUBLE_EQ(g.advanceY, 0);
    g = run(p, 2, true);
    EXPECT_DOUBLE_EQ(g.advanceY, 5);
    // A horizontal-only font never writes vertically.
    g = run(p, 0, true);
    EXPECT_DOUBLE_EQ(g.advanceY, 0);
}

TEST(ShxFile, TextFontMetricsAndScaling) {
    auto bytes = fonts_test::shapesFile({{0, {8, 2, 2, 0}}, {'I', {0x84, 2, 0x80}}});
    const auto font = ShxFont::parse(bytes);
    ASSERT_TRUE(font);
    EXPECT_TRUE(font->isFont());
    EXPECT_EQ(font->above(), 8);
    EXPECT_EQ(font->below(), 2);
    EXPECT_EQ(font->modes(), 2);
    const auto g = font->glyph('I');
    ASSERT_TRUE(g);
    expectNear(g->strokes[0].back(), {0, 1}, "cap height is 1");
    EXPECT_DOUBLE_EQ(g->advance, 1);
    EXPECT_FALSE(font->glyph('J'));

    // Without shape 0 it is a file of shapes, in their own units.
    bytes = fonts_test::shapesFile({{130, {0x34}}});
    const auto shapes = ShxFont::parse(bytes);
    ASSERT_TRUE(shapes);
    EXPECT_FALSE(shapes->isFont());
    expectNear(shapes->glyph(130)->strokes[0].back(), {0, 3}, "shape units");
}

TEST(ShxFile, UnicodeAndBigFonts) {
    // A unicode font: two-byte shape numbers, subshapes by two bytes.
    auto bytes = fonts_test::unicodeFile({4, 1, 0, 1, 0}, {{0x4E00, {0x40}}, {0x4E8C, {7, 0x4E, 0x00, 2, 0x10, 1, 0x10}}});
    auto font = ShxFont::parse(bytes);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->kind(), ShxFont::Kind::Unicode);
    EXPECT_EQ(font->above(), 4);
    auto g = font->glyph(0x4E8C);
    ASSERT_TRUE(g);
    ASSERT_EQ(g->strokes.size(), 2u);
    expectNear(g->strokes[0].back(), {1, 0}, "unicode subshape");
    expectNear(g->strokes[1].front(), {1.25, 0}, "after the pen went up");
    EXPECT_DOUBLE_EQ(g->advance, 1.5);

    // A big font: lead bytes 0x81..0x9F, the character 0x889F found by its two bytes.
    bytes = fonts_test::bigFontFile(0x81, 0x9F,
                                    {{0, {10, 0, 2, 0}}, {0x889F, {0xA4, 0xA0}}, {0x8140, {7, 0, 0x88, 0x9F, 0, 0, 5, 5}}});
    font = ShxFont::parse(bytes);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->kind(), ShxFont::Kind::Big);
    EXPECT_TRUE(font->isLeadByte(0x81));
    EXPECT_TRUE(font->isLeadByte(0x9F));
    EXPECT_FALSE(font->isLeadByte(0x41));
    EXPECT_TRUE(font->has(0x889F));
    g = font->glyph(0x889F);
    ASSERT_TRUE(g);
    expectNear(g->strokes[0].back(), {1, 1}, "big font character");
    // An extended big font primitive placed at half size.
    g = font->glyph(0x8140);
    ASSERT_TRUE(g);
    ASSERT_FALSE(g->strokes.empty());
    expectNear(g->strokes[0].back(), {0.5, 0.5}, "half-size primitive");
    EXPECT_DOUBLE_EQ(g->advance, 0);
}

TEST(ShxFile, HostileFilesAreRefusedOrBounded) {
    const auto good = fonts_test::shapesFile({{0, {1, 0, 0, 0}}, {'A', {0x10}}});
    // Every cut of the file is refused or read without reading past its end.
    for (std::size_t n = 0; n < good.size(); ++n) {
        const std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        const auto font = ShxFont::parse(cut);
        if (font && font->has('A')) (void)font->glyph('A');
    }
    EXPECT_FALSE(ShxFont::parse(std::vector<std::uint8_t>(100, 'x')));

    // A big font index pointing outside the file.
    auto big = fonts_test::bigFontFile(0x81, 0x9F, {{0, {10, 0, 0, 0}}, {0x8140, {0x10}}});
    big.resize(big.size() - 2);
    std::string error;
    EXPECT_FALSE(ShxFont::parse(big, &error));
    EXPECT_FALSE(error.empty());

    // Shapes that call each other forever, push without end, or end without a 0.
    const ShxFont font = textFont({{'A', {7, 'B', 0x10}}, {'B', {7, 'A', 0x10}},
                                   {'C', Program(3000, 5)}, {'D', {9, 1, 1}}, {'E', {11, 1}}});
    for (unsigned c : {'A', 'B', 'C', 'D', 'E'}) EXPECT_TRUE(font.glyph(c)) << char(c);
    EXPECT_LT(font.glyph('A')->advance, 20);
}

TEST(HersheyFont, DebianFacesLoadAtCapHeightOne) {
    const auto font = cad::fonts::HersheyFont::load(cad::fonts::FontFinder::hersheyFolder() / "rowmans.jhf");
    ASSERT_TRUE(font) << "hershey-fonts-data is not installed";
    const auto* h = font->glyph('H');
    ASSERT_TRUE(h);
    double top = -1, bottom = 1;
    for (const auto& s : h->strokes)
        for (Vec2 p : s) { top = std::max(top, p.y); bottom = std::min(bottom, p.y); }
    EXPECT_NEAR(top, 1, 1e-9);
    EXPECT_NEAR(bottom, 0, 1e-9);
    EXPECT_GT(font->glyph('A')->advance, 0.7);
    EXPECT_LT(font->glyph('A')->advance, 1.0);
    EXPECT_GT(font->descent(), 0.2);
    EXPECT_TRUE(font->glyph(' '));
    EXPECT_TRUE(font->glyph('~'));
    EXPECT_FALSE(font->glyph(U'\u00e9'));
}
