#include "cad/model/WireEntities.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <utility>

namespace cad {

namespace {

constexpr double kPi = 3.14159265358979323846;

using Matrix = std::array<double, 16>;  // row-major, p' = M p
constexpr Matrix kIdentity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) r[i * 4 + j] += a[i * 4 + k] * b[k * 4 + j];
    return r;
}

Vec3 unit(Vec3 v, Vec3 fallback = {0, 0, 1}) {
    double l = length(v);
    return l > 1e-300 && std::isfinite(l) ? v * (1.0 / l) : fallback;
}

// The arbitrary axis algorithm: the X and Y axes of the plane with this normal.
std::pair<Vec3, Vec3> planeAxes(Vec3 n) {
    Vec3 ax = std::fabs(n.x) < 1.0 / 64 && std::fabs(n.y) < 1.0 / 64 ? cross(Vec3{0, 1, 0}, n) : cross(Vec3{0, 0, 1}, n);
    ax = unit(ax, {1, 0, 0});
    return {ax, unit(cross(n, ax), {0, 1, 0})};
}

Vec3 toPlane(Vec3 p, Vec3 n) {
    auto [ax, ay] = planeAxes(n);
    return {dot(p, ax), dot(p, ay), dot(p, n)};
}

double angleIn(Vec3 dir, Vec3 n) {
    auto [ax, ay] = planeAxes(n);
    return std::atan2(dot(dir, ay), dot(dir, ax));
}

// The state of the attribute records as the graphics run.
class Exploder {
public:
    explicit Exploder(const Drawing& d) : drawing_(d) {
        common_.color = Color::byBlock();
        common_.linetype = "ByBlock";
        common_.lineweight = LineWeightByBlock;
    }

    std::vector<Entity> run(const ProxyGraphics& g) {
        for (const ProxyPrimitive& p : g.primitives) primitive(p);
        return std::move(out_);
    }

private:
    using Kind = ProxyPrimitive::Kind;

    Vec3 at(Vec3 p) const {
        const Matrix& m = matrix_;
        double w = m[12] * p.x + m[13] * p.y + m[14] * p.z + m[15];
        if (!(std::fabs(w) > 1e-300)) w = 1;
        return Vec3{m[0] * p.x + m[1] * p.y + m[2] * p.z + m[3], m[4] * p.x + m[5] * p.y + m[6] * p.z + m[7],
                    m[8] * p.x + m[9] * p.y + m[10] * p.z + m[11]} *
               (1.0 / w);
    }
    Vec3 along(Vec3 d) const {
        const Matrix& m = matrix_;
        return {m[0] * d.x + m[1] * d.y + m[2] * d.z, m[4] * d.x + m[5] * d.y + m[6] * d.z,
                m[8] * d.x + m[9] * d.y + m[10] * d.z};
    }
    bool identity() const { return matrix_ == kIdentity; }
    // Scale of a transform that keeps circles circles (no shear, the same
    // scale on all axes, nothing projective); 0 when it does not.
    double similarityScale() const {
        const Matrix& m = matrix_;
        if (m[12] != 0 || m[13] != 0 || m[14] != 0 || m[15] != 1) return 0;
        Vec3 c[3] = {{m[0], m[4], m[8]}, {m[1], m[5], m[9]}, {m[2], m[6], m[10]}};
        double s = length(c[0]);
        if (!(s > 0)) return 0;
        for (int i = 0; i < 3; ++i) {
            if (std::fabs(length(c[i]) - s) > 1e-9 * s) return 0;
            if (std::fabs(dot(c[i], c[(i + 1) % 3])) > 1e-9 * s * s) return 0;
        }
        return s;
    }

