// A drawing saved as DWG and as ASCII and binary DXF paints the same
// picture from each of them, underlays whose file is missing included.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "RenderTestSupport.h"
#include "cad/DrawingFile.h"

namespace cad::render::testing {
namespace {

namespace fs = std::filesystem;

// The pixels where two pictures differ (all of them when their sizes do).
long differingPixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return static_cast<long>(a.width()) * a.height();
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    long differing = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) differing += p[col] != q[col];
    }
    return differing;
}

TEST(RenderSavedDrawings, DwgAndBothDxfFormsPaintAlike) {
    const fs::path folder = LUMICADE_SAMPLE_DRAWINGS_DIR;
    const std::string asciiEnd = "_ascii.dxf";
    std::vector<std::string> bases;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string path = entry.path().string();
        if (path.size() > asciiEnd.size() && path.compare(path.size() - asciiEnd.size(), asciiEnd.size(), asciiEnd) == 0)
            bases.push_back(path.substr(0, path.size() - asciiEnd.size()));
    }
    std::sort(bases.begin(), bases.end());
    ASSERT_FALSE(bases.empty());
    RenderOptions o;
    o.longSide = 2000;
    o.antialias = false;
    for (const std::string& base : bases) {
        SCOPED_TRACE(fs::relative(base, folder).generic_string());
        const QImage ascii = renderDrawing(readDrawingFile(base + asciiEnd), o);
        EXPECT_EQ(differingPixels(ascii, renderDrawing(readDrawingFile(base + "_binary.dxf"), o)), 0);
        if (!fs::exists(base + ".dwg")) continue;
        // The exports draw the hook line of a leader as a vertex they add,
        // some sixty pixels at this size; a lost entity or a wrong colour
        // costs far more.
        EXPECT_LE(differingPixels(ascii, renderDrawing(readDrawingFile(base + ".dwg"), o)), 64);
    }
}

TEST(RenderSavedDrawings, UnderlaysWhosePdfIsMissingShowTheirFramesAndAreNamed) {
    // Three PDF underlays of a 2004 drawing, clipped, their file not beside it.
    const std::string dwg = std::string(LUMICADE_DRAWINGS_DIR) + "/2004/Underlay.dwg";
    RenderOptions o;
    o.longSide = 600;
    o.antialias = false;
    std::vector<std::string> fromDwg, fromDxf;
    const QImage picture = renderDrawing(readDrawingFile(dwg), o, &fromDwg);
    const QImage expected = renderDrawing(readDrawingFile(fs::path(dwg).replace_extension(".dxf").string()), o, &fromDxf);
    EXPECT_EQ(differingPixels(expected, picture), 0);
    EXPECT_GT(inkIn(picture, picture.rect()), 600);
    ASSERT_FALSE(fromDwg.empty());
    EXPECT_EQ(fromDwg, fromDxf);
    EXPECT_EQ(fromDwg.front().rfind("PDF not found: ", 0), 0u) << fromDwg.front();
}

TEST(RenderSavedDrawings, AttributesOfSeveralLinesAreDrawnFromDwgAndDxfAlike) {
    // The 2018 sample holds an attribute of several lines; its text lies in
    // the multiline part alone.
    const std::string base = std::string(LUMICADE_SAMPLE_DRAWINGS_DIR) + "/sample/sample_AC1032";
    RenderOptions o;
    o.longSide = 600;
    o.antialias = false;
    std::vector<QImage> pictures;
    for (const std::string& path : {base + ".dwg", base + "_ascii.dxf"}) {
        SCOPED_TRACE(path);
        const Drawing d = readDrawingFile(path);
        const TextData* lines = nullptr;
        for (const Block& b : d.blocks)
            for (const Entity& e : b.entities)
                if (const auto* insert = e.as<InsertData>())
                    for (const Entity& a : insert->attributes)
                        if (const auto* t = a.as<TextData>(); t && t->multiline) lines = t;
        ASSERT_NE(lines, nullptr);
        EXPECT_EQ(lines->value, "my multi line text for the attrrib");
        EXPECT_NEAR(lines->linesAt.x, 977.28, 0.01);
        EXPECT_NEAR(lines->linesAt.y, 28.75, 0.01);
        EXPECT_EQ(lines->linesAttachment, 1);
        o.window = cad::render::Window{lines->linesAt.x - 5, lines->linesAt.y - 25, 60, 30};
        pictures.push_back(renderDrawing(d, o));
        EXPECT_GT(inkIn(pictures.back(), QRect(0, 0, 600, 240)), 500) << "the lines are drawn";
    }
    EXPECT_EQ(differingPixels(pictures[0], pictures[1]), 0);
}

}  // namespace
}  // namespace cad::render::testing
