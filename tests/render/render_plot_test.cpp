// Plots: the page a page set-up describes, where the drawing stands on it,
// and the pens a plot style table gives.
#include <gtest/gtest.h>

#include <QPainter>
#include <memory>

#include "RenderTestSupport.h"
#include "cad/DrawingFile.h"
#include "cad/render/Frontend.h"
#include "cad/render/Plot.h"

namespace cad::render::testing {
namespace {

std::string shared(const char* name) { return std::string(LUMICADE_DRAWINGS_DIR) + "/" + name; }

TEST(Plot, PaperNamesAndSizes) {
    const struct {
        const char* name;
        double width, height;
    } known[] = {{"A4", 210, 297}, {"a3", 297, 420}, {"Letter", 215.9, 279.4}, {"ANSI_D", 558.8, 863.6},
                 {"420x297mm", 420, 297}, {"17x11in", 431.8, 279.4}, {"100X50", 100, 50}};
    for (const auto& k : known) {
        const auto paper = paperNamed(k.name);
        ASSERT_TRUE(paper) << k.name;
        EXPECT_NEAR(paper->width, k.width, 1e-9) << k.name;
        EXPECT_NEAR(paper->height, k.height, 1e-9) << k.name;
    }
    for (const char* bad : {"", "A9", "x", "0x0mm", "210x", "210x297cm", "1e9x1e9", "nanxnan"})
        EXPECT_FALSE(paperNamed(bad)) << bad;
}

// The example's layouts stand on Letter turned a quarter, at 1:1: the page
// is the sheet as the layout's limits show it, margins and all.
TEST(Plot, ALayoutAtItsScaleFillsItsSheetAsItsLimitsShowIt) {
    for (const char* file : {"example_2018.dwg", "example_2018.dxf"}) {
        SCOPED_TRACE(file);
        const Drawing d = readDrawingFile(shared(file));
        const Plot plot = planPlot(d, "Layout1", {});
        EXPECT_NEAR(plot.pageWidth, 279.4, 1e-4);
        EXPECT_NEAR(plot.pageHeight, 215.9, 1e-4);
        EXPECT_NEAR(plot.mmPerUnit, 1.0, 1e-12);
        const Box page = plot.window({});
        const Layout* l = d.findLayout("Layout1");
        EXPECT_NEAR(page.minX, l->limMin.x, 1e-4);
        EXPECT_NEAR(page.minY, l->limMin.y, 1e-4);
        EXPECT_NEAR(page.maxX, l->limMax.x, 1e-4);
        EXPECT_NEAR(page.maxY, l->limMax.y, 1e-4);
        EXPECT_EQ(plot.longSidePixels(), 1650);  // 279.4 mm at 150 dpi
    }
}

// Model space is fitted to its set-up's ANSI A, at the printable area's
// lower left corner; asked for another sheet, it is fitted to that one.
TEST(Plot, ModelSpaceIsFittedToItsOwnSheetOrTheOneAskedFor) {
    const Drawing d = readDrawingFile(shared("example_2018.dwg"));
    const Box drawn{0, 0, 400, 100};
    struct Case {
        const char* paper;
        double width, height;
    } cases[] = {{"", 279.4, 215.9}, {"A3", 420, 297}, {"100x400mm", 100, 400}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.paper);
        PlotRequest request;
        request.paper = c.paper;
        const Plot plot = planPlot(d, "Model", request);
        EXPECT_NEAR(plot.pageWidth, c.width, 1e-4);
        EXPECT_NEAR(plot.pageHeight, c.height, 1e-4);
        const Box page = plot.window(drawn);
        const double mmPerUnit = plot.pageWidth / page.width();
        EXPECT_NEAR(mmPerUnit, plot.pageHeight / page.height(), 1e-9) << "the page keeps its shape";
        // The drawing's wider side fills the printable width; it starts at the printable corner.
        EXPECT_NEAR(drawn.width() * mmPerUnit, plot.pageWidth - plot.left - plot.right, 1e-6);
        EXPECT_NEAR((drawn.minX - page.minX) * mmPerUnit, plot.left, 1e-6);
        EXPECT_NEAR((drawn.minY - page.minY) * mmPerUnit, plot.bottom, 1e-6);
    }
}

// The bounding box of the pixels near a colour, or an empty rectangle.
QRect whereColour(const QImage& image, QRgb colour) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (const QRgb p = image.pixel(x, y); std::abs(qRed(p) - qRed(colour)) + std::abs(qGreen(p) - qGreen(colour)) +
                                                          std::abs(qBlue(p) - qBlue(colour)) < 90)
                box |= QRect(x, y, 1, 1);
    return box;
}

