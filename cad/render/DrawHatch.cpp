// Hatches: boundary loops flattened into outlines, solid fills, and pattern
// lines cut by the boundary and dashed.
#include "cad/render/SceneBuilder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace cad::render::frontend {

void Builder::edgePoints(const HatchEdge& edge, std::vector<Vec3>& out) {
    switch (edge.kind) {
    case HatchEdge::Kind::Line:
        out.push_back({edge.start.x, edge.start.y, 0});
        out.push_back({edge.end.x, edge.end.y, 0});
        break;
    case HatchEdge::Kind::Arc: {
        const Vec3 c{edge.center.x, edge.center.y, 0};
        if (edge.ccw) {
            appendArc(out, c, edge.radius, edge.startAngle, edge.endAngle);
        } else {
            // Clockwise arcs store their angles mirrored.
            std::vector<Vec3> pts;
            appendArc(pts, c, edge.radius, -edge.endAngle, -edge.startAngle);
            out.insert(out.end(), pts.rbegin(), pts.rend());
        }
        break;
    }
    case HatchEdge::Kind::Ellipse: {
        const Vec3 c{edge.center.x, edge.center.y, 0}, major{edge.majorAxis.x, edge.majorAxis.y, 0};
        const Vec3 minor = Vec3{-edge.majorAxis.y, edge.majorAxis.x, 0} * edge.ratio;
        if (edge.ccw) {
            appendEllipse(out, c, major, minor, edge.startAngle, edge.endAngle);
        } else {
            std::vector<Vec3> pts;
            appendEllipse(pts, c, major, minor, -edge.endAngle, -edge.startAngle);
            out.insert(out.end(), pts.rbegin(), pts.rend());
        }
        break;
    }
    case HatchEdge::Kind::Spline: {
        std::vector<Vec3> ctrl, fit;
        for (const Vec2& p : edge.controlPoints) ctrl.push_back({p.x, p.y, 0});
        for (const Vec2& p : edge.fitPoints) fit.push_back({p.x, p.y, 0});
        const std::vector<Vec3> pts = ctrl.empty() ? fitCurve(fit, {}, {})
                                                   : nurbsPoints(edge.degree, edge.knots, ctrl,
                                                                 edge.rational ? edge.weights : std::vector<double>{});
        out.insert(out.end(), pts.begin(), pts.end());
        break;
    }
    }
}

std::vector<std::vector<Vec3>> Builder::hatchOutlines(const HatchData& d) {
    std::vector<std::vector<Vec3>> outlines;
    // Boundaries of many arcs flatten into many points: what the memory
    // budget cannot hold leaves the hatch out.
    HeldMemory held;
    std::size_t bytes = 0;
    for (const HatchLoop& loop : d.loops) {
        std::vector<Vec3> pts;
        if (loop.isPolyline) {
            const auto& v = loop.polyline;
            if (v.empty()) continue;
            pts.push_back({v[0].point.x, v[0].point.y, 0});
            const std::size_t n = v.size();
            for (std::size_t i = 0; i + 1 < n || (loop.closed && i < n); ++i) {
                appendBulge(pts, {v[i].point.x, v[i].point.y, 0}, {v[(i + 1) % n].point.x, v[(i + 1) % n].point.y, 0},
                            v[i].bulge);
                if (!held.hold(bytes + pts.capacity() * sizeof(Vec3))) return {};
            }
        } else {
            for (const HatchEdge& edge : loop.edges) {
                edgePoints(edge, pts);
                if (!held.hold(bytes + pts.capacity() * sizeof(Vec3))) return {};
            }
        }
        for (Vec3& p : pts) p.z = d.elevation;
        bytes += pts.capacity() * sizeof(Vec3);
        if (pts.size() >= 3) outlines.push_back(std::move(pts));
    }
    return outlines;
}

