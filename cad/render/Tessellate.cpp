#include "cad/render/Tessellate.h"

#include <algorithm>
#include <cmath>

namespace cad::render {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2 * kPi;
}  // namespace

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

int arcSegments(double sweep) {
    const double a = std::fabs(sweep);
    if (!std::isfinite(a)) return 1;
    return std::clamp(static_cast<int>(std::ceil(a / kTwoPi * 144.0)), 2, 1000);
}

void appendArc(std::vector<Vec3>& out, Vec3 center, double radius, double a0, double a1, bool skipFirst) {
    if (!std::isfinite(a0) || !std::isfinite(a1)) return;
    double sweep = a1 - a0;
    if (sweep < 0) sweep += kTwoPi * std::ceil(-sweep / kTwoPi);
    if (sweep > kTwoPi) sweep = std::fmod(sweep, kTwoPi);
    if (sweep < 1e-12) sweep = kTwoPi;  // the same start and end angle: a whole circle
    const int n = arcSegments(sweep);
    for (int i = skipFirst ? 1 : 0; i <= n; ++i) {
        const double a = a0 + sweep * i / n;
        out.push_back({center.x + radius * std::cos(a), center.y + radius * std::sin(a), center.z});
    }
}

void appendBulge(std::vector<Vec3>& out, Vec3 a, Vec3 b, double bulge) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double chord = std::hypot(dx, dy);
    if (std::fabs(bulge) < 1e-9 || chord < 1e-12 || !std::isfinite(bulge)) {
        out.push_back(b);
        return;
    }
    // The included angle is 4 atan(bulge); positive bulges turn counter-clockwise,
    // so their centre lies to the left of the chord (to the right past a half circle).
    const double theta = 4 * std::atan(bulge);
    const double half = std::fabs(theta) / 2;
    const double radius = chord / (2 * std::sin(half));
    const double toCenter = chord / (2 * std::tan(half));
    const double side = bulge > 0 ? 1 : -1;
    const Vec3 c{(a.x + b.x) / 2 - dy / chord * toCenter * side, (a.y + b.y) / 2 + dx / chord * toCenter * side, a.z};
    const double a0 = std::atan2(a.y - c.y, a.x - c.x);
    const int n = arcSegments(theta);
    for (int i = 1; i <= n; ++i) {
        if (i == n) {
            out.push_back(b);
            break;
        }
        const double ang = a0 + theta * i / n;
        out.push_back({c.x + radius * std::cos(ang), c.y + radius * std::sin(ang), a.z + (b.z - a.z) * i / n});
    }
}

void appendEllipse(std::vector<Vec3>& out, Vec3 center, Vec3 major, Vec3 minor, double p0, double p1) {
    if (!std::isfinite(p0) || !std::isfinite(p1)) return;
    double sweep = p1 - p0;
    if (sweep < 0) sweep += kTwoPi * std::ceil(-sweep / kTwoPi);
    if (sweep > kTwoPi + 1e-9) sweep = std::fmod(sweep, kTwoPi);
    if (sweep < 1e-12) sweep = kTwoPi;
    const int n = arcSegments(sweep);
    for (int i = 0; i <= n; ++i) {
        const double t = p0 + sweep * i / n;
        out.push_back(center + major * std::cos(t) + minor * std::sin(t));
    }
}

std::vector<Vec3> nurbsPoints(int degree, const std::vector<double>& knots, const std::vector<Vec3>& control,
                              const std::vector<double>& weights) {
    const int n = static_cast<int>(control.size());
    const int p = degree;
    if (n == 0) return {};
    if (p < 1 || p > 20 || n <= p || static_cast<int>(knots.size()) != n + p + 1) return control;
    for (std::size_t i = 1; i < knots.size(); ++i)
        if (!(knots[i] >= knots[i - 1]) || !std::isfinite(knots[i])) return control;
    const bool rational = weights.size() == control.size();
    const double u0 = knots[static_cast<std::size_t>(p)], u1 = knots[static_cast<std::size_t>(n)];
    if (!(u1 > u0)) return control;

    const int spans = n - p;
    const int samples = std::clamp(spans * 16, 32, 4000);
    std::vector<Vec3> out;
    out.reserve(static_cast<std::size_t>(samples) + 1);
    std::vector<double> wx(static_cast<std::size_t>(p) + 1), wy(wx.size()), wz(wx.size()), ww(wx.size());
    int k = p;  // the span: knots[k] <= u < knots[k+1]; u only grows, so the search goes on from the last one
    for (int s = 0; s <= samples; ++s) {
        const double u = u0 + (u1 - u0) * s / samples;
        while (k < n - 1 && u >= knots[static_cast<std::size_t>(k) + 1]) ++k;
        // de Boor in homogeneous coordinates
        for (int j = 0; j <= p; ++j) {
            const std::size_t idx = static_cast<std::size_t>(k - p + j);
            const double w = rational ? weights[idx] : 1.0;
            wx[static_cast<std::size_t>(j)] = control[idx].x * w;
            wy[static_cast<std::size_t>(j)] = control[idx].y * w;
            wz[static_cast<std::size_t>(j)] = control[idx].z * w;
            ww[static_cast<std::size_t>(j)] = w;
        }
        for (int r = 1; r <= p; ++r) {
            for (int j = p; j >= r; --j) {
                const double left = knots[static_cast<std::size_t>(j + k - p)];
                const double right = knots[static_cast<std::size_t>(j + 1 + k - r)];
                const double denom = right - left;
                const double a = denom > 0 ? (u - left) / denom : 0;
                const auto J = static_cast<std::size_t>(j);
                wx[J] = (1 - a) * wx[J - 1] + a * wx[J];
                wy[J] = (1 - a) * wy[J - 1] + a * wy[J];
                wz[J] = (1 - a) * wz[J - 1] + a * wz[J];
                ww[J] = (1 - a) * ww[J - 1] + a * ww[J];
            }
        }
        const auto P = static_cast<std::size_t>(p);
        const double w = std::fabs(ww[P]) > 1e-300 ? ww[P] : 1.0;
        out.push_back({wx[P] / w, wy[P] / w, wz[P] / w});
    }
    return out;
}

