#include "cad/render/RasterScene.h"

#include "cad/render/SceneWalk.h"

namespace cad::render {

namespace {

class CanvasTarget final : public PaintTarget {
public:
    explicit CanvasTarget(Canvas& canvas) : canvas_(canvas) {}

    void clip(const Clip& c) override {
        switch (c.kind) {
        case Clip::Kind::Picture: canvas_.clipToPicture(); break;
        case Clip::Kind::Rect: canvas_.clipToRect(c.left, c.top, c.width, c.height); break;
        case Clip::Kind::Area: canvas_.clipToArea(c.outlines); break;
        }
    }
    void thinPolyline(std::span<const Vec2> points, std::uint32_t color) override {
        canvas_.thinPolyline(points, color);
    }
    void dot(Vec2 p, std::uint32_t color) override { canvas_.dot(p, color); }
    void widePolylines(std::span<const std::span<const Vec2>> polylines, double width, std::uint32_t color,
                       LineEnds ends) override {
        canvas_.widePolylines(polylines, width, color, ends);
    }
    void fillPolygons(std::span<const std::vector<Vec2>> outlines, FillRule rule, std::uint32_t color) override {
        canvas_.fillPolygons(outlines, rule, color);
    }
    void circle(Vec2 center, double radius, std::uint32_t color, bool filled) override {
        if (filled) canvas_.fillEllipse(center, radius, radius, color);
        else canvas_.thinEllipse(center, radius, radius, color);
    }
    void picture(const Pixels& pixels, const Affine& toPixel, std::span<const std::vector<Vec2>> within) override {
        if (pixels.width <= 0 || pixels.height <= 0 ||
            pixels.argb.size() / static_cast<std::size_t>(pixels.width) < static_cast<std::size_t>(pixels.height))
            return;
        canvas_.drawPicture(pixels.argb.data(), pixels.width, pixels.height, toPixel, within);
    }

private:
    Canvas& canvas_;
};

}  // namespace

void paintScene(Canvas& canvas, const Scene& scene, const PixelView& view, const RenderOptions& options) {
    CanvasTarget target(canvas);
    canvas.setAntialiasing(options.antialias);
    walkScene(target, scene, view, options);
    canvas.setAntialiasing(true);
}

}  // namespace cad::render
