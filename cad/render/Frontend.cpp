#include "cad/render/Frontend.h"

#include "cad/render/SceneBuilder.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_set>

namespace cad::render {

namespace frontend {

Builder::Builder(const Drawing& d, const RenderOptions& o)
    : drawing_(d), options_(o), folder_(std::make_shared<const std::filesystem::path>(o.drawingFolder)) {
    ltScale_ = d.header.ltScale > 0 && std::isfinite(d.header.ltScale) ? d.header.ltScale : 1.0;
}

void Builder::simplify(const std::string& why) {
    if (scene_.simplified.empty()) scene_.simplified = why;
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
        pixel = std::max(options_.window.width(), options_.window.height()) / options_.longSide / sa;
    return std::isfinite(pixel) ? pixel / 8 : 0;
}

bool Builder::room(std::size_t vertices) {
    const WorkBudgets& b = options_.budgets;
    if (scene_.order.size() >= b.primitives) {
        simplify("more than " + std::to_string(b.primitives) + " primitives to draw");
        return false;
    }
    if (vertices > b.vertices - std::min(b.vertices, scene_.work.vertices)) {
        simplify("more than " + std::to_string(b.vertices) + " vertices to draw");
        return false;
    }
    scene_.work.vertices += vertices;
    return true;
}

bool Builder::instanceRoom() {
    const WorkBudgets& b = options_.budgets;
    if (scene_.work.instances >= b.instances) {
        simplify("more than " + std::to_string(b.instances) + " block references to draw");
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
    simplify("more than " + std::to_string(b.glyphs) + " characters of text to draw");
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
    return std::move(scene_);
}

}  // namespace frontend

Scene buildSpaceScene(const Drawing& drawing, const RenderOptions& options, const Block& space,
                      const Xform& placement, const std::vector<std::string>& hiddenLayers) {
    return frontend::Builder(drawing, options).run(space, placement, hiddenLayers);
}

}  // namespace cad::render
