// Layouts, viewports and the files that images and underlays show, from DWG
// and DXF alike.
#include <gtest/gtest.h>

#include <string>

#include "DrawingCompare.h"
#include "DxfTestFiles.h"
#include "cad/DrawingFile.h"

namespace {

using namespace cad;

TEST(LayoutsRead, EachExampleDwgAgreesWithItsDxfOnLayoutsAndViewports)
{
    for (const char* version : {"2000", "2004", "2007", "2010", "2013", "2018"}) {
        SCOPED_TRACE(version);
        const std::string base = std::string("example_") + version;
        const Drawing dxf = readDrawingFile(dxftest::drawing(base + ".dxf"));
        const Drawing dwg = readDrawingFile(dxftest::drawing(base + ".dwg"));
        EXPECT_EQ(compare::compareLayouts(dxf, dwg), std::vector<std::string>{});
        EXPECT_EQ(dxf.header.tileMode, dwg.header.tileMode);
        EXPECT_EQ(dxf.header.activeLayout, dwg.header.activeLayout);
        // Every layout's block holds its viewports, the same in both.
        for (const Layout& l : dxf.layouts) {
            SCOPED_TRACE(l.name);
            const Layout* other = dwg.findLayout(l.name);
            ASSERT_NE(other, nullptr);
            const Block* a = dxf.layoutBlock(l);
            const Block* b = dwg.layoutBlock(*other);
            ASSERT_NE(a, nullptr);
            ASSERT_NE(b, nullptr);
            auto viewports = [](const Block& block) {
                std::vector<const ViewportData*> out;
                for (const Entity& e : block.entities)
                    if (const auto* v = e.as<ViewportData>()) out.push_back(v);
                return out;
            };
            const auto va = viewports(*a), vb = viewports(*b);
            ASSERT_EQ(va.size(), vb.size());
            for (std::size_t i = 0; i < va.size(); ++i) {
                EXPECT_NEAR(va[i]->width, vb[i]->width, 1e-6);
                EXPECT_NEAR(va[i]->center.x, vb[i]->center.x, 1e-6);
                EXPECT_NEAR(va[i]->viewHeight, vb[i]->viewHeight, 1e-6);
                EXPECT_EQ(va[i]->flags, vb[i]->flags);
            }
        }
    }
}

TEST(LayoutsRead, TheExampleLayoutsCarryTheirPageSetUp)
{
    for (const char* file : {"example_2018.dwg", "example_2018.dxf"}) {
        SCOPED_TRACE(file);
        const Drawing d = readDrawingFile(dxftest::drawing(file));
        EXPECT_TRUE(d.header.tileMode);
        const Layout* l = d.findLayout("layout1");
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->tabOrder, 1);
        EXPECT_NEAR(l->paperWidth, 215.9, 1e-4);
        EXPECT_NEAR(l->paperHeight, 279.4, 1e-4);
        EXPECT_NEAR(l->marginLeft, 6.35, 1e-4);
        // Letter turned a quarter, at 1:1 in millimetres, plotting the layout.
        EXPECT_EQ(l->plotRotation, 1);
        EXPECT_EQ(l->paperUnits, 1);
        EXPECT_EQ(l->plotType, 5);
        EXPECT_EQ(l->plotFlags, 688);
        EXPECT_EQ(l->standardScaleType, 16);
        EXPECT_DOUBLE_EQ(l->standardScale, 1.0);
        ASSERT_NE(d.layoutBlock(*l), nullptr);
        const Layout* model = d.findLayout("Model");
        ASSERT_NE(model, nullptr);
        EXPECT_EQ(d.layoutBlock(*model), d.modelSpace());
        // Model space fitted to ANSI A in inches.
        EXPECT_EQ(model->standardScaleType, 0);
        EXPECT_EQ(model->paperUnits, 0);
        EXPECT_NEAR(model->scaleDrawing / model->scalePaper, 78.436453, 1e-5);
    }
    EXPECT_EQ(readDrawingFile(dxftest::drawing("example_2018.dxf")).findLayout("Model")->plotStyleSheet, "Fill Patterns.ctb");
}

