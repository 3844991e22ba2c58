// The paint primitives the entity drawing emits: strokes, fills, text, arrowheads
// and wide polylines, transformed to world XY and checked for finite points.
#include "cad/render/SceneBuilder.h"

#include <algorithm>
#include <cmath>

namespace cad::render::frontend {

void Builder::stroke(std::span<const Vec3> local, bool closed, const Look& l, const Xform& xf, bool dashed) {
    if (local.size() < 2) return;
    // Straight into the scene's point store; what the budgets turn away is
    // not kept there, and what the memory budget cannot hold is not claimed.
    if (!memory_.budget().fits(local.size() * sizeof(Vec2))) {
        beyondMemory();
        return;
    }
    Vec2* out = scene_.strokePoints.claim(local.size());
    std::size_t n = 0;
    Box box;
    for (const Vec3& p : local)
        if (finite(p)) {
            out[n] = xf.apply2(p);
            box.add(out[n++]);
        }
    if (n < 2) return;
    std::vector<double> pattern;
    if (dashed && l.pattern) pattern = dashes(l, xf);
    if (!room(n, n * sizeof(Vec2) + pattern.size() * sizeof(double) + kItemBytes<Stroke>)) return;
    const std::span<const Vec2> points = scene_.strokePoints.keep(n);
    if (l.complex && !pattern.empty()) linetypeElements(points, closed, l, xf);
    Stroke& s = scene_.newStroke(box);
    s.points = points;
    s.closed = closed;
    s.color = l.color;
    s.lineweightMm = l.lineweightMm;
    s.dashes = std::move(pattern);
}

void Builder::fill(const std::vector<std::vector<Vec3>>& outlines, const PaintColor& color, const Xform& xf,
                   bool background) {
    Fill f;
    for (const auto& outline : outlines) {
        std::vector<Vec2> pts;
        pts.reserve(outline.size());
        for (const Vec3& p : outline)
            if (finite(p)) pts.push_back(xf.apply2(p));
        if (pts.size() >= 3) f.outlines.push_back(std::move(pts));
    }
    if (f.outlines.empty()) return;
    std::size_t vertices = 0;
    for (const auto& outline : f.outlines) vertices += outline.size();
    const std::size_t bytes = vertices * sizeof(Vec2) + f.outlines.size() * sizeof(f.outlines[0]) + kItemBytes<Fill>;
    if (!room(vertices, bytes)) return;
    f.color = color;
    f.background = background;
    scene_.add(std::move(f));
}

void Builder::text(const TextPaths& planePaths, const Xform& planeToWorld, double z, const PaintColor& color,
                   double lineweightMm) {
    if (planePaths.isEmpty()) {
        // Laying it out may have reached the memory budget before a glyph was kept.
        if (memory_.budget().reached()) beyondMemory();
        return;
    }
    const auto elements = static_cast<std::size_t>(planePaths.fill.elementCount() + planePaths.strokes.elementCount());
    if (!room(elements, elements * sizeof(Path::Element) + kItemBytes<TextShape>)) return;
    TextShape t;
    const Affine toWorld = planTransform(planeToWorld, z);
    t.path = toWorld.map(planePaths.fill);
    t.strokes = toWorld.map(planePaths.strokes);
    t.color = color;
    t.lineweightMm = lineweightMm;
    scene_.add(std::move(t));
}

void Builder::arrowhead(Vec3 tip, Vec3 from, double size, const Look& l, const Xform& xf) {
    const double dx = tip.x - from.x, dy = tip.y - from.y, len = std::hypot(dx, dy);
    if (len < 1e-12 || !(size > 0)) return;
    const double ux = dx / len, uy = dy / len, w = size / 6;
    const Vec3 back{tip.x - ux * size, tip.y - uy * size, tip.z};
    fill({{tip, {back.x - uy * w, back.y + ux * w, tip.z}, {back.x + uy * w, back.y - ux * w, tip.z}}}, l.color, xf);
}

// The most points one arc of a polyline flattens into (see arcSegments).
constexpr std::size_t kMostArcPoints = 1001;

void Builder::widePolyline(const std::vector<WideVertex>& v, bool closed, const Look& l, const Xform& xf) {
    if (v.empty()) return;
    bool anyWidth = false;
    for (const auto& w : v) anyWidth = anyWidth || w.startWidth > 0 || w.endWidth > 0;
    const std::size_t segments = closed ? v.size() : v.size() - 1;
    // Arcs are flattened no finer than the picture can show.
    Box extent;
    for (const auto& w : v) extent.add(w.point.xy());
    const double tolerance = extent.empty() ? 0 : flatness(std::max(extent.width(), extent.height()), xf);
    if (!anyWidth || !drawing_.header.fillMode) {
        std::vector<Vec3> pts{v[0].point};
        HeldMemory held;
        for (std::size_t i = 0; i < segments; ++i) {
            // Grown here, before an arc needs it: while the points move,
            // the old and the new room are both held.
            if (pts.capacity() - pts.size() < kMostArcPoints) {
                const std::size_t grown = std::max(2 * pts.capacity(), pts.size() + kMostArcPoints);
                if (!held.hold((grown + pts.capacity()) * sizeof(Vec3))) {
                    beyondMemory();
                    return;
                }
                pts.reserve(grown);
            }
            appendBulge(pts, v[i].point, v[(i + 1) % v.size()].point, v[i].bulge, tolerance);
        }
        if (v.size() == 1) pts.push_back(v[0].point);
        // A closed polyline ends where it began; the stroke closes it. Two
        // vertices joined by bulges (a donut) close too: they are a ring.
        if (closed && pts.size() > 1) pts.pop_back();
        stroke(pts, closed && pts.size() > 2, l, xf);
        return;
    }
    for (std::size_t i = 0; i < segments; ++i) {
        const WideVertex& a = v[i];
        const Vec3 b = v[(i + 1) % v.size()].point;
        std::vector<Vec3> centre{a.point};
        appendBulge(centre, a.point, b, a.bulge, tolerance);
        if (a.startWidth <= 0 && a.endWidth <= 0) {
            stroke(centre, false, l, xf);
            continue;
        }
        const std::size_t n = centre.size();
        std::vector<Vec3> left, right;
        for (std::size_t k = 0; k < n; ++k) {
            const Vec3 p0 = centre[k == 0 ? 0 : k - 1], p1 = centre[k + 1 < n ? k + 1 : n - 1];
            double tx = p1.x - p0.x, ty = p1.y - p0.y;
            const double tl = std::hypot(tx, ty);
            if (tl < 1e-15) continue;
            tx /= tl;
            ty /= tl;
            const double f = n > 1 ? static_cast<double>(k) / static_cast<double>(n - 1) : 0;
            const double hw = (a.startWidth + (a.endWidth - a.startWidth) * f) / 2;
            left.push_back({centre[k].x - ty * hw, centre[k].y + tx * hw, centre[k].z});
            right.push_back({centre[k].x + ty * hw, centre[k].y - tx * hw, centre[k].z});
        }
        std::reverse(right.begin(), right.end());
        left.insert(left.end(), right.begin(), right.end());
        fill({left}, l.color, xf);
    }
}

}  // namespace cad::render::frontend
