#include "cad/render/Frontend.h"

#include "cad/render/SceneBuilder.h"

namespace cad::render {

namespace frontend {

Builder::Builder(const Drawing& d, const RenderOptions& o) : drawing_(d), options_(o) {
    ltScale_ = d.header.ltScale > 0 && std::isfinite(d.header.ltScale) ? d.header.ltScale : 1.0;
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
