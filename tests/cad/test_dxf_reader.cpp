// The DXF reader against the sample drawings and small hand-written files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>

#include "DxfTestFiles.h"
#include "cad/DrawingFile.h"

using namespace cad;
using dxftest::drawing;
using dxftest::dxfWithEntities;
using dxftest::findByHandle;
using dxftest::read;

namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

TEST(DxfSamples, EveryDxfInTheDrawingsFolderReads) {
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(LUMICADE_DRAWINGS_DIR)) {
        if (entry.path().extension() != ".dxf") continue;
        ++files;
        SCOPED_TRACE(entry.path().string());
        Drawing d;
        ASSERT_NO_THROW(d = readDrawingFile(entry.path().string()));
        EXPECT_EQ(d.header.version.substr(0, 4), "AC10");
        ASSERT_NE(d.modelSpace(), nullptr);
        EXPECT_FALSE(countEntityKinds(d).empty());
        // Records of object graphics that no public description names are
        // listed too (an R14 export's multileader holds some); nothing else may be.
        for (const auto& [what, count] : d.skipped)
            EXPECT_EQ(what.rfind("proxy graphics primitive ", 0), 0u) << "skipped " << what;
    }
    EXPECT_GE(files, 20);
}

TEST(DxfSamples, ExampleCountsAgreeAcrossVersions) {
    const std::map<std::string, int> expected = {
        {"3DFACE", 2}, {"3DSOLID", 1}, {"ACAD_TABLE", 1}, {"ARC", 2}, {"ARC_DIMENSION", 1}, {"ATTDEF", 2},
        {"ATTRIB", 2}, {"DIMENSION", 9}, {"ELLIPSE", 1}, {"HATCH", 1}, {"INSERT", 10}, {"LIGHT", 1},
        {"LINE", 8}, {"LWPOLYLINE", 11}, {"MLINE", 1}, {"MTEXT", 1}, {"MULTILEADER", 1}, {"POINT", 1},
        {"POLYLINE", 2}, {"RAY", 1}, {"REGION", 2}, {"SOLID", 1}, {"SPLINE", 2}, {"TEXT", 2},
        {"TOLERANCE", 1}, {"VIEWPORT", 1}, {"WIPEOUT", 2}, {"XLINE", 1}};
    for (const char* version : {"2000", "2004", "2007", "2010", "2013", "2018"}) {
        SCOPED_TRACE(version);
        EXPECT_EQ(countEntityKinds(readDrawingFile(drawing(std::string("example_") + version + ".dxf"))), expected);
    }
    // R12 spells lightweight polylines as POLYLINE and has no newer kinds.
    auto r12 = countEntityKinds(readDrawingFile(drawing("example_r12.dxf")));
    EXPECT_EQ(r12["POLYLINE"], 16);
    EXPECT_EQ(r12["INSERT"], 19);
    EXPECT_EQ(r12.count("LWPOLYLINE"), 0u);
}

