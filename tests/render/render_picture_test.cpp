// The picture as a whole: where things land, their colours, what is hidden,
// how inserts place their blocks, and the BMP export.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>

#include "RenderTestSupport.h"
#include "cad/DrawingFile.h"

namespace cad::render::testing {
namespace {

constexpr double kPi = 3.14159265358979323846;

TEST(RenderView, LineLandsOnTheExpectedPixelsAndFrameFitsTheExtents) {
    Drawing d = emptyDrawing();
    d.header.extMin = {-5000, -5000, 0};  // the header's extents are not trusted
    d.header.extMax = {5000, 5000, 0};
    add(d, line({0, 0, 0}, {200, 100, 0}, Color::fromIndex(7)));
    const QImage image = renderDrawing(d, onePixelPerUnit(200));
    ASSERT_EQ(image.size(), QSize(200, 100));  // the drawing's aspect ratio
    for (int x : {10, 50, 100, 150, 190}) {
        const int y = 100 - x / 2;
        EXPECT_GT(inkIn(image, QRect(x - 1, y - 1, 3, 3)), 0) << "no line near x=" << x;
    }
    EXPECT_EQ(inkIn(image, QRect(20, 20, 40, 30)), 0) << "ink above the line";
    EXPECT_EQ(inkIn(image, QRect(120, 80, 40, 15)), 0) << "ink below the line";
}

TEST(RenderView, DefaultPictureHasTheLongSideAndAMargin) {
    Drawing d = emptyDrawing();
    add(d, line({0, 0, 0}, {30, 60, 0}, Color::fromIndex(7)));
    const QImage image = renderDrawing(d);
    EXPECT_EQ(image.height(), 2048);
    EXPECT_NEAR(image.width(), 1024 + 0.04 * 2048 / 2, 60);
    // Nothing touches the border.
    EXPECT_EQ(inkIn(image, QRect(0, 0, image.width(), 10)), 0);
    EXPECT_EQ(inkIn(image, QRect(0, image.height() - 10, image.width(), 10)), 0);
}

TEST(RenderView, EmptyDrawingGivesAPlainPicture) {
    const QImage image = renderDrawing(emptyDrawing());
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(std::max(image.width(), image.height()), 2048);
    EXPECT_EQ(inkIn(image, image.rect()), 0);
}

TEST(RenderView, RaysAndConstructionLinesAreDrawnButNotCounted) {
    Drawing d = emptyDrawing();
    addFrame(d, 100);
    add(d, entity("XLINE", RayData{{50, 50, 0}, {1, 1, 0}}, Color::fromIndex(5)));
    add(d, entity("RAY", RayData{{1e6, 1e6, 0}, {1, 0, 0}}, Color::fromIndex(5)));  // far away: not in view
    const QImage image = renderDrawing(d, onePixelPerUnit(100));
    ASSERT_EQ(image.size(), QSize(100, 100));
    EXPECT_GT(inkIn(image, QRect(8, 88, 4, 4)), 0);   // (10, 10) on the construction line
    EXPECT_GT(inkIn(image, QRect(88, 8, 4, 4)), 0);   // (90, 90)
    EXPECT_EQ(inkIn(image, QRect(60, 60, 20, 20)), 0);
}

TEST(RenderView, DrawingOfOnlyARayShowsIt) {
    Drawing d = emptyDrawing();
    add(d, entity("RAY", RayData{{1000, 1000, 0}, {0, -1, 0}}, Color::fromIndex(7)));
    const QImage image = renderDrawing(d, onePixelPerUnit(100));
    EXPECT_GT(inkIn(image, image.rect()), 20);
}

TEST(RenderColors, IndexTrueAndForegroundColours) {
    Drawing d = emptyDrawing();
    addFrame(d, 100);
    add(d, line({10, 80, 0}, {90, 80, 0}, Color::fromIndex(1)));
    add(d, line({10, 60, 0}, {90, 60, 0}, Color::fromIndex(7)));
    add(d, line({10, 40, 0}, {90, 40, 0}, Color::fromRgb(0x3366CC)));
    add(d, line({10, 20, 0}, {90, 20, 0}, Color::fromIndex(3)));
    RenderOptions o = onePixelPerUnit(100);
    const QImage white = renderDrawing(d, o);
    EXPECT_EQ(white.pixel(50, 20), qRgb(255, 0, 0));
    EXPECT_EQ(white.pixel(50, 40), qRgb(0, 0, 0));
    EXPECT_EQ(white.pixel(50, 60), qRgb(0x33, 0x66, 0xCC));
    EXPECT_EQ(white.pixel(50, 80), qRgb(0, 255, 0));
    EXPECT_EQ(white.pixel(50, 50), qRgb(255, 255, 255));

    o.background = 0xFF000000u;
    const QImage black = renderDrawing(d, o);
    EXPECT_EQ(black.pixel(50, 40), qRgb(255, 255, 255));
    EXPECT_EQ(black.pixel(50, 20), qRgb(255, 0, 0));
    EXPECT_EQ(black.pixel(50, 50), qRgb(0, 0, 0));
}

TEST(RenderLayers, ByLayerColourAndLayersThatAreOffOrFrozen) {
    Drawing d = emptyDrawing();
    Layer red, off, frozen;
    red.name = "Red";
    red.color = Color::fromIndex(1);
    off.name = "Hidden";
    off.on = false;
    frozen.name = "Frozen";
    frozen.frozen = true;
    d.layers.insert(d.layers.end(), {red, off, frozen});
    d.index();
    addFrame(d, 100);
    add(d, line({10, 80, 0}, {90, 80, 0}, Color::byLayer(), "red"));  // layer names ignore case
    add(d, line({10, 50, 0}, {90, 50, 0}, Color::fromIndex(7), "Hidden"));
    add(d, line({10, 20, 0}, {90, 20, 0}, Color::fromIndex(7), "Frozen"));
    const QImage image = renderDrawing(d, onePixelPerUnit(100));
    EXPECT_EQ(image.pixel(50, 20), qRgb(255, 0, 0));
    EXPECT_EQ(inkIn(image, QRect(5, 45, 90, 10)), 0) << "a layer that is off shows";
    EXPECT_EQ(inkIn(image, QRect(5, 75, 90, 10)), 0) << "a frozen layer shows";
}

// Block "ARM": a line from its base (5, 5) ten units along x.
Drawing drawingWithArm() {
    Drawing d = emptyDrawing();
    Block arm;
    arm.name = "ARM";
    arm.base = {5, 5, 0};
    arm.entities.push_back(line({5, 5, 0}, {15, 5, 0}, Color::fromIndex(7)));
    d.blocks.push_back(arm);
    d.index();
    addFrame(d, 100);
    return d;
}

TEST(RenderInserts, ScaleAndRotationPlaceTheBlock) {
    Drawing d = drawingWithArm();
    InsertData ins;
    ins.blockName = "arm";
    ins.insertion = {50, 50, 0};
    ins.scale = {3, 3, 1};
    ins.rotation = kPi / 2;
    add(d, entity("INSERT", ins));
    const QImage image = renderDrawing(d, onePixelPerUnit(100));
    // The arm now runs from (50, 50) up to (50, 80).
    EXPECT_GT(inkIn(image, QRect(49, 22, 3, 3)), 0);
    EXPECT_GT(inkIn(image, QRect(49, 45, 3, 3)), 0);
    EXPECT_EQ(inkIn(image, QRect(53, 10, 40, 80)), 0) << "the arm was not turned";
    EXPECT_EQ(inkIn(image, QRect(45, 10, 10, 8)), 0) << "the arm is too long";
}

TEST(RenderInserts, ArraysOfMinsertAndMirroredScale) {
    Drawing d = drawingWithArm();
    InsertData ins;
    ins.blockName = "ARM";
    ins.insertion = {20, 20, 0};
    ins.columns = 2;
    ins.rows = 3;
    ins.columnSpacing = 40;
    ins.rowSpacing = 20;
    add(d, entity("INSERT", ins));
    InsertData mirrored;
    mirrored.blockName = "ARM";
    mirrored.insertion = {90, 95, 0};
    mirrored.scale = {-2, 1, 1};
    add(d, entity("INSERT", mirrored));
    const QImage image = renderDrawing(d, onePixelPerUnit(100));
    for (int c = 0; c < 2; ++c)
        for (int r = 0; r < 3; ++r)
            EXPECT_GT(inkIn(image, QRect(24 + c * 40, 100 - (20 + r * 20) - 1, 3, 3)), 0) << "copy " << c << "," << r;
    EXPECT_GT(inkIn(image, QRect(75, 4, 3, 3)), 0) << "mirrored copy runs to the left";
}

TEST(RenderInserts, ByBlockAndLayerZeroFollowTheInsertThroughNesting) {
    Drawing d = emptyDrawing();
    Layer blue;
    blue.name = "Blue";
    blue.color = Color::fromIndex(5);
    d.layers.push_back(blue);
    Block inner;
    inner.name = "INNER";
    inner.entities.push_back(line({0, 0, 0}, {10, 0, 0}, Color::byBlock()));
    inner.entities.push_back(line({0, 10, 0}, {10, 10, 0}, Color::byLayer(), "0"));
    Block outer;
    outer.name = "OUTER";
    InsertData nested;
    nested.blockName = "INNER";
    outer.entities.push_back(entity("INSERT", nested, Color::byBlock()));
    d.blocks.push_back(inner);
    d.blocks.push_back(outer);
    d.index();
    addFrame(d, 100);
    InsertData top;
    top.blockName = "OUTER";
    top.insertion = {40, 40, 0};
    add(d, entity("INSERT", top, Color::fromIndex(1), "Blue"));
    const QImage image = renderDrawing(d, onePixelPerUnit(100));
    EXPECT_EQ(image.pixel(45, 60), qRgb(255, 0, 0)) << "ByBlock takes the outer insert's colour";
    EXPECT_EQ(image.pixel(45, 50), qRgb(0, 0, 255)) << "layer 0 takes the insert's layer";

    // Turning the insert's layer off hides what lies on layer 0 inside it.
    d.layers.back().on = false;
    d.index();
    const QImage hidden = renderDrawing(d, onePixelPerUnit(100));
    EXPECT_EQ(inkIn(hidden, QRect(38, 45, 15, 10)), 0);
}

TEST(RenderInserts, SelfReferenceAndMissingBlocksAreHarmless) {
    Drawing d = emptyDrawing();
    Block loop;
    loop.name = "LOOP";
    InsertData again;
    again.blockName = "LOOP";
    loop.entities.push_back(line({0, 0, 0}, {1, 1, 0}));
    loop.entities.push_back(entity("INSERT", again));
    d.blocks.push_back(loop);
    d.index();
    InsertData top;
    top.blockName = "LOOP";
    add(d, entity("INSERT", top));
    InsertData missing;
    missing.blockName = "NOWHERE";
    add(d, entity("INSERT", missing));
    const QImage image = renderDrawing(d, onePixelPerUnit(64));
    EXPECT_GT(inkIn(image, image.rect()), 0);
}

TEST(RenderInserts, AttributesShowTheirValuesAndDefinitionsOnlyWhenConstant) {
    Drawing d = emptyDrawing();
    auto attdef = [](Vec3 at, int flags) {
        TextData t;
        t.insertion = at;
        t.height = 8;
        t.tag = "TAG";
        t.value = "VALUE";
        t.attributeFlags = flags;
        return entity("ATTDEF", t, Color::fromIndex(7));
    };
    Block b;
    b.name = "TITLE";
    b.entities = {attdef({10, 80, 0}, 0), attdef({10, 50, 0}, 2)};
    d.blocks.push_back(b);
    d.index();
    addFrame(d, 100);
    InsertData ins;
    ins.blockName = "TITLE";
    TextData value;
    value.insertion = {10, 20, 0};
    value.height = 8;
    value.value = "FILLED";
    ins.attributes = {entity("ATTRIB", value, Color::fromIndex(7))};
    TextData hidden = value;
    hidden.insertion = {60, 80, 0};
    hidden.attributeFlags = 1;
    ins.attributes.push_back(entity("ATTRIB", hidden, Color::fromIndex(7)));
    add(d, entity("INSERT", ins));
    const QImage image = renderDrawing(d, onePixelPerUnit(100));
    EXPECT_EQ(inkIn(image, QRect(5, 10, 90, 15)), 0) << "a variable definition shows inside its block";
    EXPECT_GT(inkIn(image, QRect(5, 40, 90, 15)), 20) << "the constant attribute is missing";
    EXPECT_GT(inkIn(image, QRect(5, 70, 90, 15)), 20) << "the attribute's value is missing";
}

// A block of 100 inserts of a block of 100 inserts ... six deep would mean
// 10^12 lines: the picture is made anyway, in bounded time.
TEST(RenderInserts, ExplodingNestingStaysBounded) {
    Drawing d = emptyDrawing();
    for (int level = 0; level < 6; ++level) {
        Block b;
        b.name = "L" + std::to_string(level);
        if (level == 0) {
            b.entities.push_back(line({0, 0, 0}, {1, 1, 0}));
        } else {
            InsertData ins;
            ins.blockName = "L" + std::to_string(level - 1);
            ins.columns = 10;
            ins.rows = 10;
            ins.columnSpacing = ins.rowSpacing = std::pow(10.0, level - 1);
            b.entities.push_back(entity("INSERT", ins));
        }
        d.blocks.push_back(b);
    }
    d.index();
    InsertData top;
    top.blockName = "L5";
    add(d, entity("INSERT", top));
    add(d, line({0, 0, 0}, {-1e308, 1e308, 0}));  // and extents beyond any scale
    const QImage image = renderDrawing(d, onePixelPerUnit(64));
    EXPECT_FALSE(image.isNull());
}

TEST(RenderExport, BmpIsA24BitPictureOfTheRequestedSize) {
    Drawing d = emptyDrawing();
    addFrame(d, 100);
    add(d, line({0, 0, 0}, {100, 100, 0}, Color::fromIndex(1)));
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("out.bmp")).toStdString();
    std::string error;
    RenderOptions o;
    o.longSide = 300;
    ASSERT_TRUE(exportBmp(d, path, o, &error)) << error;
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    ASSERT_GT(bytes.size(), 54);
    EXPECT_EQ(bytes.left(2), QByteArray("BM"));
    EXPECT_EQ(static_cast<unsigned char>(bytes[28]), 24);  // bits per pixel
    const QImage back(QString::fromStdString(path));
    EXPECT_EQ(back.size(), QSize(300, 300));

