// DWG files of the releases before R13 read into the same model as the DXF
// exports beside them; the old DXF dialects read; damaged old files are
// refused or read without what is damaged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "DrawingCompare.h"
#include "cad/DrawingFile.h"
#include "cad/dwg/DwgReader.h"
#include "cad/dwg/LegacyFormat.h"
#include "cad/dxf/DxfReader.h"

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

// The listing beside a drawing of the first releases: a line "KIND,layer"
// opens each record, and the kind decides how many lines of numbers and
// names follow. Returns the records of each space or block,
// "KIND,layer:line;line", in file order; the header's under "header".
std::map<std::string, std::vector<std::string>> readListing(const fs::path& path) {
    static const std::map<std::string, int> kLines = {{"TEXT", 2}, {"TRACE", 2}, {"SOLID", 2}, {"INSERT", 2},
                                                      {"BLOCK", 2}, {"REPEAT", 0}, {"ENDBLK", 0}, {"LAYERC", 8}};
    static const std::set<std::string> kEntities = {"POINT", "LINE", "ARC", "CIRCLE", "TEXT", "TRACE", "SOLID",
                                                    "SHAPE", "INSERT", "REPEAT", "ENDREP", "LOAD", "BLOCK"};
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    std::map<std::string, std::vector<std::string>> out;
    std::string list = "header";
    for (std::size_t i = 0; i < lines.size();) {
        std::string kind = lines[i].substr(0, lines[i].find(','));
        if (kind.empty() || !std::isupper(static_cast<unsigned char>(kind[0]))) {
            ++i;  // what the listing's program left after the last record
            continue;
        }
        const auto n = static_cast<std::size_t>(kLines.count(kind) ? kLines.at(kind) : 1);
        std::string record = lines[i] + ":";
        for (std::size_t k = 1; k <= n && i + k < lines.size(); ++k) record += (k > 1 ? ";" : "") + lines[i + k];
        if (list == "header" && kEntities.count(kind)) list = "*Model_Space";
        if (kind == "BLOCK" && i + 2 < lines.size()) list = lines[i + 2];
        else if (kind == "ENDBLK") list = "*Model_Space";
        else if (kind != "LOAD") out[list].push_back(record);  // LOAD reads a shape file: nothing to draw
        i += n + 1;
    }
    return out;
}

std::string fixed(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", v);
    return text;
}
std::string numbers(std::initializer_list<double> values) {
    std::string out;
    for (double v : values) out += (out.empty() ? "" : ",") + fixed(v);
    return out;
}
double degrees(double radians) { return radians * 180 / 3.14159265358979323846; }

// An entity as the listing prints it; an arrayed insert of a REPEAT block as
// the REPEAT, its entities and the ENDREP.
void describe(const Drawing& d, const Entity& e, std::vector<std::string>& out) {
    std::string head = e.type.str() + "," + e.common.layer.str() + ":";
    if (const auto* p = e.as<cad::PointData>()) out.push_back(head + numbers({p->position.x, p->position.y}));
    else if (const auto* l = e.as<cad::LineData>())
        out.push_back(head + numbers({l->start.x, l->start.y, l->end.x, l->end.y}));
    else if (const auto* a = e.as<cad::ArcData>())
        out.push_back(head + numbers({a->center.x, a->center.y, a->radius, degrees(a->startAngle), degrees(a->endAngle)}));
    else if (const auto* c = e.as<cad::CircleData>()) out.push_back(head + numbers({c->center.x, c->center.y, c->radius}));
    else if (const auto* t = e.as<cad::TextData>())
        out.push_back(head + numbers({t->insertion.x, t->insertion.y, t->height, degrees(t->rotation)}) + ";" + t->value);
    else if (const auto* s = e.as<cad::SolidData>()) {
        const auto& c = s->corners;
        out.push_back(head + numbers({c[0].x, c[0].y, c[1].x, c[1].y}) + ";" + numbers({c[2].x, c[2].y, c[3].x, c[3].y}));
    } else if (const auto* sh = e.as<cad::ShapeData>())
        out.push_back(head + numbers({sh->insertion.x, sh->insertion.y, sh->size, degrees(sh->rotation)}) + "," +
                      std::to_string(sh->number));
    else if (const auto* i = e.as<cad::InsertData>()) {
        const cad::Block* b = d.findBlock(i->blockName);
        if (b && i->blockName.rfind("*R", 0) == 0) {
            out.push_back("REPEAT," + e.common.layer.str() + ":");
            for (const Entity& inner : b->entities) describe(d, inner, out);
            out.push_back("ENDREP," + e.common.layer.str() + ":" + std::to_string(i->columns) + "," +
                          std::to_string(i->rows) + "," + numbers({i->columnSpacing, i->rowSpacing}));
        } else {
            out.push_back(head + numbers({i->insertion.x, i->insertion.y, i->scale.x, i->scale.y, degrees(i->rotation)}) +
                          ";" + i->blockName);
        }
    } else
        out.push_back(head + "?");
}

