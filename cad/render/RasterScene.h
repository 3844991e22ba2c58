#pragma once
// A whole scene painted with the painter of our own: the scene walker's
// calls (SceneWalk.h) mapped onto a Canvas. Every raster picture is made so.
#include "cad/render/Raster.h"
#include "cad/render/Scene.h"
#include "cad/render/SceneOptions.h"

namespace cad::render {

// Paints the scene's items over what the canvas holds (the background is the
// caller's), the canvas being view.width x view.height pixels.
void paintScene(Canvas& canvas, const Scene& scene, const PixelView& view, const RenderOptions& options);

}  // namespace cad::render
