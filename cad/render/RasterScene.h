#pragma once
// A whole scene painted with the painter of our own, item by item as the
// Qt backend paints it (Backend.cpp), so that both give the same picture.
// Texts and raster pictures are not painted here (yet): a scene that has
// them goes to the Qt backend.
#include <cstdint>
#include <span>
#include <vector>

#include "cad/render/PaintRules.h"
#include "cad/render/Raster.h"
#include "cad/render/Scene.h"

namespace cad::render {

struct PaintOptions {
    std::uint32_t background = 0xFFFFFFFFu;  // 0xFFRRGGBB
    int longSide = 2048;
    bool lineweights = true;
    ColorMode colors = ColorMode::AsDrawn;
};

// The scene's clip areas (Scene::clips), each as outlines in drawing coordinates.
using ClipOutlines = std::vector<std::vector<std::vector<Vec2>>>;

// The scene's clip areas as outlines: viewports are polygons.
ClipOutlines clipOutlines(const Scene& scene);

// Whether every item of the scene is of a kind painted here.
bool paintsWithoutQt(const Scene& scene);

// Paints the scene's items over what the canvas holds (the background is the
// caller's), the canvas being view.width x view.height pixels.
void paintScene(Canvas& canvas, const Scene& scene, const ClipOutlines& clips, const PixelView& view,
                const PaintOptions& options);

}  // namespace cad::render
