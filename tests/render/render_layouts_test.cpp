// Layouts and viewports, external references, images and underlays, on
// drawings the tests write as DXF files.
#include <gtest/gtest.h>

#include <QImageWriter>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include "DxfWriter.h"
#include "RenderTestSupport.h"
#include "cad/DrawingFile.h"
#include "cad/render/Frontend.h"
#include "cad/render/Layouts.h"

namespace cad::render::testing {
namespace {

using namespace dxfwriter;

// How many pixels of a colour (within a tolerance) the rectangle holds.
int colourIn(const QImage& image, const QRect& r, QRgb colour) {
    int n = 0;
    for (int y = std::max(0, r.top()); y <= std::min(image.height() - 1, r.bottom()); ++y)
        for (int x = std::max(0, r.left()); x <= std::min(image.width() - 1, r.right()); ++x) {
            const QRgb p = image.pixel(x, y);
            if (std::abs(qRed(p) - qRed(colour)) < 40 && std::abs(qGreen(p) - qGreen(colour)) < 40 &&
                std::abs(qBlue(p) - qBlue(colour)) < 40)
                ++n;
        }
    return n;
}
const QRgb kRed = qRgb(255, 0, 0), kBlue = qRgb(0, 0, 255), kGreen = qRgb(0, 255, 0), kMagenta = qRgb(255, 0, 255);

// Paper 0..200 x 0..100 at two pixels per unit: paper (x, y) is pixel (2x, 200 - 2y).
RenderOptions paperWindow(const std::string& layout = {}) {
    RenderOptions o;
    o.longSide = 400;
    o.margin = 0;
    o.antialias = false;
    o.window = cad::render::Window{0, 0, 200, 100};
    o.layout = layout;
    return o;
}
QRect paperRect(double x0, double y0, double x1, double y1) {
    return QRect(QPoint(static_cast<int>(2 * x0), static_cast<int>(200 - 2 * y1)),
                 QPoint(static_cast<int>(2 * x1) - 1, static_cast<int>(200 - 2 * y0) - 1));
}

Drawing readText(const File& f, QTemporaryDir& dir, const QString& name = QStringLiteral("sheet.dxf")) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(f.save(path));
    return openDrawing(path.toStdString());
}

// Model space: a red square 0..10, a blue bar at (100, 100) pointing along
// +X, a green line along y = 5 far to both sides, a magenta square on layer
// HIDDEN at -4..-2. Paper: the sheet, viewport A looking at the square at
// scale 2, viewport B looking at the bar at scale 1 turned a quarter, and
// a yellow circle of its own.
File twoViewports(bool freezeHidden, bool tileMode) {
    File f;
    f.tileMode(tileMode);
    f.layer("0", 7, "10");
    f.layer("HIDDEN", 6, "41");
    f.entities += box(0, 0, 10, 10, on(1));
    f.entities += box(100, 99.5, 110, 100.5, on(5));
    f.entities += dxfwriter::line(-1000, 5, 1000, 5, on(3));
    f.entities += box(-4, -4, -2, -2, on(256, "HIDDEN"));
    f.entities += viewport(sheet(200, 100));
    Viewport a;
    a.cx = 50, a.cy = 50, a.width = 40, a.height = 40, a.viewX = 5, a.viewY = 5, a.viewHeight = 20, a.id = 2;
    if (freezeHidden) a.frozenLayerHandles = {"41"};
    f.entities += viewport(a);
    Viewport b;
    b.cx = 150, b.cy = 50, b.width = 40, b.height = 40, b.targetX = 100, b.targetY = 100, b.viewHeight = 40;
    b.twistDeg = 90, b.id = 3;
    f.entities += viewport(b);
    f.entities += circle(100, 90, 4, on(2, "0", true));
    return f;
}

TEST(RenderLayouts, EachViewportShowsItsPartOfModelSpaceAtItsScaleAndTwistAndNothingBeyond) {
    QTemporaryDir dir;
    const Drawing d = readText(twoViewports(true, false), dir);
    const QImage image = renderDrawing(d, paperWindow());
    // Viewport A: the square fills paper 40..60 at scale 2.
    EXPECT_GT(colourIn(image, paperRect(42, 42, 58, 58), kRed), 900);
    EXPECT_EQ(colourIn(image, paperRect(0, 0, 30, 100), kRed), 0);
    EXPECT_EQ(colourIn(image, paperRect(70, 0, 200, 100), kRed), 0);
    // The green line crosses viewport A only, cut at its edges.
    EXPECT_GT(colourIn(image, paperRect(31, 48, 39, 52), kGreen), 5);
    EXPECT_EQ(colourIn(image, paperRect(0, 45, 29, 55), kGreen), 0);
    EXPECT_EQ(colourIn(image, paperRect(71, 45, 129, 55), kGreen), 0);
    EXPECT_EQ(colourIn(image, paperRect(171, 45, 200, 55), kGreen), 0);
    // Viewport B, turned a quarter: the bar points up from the centre.
    EXPECT_GT(colourIn(image, paperRect(149, 52, 151, 58), kBlue), 5);
    EXPECT_EQ(colourIn(image, paperRect(152, 48, 160, 52), kBlue), 0);
    // The frozen layer stays hidden in A; the paper's own circle shows.
    EXPECT_EQ(colourIn(image, paperRect(30, 30, 40, 40), kMagenta), 0);
    EXPECT_GT(colourIn(image, paperRect(95, 85, 105, 95), qRgb(255, 255, 0)), 5);

    QTemporaryDir other;
    const Drawing thawed = readText(twoViewports(false, false), other);
    EXPECT_GT(colourIn(renderDrawing(thawed, paperWindow()), paperRect(32, 32, 36, 36), kMagenta), 20);
}

TEST(RenderLayouts, ReferencesOutsideAViewportAreNotExpanded) {
    // A hundred references a hundred units apart; the viewport looks at the first.
    File f;
    f.tileMode(false);
    f.layer("0", 7, "10");
    std::string part;
    for (int i = 0; i < 100; ++i) part += dxfwriter::line(i / 10.0, 0, i / 10.0, 10, on(1));
    f.block("PART", part);
    for (int i = 0; i < 100; ++i) f.entities += insert("PART", i * 100.0, 0);
    f.entities += viewport(sheet(200, 100));
    Viewport a;
    a.cx = 50, a.cy = 50, a.width = 40, a.height = 40, a.viewX = 5, a.viewY = 5, a.viewHeight = 20, a.id = 2;
    f.entities += viewport(a);
    QTemporaryDir dir;
    const Drawing d = readText(f, dir);
    EXPECT_EQ(buildScene(d, paperWindow()).work.culled, 99u);
    const QImage image = renderDrawing(d, paperWindow());
    EXPECT_GT(colourIn(image, paperRect(42, 42, 58, 58), kRed), 100);
    EXPECT_EQ(colourIn(image, paperRect(62, 0, 200, 100), kRed), 0);
}

TEST(RenderLayouts, TileModeChoosesWhatOpensAndTheLayoutOptionOverridesIt) {
    QTemporaryDir dir;
    const Drawing paper = readText(twoViewports(true, false), dir, QStringLiteral("paper.dxf"));
    const Drawing model = readText(twoViewports(true, true), dir, QStringLiteral("model.dxf"));
    const QRgb yellow = qRgb(255, 255, 0);
    auto hasCircle = [&](const Drawing& d, const std::string& layout) {
        RenderOptions o;
        o.longSide = 400;
        o.antialias = false;
        o.layout = layout;
        return colourIn(renderDrawing(d, o), QRect(0, 0, 400, 400), yellow) > 0;
    };
    EXPECT_TRUE(hasCircle(paper, ""));
    EXPECT_FALSE(hasCircle(model, ""));
    EXPECT_FALSE(hasCircle(paper, "Model"));
    EXPECT_TRUE(chooseSpace(model, "").block == model.modelSpace());
    std::vector<std::string> problems;
    renderDrawing(model, paperWindow("No such layout"), &problems);
    EXPECT_EQ(problems, std::vector<std::string>{"the drawing has no layout named No such layout"});
}

// R12 keeps a viewport's view in its extended data, and has no subclasses.
std::string r12Viewport(double cx, double cy, double width, double height, int id, double viewX, double viewY, double viewHeight,
                        const std::string& frozenLayer = {}) {
    std::string s = g(0, std::string("VIEWPORT")) + g(67, 1) + g(8, std::string("0")) + point(10, cx, cy) +
                    g(40, width) + g(41, height) + g(68, id) + g(69, id);
    s += g(1001, std::string("ACAD")) + g(1000, std::string("MVIEW")) + g(1002, std::string("{")) + g(1070, 16) +
         point(1010, 0, 0) + point(1010, 0, 0, 1) + g(1040, 0.0) + g(1040, viewHeight) + g(1040, viewX) +
         g(1040, viewY) + g(1040, 50.0) + g(1040, 0.0) + g(1040, 0.0) + g(1070, 0) + g(1002, std::string("{"));
    if (!frozenLayer.empty()) s += g(1003, frozenLayer);
    return s + g(1002, std::string("}")) + g(1002, std::string("}"));
}

TEST(RenderLayouts, R12ViewportsShowModelSpaceThroughTheViewInTheirExtendedData) {
    // The sheet, then a viewport 40 wide at paper (50, 50) looking at model
    // (5, 5) with a view 20 high: scale 2, the red square at paper 40..60.
    std::string entities = box(0, 0, 10, 10, on(1)) + dxfwriter::line(-1000, 5, 1000, 5, on(3)) +
                           box(-4, -4, -2, -2, on(6, "HIDDEN")) + r12Viewport(100, 50, 200, 100, 1, 100, 50, 100);
    entities += r12Viewport(50, 50, 40, 40, 2, 5, 5, 20, "HIDDEN");
    const std::string text = g(0, std::string("SECTION")) + g(2, std::string("HEADER")) +
                             g(9, std::string("$ACADVER")) + g(1, std::string("AC1009")) +
                             g(9, std::string("$TILEMODE")) + g(70, 0) + g(0, std::string("ENDSEC")) +
                             g(0, std::string("SECTION")) + g(2, std::string("ENTITIES")) + entities +
                             g(0, std::string("ENDSEC")) + g(0, std::string("EOF"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r12.dxf"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.data(), static_cast<qint64>(text.size()));
    f.close();
    const QImage image = renderDrawing(openDrawing(path.toStdString()), paperWindow());
    EXPECT_GT(colourIn(image, paperRect(42, 42, 58, 58), kRed), 900);
    EXPECT_EQ(colourIn(image, paperRect(0, 0, 38, 100), kRed) + colourIn(image, paperRect(62, 0, 200, 100), kRed), 0);
    // The line is cut at the viewport's edges, and the sheet adds no view of its own.
    EXPECT_GT(colourIn(image, paperRect(31, 48, 39, 52), kGreen), 5);
    EXPECT_EQ(colourIn(image, paperRect(71, 45, 200, 55), kGreen), 0);
    EXPECT_EQ(colourIn(image, paperRect(0, 0, 200, 100), kMagenta), 0);  // frozen in the viewport
}

TEST(RenderLayouts, ANonRectangularViewportClipsToItsBoundary) {
    File f;
    f.tileMode(false);
    f.layer("0", 7, "10");
    f.entities += box(-1000, -1000, 1000, 1000, on(1));
    f.entities += viewport(sheet(200, 100));
    Viewport v;
    v.cx = 100, v.cy = 50, v.width = 100, v.height = 100, v.viewHeight = 100, v.id = 2;
    v.flags = 32800 | 65536;
    v.clipBoundary = "9A";
    f.entities += viewport(v);
    f.entities += polygon({{60, 10}, {140, 10}, {100, 90}}, on(5, "0", true, "9A"));
    QTemporaryDir dir;
    const QImage image = renderDrawing(readText(f, dir), paperWindow());
    EXPECT_GT(colourIn(image, paperRect(95, 25, 105, 35), kRed), 300);
    EXPECT_EQ(colourIn(image, paperRect(55, 70, 70, 95), kRed), 0);   // in the rectangle, outside the triangle
    EXPECT_EQ(colourIn(image, paperRect(145, 0, 200, 100), kRed), 0);
}

// ---- external references ------------------------------------------------------

// host/plans with space/host.dxf references "refs\base plan.dxf" (backslashes,
// relative), which references "../shared/detail.dxf" (slashes, relative)
// and "gone.dxf" (missing); detail.dxf references the host again as
// "..\\host.dxf" (a cycle).
TEST(RenderReferences, AReferenceTreeDrawsWhatIsFoundAndNamesWhatIsNot) {
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("plans with space"));
    File host;
    host.layer("0", 7, "10");
    host.block("BASE", "", 4, "refs\\base plan.dxf");
    host.entities += insert("BASE", 0, 0);
    host.entities += box(0, 0, 1, 1, on(1));
    File base;
    base.layer("0", 7, "10");
    base.layer("WALLS", 5, "11");
    base.block("DETAIL", "", 4, "../shared/detail.dxf");
    base.block("GONE", "", 4, "gone.dxf");
    base.entities += box(10, 0, 20, 10, on(256, "WALLS"));
    base.entities += insert("DETAIL", 30, 0);
    base.entities += insert("GONE", 0, 0);
    File detail;
    detail.layer("0", 7, "10");
    detail.block("HOST", "", 4, "..\\host.dxf");
    detail.entities += box(0, 0, 10, 10, on(3));
    detail.entities += insert("HOST", 0, 0);
    ASSERT_TRUE(base.save(root + QStringLiteral("/refs/base plan.dxf")));
    ASSERT_TRUE(detail.save(root + QStringLiteral("/shared/detail.dxf")));
    ASSERT_TRUE(host.save(root + QStringLiteral("/host.dxf")));

    const Drawing d = openDrawing((root + QStringLiteral("/host.dxf")).toStdString());
    ASSERT_NE(d.findLayer("BASE|WALLS"), nullptr);
    EXPECT_EQ(d.findLayer("BASE|WALLS")->color, Color::fromIndex(5));
    std::vector<std::string> problems;
    RenderOptions o = onePixelPerUnit(400);
    o.window = cad::render::Window{0, 0, 40, 10};
    const QImage image = renderDrawing(d, o, &problems);
    // 10 pixels per unit: base's walls at 10..20, the detail at 30..40.
    EXPECT_GT(colourIn(image, QRect(110, 10, 80, 80), kBlue), 5000);
    EXPECT_GT(colourIn(image, QRect(310, 10, 80, 80), kGreen), 5000);
    std::sort(problems.begin(), problems.end());
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0], "external reference GONE not found: gone.dxf");
    EXPECT_EQ(problems[1], "external reference HOST (../host.dxf) refers back to a drawing that contains it; not drawn");
}

