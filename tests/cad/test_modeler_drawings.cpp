// Solids, regions, meshes and object graphics as the readers find them in
// real drawings and in small DXF files written here.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "DxfTestFiles.h"
#include "cad/DrawingFile.h"
#include "cad/model/WireEntities.h"

using cad::BodyData;
using cad::Drawing;
using cad::Entity;

namespace {

const char* const kVersions[] = {"r13", "r14", "2000", "2004", "2007", "2010", "2013", "2018"};

}  // namespace

// The example drawing holds one solid (a box: 12 edges and the 6 of a
// second lump) and two rectangular regions, whichever form the version
// keeps their modeler data in: stored text up to 2000, binary in the object
// for 2004 to 2010, binary in the data store from 2013; the DXF exports as
// text, or in their own data store from 2013.
TEST(ModelerDrawings, ExampleSolidAndRegionsHaveTheirEdgesInEveryVersionAndForm) {
    for (const char* version : kVersions)
        for (const char* ext : {".dwg", ".dxf"}) {
            const std::string name = std::string("example_") + version + ext;
            Drawing d = cad::readDrawingFile(dxftest::drawing(name));
            SCOPED_TRACE(name);
            const Entity* solid = dxftest::findByHandle(d, 0x2E1);
            const Entity* regions[] = {dxftest::findByHandle(d, 0x176), dxftest::findByHandle(d, 0x37D)};
            ASSERT_NE(solid, nullptr);
            const BodyData* body = solid->as<BodyData>();
            ASSERT_NE(body, nullptr);
            EXPECT_EQ(body->error, "");
            EXPECT_EQ(body->edges.size(), 18u);
            EXPECT_EQ(body->unsupportedEdges, 0);
            for (const Entity* region : regions) {
                ASSERT_NE(region, nullptr);
                ASSERT_NE(region->as<BodyData>(), nullptr);
                EXPECT_EQ(region->as<BodyData>()->edges.size(), 4u);
            }
            // Nothing of them is left over as skipped.
            EXPECT_EQ(d.skipped.count("3DSOLID"), 0u);
            EXPECT_EQ(d.skipped.count("REGION"), 0u);
        }
}

TEST(ModelerDrawings, DxfMeshReadsItsCage) {
    // A cube: 8 vertices, 6 quads, its 12 edges listed too.
    std::string mesh = "0\nMESH\n5\n2A\n100\nAcDbEntity\n8\n0\n100\nAcDbSubDMesh\n71\n2\n72\n0\n91\n0\n92\n8\n";
    for (int i = 0; i < 8; ++i)
        mesh += "10\n" + std::to_string(i & 1) + "\n20\n" + std::to_string(i >> 1 & 1) + "\n30\n" +
                std::to_string(i >> 2 & 1) + "\n";
    mesh += "93\n30\n";
    for (int f : {4, 0, 1, 3, 2, 4, 4, 5, 7, 6, 4, 0, 1, 5, 4, 4, 2, 3, 7, 6, 4, 0, 2, 6, 4, 4, 1, 3, 7, 5})
        mesh += "90\n" + std::to_string(f) + "\n";
    mesh += "94\n1\n90\n0\n90\n1\n95\n1\n140\n0\n90\n0\n";
    Drawing d = dxftest::read(dxftest::dxfWithEntities(mesh, "AC1024"));
    const Entity* e = dxftest::findByHandle(d, 0x2A);
    ASSERT_NE(e, nullptr);
    const cad::MeshData* m = e->as<cad::MeshData>();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->vertices.size(), 8u);
    EXPECT_EQ(m->vertices[7].z, 1);
    ASSERT_EQ(m->faces.size(), 6u);
    EXPECT_EQ(m->faces[5], (std::vector<int>{1, 3, 7, 5}));
    EXPECT_EQ(m->edges.size(), 1u);  // the 90 after the creases is no edge
    EXPECT_EQ(cad::entitiesOfMesh(*m).size(), 12u);
}

