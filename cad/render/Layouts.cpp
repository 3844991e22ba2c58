#include "cad/render/Layouts.h"

#include "cad/model/MemoryBudget.h"

#include <algorithm>
#include <cmath>

#include "cad/render/Frontend.h"

namespace cad::render {

namespace {

constexpr double kPi = 3.14159265358979323846;

bool isModelName(const std::string& name) { return upperName(name) == "MODEL"; }

const Entity* findEntity(const Block& block, Handle handle) {
    if (handle == 0) return nullptr;
    for (const Entity& e : block.entities)
        if (e.common.handle == handle) return &e;
    return nullptr;
}

// The outline of the entity that clips a viewport, in paper coordinates.
std::vector<Vec2> boundaryOutline(const Entity& e) {
    std::vector<Vec3> pts;
    const Xform ocs = ocsToWcs(e.common.extrusion);
    Xform xf;
    if (const auto* d = e.as<LwPolylineData>()) {
        const auto& v = d->vertices;
        for (std::size_t i = 0; i < v.size(); ++i) {
            const Vec3 a{v[i].point.x, v[i].point.y, d->elevation};
            if (pts.empty()) pts.push_back(a);
            const std::size_t j = (i + 1) % v.size();
            if (j == 0 && !d->closed) break;
            appendBulge(pts, a, {v[j].point.x, v[j].point.y, d->elevation}, v[i].bulge);
        }
        xf = ocs;
    } else if (const auto* d = e.as<PolylineData>()) {
        const auto& v = d->vertices;
        for (std::size_t i = 0; i < v.size(); ++i) {
            if (pts.empty()) pts.push_back(v[i].point);
            const std::size_t j = (i + 1) % v.size();
            if (j == 0 && !d->closed()) break;
            appendBulge(pts, v[i].point, v[j].point, v[i].bulge);
        }
        if (d->kind == PolylineData::Kind::Polyline2D) xf = ocs;
    } else if (const auto* d = e.as<CircleData>()) {
        appendArc(pts, d->center, d->radius, 0, 2 * kPi);
        xf = ocs;
    } else if (const auto* d = e.as<EllipseData>()) {
        const Vec3 n = e.common.extrusion;
        const double nl = length(n);
        const Vec3 un = nl > 1e-12 ? n * (1.0 / nl) : Vec3{0, 0, 1};
        appendEllipse(pts, d->center, d->majorAxis, cross(un, d->majorAxis) * d->ratio, d->startParam, d->endParam);
    } else if (const auto* d = e.as<SplineData>()) {
        pts = d->controlPoints.empty() ? curveThrough(d->fitPoints, true)
                                       : nurbsPoints(d->degree, d->knots, d->controlPoints, d->weights);
    }
    std::vector<Vec2> out;
    out.reserve(pts.size());
    for (const Vec3& p : pts) {
        const Vec2 q = xf.apply2(p);
        if (std::isfinite(q.x) && std::isfinite(q.y)) out.push_back(q);
    }
    return out;
}

Path pathOf(const std::vector<Vec2>& outline) {
    std::vector<QPointF> poly;
    for (const Vec2& p : outline) poly.emplace_back(p.x, p.y);
    Path path;
    path.addPolygon(poly);
    path.closeSubpath();
    return path;
}

// The first viewport of a layout is the sheet itself: it shows paper space,
// not model space. Writers number it 1 where they number viewports at all.
bool isSheetViewport(const ViewportData& v, bool first) {
    if (v.id == 1) return true;
    if (v.id > 1) return false;
    return first;
}

class LayoutScene {
public:
    LayoutScene(const Drawing& d, const RenderOptions& o) : drawing_(d), options_(o) {}