TEST(RenderReferences, OverlaysInsideAReferenceAreNotFollowedAndEachFileIsReadOnce) {
    QTemporaryDir dir;
    File leaf;
    leaf.layer("0", 7, "10");
    leaf.entities += box(0, 0, 10, 10, on(3));
    File middle;
    middle.layer("0", 7, "10");
    middle.block("LEAF", "", 4 | 8, "leaf.dxf");  // an overlay
    middle.entities += insert("LEAF", 0, 0);
    File host;
    host.layer("0", 7, "10");
    host.block("MIDDLE", "", 4, "middle.dxf");
    host.block("LEAF", "", 4 | 8, "leaf.dxf");    // the host's own overlay shows
    host.block("LEAF2", "", 4, "leaf.dxf");
    host.entities += insert("MIDDLE", 0, 0);
    host.entities += insert("LEAF", 20, 0);
    host.entities += insert("LEAF2", 40, 0);
    ASSERT_TRUE(leaf.save(dir.filePath("leaf.dxf")));
    ASSERT_TRUE(middle.save(dir.filePath("middle.dxf")));
    ASSERT_TRUE(host.save(dir.filePath("host.dxf")));
    const Drawing d = openDrawing(dir.filePath("host.dxf").toStdString());
    EXPECT_TRUE(d.referenceProblems.empty());
    EXPECT_TRUE(d.findBlock("MIDDLE|LEAF")->entities.empty());
    EXPECT_EQ(d.findBlock("LEAF")->entities.size(), 1u);
    EXPECT_EQ(d.findBlock("LEAF2")->entities.size(), 1u);
}

