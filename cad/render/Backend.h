#pragma once
// A scene painted through Qt's painter, for the documents Qt writes (PDF and
// SVG): the scene walker's calls mapped onto a QPainter, nothing decided here.
#include <QPainter>

#include "cad/render/Scene.h"
#include "cad/render/SceneOptions.h"

namespace cad::render {

// Paints over whatever the device holds already, the device being
// view.width x view.height pixels.
void paintSceneOn(QPainter& painter, const Scene& scene, const PixelView& view, const RenderOptions& options);

}  // namespace cad::render