    Entity& add(const char* type) {
        out_.emplace_back();
        out_.back().type = type;
        out_.back().common = common_;
        return out_.back();
    }
    void line(Vec3 a, Vec3 b) {
        Entity& e = add("LINE");
        e.data = LineData{at(a), at(b)};
    }
    void polyline(const std::vector<Vec3>& pts, bool closed) {
        if (pts.size() < 2) return;
        Entity& e = add("POLYLINE");
        PolylineData d;
        d.kind = PolylineData::Kind::Polyline3D;
        d.flags = 8 | (closed ? 1 : 0);
        for (Vec3 p : pts) d.vertices.push_back(PolylineVertex{at(p)});
        e.data = std::move(d);
    }

    // A circle or an arc about n from the direction u through sweep radians.
    void arc(Vec3 c, double r, Vec3 n, Vec3 u, double sweep, bool full) {
        if (!(r > 0) || !std::isfinite(r)) return;
        n = unit(n);
        u = u - n * dot(u, n);
        u = length(u) > 1e-300 ? unit(u) : planeAxes(n).first;
        if (sweep < 0) {  // the same points, walked the other way round
            n = n * -1.0;
            sweep = -sweep;
        }
        Vec3 v = cross(n, u);
        if (double s = similarityScale(); s > 0) {
            Vec3 c2 = at(c), u2 = unit(along(u)), n2 = unit(cross(along(u), along(v)));
            if (full) {
                Entity& e = add("CIRCLE");
                e.common.extrusion = n2;
                e.data = CircleData{toPlane(c2, n2), r * s};
            } else {
                Entity& e = add("ARC");
                e.common.extrusion = n2;
                double a0 = angleIn(u2, n2);
                e.data = ArcData{toPlane(c2, n2), r * s, a0, a0 + std::min(sweep, 2 * kPi)};
            }
            return;
        }
        int steps = std::max(8, static_cast<int>(std::ceil(std::min(sweep, 2 * kPi) / (2 * kPi) * 72)));
        std::vector<Vec3> pts;
        for (int i = 0; i <= steps; ++i) {
            double t = sweep * i / steps;
            pts.push_back(c + (u * std::cos(t) + v * std::sin(t)) * r);
        }
        if (full) pts.pop_back();
        polyline(pts, full);
    }