std::vector<Vec3> curveThrough(const std::vector<Vec3>& pts, bool closed) {
    const std::size_t n = pts.size();
    if (n < 3) return pts;
    // Centripetal-free Catmull-Rom: smooth enough for fit points and leaders.
    std::vector<Vec3> out;
    const std::size_t segments = closed ? n : n - 1;
    auto at = [&](long i) -> Vec3 {
        const long N = static_cast<long>(n);
        if (closed) return pts[static_cast<std::size_t>(((i % N) + N) % N)];
        if (i < 0) return pts[0] * 2.0 - pts[1];
        if (i >= N) return pts[n - 1] * 2.0 - pts[n - 2];
        return pts[static_cast<std::size_t>(i)];
    };
    constexpr int steps = 12;
    out.push_back(pts[0]);
    for (std::size_t s = 0; s < segments; ++s) {
        const long i = static_cast<long>(s);
        const Vec3 p0 = at(i - 1), p1 = at(i), p2 = at(i + 1), p3 = at(i + 2);
        for (int k = 1; k <= steps; ++k) {
            const double t = static_cast<double>(k) / steps, t2 = t * t, t3 = t2 * t;
            out.push_back((p1 * 2.0 + (p2 - p0) * t + (p0 * 2.0 - p1 * 5.0 + p2 * 4.0 - p3) * t2 +
                           (p1 * 3.0 - p0 - p2 * 3.0 + p3) * t3) *
                          0.5);
        }
    }
    return out;
}

std::vector<Vec3> fitCurve(const std::vector<Vec3>& pts, Vec3 startTangent, Vec3 endTangent) {
    // Drop repeated points: they would give pieces of zero length.
    std::vector<Vec3> p;
    for (const Vec3& q : pts)
        if (p.empty() || length(q - p.back()) > 1e-12) p.push_back(q);
    const std::size_t n = p.size();
    auto unit = [](Vec3 v, bool* ok) {
        const double l = length(v);
        *ok = l > 1e-12 && std::isfinite(l);
        return *ok ? v * (1.0 / l) : Vec3{};
    };
    bool clampStart = false, clampEnd = false;
    const Vec3 t0 = unit(startTangent, &clampStart), t1 = unit(endTangent, &clampEnd);
    if (n < 2 || (n == 2 && !clampStart && !clampEnd)) return p;

    // Knots at the cumulative chord length; with it the curve moves at about
    // unit speed, so a unit tangent is the derivative at a clamped end.
    std::vector<double> h(n - 1);
    for (std::size_t i = 0; i + 1 < n; ++i) h[i] = length(p[i + 1] - p[i]);

    // Second derivatives M of the cubic spline: a tridiagonal system, one row
    // per point (free ends: M = 0; clamped ends: first derivative given).
    std::vector<double> a(n, 0), b(n, 1), c(n, 0);
    std::vector<Vec3> r(n);
    if (clampStart) {
        b[0] = h[0] / 3;
        c[0] = h[0] / 6;
        r[0] = (p[1] - p[0]) * (1.0 / h[0]) - t0;
    }
    for (std::size_t i = 1; i + 1 < n; ++i) {
        a[i] = h[i - 1] / 6;
        b[i] = (h[i - 1] + h[i]) / 3;
        c[i] = h[i] / 6;
        r[i] = (p[i + 1] - p[i]) * (1.0 / h[i]) - (p[i] - p[i - 1]) * (1.0 / h[i - 1]);
    }
    if (clampEnd) {
        a[n - 1] = h[n - 2] / 6;
        b[n - 1] = h[n - 2] / 3;
        r[n - 1] = t1 - (p[n - 1] - p[n - 2]) * (1.0 / h[n - 2]);
    }
    // Thomas algorithm: the matrix is diagonally dominant.
    for (std::size_t i = 1; i < n; ++i) {
        const double w = a[i] / b[i - 1];
        b[i] -= w * c[i - 1];
        r[i] = r[i] - r[i - 1] * w;
    }
    std::vector<Vec3> m(n);
    m[n - 1] = r[n - 1] * (1.0 / b[n - 1]);
    for (std::size_t i = n - 1; i-- > 0;) m[i] = (r[i] - m[i + 1] * c[i]) * (1.0 / b[i]);
    for (const Vec3& v : m)
        if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) return curveThrough(p);

    std::vector<Vec3> out{p[0]};
    constexpr int steps = 16;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const double hi = h[i];
        for (int k = 1; k <= steps; ++k) {
            const double u = static_cast<double>(k) / steps, v = 1 - u;
            out.push_back(p[i] * v + p[i + 1] * u +
                          (m[i] * (v * v * v - v) + m[i + 1] * (u * u * u - u)) * (hi * hi / 6));
        }
    }
    return out;
}

}  // namespace cad::render