TEST(ModelerDrawings, ObjectsOfUnknownClassesDrawTheirGraphics) {
    // A circle record, its size and the stream's header, as 310 hex.
    const std::string circle =
        "48000000010000004000000002000000000000000000F03F0000000000000040000000000000000000000000"
        "0000084000000000000000000000000000000000000000000000F03F";
    // The same with a record of a kind we do not know after it.
    const std::string circleAndUnknown = "5400000002000000" + circle.substr(16) + "0C0000003300000000000000";
    std::string entities = "0\nAECC_WALL\n5\n2B\n100\nAcDbEntity\n8\n0\n92\n84\n310\n" + circleAndUnknown +
                           "\n100\nAecWall\n90\n7\n"
                           "0\nFROBNICATOR\n5\n2C\n100\nAcDbEntity\n8\n0\n"
                           "0\nACAD_PROXY_ENTITY\n5\n2D\n100\nAcDbEntity\n8\n0\n100\nAcDbProxyEntity\n90\n498\n"
                           "91\n500\n92\n72\n310\n" + circle + "\n93\n8\n310\nFF\n";
    Drawing d = dxftest::read(dxftest::dxfWithEntities(entities));
    for (cad::Handle h : {0x2B, 0x2D}) {
        const Entity* e = dxftest::findByHandle(d, h);
        ASSERT_NE(e, nullptr);
        const cad::ProxyEntityData* p = e->as<cad::ProxyEntityData>();
        ASSERT_NE(p, nullptr) << h;
        ASSERT_EQ(p->graphics.primitives.size(), 1u);
        EXPECT_EQ(p->graphics.primitives[0].radius, 3);
        EXPECT_FALSE(p->graphics.damaged);
    }
    // Without graphics an unknown class stays a counted placeholder; the
    // record not drawn is counted too.
    EXPECT_NE(dxftest::findByHandle(d, 0x2C)->as<cad::PlaceholderData>(), nullptr);
    EXPECT_EQ(d.skipped, (std::map<std::string, int>{{"FROBNICATOR", 1}, {"proxy graphics primitive 51", 1}}));
}

TEST(ModelerDrawings, ArchitecturalObjectsDrawAllOfTheirGraphics) {
    // Each holds its outline, its class name and an empty closing record.
    const std::string path = std::string(LUMICADE_DRAWINGS_DIR) + "/../drawings-b/custom-objects/AecObjects.dwg";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << path;
    Drawing d = cad::readDrawingFile(path);
    int objects = 0;
    for (const Entity& e : d.modelSpace()->entities) {
        const cad::ProxyEntityData* p = e.as<cad::ProxyEntityData>();
        if (!p) continue;
        ++objects;
        EXPECT_EQ(p->graphics.skippedPrimitives, 0) << e.type;
        EXPECT_FALSE(p->graphics.damaged) << e.type;
    }
    EXPECT_GT(objects, 0);
    EXPECT_TRUE(d.skipped.empty()) << ::testing::PrintToString(d.skipped);
}

TEST(ModelerDrawings, R14ExportOfAMultileaderIsDrawnFromItsGraphics) {
    Drawing d = cad::readDrawingFile(dxftest::drawing("example_r14.dxf"));
    const Entity* e = dxftest::findByHandle(d, 0x640);
    ASSERT_NE(e, nullptr);
    const cad::ProxyEntityData* p = e->as<cad::ProxyEntityData>();
    ASSERT_NE(p, nullptr);
    int texts = 0, lines = 0;
    for (const auto& prim : p->graphics.primitives) {
        if (prim.kind == cad::ProxyPrimitive::Kind::Text) {
            ++texts;
            EXPECT_EQ(prim.text, "xx");
        }
        if (prim.kind == cad::ProxyPrimitive::Kind::Polyline) ++lines;
    }
    EXPECT_EQ(texts, 2);
    EXPECT_EQ(lines, 2);
    EXPECT_FALSE(p->graphics.damaged);
    EXPECT_FALSE(cad::entitiesOfProxyGraphics(p->graphics, d).empty());
}

// The sample drawing's box solid, wedge solid and region sit near
// (15..34, -224..-217): each body's transform moves it there from the
// modeler's own origin. The transform record has one header field fewer
// than the others in these files; missing that left all three at the origin,
// far from the rest of the drawing. Its ISOLINES is the usual 4.
TEST(ModelerDrawings, SampleBodiesStandWhereTheirTransformsPutThem) {
    for (const char* version : {"AC1015", "AC1018", "AC1032"})
        for (const char* form : {".dwg", "_ascii.dxf", "_binary.dxf"}) {
            const std::string name = std::string("../drawings-b/sample/sample_") + version + form;
            SCOPED_TRACE(name);
            Drawing d = cad::readDrawingFile(dxftest::drawing(name));
            EXPECT_EQ(d.header.isolines, 4);
            int bodies = 0;
            for (const cad::Block& b : d.blocks)
                for (const Entity& e : b.entities)
                    if (const BodyData* body = e.as<BodyData>()) {
                        ++bodies;
                        EXPECT_FALSE(body->edges.empty());
                        for (const cad::WireEdge& w : body->edges) {
                            EXPECT_GT(w.start.x, 15) << e.type;
                            EXPECT_LT(w.start.x, 34) << e.type;
                            EXPECT_GT(w.start.y, -224) << e.type;
                            EXPECT_LT(w.start.y, -217) << e.type;
                        }
                    }
            EXPECT_EQ(bodies, 3);
        }
}