TEST(DxfSamples, Example2018KnownValues) {
    Drawing d = readDrawingFile(drawing("example_2018.dxf"));
    EXPECT_EQ(d.header.version, "AC1032");
    EXPECT_EQ(d.header.activeLayout, "Layout2");  // the one *Paper_Space shows
    ASSERT_EQ(d.layouts.size(), 3u);

    const Entity* arc = findByHandle(d, 0x3AB);
    ASSERT_NE(arc, nullptr);
    ASSERT_NE(arc->as<ArcData>(), nullptr);
    EXPECT_DOUBLE_EQ(arc->as<ArcData>()->radius, 391.2614390878535);
    EXPECT_NEAR(arc->as<ArcData>()->startAngle, 237.0717783317949 * kPi / 180, 1e-12);
    EXPECT_EQ(arc->common.color, Color::byBlock());
    EXPECT_EQ(arc->common.lineweight, LineWeightByBlock);

    const auto* lw = findByHandle(d, 0x8E)->as<LwPolylineData>();
    ASSERT_NE(lw, nullptr);
    EXPECT_TRUE(lw->closed);
    ASSERT_EQ(lw->vertices.size(), 6u);
    EXPECT_DOUBLE_EQ(lw->vertices[5].point.y, 1073.17362782951);

    const auto* hatch = findByHandle(d, 0x24F)->as<HatchData>();
    ASSERT_NE(hatch, nullptr);
    EXPECT_EQ(hatch->pattern, "ANGLE");
    EXPECT_FALSE(hatch->solid);
    ASSERT_EQ(hatch->loops.size(), 1u);
    EXPECT_EQ(hatch->loops[0].edges.size(), 6u);
    EXPECT_DOUBLE_EQ(hatch->loops[0].edges[5].end.x, 1403.271282119223);
    ASSERT_EQ(hatch->lines.size(), 2u);
    EXPECT_NEAR(hatch->lines[1].angle, kPi / 2, 1e-15);
    EXPECT_EQ(hatch->lines[1].dashes, (std::vector<double>{10.16, -3.81}));

    const Entity* insert = findByHandle(d, 0x190);
    ASSERT_NE(insert, nullptr);
    ASSERT_EQ(insert->as<InsertData>()->attributes.size(), 1u);
    const auto* attrib = insert->as<InsertData>()->attributes[0].as<TextData>();
    EXPECT_EQ(attrib->tag, "ETIKEDO");
    EXPECT_EQ(attrib->value, "valoro de la teksto en bloko");

    const auto* poly = findByHandle(d, 0x41A)->as<PolylineData>();
    ASSERT_NE(poly, nullptr);
    EXPECT_EQ(poly->kind, PolylineData::Kind::Polyline3D);
    EXPECT_TRUE(poly->closed());
    EXPECT_DOUBLE_EQ(poly->vertices.at(1).point.x, 2263.008982973159);

    const auto* dim = findByHandle(d, 0x420)->as<DimensionData>();
    ASSERT_NE(dim, nullptr);
    EXPECT_EQ(dim->blockName, "*D6");
    EXPECT_EQ(dim->dimType & 15, 6);
    EXPECT_DOUBLE_EQ(dim->points[1].x, 4397.996030489434);

    const auto* mtext = findByHandle(d, 0x388)->as<MTextData>();
    ASSERT_NE(mtext, nullptr);
    EXPECT_EQ(mtext->text, "1504,68");
    EXPECT_EQ(mtext->attachment, 5);
    EXPECT_DOUBLE_EQ(mtext->xAxis.y, 0.9603107105785683);

    const auto* leader = findByHandle(d, 0x640)->as<MLeaderData>();
    ASSERT_NE(leader, nullptr);
    EXPECT_EQ(leader->text, "xx\\P\\pxt1;xx");
    ASSERT_EQ(leader->leaderLines.size(), 1u);
    ASSERT_EQ(leader->leaderLines[0].size(), 1u);
    EXPECT_DOUBLE_EQ(leader->leaderLines[0][0].x, -2577.704248811191);
    ASSERT_EQ(leader->landingPoints.size(), 1u);
    EXPECT_DOUBLE_EQ(leader->landingPoints[0].x, -2239.4884406528);
    EXPECT_DOUBLE_EQ(leader->textLocation.y, 609.2183823688756);

    // Entities of block definitions stay in their blocks.
    const Block* tableBlock = d.findBlock("*T14");
    ASSERT_NE(tableBlock, nullptr);
    EXPECT_FALSE(tableBlock->entities.empty());
    EXPECT_NE(d.findLayer("Tavolo 3"), nullptr);
}

