// Entities whose pictures are easy to get wrong: text, hatches, linetypes,
// object coordinate systems, wipeouts, widths and lineweights.
#include <gtest/gtest.h>

#include <cmath>

#include "RenderTestSupport.h"
#include "cad/model/Curves.h"
#include "cad/model/SplineFit.h"
#include "cad/model/Transform.h"
#include "cad/render/TextLayout.h"

namespace cad::render::testing {
namespace {

constexpr double kPi = 3.14159265358979323846;

QRect inkBox(const QImage& image, const QRect& within) {
    QRect box;
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x)
            if (image.rect().contains(x, y) && !isBackground(image.pixel(x, y))) box |= QRect(x, y, 1, 1);
    return box;
}

Entity text(const std::string& value, Vec3 at, double height, int halign = 0, int valign = 0, double rotation = 0) {
    TextData t;
    t.value = value;
    t.insertion = at;
    t.alignment = at;
    t.height = height;
    t.horizontalAlign = halign;
    t.verticalAlign = valign;
    t.rotation = rotation;
    return entity("TEXT", t, Color::fromIndex(7));
}

TEST(RenderText, TextSitsInItsBoxForEachAlignment) {
    // The anchor is at pixel (100, 100); where the ink must sit around it.
    enum Horizontal { Left, Centre, Right };
    enum Vertical { Baseline, Top, Middle };
    struct Case {
        int h, v;
        Horizontal across;
        Vertical up;
    } cases[] = {
        {0, 0, Left, Baseline}, {1, 0, Centre, Baseline}, {2, 0, Right, Baseline},
        {0, 3, Left, Top},      {4, 0, Centre, Middle},   {2, 2, Right, Middle},
    };
    for (const Case& c : cases) {
        Drawing d = emptyDrawing();
        addFrame(d, 200);
        add(d, text("HEHEH", {100, 100, 0}, 20, c.h, c.v));
        const QImage image = renderDrawing(d, onePixelPerUnit(200));
        const QRect ink = inkBox(image, QRect(2, 2, 196, 196));
        ASSERT_FALSE(ink.isNull()) << "alignment " << c.h << "/" << c.v;
        const std::string where = "alignment " + std::to_string(c.h) + "/" + std::to_string(c.v) + ": ink at " +
                                  std::to_string(ink.x()) + "," + std::to_string(ink.y()) + " " +
                                  std::to_string(ink.width()) + "x" + std::to_string(ink.height());
        if (c.across == Left) {
            EXPECT_NEAR(ink.left(), 100, 5) << where;
        }
        if (c.across == Centre) {
            EXPECT_NEAR(ink.center().x(), 100, 3) << where;
        }
        if (c.across == Right) {
            EXPECT_NEAR(ink.right(), 100, 5) << where;
        }
        if (c.up == Baseline) {
            EXPECT_NEAR(ink.bottom(), 99, 2) << where;
        }
        if (c.up == Top) {
            EXPECT_NEAR(ink.top(), 100, 2) << where;
        }
        if (c.up == Middle) {
            EXPECT_NEAR(ink.center().y(), 100, 2) << where;
        }
        EXPECT_NEAR(ink.height(), 20, 2) << "cap height is the text height; " << where;
        EXPECT_NEAR(ink.width(), 90, 15) << where;
    }
}

TEST(RenderText, RotationWidthFactorAndFit) {
    Drawing d = emptyDrawing();
    addFrame(d, 200);
    add(d, text("HHHH", {100, 20, 0}, 10, 0, 0, kPi / 2));  // runs upwards from (100, 20)
    Entity fit = text("HH", {20, 150, 0}, 10, 5);
    fit.as<TextData>()->alignment = {180, 150, 0};  // stretched to 160 units
    add(d, fit);
    const QImage image = renderDrawing(d, onePixelPerUnit(200));
    const QRect up = inkBox(image, QRect(80, 60, 30, 125));
    EXPECT_GT(up.height(), up.width() * 2) << "rotated text is not upright";
    EXPECT_LE(up.right(), 101);
    const QRect wide = inkBox(image, QRect(2, 30, 196, 25));
    // The advance from the first point to the second includes the side bearings.
    EXPECT_GE(wide.left(), 19);
    EXPECT_LE(wide.left(), 32);
    EXPECT_GE(wide.right(), 168);
    EXPECT_LE(wide.right(), 181);
    EXPECT_NEAR(wide.height(), 10, 2);
}

TEST(RenderText, BackwardAndUpsideDownTextMirrorAboutTheInsertionPoint) {
    Drawing d = emptyDrawing();
    addFrame(d, 200);
    Entity backward = text("HEHEH", {100, 150, 0}, 20);
    backward.as<TextData>()->generation = 2;
    Entity upsideDown = text("HEHEH", {100, 50, 0}, 20);
    upsideDown.as<TextData>()->generation = 4;
    add(d, backward);
    add(d, upsideDown);
    const QImage image = renderDrawing(d, onePixelPerUnit(200));
    const QRect left = inkBox(image, QRect(2, 20, 196, 50));
    EXPECT_NEAR(left.right(), 100, 5) << "backward text runs to the left of its point";
    EXPECT_NEAR(left.bottom(), 49, 2);
    const QRect below = inkBox(image, QRect(2, 130, 196, 60));
    EXPECT_NEAR(below.left(), 100, 5);
    EXPECT_NEAR(below.top(), 150, 2) << "upside-down text hangs below its point";
}

TEST(RenderText, ControlCodesBecomeTheirCharacters) {
    TextFormat f;
    auto join = [](const std::vector<TextRun>& runs) {
        QString all;
        for (const auto& r : runs) all += r.text;
        return all;
    };
    EXPECT_EQ(join(decodeTextCodes("%%c10 %%d %%p0.5 100%%%", f)), QStringLiteral("\u230010 \u00B0 \u00B10.5 100%"));
    EXPECT_EQ(join(decodeTextCodes("%%065%%u%%o", f)), QStringLiteral("A"));
    EXPECT_EQ(join(decodeTextCodes("\\U+00C4x%%", f)), QStringLiteral("\u00C4x%%"));
    const auto runs = decodeTextCodes("a%%ub%%uc", f);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_TRUE(runs[1].format.underline);
    EXPECT_FALSE(runs[2].format.underline);
}

TEST(RenderText, MultilineCodesParagraphsAndUnknownCodes) {
    TextFormat f;
    f.height = 2;
    const auto parsed = parseMText("{\\H2x;\\C1;Big}\\Psecond\\~line\\P\\Zodd\\S1/2;\\\\", f);
    ASSERT_EQ(parsed.paragraphs.size(), 3u);
    ASSERT_FALSE(parsed.paragraphs[0].empty());
    EXPECT_EQ(parsed.paragraphs[0][0].text, QStringLiteral("Big"));
    EXPECT_DOUBLE_EQ(parsed.paragraphs[0][0].format.height, 4);
    ASSERT_TRUE(parsed.paragraphs[0][0].format.color.has_value());
    EXPECT_EQ(parsed.paragraphs[0][0].format.color->rgb, qRgb(255, 0, 0));
    EXPECT_EQ(parsed.paragraphs[1][0].text, QStringLiteral("second\u00A0line"));
    EXPECT_FALSE(parsed.paragraphs[1][0].format.color.has_value()) << "the group did not end the colour";
    ASSERT_EQ(parsed.paragraphs[2].size(), 5u);
    EXPECT_EQ(parsed.paragraphs[2][0].text, QStringLiteral("odd"));
    EXPECT_EQ(parsed.paragraphs[2][1].text, QStringLiteral("1"));
    EXPECT_GT(parsed.paragraphs[2][1].format.raise, 0) << "the top of a fraction is raised";
    EXPECT_EQ(parsed.paragraphs[2][2].text, QStringLiteral("/"));
    EXPECT_LT(parsed.paragraphs[2][3].format.raise, 0) << "the bottom of a fraction is lowered";
    EXPECT_EQ(parsed.paragraphs[2][4].text, QStringLiteral("\\"));
    // A tolerance stack: the lower value under the upper one, no slash.
    const auto tolerance = parseMText("5\\S+0.1^-0.2;", f);
    ASSERT_EQ(tolerance.paragraphs[0].size(), 3u);
    EXPECT_EQ(tolerance.paragraphs[0][1].text, QStringLiteral("+0.1"));
    EXPECT_EQ(tolerance.paragraphs[0][2].text, QStringLiteral("-0.2"));
    EXPECT_TRUE(tolerance.paragraphs[0][2].format.underPrevious);
    // Broken input ends quietly.
    EXPECT_NO_THROW(parseMText("\\H", f));
    EXPECT_NO_THROW(parseMText("}}}{{\\", f));
}

TEST(RenderText, MultilineTextWrapsToItsWidth) {
    Drawing d = emptyDrawing();
    addFrame(d, 200);
    MTextData m;
    m.insertion = {10, 190, 0};
    m.height = 8;
    m.rectWidth = 100;
    m.text = "one two three four five six seven eight";
    add(d, entity("MTEXT", m, Color::fromIndex(7)));
    const QImage image = renderDrawing(d, onePixelPerUnit(200));
    const QRect ink = inkBox(image, QRect(2, 2, 196, 196));
    EXPECT_GE(ink.left(), 9);
    EXPECT_LE(ink.right(), 112);
    EXPECT_GE(ink.top(), 9);
    EXPECT_GT(ink.height(), 30) << "text was not wrapped onto several lines";
}

TEST(RenderHatch, SolidFillCoversItsBoundaryAndLeavesItsHole) {
    Drawing d = emptyDrawing();
    addFrame(d, 100);
    HatchData h;
    auto square = [](double a, double b) {
        HatchLoop loop;
        loop.isPolyline = true;
        for (Vec2 p : {Vec2{a, a}, Vec2{b, a}, Vec2{b, b}, Vec2{a, b}}) loop.polyline.push_back({p, 0, 0, 0});
        return loop;
    };
    h.loops = {square(10, 90), square(40, 60)};
    add(d, entity("HATCH", h, Color::fromIndex(1)));
    const QImage image = renderDrawing(d, onePixelPerUnit(100));
    EXPECT_EQ(image.pixel(20, 20), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(80, 75), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(50, 50), qRgb(255, 255, 255)) << "the hole is filled";
    EXPECT_EQ(image.pixel(5, 50), qRgb(255, 255, 255)) << "the fill spills over";
}

TEST(RenderHatch, PatternLinesStayInsideTheBoundary) {
    Drawing d = emptyDrawing();
    addFrame(d, 100);
    HatchData h;
    h.solid = false;
    h.pattern = "ANSI31";
    HatchLoop loop;
    for (auto [a, b] : {std::pair{Vec2{20, 20}, Vec2{80, 20}}, {Vec2{80, 20}, Vec2{80, 80}}, {Vec2{80, 80}, Vec2{20, 80}},
                        {Vec2{20, 80}, Vec2{20, 20}}}) {
        HatchEdge e;
        e.start = a;
        e.end = b;
        loop.edges.push_back(e);
    }
    h.loops = {loop};
    HatchPatternLine diagonal;
    diagonal.angle = kPi / 4;
    diagonal.offset = {-5, 5};  // lines 7.07 apart
    h.lines = {diagonal};
    add(d, entity("HATCH", h, Color::fromIndex(5)));
    const QImage image = renderDrawing(d, onePixelPerUnit(100));
    const int inside = inkIn(image, QRect(22, 22, 56, 56));
    EXPECT_GT(inside, 56 * 56 / 10);
    EXPECT_LT(inside, 56 * 56 / 2) << "a pattern is not a solid fill";
    EXPECT_EQ(inkIn(image, QRect(3, 3, 15, 94)), 0) << "pattern lines outside the boundary";
    EXPECT_EQ(inkIn(image, QRect(82, 3, 15, 94)), 0) << "pattern lines outside the boundary";
}

TEST(RenderLinetypes, DashesScaleWithLtscaleAndTheEntity) {
    auto gaps = [](double ltscale, double entityScale) {
        Drawing d = emptyDrawing();
        Linetype dashed;
        dashed.name = "DASHED";
        dashed.dashes = {10, -10};
        dashed.patternLength = 20;
        d.linetypes.push_back(dashed);
        d.header.ltScale = ltscale;
        d.index();
        addFrame(d, 200);
        Entity l = line({0, 100, 0}, {200, 100, 0}, Color::fromIndex(7));
        l.common.linetype = "Dashed";
        l.common.linetypeScale = entityScale;
        add(d, l);
        const QImage image = renderDrawing(d, onePixelPerUnit(200));
        int runs = 0;
        bool inGap = false;
        for (int x = 1; x < 199; ++x) {
            const bool gap = isBackground(image.pixel(x, 100));
            if (gap && !inGap) ++runs;
            inGap = gap;
        }
        return runs;
    };
    EXPECT_NEAR(gaps(1, 1), 10, 1);
    EXPECT_NEAR(gaps(2, 1), 5, 1);
    EXPECT_NEAR(gaps(1, 0.5), 20, 1);
    EXPECT_EQ(gaps(0.01, 1), 0) << "a pattern finer than a pixel shows as a continuous line";
}

TEST(RenderGeometry, ExtrusionMirrorsPlanarEntities) {
    Drawing d = emptyDrawing();
    addFrame(d, 100);
    CircleData c;
    c.center = {-70, 50, 0};  // object coordinates: with the extrusion reversed, x is mirrored
    c.radius = 10;
    Entity circle = entity("CIRCLE", c, Color::fromIndex(7));
    circle.common.extrusion = {0, 0, -1};
    add(d, circle);
    const QImage image = renderDrawing(d, onePixelPerUnit(100));
    EXPECT_GT(inkIn(image, QRect(78, 48, 4, 4)), 0);  // (80, 50) on the circle
    EXPECT_GT(inkIn(image, QRect(58, 48, 4, 4)), 0);  // (60, 50)
    EXPECT_EQ(inkIn(image, QRect(66, 45, 8, 10)), 0);
}

TEST(RenderGeometry, ArcsBulgesAndWidePolylines) {
    Drawing d = emptyDrawing();
    addFrame(d, 100);
    ArcData arc;  // the upper half of a circle around (50, 50)
    arc.center = {50, 50, 0};
    arc.radius = 30;
    arc.startAngle = 0;
    arc.endAngle = kPi;
    add(d, entity("ARC", arc, Color::fromIndex(7)));
    LwPolylineData band;  // a 6 unit wide band along y = 10 ending in a half circle to y = 30
    band.constantWidth = 6;
    band.vertices = {{{10, 10}, 0, 0, 0}, {{60, 10}, 0, 0, 1}, {{60, 30}, 0, 0, 0}};
    add(d, entity("LWPOLYLINE", band, Color::fromIndex(3)));
    const QImage image = renderDrawing(d, onePixelPerUnit(100));
    EXPECT_GT(inkIn(image, QRect(48, 18, 4, 4)), 0);   // (50, 80), the top of the arc
    EXPECT_EQ(inkIn(image, QRect(45, 55, 10, 10)), 0); // the lower half stays empty
    EXPECT_EQ(image.pixel(30, 88), qRgb(0, 255, 0));   // inside the band, 2 units off its centre line
    EXPECT_EQ(image.pixel(30, 85), qRgb(255, 255, 255));
    EXPECT_GT(inkIn(image, QRect(68, 78, 4, 4)), 0);   // (70, 20): the bulge goes round to the right
    EXPECT_EQ(inkIn(image, QRect(48, 78, 4, 4)), 0);
}

TEST(RenderGeometry, ClosedTwoVertexBulgePolylineIsAWholeRing) {
    // What the donut command writes when inner and outer diameters agree.
    Drawing d = emptyDrawing();
    addFrame(d, 1000);
    LwPolylineData ring;
    ring.closed = true;
    ring.vertices = {{{100, 500}, 0, 0, 1}, {{900, 500}, 0, 0, 1}};
    add(d, entity("LWPOLYLINE", ring, Color::fromIndex(7)));
    const QImage image = renderDrawing(d, onePixelPerUnit(1000));
    EXPECT_GT(inkIn(image, QRect(98, 486, 5, 8)), 0);  // just above (100, 500), where the ring closes
    EXPECT_GT(inkIn(image, QRect(898, 498, 5, 5)), 0); // (900, 500)
    EXPECT_GT(inkIn(image, QRect(498, 98, 5, 5)), 0);  // (500, 900)
    EXPECT_GT(inkIn(image, QRect(498, 898, 5, 5)), 0); // (500, 100)
}

TEST(RenderGeometry, WipeoutMasksWhatLiesBelowButNotAbove) {
    Drawing d = emptyDrawing();
    addFrame(d, 100);
    add(d, line({0, 40, 0}, {100, 40, 0}, Color::fromIndex(1)));
    ImageData w;
    w.insertion = {30, 30, 0};
    w.uVector = {40, 0, 0};
    w.vVector = {0, 40, 0};
    w.size = {1, 1};
    add(d, entity("WIPEOUT", w, Color::fromIndex(7)));
    add(d, line({0, 50, 0}, {100, 50, 0}, Color::fromIndex(1)));
    const QImage image = renderDrawing(d, onePixelPerUnit(100));
    EXPECT_EQ(image.pixel(50, 60), qRgb(255, 255, 255)) << "the line below shows through";
    EXPECT_EQ(image.pixel(10, 60), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(50, 50), qRgb(255, 0, 0)) << "the line above was masked";
}

TEST(RenderGeometry, ImagesShowTheirClipOutlineOnlyWhenClipped) {
    Drawing d = emptyDrawing();
    addFrame(d, 100);
    // 10 x 10 pixels of 8 units each, from (10, 10) to (90, 90); the clip is
    // the triangle of its lower left half, in pixels counted from the top.
    ImageData im;
    im.insertion = {10, 10, 0};
    im.uVector = {8, 0, 0};
    im.vVector = {0, 8, 0};
    im.size = {10, 10};
    im.clipType = 2;
    im.clip = {{-0.5, -0.5}, {9.5, 9.5}, {-0.5, 9.5}, {-0.5, -0.5}};
    im.clipping = true;
    add(d, entity("IMAGE", im, Color::fromIndex(7)));
    QImage image = renderDrawing(d, onePixelPerUnit(100));
    EXPECT_GT(inkIn(image, QRect(48, 48, 5, 5)), 0) << "the diagonal of the clip";
    EXPECT_GT(inkIn(image, QRect(20, 88, 60, 5)), 40) << "the lower edge";
    EXPECT_EQ(inkIn(image, QRect(20, 8, 60, 5)), 0) << "the upper edge of the frame is clipped away";
    EXPECT_EQ(inkIn(image, QRect(88, 20, 5, 60)), 0) << "the right edge of the frame is clipped away";

    d.findBlock("*Model_Space")->entities.back().as<ImageData>()->clipping = false;
    image = renderDrawing(d, onePixelPerUnit(100));
    EXPECT_GT(inkIn(image, QRect(20, 8, 60, 5)), 40) << "unclipped, the whole frame shows";
    EXPECT_GT(inkIn(image, QRect(88, 20, 5, 60)), 40);
    EXPECT_EQ(inkIn(image, QRect(48, 48, 5, 5)), 0);
}

TEST(RenderGeometry, ToleranceFramesDrawTheirSymbolAndOnlyFilledCompartments) {
    Drawing d = emptyDrawing();
    addFrame(d, 120);
    ToleranceData t;
    t.insertion = {20, 60, 0};
    t.height = 10;  // rows 20 high around y = 60, compartments padded by 5
    t.text = "{\\Fgdt;j}%%v1%%v%%v%%v%%v";
    add(d, entity("TOLERANCE", t, Color::fromIndex(7)));
    const QImage image = renderDrawing(d, onePixelPerUnit(120));
    // The position symbol fills the square (25..35, 55..65): its cross runs
    // all the way through the middle row and column, as no letter does.
    EXPECT_GE(inkIn(image, QRect(26, 59, 9, 3)), 9) << "the horizontal bar of the symbol";
    EXPECT_GE(inkIn(image, QRect(29, 56, 3, 9)), 9) << "the vertical bar of the symbol";
    EXPECT_GT(inkIn(image, QRect(41, 52, 14, 16)), 5) << "the tolerance value";
    EXPECT_EQ(inkIn(image, QRect(62, 45, 50, 30)), 0) << "empty compartments are not drawn";
}

TEST(RenderGeometry, LineweightsWidenTheLineOnlyWhenTheDrawingDisplaysThem) {
    Drawing d = emptyDrawing();
    addFrame(d, 1000);
    Entity thick = line({100, 500, 0}, {900, 500, 0}, Color::fromIndex(7));
    thick.common.lineweight = 200;  // 2 mm
    add(d, thick);
    add(d, line({100, 300, 0}, {900, 300, 0}, Color::fromIndex(7)));
    // A wide polyline is geometry, not a lineweight: it keeps its width either way.
    LwPolylineData band;
    band.constantWidth = 20;
    band.vertices = {{{100, 150}, 0, 0, 0}, {{900, 150}, 0, 0, 0}};
    add(d, entity("LWPOLYLINE", band, Color::fromIndex(7)));
    auto rows = [](const QImage& image, int from) {
        int n = 0;
        for (int y = from; y < from + 40; ++y) n += isDark(image.pixel(500, y));
        return n;
    };
    const RenderOptions o = onePixelPerUnit(1000);

    d.header.lwDisplay = true;
    QImage image = renderDrawing(d, o);
    EXPECT_GE(rows(image, 480), 3);
    EXPECT_LE(rows(image, 680), 2);
    EXPECT_GE(rows(image, 830), 18);

    d.header.lwDisplay = false;
    image = renderDrawing(d, o);
    EXPECT_LE(rows(image, 480), 2) << "with LWDISPLAY off every line is one pixel wide";
    EXPECT_LE(rows(image, 680), 2);
    EXPECT_GE(rows(image, 830), 18);

    RenderOptions noWeights = o;
    noWeights.lineweights = false;
    d.header.lwDisplay = true;
    EXPECT_LE(rows(renderDrawing(d, noWeights), 480), 2);
}

TEST(RenderDimensions, DrawnThroughTheirBlockOrPlainlyWhenItIsMissing) {
    Drawing d = emptyDrawing();
    d.header.measurement = 1;  // metric: text 2.5 high, times DIMSCALE
    d.header.dimScale = 4;
    d.header.textSize = 40;    // not what dimensions are drawn with
    addFrame(d, 200);
    DimensionData linear;  // horizontal, 120 long, its line at y = 100
    linear.blockName = "*D1";
    linear.points[0] = {40, 50, 0};
    linear.points[1] = {160, 50, 0};
    linear.definitionPoint = {160, 100, 0};
    linear.textMidpoint = {100, 110, 0};
    linear.measurement = 120;
    add(d, entity("DIMENSION", linear, Color::fromIndex(7)));
    DimensionData radius;  // from the centre (40, 160) to (100, 160), its text hidden
    radius.dimType = 4;
    radius.definitionPoint = {40, 160, 0};
    radius.points[2] = {100, 160, 0};
    radius.textMidpoint = {150, 170, 0};
    radius.measurement = 60;
    radius.text = " ";
    add(d, entity("DIMENSION", radius, Color::fromIndex(7)));

    QImage image = renderDrawing(d, onePixelPerUnit(200));
    EXPECT_GT(inkIn(image, QRect(70, 99, 60, 3)), 50) << "the dimension line";
    EXPECT_GT(inkIn(image, QRect(39, 110, 3, 30)), 20) << "the first extension line";
    EXPECT_GT(inkIn(image, QRect(159, 110, 3, 30)), 20) << "the second extension line";
    EXPECT_GT(inkIn(image, QRect(80, 84, 40, 12)), 10) << "the measured value over the line";
    EXPECT_EQ(inkIn(image, QRect(80, 60, 40, 20)), 0) << "in the dimension's own size";
    EXPECT_GT(inkIn(image, QRect(50, 39, 40, 3)), 30) << "the radius line";
    EXPECT_EQ(inkIn(image, QRect(120, 20, 60, 20)), 0) << "a lone space hides the text";

    // With its block the dimension is the block's picture and nothing else.
    Block block;
    block.name = "*D1";
    block.entities.push_back(line({10, 20, 0}, {190, 20, 0}, Color::byBlock()));
    d.blocks.push_back(block);
    d.index();
    image = renderDrawing(d, onePixelPerUnit(200));
    EXPECT_GT(inkIn(image, QRect(20, 179, 160, 3)), 150);
    EXPECT_EQ(inkIn(image, QRect(70, 95, 60, 10)), 0);
}

TEST(RenderAnnotations, MultileaderTextHangsFromItsAttachmentInsideItsFrame) {
    for (bool framed : {false, true}) {
        SCOPED_TRACE(framed);
        Drawing d = emptyDrawing();
        addFrame(d, 200);
        MLeaderData m;
        m.leaderLines = {{{20, 20, 0}, {60, 140, 0}}};  // from the left, where top left would be guessed
        m.text = "MMMM";
        m.textHeight = 10;
        m.textLocation = {150, 150, 0};
        m.textAttachment = 3;  // top right
        m.landingGap = 10;
        m.textFrame = framed;
        add(d, entity("MULTILEADER", m, Color::fromIndex(7)));
        const QImage image = renderDrawing(d, onePixelPerUnit(200));
        // Drawing (x, y) is pixel (x, 200 - y): the text ends at x 150 below y 150.
        EXPECT_GT(inkIn(image, QRect(100, 51, 48, 10)), 0);
        EXPECT_EQ(inkIn(image, QRect(153, 51, 5, 10)), 0);
        // The frame runs the landing gap beyond the text: x 160, y 160.
        EXPECT_EQ(inkIn(image, QRect(159, 48, 3, 10)) > 0, framed);
        EXPECT_EQ(inkIn(image, QRect(110, 39, 30, 3)) > 0, framed);
    }
}

TEST(RenderAnnotations, MultileaderTextRunsAndIsUnderlinedAsItsSettingsSay) {
    // A leader from the left whose dogleg ends at (40, 100); the text's top
    // left is the landing gap on, at (50, 110); its two paragraphs are 40 wide.
    struct Case {
        int flow, attachment;
        bool vertical;
        bool underlined, oneLine;
    } cases[] = {
        {5, 1, false, false, false}, {1, 1, false, false, false}, {3, 1, false, false, true},
        {5, 5, false, true, false},  {5, 6, false, true, false},  {5, 5, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("flow " + std::to_string(c.flow) + ", attachment " + std::to_string(c.attachment) +
                     (c.vertical ? ", at the top" : ""));
        Drawing d = emptyDrawing();
        addFrame(d, 200);
        MLeaderData m;
        m.leaderLines = {{{10, 20, 0}, {30, 100, 0}}};
        m.landingPoints = {{30, 100, 0}};
        m.doglegDirections = {{1, 0, 0}};
        m.doglegLengths = {10};
        m.text = "MMMM\\PMMMM";
        m.textHeight = 10;
        m.textLocation = {50, 110, 0};
        m.textAttachment = 1;
        m.landingGap = 10;
        m.textWidth = 60;
        m.textFlow = c.flow;
        m.leftAttachment = c.attachment;
        m.rightAttachment = 1;
        m.verticalAttachment = c.vertical;
        add(d, entity("MULTILEADER", m, Color::fromIndex(7)));
        const QImage image = renderDrawing(d, onePixelPerUnit(200));
        // Drawing (x, y) is pixel (x, 200 - y).
        EXPECT_GT(inkIn(image, QRect(50, 90, 30, 10)), 0) << "the first paragraph";
        EXPECT_EQ(inkIn(image, QRect(42, 99, 6, 3)) > 0, c.underlined) << "the underline, on from the dogleg";
        EXPECT_EQ(inkIn(image, QRect(100, 90, 30, 10)) > 0, c.oneLine) << "the second paragraph after the first";
        EXPECT_EQ(inkIn(image, QRect(50, 106, 30, 10)) > 0, !c.oneLine) << "the second paragraph below the first";
    }
}

TEST(RenderGeometry, SplinesPassTheirEndsAndStayInTheHull) {
    Drawing d = emptyDrawing();
    addFrame(d, 100);
    SplineData s;
    s.degree = 3;
    s.controlPoints = {{10, 10, 0}, {10, 90, 0}, {90, 90, 0}, {90, 10, 0}};
    s.knots = {0, 0, 0, 0, 1, 1, 1, 1};
    add(d, entity("SPLINE", s, Color::fromIndex(7)));
    const QImage image = renderDrawing(d, onePixelPerUnit(100));
    EXPECT_GT(inkIn(image, QRect(8, 88, 4, 4)), 0);   // starts at (10, 10)
    EXPECT_GT(inkIn(image, QRect(88, 88, 4, 4)), 0);  // ends at (90, 10)
    EXPECT_GT(inkIn(image, QRect(48, 30, 4, 4)), 0);  // top of a Bezier arch: y = 70
    EXPECT_EQ(inkIn(image, QRect(40, 12, 20, 14)), 0);
}


// A spline stored with fit points only must follow the curve the CAD
// application makes of them: here its own control points for the same fit
// points and end tangent (taken from a shared drawing saved both ways).
TEST(RenderGeometry, SplinesOfFitPointsFollowTheirTangentsLikeTheirControlPoints) {
    const std::vector<Vec3> fit = {{-2514.288789172104, 1304.403225798, 0}, {-2366.319359930974, 1874.827217905687, 0},
                                   {-1964.688162383259, 2107.222183622194, 0}, {-1858.99575306804, 2318.490304971529, 0},
                                   {-1541.918454872604, 2698.772966376651, 0}};
    const Vec3 endTangent{-0.9991122500377969, 0.0421273287120226, 0};
    const std::vector<Vec3> control = {
        {-2514.288789172104, 1304.403225798, 0},    {-2514.006349246921, 1529.597990170823, 0},
        {-2512.325821224293, 1931.499687235852, 0}, {-1936.871561335062, 2015.808982279267, 0},
        {-1903.966875470083, 2393.566755819405, 0}, {-1377.333124373838, 2691.833265338131, 0},
        {-1541.918454872604, 2698.772966376651, 0}};
    const double k1 = 589.8666067595314, k2 = 1053.887555352212, k3 = 1290.027124235169, k4 = 1784.22183706974;
    const std::vector<Vec3> reference = nurbsPoints(3, {0, 0, 0, 0, k1, k2, k3, k4, k4, k4, k4}, control, {});
    const std::vector<Vec3> curve = fitCurve(fit, {0, 0, 0}, endTangent);
    ASSERT_GT(curve.size(), fit.size());

    auto distanceToPolyline = [](Vec3 p, const std::vector<Vec3>& line) {
        double best = 1e300;
        for (std::size_t i = 0; i + 1 < line.size(); ++i) {
            const Vec3 a = line[i], ab = line[i + 1] - a;
            const double t = std::clamp(dot(p - a, ab) / std::max(dot(ab, ab), 1e-30), 0.0, 1.0);
            best = std::min(best, length(p - (a + ab * t)));
        }
        return best;
    };
    double worst = 0;
    for (const Vec3& p : curve) worst = std::max(worst, distanceToPolyline(p, reference));
    EXPECT_LT(worst, 3.0) << "the curve is about 1400 units across";
    for (const Vec3& f : fit) EXPECT_LT(distanceToPolyline(f, curve), 1e-6);

    // It leaves its last point along the end tangent: the last piece runs from
    // the right, not on up and to the right as the fit points alone suggest.
    const Vec3 last = curve.back() - curve[curve.size() - 2];
    EXPECT_GT(dot(last * (1.0 / length(last)), endTangent), 0.99);

    // Two points and no tangents: the straight line between them.
    EXPECT_EQ(fitCurve({{0, 0, 0}, {10, 0, 0}}, {}, {}).size(), 2u);
}

}  // namespace
}  // namespace cad::render::testing
