#include "cad/render/Frontend.h"

#include <QRegularExpression>
#include <QTransform>
#include <algorithm>
#include <cmath>

#include "cad/render/Palette.h"
#include "cad/render/Tessellate.h"
#include "cad/model/CodePageText.h"
#include "cad/render/TextLayout.h"

namespace cad::render {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kMaxDepth = 24;            // nesting of inserts
constexpr long kMaxArrayCopies = 10000;  // MINSERT rows x columns
constexpr long kMaxHatchLines = 20000;   // pattern lines of one hatch
constexpr std::size_t kMaxPrimitives = 1000000;

const PaintColor kForeground{qRgb(255, 255, 255), true};

// What an insert passes on to the entities of its block.
struct Context {
    Xform xf;
    PaintColor byBlockColor = kForeground;
    std::string byBlockLinetype = "Continuous";
    int byBlockLineweight = LineWeightDefault;
    const Layer* insertLayer = nullptr;  // where entities on layer "0" take their properties from
    bool inBlock = false;
    int depth = 0;
};

struct Look {
    bool visible = true;
    PaintColor color = kForeground;
    std::string linetype = "Continuous";
    double lineweightMm = 0.25;
    const std::vector<double>* pattern = nullptr;  // the linetype's unscaled dashes, when dashed
    double patternScale = 1;
};

QTransform planTransform(const Xform& x, double z) {
    return QTransform(x.m[0][0], x.m[1][0], x.m[0][1], x.m[1][1], x.m[0][2] * z + x.t.x, x.m[1][2] * z + x.t.y);
}

bool finite(Vec3 p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

class Builder {
public:
    Builder(const Drawing& d, const RenderOptions& o)
        : drawing_(d), options_(o), folder_(std::make_shared<const std::filesystem::path>(o.drawingFolder)) {
        ltScale_ = d.header.ltScale > 0 && std::isfinite(d.header.ltScale) ? d.header.ltScale : 1.0;
    }

    Scene run() {
        const Block* space = options_.paperSpace ? drawing_.paperSpace() : drawing_.modelSpace();
        if (space) {
            Context ctx;
            active_.push_back(space);
            for (const Entity& e : space->entities) {
                if (!options_.paperSpace && e.common.paperSpace) continue;
                entity(e, ctx);
            }
        }
        return std::move(scene_);
    }

private:
    const Drawing& drawing_;
    const RenderOptions& options_;
    std::shared_ptr<const std::filesystem::path> folder_;  // where the drawing's own fonts are
    Scene scene_;
    double ltScale_ = 1;
    std::vector<const Block*> active_;  // the chain of blocks being drawn, against self-reference

    // ---- properties ------------------------------------------------------

    const Layer* effectiveLayer(const EntityCommon& c, const Context& ctx, bool* known) const {
        if (ctx.inBlock && c.layer == "0") {
            *known = ctx.insertLayer != nullptr;
            return ctx.insertLayer;
        }
        const Layer* layer = drawing_.findLayer(c.layer);
        *known = layer != nullptr;
        return layer;
    }

    static PaintColor colorOf(const Color& c) {
        if (c.kind == Color::Kind::True) return paintFromRgb(c.rgb);
        return paintFromIndex(c.index);
    }

    Look look(const Entity& e, const Context& ctx) const {
        Look l;
        const EntityCommon& c = e.common;
        bool known = false;
        const Layer* layer = effectiveLayer(c, ctx, &known);
        if (layer && (!layer->on || layer->frozen)) l.visible = false;
        if (c.invisible) l.visible = false;

        switch (c.color.kind) {
        case Color::Kind::ByLayer: l.color = layer ? colorOf(layer->color) : kForeground; break;
        case Color::Kind::ByBlock: l.color = ctx.byBlockColor; break;
        case Color::Kind::Index: l.color = paintFromIndex(c.color.index); break;
        case Color::Kind::True: l.color = paintFromRgb(c.color.rgb); break;
        }

        const std::string upper = upperName(c.linetype);
        if (upper == "BYLAYER" || c.linetype.empty()) l.linetype = layer ? layer->linetype : "Continuous";
        else if (upper == "BYBLOCK") l.linetype = ctx.byBlockLinetype;
        else l.linetype = c.linetype;
        if (upperName(l.linetype) != "CONTINUOUS") {
            if (const Linetype* type = drawing_.findLinetype(l.linetype)) {
                double total = 0;
                for (double d : type->dashes) total += std::fabs(d);
                if (type->dashes.size() >= 2 && total > 0 && std::isfinite(total)) l.pattern = &type->dashes;
            }
        }
        const double entityScale = c.linetypeScale > 0 && std::isfinite(c.linetypeScale) ? c.linetypeScale : 1.0;
        l.patternScale = ltScale_ * entityScale;

        int lw = c.lineweight;
        if (lw == LineWeightByLayer) lw = layer ? layer->lineweight : LineWeightDefault;
        else if (lw == LineWeightByBlock) lw = ctx.byBlockLineweight;
        l.lineweightMm = lw >= 0 && lw <= 211 ? lw / 100.0 : 0.25;
        return l;
    }

    std::vector<double> dashes(const Look& l, const Xform& xf) const {
        std::vector<double> out;
        if (!l.pattern) return out;
        const double s = l.patternScale * xf.planScale();
        out.reserve(l.pattern->size());
        for (double d : *l.pattern) out.push_back(d * s);
        return out;
    }

    // ---- output ----------------------------------------------------------

    void stroke(const std::vector<Vec3>& local, bool closed, const Look& l, const Xform& xf, bool dashed = true) {
        if (local.size() < 2) return;
        Stroke s;
        s.points.reserve(local.size());
        for (const Vec3& p : local)
            if (finite(p)) s.points.push_back(xf.apply2(p));
        if (s.points.size() < 2) return;
        s.closed = closed;
        s.color = l.color;
        s.lineweightMm = l.lineweightMm;
        if (dashed) s.dashes = dashes(l, xf);
        scene_.add(std::move(s));
    }

    void fill(const std::vector<std::vector<Vec3>>& outlines, const PaintColor& color, const Xform& xf,
              bool background = false) {
        Fill f;
        for (const auto& outline : outlines) {
            std::vector<Vec2> pts;
            pts.reserve(outline.size());
            for (const Vec3& p : outline)
                if (finite(p)) pts.push_back(xf.apply2(p));
            if (pts.size() >= 3) f.outlines.push_back(std::move(pts));
        }
        if (f.outlines.empty()) return;
        f.color = color;
        f.background = background;
        scene_.add(std::move(f));
    }

    void text(const TextPaths& planePaths, const Xform& planeToWorld, double z, const PaintColor& color,
              double lineweightMm = 0.25) {
        if (planePaths.isEmpty()) return;
        TextShape t;
        const QTransform toWorld = planTransform(planeToWorld, z);
        t.path = toWorld.map(planePaths.fill);
        t.strokes = toWorld.map(planePaths.strokes);
        t.color = color;
        t.lineweightMm = lineweightMm;
        scene_.add(std::move(t));
    }

    void arrowhead(Vec3 tip, Vec3 from, double size, const Look& l, const Xform& xf) {
        const double dx = tip.x - from.x, dy = tip.y - from.y, len = std::hypot(dx, dy);
        if (len < 1e-12 || !(size > 0)) return;
        const double ux = dx / len, uy = dy / len, w = size / 6;
        const Vec3 back{tip.x - ux * size, tip.y - uy * size, tip.z};
        fill({{tip, {back.x - uy * w, back.y + ux * w, tip.z}, {back.x + uy * w, back.y - ux * w, tip.z}}}, l.color, xf);
    }

    // A polyline whose segments may have widths: wide segments become filled bands.
    struct WideVertex {
        Vec3 point;
        double startWidth = 0, endWidth = 0, bulge = 0;
    };
    void widePolyline(const std::vector<WideVertex>& v, bool closed, const Look& l, const Xform& xf) {
        if (v.empty()) return;
        bool anyWidth = false;
        for (const auto& w : v) anyWidth = anyWidth || w.startWidth > 0 || w.endWidth > 0;
        const std::size_t segments = closed ? v.size() : v.size() - 1;
        if (!anyWidth || !drawing_.header.fillMode) {
            std::vector<Vec3> pts{v[0].point};
            for (std::size_t i = 0; i < segments; ++i) appendBulge(pts, v[i].point, v[(i + 1) % v.size()].point, v[i].bulge);
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
            appendBulge(centre, a.point, b, a.bulge);
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

    // ---- entities --------------------------------------------------------

    void entity(const Entity& e, const Context& ctx) {
        // Deeply nested arrays of inserts can multiply without end; a picture
        // this full shows nothing more anyway.
        if (scene_.order.size() > kMaxPrimitives) return;
        const Look l = look(e, ctx);
        // Inserts decide their own visibility: entities of other layers in a
        // block on a layer that is off still show.
        if (const auto* ins = e.as<InsertData>()) return insert(e, *ins, l, ctx);
        if (!l.visible) return;
        const Xform& xf = ctx.xf;
        const Xform ocs = xf * ocsToWcs(e.common.extrusion);

        if (const auto* d = e.as<LineData>()) {
            stroke({d->start, d->end}, false, l, xf);
        } else if (const auto* d = e.as<CircleData>()) {
            if (!(d->radius > 0)) return;
            std::vector<Vec3> pts;
            appendArc(pts, d->center, d->radius, 0, 2 * kPi);
            pts.pop_back();
            stroke(pts, true, l, ocs);
        } else if (const auto* d = e.as<ArcData>()) {
            if (!(d->radius > 0)) return;
            std::vector<Vec3> pts;
            appendArc(pts, d->center, d->radius, d->startAngle, d->endAngle);
            stroke(pts, false, l, ocs);
        } else if (const auto* d = e.as<EllipseData>()) {
            ellipse(*d, e, l, xf);
        } else if (const auto* d = e.as<SplineData>()) {
            std::vector<Vec3> pts;
            if (!d->controlPoints.empty()) pts = nurbsPoints(d->degree, d->knots, d->controlPoints, d->weights);
            else if (d->flags & 1) pts = curveThrough(d->fitPoints, true);
            else pts = fitCurve(d->fitPoints, d->startTangent, d->endTangent);
            stroke(pts, false, l, xf);
        } else if (const auto* d = e.as<LwPolylineData>()) {
            std::vector<WideVertex> v;
            for (const LwVertex& lv : d->vertices) {
                const bool own = lv.startWidth > 0 || lv.endWidth > 0;
                v.push_back({{lv.point.x, lv.point.y, d->elevation}, own ? lv.startWidth : d->constantWidth,
                             own ? lv.endWidth : d->constantWidth, lv.bulge});
            }
            widePolyline(v, d->closed, l, ocs);
        } else if (const auto* d = e.as<PolylineData>()) {
            polyline(*d, l, xf, ocs);
        } else if (const auto* d = e.as<TextData>()) {
            textEntity(e, *d, l, ctx, ocs);
        } else if (const auto* d = e.as<MTextData>()) {
            mtext(e, *d, l, xf);
        } else if (const auto* d = e.as<DimensionData>()) {
            const Block* b = d->blockName.empty() ? nullptr : drawing_.findBlock(d->blockName);
            if (b && !b->entities.empty()) blockAt(*b, e, Xform{}, l, ctx);
            else dimensionWithoutBlock(e, *d, l, xf);
        } else if (const auto* d = e.as<TableData>()) {
            const Block* b = drawing_.findBlock(d->blockName);
            if (b) blockAt(*b, e, Xform::translate(d->insertion) * Xform::rotateZ(d->rotation) *
                                      Xform::scale(d->scale) * Xform::translate(b->base * -1.0),
                           l, ctx);
        } else if (const auto* d = e.as<LeaderData>()) {
            leader(*d, l, xf);
        } else if (const auto* d = e.as<HatchData>()) {
            hatch(*d, l, ocs);
        } else if (const auto* d = e.as<SolidData>()) {
            const std::vector<Vec3> quad{d->corners[0], d->corners[1], d->corners[3], d->corners[2]};
            if (drawing_.header.fillMode) fill({quad}, l.color, ocs);
            else stroke(quad, true, l, ocs);
        } else if (const auto* d = e.as<Face3DData>()) {
            for (int i = 0; i < 4; ++i)
                if (!(d->invisibleEdges & (1 << i))) stroke({d->corners[i], d->corners[(i + 1) % 4]}, false, l, xf);
        } else if (const auto* d = e.as<PointData>()) {
            PointMarker m;
            m.position = xf.apply2(d->position);
            m.mode = drawing_.header.pdMode;
            m.size = drawing_.header.pdSize > 0 ? drawing_.header.pdSize * xf.planScale() : drawing_.header.pdSize;
            m.color = l.color;
            m.lineweightMm = l.lineweightMm;
            if (std::isfinite(m.position.x) && std::isfinite(m.position.y)) scene_.add(m);
        } else if (const auto* d = e.as<RayData>()) {
            InfiniteLine line;
            line.base = xf.apply2(d->base);
            const Vec3 dir = xf.applyDir(d->direction);
            line.direction = {dir.x, dir.y};
            line.bothWays = e.type == "XLINE";
            line.color = l.color;
            line.lineweightMm = l.lineweightMm;
            line.dashes = dashes(l, xf);
            if (std::hypot(dir.x, dir.y) > 1e-12 && std::isfinite(line.base.x) && std::isfinite(line.base.y))
                scene_.add(std::move(line));
        } else if (const auto* d = e.as<MLineData>()) {
            mline(*d, l, xf);
        } else if (const auto* d = e.as<ImageData>()) {
            image(e, *d, l, xf);
        } else if (const auto* d = e.as<ToleranceData>()) {
            tolerance(*d, l, xf);
        } else if (const auto* d = e.as<MLeaderData>()) {
            mleader(e, *d, l, ctx);
        }
        // Viewports, shapes and objects we cannot draw (proxies, ACIS bodies) show nothing.
    }

    void ellipse(const EllipseData& d, const Entity& e, const Look& l, const Xform& xf) {
        Vec3 n = e.common.extrusion;
        const double nl = length(n);
        n = nl > 1e-12 ? n * (1.0 / nl) : Vec3{0, 0, 1};
        const double ratio = d.ratio > 0 && d.ratio <= 1 ? d.ratio : 1.0;
        const Vec3 minor = cross(n, d.majorAxis) * ratio;
        std::vector<Vec3> pts;
        appendEllipse(pts, d.center, d.majorAxis, minor, d.startParam, d.endParam);
        const bool full = std::fabs(std::fabs(d.endParam - d.startParam) - 2 * kPi) < 1e-9;
        if (full && pts.size() > 2) pts.pop_back();
        stroke(pts, full, l, xf);
    }

    void polyline(const PolylineData& d, const Look& l, const Xform& xf, const Xform& ocs) {
        switch (d.kind) {
        case PolylineData::Kind::Polyline2D: {
            std::vector<WideVertex> v;
            for (const PolylineVertex& pv : d.vertices) {
                if (pv.flags & 16) continue;  // the frame of a spline-fit polyline
                const bool own = pv.startWidth > 0 || pv.endWidth > 0;
                v.push_back({{pv.point.x, pv.point.y, d.elevation}, own ? pv.startWidth : d.startWidth,
                             own ? pv.endWidth : d.endWidth, pv.bulge});
            }
            widePolyline(v, d.closed(), l, ocs);
            break;
        }
        case PolylineData::Kind::Polyline3D: {
            std::vector<Vec3> pts;
            for (const PolylineVertex& pv : d.vertices)
                if (!(pv.flags & 16)) pts.push_back(pv.point);
            stroke(pts, d.closed(), l, xf);
            break;
        }
        case PolylineData::Kind::PolyfaceMesh: {
            std::vector<Vec3> positions;
            for (const PolylineVertex& pv : d.vertices)
                if ((pv.flags & 64) || !(pv.flags & 128)) positions.push_back(pv.point);
            for (const PolylineVertex& pv : d.vertices) {
                if ((pv.flags & 128) == 0 || (pv.flags & 64)) continue;
                int count = 0;
                while (count < 4 && pv.faceIndices[count] != 0) ++count;
                for (int i = 0; i < count; ++i) {
                    const int a = pv.faceIndices[i], b = pv.faceIndices[(i + 1) % count];
                    if (a <= 0) continue;  // a negative index hides the edge that starts there
                    const auto ia = static_cast<std::size_t>(a - 1), ib = static_cast<std::size_t>(std::abs(b) - 1);
                    if (ia < positions.size() && ib < positions.size()) stroke({positions[ia], positions[ib]}, false, l, xf);
                }
            }
            break;
        }
        case PolylineData::Kind::PolygonMesh: {
            const int m = d.meshM, n = d.meshN;
            if (m <= 0 || n <= 0 || static_cast<std::size_t>(m) * static_cast<std::size_t>(n) > d.vertices.size()) {
                std::vector<Vec3> pts;
                for (const auto& pv : d.vertices) pts.push_back(pv.point);
                stroke(pts, false, l, xf);
                break;
            }
            auto at = [&](int i, int j) { return d.vertices[static_cast<std::size_t>(i * n + j)].point; };
            for (int i = 0; i < m; ++i) {
                std::vector<Vec3> row;
                for (int j = 0; j < n; ++j) row.push_back(at(i, j));
                stroke(row, d.flags & 32, l, xf);
            }
            for (int j = 0; j < n; ++j) {
                std::vector<Vec3> col;
                for (int i = 0; i < m; ++i) col.push_back(at(i, j));
                stroke(col, d.flags & 1, l, xf);
            }
            break;
        }
        }
    }

    TextFormat baseFormat(const std::string& styleName, double height, double widthFactor, double oblique) const {
        TextFormat f;
        const TextStyle* style = drawing_.findTextStyle(styleName);
        if (!(height > 0) || !std::isfinite(height))
            height = style && style->fixedHeight > 0 ? style->fixedHeight : drawing_.header.textSize;
        f.height = height > 0 && std::isfinite(height) ? height : 2.5;
        f.widthFactor = widthFactor > 0 && std::isfinite(widthFactor) ? widthFactor : 1.0;
        f.oblique = std::isfinite(oblique) ? oblique : 0.0;
        f.mono = style && (isMonoFont(style->fontFile) || isMonoFont(style->fontFamily));
        if (style) {
            f.font = styleFont(style->fontFile, style->bigFontFile, style->fontFamily, *folder_,
                               codePageNumber(drawing_.header.codePage));
            f.folder = folder_;
        }
        return f;
    }

    void textEntity(const Entity& e, const TextData& d, const Look& l, const Context& ctx, const Xform& ocs) {
        const bool attdef = e.type == "ATTDEF";
        // Inside a block a definition shows only when it is constant (no
        // attribute of the insert carries its value); outside, as its tag.
        const bool constant = attdef && (d.attributeFlags & 2);
        if (attdef && ctx.inBlock && !constant) return;
        if ((e.type == "ATTRIB" || attdef) && (d.attributeFlags & 1)) return;
        const std::string& shown = attdef && !(ctx.inBlock && constant) ? d.tag : d.value;
        if (shown.empty()) return;
        const TextFormat f = baseFormat(d.style, d.height, d.widthFactor, d.oblique);
        text(layoutText(d, shown, f), ocs, d.insertion.z, l.color, l.lineweightMm);
    }

    void mtextAt(const std::string& raw, const TextFormat& f, double width, int attachment, double spacing,
                 Vec3 insertion, Vec3 xAxis, Vec3 normal, const PaintColor& color, const Xform& xf) {
        const double nl = length(normal);
        normal = nl > 1e-12 ? normal * (1.0 / nl) : Vec3{0, 0, 1};
        // The direction may come with a component along the normal; keep it in the plane.
        xAxis = xAxis - normal * dot(xAxis, normal);
        double xl = length(xAxis);
        if (!(xl > 1e-12)) {
            xAxis = ocsToWcs(normal).applyDir({1, 0, 0});
            xl = 1;
        }
        xAxis = xAxis * (1.0 / xl);
        const Vec3 yAxis = cross(normal, xAxis);
        const Xform plane = xf * Xform::translate(insertion) * Xform::axes(xAxis, yAxis, normal);
        for (const PlacedText& part : layoutMText(raw, f, width, attachment, spacing))
            text({part.path, part.strokes}, plane, 0, part.color.value_or(color));
    }

    void mtext(const Entity& e, const MTextData& d, const Look& l, const Xform& xf) {
        const TextFormat f = baseFormat(d.style, d.height, 1, 0);
        mtextAt(d.text, f, d.rectWidth, d.attachment, d.lineSpacingFactor, d.insertion, d.xAxis, e.common.extrusion,
                l.color, xf);
    }

    Context childContext(const Entity& e, const Look& l, const Context& ctx) const {
        Context child;
        bool known = false;
        child.insertLayer = effectiveLayer(e.common, ctx, &known);
        child.byBlockColor = l.color;
        child.byBlockLinetype = l.linetype;
        child.byBlockLineweight = static_cast<int>(std::lround(l.lineweightMm * 100));
        child.inBlock = true;
        child.depth = ctx.depth + 1;
        child.xf = ctx.xf;
        return child;
    }

    bool layerFrozen(const Entity& e, const Context& ctx) const {
        bool known = false;
        const Layer* layer = effectiveLayer(e.common, ctx, &known);
        return (layer && layer->frozen) || e.common.invisible;
    }

    // The entities of a block drawn with the given placement (block -> parent coordinates).
    void blockAt(const Block& block, const Entity& owner, const Xform& placement, const Look& l, const Context& ctx) {
        if (ctx.depth >= kMaxDepth || layerFrozen(owner, ctx)) return;
        Context child = childContext(owner, l, ctx);
        drawBlock(block, child, ctx.xf * placement);
    }

    // The entities of a block with the child context of its owner placed at xf.
    void drawBlock(const Block& block, Context& child, const Xform& xf) {
        if (std::find(active_.begin(), active_.end(), &block) != active_.end()) return;
        child.xf = xf;
        active_.push_back(&block);
        for (const Entity& inner : block.entities) entity(inner, child);
        active_.pop_back();
    }

    void insert(const Entity& e, const InsertData& d, const Look& l, const Context& ctx) {
        if (ctx.depth >= kMaxDepth || layerFrozen(e, ctx)) return;
        const Block* block = drawing_.findBlock(d.blockName);
        if (block) {
            const Xform base = ocsToWcs(e.common.extrusion) * Xform::translate(d.insertion) * Xform::rotateZ(d.rotation);
            const Xform local = Xform::scale(d.scale) * Xform::translate(block->base * -1.0);
            const long columns = std::max(1, d.columns), rows = std::max(1, d.rows);
            if (columns * rows <= kMaxArrayCopies) {
                // Every cell of an array shares the block, its layer and its ByBlock properties.
                Context child = childContext(e, l, ctx);
                for (long r = 0; r < rows; ++r)
                    for (long c = 0; c < columns; ++c) {
                        const Xform cell = Xform::translate({c * d.columnSpacing, r * d.rowSpacing, 0});
                        drawBlock(*block, child, ctx.xf * (base * cell * local));
                    }
            }
        }
        // Attributes sit in the insert's own space, but take ByBlock from it.
        if (!d.attributes.empty() && l.visible) {
            Context attrCtx = childContext(e, l, ctx);
            attrCtx.inBlock = ctx.inBlock;
            attrCtx.insertLayer = ctx.insertLayer;
            for (const Entity& a : d.attributes) entity(a, attrCtx);
        }
    }

    double arrowSize() const {
        const double s = drawing_.header.textSize * (drawing_.header.dimScale > 0 ? drawing_.header.dimScale : 1.0);
        return s > 0 && std::isfinite(s) ? s : 2.5;
    }

    void leader(const LeaderData& d, const Look& l, const Xform& xf) {
        if (d.vertices.size() < 2) return;
        stroke(d.spline ? curveThrough(d.vertices) : d.vertices, false, l, xf);
        if (d.arrowhead) {
            const Vec3 a = d.vertices[0], b = d.vertices[1];
            const double seg = std::hypot(b.x - a.x, b.y - a.y);
            arrowhead(a, b, std::min(arrowSize(), seg / 2), l, xf);
        }
    }

    void mleader(const Entity& e, const MLeaderData& d, const Look& l, const Context& ctx) {
        const double size = d.arrowSize > 0 ? d.arrowSize : (d.textHeight > 0 ? d.textHeight : arrowSize());
        for (std::size_t i = 0; i < d.leaderLines.size(); ++i) {
            std::vector<Vec3> line = d.leaderLines[i];
            // Each line runs on to its landing point.
            const int root = i < d.leaderLineRoot.size() ? d.leaderLineRoot[i] : (d.landingPoints.size() == 1 ? 0 : -1);
            if (root >= 0 && static_cast<std::size_t>(root) < d.landingPoints.size()) line.push_back(d.landingPoints[root]);
            if (line.size() < 2) continue;
            stroke(line, false, l, ctx.xf);
            if (d.hasArrowheads) arrowhead(line[0], line[1], size, l, ctx.xf);
        }
        for (std::size_t r = 0; r < d.landingPoints.size(); ++r) {
            if (r >= d.doglegDirections.size() || r >= d.doglegLengths.size()) break;
            const double len = d.doglegLengths[r];
            if (!(len > 0) || !std::isfinite(len)) continue;
            const Vec3 p = d.landingPoints[r];
            stroke({p, p + d.doglegDirections[r] * len}, false, l, ctx.xf);
        }
        if (!d.text.empty()) {
            const TextFormat f = baseFormat(d.textStyle.empty() ? "Standard" : d.textStyle, d.textHeight, 1, 0);
            // The text hangs from its location on the side its leaders come from.
            int attachment = 1;
            Vec3 landing = d.textLocation;
            if (!d.landingPoints.empty()) landing = d.landingPoints[0];
            else if (!d.leaderLines.empty() && !d.leaderLines[0].empty()) landing = d.leaderLines[0].back();
            if (dot(landing - d.textLocation, d.textDirection) > 0) attachment = 3;
            mtextAt(d.text, f, 0, attachment, 1, d.textLocation, d.textDirection, e.common.extrusion, l.color, ctx.xf);
        }
        if (!d.blockName.empty()) {
            const Block* b = drawing_.findBlock(d.blockName);
            if (b)
                blockAt(*b, e,
                        Xform::translate(d.blockPosition) * Xform::rotateZ(d.blockRotation) * Xform::scale(d.blockScale) *
                            Xform::translate(b->base * -1.0),
                        l, ctx);
        }
    }

    // The measured value as the dimension shows it: "<>" in the override
    // stands for it, a lone space hides the text.
    std::string dimensionText(const DimensionData& d, int kind) const {
        if (d.text == " ") return {};
        std::string value;
        if (std::isfinite(d.measurement)) {
            const bool angular = kind == 2 || kind == 5;
            const double v = angular ? d.measurement * 180 / kPi : d.measurement;
            QString number = QString::number(v, 'f', drawing_.header.measurement == 1 || angular ? 2 : 4);
            if (number.contains(QLatin1Char('.'))) {
                while (number.endsWith(QLatin1Char('0'))) number.chop(1);
                if (number.endsWith(QLatin1Char('.'))) number.chop(1);
            }
            if (number == QLatin1String("-0")) number = QStringLiteral("0");
            value = number.toStdString();
            if (angular) value += "%%d";
            else if (kind == 3) value = "%%c" + value;
            else if (kind == 4) value = "R" + value;
        }
        if (d.text.empty()) return value;
        std::string shown = d.text;
        const std::size_t at = shown.find("<>");
        if (at != std::string::npos) shown.replace(at, 2, value);
        return shown;
    }

    // A dimension whose block is missing: its dimension line, extension lines
    // and arrowheads where the kind makes them plain, and its text.
    void dimensionWithoutBlock(const Entity& e, const DimensionData& d, const Look& l, const Xform& xf) {
        // Arc-length and jogged radius dimensions keep other points here: only their text.
        const int kind = e.type == "DIMENSION" ? d.dimType & 7 : -1;
        // The style's text and arrow sizes are not known here: take the
        // defaults of a new drawing in its units, scaled by DIMSCALE.
        const double dimScale = drawing_.header.dimScale > 0 && std::isfinite(drawing_.header.dimScale)
                                    ? drawing_.header.dimScale : 1.0;
        const double size = (drawing_.header.measurement == 1 ? 2.5 : 0.18) * dimScale;
        Vec3 along{1, 0, 0};
        bool hasDirection = false;
        auto arrows = [&](Vec3 a, Vec3 b) {
            const double len = std::hypot(b.x - a.x, b.y - a.y);
            if (!(len > 2 * size)) return;
            arrowhead(a, b, size, l, xf);
            arrowhead(b, a, size, l, xf);
        };
        if (kind == 0 || kind == 1) {
            const Vec3 p1 = d.points[0], p2 = d.points[1];
            if (kind == 0) {
                along = {std::cos(d.rotation), std::sin(d.rotation), 0};
            } else {
                const Vec3 v{p2.x - p1.x, p2.y - p1.y, 0};
                const double len = length(v);
                if (len > 1e-12) along = v * (1.0 / len);
            }
            hasDirection = true;
            // The dimension line runs through the definition point, between the
            // feet of the extension lines.
            auto foot = [&](Vec3 p) {
                const double t = (p.x - d.definitionPoint.x) * along.x + (p.y - d.definitionPoint.y) * along.y;
                return Vec3{d.definitionPoint.x + along.x * t, d.definitionPoint.y + along.y * t, d.definitionPoint.z};
            };
            const Vec3 a = foot(p1), b = foot(p2);
            stroke({a, b}, false, l, xf, false);
            if (length(a - p1) > 1e-12) stroke({p1, a}, false, l, xf, false);
            if (length(b - p2) > 1e-12) stroke({p2, b}, false, l, xf, false);
            arrows(a, b);
        } else if (kind == 3 || kind == 4) {
            // Diameter: across from the definition point; radius: from the centre.
            stroke({d.definitionPoint, d.points[2]}, false, l, xf, false);
            if (kind == 3) arrows(d.definitionPoint, d.points[2]);
            else if (std::hypot(d.points[2].x - d.definitionPoint.x, d.points[2].y - d.definitionPoint.y) > size)
                arrowhead(d.points[2], d.definitionPoint, size, l, xf);
        } else if (kind == 6) {
            stroke({d.points[0], d.points[1]}, false, l, xf, false);
        }
        const std::string shown = dimensionText(d, kind);
        if (shown.empty()) return;
        const Xform ocs = ocsToWcs(e.common.extrusion);
        Vec3 xAxis = ocs.applyDir({1, 0, 0});
        if (d.textRotation != 0 && std::isfinite(d.textRotation)) {
            xAxis = ocs.applyDir({std::cos(d.textRotation), std::sin(d.textRotation), 0});
        } else if (hasDirection) {
            // Along the dimension line, reading from left to right or upwards.
            if (along.x < -1e-9 || (std::fabs(along.x) <= 1e-9 && along.y < 0)) along = along * -1.0;
            xAxis = along;
        }
        const TextFormat f = baseFormat("Standard", size, 1, 0);  // d.style names a dimension style
        mtextAt(shown, f, 0, 5, 1, ocs.apply(d.textMidpoint), xAxis, e.common.extrusion, l.color, xf);
    }

    void mline(const MLineData& d, const Look& l, const Xform& xf) {
        if (d.vertices.size() < 2) return;
        std::size_t elements = 0;
        for (const auto& v : d.vertices) elements = std::max(elements, v.parameters.size());
        if (elements == 0) elements = d.elementOffsets.size();
        for (std::size_t k = 0; k < elements; ++k) {
            std::vector<Vec3> pts;
            for (const auto& v : d.vertices) {
                double offset = 0;
                if (k < v.parameters.size() && !v.parameters[k].empty()) offset = v.parameters[k][0];
                else if (k < d.elementOffsets.size()) offset = d.elementOffsets[k] * d.scale;
                pts.push_back(v.position + v.miter * offset);
            }
            Look el = l;
            if (k < d.elementColors.size()) {
                const Color& c = d.elementColors[k];
                if (c.kind == Color::Kind::Index || c.kind == Color::Kind::True) el.color = colorOf(c);
            }
            stroke(pts, d.flags & 2, el, xf);
        }
    }

    void image(const Entity& e, const ImageData& d, const Look& l, const Xform& xf) {
        // Clip points are in pixels of the picture, the first row at the top.
        auto world = [&](Vec2 p) {
            return d.insertion + d.uVector * (p.x + 0.5) + d.vVector * (d.size.y - (p.y + 0.5));
        };
        // An image whose clipping is off shows whole, whatever boundary it
        // keeps; a wipeout is always its boundary.
        const bool clipped = d.clipping || e.type == "WIPEOUT";
        std::vector<Vec3> outline;
        if (!clipped) {
            outline = {world({-0.5, -0.5}), world({d.size.x - 0.5, -0.5}), world({d.size.x - 0.5, d.size.y - 0.5}),
                       world({-0.5, d.size.y - 0.5})};
        } else if (d.clip.size() >= 3) {
            for (const Vec2& p : d.clip) outline.push_back(world(p));
        } else {
            Vec2 a{-0.5, -0.5}, b{d.size.x - 0.5, d.size.y - 0.5};
            if (d.clip.size() == 2) { a = d.clip[0]; b = d.clip[1]; }
            outline = {world({a.x, a.y}), world({b.x, a.y}), world({b.x, b.y}), world({a.x, b.y})};
        }
        // A wipeout masks what lies below and shows its frame, as it does by default.
        if (e.type == "WIPEOUT") fill({outline}, l.color, xf, true);
        stroke(outline, true, l, xf, false);
    }

    // The geometric characteristic symbols of the GDT font, drawn in the unit
    // square. Returns false for a character that has no symbol here.
    bool gdtSymbol(char c, const Look& l, const Xform& square) {
        auto line = [&](double x0, double y0, double x1, double y1) { stroke({{x0, y0, 0}, {x1, y1, 0}}, false, l, square, false); };
        auto circle = [&](double cx, double cy, double r) {
            std::vector<Vec3> pts;
            appendArc(pts, {cx, cy, 0}, r, 0, 2 * kPi);
            stroke(pts, true, l, square, false);
        };
        auto arrow = [&](double x0, double y0, double x1, double y1) {
            line(x0, y0, x1, y1);
            arrowhead({x1, y1, 0}, {x0, y0, 0}, 0.35, l, square);
        };
        switch (c) {
        case 'a': line(0, 0, 1, 0); line(0, 0, 0.85, 0.85); break;                            // angularity
        case 'b': line(0, 0, 1, 0); line(0.5, 0, 0.5, 1); break;                              // perpendicularity
        case 'c': stroke({{0, 0.2, 0}, {0.75, 0.2, 0}, {1, 0.8, 0}, {0.25, 0.8, 0}}, true, l, square, false); break;  // flatness
        case 'd': {                                                                            // profile of a surface
            std::vector<Vec3> pts;
            appendArc(pts, {0.5, 0.25, 0}, 0.5, 0, kPi);
            stroke(pts, true, l, square, false);
            break;
        }
        case 'e': circle(0.5, 0.5, 0.5); break;                                               // circularity
        case 'f': line(0.1, 0, 0.5, 1); line(0.5, 0, 0.9, 1); break;                          // parallelism
        case 'g': circle(0.5, 0.5, 0.35); line(0, 0, 0.4, 1); line(0.6, 0, 1, 1); break;      // cylindricity
        case 'h': arrow(0.15, 0, 0.85, 1); break;                                             // circular runout
        case 'i': line(0, 0.5, 1, 0.5); line(0.2, 0.2, 0.8, 0.2); line(0.2, 0.8, 0.8, 0.8); break;  // symmetry
        case 'j': circle(0.5, 0.5, 0.35); line(0, 0.5, 1, 0.5); line(0.5, 0, 0.5, 1); break;  // position
        case 'k': {                                                                            // profile of a line
            std::vector<Vec3> pts;
            appendArc(pts, {0.5, 0.25, 0}, 0.5, 0, kPi);
            stroke(pts, false, l, square, false);
            break;
        }
        case 'n': circle(0.5, 0.5, 0.4); line(0.05, 0.05, 0.95, 0.95); break;                 // diameter
        case 'r': circle(0.5, 0.5, 0.5); circle(0.5, 0.5, 0.25); break;                       // concentricity
        case 't': arrow(0, 0, 0.45, 1); arrow(0.55, 0, 1, 1); line(0, 0, 0.55, 0); break;     // total runout
        case 'u': line(0, 0.5, 1, 0.5); break;                                                // straightness
        default: return false;
        }
        return true;
    }

    void tolerance(const ToleranceData& d, const Look& l, const Xform& xf) {
        // A compartment that holds nothing but one character of the GDT font.
        static const QRegularExpression gdtCell(QStringLiteral("^\\{?\\\\F\\s*gdt[^;]*;\\s*(\\S)\\s*\\}?$"),
                                                QRegularExpression::CaseInsensitiveOption);
        const TextFormat f = baseFormat(d.style, d.height, 1, 0);
        const double h = f.height, pad = h * 0.5, rowHeight = h * 2;
        Vec3 xa = d.xDirection;
        const double xl = std::hypot(xa.x, xa.y);
        xa = xl > 1e-12 ? Vec3{xa.x / xl, xa.y / xl, 0} : Vec3{1, 0, 0};
        const Xform plane = xf * Xform::translate(d.insertion) * Xform::axes(xa, {-xa.y, xa.x, 0}, {0, 0, 1});
        QString all = QString::fromStdString(d.text);
        all.replace(QLatin1String("^J"), QLatin1String("\n"));
        const QStringList rows = all.split(QLatin1Char('\n'));
        for (int r = 0; r < rows.size(); ++r) {
            const double top = -r * rowHeight + rowHeight / 2, bottom = top - rowHeight;
            double x = 0;
            for (const QString& cell : rows[r].split(QLatin1String("%%v"), Qt::KeepEmptyParts, Qt::CaseInsensitive)) {
                // Empty compartments are not drawn.
                if (cell.trimmed().isEmpty()) continue;
                const QRegularExpressionMatch symbol = gdtCell.match(cell);
                if (symbol.hasMatch()) {
                    const double right = x + h + 2 * pad;
                    stroke({{x, top, 0}, {right, top, 0}, {right, bottom, 0}, {x, bottom, 0}}, true, l, plane, false);
                    const Xform square = plane * Xform::translate({x + pad, bottom + (rowHeight - h) / 2, 0}) *
                                         Xform::scale({h, h, 1});
                    if (gdtSymbol(symbol.captured(1).at(0).toLower().toLatin1(), l, square)) {
                        x = right;
                        continue;
                    }
                    // A character without a drawing of its own shows as text.
                }
                TextPaths glyphs;
                double w = 0;
                const MTextParagraphs parsed = parseMText(cell.toStdString(), f);
                for (const auto& paragraph : parsed.paragraphs)
                    for (const TextRun& run : paragraph) {
                        addRun(glyphs, run, x + pad + w, bottom + (rowHeight - h) / 2);
                        w += runAdvance(run);
                    }
                const double right = x + w + 2 * pad;
                stroke({{x, top, 0}, {right, top, 0}, {right, bottom, 0}, {x, bottom, 0}}, true, l, plane, false);
                text(glyphs, plane, 0, l.color);
                x = right;
            }
        }
    }

    // ---- hatches -----------------------------------------------------------

    static void edgePoints(const HatchEdge& edge, std::vector<Vec3>& out) {
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

    static std::vector<std::vector<Vec3>> hatchOutlines(const HatchData& d) {
        std::vector<std::vector<Vec3>> outlines;
        for (const HatchLoop& loop : d.loops) {
            std::vector<Vec3> pts;
            if (loop.isPolyline) {
                const auto& v = loop.polyline;
                if (v.empty()) continue;
                pts.push_back({v[0].point.x, v[0].point.y, 0});
                const std::size_t n = v.size();
                for (std::size_t i = 0; i + 1 < n || (loop.closed && i < n); ++i)
                    appendBulge(pts, {v[i].point.x, v[i].point.y, 0}, {v[(i + 1) % n].point.x, v[(i + 1) % n].point.y, 0},
                                v[i].bulge);
            } else {
                for (const HatchEdge& edge : loop.edges) edgePoints(edge, pts);
            }
            for (Vec3& p : pts) p.z = d.elevation;
            if (pts.size() >= 3) outlines.push_back(std::move(pts));
        }
        return outlines;
    }

    void hatch(const HatchData& d, const Look& l, const Xform& ocs) {
        const auto outlines = hatchOutlines(d);
        if (outlines.empty()) return;
        if (d.solid || d.gradient || d.lines.empty()) {
            fill(outlines, l.color, ocs);
            return;
        }
        // Pattern lines: each family of parallel lines is cut by the boundary
        // (even-odd), then dashed from the family's own origin.
        Box box;
        for (const auto& o : outlines)
            for (const Vec3& p : o) box.add(p.xy());
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
                    if (pl.dashes.empty() || !(patternLength > 0)) {
                        stroke({{ox + ux * ts[i], oy + uy * ts[i], d.elevation}, {ox + ux * ts[i + 1], oy + uy * ts[i + 1], d.elevation}},
                               false, l, ocs, false);
                        continue;
                    }
                    dashInterval(pl.dashes, patternLength, ts[i], ts[i + 1], ox, oy, ux, uy, d.elevation, l, ocs);
                }
            }
        }
    }

    void dashInterval(const std::vector<double>& dashes, double patternLength, double t0, double t1, double ox,
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
};

}  // namespace

Scene buildScene(const Drawing& drawing, const RenderOptions& options) { return Builder(drawing, options).run(); }

}  // namespace cad::render