TEST(DxfStructure, SequencesSpacesAndBlocks) {
    const std::string blocks =
        "0\nSECTION\n2\nBLOCKS\n"
        "0\nBLOCK\n2\nDOOR\n70\n0\n10\n1\n20\n2\n30\n0\n0\nLINE\n10\n0\n20\n0\n11\n1\n21\n1\n0\nENDBLK\n"
        "0\nENDSEC\n";
    const std::string entities =
        "0\nPOLYLINE\n5\n10\n66\n1\n70\n1\n"
        "0\nVERTEX\n10\n1\n20\n2\n42\n0.5\n0\nVERTEX\n10\n3\n20\n4\n0\nSEQEND\n"
        "0\nINSERT\n5\n20\n66\n1\n2\nDOOR\n10\n5\n20\n6\n50\n90\n"
        "0\nATTRIB\n5\n21\n1\nvalue\n2\nTAG\n70\n0\n0\nSEQEND\n"
        // An INSERT without attributes: the ATTRIB after it stands alone.
        "0\nINSERT\n5\n30\n2\nDOOR\n0\nATTRIB\n5\n31\n1\nloose\n2\nT\n"
        // A POLYLINE whose SEQEND is missing ends at the next entity.
        "0\nPOLYLINE\n5\n40\n70\n8\n0\nVERTEX\n10\n1\n20\n1\n30\n1\n"
        "0\nCIRCLE\n5\n50\n67\n1\n10\n0\n20\n0\n40\n2\n";
    std::string text = dxfWithEntities(entities);
    text.insert(text.find("0\nSECTION\n2\nENTITIES"), blocks);
    Drawing d = read(text);

    auto counts = countEntityKinds(d);
    EXPECT_EQ(counts, (std::map<std::string, int>{
                          {"ATTRIB", 2}, {"CIRCLE", 1}, {"INSERT", 2}, {"POLYLINE", 2}}));
    ASSERT_NE(d.paperSpace(), nullptr);
    ASSERT_EQ(d.paperSpace()->entities.size(), 1u);
    EXPECT_EQ(d.paperSpace()->entities[0].type, "CIRCLE");

    const auto& model = d.modelSpace()->entities;
    ASSERT_EQ(model.size(), 5u);
    const auto* pl = model[0].as<PolylineData>();
    ASSERT_EQ(pl->vertices.size(), 2u);
    EXPECT_EQ(pl->vertices[0].bulge, 0.5);
    EXPECT_EQ(pl->vertices[1].point.y, 4);
    const auto* ins = model[1].as<InsertData>();
    EXPECT_NEAR(ins->rotation, kPi / 2, 1e-15);
    ASSERT_EQ(ins->attributes.size(), 1u);
    EXPECT_EQ(ins->attributes[0].as<TextData>()->tag, "TAG");
    EXPECT_EQ(model[3].type, "ATTRIB");
    EXPECT_EQ(model[4].as<PolylineData>()->kind, PolylineData::Kind::Polyline3D);
    EXPECT_EQ(model[4].as<PolylineData>()->vertices.size(), 1u);

    const Block* door = d.findBlock("door");  // names compare without case
    ASSERT_NE(door, nullptr);
    EXPECT_EQ(door->base.y, 2);
    EXPECT_EQ(door->entities.size(), 1u);
}

TEST(DxfStructure, ComplexLinetypeElementsBelongToTheirDashes) {
    const std::string tables =
        "0\nSECTION\n2\nTABLES\n"
        "0\nTABLE\n2\nLTYPE\n"
        "0\nLTYPE\n5\n2A\n2\nFENCE\n70\n0\n3\nposts and gas\n72\n65\n73\n3\n40\n2.0\n"
        "49\n1.0\n74\n0\n"
        "49\n-0.5\n74\n4\n75\n131\n340\n1A\n46\n2\n50\n90\n44\n0.1\n45\n-0.2\n"
        "49\n-0.5\n74\n3\n75\n0\n340\n1A\n46\n0.25\n50\n30\n44\n-0.3\n45\n0.4\n9\nGAS\n"
        "0\nLTYPE\n5\n2B\n2\nDASHED\n70\n0\n73\n2\n40\n0.75\n49\n0.5\n74\n0\n49\n-0.25\n74\n0\n"
        "0\nENDTAB\n0\nENDSEC\n";
    std::string text = dxfWithEntities("");
    text.insert(text.find("0\nSECTION\n2\nENTITIES"), tables);
    const Drawing d = read(text);
    const Linetype* fence = d.findLinetype("FENCE");
    ASSERT_NE(fence, nullptr);
    EXPECT_EQ(fence->dashes, (std::vector<double>{1.0, -0.5, -0.5}));
    ASSERT_EQ(fence->elements.size(), 2u);
    const LinetypeElement& post = fence->elements[0];
    EXPECT_EQ(post.dash, 1u);
    EXPECT_FALSE(post.isText);
    EXPECT_FALSE(post.absoluteRotation);
    EXPECT_EQ(post.shapeNumber, 131);
    EXPECT_EQ(post.style, 0x1Au);
    EXPECT_EQ(post.scale, 2);
    EXPECT_NEAR(post.rotation, kPi / 2, 1e-12);
    EXPECT_EQ(post.offset, (Vec2{0.1, -0.2}));
    const LinetypeElement& gas = fence->elements[1];
    EXPECT_EQ(gas.dash, 2u);
    EXPECT_TRUE(gas.isText);
    EXPECT_TRUE(gas.absoluteRotation);
    EXPECT_EQ(gas.text, "GAS");
    EXPECT_NEAR(gas.rotation, kPi / 6, 1e-12);
    EXPECT_EQ(gas.offset, (Vec2{-0.3, 0.4}));
    ASSERT_NE(d.findLinetype("DASHED"), nullptr);
    EXPECT_TRUE(d.findLinetype("DASHED")->elements.empty()) << "flags of 0 add no element";
}

