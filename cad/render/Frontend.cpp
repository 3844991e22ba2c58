#include "cad/render/Frontend.h"

#include "cad/render/SceneBuilder.h"

namespace cad::render {

namespace frontend {

Builder::Builder(const Drawing& d, const RenderOptions& o)
    : drawing_(d), options_(o), folder_(std::make_shared<const std::filesystem::path>(o.drawingFolder)) {
    ltScale_ = d.header.ltScale > 0 && std::isfinite(d.header.ltScale) ? d.header.ltScale : 1.0;
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