// What the DXF export or the listing beside a drawing holds, against what
// we read from it. Empty when they agree.
std::vector<std::string> differencesFromTheDxf(const fs::path& dwg, const fs::path& dxf) {
    Drawing fromDxf = cad::readDrawingFile(dxf.string());
    Drawing fromDwg = cad::readDrawingFile(dwg.string());
    numberInFileOrder(fromDxf);
    numberInFileOrder(fromDwg);
    std::vector<std::string> left;
    std::vector<std::string> lines = cad::compare::compareDrawings(fromDxf, fromDwg);
    for (const std::string& line : cad::compare::compareHeaders(fromDxf, fromDwg)) lines.push_back(line);
    for (const std::string& line : lines)
        if (!explainedByTheFiles(dwg.string(), line) && !roundedByTheExport(line)) left.push_back(line);
    if (fromDwg.header.version != fromDxf.header.version) left.push_back("version " + fromDwg.header.version);
    return left;
}

std::vector<std::string> differencesFromTheListing(const fs::path& dwg, const fs::path& txt) {
    std::map<std::string, std::vector<std::string>> listed = readListing(txt);
    Drawing d = cad::readDrawingFile(dwg.string());
    std::vector<std::string> left;
    const std::vector<std::string>& header = listed["header"];
    auto expectHeader = [&](const std::string& line) {
        if (std::find(header.begin(), header.end(), line) == header.end()) left.push_back("header " + line);
    };
    expectHeader("EXTENTS,1:" + numbers({d.header.extMin.x, d.header.extMax.x, d.header.extMin.y, d.header.extMax.y}));
    expectHeader("LIMITS,1:" + numbers({d.header.limMin.x, d.header.limMax.x, d.header.limMin.y, d.header.limMax.y}));
    expectHeader("TXTSIZE,1:" + fixed(d.header.textSize));
    for (const auto& [name, records] : listed) {
        if (name == "header") continue;
        const cad::Block* b = d.findBlock(name);
        if (!b) {
            left.push_back("no block " + name);
            continue;
        }
        std::vector<std::string> read;
        for (const Entity& e : b->entities) describe(d, e, read);
        if (read != records) left.push_back(name + ": " + ::testing::PrintToString(read));
    }
    return left;
}

}  // namespace

