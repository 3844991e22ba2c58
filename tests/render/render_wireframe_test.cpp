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
    EXPECT_EQ(image.pixel(40, 70), qRgb(255, 0, 0));   // (40, 30) on the circle, in the owner's colour
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

}  // namespace
}  // namespace cad::render::testing
