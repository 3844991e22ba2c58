#include "cad/model/SplineFit.h"

#include <cmath>

#include "cad/model/Curves.h"

namespace cad {

namespace {

// Cubic B-spline basis functions at t, for the span [knots[span], knots[span+1]).
void cubicBasis(const std::vector<double>& knots, std::size_t span, double t, double out[4]) {
    double left[4], right[4];
    out[0] = 1.0;
    for (int j = 1; j <= 3; ++j) {
        left[j] = t - knots[span + 1 - j];
        right[j] = knots[span + j] - t;
        double saved = 0.0;
        for (int r = 0; r < j; ++r) {
            double temp = out[r] / (right[r + 1] + left[j - r]);
            out[r] = saved + right[r + 1] * temp;
            saved = left[j - r] * temp;
        }
        out[j] = saved;
    }
}

bool usableTangent(Vec3 t) {
    const double l = length(t);
    return l > 0 && std::isfinite(l);
}

}  // namespace

std::optional<FittedSpline> fitCubicThrough(const std::vector<Vec3>& q, Vec3 startTangent, Vec3 endTangent) {
    const std::size_t n = q.size();
    if (n < 2) return std::nullopt;
    std::vector<double> u(n, 0.0);
    for (std::size_t i = 1; i < n; ++i) u[i] = u[i - 1] + length(q[i] - q[i - 1]);
    if (!(u[n - 1] > 0)) return std::nullopt;
    for (std::size_t i = 1; i < n; ++i)
        if (!(u[i] > u[i - 1])) return std::nullopt;  // repeated fit points

    FittedSpline out;
    std::vector<double>& knots = out.knots;
    knots = {u[0], u[0], u[0], u[0]};
    for (std::size_t i = 1; i + 1 < n; ++i) knots.push_back(u[i]);
    for (int i = 0; i < 4; ++i) knots.push_back(u[n - 1]);

    // Control points 0 and n+1 are the end points. A given tangent fixes the
    // next one in, a third of the end span along it; otherwise it is unknown
    // and a row of its own asks for zero curvature at that end. The interior
    // fit points give one row each: fit point k lies at u[k], in span 3+k,
    // where the control points k..k+3 act, k+1 on the diagonal and k+3 with
    // weight zero at the span's first knot.
    const std::size_t count = n + 2;
    std::vector<Vec3>& p = out.controlPoints;
    p.resize(count);
    p[0] = q[0];
    p[count - 1] = q[n - 1];
    const bool clampStart = usableTangent(startTangent), clampEnd = usableTangent(endTangent);
    if (clampStart) p[1] = q[0] + startTangent * (1.0 / length(startTangent)) * ((u[1] - u[0]) / 3.0);
    if (clampEnd) p[count - 2] = q[n - 1] - endTangent * (1.0 / length(endTangent)) * ((u[n - 1] - u[n - 2]) / 3.0);

    const std::size_t first = clampStart ? 2 : 1, last = clampEnd ? n - 1 : n;  // the unknown control points
    if (last >= first) {
        const std::size_t m = last - first + 1;
        std::vector<double> a(m), b(m), c(m);
        std::vector<Vec3> d(m);
        auto known = [&](std::size_t index) { return index < first || index > last; };
        for (std::size_t j = first; j <= last; ++j) {
            const std::size_t row = j - first;
            if (j == 1 && !clampStart) {
                // (P2 - P1) / (t5 - t2) = (P1 - P0) / (t4 - t1): no curvature at the start.
                const double h = u[1] - u[0], s = (n > 2 ? u[2] : u[1]) - u[0];
                a[row] = 0;
                b[row] = -(h + s);
                c[row] = h;
                d[row] = p[0] * -s;
            } else if (j == n && !clampEnd) {
                // The same at the end.
                const double h = u[n - 1] - u[n - 2], s = u[n - 1] - (n > 2 ? u[n - 3] : u[0]);
                a[row] = h;
                b[row] = -(h + s);
                c[row] = 0;
                d[row] = p[count - 1] * -s;
            } else {
                const std::size_t k = j - 1;
                double nb[4];
                cubicBasis(knots, 3 + k, u[k], nb);
                a[row] = nb[0];
                b[row] = nb[1];
                c[row] = nb[2];
                d[row] = q[k];
            }
            if (known(j - 1) && a[row] != 0) d[row] = d[row] - p[j - 1] * a[row];
            if (known(j + 1) && c[row] != 0) d[row] = d[row] - p[j + 1] * c[row];
        }
        // Thomas algorithm
        for (std::size_t i = 1; i < m; ++i) {
            if (b[i - 1] == 0) return std::nullopt;
            double w = a[i] / b[i - 1];
            b[i] -= w * c[i - 1];
            d[i] = d[i] - d[i - 1] * w;
        }
        if (b[m - 1] == 0) return std::nullopt;
        std::vector<Vec3> x(m);
        x[m - 1] = d[m - 1] * (1.0 / b[m - 1]);
        for (std::size_t i = m - 1; i-- > 0;) x[i] = (d[i] - x[i + 1] * c[i]) * (1.0 / b[i]);
        for (std::size_t i = 0; i < m; ++i) p[first + i] = x[i];
    }
    return out;
}

std::vector<Vec3> fitCurve(const std::vector<Vec3>& pts, Vec3 startTangent, Vec3 endTangent) {
    // Drop repeated points: they would give pieces of zero length.
    std::vector<Vec3> p;
    for (const Vec3& q : pts)
        if (p.empty() || length(q - p.back()) > 1e-12) p.push_back(q);
    const std::size_t n = p.size();
    auto given = [](Vec3 v) {
        const double l = length(v);
        return l > 1e-12 && std::isfinite(l) ? v : Vec3{};
    };
    startTangent = given(startTangent);
    endTangent = given(endTangent);
    if (n < 2 || (n == 2 && startTangent == Vec3{} && endTangent == Vec3{})) return p;

    const std::optional<FittedSpline> fit = fitCubicThrough(p, startTangent, endTangent);
    if (!fit) return curveThrough(p);
    for (const Vec3& v : fit->controlPoints)
        if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) return curveThrough(p);

    const std::vector<double> unweighted;
    NurbsEvaluator curve{3, fit->knots, fit->controlPoints, unweighted};
    std::vector<Vec3> out{p[0]};
    constexpr int steps = 16;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const int span = static_cast<int>(i) + 3;
        const double u0 = fit->knots[i + 3], u1 = fit->knots[i + 4];
        for (int k = 1; k <= steps; ++k) out.push_back(curve.at(span, u0 + (u1 - u0) * k / steps));
    }
    return out;
}

}  // namespace cad