// Each drawing against the export beside it: a DXF, or for the first
// releases a listing. One without either must still read whole.
TEST(LegacyDwg, EachDrawingMatchesTheExportBesideIt)
{
    int compared = 0;
    for (const fs::path& dwg : filesEndingIn(".dwg")) {
        SCOPED_TRACE(dwg.string());
        fs::path dxf = fs::path(dwg).replace_extension(".dxf"), txt = fs::path(dwg).replace_extension(".txt");
        if (fs::exists(dxf)) {
            EXPECT_EQ(differencesFromTheDxf(dwg, dxf), std::vector<std::string>{});
            ++compared;
        } else if (fs::exists(txt)) {
            EXPECT_EQ(differencesFromTheListing(dwg, txt), std::vector<std::string>{});
            ++compared;
        }
        Drawing fromDwg = cad::readDrawingFile(dwg.string());
        EXPECT_NE(fromDwg.modelSpace(), nullptr);
        EXPECT_TRUE(fromDwg.skipped.empty()) << ::testing::PrintToString(fromDwg.skipped);
        EXPECT_TRUE(fromDwg.warnings.empty()) << ::testing::PrintToString(fromDwg.warnings);
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

// The first releases give no record sizes: a file cut short keeps the
// entities before the cut and says what it lost, and one cut inside its
// header is refused.
TEST(LegacyDwg, AFirstReleaseFileCutShort)
{
    const std::vector<std::uint8_t> whole = load(kLegacy / "r1.4" / "entities.dwg");
    ASSERT_GT(whole.size(), 0x300u);
    const cad::Drawing read = cad::dwg::readDwg(whole);
    const cad::TextStyle* style = read.findTextStyle("Standard");
    ASSERT_NE(style, nullptr);  // the one font of these releases
    EXPECT_EQ(style->fontFile, "txt");
    struct Case {
        std::size_t keep;
        int entities;         // model space entities read; -1 refused
        const char* warning;  // what the drawing says it lost
    } cases[] = {
        {0x100, -1, ""},           // inside the layer colours
        {0x2A0, 4, "truncated"},  // inside the TEXT
        {0x2F3, 6, "truncated"},  // just after the TRACE: the rest is missing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keep);
        std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(c.keep));
        if (c.entities < 0) {
            EXPECT_THROW(cad::dwg::readDwg(cut), cad::ReadError);
            continue;
        }
        Drawing d = cad::dwg::readDwg(cut);
        ASSERT_NE(d.modelSpace(), nullptr);
        EXPECT_EQ(d.modelSpace()->entities.size(), static_cast<std::size_t>(c.entities));
        ASSERT_FALSE(d.warnings.empty());
        EXPECT_NE(d.warnings[0].find(c.warning), std::string::npos) << d.warnings[0];
    }
}

// A record whose end cannot be found (a size that cannot be right, or no
// size and a kind we do not know) ends its section, not the drawing: what
// came before it and the other sections stay, and the drawing says so.
TEST(LegacyDwg, ARecordWeCannotStepOverEndsOnlyItsSection)
{
    struct Case {
        const char* file;
        std::size_t at;
        std::uint8_t value;
        std::size_t modelEntities;
        const char* block;  // a definition still read, or ""
    } cases[] = {
        {"r11/entities-2d.dwg", 0x6F1 + 2, 0x02, 1, "BLOCK1"},  // the LINE's size, too small
        {"r11/entities-2d.dwg", 0x6F1 + 3, 0x7F, 1, "BLOCK1"},  // past the section's end
        {"r1.4/entities.dwg", 0x2AB, 40, 5, ""},  // the TRACE made a kind release 1.40 did not have
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " at " + std::to_string(c.at));
        std::vector<std::uint8_t> bytes = load(kLegacy / c.file);
        ASSERT_GT(bytes.size(), c.at);
        bytes[c.at] = c.value;
        Drawing d = cad::dwg::readDwg(bytes);
        EXPECT_EQ(d.modelSpace()->entities.size(), c.modelEntities);
        EXPECT_TRUE(!*c.block || d.findBlock(c.block)) << c.block;
        EXPECT_EQ(d.skipped.size(), 1u);
        ASSERT_EQ(d.warnings.size(), 1u);
        EXPECT_NE(d.warnings[0].find("left out"), std::string::npos) << d.warnings[0];
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
    // Its sheet keeps its view in its extended data.
    const auto* sheet = firstOfKind(*d.paperSpace(), "VIEWPORT")->as<cad::ViewportData>();
    EXPECT_EQ(sheet->viewHeight, 34);
    EXPECT_NEAR(sheet->viewCenter.x, 28.5661, 1e-4);
    EXPECT_EQ(sheet->viewCenter.y, 17);
    EXPECT_EQ(sheet->viewDirection.z, 1);
}

// A paper space VIEWPORT record of R11 whose extended data holds another
// application's value, then the MVIEW list: its view and frozen layers are
// read from the list, and a list cut short gives what comes before the cut.
TEST(LegacyDwg, AViewportTakesItsViewFromItsExtendedData)
{
    using namespace cad::dwg::legacy;
    auto put = [](std::vector<std::uint8_t>& b, const void* p, std::size_t n) {
        const auto* bytes = static_cast<const std::uint8_t*>(p);
        b.insert(b.end(), bytes, bytes + n);
    };
    auto rs = [&](std::vector<std::uint8_t>& b, std::uint16_t v) { put(b, &v, 2); };
    auto rd = [&](std::vector<std::uint8_t>& b, double v) { put(b, &v, 8); };
    std::vector<std::uint8_t> list = {1, 1, 0};  // application 1, with a real of its own
    auto real = [&](double v) {
        list.push_back(40);
        rd(list, v);
    };
    auto point = [&](double x, double y, double z) {
        list.push_back(10);
        for (double v : {x, y, z}) rd(list, v);
    };
    real(99);
    list.insert(list.end(), {1, 0, 0, 0, 5, 'M', 'V', 'I', 'E', 'W', 2, 0, 70, 16, 0});
    point(1, 2, 3);
    point(0, -1, 1);
    real(0.5);
    real(20);
    const auto cutAt = static_cast<std::ptrdiff_t>(list.size() + 4);  // inside the view centre's x
    for (double v : {7.0, 8.0, 35.0}) real(v);
    list.insert(list.end(), {2, 0, 3, 1, 0, 3, 9, 0, 2, 1, 2, 1});  // frozen: layer 1, and one beyond the table

    auto record = [&](const std::vector<std::uint8_t>& extended) {
        std::vector<std::uint8_t> b = {24, 0x40, 0, 0, 0, 0, 0, 0, 6};
        rs(b, static_cast<std::uint16_t>(extended.size()));
        b.insert(b.end(), extended.begin(), extended.end());
        rs(b, 0);
        for (double v : {50.0, 50.0, 0.0, 40.0, 40.0}) rd(b, v);
        rs(b, 2);
        const auto size = static_cast<std::uint16_t>(b.size() + 2);
        std::memcpy(&b[2], &size, 2);
        rs(b, recordCrc(b.data(), b.size()));
        return b;
    };
    TableNames names;
    names.layers = {"0", "WALLS"};
    auto read = [&](const std::vector<std::uint8_t>& extended) {
        const std::vector<std::uint8_t> b = record(extended);
        Cursor c(b.data(), 0, b.size());
        Record r = readRecord(c, FileFacts{}, names);
        EXPECT_EQ(r.kind, Record::Kind::Drawable);
        const auto* v = r.entity.as<cad::ViewportData>();
        return v ? *v : cad::ViewportData{};
    };
    const cad::ViewportData v = read(list);
    EXPECT_EQ(v.width, 40);
    EXPECT_EQ(v.id, 2);
    const std::vector<double> view = {v.viewTarget.z, v.viewDirection.y, v.twist, v.viewHeight,
                                      v.viewCenter.x, v.viewCenter.y, v.lensLength};
    EXPECT_EQ(view, (std::vector<double>{3, -1, 0.5, 20, 7, 8, 35}));
    EXPECT_EQ(v.frozenLayers, std::vector<std::string>{"WALLS"});

    const cad::ViewportData cut = read(std::vector<std::uint8_t>(list.begin(), list.begin() + cutAt));
    EXPECT_EQ(cut.viewHeight, 20);
    EXPECT_EQ(cut.viewCenter.x, 0);
    EXPECT_EQ(cut.width, 40);
}

// REPEAT ... ENDREP: the entities between drawn in rows and columns, alike
// from the DWG and the DXF exported from it.
TEST(LegacyDwg, ARepeatArrayIsDrawnInRowsAndColumns)
{
    for (const char* file : {"r2.10/entities.dwg", "r2.10/entities.dxf", "r1.4/entities.dwg"}) {
        SCOPED_TRACE(file);
        Drawing d = cad::readDrawingFile((kLegacy / file).string());
        EXPECT_TRUE(d.skipped.empty()) << ::testing::PrintToString(d.skipped);
        const Entity* array = nullptr;
        for (const Entity& e : d.modelSpace()->entities)
            if (const auto* i = e.as<cad::InsertData>(); i && i->columns * i->rows > 1) array = &e;
        ASSERT_NE(array, nullptr);
        const auto* insert = array->as<cad::InsertData>();
        EXPECT_EQ(insert->columns, 3);
        EXPECT_EQ(insert->rows, 2);
        EXPECT_EQ(insert->columnSpacing, 1.0);
        EXPECT_EQ(insert->rowSpacing, 1.0);
        const cad::Block* repeated = d.findBlock(insert->blockName);
        ASSERT_NE(repeated, nullptr);
        EXPECT_TRUE(repeated->anonymous());
        ASSERT_EQ(repeated->entities.size(), 1u);
        EXPECT_EQ(repeated->entities[0].as<cad::PointData>()->position.y, 7.0);
    }
}

// A REPEAT without its ENDREP, or the other way round, loses nothing: the
// entities are drawn once, and the drawing says what was odd.
TEST(LegacyDwg, AnUnmatchedRepeatKeepsItsEntities)
{
    const std::string point = "  0\nPOINT\n  8\n0\n 10\n1.0\n 20\n7.0\n";
    const std::string repeat = "  0\nREPEAT\n  8\n0\n";
    const std::string endrep = "  0\nENDREP\n  8\n0\n 70\n3\n 71\n2\n";
    struct Case {
        std::string entities;
        std::size_t modelEntities;
        bool warned, skipped;
    } cases[] = {
        {repeat + point, 1, true, false},
        {point + endrep, 1, false, true},
        {repeat + point + endrep + endrep, 1, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entities);
        Drawing d = cad::dxf::readDxf("  0\nSECTION\n  2\nENTITIES\n" + c.entities + "  0\nENDSEC\n  0\nEOF\n");
        EXPECT_EQ(d.modelSpace()->entities.size(), c.modelEntities);
        EXPECT_EQ(!d.warnings.empty(), c.warned) << ::testing::PrintToString(d.warnings);
        EXPECT_EQ(!d.skipped.empty(), c.skipped) << ::testing::PrintToString(d.skipped);
    }
}

// LOAD names the shape file later SHAPEs draw from: it draws nothing and
// loses nothing.
TEST(LegacyDwg, ALoadRecordIsNoLoss)
{
    std::vector<std::uint8_t> bytes = load(kLegacy / "r2.10" / "entities.dwg");
    ASSERT_GT(bytes.size(), 0x469u);
    ASSERT_EQ(bytes[0x469], 4);  // the SHAPE, as the file header places the entities
    bytes[0x469] = 10;
    Drawing d = cad::dwg::readDwg(bytes);
    EXPECT_EQ(cad::countEntityKinds(d).count("SHAPE"), 0u);
    EXPECT_EQ(cad::countEntityKinds(d)["SOLID"], 1);
    EXPECT_TRUE(d.skipped.empty()) << ::testing::PrintToString(d.skipped);
    EXPECT_TRUE(d.warnings.empty()) << ::testing::PrintToString(d.warnings);
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