// A viewport with every field, an image and a PDF underlay with their
// definitions, and TILEMODE 0, written as DXF.
TEST(LayoutsRead, DxfViewportImageAndUnderlayFieldsReachTheModel)
{
    const std::string text =
        "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1027\n9\n$TILEMODE\n70\n0\n0\nENDSEC\n"
        "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n0\nLAYER\n5\n40\n2\nWALLS\n70\n0\n62\n1\n6\nContinuous\n"
        "0\nLAYER\n5\n41\n2\nDOORS\n70\n0\n62\n2\n6\nContinuous\n0\nENDTAB\n0\nENDSEC\n"
        "0\nSECTION\n2\nENTITIES\n"
        "0\nVIEWPORT\n5\n90\n67\n1\n8\n0\n100\nAcDbViewport\n10\n100\n20\n80\n30\n0\n40\n50\n41\n40\n68\n2\n69\n2\n"
        "12\n5\n22\n6\n16\n1\n26\n1\n36\n1\n17\n2\n27\n3\n37\n0\n42\n35\n43\n1.5\n44\n-2\n45\n20\n51\n30\n"
        "90\n81920\n341\n41\n340\n9A\n"
        "0\nIMAGE\n5\nA0\n8\n0\n100\nAcDbRasterImage\n90\n0\n10\n1\n20\n2\n30\n0\n11\n0.5\n21\n0\n31\n0\n"
        "12\n0\n22\n0.5\n32\n0\n13\n64\n23\n32\n340\nA1\n70\n15\n280\n1\n281\n60\n282\n40\n283\n10\n290\n1\n71\n2\n"
        "91\n3\n14\n0\n24\n0\n14\n10\n24\n0\n14\n10\n24\n10\n"
        "0\nPDFUNDERLAY\n5\nB0\n8\n0\n100\nAcDbUnderlayReference\n340\nB1\n10\n3\n20\n4\n30\n0\n41\n2\n42\n2\n43\n1\n"
        "50\n90\n280\n6\n281\n80\n282\n25\n"
        "0\nENDSEC\n"
        "0\nSECTION\n2\nOBJECTS\n"
        "0\nIMAGEDEF\n5\nA1\n100\nAcDbRasterImageDef\n90\n0\n1\npictures\\scan 1.png\n10\n64\n20\n32\n11\n0.5\n21\n0.5\n"
        "0\nPDFDEFINITION\n5\nB1\n100\nAcDbUnderlayDefinition\n1\n../sheets/plan.pdf\n2\n3\n"
        "0\nENDSEC\n0\nEOF\n";
    const Drawing d = dxftest::read(text);
    EXPECT_FALSE(d.header.tileMode);
    const Entity* vpEntity = dxftest::findByHandle(d, 0x90);
    ASSERT_NE(vpEntity, nullptr);
    const auto* vp = vpEntity->as<ViewportData>();
    ASSERT_NE(vp, nullptr);
    EXPECT_EQ(vp->center, (Vec3{100, 80, 0}));
    EXPECT_EQ(vp->viewCenter, (Vec2{5, 6}));
    EXPECT_EQ(vp->viewDirection, (Vec3{1, 1, 1}));
    EXPECT_EQ(vp->viewTarget, (Vec3{2, 3, 0}));
    EXPECT_DOUBLE_EQ(vp->viewHeight, 20);
    EXPECT_NEAR(vp->twist, 3.14159265358979 / 6, 1e-12);
    EXPECT_DOUBLE_EQ(vp->frontClip, 1.5);
    EXPECT_DOUBLE_EQ(vp->backClip, -2);
    EXPECT_EQ(vp->frozenLayers, std::vector<std::string>{"DOORS"});
    EXPECT_EQ(vp->clipBoundary, 0x9Au);
    EXPECT_TRUE(vp->on());
    EXPECT_TRUE(vp->locked());
    EXPECT_TRUE(vp->nonRectangular());

    const auto* im = dxftest::findByHandle(d, 0xA0)->as<ImageData>();
    ASSERT_NE(im, nullptr);
    EXPECT_EQ(im->filePath, "pictures\\scan 1.png");
    EXPECT_EQ(im->brightness, 60);
    EXPECT_EQ(im->contrast, 40);
    EXPECT_EQ(im->fade, 10);
    EXPECT_TRUE(im->clipInverted);
    EXPECT_EQ(im->clipType, 2);
    EXPECT_EQ(im->clip.size(), 4u);  // closed by the reader
    EXPECT_EQ(im->pixelSize, (Vec2{0.5, 0.5}));

    const Entity* pdfEntity = dxftest::findByHandle(d, 0xB0);
    ASSERT_NE(pdfEntity, nullptr);
    EXPECT_EQ(pdfEntity->type, "PDFUNDERLAY");
    const auto* pdf = pdfEntity->as<ImageData>();
    ASSERT_NE(pdf, nullptr);
    EXPECT_EQ(pdf->filePath, "../sheets/plan.pdf");
    EXPECT_EQ(pdf->page, "3");
    EXPECT_NEAR(pdf->uVector.x, 0, 1e-12);  // turned a quarter, scaled by 2
    EXPECT_NEAR(pdf->uVector.y, 2, 1e-12);
    EXPECT_NEAR(pdf->vVector.x, -2, 1e-12);
    EXPECT_TRUE(pdf->displayFlags & 4);  // monochrome
    EXPECT_EQ(pdf->fade, 25);
}

}  // namespace