TEST(DxfStructure, PaperSpaceByFlagOrByOwner) {
    const std::string tables =
        "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nBLOCK_RECORD\n"
        "0\nBLOCK_RECORD\n5\n1F\n2\n*Model_Space\n0\nBLOCK_RECORD\n5\n55\n2\n*Paper_Space\n"
        "0\nENDTAB\n0\nENDSEC\n";
    std::string text = dxfWithEntities("0\nLINE\n5\nA\n330\n1F\n"
                                       "0\nLINE\n5\nB\n330\n55\n"
                                       "0\nLINE\n5\nC\n67\n1\n");
    text.insert(text.find("0\nSECTION\n2\nENTITIES"), tables);
    Drawing d = read(text);
    ASSERT_EQ(d.modelSpace()->entities.size(), 1u);
    ASSERT_EQ(d.paperSpace()->entities.size(), 2u);
    EXPECT_EQ(d.paperSpace()->handle, 0x55u);
    EXPECT_TRUE(d.paperSpace()->entities[0].common.paperSpace);
}

namespace {

std::vector<const ViewportData*> viewportsOf(const Drawing& d) {
    std::vector<const ViewportData*> out;
    if (d.paperSpace())
        for (const Entity& e : d.paperSpace()->entities)
            if (const auto* v = e.as<ViewportData>()) out.push_back(v);
    return out;
}

// Target z, direction y, twist, view height, view centre, lens length.
std::vector<double> viewOf(const ViewportData& v) {
    return {v.viewTarget.z, v.viewDirection.y, v.twist, v.viewHeight, v.viewCenter.x, v.viewCenter.y, v.lensLength};
}

}  // namespace

TEST(DxfOldDialects, R12ViewportsTakeTheirViewFromTheirExtendedData) {
    // The sample saved as R12, ASCII and binary: the sheet and one viewport.
    for (const char* name : {"sample_AC1009_ascii.dxf", "sample_AC1009_binary.dxf"}) {
        SCOPED_TRACE(name);
        const Drawing d = readDrawingFile(std::string(LUMICADE_SAMPLE_DRAWINGS_DIR) + "/sample/" + name);
        const auto v = viewportsOf(d);
        ASSERT_EQ(v.size(), 2u);
        EXPECT_NEAR(v[0]->viewHeight, 8.7472440944881882, 1e-12);
        const std::vector<double> view = viewOf(*v[1]), expected = {0, 0, 0, 9.1088709677419342, 6, 4.5, 50};
        for (std::size_t i = 0; i < view.size(); ++i) EXPECT_NEAR(view[i], expected[i], 1e-12) << i;
        EXPECT_EQ(v[1]->viewDirection.z, 1);
    }

    const std::string viewport = "0\nVIEWPORT\n67\n1\n8\n0\n10\n5\n20\n5\n40\n4\n41\n4\n68\n2\n69\n2\n";
    const std::string mview =
        "1001\nACAD\n1000\nMVIEW\n1002\n{\n1070\n16\n1010\n1\n1020\n2\n1030\n3\n1010\n0\n1020\n-1\n1030\n1\n"
        "1040\n0.5\n1040\n20\n1040\n7\n1040\n8\n1040\n35\n1040\n0\n1040\n0\n1070\n0\n1040\n99\n"
        "1002\n{\n1003\nWALLS\n1003\nDOORS\n1002\n}\n1002\n}\n";
    const Drawing withView = read(dxfWithEntities(viewport + mview, "AC1009"));
    const ViewportData* v = viewportsOf(withView).at(0);
    EXPECT_EQ(viewOf(*v), (std::vector<double>{3, -1, 0.5, 20, 7, 8, 35}));
    EXPECT_EQ(v->frozenLayers, (std::vector<std::string>{"WALLS", "DOORS"}));
    EXPECT_TRUE(v->on());
    std::string off = viewport;
    off.replace(off.find("68\n2"), 4, "68\n0");
    const Drawing switchedOff = read(dxfWithEntities(off + mview, "AC1009"));
    EXPECT_FALSE(viewportsOf(switchedOff).at(0)->on());

    // Another application's MVIEW list, and one cut short after the view
    // height: what is there is taken, nothing is invented.
    const std::string other = mview.substr(0, 5) + "OTHER" + mview.substr(9);
    const Drawing otherApplication = read(dxfWithEntities(viewport + other, "AC1009"));
    EXPECT_EQ(viewportsOf(otherApplication).at(0)->viewHeight, 0);
    const std::string cut = mview.substr(0, mview.find("1040\n7")) + "0\nLINE\n";
    const Drawing cutShort = read(dxfWithEntities(viewport + cut, "AC1009"));
    const ViewportData* shortList = viewportsOf(cutShort).at(0);
    EXPECT_EQ(shortList->viewHeight, 20);
    EXPECT_EQ(shortList->viewCenter.x, 0);
    EXPECT_TRUE(shortList->frozenLayers.empty());
}

