#pragma once
// The backend: paints a scene on a picture, fitted to the scene's extents.
#include <QImage>
#include <QPainter>

#include "cad/render/PaintRules.h"
#include "cad/render/Render.h"
#include "cad/render/Scene.h"

namespace cad::render {

QImage paintScene(const Scene& scene, const ViewTransform& view, const RenderOptions& options);
// The same on any device of view.width x view.height pixels, over whatever
// the device holds already (paintScene fills the background first).
void paintSceneOn(QPainter& painter, const Scene& scene, const ViewTransform& view, const RenderOptions& options);

}  // namespace cad::render