    Scene build(const Block& paper) {
        Scene scene;
        const Block* model = drawing_.modelSpace();
        bool first = true;
        for (const Entity& e : paper.entities) {
            const auto* v = e.as<ViewportData>();
            if (!v) continue;
            const bool sheet = isSheetViewport(*v, first);
            first = false;
            if (sheet || !v->on() || !(v->width > 0) || !(v->height > 0)) continue;
            const Layer* layer = drawing_.findLayer(e.common.layer);
            if (layer && layer->frozen) continue;  // a frozen viewport shows nothing at all
            const std::vector<Vec2> outline = viewportOutline(*v, paper);
            if (outline.size() < 3) continue;
            Xform place;
            if (model && viewportPlacement(*v, &place)) {
                Box area;
                for (const Vec2& p : outline) area.add(p);
                Scene content = buildSpaceScene(drawing_, options_, *model, place, v->frozenLayers, area);
                scene.clips.push_back(pathOf(outline));
                scene.append(std::move(content), static_cast<int>(scene.clips.size() - 1));
            }
            // The border shows where the viewport is, as on screen; a
            // non-rectangular one is bordered by its clipping entity.
            if (!v->nonRectangular() && !(layer && !layer->on) && !e.common.invisible) frame(scene, e, outline);
        }
        // The sheet's own entities lie on top of what the viewports show.
        scene.append(buildSpaceScene(drawing_, options_, paper, Xform{}, {}), -1);
        return scene;
    }

private:
    void frame(Scene& scene, const Entity& e, const std::vector<Vec2>& outline) {
        // Drawn through the scene builder so it takes the viewport's own
        // layer, colour and lineweight.
        Block border;
        Entity line;
        line.type = "LWPOLYLINE";
        line.common = e.common;
        LwPolylineData d;
        for (const Vec2& p : outline) d.vertices.push_back({p, 0, 0, 0});
        d.closed = true;
        line.data = std::move(d);
        line.common.extrusion = {0, 0, 1};
        border.entities.push_back(std::move(line));
        scene.append(buildSpaceScene(drawing_, options_, border, Xform{}, {}), -1);
    }

