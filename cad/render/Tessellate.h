#pragma once
// Geometry helpers of the frontend: the affine transforms of inserts and
// object coordinate systems, and curves flattened into points.
#include <vector>

#include "cad/model/Geometry.h"

namespace cad::render {

// p' = m * p + t
struct Xform {
    double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    Vec3 t;

    Vec3 apply(Vec3 p) const {
        return {m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z + t.x,
                m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z + t.y,
                m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z + t.z};
    }
    Vec2 apply2(Vec3 p) const { return apply(p).xy(); }
    Vec2 apply2(Vec2 p) const { return apply(Vec3{p.x, p.y, 0}).xy(); }
    Vec3 applyDir(Vec3 d) const {
        return {m[0][0] * d.x + m[0][1] * d.y + m[0][2] * d.z, m[1][0] * d.x + m[1][1] * d.y + m[1][2] * d.z,
                m[2][0] * d.x + m[2][1] * d.y + m[2][2] * d.z};
    }
    // How much lengths in the plan view grow, on average.
    double planScale() const;
    // Mirrors the plan view (then arcs turn the other way round).
    bool mirrorsPlan() const { return m[0][0] * m[1][1] - m[0][1] * m[1][0] < 0; }

    static Xform translate(Vec3 v) { Xform x; x.t = v; return x; }
    static Xform scale(Vec3 s);
    static Xform rotateZ(double angle);
    static Xform axes(Vec3 xAxis, Vec3 yAxis, Vec3 zAxis);  // columns
};

Xform operator*(const Xform& a, const Xform& b);  // a after b

// The arbitrary axis algorithm: object coordinates of a planar entity with
// this extrusion to world coordinates.
Xform ocsToWcs(Vec3 extrusion);
bool isDefaultExtrusion(Vec3 extrusion);

// Points on a circular arc from a0 counter-clockwise to a1 (radians), ends included.
void appendArc(std::vector<Vec3>& out, Vec3 center, double radius, double a0, double a1, bool skipFirst = false);
// The segment of a polyline from a to b with a bulge; appends the points after a, b included.
void appendBulge(std::vector<Vec3>& out, Vec3 a, Vec3 b, double bulge);
// Ellipse points from parameter p0 to p1 (counter-clockwise about the axes' normal).
void appendEllipse(std::vector<Vec3>& out, Vec3 center, Vec3 major, Vec3 minor, double p0, double p1);

// A NURBS curve; weights may be empty. Falls back to the control polygon
// when the knots don't fit.
std::vector<Vec3> nurbsPoints(int degree, const std::vector<double>& knots, const std::vector<Vec3>& control,
                              const std::vector<double>& weights);
// A smooth curve through the given points (fit points, spline-fit leaders).
std::vector<Vec3> curveThrough(const std::vector<Vec3>& points, bool closed = false);
// The smooth curve of a spline known only by its fit points: a cubic through
// them, parameterised by chord length, leaving each end along its tangent
// when one is given (a zero tangent leaves that end free).
std::vector<Vec3> fitCurve(const std::vector<Vec3>& points, Vec3 startTangent, Vec3 endTangent);

// Number of segments for a sweep of this many radians.
int arcSegments(double sweep);

}  // namespace cad::render
