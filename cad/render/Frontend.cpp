#include "cad/render/Frontend.h"

#include "cad/render/Layouts.h"
#include "cad/render/Plot.h"
#include "cad/render/SceneBuilder.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_set>

namespace cad::render {

namespace frontend {

namespace {

// A reference smaller than this many pixels is left out.
constexpr double kCulledPixels = 1;

// Whether xf places every point of a plane's plan at the same spot whatever its height.
bool flatOnPlan(const Xform& x) { return x.m[0][2] == 0 && x.m[1][2] == 0; }

Box mapped(const Box& b, const Xform& x) {
    Box out;
    if (b.empty()) return out;
    for (Vec2 c : {Vec2{b.minX, b.minY}, Vec2{b.maxX, b.minY}, Vec2{b.minX, b.maxY}, Vec2{b.maxX, b.maxY}})
        out.add(x.apply2(c));
    return out;
}

// The plan part of x undone; false when x flattens the plan.
bool undonePlan(const Xform& x, Xform* undone) {
    const double a = x.m[0][0], b = x.m[0][1], c = x.m[1][0], d = x.m[1][1];
    const double det = a * d - b * c, size = std::fabs(a) + std::fabs(b) + std::fabs(c) + std::fabs(d);
    if (!(std::fabs(det) > 1e-12 * size * size) || !std::isfinite(det)) return false;
    Xform r;
    r.m[0][0] = d / det, r.m[0][1] = -b / det, r.m[1][0] = -c / det, r.m[1][1] = a / det;
    r.t = {-(r.m[0][0] * x.t.x + r.m[0][1] * x.t.y), -(r.m[1][0] * x.t.x + r.m[1][1] * x.t.y), 0};
    *undone = r;
    return std::isfinite(r.m[0][0]) && std::isfinite(r.m[0][1]) && std::isfinite(r.m[1][0]) &&
           std::isfinite(r.m[1][1]) && std::isfinite(r.t.x) && std::isfinite(r.t.y);
}

Box intersection(const Box& a, const Box& b) {
    Box r{std::max(a.minX, b.minX), std::max(a.minY, b.minY), std::min(a.maxX, b.maxX), std::min(a.maxY, b.maxY)};
    return r.empty() ? Box{} : r;
}

}  // namespace

Builder::Builder(const Drawing& d, const RenderOptions& o, const Box& view)
    : drawing_(d), options_(o), memory_(o.budgets.bytes), folder_(std::make_shared<const std::filesystem::path>(o.drawingFolder)),
      scene_(Scene::reusingStorage()) {
    ltScale_ = d.header.ltScale > 0 && std::isfinite(d.header.ltScale) ? d.header.ltScale : 1.0;
    view_ = view;
    if (options_.window.isValid()) {
        const Window& w = options_.window;
        const Box window{w.x, w.y, w.x + w.width, w.y + w.height};
        // A window beside the viewport's area shows none of it: a point far outside both stands for that.
        view_ = view.empty() ? window : intersection(view, window);
        if (view_.empty()) view_ = Box{-1e300, -1e300, -1e300, -1e300};
    }
}

bool Builder::outsideView(const Box& box) const {
    if (view_.empty() || box.empty()) return false;
    return box.maxX < view_.minX || box.minX > view_.maxX || box.maxY < view_.minY || box.minY > view_.maxY;
}

bool Builder::belowPixel(const Box& box) {
    if (options_.longSide <= 0 || box.empty()) return false;
    double pixel = 0;
    if (options_.window.isValid()) {
        pixel = std::max(options_.window.width, options_.window.height) / options_.longSide;
    } else {
        // The picture shows at least what is drawn so far; what lies within
        // that changes no extents when it is left out.
        const Box drawn = scene_.extents();
        if (box.minX < drawn.minX || box.maxX > drawn.maxX || box.minY < drawn.minY || box.maxY > drawn.maxY)
            return false;
        const Box seen = view_.empty() ? drawn : intersection(drawn, view_);
        if (seen.empty()) return false;
        pixel = std::max(seen.width(), seen.height()) / options_.longSide;
    }
    return std::max(box.width(), box.height()) < pixel * kCulledPixels;
}

Box Builder::viewInPlane(const Xform& ocs, double z) const {
    if (view_.empty()) return {};
    Xform flat = ocs;
    flat.t.x += ocs.m[0][2] * z;
    flat.t.y += ocs.m[1][2] * z;
    flat.m[0][2] = flat.m[1][2] = 0;
    Xform undone;
    if (!undonePlan(flat, &undone)) return {};
    Box seen = mapped(view_, undone);
    // A little more, so that no pen reaching into the view from outside is missed.
    const double margin = std::max(seen.width(), seen.height()) / 64;
    if (!seen.empty() && std::isfinite(margin))
        seen = Box{seen.minX - margin, seen.minY - margin, seen.maxX + margin, seen.maxY + margin};
    return seen;
}

void Builder::place(const Block& block, Context& child, const Xform& xf) {
    const auto key = std::make_pair(&block, child.insertLayer);
    if (const auto known = blockBoxes_.find(key); known != blockBoxes_.end()) {
        if (known->second.bounded && flatOnPlan(xf)) {
            const Box box = mapped(known->second.box, xf);
            if (box.empty() || outsideView(box) || belowPixel(box)) {
                // Passing a reference over is work too: an array of them ends at the instance budget.
                if (!instanceRoom()) return;
                ++scene_.work.culled;
                for (Box& b : learning_) b.add(box);
                return;
            }
        }
        drawBlock(block, child, xf);
        return;
    }
    // The first expansion tells what the block draws, unless something cut it short.
    const std::size_t cut = cutShort_;
    const bool whole = scene_.simplified.empty();
    learning_.emplace_back();
    scene_.beginTally();
    drawBlock(block, child, xf);
    const Scene::Tally drawn = scene_.endTally();
    Box box = learning_.back();
    learning_.pop_back();
    box.add(drawn.box);
    Xform undone;
    if (whole && scene_.simplified.empty() && cutShort_ == cut && flatOnPlan(xf) && undonePlan(xf, &undone))
        blockBoxes_[key] = {mapped(box, undone), drawn.bounded};
}

void Builder::simplify(const std::string& budget, const std::string& why) {
    if (scene_.simplified.empty()) scene_.simplified = why;
    // Once reached, a budget stops each entity after; it is said once. Each
    // hatch filled rather than patterned is counted.
    if (budget == "hatch pattern" || !scene_.losses.contains(Loss::Kind::Budget, budget))
        scene_.losses.add(Loss::Kind::Budget, budget, "drawn in part: " + why);
}

double Builder::flatness(double extent, const Xform& xf) const {
    if (options_.longSide <= 0 || !(extent > 0) || !std::isfinite(extent)) return 0;
    // Only where the plan view keeps shapes (rotation, mirror, uniform
    // scale) does one length stand for every direction.
    const double ax = xf.m[0][0], ay = xf.m[1][0], bx = xf.m[0][1], by = xf.m[1][1];
    const double sa = std::hypot(ax, ay), sb = std::hypot(bx, by);
    if (!(sa > 0) || std::fabs(sa - sb) > 1e-9 * sa || std::fabs(ax * bx + ay * by) > 1e-9 * sa * sb) return 0;
    // The picture shows at least the whole of what is drawn, so a pixel is
    // no smaller than this extent over the long side, unless a window is
    // shown; then a pixel is the window's long side over the picture's.
    double pixel = extent / std::sqrt(2.0) / options_.longSide;
    if (options_.window.isValid())
        pixel = std::max(options_.window.width, options_.window.height) / options_.longSide / sa;
    return std::isfinite(pixel) ? pixel / 8 : 0;
}

bool Builder::beyondBudget(std::size_t vertices) {
    const WorkBudgets& b = options_.budgets;
    if (scene_.order.size() >= b.primitives) {
        simplify("primitives", "more than " + std::to_string(b.primitives) + " primitives to draw");
        return false;
    }
    if (vertices > b.vertices - std::min(b.vertices, scene_.work.vertices)) {
        simplify("vertices", "more than " + std::to_string(b.vertices) + " vertices to draw");
        return false;
    }
    return beyondMemory();
}

bool Builder::beyondMemory() {
    const std::size_t limit = memory_.budget().limit();
    simplify("memory", "memory budget reached: more than " + std::to_string(limit >> 20) + " MB to hold");
    return false;
}

bool Builder::instanceRoom() {
    const WorkBudgets& b = options_.budgets;
    if (scene_.work.instances >= b.instances) {
        simplify("block references", "more than " + std::to_string(b.instances) + " block references to draw");
        return false;
    }
    ++scene_.work.instances;
    return true;
}

std::string Builder::withinGlyphs(const std::string& text) {
    const WorkBudgets& b = options_.budgets;
    const std::size_t left = b.glyphs - std::min(b.glyphs, scene_.work.glyphs);
    if (text.size() <= left) {
        scene_.work.glyphs += text.size();
        return text;
    }
    simplify("characters", "more than " + std::to_string(b.glyphs) + " characters of text to draw");
    // Cut between characters: never inside a UTF-8 sequence.
    std::size_t cut = left;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    scene_.work.glyphs = b.glyphs;
    return text.substr(0, cut);
}

bool Builder::blank(const Block& block) {
    if (const auto known = blank_.find(&block); known != blank_.end()) return known->second;
    // Every block reachable through references, cycles included: the block
    // is blank when none of them holds anything but references.
    std::unordered_set<const Block*> reached{&block};
    std::vector<const Block*> pending{&block};
    while (!pending.empty()) {
        const Block* b = pending.back();
        pending.pop_back();
        if (const auto known = blank_.find(b); known != blank_.end() && b != &block) {
            if (known->second) continue;
            blank_[&block] = false;
            return false;
        }
        for (const Entity& e : b->entities) {
            const auto* ref = e.as<InsertData>();
            if (!ref || !ref->attributes.empty()) {
                blank_[&block] = false;
                return false;
            }
            const Block* inner = drawing_.findBlock(ref->blockName);
            if (inner && reached.insert(inner).second) pending.push_back(inner);
        }
    }
    for (const Block* b : reached) blank_[b] = true;
    return true;
}

Scene Builder::run(const Block& space, const Xform& placement, const std::vector<std::string>& hiddenLayers) {
    for (const std::string& name : hiddenLayers) hiddenLayers_.insert(upperName(name));
    const bool model = &space == drawing_.modelSpace();
    Context ctx;
    ctx.xf = placement;
    active_.push_back(&space);
    for (const Entity& e : space.entities) {
        if (model && e.common.paperSpace) continue;
        entity(e, ctx);
    }
    // Work below the scene (fonts, text layout) that the budget stopped is said too.
    if (memory_.budget().reached()) beyondMemory();
    return std::move(scene_);
}

}  // namespace frontend

Scene buildSpaceScene(const Drawing& drawing, const RenderOptions& options, const Block& space,
                      const Xform& placement, const std::vector<std::string>& hiddenLayers, const Box& view) {
    return frontend::Builder(drawing, options, view).run(space, placement, hiddenLayers);
}

std::vector<std::string> pictureProblems(const Drawing& drawing, const RenderOptions& options) {
    bool files = false;
    for (const Block& b : drawing.blocks)
        for (const Entity& e : b.entities)
            if (const auto* im = e.as<ImageData>(); im && !im->filePath.empty()) files = true;
    if (!files && options.layout.empty()) return drawing.referenceProblems;
    std::vector<std::string> out = drawing.referenceProblems;
    for (const std::string& p : buildScene(drawing, options).problems)
        if (std::find(out.begin(), out.end(), p) == out.end()) out.push_back(p);
    return out;
}

Box viewOf(const Scene& scene, const RenderOptions& options) {
    Box view = scene.extents();
    // Nothing but rays and construction lines: look at where they start.
    if (view.empty())
        for (const InfiniteLine& line : scene.infinite) view.add(line.base);
    if (options.plot) return options.plot->window(view);
    if (!scene.frame.empty()) view = scene.frame;
    if (options.window.isValid()) {
        const Window& w = options.window;
        view = Box{w.x, w.y, w.x + w.width, w.y + w.height};
    }
    return view;
}

RenderOptions paintOptions(const Drawing& drawing, const RenderOptions& options) {
    RenderOptions paint = options;
    paint.lineweights = options.lineweights && drawing.header.lwDisplay;
    // A plot draws lineweights whatever the screen shows, and its page is the sheet.
    if (options.plot) {
        paint.lineweights = options.lineweights;
        paint.margin = 0;
        paint.longSide = options.plot->longSidePixels();
        return paint;
    }
    // A saved view fills the picture edge to edge, as it filled the screen.
    if (options.view == ViewChoice::Saved && !options.window.isValid() && savedFrame(drawing, options))
        paint.margin = 0;
    return paint;
}

}  // namespace cad::render