TEST(DxfStructure, CommonDataAndUnknownKinds) {
    Drawing d = read(dxfWithEntities(
        "0\nLINE\n5\nA1\n330\n1F\n100\nAcDbEntity\n8\nWalls\n6\nDASHED\n62\n3\n420\n16711680\n370\n50\n48\n2.5\n"
        "100\nAcDbLine\n10\n1\n20\n2\n30\n3\n11\n4\n21\n5\n31\n6\n210\n0\n220\n0\n230\n-1\n"
        "1001\nAPP\n1010\n99\n1020\n99\n1030\n99\n"
        "0\nFROBNICATOR\n5\nA2\n8\n0\n"
        "0\nREGION\n5\nA3\n8\n0\n"));
    const auto& model = d.modelSpace()->entities;
    ASSERT_EQ(model.size(), 3u);
    const Entity& line = model[0];
    EXPECT_EQ(line.common.handle, 0xA1u);
    EXPECT_EQ(line.common.owner, 0x1Fu);
    EXPECT_EQ(line.common.layer, "Walls");
    EXPECT_EQ(line.common.linetype, "DASHED");
    EXPECT_EQ(line.common.color, Color::fromRgb(0xFF0000));
    EXPECT_EQ(line.common.lineweight, 50);
    EXPECT_EQ(line.common.linetypeScale, 2.5);
    EXPECT_EQ(line.common.extrusion.z, -1);
    // Extended data does not leak into the geometry.
    EXPECT_EQ(line.as<LineData>()->end.x, 4);
    EXPECT_EQ(line.as<LineData>()->start.z, 3);

    // Unknown kinds stay as placeholders and are listed as skipped; a
    // region without modeler data is an empty body, not skipped.
    EXPECT_NE(model[1].as<PlaceholderData>(), nullptr);
    ASSERT_NE(model[2].as<cad::BodyData>(), nullptr);
    EXPECT_TRUE(model[2].as<cad::BodyData>()->edges.empty());
    EXPECT_EQ(d.skipped, (std::map<std::string, int>{{"FROBNICATOR", 1}}));
}

