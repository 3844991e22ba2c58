// DWG files of 2004 and later read into the same model as the DXF exports
// beside them, and the example drawing reads the same in all eight versions.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "DrawingCompare.h"
#include "cad/DrawingFile.h"

namespace fs = std::filesystem;
using cad::Drawing;
using cad::readDrawingFile;

namespace {

const fs::path kDrawings = LUMICADE_DRAWINGS_DIR;

const char* const kPagedFolders[] = {"2004", "2007", "2010", "2013", "2018"};

}  // namespace

TEST(DwgVersions, EachDrawingMatchesTheDxfBesideIt)
{
    std::vector<fs::path> dwgs = {kDrawings / "example_2004.dwg", kDrawings / "example_2007.dwg",
                                  kDrawings / "example_2010.dwg", kDrawings / "example_2013.dwg",
                                  kDrawings / "example_2018.dwg", kDrawings / "sample_2018.dwg"};
    for (const char* folder : kPagedFolders)
        for (const auto& entry : fs::directory_iterator(kDrawings / folder))
            if (entry.path().extension() == ".dwg") dwgs.push_back(entry.path());
    std::sort(dwgs.begin(), dwgs.end());

    int compared = 0;
    for (const fs::path& dwg : dwgs) {
        fs::path dxf = fs::path(dwg).replace_extension(".dxf");
        if (!fs::exists(dxf)) continue;
        SCOPED_TRACE(dwg.string());
        EXPECT_TRUE(cad::compare::sameDrawing(readDrawingFile(dxf.string()), readDrawingFile(dwg.string())));
        ++compared;
    }
    EXPECT_GE(compared, 30);
}

TEST(DwgVersions, EveryPagedDrawingReads)
{
    // The one-entity drawings without a DXF still hold their one entity.
    for (const char* folder : kPagedFolders) {
        for (const auto& entry : fs::directory_iterator(kDrawings / folder)) {
            if (entry.path().extension() != ".dwg") continue;
            SCOPED_TRACE(entry.path().string());
            Drawing d;
            ASSERT_NO_THROW(d = readDrawingFile(entry.path().string()));
            EXPECT_FALSE(d.blocks.empty());
        }
    }
}

TEST(DwgVersions, TheExampleDrawingIsTheSameInAllEightVersions)
{
    // Saved as 2000 and later, the drawing keeps its entities, handles and
    // names, so each of those reads exactly like the 2018 file.
    Drawing reference = readDrawingFile((kDrawings / "example_2018.dwg").string());
    for (const char* version : {"2000", "2004", "2007", "2010", "2013"}) {
        SCOPED_TRACE(version);
        Drawing other = readDrawingFile((kDrawings / (std::string("example_") + version + ".dwg")).string());
        EXPECT_TRUE(cad::compare::sameDrawing(reference, other));
    }
    // Saving as R13 or R14 changed the drawing itself (lightweight
    // polylines became polylines, layer names were upper-cased, hatches
    // became blocks), so those two are held against their own DXF exports.
    for (const char* version : {"r13", "r14"}) {
        SCOPED_TRACE(version);
        fs::path base = kDrawings / (std::string("example_") + version);
        EXPECT_TRUE(cad::compare::sameDrawing(readDrawingFile(base.string() + ".dxf"),
                                              readDrawingFile(base.string() + ".dwg")));
    }
}
