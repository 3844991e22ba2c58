// DWG files of the releases before R13 read into the same model as the DXF
// exports beside them; the old DXF dialects read; damaged old files are
// refused or read without what is damaged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "DrawingCompare.h"
#include "cad/DrawingFile.h"
#include "cad/dwg/DwgReader.h"

namespace fs = std::filesystem;
using cad::Drawing;
using cad::Entity;

namespace {

const fs::path kLegacy = LUMICADE_LEGACY_DRAWINGS_DIR;

std::vector<fs::path> filesEndingIn(const char* extension) {
    std::vector<fs::path> out;
    for (const auto& entry : fs::recursive_directory_iterator(kLegacy))
        if (entry.path().extension() == extension) out.push_back(entry.path());
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::uint8_t> load(const fs::path& path) {
    std::vector<std::uint8_t> bytes(fs::file_size(path));
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return {};
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
    std::fclose(f);
    return bytes;
}

// Files of these releases usually have no handles, and the comparison
// matches entities by handle: number them in file order instead, which both
// readers keep.
void numberInFileOrder(Drawing& d) {
    for (cad::Block& b : d.blocks) {
        cad::Handle next = 1;
        for (Entity& e : b.entities) {
            if (e.common.handle == 0) e.common.handle = next;
            ++next;
            if (auto* insert = e.as<cad::InsertData>())
                for (Entity& a : insert->attributes)
                    if (a.common.handle == 0) a.common.handle = 0x10000 + next++;
        }
    }
}

// Differences that are in the files themselves, not in how we read them.
bool explainedByTheFiles(const std::string& file, const std::string& line) {
    // A shape names its shape by number in the DWG and by name in the DXF;
    // the name lives in the shape file.
    if (line.rfind("SHAPE ", 0) == 0 && line.find(": name ") != std::string::npos) return true;
    // The dimension text is a single space (text suppressed); the export
    // writes it as an empty value.
    if (line.rfind("DIMENSION ", 0) == 0 && line.find(": text \"\" vs \" \"") != std::string::npos) return true;
    // Before R10 the DXF export writes the extents in two dimensions.
    if (file.find("r2.6") != std::string::npos && line == "header: extMax.z 0 vs 1") return true;
    return false;
}

// These exports print numbers to six decimal places. A difference counts as
// printing when the DXF number is exactly the DWG number so rounded.
bool roundedByTheExport(const std::string& line) {
    std::size_t vs = line.rfind(" vs ");
    std::size_t before = line.rfind(' ', vs - 1);
    if (vs == std::string::npos || before == std::string::npos) return false;
    try {
        double dxf = std::stod(line.substr(before + 1, vs - before - 1));
        double dwg = std::stod(line.substr(vs + 4));
        return std::fabs(std::round(dwg * 1e6) / 1e6 - dxf) <= 1e-12 * std::max(1.0, std::fabs(dxf));
    } catch (const std::exception&) {
        return false;
    }
}

const Entity* firstOfKind(const cad::Block& b, const std::string& type) {
    for (const Entity& e : b.entities)
        if (e.type == type) return &e;
    return nullptr;
}

}  // namespace

TEST(LegacyDwg, EachDrawingMatchesTheDxfBesideIt)
{
    int compared = 0;
    for (const fs::path& dwg : filesEndingIn(".dwg")) {
        fs::path dxf = fs::path(dwg).replace_extension(".dxf");
        SCOPED_TRACE(dwg.string());
        ASSERT_TRUE(fs::exists(dxf));
        Drawing fromDxf = cad::readDrawingFile(dxf.string());
        Drawing fromDwg = cad::readDrawingFile(dwg.string());
        numberInFileOrder(fromDxf);
        numberInFileOrder(fromDwg);
        std::vector<std::string> left;
        std::vector<std::string> lines = cad::compare::compareDrawings(fromDxf, fromDwg);
        for (const std::string& line : cad::compare::compareHeaders(fromDxf, fromDwg)) lines.push_back(line);
        for (const std::string& line : lines)
            if (!explainedByTheFiles(dwg.string(), line) && !roundedByTheExport(line)) left.push_back(line);
        EXPECT_TRUE(left.empty()) << ::testing::PrintToString(left);
        EXPECT_EQ(fromDwg.header.version, fromDxf.header.version);
        EXPECT_TRUE(fromDwg.skipped.empty()) << ::testing::PrintToString(fromDwg.skipped);
        EXPECT_TRUE(fromDwg.warnings.empty()) << ::testing::PrintToString(fromDwg.warnings);
        ++compared;
    }
    EXPECT_GT(compared, 0);
}

TEST(LegacyDwg, EveryOldDxfReads)
{
    for (const fs::path& dxf : filesEndingIn(".dxf")) {
        SCOPED_TRACE(dxf.string());
        Drawing d = cad::readDrawingFile(dxf.string());
        ASSERT_NE(d.modelSpace(), nullptr);
        EXPECT_TRUE(d.skipped.empty()) << ::testing::PrintToString(d.skipped);
        EXPECT_FALSE(d.layers.empty());
    }
}

// What the comparison with the DXF cannot see: names resolved through the
// tables, and the anonymous block of a dimension found under the name the
// dimension uses.
TEST(LegacyDwg, EntitiesNameTheirTableEntries)
{
    Drawing d = cad::readDrawingFile((kLegacy / "r11" / "entities-2d.dwg").string());
    const cad::Block* model = d.modelSpace();
    ASSERT_NE(model, nullptr);
    const Entity* dimension = firstOfKind(*model, "DIMENSION");
    ASSERT_NE(dimension, nullptr);
    const cad::Block* picture = d.findBlock(dimension->as<cad::DimensionData>()->blockName);
    ASSERT_NE(picture, nullptr);
    EXPECT_TRUE(picture->anonymous());
    const Entity* arrowLine = firstOfKind(*picture, "LINE");
    ASSERT_NE(arrowLine, nullptr);
    EXPECT_EQ(arrowLine->common.linetype, "ByBlock");
    EXPECT_EQ(arrowLine->common.color, cad::Color::byBlock());
    const Entity* definitionPoint = firstOfKind(*picture, "POINT");
    ASSERT_NE(definitionPoint, nullptr);
    EXPECT_EQ(definitionPoint->common.layer, "DEFPOINTS");

    const Entity* insert = firstOfKind(*model, "INSERT");
    ASSERT_NE(insert, nullptr);
    EXPECT_NE(d.findBlock(insert->as<cad::InsertData>()->blockName), nullptr);
    const cad::TextStyle* standard = d.findTextStyle("STANDARD");
    ASSERT_NE(standard, nullptr);
    EXPECT_EQ(standard->fontFile, "txt");
    EXPECT_EQ(d.header.textStyle, "STANDARD");
    const cad::Linetype* continuous = d.findLinetype("CONTINUOUS");
    ASSERT_NE(continuous, nullptr);
    EXPECT_EQ(continuous->description, "Solid line");
    // The block list stays in file order behind the two spaces.
    ASSERT_GE(d.blocks.size(), 5u);
    EXPECT_EQ(d.blocks[2].name, "BLOCK1");
}

// R11 closes every record with a check value: an entity whose bytes changed
// is left out and named, and the entities around it still read. A damaged
// sentinel is named too.
TEST(LegacyDwg, ARecordThatFailsItsCheckIsLeftOutAndNamed)
{
    std::vector<std::uint8_t> bytes = load(kLegacy / "r11" / "entities-2d.dwg");
    ASSERT_GT(bytes.size(), 0x6F0u);
    std::size_t point = 0x6CF;  // the first entity, a POINT, as the file header places it
    ASSERT_EQ(bytes[point], 2);
    bytes[point + 12] ^= 0x10;  // inside its x coordinate
    Drawing d = cad::dwg::readDwg(bytes);
    auto counts = cad::countEntityKinds(d);
    EXPECT_EQ(counts.count("POINT"), 0u);
    EXPECT_EQ(counts["LINE"], 1);
    EXPECT_EQ(counts["DIMENSION"], 1);
    ASSERT_EQ(d.warnings.size(), 1u);
    EXPECT_NE(d.warnings[0].find("damaged entity"), std::string::npos);

    // Each section sits between a sentinel and its complement.
    bytes = load(kLegacy / "r11" / "entities-2d.dwg");
    bytes[0x6CF - 3] ^= 0x01;
    d = cad::dwg::readDwg(bytes);
    EXPECT_EQ(cad::countEntityKinds(d)["POINT"], 1);
    ASSERT_EQ(d.warnings.size(), 1u);
    EXPECT_NE(d.warnings[0].find("entity section"), std::string::npos) << d.warnings[0];
}

// The first releases are named in the error rather than taken for something
// that is not a drawing at all; a version we read is never refused.
TEST(LegacyDwg, VersionStringsOfTheFirstReleases)
{
    std::vector<std::uint8_t> bytes = load(kLegacy / "r2.10" / "block.dwg");
    ASSERT_FALSE(bytes.empty());
    EXPECT_NO_THROW(cad::dwg::readDwg(bytes));
    for (const char* version : {"AC1.2", "AC1.40"}) {
        std::vector<std::uint8_t> old = bytes;
        std::fill(old.begin(), old.begin() + 6, 0);
        std::copy(version, version + std::char_traits<char>::length(version), old.begin());
        try {
            cad::dwg::readDwg(old);
            ADD_FAILURE() << version << " was read";
        } catch (const cad::ReadError& e) {
            EXPECT_NE(std::string(e.what()).find(version), std::string::npos) << e.what();
        }
    }
}

// An R11 drawing drawn in paper space, with handles, extended data and the
// viewport each entity belongs to: every record reads, with its text, and
// the picture shows the sheet.
TEST(LegacyDwg, AnOfficeDrawingOfRelease11ReadsWhole)
{
    Drawing d = cad::readDrawingFile((kLegacy / "r11" / "ACEB10.dwg").string());
    EXPECT_FALSE(d.header.tileMode);
    ASSERT_NE(d.paperSpace(), nullptr);
    auto counts = cad::countEntityKinds(d);
    EXPECT_EQ(counts["TEXT"], 70);
    EXPECT_EQ(counts["ARC"], 8);
    EXPECT_EQ(counts["LINE"], 266);
    EXPECT_EQ(d.paperSpace()->entities.size(), 414u);
    EXPECT_TRUE(d.skipped.empty()) << ::testing::PrintToString(d.skipped);
    EXPECT_TRUE(d.warnings.empty()) << ::testing::PrintToString(d.warnings);
    const Entity* text = firstOfKind(*d.paperSpace(), "TEXT");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->as<cad::TextData>()->value, "Mounting Holes");
    EXPECT_EQ(text->common.layer, "DIM");
    EXPECT_NEAR(text->as<cad::TextData>()->insertion.x, 19.4032, 1e-4);
    EXPECT_NEAR(text->as<cad::TextData>()->insertion.y, 4.3313, 1e-4);
}

// Section and table places that point outside the file give a clear error.
TEST(LegacyDwg, PlacesBeyondTheEndAreRefused)
{
    std::vector<std::uint8_t> bytes = load(kLegacy / "r11" / "entities-2d.dwg");
    ASSERT_GT(bytes.size(), 0x60u);
    for (std::size_t field : {0x18u, 0x1Cu, 0x32u}) {  // entities end, blocks start, block table address
        std::vector<std::uint8_t> damaged = bytes;
        damaged[field + 3] = 0x3F;
        try {
            cad::dwg::readDwg(damaged);
            ADD_FAILURE() << "field at " << field << " was trusted";
        } catch (const cad::ReadError& e) {
            EXPECT_NE(std::string(e.what()).find("DWG file"), std::string::npos) << e.what();
        }
    }
}