namespace {

// Spells an ASCII DXF out in the binary form: two-byte group codes, or as
// R12 wrote it, one byte (255 and two more for larger codes).
std::string toBinary(const std::string& ascii, bool r12 = false) {
    std::string out("AutoCAD Binary DXF\r\n\x1a\0", 22);
    std::size_t pos = 0;
    auto line = [&] {
        std::size_t end = ascii.find('\n', pos);
        std::string s = ascii.substr(pos, end - pos);
        pos = end + 1;
        return s;
    };
    while (pos < ascii.size()) {
        int code = std::stoi(line());
        std::string value = line();
        if (r12 && code >= 255) out += '\xff';
        if (!r12 || code >= 255) {
            out += static_cast<char>(code & 0xFF);
            out += static_cast<char>(code >> 8);
        } else {
            out += static_cast<char>(code);
        }
        if ((code >= 10 && code <= 59) || (code >= 210 && code <= 239)) {
            double v = std::stod(value);
            char b[8];
            std::memcpy(b, &v, 8);
            out.append(b, 8);
        } else if ((code >= 60 && code <= 79) || (code >= 370 && code <= 389)) {
            auto v = static_cast<std::int16_t>(std::stoi(value));
            out += static_cast<char>(v & 0xFF);
            out += static_cast<char>((v >> 8) & 0xFF);
        } else if (code >= 90 && code <= 99) {
            auto v = static_cast<std::int32_t>(std::stol(value));
            char b[4];
            std::memcpy(b, &v, 4);
            out.append(b, 4);
        } else {
            out += value;
            out += '\0';
        }
    }
    return out;
}

}  // namespace

TEST(DxfStructure, BinaryFileReadsLikeItsAsciiForm) {
    std::string ascii = dxfWithEntities(
        "0\nLWPOLYLINE\n5\nB1\n330\n1F\n8\nL\n90\n2\n70\n1\n10\n0.1\n20\n-2.5e3\n42\n1\n10\n7\n20\n8\n"
        "0\nTEXT\n5\nB2\n8\nL\n10\n1\n20\n2\n40\n3.5\n1\nhello\n72\n1\n11\n4\n21\n5\n");
    Drawing a = read(ascii);
    Drawing b = read(toBinary(ascii));
    ASSERT_EQ(b.modelSpace()->entities.size(), 2u);
    const auto* la = a.modelSpace()->entities[0].as<LwPolylineData>();
    const auto* lb = b.modelSpace()->entities[0].as<LwPolylineData>();
    ASSERT_EQ(lb->vertices.size(), 2u);
    EXPECT_EQ(lb->vertices[0].point.y, la->vertices[0].point.y);
    EXPECT_EQ(lb->vertices[0].bulge, 1);
    EXPECT_TRUE(lb->closed);
    EXPECT_EQ(b.modelSpace()->entities[1].as<TextData>()->value, "hello");
    EXPECT_EQ(b.modelSpace()->entities[1].as<TextData>()->alignment.y, 5);

    Drawing r12 = read(toBinary(ascii, true));
    ASSERT_EQ(r12.modelSpace()->entities.size(), 2u);
    EXPECT_EQ(r12.modelSpace()->entities[0].common.handle, 0xB1u);
    EXPECT_EQ(r12.modelSpace()->entities[0].common.owner, 0x1Fu);
    EXPECT_EQ(r12.modelSpace()->entities[0].as<LwPolylineData>()->vertices[1].point.x, 7);

    // Strings end with a zero byte and hold line breaks and carets as they are.
    std::string raw = toBinary(ascii);
    raw.replace(raw.find("hello"), 5, "he^l\r\nlo");
    EXPECT_EQ(read(raw).modelSpace()->entities[1].as<TextData>()->value, "he^l\r\nlo");

    // Cut short inside a value: a clean error, not a read past the end.
    std::string binary = toBinary(ascii);
    EXPECT_THROW(read(binary.substr(0, binary.size() / 2)), ReadError);
}

