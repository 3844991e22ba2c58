#include "cad/render/Frontend.h"

#include "cad/render/SceneBuilder.h"

#include <algorithm>
#include <string>
#include <unordered_set>

namespace cad::render {

namespace frontend {

Builder::Builder(const Drawing& d, const RenderOptions& o) : drawing_(d), options_(o) {
    ltScale_ = d.header.ltScale > 0 && std::isfinite(d.header.ltScale) ? d.header.ltScale : 1.0;
}

void Builder::simplify(const std::string& why) {
    if (scene_.simplified.empty()) scene_.simplified = why;
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

Scene Builder::run() {
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

}  // namespace frontend

Scene buildScene(const Drawing& drawing, const RenderOptions& options) { return frontend::Builder(drawing, options).run(); }

}  // namespace cad::render