    void edges(const std::vector<Vec3>& pts, const std::vector<std::pair<int, int>>& list,
               const std::vector<std::uint8_t>& visible) {
        const bool useFlags = visible.size() == list.size();
        std::set<std::pair<int, int>> done;
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (useFlags && !visible[i]) continue;
            auto [a, b] = list[i];
            if (a == b || !done.insert(std::minmax(a, b)).second) continue;
            line(pts[static_cast<std::size_t>(a)], pts[static_cast<std::size_t>(b)]);
        }
    }

    void filledPolygon(const std::vector<Vec3>& local) {
        std::vector<Vec3> pts;
        for (Vec3 p : local) pts.push_back(at(p));
        // The polygon's normal by Newell's method, robust for any vertex order.
        Vec3 n;
        for (std::size_t i = 0; i < pts.size(); ++i) {
            Vec3 a = pts[i], b = pts[(i + 1) % pts.size()];
            n = n + Vec3{(a.y - b.y) * (a.z + b.z), (a.z - b.z) * (a.x + b.x), (a.x - b.x) * (a.y + b.y)};
        }
        if (!(length(n) > 0)) return;
        n = unit(n);
        Entity& e = add("HATCH");
        e.common.extrusion = n;
        HatchData h;
        HatchLoop loop;
        loop.isPolyline = true;
        loop.flags = 2 | 1;
        for (Vec3 p : pts) {
            Vec3 q = toPlane(p, n);
            loop.polyline.push_back(LwVertex{{q.x, q.y}});
            h.elevation = q.z;
        }
        h.loops.push_back(std::move(loop));
        e.data = std::move(h);
    }

    void text(const ProxyPrimitive& p) {
        if (p.points.empty() || p.text.empty()) return;
        Vec3 dir = along(p.direction), n0 = unit(p.normal);
        Vec3 up = along(cross(n0, unit(p.direction, {1, 0, 0})));
        Vec3 n = unit(cross(dir, up), n0);
        Entity& e = add("TEXT");
        e.common.extrusion = n;
        TextData t;
        t.insertion = toPlane(at(p.points[0]), n);
        t.rotation = angleIn(dir, n);
        t.height = p.height * (identity() ? 1.0 : length(up));
        t.widthFactor = p.widthFactor > 0 ? p.widthFactor : 1;
        t.oblique = p.oblique;
        t.value = p.text;
        e.data = std::move(t);
    }

    void primitive(const ProxyPrimitive& p) {
        switch (p.kind) {
        case Kind::Circle:
            if (!p.points.empty()) arc(p.points[0], p.radius, p.normal, planeAxes(unit(p.normal)).first, 2 * kPi, true);
            break;
        case Kind::Arc:
            if (p.points.empty()) break;
            arc(p.points[0], p.radius, p.normal, p.direction, p.sweep, false);
            if (p.fill == 1 || p.fill == 2) {  // sector or chord: the closing lines
                Vec3 n = unit(p.normal), u = unit(p.direction - n * dot(p.direction, n), planeAxes(n).first);
                Vec3 v = cross(n, u), c = p.points[0];
                Vec3 a = c + u * p.radius, b = c + (u * std::cos(p.sweep) + v * std::sin(p.sweep)) * p.radius;
                if (p.fill == 1) {
                    line(c, a);
                    line(c, b);
                } else {
                    line(a, b);
                }
            }
            break;
        case Kind::Polyline: polyline(p.points, false); break;
        case Kind::Polygon:
            if (fill_ && p.points.size() >= 3) filledPolygon(p.points);
            else polyline(p.points, true);
            break;
        case Kind::Mesh: {
            std::vector<std::pair<int, int>> list;
            const int rows = p.rows, cols = p.columns;
            for (int i = 0; i < rows; ++i)
                for (int j = 0; j + 1 < cols; ++j) list.emplace_back(i * cols + j, i * cols + j + 1);
            for (int i = 0; i + 1 < rows; ++i)
                for (int j = 0; j < cols; ++j) list.emplace_back(i * cols + j, (i + 1) * cols + j);
            edges(p.points, list, p.edgeVisible);
            break;
        }
        case Kind::Shell: edges(p.points, shellEdges(p.faces, p.points.size()), p.edgeVisible); break;
        case Kind::Text: text(p); break;
        case Kind::Xline:
        case Kind::Ray: {
            if (p.points.size() < 2) break;
            Entity& e = add(p.kind == Kind::Xline ? "XLINE" : "RAY");
            Vec3 base = at(p.points[0]);
            e.data = RayData{base, at(p.points[1]) - base};
            break;
        }
        case Kind::LwPolyline: {
            if (p.lw.size() < 2) break;
            if (!identity()) {
                std::vector<Vec3> pts;
                auto [ax, ay] = planeAxes(unit(p.normal));
                Vec3 n = unit(p.normal);
                for (const ProxyLwVertex& v : p.lw) pts.push_back(ax * v.point.x + ay * v.point.y + n * p.elevation);
                polyline(pts, p.closed);
                break;
            }
            Entity& e = add("LWPOLYLINE");
            e.common.extrusion = unit(p.normal);
            LwPolylineData d;
            d.closed = p.closed;
            d.elevation = p.elevation;
            for (const ProxyLwVertex& v : p.lw) d.vertices.push_back(LwVertex{v.point, 0, 0, v.bulge});
            e.data = std::move(d);
            break;
        }
        case Kind::Color: common_.color = Color::fromIndex(static_cast<int>(p.value)); break;
        case Kind::TrueColor: {
            auto v = static_cast<std::uint32_t>(p.value);
            switch (v >> 24) {
            case 0xC1: common_.color = Color::byBlock(); break;
            case 0xC2: common_.color = Color::fromRgb(v & 0xFFFFFF); break;
            case 0xC3: common_.color = Color::fromIndex(static_cast<int>(v & 0xFF)); break;
            default: common_.color = Color::byLayer(); break;
            }
            break;
        }
        case Kind::Layer:
            if (p.value >= 0 && static_cast<std::size_t>(p.value) < drawing_.layers.size())
                common_.layer = drawing_.layers[static_cast<std::size_t>(p.value)].name;
            break;
        case Kind::Linetype:
            if (p.value == 0x7FFF) common_.linetype = "ByLayer";
            else if (p.value == 0x7FFE) common_.linetype = "ByBlock";
            else if (p.value >= 0 && static_cast<std::size_t>(p.value) < drawing_.linetypes.size())
                common_.linetype = drawing_.linetypes[static_cast<std::size_t>(p.value)].name;
            break;
        case Kind::Lineweight:
            common_.lineweight = p.value >= -3 && p.value <= 211 ? static_cast<int>(p.value) : LineWeightByBlock;
            break;
        case Kind::LinetypeScale:
            if (p.number > 0) common_.linetypeScale = p.number;
            break;
        case Kind::Thickness: common_.thickness = p.number; break;
        case Kind::Fill: fill_ = p.value != 0; break;
        case Kind::PushTransform:
            stack_.push_back(matrix_);
            matrix_ = multiply(matrix_, p.matrix);
            break;
        case Kind::PopTransform:
            if (!stack_.empty()) {
                matrix_ = stack_.back();
                stack_.pop_back();
            }
            break;
        case Kind::Extents:
        case Kind::Marker:
        case Kind::PlotStyle:
        case Kind::PushClip:
        case Kind::PopClip: break;
        }
    }

    const Drawing& drawing_;
    EntityCommon common_;
    bool fill_ = false;
    Matrix matrix_ = kIdentity;
    std::vector<Matrix> stack_;
    std::vector<Entity> out_;
};