    const Drawing& drawing_;
    const RenderOptions& options_;
};

}  // namespace

ChosenSpace chooseSpace(const Drawing& drawing, const std::string& layout) {
    ChosenSpace out;
    auto model = [&] {
        out.block = drawing.modelSpace();
        out.layout = drawing.findLayout("Model");
        out.paper = false;
        out.name = "Model";
        return out;
    };
    if (layout.empty()) {
        if (drawing.header.tileMode) return model();
        const Layout* active = drawing.header.activeLayout.empty() ? nullptr : drawing.findLayout(drawing.header.activeLayout);
        out.layout = active && !isModelName(active->name) ? active : nullptr;
        out.block = out.layout ? drawing.layoutBlock(*out.layout) : nullptr;
        if (!out.block) out.block = drawing.paperSpace();
        if (!out.block) return model();  // no paper space at all: the CAD application falls back too
        out.paper = true;
        out.name = out.layout ? out.layout->name : drawing.header.activeLayout;
        return out;
    }
    if (isModelName(layout)) return model();
    out.layout = drawing.findLayout(layout);
    out.block = out.layout ? drawing.layoutBlock(*out.layout) : nullptr;
    // Files without layout objects (R12 and some writers) still have their
    // paper space block, which can be asked for by its own name.
    if (!out.layout && upperName(layout).rfind("*PAPER_SPACE", 0) == 0) out.block = drawing.findBlock(layout);
    out.paper = true;
    out.name = out.layout ? out.layout->name : layout;
    return out;
}

std::vector<const Layout*> paperLayouts(const Drawing& drawing) {
    std::vector<const Layout*> out;
    for (const Layout& l : drawing.layouts)
        if (!isModelName(l.name)) out.push_back(&l);
    std::stable_sort(out.begin(), out.end(), [](const Layout* a, const Layout* b) { return a->tabOrder < b->tabOrder; });
    return out;
}

Xform viewTransform(Vec3 direction, Vec3 target, double twist) {
    double len = length(direction);
    const Vec3 z = len > 1e-12 && std::isfinite(len) ? direction * (1.0 / len) : Vec3{0, 0, 1};
    // Looking straight down (or up) the Z axis, the view's X is world X;
    // otherwise it lies level, so that world Z points up the screen.
    Vec3 x = std::hypot(z.x, z.y) < 1e-9 ? Vec3{z.z >= 0 ? 1.0 : -1.0, 0, 0} : cross(Vec3{0, 0, 1}, z);
    x = x * (1.0 / length(x));
    const Vec3 y = cross(z, x);
    Xform rows;  // world -> view: the axes as rows
    rows.m[0][0] = x.x; rows.m[0][1] = x.y; rows.m[0][2] = x.z;
    rows.m[1][0] = y.x; rows.m[1][1] = y.y; rows.m[1][2] = y.z;
    rows.m[2][0] = z.x; rows.m[2][1] = z.y; rows.m[2][2] = z.z;
    return Xform::rotateZ(std::isfinite(twist) ? twist : 0.0) * rows * Xform::translate(target * -1.0);
}

bool viewportPlacement(const ViewportData& v, Xform* modelToPaper) {
    if (!(v.viewHeight > 0) || !(v.height > 0) || !std::isfinite(v.viewHeight) || !std::isfinite(v.height)) return false;
    const double s = v.height / v.viewHeight;
    if (!std::isfinite(s) || s > 1e12 || s < 1e-12) return false;
    *modelToPaper = Xform::translate({v.center.x, v.center.y, 0}) * Xform::scale({s, s, s}) *
                    Xform::translate({-v.viewCenter.x, -v.viewCenter.y, 0}) *
                    viewTransform(v.viewDirection, v.viewTarget, v.twist);
    return true;
}

std::vector<Vec2> viewportOutline(const ViewportData& v, const Block& layout) {
    if (v.nonRectangular())
        if (const Entity* e = findEntity(layout, v.clipBoundary)) {
            std::vector<Vec2> out = boundaryOutline(*e);
            if (out.size() >= 3) return out;
        }
    const double hw = v.width / 2, hh = v.height / 2;
    const Vec2 c = v.center.xy();
    return {{c.x - hw, c.y - hh}, {c.x + hw, c.y - hh}, {c.x + hw, c.y + hh}, {c.x - hw, c.y + hh}};
}

bool layoutHasContent(const Drawing& drawing, const RenderOptions& options) {
    const ChosenSpace space = chooseSpace(drawing, options.layout);
    if (!space.block) return false;
    if (space.paper) {
        bool seenViewport = false, any = false;
        for (const Entity& e : space.block->entities) {
            const auto* v = e.as<ViewportData>();
            if (!v || !isSheetViewport(*v, !seenViewport)) any = true;
            if (v) seenViewport = true;
        }
        if (!any) return false;
    }
    return !buildScene(drawing, options).order.empty();
}

std::optional<SavedFrame> savedFrame(const Drawing& drawing, const RenderOptions& options) {
    if (options.view != ViewChoice::Saved) return std::nullopt;
    const ChosenSpace space = chooseSpace(drawing, options.layout);
    if (!space.block) return std::nullopt;
    SavedFrame out;
    if (!space.paper) {
        const SavedView& v = drawing.header.modelView;
        if (!v.present) return std::nullopt;
        out.box = Box{v.center.x - v.width / 2, v.center.y - v.height / 2, v.center.x + v.width / 2,
                      v.center.y + v.height / 2};
        out.placement = viewTransform(v.direction, v.target, v.twist);
    } else {
        // A layout's own view is its sheet: the first viewport, which shows
        // paper space itself.
        bool first = true;
        for (const Entity& e : space.block->entities) {
            const auto* v = e.as<ViewportData>();
            if (!v) continue;
            if (isSheetViewport(*v, first) && v->width > 0 && v->height > 0) {
                out.box = Box{v->center.x - v->width / 2, v->center.y - v->height / 2, v->center.x + v->width / 2,
                              v->center.y + v->height / 2};
                break;
            }
            first = false;
        }
    }
    if (out.box.empty() || !std::isfinite(out.box.width()) || !std::isfinite(out.box.height())) return std::nullopt;
    return out;
}

Scene buildScene(const Drawing& drawing, const RenderOptions& options) {
    // The viewports of a layout share the drawing's memory budget.
    const MemoryScope memory(options.budgets.bytes);
    const ChosenSpace space = chooseSpace(drawing, options.layout);
    Scene scene;
    if (!space.block) {
        if (!options.layout.empty()) scene.problems.push_back("the drawing has no layout named " + options.layout);
        return scene;
    }
    const std::optional<SavedFrame> saved = options.window.isValid() ? std::nullopt : savedFrame(drawing, options);
    if (!saved) {
        if (!space.paper) return buildSpaceScene(drawing, options, *space.block, Xform{}, {});
        return LayoutScene(drawing, options).build(*space.block);
    }
    // Built as if the saved view were a window asked for, so that what lies
    // outside it is left out and curves are as fine as its pixels need.
    RenderOptions framed = options;
    framed.window = Window::between(saved->box.minX, saved->box.minY, saved->box.maxX, saved->box.maxY);
    scene = space.paper ? LayoutScene(drawing, framed).build(*space.block)
                        : buildSpaceScene(drawing, framed, *space.block, saved->placement, {});
    scene.frame = saved->box;
    return scene;
}

}  // namespace cad::render
