// DWG files of 2004 and later read into the same model as the DXF exports
// beside them, and the example drawing reads the same in all eight versions.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
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

// Differences that are in the files themselves, not in how we read them.
// Each entry is one line of the comparison, as compareDrawings() words it.
const std::map<std::string, std::set<std::string>> kFileDifferences = {
    // The DXF was exported after more work on the drawing: it holds objects
    // (handles 9DD to 9EC) past the DWG's last handle, 837, among them the
    // layer "0 @ 1" that this leader was then moved to.
    {"2018/Leader.dwg", {"LEADER 72E: layer \"0 @ 1\" vs \"0\""}},
    // This leader ends in a steep segment next to its tolerance, and the
    // DWG stores it with four vertices and no hook line. The export adds
    // the hook line itself (group 75 = 1): a fifth vertex, 0.18 (DIMASZ)
    // further along the x direction, at the tolerance's insertion point.
    {"2010/Leader.dwg", {"LEADER 9DD: vertices.size 5 vs 4"}},
};

// Fails with every difference between two drawings except those listed.
::testing::AssertionResult sameExcept(const Drawing& expected, const Drawing& actual,
                                      const std::set<std::string>& allowed)
{
    std::vector<std::string> left;
    for (const std::string& line : cad::compare::compareDrawings(expected, actual))
        if (!allowed.count(line) && !cad::compare::fittedByTheExport(line, actual)) left.push_back(line);
    if (left.empty()) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure();
    failure << left.size() << " difference(s):";
    for (const std::string& line : left) failure << "\n  " << line;
    return failure;
}

std::string nameInDrawings(const fs::path& p) { return fs::relative(p, kDrawings).generic_string(); }

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

    int compared = 0, metric = 0;
    for (const fs::path& dwg : dwgs) {
        fs::path dxf = fs::path(dwg).replace_extension(".dxf");
        if (!fs::exists(dxf)) continue;
        SCOPED_TRACE(nameInDrawings(dwg));
        auto known = kFileDifferences.find(nameInDrawings(dwg));
        Drawing fromDxf = readDrawingFile(dxf.string());
        Drawing fromDwg = readDrawingFile(dwg.string());
        EXPECT_TRUE(sameExcept(fromDxf, fromDwg,
                               known == kFileDifferences.end() ? std::set<std::string>{} : known->second));
        std::string headers;
        for (const std::string& d : cad::compare::compareHeaders(fromDxf, fromDwg))
            if (!cad::compare::aboutExtents(d)) headers += d + "\n";
        EXPECT_EQ(headers, "");
        // The drawing's units (imperial or metric) come from a section of
        // their own in these versions.
        EXPECT_EQ(fromDwg.header.measurement, fromDxf.header.measurement);
        metric += fromDwg.header.measurement == 1;
        ++compared;
    }
    EXPECT_GE(compared, 27);  // every 2004+ DWG with a DXF beside it
    EXPECT_EQ(metric, 6);     // the example and sample drawings
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
            const cad::Block* model = d.modelSpace();
            ASSERT_NE(model, nullptr);
            EXPECT_FALSE(model->entities.empty());
            EXPECT_TRUE(d.skipped.empty() || entry.path().stem() == "Constraints");
        }
    }
}

TEST(DwgVersions, TheExampleDrawingIsTheSameFrom2000To2018)
{
    // (Saved as R13 or R14 the drawing itself changed: polylines, layer
    // names, newer entities as blocks or proxies. Those two files are held
    // against their own DXF exports with the older versions' tests.)
    //
    // Saved as 2000 and later, the drawing keeps its entities, handles and
    // names, so each of those reads exactly like the 2018 file. Only the
    // system lights' layer differs: 2000 and 2004 files (and their DXF
    // exports) name it without the leading star.
    const std::set<std::string> lightsLayer = {
        "LIGHT 75E: layer \"*ADSK_SYSTEM_LIGHTS\" vs \"ADSK_SYSTEM_LIGHTS\""};
    Drawing reference = readDrawingFile((kDrawings / "example_2018.dwg").string());
    for (const char* version : {"2000", "2004", "2007", "2010", "2013"}) {
        SCOPED_TRACE(version);
        Drawing other = readDrawingFile((kDrawings / (std::string("example_") + version + ".dwg")).string());
        EXPECT_TRUE(sameExcept(reference, other, lightsLayer));
    }
}
