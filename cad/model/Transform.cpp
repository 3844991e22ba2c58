#include "cad/model/Transform.h"

#include <algorithm>
#include <cmath>

namespace cad {

double Xform::planScale() const {
    const double det = m[0][0] * m[1][1] - m[0][1] * m[1][0];
    double s = std::sqrt(std::fabs(det));
    if (s < 1e-12) {
        // A view edge-on to the plane: fall back to the longest axis.
        s = std::max({std::hypot(m[0][0], m[1][0]), std::hypot(m[0][1], m[1][1]), std::hypot(m[0][2], m[1][2])});
    }
    return s;
}

Xform Xform::scale(Vec3 s) {
    Xform x;
    x.m[0][0] = s.x;
    x.m[1][1] = s.y;
    x.m[2][2] = s.z;
    return x;
}

Xform Xform::rotateZ(double angle) {
    Xform x;
    const double c = std::cos(angle), s = std::sin(angle);
    x.m[0][0] = c;
    x.m[0][1] = -s;
    x.m[1][0] = s;
    x.m[1][1] = c;
    return x;
}

Xform Xform::axes(Vec3 xa, Vec3 ya, Vec3 za) {
    Xform x;
    x.m[0][0] = xa.x; x.m[0][1] = ya.x; x.m[0][2] = za.x;
    x.m[1][0] = xa.y; x.m[1][1] = ya.y; x.m[1][2] = za.y;
    x.m[2][0] = xa.z; x.m[2][1] = ya.z; x.m[2][2] = za.z;
    return x;
}

Xform operator*(const Xform& a, const Xform& b) {
    Xform r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
    r.t = a.apply(b.t);
    return r;
}

bool isDefaultExtrusion(Vec3 e) {
    return std::fabs(e.x) < 1e-12 && std::fabs(e.y) < 1e-12 && e.z > 0;
}

Xform ocsToWcs(Vec3 extrusion) {
    const double len = length(extrusion);
    if (!(len > 1e-12) || !std::isfinite(len) || isDefaultExtrusion(extrusion)) return Xform{};
    const Vec3 n = extrusion * (1.0 / len);
    const Vec3 ax = (std::fabs(n.x) < 1.0 / 64 && std::fabs(n.y) < 1.0 / 64) ? cross(Vec3{0, 1, 0}, n)
                                                                               : cross(Vec3{0, 0, 1}, n);
    const Vec3 xAxis = ax * (1.0 / length(ax));
    const Vec3 yc = cross(n, xAxis);
    const Vec3 yAxis = yc * (1.0 / length(yc));
    return Xform::axes(xAxis, yAxis, n);
}

}  // namespace cad
