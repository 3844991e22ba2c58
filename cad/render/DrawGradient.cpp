// Gradient fills of hatches, resolved here into bands of plain colour cut
// to the boundary, so that painters only ever see solid fills.
//
// The shapes are not described anywhere we could read; what follows is
// guessed from how the CAD application's pictures look:
//  - LINEAR blends colour 1 into colour 2 along the gradient's angle,
//    across the boundary's extent in that direction;
//  - CYLINDER has colour 1 at both edges and colour 2 along the middle line;
//  - SPHERICAL is colour 2 at the centre, fading out to colour 1;
//  - HEMISPHERICAL is the same about a point a quarter in from the lower left
//    corner;
//  - CURVED is a one-sided cylinder: colour 2 along the top edge, bending
//    into colour 1 towards the bottom;
//  - INV before a name swaps the two colours.
// The extent is measured in the frame turned by the gradient's angle. A
// shift of 1 moves the centre (or the middle of a linear blend) a quarter of
// the extent towards the lower left; 0 keeps it centred. A one-colour
// gradient's second colour is the first darkened towards black (tint 0) or
// lightened towards white (tint 1); a tint of one half leaves it as it is.
#include "cad/render/Palette.h"
#include "cad/render/SceneBuilder.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>
#include <string>

namespace cad::render::frontend {
namespace {

constexpr int kMaxBands = 256;
constexpr int kCircleSides = 72;

// n . p <= c
struct HalfPlane {
    double nx, ny, c;
};

// The part of one outline on the inner side of a half-plane. Clipping a
// closed outline by half-planes one at a time keeps the even-odd inside of
// it and of the others: what is added runs along the cutting line.
std::vector<Vec2> cut(const std::vector<Vec2>& in, const HalfPlane& h) {
    std::vector<Vec2> out;
    const std::size_t n = in.size();
    out.reserve(n + 2);
    for (std::size_t i = 0; i < n; ++i) {
        const Vec2 a = in[i], b = in[(i + 1) % n];
        const double da = a.x * h.nx + a.y * h.ny - h.c, db = b.x * h.nx + b.y * h.ny - h.c;
        if (da <= 0) out.push_back(a);
        if ((da <= 0) != (db <= 0)) {
            const double f = da / (da - db);
            out.push_back({a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f});
        }
    }
    return out;
}

bool inside(const std::vector<Vec2>& loop, Vec2 p) {
    bool in = false;
    for (std::size_t i = 0, j = loop.size() - 1; i < loop.size(); j = i++) {
        const Vec2 a = loop[i], b = loop[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < a.x + (b.x - a.x) * (p.y - a.y) / (b.y - a.y)) in = !in;
    }
    return in;
}

double signedArea(const std::vector<Vec2>& loop) {
    double a = 0;
    for (std::size_t i = 0, j = loop.size() - 1; i < loop.size(); j = i++)
        a += (loop[j].x - loop[i].x) * (loop[j].y + loop[i].y);
    return a / 2;
}

// Turns the loops so that each runs the other way round from the loop it
// lies in. A band's pieces then share edges only where they run in
// opposite directions, and such edges cancel cleanly when painted smooth;
// edges running the same way leave a faint line.
void orient(std::vector<std::vector<Vec2>>& loops) {
    constexpr std::size_t kMaxLoops = 64;   // beyond this, as they come
    if (loops.size() > kMaxLoops) return;
    std::vector<bool> counterclockwise(loops.size());
    for (std::size_t i = 0; i < loops.size(); ++i) {
        if (loops[i].empty()) continue;
        int depth = 0;
        for (std::size_t j = 0; j < loops.size(); ++j)
            if (j != i && loops[j].size() >= 3 && inside(loops[j], loops[i][0])) ++depth;
        counterclockwise[i] = depth % 2 == 0;
    }
    for (std::size_t i = 0; i < loops.size(); ++i)
        if (loops[i].size() >= 3 && (signedArea(loops[i]) > 0) != counterclockwise[i])
            std::reverse(loops[i].begin(), loops[i].end());
}

std::uint32_t mix(std::uint32_t a, std::uint32_t b, double s) {
    s = std::clamp(s, 0.0, 1.0);
    auto ch = [s](int x, int y) { return static_cast<int>(std::lround(x + (y - x) * s)); };
    auto part = [](std::uint32_t v, int shift) { return static_cast<int>((v >> shift) & 0xFF); };
    return opaque(ch(part(a, 16), part(b, 16)), ch(part(a, 8), part(b, 8)), ch(part(a, 0), part(b, 0)));
}

enum class Shape { Linear, Cylinder, Spherical, Hemispherical, Curved };

}  // namespace

void Builder::gradient(const std::vector<std::vector<Vec3>>& outlines, const HatchData& d, const Look& l,
                       const Xform& ocs) {
    const HatchGradient& g = d.gradientFill;
    std::string name = g.name;
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const bool inverted = name.starts_with("INV");
    if (inverted) name.erase(0, 3);
    const Shape shape = name == "CYLINDER"        ? Shape::Cylinder
                        : name == "SPHERICAL"     ? Shape::Spherical
                        : name == "HEMISPHERICAL" ? Shape::Hemispherical
                        : name == "CURVED"        ? Shape::Curved
                                                  : Shape::Linear;

    // Tint and shift are kept to a grid much finer than any picture shows,
    // so that the last bits of a stored value (a double in DWG, a decimal
    // in DXF) cannot tip a colour rounded half-way to the other level.
    auto steady = [](double v, double fallback) {
        return std::isfinite(v) ? std::round(std::clamp(v, 0.0, 1.0) * 4096) / 4096 : fallback;
    };
    // The two colours; one not given, or given by layer or block, is the hatch's own.
    auto rgbOf = [&](std::size_t i) {
        if (i >= g.colors.size()) return l.color.rgb;
        const Color& c = g.colors[i].color;
        return c.kind == Color::Kind::True || c.kind == Color::Kind::Index ? colorOf(c).rgb : l.color.rgb;
    };
    std::uint32_t c1 = rgbOf(0), c2 = rgbOf(1);
    if (g.singleColor || g.colors.size() < 2) {
        const double tint = steady(g.tint, 0.5);
        c2 = tint < 0.5 ? mix(c1, opaque(0, 0, 0), 1 - 2 * tint) : mix(c1, opaque(255, 255, 255), 2 * tint - 1);
    }
    if (inverted) std::swap(c1, c2);

    // The boundary in the frame turned by the angle: u along it, v across.
    const double angle = std::isfinite(g.angle) ? g.angle : 0;
    const double ux = std::cos(angle), uy = std::sin(angle);
    std::vector<std::vector<Vec2>> loops;
    double u0 = 1e300, u1 = -1e300, v0 = 1e300, v1 = -1e300;
    for (const auto& o : outlines) {
        auto& loop = loops.emplace_back();
        for (const Vec3& p : o) {
            if (!finite(p)) continue;
            loop.push_back(p.xy());
            const double u = p.x * ux + p.y * uy, v = -p.x * uy + p.y * ux;
            u0 = std::min(u0, u), u1 = std::max(u1, u), v0 = std::min(v0, v), v1 = std::max(v1, v);
        }
    }
    orient(loops);
    const double width = u1 - u0, height = v1 - v0;
    const double shift = steady(g.shift, 0);
    std::size_t vertices = 0;
    for (const auto& loop : loops) vertices += loop.size();
    int bands = 0;
    for (int shiftBits : {16, 8, 0})
        bands = std::max(bands, std::abs(static_cast<int>((c1 >> shiftBits) & 0xFF) - static_cast<int>((c2 >> shiftBits) & 0xFF)));
    if (!(width > 0) || !(height > 0) || !std::isfinite(width + height) || bands < 2) {
        fill(outlines, {mix(c1, c2, 0.5), false}, ocs);
        return;
    }

    // The blend is a function of one measure q >= 0 (a distance, in the
    // turned frame), and the points with q <= r form a convex area for every
    // r: half-planes, strips and (as polygons) discs. A band is the boundary
    // cut by the area of its outer r, less the boundary cut by that of its inner r.
    double cu = (u0 + u1) / 2 - shift * width / 4, cv = (v0 + v1) / 2 - shift * height / 4;
    if (shape == Shape::Hemispherical) cu = u0 + width / 4, cv = v0 + height / 4;
    double reach = 0;
    switch (shape) {
    case Shape::Linear: reach = width; break;
    case Shape::Curved: reach = height; break;
    case Shape::Cylinder: reach = std::max(cu - u0, u1 - cu); break;
    case Shape::Spherical:
    case Shape::Hemispherical:
        for (double u : {u0, u1})
            for (double v : {v0, v1}) reach = std::max(reach, std::hypot(u - cu, v - cv));
        break;
    }
    // From u (as a point's turned coordinate) to the drawing: p = u * (ux, uy) + v * (-uy, ux).
    auto area = [&](double r) {
        std::vector<HalfPlane> hs;
        switch (shape) {
        case Shape::Linear: hs.push_back({ux, uy, u0 + r}); break;
        case Shape::Curved: hs.push_back({uy, -ux, -(v1 - r)}); break;
        case Shape::Cylinder:
            hs.push_back({ux, uy, cu + r});
            hs.push_back({-ux, -uy, -(cu - r)});
            break;
        case Shape::Spherical:
        case Shape::Hemispherical: {
            // A polygon about the circle, so the outermost band covers the boundary.
            const double out = r / std::cos(std::numbers::pi / kCircleSides);
            const double cx = cu * ux - cv * uy, cy = cu * uy + cv * ux;
            for (int i = 0; i < kCircleSides; ++i) {
                const double a = 2 * std::numbers::pi * i / kCircleSides;
                const double nx = std::cos(a), ny = std::sin(a);
                hs.push_back({nx, ny, nx * cx + ny * cy + out});
            }
            break;
        }
        }
        return hs;
    };
    // How far along the blend (0: colour 1, 1: colour 2) a point lies, from
    // how far it lies along the reach (0 to 1). Only the gradient's own
    // values enter here, never the boundary's coordinates: the same band
    // gets the same colour whichever file the drawing was read from.
    auto blend = [&](double t) {
        switch (shape) {
        case Shape::Linear: {
            // The middle of the blend sits at the centre, moved by the shift.
            const double mid = 0.5 - shift / 4;
            return t < mid ? 0.5 * t / mid : 0.5 + 0.5 * (t - mid) / (1 - mid);
        }
        case Shape::Curved: return 1 - t * t;
        default: return 1 - t;
        }
    };

    // Enough bands that neighbours differ by about a level per channel, as
    // the work budget allows: each band cuts every boundary point by each
    // side of its two areas.
    const std::size_t sides = area(reach).size();
    const double perBand = 2.0 * static_cast<double>(sides) * static_cast<double>(vertices) + 1;
    const double allowed = static_cast<double>(options_.budgets.hatchWork) / perBand;
    const bool withinBudget = allowed >= 2;
    bands = std::min({bands, kMaxBands, static_cast<int>(std::min(allowed, 1e6))});
    // Bands narrower than a pixel or so are painted as hairlines, which
    // would draw the cut edges of holes: the pixel is taken from the view
    // when it is known, else from the hatch's extent, which the picture
    // shows at least whole. A band is some 2.2 pixels wide, a width that is
    // no ratio of whole numbers nor the root of one: the reach of a hatch of
    // round sizes, fitted to a picture of round size, then never comes to
    // a whole number of bands, where the last bits of its coordinates would
    // round a band in or out and move every edge.
    const Box seen = viewInPlane(ocs, d.elevation);
    double pixel = flatness(std::hypot(width, height), ocs) * 8;
    if (!seen.empty() && options_.longSide > 0)
        pixel = std::max(pixel, std::max(seen.width(), seen.height()) / options_.longSide);
    constexpr double kBandPixels = 0.7 * std::numbers::pi;
    if (pixel > 0) bands = static_cast<int>(std::min(static_cast<double>(bands), std::floor(reach / (kBandPixels * pixel))));
    if (bands < 2) {
        // Too small to show its blend, or too costly to cut: its middle colour.
        if (!withinBudget)
            simplify("hatch pattern", "a gradient needs more than " + std::to_string(options_.budgets.hatchWork) +
                                          " steps; its area is filled with its middle colour");
        fill(outlines, {mix(c1, c2, blend(0.5)), false}, ocs);
        return;
    }
    auto cutAll = [&](double r, std::vector<std::vector<Vec3>>& into, bool reversed) {
        const std::vector<HalfPlane> hs = area(r);
        for (const auto& loop : loops) {
            std::vector<Vec2> part = loop;
            for (const HalfPlane& h : hs) {
                if (part.size() < 3) break;
                part = cut(part, h);
            }
            if (part.size() < 3) continue;
            auto& o = into.emplace_back();
            o.reserve(part.size());
            for (const Vec2& p : part) o.push_back({p.x, p.y, d.elevation});
            if (reversed) std::reverse(o.begin(), o.end());
        }
    };
    // Inner bands first, each reaching a little into the next: that one,
    // painted over it, leaves no seam of background between the two.
    const double step = reach / bands;
    std::vector<std::vector<Vec3>> band;
    for (int k = 0; k < bands; ++k) {
        band.clear();
        cutAll(k + 1 == bands ? reach : step * (k + 1.5), band, false);
        if (k > 0) cutAll(step * k, band, true);
        if (band.empty()) continue;
        fill(band, {mix(c1, c2, blend((k + 0.5) / bands)), false}, ocs);
    }
}

}  // namespace cad::render::frontend
