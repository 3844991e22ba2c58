// DWG files of 2004 and later read into the same model as the DXF exports
// beside them, and the example drawing reads the same in all eight versions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
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

// The shapes and texts of the complex linetypes, by linetype name.
std::vector<std::string> linetypeElements(const Drawing& d) {
    std::vector<std::string> out;
    for (const cad::Linetype& lt : d.linetypes)
        for (const cad::LinetypeElement& e : lt.elements) {
            char line[256];
            std::snprintf(line, sizeof line, "%s dash %zu %s %d \"%s\" style %llx scale %g rotation %g offset %g,%g %s",
                          lt.name.c_str(), e.dash, e.isText ? "text" : "shape", e.shapeNumber, e.text.c_str(),
                          static_cast<unsigned long long>(e.style), e.scale, e.rotation, e.offset.x, e.offset.y,
                          e.absoluteRotation ? "upright" : "along");
            out.push_back(line);
        }
    std::sort(out.begin(), out.end());
    return out;
}

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
        EXPECT_EQ(linetypeElements(fromDwg), linetypeElements(fromDxf));
        // The drawing's units (imperial or metric) come from a section of
        // their own in these versions.
        EXPECT_EQ(fromDwg.header.measurement, fromDxf.header.measurement);
        metric += fromDwg.header.measurement == 1;
        ++compared;
    }
    EXPECT_GE(compared, 27);  // every 2004+ DWG with a DXF beside it
    EXPECT_GE(metric, 6);     // at least the example and sample drawings
}

namespace {

// The differences between a saved drawing's ASCII DXF and its other forms,
// by the other's name: each line as compareDrawings() words it.
const std::map<std::string, std::set<std::string>> kSavedDifferences = [] {
    // In the files: the exports add the hook line of this leader (group
    // 75 = 1) as a vertex of their own, and name the shape that the DWG
    // keeps by its number in a shape file that is not here.
    const std::set<std::string> inTheFiles = {"LEADER 512: vertices.size 4 vs 3", "SHAPE 889: name \"MY-SHAPE\" vs \"\""};
    std::set<std::string> of2018 = inTheFiles;
    // In the file: this spline is stored by two fit points and the tangents
    // at its ends; the export writes only the control points and knots.
    of2018.insert("SPLINE 434: fitPoints.size 0 vs 2");
    // In the files: two polylines have other handles in each export.
    const std::set<std::string> renumbered = {"POLYLINE 2355: only in the expected model or paper space",
                                              "POLYLINE 23D7: only in the expected model or paper space",
                                              "POLYLINE 3367: only in the actual model or paper space",
                                              "POLYLINE 33E9: only in the actual model or paper space"};
    return std::map<std::string, std::set<std::string>>{{"sample/sample_AC1009_binary.dxf", renumbered},
                                                        {"sample/sample_AC1015.dwg", inTheFiles},
                                                        {"sample/sample_AC1018.dwg", inTheFiles},
                                                        {"sample/sample_AC1032.dwg", of2018}};
}();

}  // namespace

TEST(DwgVersions, EachSavedDrawingReadsAlikeFromDwgAndBothDxfForms)
{
    // Each drawing there is saved as NAME_ascii.dxf and NAME_binary.dxf, and
    // from R13 on as NAME.dwg too.
    const fs::path folder = LUMICADE_SAMPLE_DRAWINGS_DIR;
    const std::string asciiEnd = "_ascii.dxf";
    std::vector<fs::path> asciiFiles;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > asciiEnd.size() && name.compare(name.size() - asciiEnd.size(), asciiEnd.size(), asciiEnd) == 0)
            asciiFiles.push_back(entry.path());
    }
    std::sort(asciiFiles.begin(), asciiFiles.end());
    int dwgs = 0;
    for (const fs::path& ascii : asciiFiles) {
        const std::string base = ascii.string().substr(0, ascii.string().size() - asciiEnd.size());
        SCOPED_TRACE(fs::relative(ascii, folder).generic_string());
        const Drawing fromAscii = readDrawingFile(ascii.string());
        EXPECT_TRUE(fromAscii.skipped.empty());
        std::vector<std::string> others = {base + "_binary.dxf"};
        if (fs::exists(base + ".dwg")) {
            others.push_back(base + ".dwg");
            ++dwgs;
        }
        // R12 exports write six significant digits in the ASCII form only.
        cad::compare::Options options;
        if (fromAscii.header.version <= "AC1009") options.relative = options.absolute = 1e-5;
        for (const std::string& path : others) {
            const std::string name = fs::relative(path, folder).generic_string();
            SCOPED_TRACE(name);
            const Drawing other = readDrawingFile(path);
            EXPECT_TRUE(other.skipped.empty());
            const auto known = kSavedDifferences.find(name);
            const std::set<std::string> allowed = known == kSavedDifferences.end() ? std::set<std::string>{} : known->second;
            std::string left;
            for (const std::string& line : cad::compare::compareDrawings(fromAscii, other, options))
                if (!allowed.count(line)) left += line + "\n";
            EXPECT_EQ(left, "");
            std::string headers;
            for (const std::string& d : cad::compare::compareHeaders(fromAscii, other, options))
                if (!cad::compare::aboutExtents(d)) headers += d + "\n";
            EXPECT_EQ(headers, "");
            EXPECT_EQ(linetypeElements(other), linetypeElements(fromAscii));
        }
    }
    EXPECT_GE(dwgs, 3);
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
