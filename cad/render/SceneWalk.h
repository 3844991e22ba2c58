#pragma once
// One walk over a scene fitted to a view. Every decision of how an item
// looks in pixels is taken here, once: which thin strokes run together and
// what is a dot, the areas too thin to show, text smaller than a pixel,
// markers' sizes and shapes, where rays and construction lines end, and
// which clips are rectangles. A painter receives a few plain calls in pixels
// and decides nothing: ours over a Canvas paints every raster picture, Qt's
// paints PDF and SVG documents.
#include <cstdint>
#include <span>
#include <vector>

#include "cad/render/PaintRules.h"
#include "cad/render/Path.h"
#include "cad/render/Scene.h"
#include "cad/render/SceneOptions.h"

namespace cad::render {

// What a painter is asked to paint, in pixels (y downwards), colours opaque
// 0xFFRRGGBB.
class PaintTarget {
public:
    virtual ~PaintTarget() = default;

    // Where what follows is painted: the whole picture, a rectangle along the
    // axes, or an area (outlines, odd-even).
    struct Clip {
        enum class Kind { Picture, Rect, Area } kind = Kind::Picture;
        double left = 0, top = 0, width = 0, height = 0;   // of a rectangle
        std::span<const std::vector<Vec2>> outlines;       // of an area
    };
    virtual void clip(const Clip& clip) = 0;
    // A pen one pixel wide, open unless its last point is its first.
    virtual void thinPolyline(std::span<const Vec2> points, std::uint32_t color) = 0;
    // The one pixel nearest to p.
    virtual void dot(Vec2 p, std::uint32_t color) = 0;
    // A wider pen with round ends and corners, the polylines outlined as one.
    virtual void widePolylines(std::span<const std::span<const Vec2>> polylines, double width, std::uint32_t color,
                               LineEnds ends) = 0;
    virtual void fillPolygons(std::span<const std::vector<Vec2>> outlines, FillRule rule, std::uint32_t color) = 0;
    // A circle's area, or its outline with a pen one pixel wide.
    virtual void circle(Vec2 center, double radius, std::uint32_t color, bool filled) = 0;
    // A picture whose pixel (column, row) lands at toPixel of it, smoothly
    // sampled, shown only within the outlines (odd-even) when some are given.
    virtual void picture(const Pixels& pixels, const Affine& toPixel, std::span<const std::vector<Vec2>> within) = 0;
};

// The scene's items in painting order, as calls to the target; the
// background is the caller's. The view is view.width x view.height pixels.
void walkScene(PaintTarget& target, const Scene& scene, const PixelView& view, const RenderOptions& options);

// The map from drawing coordinates to the view's pixels.
Affine pixelMap(const PixelView& view);

}  // namespace cad::render
