// Plots: the page a page set-up describes, where the drawing stands on it,
// and the pens a plot style table gives.
#include <gtest/gtest.h>

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