Entity wireEntity(const char* type) {
    Entity e;
    e.type = type;
    e.common.color = Color::byBlock();
    e.common.linetype = "ByBlock";
    e.common.lineweight = LineWeightByBlock;
    return e;
}

}  // namespace

std::vector<Entity> entitiesOfProxyGraphics(const ProxyGraphics& graphics, const Drawing& drawing) {
    return Exploder(drawing).run(graphics);
}

namespace {

void addEdges(const std::vector<WireEdge>& edges, std::vector<Entity>& out) {
    for (const WireEdge& w : edges) {
        switch (w.kind) {
        case WireEdge::Kind::Line: {
            Entity e = wireEntity("LINE");
            e.data = LineData{w.start, w.end};
            out.push_back(std::move(e));
            break;
        }
        case WireEdge::Kind::Ellipse: {
            Vec3 major = w.majorAxis, minor = w.minorAxis;
            double t0 = w.startParam, t1 = w.endParam;
            double ml = length(major), nl = length(minor);
            if (!(ml > 0) || !(nl > 0)) break;
            if (nl > ml) {  // keep the longer axis as the major one
                std::swap(major, minor);
                minor = minor * -1.0;
                t0 -= kPi / 2;
                t1 -= kPi / 2;
                std::swap(ml, nl);
            }
            Entity e = wireEntity("ELLIPSE");
            e.common.extrusion = unit(cross(major, minor));
            EllipseData d;
            d.center = w.center;
            d.majorAxis = major;
            d.ratio = nl / ml;
            d.startParam = t0;
            d.endParam = t1;
            e.data = d;
            out.push_back(std::move(e));
            break;
        }
        case WireEdge::Kind::Spline: {
            Entity e = wireEntity("SPLINE");
            SplineData d;
            d.degree = w.degree;
            d.knots = w.knots;
            d.controlPoints = w.controlPoints;
            d.weights = w.weights;
            d.flags = w.weights.empty() ? 0 : 4;
            e.data = std::move(d);
            out.push_back(std::move(e));
            break;
        }
        }
    }
}

WireEdge isoLine(Vec3 a, Vec3 b) {
    WireEdge e;
    e.start = a;
    e.end = b;
    return e;
}

WireEdge isoArc(Vec3 center, Vec3 major, Vec3 minor, double t0, double t1) {
    WireEdge e;
    e.kind = WireEdge::Kind::Ellipse;
    e.center = center;
    e.majorAxis = major;
    e.minorAxis = minor;
    e.startParam = t0;
    e.endParam = t1;
    return e;
}

// The lines drawn across a curved face, n of them around its axis (and on
// spheres and tori n parallels as well), as the CAD application's wireframe
// view shows them.
void addIsolines(const CurvedFace& c, int n, std::vector<WireEdge>& out) {
    for (int i = 0; i < n; ++i) {
        const double t = 2 * kPi * i / n;
        const Vec3 radial = c.u * std::cos(t) + c.v * std::sin(t);
        switch (c.kind) {
        case CurvedFace::Kind::Cone:
            out.push_back(isoLine(c.center + c.w * c.h0 + radial * c.k0, c.center + c.w * c.h1 + radial * c.k1));
            break;
        case CurvedFace::Kind::Sphere: {
            // Meridians pole to pole; parallels spaced evenly between the poles.
            out.push_back(isoArc(c.center, radial * c.major, c.w * c.major, -kPi / 2, kPi / 2));
            const double p = -kPi / 2 + kPi * (i + 1) / (n + 1);
            const double r = c.major * std::cos(p);
            out.push_back(isoArc(c.center + c.w * (c.major * std::sin(p)), c.u * r, c.v * r, 0, 2 * kPi));
            break;
        }
        case CurvedFace::Kind::Torus: {
            out.push_back(isoArc(c.center + radial * c.major, radial * c.minor, c.w * c.minor, 0, 2 * kPi));
            const double r = c.major + c.minor * std::cos(t);
            if (r > 0)
                out.push_back(isoArc(c.center + c.w * (c.minor * std::sin(t)), c.u * r, c.v * r, 0, 2 * kPi));
            break;
        }
        }
    }
}

}  // namespace

