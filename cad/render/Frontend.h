#pragma once
// The frontend: walks a drawing's model space (or paper space) and turns its
// entities into paint primitives in world XY coordinates, resolving layers,
// ByLayer/ByBlock colours, linetypes and lineweights through nested inserts.
#include "cad/model/Drawing.h"
#include "cad/render/Render.h"
#include "cad/render/Scene.h"

namespace cad::render {

Scene buildScene(const Drawing& drawing, const RenderOptions& options);

}  // namespace cad::render