TEST(DxfErrors, UnreadableFilesGiveOneLineReasons) {
    auto reason = [](const std::string& text) {
        try {
            read(text);
        } catch (const ReadError& e) {
            return std::string(e.what());
        }
        return std::string("(read without error)");
    };
    EXPECT_EQ(reason(""), "not a DXF or DWG drawing");
    EXPECT_EQ(reason("PK\x03\x04 a zip file"), "not a DXF or DWG drawing");
    EXPECT_EQ(reason("0\nSECTION\n2\nENTITIES\n0\nLINE\n10\n1\n"), "DXF: the file ends inside the ENTITIES section");
    EXPECT_EQ(reason(dxfWithEntities("0\nLINE\n10\n1.5.5\n")),
              "DXF line 21: a number expected for group code 10");
    EXPECT_EQ(reason("0\nSECTION\n2\nHEADER\nx\n"), "DXF line 5: group code expected, found \"x\"");
    EXPECT_EQ(reason(dxfWithEntities("0\nLINE\n10\nnan\n")), "DXF line 21: a finite number expected for group code 10");
    EXPECT_EQ(reason(dxfWithEntities("0\nCIRCLE\n40\n-inf\n")), "DXF line 21: a finite number expected for group code 40");
    // Whatever junk the file holds, the reason stays one readable line.
    EXPECT_EQ(reason("0\nSECTION\n2\nHEADER\n\x01\x02\x1b[31m\xff\n"),
              "DXF line 5: group code expected, found \"???[31m?\"");
    EXPECT_EQ(reason("0\nSECTION\n2\nHEADER\n9\n"), "DXF line 5: the file ends after a group code");
    EXPECT_EQ(reason("999\ncomment only\n"), "DXF: the file holds no sections");
    // A file without the closing EOF marker is complete enough.
    EXPECT_EQ(reason("0\nSECTION\n2\nENTITIES\n0\nLINE\n10\n1\n0\nENDSEC\n"), "(read without error)");
    // Lines ended by a carriage return alone, as old Macintosh programs wrote them.
    EXPECT_EQ(reason("0\rSECTION\r2\rENTITIES\r0\rLINE\r10\r1\r0\rENDSEC\r0\rEOF\r"), "(read without error)");
    // A missing file is named.
    EXPECT_THROW(readDrawingFile(drawing("no such drawing.dxf")), ReadError);
}

// The first releases' DXF: entities and blocks without handles or tables,
// heights as an elevation group, and a version string ("AC2.10") that sorts
// after the UTF-8 ones while its text is in the code page.
TEST(DxfOldDialects, ElevationsBlocksAndTextOfTheFirstReleases) {
    Drawing d = read(
        "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC2.10\n0\nENDSEC\n"
        "0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n8\n0\n2\nDOOR\n70\n0\n10\n1.0\n20\n2.0\n"
        "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n0\nENDBLK\n8\n0\n0\nENDSEC\n"
        "0\nSECTION\n2\nENTITIES\n"
        "0\nLINE\n8\nWALLS\n38\n5.0\n10\n1\n20\n2\n11\n3\n21\n4\n"
        "0\nCIRCLE\n8\n0\n38\n2.5\n10\n1\n20\n1\n40\n1\n"
        "0\nTEXT\n8\n0\n10\n0\n20\n0\n30\n7\n38\n2\n40\n1\n1\nCaf\xe9\n"
        "0\nINSERT\n8\n0\n2\nDOOR\n10\n4\n20\n4\n"
        "0\nPOLYLINE\n8\n0\n66\n1\n38\n3\n0\nVERTEX\n8\n0\n10\n1\n20\n1\n38\n3\n0\nSEQEND\n"
        "0\nENDSEC\n0\nEOF\n");
    EXPECT_EQ(d.header.version, "AC2.10");
    const auto& model = d.modelSpace()->entities;
    ASSERT_EQ(model.size(), 5u);
    const auto* line = model[0].as<LineData>();
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(model[0].common.layer, "WALLS");
    EXPECT_EQ(line->start.z, 5);
    EXPECT_EQ(line->end.z, 5);
    EXPECT_EQ(model[1].as<CircleData>()->center.z, 2.5);
    const auto* text = model[2].as<TextData>();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->insertion.z, 7);  // a z of its own wins over the elevation
    EXPECT_EQ(text->value, "Caf\xc3\xa9");
    const Block* door = d.findBlock(model[3].as<InsertData>()->blockName);
    ASSERT_NE(door, nullptr);
    EXPECT_EQ(door->base.y, 2);
    EXPECT_EQ(door->entities.size(), 1u);
    const auto* polyline = model[4].as<PolylineData>();
    ASSERT_NE(polyline, nullptr);
    EXPECT_EQ(polyline->elevation, 3);
    ASSERT_EQ(polyline->vertices.size(), 1u);
    EXPECT_EQ(polyline->vertices[0].point.z, 3);
}