// References are read only while all of them together stay within the
// budget; the one that would pass it is named and not read.
TEST(RenderReferences, ReferencesTogetherStayWithinTheirByteBudget) {
    QTemporaryDir dir;
    File part;
    part.layer("0", 7, "10");
    part.entities += box(0, 0, 10, 10, on(3));
    ASSERT_TRUE(part.save(dir.filePath("a.dxf")));
    ASSERT_TRUE(part.save(dir.filePath("b.dxf")));
    File host;
    host.layer("0", 7, "10");
    host.block("A", "", 4, "a.dxf");
    host.block("B", "", 4, "b.dxf");
    host.entities += insert("A", 0, 0);
    host.entities += insert("B", 20, 0);
    ASSERT_TRUE(host.save(dir.filePath("host.dxf")));
    ReferenceRules rules;
    rules.byteBudget = static_cast<std::uint64_t>(QFileInfo(dir.filePath("a.dxf")).size()) * 3 / 2;
    const Drawing d = openDrawing(dir.filePath("host.dxf").toStdString(), rules);
    EXPECT_EQ(d.findBlock("A")->entities.size(), 1u);
    EXPECT_TRUE(d.findBlock("B")->entities.empty());
    ASSERT_EQ(d.referenceProblems.size(), 1u);
    EXPECT_NE(d.referenceProblems[0].find("external reference B is not read: the drawing's references together pass"),
              std::string::npos) << d.referenceProblems[0];
}

