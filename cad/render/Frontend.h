#pragma once
// The frontend: walks a drawing's model space (or paper space) and turns its
// entities into paint primitives in world XY coordinates, resolving layers,
// ByLayer/ByBlock colours, linetypes and lineweights through nested inserts.
#include "cad/model/Drawing.h"
#include "cad/render/Layouts.h"
#include "cad/render/SceneOptions.h"
#include "cad/render/Scene.h"
#include "cad/model/Transform.h"

namespace cad::render {

// One block's entities (model space, a layout's paper space) placed by
// placement, with the named layers hidden as if frozen (a viewport's own).
// What lies wholly outside view (scene coordinates; empty: no limit) is not
// shown, and may be left out before it is worked out.
Scene buildSpaceScene(const Drawing& drawing, const RenderOptions& options, const Block& space,
                      const Xform& placement, const std::vector<std::string>& hiddenLayers, const Box& view = {});

// The part of the drawing a picture of the scene shows: what is drawn, or the window asked for.
Box viewOf(const Scene& scene, const RenderOptions& options);
// The options a picture of the drawing is painted with: lineweights show
// only when the drawing has their display switched on; otherwise every line
// is drawn with the thinnest pen.
RenderOptions paintOptions(const Drawing& drawing, const RenderOptions& options);

}  // namespace cad::render
