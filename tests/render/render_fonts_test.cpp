// Text in the fonts a drawing names: shape fonts found beside the drawing
// (written by the tests), big fonts, stand-ins for missing fonts, CJK text,
// and the codes that change the look of text.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <cmath>
#include <fstream>
#include <limits>
#include <tuple>

#include "../fonts/ShxWriter.h"
#include "RenderTestSupport.h"
#include "cad/render/Frontend.h"
#include "cad/render/TextFonts.h"
#include "cad/render/TextLayout.h"

namespace cad::render::testing {
namespace {

using fonts_test::Program;

// A folder holding a drawing's fonts: "box.shx", a text font 10 units high
// whose H is a 6 x 10 box with an advance of 8, whose space advances 8, and
// whose shapes 127 and 256 (degree signs) are a 2-unit tick; "vbox.shx"
// (below); and "big.shx",
// a big font whose only character is 中 of Simplified Chinese (D6D0).
struct FontFolder {
    QTemporaryDir dir;
    FontFolder() {
        const Program box{0xA4, 0x60, 0xAC, 0x68, 2, 0x80, 0};
        write("box.shx", fonts_test::shapesFile({{0, {10, 2, 0, 0}},
                                                 {'H', box},
                                                 {' ', {2, 0x80, 0}},
                                                 {127, {0x20, 2, 0x40, 0}},
                                                 {256, {0x20, 2, 0x40, 0}}}));
        // "vbox.shx" is box.shx written vertically too: the vertical-only
        // steps hang the box from its top middle and move on 15 down.
        write("vbox.shx", fonts_test::shapesFile({{0, {10, 2, 2, 0}},
                                                  {'H', {2, 14, 8, 0xFD, 0xF6, 1, 0xA4, 0x60, 0xAC, 0x68, 2, 0x80, 14,
                                                         8, 0xFB, 0xFB, 0}}}));
        write("marks.shx", fonts_test::shapesFile({{130, {0x30, 0}}, {131, {0x14, 0}}}, {{130, "TICK"}, {131, "POST"}}));
        write("big.shx", fonts_test::bigFontFile(0x81, 0xFE, {{0, {10, 0, 0, 0}}, {0xD6D0, {0xA4, 0xA0, 2, 0x20}}}));
    }
    void write(const char* name, const std::vector<std::uint8_t>& bytes) {
        std::ofstream(QDir(dir.path()).filePath(QString::fromLatin1(name)).toStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    std::string path() const { return dir.path().toStdString(); }
};

Drawing withStyle(const std::string& fontFile, const std::string& bigFont = {}, const std::string& family = {}) {
    Drawing d = emptyDrawing();
    TextStyle s;
    s.name = "Standard";
    s.fontFile = fontFile;
    s.bigFontFile = bigFont;
    s.fontFamily = family;
    d.textStyles.push_back(s);
    d.header.codePage = "ANSI_1252";
    d.index();
    return d;
}

Entity text(const std::string& value, double height, int generation = 0, double widthFactor = 1, double oblique = 0) {
    TextData t;
    t.value = value;
    t.height = height;
    t.generation = generation;
    t.widthFactor = widthFactor;
    t.oblique = oblique;
    return entity("TEXT", t, Color::fromIndex(7));
}

Scene scene(const Drawing& d, const std::string& folder) {
    RenderOptions o;
    o.drawingFolder = folder;
    return buildScene(d, o);
}

QRectF strokes(const Scene& s) {
    QRectF r;
    for (const TextShape& t : s.texts) r |= t.strokes.boundingRect();
    return r;
}
QRectF fills(const Scene& s) {
    QRectF r;
    for (const TextShape& t : s.texts) r |= t.path.boundingRect();
    return r;
}

}  // namespace

TEST(RenderFonts, ShapeFontBesideTheDrawingAtTheStylesLook) {
    FontFolder fonts;
    Drawing d = withStyle("BOX.SHX");
    add(d, text("HH", 50));
    Scene s = scene(d, fonts.path());
    ASSERT_EQ(s.texts.size(), 1u);
    EXPECT_TRUE(s.texts[0].path.isEmpty()) << "a shape font is drawn with the pen, not filled";
    QRectF r = strokes(s);
    // Two 6 x 10 boxes, 8 apart, at 5 drawing units per font unit.
    EXPECT_NEAR(r.left(), 0, 1e-9);
    EXPECT_NEAR(r.width(), 70, 1e-9);
    EXPECT_NEAR(r.height(), 50, 1e-9);

    // Width factor, then backwards and upside down about the insertion point.
    d = withStyle("box.shx");
    add(d, text("H", 50, 0, 2));
    EXPECT_NEAR(strokes(scene(d, fonts.path())).width(), 60, 1e-9);
    d = withStyle("box.shx");
    add(d, text("H", 50, 2 | 4));
    r = strokes(scene(d, fonts.path()));
    EXPECT_NEAR(r.right(), 0, 1e-9);
    EXPECT_NEAR(r.top(), -50, 1e-9);
    // Oblique leans the top to the right.
    d = withStyle("box.shx");
    add(d, text("H", 50, 0, 1, std::atan(0.5)));
    EXPECT_NEAR(strokes(scene(d, fonts.path())).right(), 30 + 25, 1e-9);
}

TEST(RenderFonts, VerticalStylesRunDownFromTheirPoint) {
    FontFolder fonts;
    Drawing d = withStyle("vbox.shx");
    d.textStyles[0].flags = 4;
    add(d, text("HH", 10));
    QRectF r = strokes(scene(d, fonts.path()));
    EXPECT_NEAR(r.left(), -3, 1e-9);
    EXPECT_NEAR(r.right(), 3, 1e-9);
    EXPECT_NEAR(r.top(), -25, 1e-9) << "the second H 15 under the first";
    EXPECT_NEAR(r.bottom(), 0, 1e-9);
    // The same font written across skips its vertical-only steps.
    d.textStyles[0].flags = 0;
    r = strokes(scene(d, fonts.path()));
    EXPECT_NEAR(r.left(), 0, 1e-9);
    EXPECT_NEAR(r.width(), 14, 1e-9);
    EXPECT_NEAR(r.height(), 10, 1e-9);

    // A font without vertical steps: characters centred under each other,
    // one and a half heights apart. Centred text has the column's middle on
    // its alignment point.
    d = withStyle("box.shx");
    d.textStyles[0].flags = 4;
    Entity centred = text("HH", 10);
    auto& t = *centred.as<TextData>();
    t.horizontalAlign = 1;
    t.alignment = {100, 0, 0};
    add(d, centred);
    r = strokes(scene(d, fonts.path()));
    EXPECT_NEAR(r.left(), 96, 1e-9);
    EXPECT_NEAR(r.right(), 102, 1e-9);
    EXPECT_NEAR(r.top(), -12.5, 1e-9);
    EXPECT_NEAR(r.bottom(), 12.5, 1e-9);
}

TEST(RenderFonts, ComplexLinetypesDrawTheirShapesAndTextsAlongTheLine) {
    FontFolder fonts;
    Drawing d = withStyle("box.shx");
    d.textStyles[0].handle = 0x1B;
    TextStyle marks;
    marks.name = "MARKS";
    marks.handle = 0x1A;
    marks.flags = 1;
    marks.fontFile = "marks.shx";
    d.textStyles.push_back(marks);
    // A post (shape 131, one unit up) twice its size where each dash ends.
    Linetype fence;
    fence.name = "FENCE";
    fence.dashes = {1.0, -0.5};
    LinetypeElement post;
    post.shapeNumber = 131;
    post.style = 0x1A;
    post.scale = 2;
    fence.elements.push_back(post);
    // An H (box.shx, 0.6 by 1 at height 1) after each gap, moved along and across the line.
    Linetype gas;
    gas.name = "GAS";
    gas.dashes = {1.0, -1.0};
    LinetypeElement h;
    h.dash = 1;
    h.isText = true;
    h.text = "H";
    h.style = 0x1B;
    h.scale = 0.5;
    h.offset = {0.2, -0.25};
    gas.elements.push_back(h);
    d.linetypes = {fence, gas};
    d.index();

    Entity fenced = line({0, 0, 0}, {10, 0, 0});
    fenced.common.linetype = "FENCE";
    add(d, fenced);
    Scene s = scene(d, fonts.path());
    ASSERT_EQ(s.texts.size(), 7u) << "at 1, 2.5, 4, 5.5, 7, 8.5 and 10";
    for (std::size_t i = 0; i < s.texts.size(); ++i) {
        const QRectF r = s.texts[i].strokes.boundingRect();
        EXPECT_NEAR(r.left(), 1 + 1.5 * static_cast<double>(i), 1e-9);
        EXPECT_NEAR(r.width(), 0, 1e-9);
        EXPECT_NEAR(r.top(), 0, 1e-9);
        EXPECT_NEAR(r.height(), 2, 1e-9);
    }

    // Up the page at twice the pattern's scale: the text turns with the
    // line, its offsets and height doubled, every four units.
    d.findBlock("*Model_Space")->entities.clear();
    Entity piped = line({0, 0, 0}, {0, 10, 0});
    piped.common.linetype = "GAS";
    piped.common.linetypeScale = 2;
    add(d, piped);
    s = scene(d, fonts.path());
    ASSERT_EQ(s.texts.size(), 2u);
    QRectF r = s.texts[0].strokes.boundingRect();
    EXPECT_NEAR(r.left(), -0.5, 1e-9);
    EXPECT_NEAR(r.right(), 0.5, 1e-9);
    EXPECT_NEAR(r.top(), 4.4, 1e-9);
    EXPECT_NEAR(r.bottom(), 5.0, 1e-9);
    EXPECT_NEAR(s.texts[1].strokes.boundingRect().top(), 8.4, 1e-9);
    // At an absolute angle it stays upright.
    d.linetypes[1].elements[0].absoluteRotation = true;
    d.index();
    r = scene(d, fonts.path()).texts[0].strokes.boundingRect();
    EXPECT_NEAR(r.left(), 0.5, 1e-9);
    EXPECT_NEAR(r.width(), 0.6, 1e-9);
    EXPECT_NEAR(r.top(), 4.4, 1e-9);
    EXPECT_NEAR(r.height(), 1, 1e-9);
}

TEST(RenderFonts, ShapesFromTheShapeFileOfTheirStyle) {
    FontFolder fonts;
    Drawing d = withStyle("box.shx");
    TextStyle marks;
    marks.name = "MARKS";
    marks.fontFile = "marks";
    marks.flags = 1;
    d.textStyles.push_back(marks);
    d.index();
    // By name (DXF), at size 2, twice as wide: 3 units east become 12.
    ShapeData byName;
    byName.name = "tick";
    byName.size = 2;
    byName.widthFactor = 2;
    add(d, entity("SHAPE", byName, Color::fromIndex(1)));
    // By number in its style's file (DWG), turned a quarter: one unit up becomes one unit left.
    ShapeData byNumber;
    byNumber.number = 131;
    byNumber.style = "MARKS";
    byNumber.insertion = {100, 0, 0};
    byNumber.rotation = std::acos(0.0);
    add(d, entity("SHAPE", byNumber, Color::fromIndex(1)));
    ShapeData missing;
    missing.name = "NONE";
    add(d, entity("SHAPE", missing, Color::fromIndex(1)));
    Scene s = scene(d, fonts.path());
    ASSERT_EQ(s.strokes.size(), 2u);
    EXPECT_NEAR(s.strokes[0].points.back().x, 12, 1e-9);
    EXPECT_NEAR(s.strokes[1].points.back().x, 99, 1e-9);
    EXPECT_NEAR(s.strokes[1].points.back().y, 0, 1e-9);

    // A shape that no file at hand holds is named, once however often it is
    // asked for (here by each of two lines of a linetype).
    Linetype rail;
    rail.name = "RAIL";
    rail.dashes = {1.0, -1.0};
    LinetypeElement tie;
    tie.shapeNumber = 999;
    tie.style = 0x1A;
    rail.elements.push_back(tie);
    d.linetypes = {rail};
    d.textStyles.back().handle = 0x1A;
    d.index();
    for (double y : {10.0, 20.0}) {
        Entity railed = line({0, y, 0}, {10, y, 0});
        railed.common.linetype = "RAIL";
        add(d, railed);
    }
    s = scene(d, fonts.path());
    EXPECT_EQ(s.problems, (std::vector<std::string>{"shape not found: NONE", "shape not found: 999 (marks)"}));
}

TEST(RenderFonts, PercentCodesAndTogglesInAShapeFont) {
    FontFolder fonts;
    TextFormat f;
    f.height = 10;
    f.font = styleFont("box.shx", "", "", fonts.path(), 1252);
    ASSERT_TRUE(f.font && f.font->kind == TextFont::Kind::Shx);
    // %%127 is the font's own shape 127; %%d its degree sign (256): both ticks 2 units wide.
    for (const char* code : {"%%127", "%%d"}) {
        TextPaths paths;
        for (const TextRun& run : decodeTextCodes(code, f)) addRun(paths, run, 0, 0);
        EXPECT_FALSE(paths.strokes.isEmpty()) << code;
        EXPECT_NEAR(paths.strokes.boundingRect().width(), 2, 1e-9) << code;
    }
    // Underline and overline are pen lines across the run.
    TextPaths paths;
    const auto runs = decodeTextCodes("%%uH%%u%%oH", f);
    ASSERT_EQ(runs.size(), 2u);
    double x = 0;
    for (const TextRun& run : runs) {
        addRun(paths, run, x, 0);
        x += runAdvance(run);
    }
    EXPECT_LT(paths.strokes.boundingRect().top(), 0) << "no underline";
    EXPECT_GT(paths.strokes.boundingRect().bottom(), 10) << "no overline";
    EXPECT_TRUE(paths.fill.isEmpty());
}

TEST(RenderFonts, BigFontCharactersAndCjkWithoutOne) {
    FontFolder fonts;
    Drawing d = withStyle("box.shx", "big.shx");
    add(d, text("H\xE4\xB8\xAD", 50));  // H中
    Scene s = scene(d, fonts.path());
    EXPECT_TRUE(fills(s).isNull()) << "中 is in the big font";
    EXPECT_NEAR(strokes(s).width(), 40 + 50, 1e-9);

    // Without a big font the characters come from a CJK TrueType font: glyphs, not boxes.
    d = withStyle("box.shx");
    add(d, text("\xE4\xB8\xAD\xE6\x96\x87\xED\x95\x9C", 50));  // 中文한
    s = scene(d, fonts.path());
    ASSERT_EQ(s.texts.size(), 1u);
    EXPECT_GT(s.texts[0].path.elementCount(), 60) << "the characters were drawn as empty boxes";
    EXPECT_GT(fills(s).width(), 100);
    EXPECT_TRUE(fallbackFace(U'\u4E2D'));
}

TEST(RenderFonts, MissingFontsAreReplacedAndNamed) {
    FontFolder fonts;
    Drawing d = withStyle("romans_missing.shx");
    add(d, text("Hello", 10));
    Scene s = scene(d, fonts.path());
    ASSERT_EQ(s.texts.size(), 1u);
    EXPECT_FALSE(s.texts[0].strokes.isEmpty()) << "the Hershey stand-in draws with the pen";
    EXPECT_NEAR(strokes(s).height(), 10, 0.5);
    d = withStyle("arial.ttf", "", "Arial");
    add(d, text("Hello", 10));
    s = scene(d, fonts.path());
    EXPECT_TRUE(strokes(s).isNull());
    EXPECT_FALSE(fills(s).isNull());
    const std::vector<std::string> named = fontSubstitutions();
    EXPECT_EQ(std::count(named.begin(), named.end(), "romans_missing.shx -> Hershey rowmans"), 1);
    EXPECT_EQ(std::count(named.begin(), named.end(), "arial.ttf -> Liberation Sans"), 1);
}

TEST(RenderFonts, MultilineFontSwitchTrackingAndColumns) {
    FontFolder fonts;
    TextFormat f;
    f.height = 10;
    f.font = styleFont("arial.ttf", "", "Arial", fonts.path(), 1252);
    f.folder = std::make_shared<const std::filesystem::path>(fonts.path());
    // \F switches to the shape font beside the drawing, and back at the group's end.
    auto parsed = parseMText("a{\\Fbox.shx;H}b{\\fLiberation Serif|b1|i0|c0|p18;c}", f);
    ASSERT_EQ(parsed.paragraphs[0].size(), 4u);
    ASSERT_TRUE(parsed.paragraphs[0][1].format.font);
    EXPECT_EQ(parsed.paragraphs[0][1].format.font->kind, TextFont::Kind::Shx);
    EXPECT_EQ(parsed.paragraphs[0][2].format.font, f.font);
    ASSERT_TRUE(parsed.paragraphs[0][3].format.font);
    EXPECT_TRUE(parsed.paragraphs[0][3].format.font->bold);
    // Tracking spreads the characters; \M+ is a double-byte character.
    parsed = parseMText("HH\\T2;HH\\M+5D6D0", f);
    ASSERT_EQ(parsed.paragraphs[0].size(), 2u);
    EXPECT_GT(runAdvance(parsed.paragraphs[0][1]), runAdvance(parsed.paragraphs[0][0]) * 1.1);
    EXPECT_EQ(parsed.paragraphs[0][1].text, QStringLiteral("HH\u4E2D"));

    // \N moves on to the next column: 100 wide with a gutter of 20.
    MTextColumns columns;
    columns.count = 2;
    columns.width = 100;
    columns.gutter = 20;
    const auto placed = layoutMText("left\\Nright", f, 0, 1, 1, columns);
    QRectF ink;
    for (const PlacedText& p : placed) ink |= p.path.boundingRect();
    EXPECT_GT(ink.right(), 120);
    EXPECT_GT(ink.top(), -16) << "the second column starts at the top again";
    // Without columns a column break is a line break.
    parsed = parseMText("left\\Nright", f);
    EXPECT_EQ(parsed.paragraphs.size(), 2u);
}

// The left edge of the ink of the line between two heights, or NaN.
double inkLeftBetween(const std::vector<PlacedText>& placed, double low, double high) {
    double left = std::numeric_limits<double>::quiet_NaN();
    for (const PlacedText& part : placed)
        for (int i = 0; i < part.strokes.elementCount(); ++i) {
            const auto e = part.strokes.elementAt(i);
            if (e.y >= low - 1e-6 && e.y <= high + 1e-6 && !(e.x >= left)) left = e.x;
        }
    return left;
}

TEST(RenderFonts, MultilineParagraphIndentsTabsAndVerticalAlignment) {
    FontFolder fonts;
    TextFormat f;
    f.height = 10;
    f.font = styleFont("box.shx", "", "", fonts.path(), 1252);
    ASSERT_TRUE(f.font && f.font->stroked());

    // \p counts in text heights; a paragraph keeps the properties of the one before.
    auto parsed = parseMText("\\pxi-1,l2,r1.5,qc,t3,5.5;H\\PH\\P\\pi0,l0,r0,tz;H", f);
    ASSERT_EQ(parsed.formats.size(), 3u);
    EXPECT_DOUBLE_EQ(parsed.formats[0].firstLine, -10);
    EXPECT_DOUBLE_EQ(parsed.formats[0].left, 20);
    EXPECT_DOUBLE_EQ(parsed.formats[0].right, 15);
    EXPECT_EQ(parsed.formats[0].align, 1);
    EXPECT_EQ(parsed.formats[0].tabs, (std::vector<double>{30, 55}));
    EXPECT_EQ(parsed.formats[1], parsed.formats[0]);
    EXPECT_DOUBLE_EQ(parsed.formats[2].left, 0);
    EXPECT_TRUE(parsed.formats[2].tabs.empty()) << "tz clears the stops";
    EXPECT_EQ(parsed.paragraphs[2].size(), 1u) << "the code leaves no text behind";

    // H is 6 wide with an advance of 8, and so is the space. The first line
    // starts at left + first-line indent and wraps in what is left of the
    // width; the next lines start at the left indent. Lines are 10 high,
    // their baselines at -10 and -26.7.
    const auto indented = layoutMText("\\pxi1,l2;H H H H", f, 60, 1, 1);
    EXPECT_NEAR(inkLeftBetween(indented, -10, 0), 30, 1e-6);
    EXPECT_NEAR(inkLeftBetween(indented, -27, -16), 20, 1e-6);
    EXPECT_TRUE(std::isnan(inkLeftBetween(indented, -44, -33))) << "two words fit on each line";
    // The right indent narrows the wrapping width.
    EXPECT_TRUE(std::isnan(inkLeftBetween(layoutMText("H H H H", f, 60, 1, 1), -27, -16)));
    EXPECT_NEAR(inkLeftBetween(layoutMText("\\pxr3;H H H H", f, 60, 1, 1), -27, -16), 0, 1e-6);
    // Paragraph alignment goes before the attachment's.
    EXPECT_NEAR(inkLeftBetween(layoutMText("\\pxqr;H", f, 60, 1, 1), -10, 0), 52, 1e-6);
    EXPECT_NEAR(inkLeftBetween(layoutMText("\\pxqc;H", f, 60, 3, 1), -10, 0), -34, 1e-6);

    // Tabs move on to the next stop, past the stops every four text heights.
    auto lefts = [&](const std::vector<PlacedText>& placed) {
        std::vector<double> xs;
        for (const PlacedText& part : placed)
            for (int i = 0; i < part.strokes.elementCount(); ++i)
                if (part.strokes.elementAt(i).isMoveTo()) xs.push_back(part.strokes.elementAt(i).x);
        return xs;
    };
    EXPECT_EQ(lefts(layoutMText("\\pxt2,3;H\tH\tH", f, 0, 1, 1)), (std::vector<double>{0, 20, 30}));
    EXPECT_EQ(lefts(layoutMText("H\tH", f, 0, 1, 1)), (std::vector<double>{0, 40}));
    EXPECT_EQ(lefts(layoutMText("\\pxi-1,l1,t1;H\tH", f, 0, 1, 1)), (std::vector<double>{0, 10}))
        << "a hanging indent: the number in the margin, the text at the left indent";

    // \A: a smaller part of a line sits on the baseline, in the middle or at the top of the line.
    for (const auto& [code, low, high] : {std::tuple{"0", -20.0, -10.0}, {"1", -15.0, -5.0}, {"2", -10.0, 0.0}}) {
        const auto placed = layoutMText(std::string("{\\H2x;H}\\A") + code + ";\\C1;H", f, 0, 1, 1);
        ASSERT_EQ(placed.size(), 2u);
        const QRectF small = placed[1].strokes.boundingRect();
        EXPECT_NEAR(small.top(), low, 1e-6) << "\\A" << code;
        EXPECT_NEAR(small.bottom(), high, 1e-6) << "\\A" << code;
    }
}

}  // namespace cad::render::testing