// ---- images and underlays -------------------------------------------------------

// A 40 x 20 picture: its left half red, its right half blue.
QImage twoColours() {
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(kRed);
    for (int y = 0; y < 20; ++y)
        for (int x = 20; x < 40; ++x) image.setPixel(x, y, kBlue);
    return image;
}

std::string imageEntity(const std::string& handle, double x, double y, double ux, double uy, double vx, double vy,
                        const std::string& definition, const std::string& clip = {}) {
    return common("IMAGE", on(7, "0", false, handle)) + g(100, std::string("AcDbRasterImage")) + point(10, x, y) +
           point(11, ux, uy) + point(12, vx, vy) + g(13, 40.0) + g(23, 20.0) + g(340, definition) + g(70, 7) +
           g(280, clip.empty() ? 0 : 1) + g(281, 50) + g(282, 50) + g(283, 0) + clip;
}
std::string imageDefinition(const std::string& handle, const std::string& path) {
    return g(0, std::string("IMAGEDEF")) + g(5, handle) + g(100, std::string("AcDbRasterImageDef")) + g(1, path) +
           g(10, 40.0) + g(20, 20.0);
}

TEST(RenderPictures, PngAndTiffLandOnTheirFrameTurnedAndClipped) {
    for (const char* format : {"png", "tiff"}) {
        SCOPED_TRACE(format);
        if (!QImageWriter::supportedImageFormats().contains(QByteArray(format))) GTEST_SKIP() << "no writer";
        QTemporaryDir dir;
        const QString name = QStringLiteral("pics/scan.") + QLatin1String(format);
        QDir().mkpath(dir.filePath(QStringLiteral("pics")));
        ASSERT_TRUE(twoColours().save(dir.filePath(name)));
        File f;
        f.layer("0", 7, "10");
        // Turned a quarter: the picture's u runs up, v to the left; one pixel
        // is one unit, so the 40 x 20 picture covers x -20..0, y 0..40.
        f.entities += imageEntity("A0", 0, 0, 0, 1, -1, 0, "A1");
        // The same clipped to its left half (pixels 0..19): y 0..20 only.
        f.entities += imageEntity("B0", 50, 0, 0, 1, -1, 0, "A1",
                                  g(71, 1) + g(14, -0.5) + g(24, -0.5) + g(14, 19.5) + g(24, 19.5));
        f.objects += imageDefinition("A1", "pics\\scan." + std::string(format));
        const Drawing d = readText(f, dir);
        std::vector<std::string> problems;
        RenderOptions o = onePixelPerUnit(100);
        o.window = cad::render::Window{-50, -10, 100, 100};  // one pixel per unit: (x, y) is pixel (x + 50, 90 - y)
        const QImage image = renderDrawing(d, o, &problems);
        EXPECT_TRUE(problems.empty()) << problems.front();
        EXPECT_GT(colourIn(image, QRect(32, 72, 16, 16), kRed), 200);    // x -18..-2, y 2..18
        EXPECT_GT(colourIn(image, QRect(32, 52, 16, 16), kBlue), 200);   // y 22..38
        EXPECT_GT(colourIn(image, QRect(82, 72, 16, 16), kRed), 200);    // the clipped one keeps its red half
        EXPECT_EQ(colourIn(image, QRect(82, 52, 16, 16), kBlue), 0);     // and loses the blue one
    }
}

