// Objects drawn from what they store rather than from fields of their own:
// stored graphics, modeler bodies and subdivision meshes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "RenderTestSupport.h"
#include "cad/model/WireEntities.h"
#include "cad/render/Frontend.h"

namespace cad::render::testing {
namespace {

ProxyPrimitive prim(ProxyPrimitive::Kind k) {
    ProxyPrimitive p;
    p.kind = k;
    return p;
}

// A unit cube of side `side`, its corners numbered by their bits (x, y, z).
MeshData cube(double side) {
    MeshData m;
    for (int i = 0; i < 8; ++i) m.vertices.push_back({(i & 1) * side, (i >> 1 & 1) * side, (i >> 2 & 1) * side});
    m.faces = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
    return m;
}

TEST(RenderWireframe, CubeMeshDrawsEachOfItsTwelveEdgesOnce) {
    EXPECT_EQ(entitiesOfMesh(cube(10)).size(), 12u);
    Drawing d = emptyDrawing();
    add(d, entity("MESH", cube(10), Color::fromIndex(7)));
    Scene s = buildScene(d, RenderOptions{});
    EXPECT_EQ(s.strokes.size(), 12u);
    Box box = s.extents();
    EXPECT_DOUBLE_EQ(box.maxX, 10);
    EXPECT_DOUBLE_EQ(box.maxY, 10);
    // Faces naming vertices that do not exist lose only those edges.
    MeshData bad = cube(10);
    bad.faces.push_back({0, 99, 1});
    EXPECT_EQ(entitiesOfMesh(bad).size(), 12u);
}

TEST(RenderWireframe, GraphicsTakeByBlockFromTheirOwnerAndFollowTheirAttributes) {
    Drawing d = emptyDrawing();
    addFrame(d, 100);
    ProxyEntityData proxy;
    proxy.className = "AECC_WALL";
    ProxyPrimitive circle = prim(ProxyPrimitive::Kind::Circle);  // ByBlock: the owner's red
    circle.points = {{30, 30, 0}};
    circle.radius = 10;
    proxy.graphics.primitives.push_back(circle);
    ProxyPrimitive green = prim(ProxyPrimitive::Kind::Color);
    green.value = 3;
    proxy.graphics.primitives.push_back(green);
    // Moved by (50, 50) inside a transform push, then back out.
    ProxyPrimitive push = prim(ProxyPrimitive::Kind::PushTransform);
    push.matrix[3] = 50;
    push.matrix[7] = 50;
    proxy.graphics.primitives.push_back(push);
    ProxyPrimitive line = prim(ProxyPrimitive::Kind::Polyline);
    line.points = {{0, 20, 0}, {40, 20, 0}};
    proxy.graphics.primitives.push_back(line);
    proxy.graphics.primitives.push_back(prim(ProxyPrimitive::Kind::PopTransform));
    ProxyPrimitive back = line;
    back.points = {{0, 80, 0}, {40, 80, 0}};
    proxy.graphics.primitives.push_back(back);
    add(d, entity("AECC_WALL", proxy, Color::fromIndex(1)));

    const QImage image = renderDrawing(d, onePixelPerUnit(100));
    // (40, 30) on the circle, in the owner's colour: a line along a pixel's
    // side may fall into either pixel.
    EXPECT_TRUE(image.pixel(39, 70) == qRgb(255, 0, 0) || image.pixel(40, 70) == qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(70, 30), qRgb(0, 255, 0));   // (70, 70): the moved line, green
    EXPECT_EQ(image.pixel(20, 20), qRgb(0, 255, 0));   // (20, 80): after the pop, in place again
    EXPECT_EQ(inkIn(image, QRect(3, 75, 12, 10)), 0);  // no unmoved copy at y = 20
}

TEST(RenderWireframe, BodyEdgesAreDrawnWithTheirCurves) {
    Drawing d = emptyDrawing();
    addFrame(d, 100);
    BodyData body;
    WireEdge edge;
    edge.kind = WireEdge::Kind::Line;
    edge.start = {10, 10, 0};
    edge.end = {90, 10, 0};
    body.edges.push_back(edge);
    WireEdge arc;  // the left half of an ellipse round (50, 50): 20 up and down, 30 to the left
    arc.kind = WireEdge::Kind::Ellipse;
    arc.center = {50, 50, 0};
    arc.majorAxis = {0, 20, 0};  // the shorter axis first: the reader must not care
    arc.minorAxis = {-30, 0, 0};
    arc.startParam = 0;
    arc.endParam = M_PI;
    body.edges.push_back(arc);
    add(d, entity("3DSOLID", body, Color::fromIndex(7)));
    const QImage image = renderDrawing(d, onePixelPerUnit(100));
    EXPECT_GT(inkIn(image, QRect(48, 88, 4, 4)), 0);  // (50, 10) on the line
    EXPECT_GT(inkIn(image, QRect(48, 28, 4, 4)), 0);  // (50, 70): the top of the arc
    EXPECT_GT(inkIn(image, QRect(18, 48, 4, 4)), 0);  // (20, 50): 30 to the left
    EXPECT_EQ(inkIn(image, QRect(75, 40, 10, 20)), 0); // nothing on the right: only half of it
}

// Curved faces draw ISOLINES lines across them: a cone from its base circle
// to its apex, a sphere's meridians and parallels. The sphere's box is the
// sphere's, whatever the count; none are drawn when the count is 0, and a
// count past the CAD application's range is held to it.
TEST(RenderWireframe, CurvedFacesDrawTheirIsolines) {
    CurvedFace cone;  // radius 20 round (30, 50), apex 30 above along y
    cone.center = {30, 50, 0};
    cone.u = {20, 0, 0};
    cone.v = {0, 0, 20};
    cone.w = {0, 1, 0};
    cone.h1 = 30, cone.k1 = 0;
    CurvedFace sphere;
    sphere.kind = CurvedFace::Kind::Sphere;
    sphere.center = {70, 50, 0};
    sphere.u = {1, 0, 0};
    sphere.v = {0, 1, 0};
    sphere.w = {0, 0, 1};
    sphere.major = 10;
    BodyData body;
    body.curvedFaces = {cone, sphere};
    struct {
        int isolines;
        std::size_t entities;
    } const cases[] = {{4, 12}, {0, 0}, {-3, 0}, {1 << 20, 3 * 2047}};
    for (const auto& c : cases) EXPECT_EQ(entitiesOfBody(body, c.isolines).size(), c.entities) << c.isolines;

    Drawing d = emptyDrawing();
    addFrame(d, 100);
    d.header.isolines = 4;
    add(d, entity("3DSOLID", body, Color::fromIndex(7)));
    const QImage image = renderDrawing(d, onePixelPerUnit(100));
    EXPECT_GT(inkIn(image, QRect(38, 33, 4, 4)), 0);  // (40, 65): the cone's line from (50, 50) to the apex
    EXPECT_GT(inkIn(image, QRect(78, 48, 4, 4)), 0);  // (80, 50): the sphere's equator and meridians
    EXPECT_EQ(inkIn(image, QRect(84, 44, 6, 12)), 0); // nothing beyond the sphere

    body.curvedFaces = {sphere};
    Drawing alone = emptyDrawing();
    alone.header.isolines = 7;
    add(alone, entity("3DSOLID", body, Color::fromIndex(7)));
    const Box box = buildScene(alone, RenderOptions{}).extents();
    EXPECT_NEAR(box.minX, 60, 1e-6);
    EXPECT_NEAR(box.maxX, 80, 1e-6);
    EXPECT_NEAR(box.minY, 40, 1e-6);
    EXPECT_NEAR(box.maxY, 60, 1e-6);
}

}  // namespace
}  // namespace cad::render::testing