std::vector<Entity> entitiesOfBody(const BodyData& body, int isolines) {
    std::vector<Entity> out;
    addEdges(body.edges, out);
    const int n = std::clamp(isolines, 0, 2047);
    // However many faces a damaged body claims, its isolines stay within a budget.
    constexpr std::size_t kMostIsolines = 200000;
    std::vector<WireEdge> lines;
    std::size_t drawn = 0;
    for (const CurvedFace& c : body.curvedFaces) {
        if (drawn > kMostIsolines) break;
        lines.clear();
        addIsolines(c, n, lines);
        drawn += lines.size();
        addEdges(lines, out);
    }
    return out;
}

std::vector<Entity> entitiesOfMesh(const MeshData& mesh) {
    std::vector<Entity> out;
    std::set<std::pair<int, int>> done;
    const int n = static_cast<int>(mesh.vertices.size());
    auto edge = [&](int a, int b) {
        if (a < 0 || b < 0 || a >= n || b >= n || a == b || !done.insert(std::minmax(a, b)).second) return;
        Entity e = wireEntity("LINE");
        e.data = LineData{mesh.vertices[static_cast<std::size_t>(a)], mesh.vertices[static_cast<std::size_t>(b)]};
        out.push_back(std::move(e));
    };
    for (const auto& face : mesh.faces)
        for (std::size_t i = 0; i < face.size(); ++i) edge(face[i], face[(i + 1) % face.size()]);
    if (mesh.faces.empty())
        for (auto [a, b] : mesh.edges) edge(a, b);
    return out;
}

}  // namespace cad