void Builder::hatch(const HatchData& d, const Look& l, const Xform& ocs) {
    const auto outlines = hatchOutlines(d);
    if (outlines.empty()) return;
    if (d.gradient) {
        gradient(outlines, d, l, ocs);
        return;
    }
    if (d.solid || d.lines.empty()) {
        fill(outlines, l.color, ocs);
        return;
    }
    // Pattern lines: each family of parallel lines is cut by the boundary
    // (even-odd), then dashed from the family's own origin.
    Box box;
    for (const auto& o : outlines)
        for (const Vec3& p : o) box.add(p.xy());
    // Only the lines the view shows are generated, and only as far as it shows them.
    const Box seen = viewInPlane(ocs, d.elevation);
    if (!seen.empty()) {
        box = Box{std::max(box.minX, seen.minX), std::max(box.minY, seen.minY), std::min(box.maxX, seen.maxX),
                  std::min(box.maxY, seen.maxY)};
        if (box.empty()) return;
    }
    // The part of the line origin + t * u within the view.
    auto inView = [&](double ox, double oy, double ux, double uy, double& t0, double& t1) {
        if (seen.empty()) return;
        for (const auto& [o, u, lo, hi] : {std::array<double, 4>{ox, ux, box.minX, box.maxX},
                                           std::array<double, 4>{oy, uy, box.minY, box.maxY}}) {
            if (std::fabs(u) < 1e-300) {
                if (o < lo || o > hi) t1 = t0 - 1;
                continue;
            }
            const double a = (lo - o) / u, b = (hi - o) / u;
            t0 = std::max(t0, std::min(a, b));
            t1 = std::min(t1, std::max(a, b));
        }
    };
    std::size_t edges = 0;
    for (const auto& o : outlines) edges += o.size();
    // The work the pattern takes, counted before any of it is done: each
    // line is cut by every boundary edge, then dashed along the boundary's
    // extent. Too much of it fills the area as a denser pattern would look.
    const double diagonal = std::hypot(box.width(), box.height());
    double work = 0;
    for (const HatchPatternLine& pl : d.lines) {
        const double spacing = std::fabs(pl.offset.x * -std::sin(pl.angle) + pl.offset.y * std::cos(pl.angle));
        if (!(spacing > 1e-12) || !std::isfinite(spacing)) continue;
        const double lines = diagonal / spacing + 1;
        double patternLength = 0;
        for (double dash : pl.dashes) patternLength += std::fabs(dash);
        const double dashes = patternLength > 0 ? (diagonal / patternLength + 1) * static_cast<double>(pl.dashes.size()) : 1;
        work += lines * (static_cast<double>(edges) + dashes);
    }
    if (!(work <= static_cast<double>(options_.budgets.hatchWork))) {
        simplify("hatch pattern", "a hatch pattern needs more than " + std::to_string(options_.budgets.hatchWork) +
                                      " steps; its area is filled");
        fill(outlines, l.color, ocs);
        return;
    }
    long budget = kMaxHatchLines;
    std::vector<double> ts;  // where one pattern line crosses the boundary
    for (const HatchPatternLine& pl : d.lines) {
        const double ux = std::cos(pl.angle), uy = std::sin(pl.angle);
        const double nx = -uy, ny = ux;
        const double spacing = pl.offset.x * nx + pl.offset.y * ny;   // between neighbouring lines
        if (!(std::fabs(spacing) > 1e-12) || !std::isfinite(spacing)) continue;
        double vmin = 1e300, vmax = -1e300;
        for (Vec2 c : {Vec2{box.minX, box.minY}, Vec2{box.maxX, box.minY}, Vec2{box.minX, box.maxY}, Vec2{box.maxX, box.maxY}}) {
            const double v = (c.x - pl.base.x) * nx + (c.y - pl.base.y) * ny;
            vmin = std::min(vmin, v);
            vmax = std::max(vmax, v);
        }
        double k0 = std::ceil(vmin / spacing), k1 = std::floor(vmax / spacing);
        if (k0 > k1) std::swap(k0, k1);
        if (k1 - k0 + 1 > static_cast<double>(budget)) {
            fill(outlines, l.color, ocs);  // too dense to tell from a solid area anyway
            return;
        }
        budget -= static_cast<long>(k1 - k0 + 1);
        scene_.work.hatchLines += static_cast<std::size_t>(k1 - k0 + 1);
        double patternLength = 0;
        for (double dash : pl.dashes) patternLength += std::fabs(dash);
        for (double k = k0; k <= k1; k += 1) {
            const double ox = pl.base.x + pl.offset.x * k, oy = pl.base.y + pl.offset.y * k;
            // Crossings of the line origin + t * u with every boundary edge.
            ts.clear();
            for (const auto& o : outlines) {
                for (std::size_t i = 0; i < o.size(); ++i) {
                    const Vec3 a = o[i], b = o[(i + 1) % o.size()];
                    const double va = (a.x - ox) * nx + (a.y - oy) * ny, vb = (b.x - ox) * nx + (b.y - oy) * ny;
                    if ((va > 0) == (vb > 0)) continue;
                    const double f = va / (va - vb);
                    const double px = a.x + (b.x - a.x) * f, py = a.y + (b.y - a.y) * f;
                    const double t = (px - ox) * ux + (py - oy) * uy;
                    if (std::isfinite(t)) ts.push_back(t);
                }
            }
            std::sort(ts.begin(), ts.end());
            for (std::size_t i = 0; i + 1 < ts.size(); i += 2) {
                double t0 = ts[i], t1 = ts[i + 1];
                inView(ox, oy, ux, uy, t0, t1);
                if (!seen.empty() && !(t0 < t1)) continue;
                if (pl.dashes.empty() || !(patternLength > 0)) {
                    stroke({{ox + ux * t0, oy + uy * t0, d.elevation}, {ox + ux * t1, oy + uy * t1, d.elevation}},
                           false, l, ocs, false);
                    continue;
                }
                dashInterval(pl.dashes, patternLength, t0, t1, ox, oy, ux, uy, d.elevation, l, ocs);
            }
        }
    }
}

void Builder::dashInterval(const std::vector<double>& dashes, double patternLength, double t0, double t1, double ox,
                           double oy, double ux, double uy, double z, const Look& l, const Xform& ocs) {
    // Start at the pattern repeat at or before t0.
    double t = std::floor(t0 / patternLength) * patternLength;
    if ((t1 - t) / patternLength > 1e5) return;
    std::vector<Vec3> seg(2);
    while (t < t1) {
        for (double dash : dashes) {
            const double len = std::fabs(dash);
            const double a = t, b = t + len;
            if (dash >= 0 && b >= t0 && a <= t1) {
                const double s = std::max(a, t0), e = std::min(b, t1);
                seg[0] = {ox + ux * s, oy + uy * s, z};
                seg[1] = {ox + ux * e, oy + uy * e, z};
                stroke(seg, false, l, ocs, false);
            }
            t = b;
            if (t >= t1) break;
        }
    }
}

}  // namespace cad::render::frontend