// A drawing of one picture on the unit square, painted at a hundred pixels.
QImage pictureOnUnitSquare(QTemporaryDir& dir, const std::string& file, std::vector<std::string>* problems) {
    File f;
    f.layer("0", 7, "10");
    f.entities += imageEntity("A0", 0, 0, 1, 0, 0, 1, "A1");
    f.objects += imageDefinition("A1", file);
    return renderDrawing(readText(f, dir), onePixelPerUnit(100), problems);
}

TEST(RenderPictures, APictureMovedFromAnotherMachineIsFoundBesideTheDrawingByName) {
    QTemporaryDir dir;
    ASSERT_TRUE(twoColours().save(dir.filePath(QStringLiteral("scan.png"))));
    std::vector<std::string> problems;
    const QImage image = pictureOnUnitSquare(dir, "C:\\Old Server\\scans\\Scan.PNG", &problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_GT(colourIn(image, image.rect(), kRed), 100);
}

TEST(RenderPictures, AMissingPictureKeepsItsFrameAndIsNamed) {
    QTemporaryDir dir;
    std::vector<std::string> problems;
    const QImage image = pictureOnUnitSquare(dir, "C:\\scans\\gone.png", &problems);
    EXPECT_EQ(problems, std::vector<std::string>{"picture not found: C:/scans/gone.png"});
    EXPECT_GT(inkIn(image, image.rect()), 100);  // the frame
}

// An ordinary scanned plan of 36 megapixels: more than Qt's image reader
// takes by default, well within what the renderer decodes.
TEST(RenderPictures, AScanOfManyMegapixelsIsDrawn) {
    QTemporaryDir dir;
    QImage scan(6000, 6000, QImage::Format_RGB32);
    scan.fill(kRed);
    ASSERT_TRUE(scan.save(dir.filePath(QStringLiteral("scan.jpg")), "JPEG", 50));
    scan = QImage();
    std::vector<std::string> problems;
    const QImage image = pictureOnUnitSquare(dir, "scan.jpg", &problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_GT(colourIn(image, image.rect(), kRed), 500);
}

TEST(RenderPictures, APdfPageShowsUnderItsUnderlay) {
    QTemporaryDir dir;
    {
        // A page 2 x 1 inches, its left half filled green.
        QPdfWriter pdf(dir.filePath(QStringLiteral("sheet.pdf")));
        pdf.setPageSize(QPageSize(QSizeF(2, 1), QPageSize::Inch));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setResolution(72);
        QPainter p(&pdf);
        p.fillRect(QRectF(0, 0, 72, 72), QColor(kGreen));
    }
    File f;
    f.layer("0", 7, "10");
    // Scale 10: the page covers 0..20 x 0..10.
    f.entities += common("PDFUNDERLAY", on(7, "0", false, "C0")) + g(100, std::string("AcDbUnderlayReference")) +
                  g(340, std::string("C1")) + point(10, 0, 0) + g(41, 10.0) + g(42, 10.0) + g(43, 10.0) + g(280, 2);
    f.objects += g(0, std::string("PDFDEFINITION")) + g(5, std::string("C1")) +
                 g(100, std::string("AcDbUnderlayDefinition")) + g(1, std::string("sheet.pdf")) + g(2, std::string("1"));
    const Drawing d = readText(f, dir);
    std::vector<std::string> problems;
    RenderOptions o = onePixelPerUnit(200);
    o.window = cad::render::Window{0, 0, 20, 10};  // ten pixels per unit
    const QImage image = renderDrawing(d, o, &problems);
#ifndef LUMICADE_TEST_NO_PDF
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_GT(colourIn(image, QRect(10, 10, 80, 80), kGreen), 5000);
    EXPECT_EQ(colourIn(image, QRect(110, 10, 80, 80), kGreen), 0);
#endif
}

// The saved view frames the picture edge to edge; looked at from the side,
// a line standing up along Z shows as a tall line, not as a dot.
TEST(RenderSavedView, TheActiveViewportFramesModelSpaceFromItsDirection) {
    QTemporaryDir dir;
    File plan;
    plan.activeView(5, 5, 20, 2);
    plan.entities = box(0, 0, 10, 10, on(1)) + box(100, 100, 110, 110, on(5));
    RenderOptions o;
    o.longSide = 400;
    o.antialias = false;
    const Drawing d = readText(plan, dir);
    EXPECT_GT(colourIn(renderDrawing(d, o), QRect(0, 0, 400, 400), kBlue), 20) << "the extents hold both squares";
    o.view = ViewChoice::Saved;
    const QImage saved = renderDrawing(d, o);
    ASSERT_EQ(saved.size(), QSize(400, 200)) << "the view's own shape, with no margin";
    EXPECT_EQ(colourIn(saved, saved.rect(), kBlue), 0);
    // Square 0..10 in a view -15..25 by -5..15 at ten pixels a unit.
    EXPECT_GT(colourIn(saved, QRect(150, 50, 101, 101), kRed), 300);
    EXPECT_EQ(colourIn(saved, QRect(0, 0, 140, 200), kRed), 0);

    File side;
    side.activeView(0, 5, 20, 1, 1, 0, 0);
    side.entities = common("LINE", on(1)) + point(10, 0, 0, 0) + point(11, 0, 0, 10);
    const QImage standing = renderDrawing(readText(side, dir, QStringLiteral("side.dxf")), o);
    const int tall = colourIn(standing, QRect(195, 0, 10, 400), kRed);
    EXPECT_GT(tall, 150) << "a line of 10 units in a view 20 high at 400 pixels";
}

}  // namespace
}  // namespace cad::render::testing
