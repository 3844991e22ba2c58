#pragma once
// Affine transforms of the drawing engine: block placements, object
// coordinate systems, and the planes of texts and tolerances.
#include "cad/model/Geometry.h"

namespace cad {

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

}  // namespace cad
