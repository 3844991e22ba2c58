#pragma once
// The edges of a solid, region or surface as the modeler stores them, in
// world coordinates with the body's transform applied: what the CAD
// application draws of a body in its default wireframe view.
#include <string>
#include <vector>

#include "cad/model/Geometry.h"

namespace cad {

struct WireEdge {
    enum class Kind { Line, Ellipse, Spline };
    Kind kind = Kind::Line;
    Vec3 start, end;  // the edge's end points (equal for a closed edge)
    // Ellipse and circle: centre, the two semi-axes, and the parameter range
    // walked from start to end (end > start; a full turn for closed edges).
    Vec3 center, majorAxis, minorAxis;
    double startParam = 0, endParam = 0;
    // Spline: the modeler's B-spline approximation, knots in full.
    int degree = 3;
    std::vector<double> knots;
    std::vector<Vec3> controlPoints;
    std::vector<double> weights;  // empty when not rational
};

// A curved face's surface, for the isolines drawn across it: points are
// centre + h w + k (cos t u + sin t v) on a cone (u and v the base ellipse's
// semi-axes, w the unit axis, the face between levels h0 and h1 where k is
// k0 and k1); centre + major (cos p (cos t u + sin t v) + sin p w) on a
// sphere; centre + (major + minor cos p)(cos t u + sin t v) + minor sin p w
// on a torus, u, v and w unit vectors there before the body's transform.
struct CurvedFace {
    enum class Kind { Cone, Sphere, Torus };
    Kind kind = Kind::Cone;
    Vec3 center, u, v, w;
    double h0 = 0, h1 = 0, k0 = 1, k1 = 1;  // cone
    double major = 0, minor = 0;            // sphere radius; torus radii
};

struct BodyData {
    std::vector<WireEdge> edges;
    std::vector<CurvedFace> curvedFaces;
    int unsupportedEdges = 0;  // curve kinds we do not draw, counted and left out
    std::string error;         // why the modeler data could not be read, when it could not
};

// A subdivision mesh: its control cage, drawn as the level-0 wireframe.
struct MeshData {
    int version = 2, subdivisionLevel = 0;
    std::vector<Vec3> vertices;
    std::vector<std::vector<int>> faces;       // vertex indices of each face
    std::vector<std::pair<int, int>> edges;    // as stored (the faces give them too)
};

}  // namespace cad