// A set-up's rotation turns the drawing on the sheet a quarter at a time:
// 1 and 3 hold the sheet the long way across, 2 and 3 draw upside down.
// The sheet is 100 x 200 mm with margins of 2, 4, 6 and 8 mm (left,
// bottom, right, top as the device holds it), so the corner the plot starts
// in tells the turn; both painters (ours, and Qt's for PDF) agree.
TEST(Plot, TheSetUpsRotationTurnsTheDrawingOnTheSheet) {
    Drawing d = emptyDrawing();
    add(d, line({0, 0, 0}, {50, 0, 0}, Color::fromIndex(1)));
    RayData ray{{0, 20, 0}, {1, 0, 0}};  // runs off the sheet in +x
    add(d, entity("RAY", ray, Color::fromIndex(3)));
    Layout model;
    model.name = "Model";
    model.paperWidth = 100, model.paperHeight = 200;
    model.marginLeft = 2, model.marginBottom = 4, model.marginRight = 6, model.marginTop = 8;
    model.paperUnits = 1;
    model.plotType = 4;  // a window from the origin: the origin lands at the printable corner
    model.plotWindowMax = {1, 1};
    const struct {
        int rotation;
        QRectF red, green;  // millimetres on the picture, y downwards
    } cases[] = {
        {0, {2, 196, 50, 0}, {2, 176, 98, 0}},
        {1, {8, 98, 50, 0}, {8, 78, 192, 0}},
        {2, {44, 8, 50, 0}, {0, 28, 94, 0}},
        {3, {146, 6, 50, 0}, {0, 26, 196, 0}},
    };
    PlotRequest request;
    request.dotsPerInch = 127;  // five pixels a millimetre
    for (const auto& c : cases) {
        model.plotRotation = c.rotation;
        d.layouts = {model};
        RenderOptions options;
        options.antialias = false;
        preparePlot(d, options, request);
        const ScenePicture picture(d, options);
        QImage qt(picture.size(), QImage::Format_RGB32);
        QPainter painter(&qt);
        picture.paint(painter);
        painter.end();
        const bool wide = c.rotation & 1;
        const QImage images[] = {picture.toImage(), qt};
        for (const QImage& image : images) {
            SCOPED_TRACE(::testing::Message() << "rotation " << c.rotation << (&image == &images[1] ? ", Qt's painter" : ""));
            EXPECT_EQ(image.size(), wide ? QSize(1000, 500) : QSize(500, 1000));
            const QRect red = whereColour(image, qRgb(255, 0, 0)), green = whereColour(image, qRgb(0, 255, 0));
            EXPECT_NEAR(red.left(), c.red.left() * 5, 2);
            EXPECT_NEAR(red.right(), c.red.right() * 5, 2);
            EXPECT_NEAR(red.center().y(), c.red.top() * 5, 2);
            EXPECT_NEAR(green.left(), c.green.left() * 5, 2);
            EXPECT_NEAR(green.right(), c.green.right() * 5, 2);
            EXPECT_NEAR(green.center().y(), c.green.top() * 5, 2);
        }
    }
}

// Without a page set-up, the sheet turns to the drawing and the drawing stands in its middle.
TEST(Plot, WithoutAPageSetUpTheSheetTurnsToTheDrawing) {
    const Drawing d = emptyDrawing();
    for (const Box drawn : {Box{0, 0, 300, 100}, Box{0, 0, 100, 300}}) {
        const Plot plot = planPlot(d, "Model", {});
        const Box page = plot.window(drawn);
        EXPECT_EQ(page.width() > page.height(), drawn.width() > drawn.height());
        EXPECT_NEAR(page.minX + page.maxX, drawn.minX + drawn.maxX, 1e-9);
        EXPECT_NEAR(page.minY + page.maxY, drawn.minY + drawn.maxY, 1e-9);
    }
}

// Pens follow the table by the colour an entity ends up with, ByBlock
// included, and are turned once however deep the block.
TEST(Plot, PensFollowTheTableByTheColourDrawn) {
    Drawing d = emptyDrawing();
    Block block;
    block.name = "PART";
    block.entities.push_back(line({0, 0, 0}, {10, 0, 0}, Color::byBlock()));
    d.blocks.push_back(block);
    add(d, line({0, 0, 0}, {100, 0, 0}, Color::fromIndex(1)));
    add(d, line({0, 10, 0}, {100, 10, 0}, Color::fromIndex(2)));
    InsertData part;
    part.blockName = "PART";
    part.insertion = {0, 20, 0};
    add(d, entity("INSERT", part, Color::fromIndex(1)));
    add(d, line({0, 30, 0}, {100, 30, 0}, Color::fromRgb(0xFA0000)));  // nearest index colour: 1
    d.index();

    auto table = std::make_shared<PlotStyleTable>();
    table->styles.resize(2);
    table->styles[0].objectColor = false, table->styles[0].rgb = 0x0000FF, table->styles[0].lineweightMm = 1.0;
    table->styles[1].screen = 50;  // yellow, half inked
    auto plot = std::make_shared<Plot>();
    plot->pageWidth = 420, plot->pageHeight = 297;  // the sheet penWidth assumes: millimetres stay as they are
    plot->pens = table;
    RenderOptions options;
    options.plot = plot;
    const Scene scene = buildScene(d, options);
    ASSERT_EQ(scene.strokes.size(), 4u);
    const struct {
        QRgb rgb;
        double mm;
    } expected[] = {{qRgb(0, 0, 255), 1.0}, {qRgb(255, 255, 128), 0.25}, {qRgb(0, 0, 255), 1.0}, {qRgb(0, 0, 255), 1.0}};
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(scene.strokes[i].color.rgb, expected[i].rgb);
        EXPECT_FALSE(scene.strokes[i].color.foreground);
        EXPECT_DOUBLE_EQ(scene.strokes[i].lineweightMm, expected[i].mm);
    }
}

}  // namespace
}  // namespace cad::render::testing