    EXPECT_FALSE(exportBmp(d, dir.filePath(QStringLiteral("none/out.bmp")).toStdString(), o, &error));
    EXPECT_FALSE(error.empty());
}

// The file holds the very pixels the renderer draws: colours in their
// order, rows bottom-up, rows of an odd width padded.
TEST(RenderExport, BmpHoldsTheRenderedPixels) {
    Drawing d = emptyDrawing();
    addFrame(d, 100);
    add(d, line({0, 0, 0}, {100, 40, 0}, Color::fromIndex(1)));
    add(d, line({0, 100, 0}, {30, 0, 0}, Color::fromIndex(5)));
    QTemporaryDir dir;
    for (const int side : {301, 302, 303, 304}) {
        RenderOptions o;
        o.longSide = side;
        o.window = cad::render::Window{0, 0, 100, 61};  // a picture wider than high: the width is the odd one
        const std::string path = dir.filePath(QStringLiteral("out%1.bmp").arg(side)).toStdString();
        std::string error;
        ASSERT_TRUE(exportBmp(d, path, o, &error)) << error;
        const QImage expected = renderDrawing(d, o).convertToFormat(QImage::Format_RGB32);
        const QImage back = QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(back.size(), expected.size()) << side;
        EXPECT_TRUE(back == expected) << "side " << side;
        // Each row's padding is left zero.
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        const int rowBytes = (back.width() * 3 + 3) / 4 * 4;
        ASSERT_EQ(bytes.size(), 54 + rowBytes * back.height());
        for (int y = 0; y < back.height(); ++y)
            for (int pad = back.width() * 3; pad < rowBytes; ++pad)
                ASSERT_EQ(bytes[54 + y * rowBytes + pad], 0) << "side " << side << " row " << y;
    }
}

// Every shared drawing the readers open gives a picture that is not blank.
TEST(RenderSharedDrawings, ExampleAndSampleDrawingsAreNotBlank) {
    const QDir dir(QStringLiteral(LUMICADE_DRAWINGS_DIR));
    const QStringList files = dir.entryList({QStringLiteral("*.dxf"), QStringLiteral("*.dwg")}, QDir::Files, QDir::Name);
    if (files.isEmpty()) GTEST_SKIP() << "no shared drawings at " << LUMICADE_DRAWINGS_DIR;
    RenderOptions o;
    o.longSide = 256;
    int rendered = 0;
    for (const QString& name : files) {
        Drawing drawing;
        try {
            drawing = readDrawingFile(dir.filePath(name).toStdString());
        } catch (const ReadError& e) {
            if (name.endsWith(QLatin1String(".dxf"))) ADD_FAILURE() << name.toStdString() << ": " << e.what();
            continue;  // a DWG version the reader does not open yet
        }
        const QImage image = renderDrawing(drawing, o);
        EXPECT_EQ(std::max(image.width(), image.height()), 256) << name.toStdString();
        EXPECT_GT(inkIn(image, image.rect()), 50) << name.toStdString() << " is blank";
        ++rendered;
    }
    EXPECT_GT(rendered, 0);
}

}  // namespace
}  // namespace cad::render::testing
