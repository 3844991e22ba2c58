#pragma once
// The painter of our own, for every raster picture the programs make, with
// nothing of Qt in it: a program that needs no font, picture or PDF of Qt's
// paints with this and never loads Qt's GUI library.
//
// The pixels are those of QImage::Format_RGB32 (0xFFRRGGBB, rows of
// bytesPerLine bytes), and every primitive paints what QPainter's raster
// engine paints with antialiasing on, so that pictures look as they did when
// Qt's painter made them:
//  - a pen no wider than a pixel steps along each line from pixel to pixel,
//    two pixels across, lengthened by half a pixel at free ends;
//  - areas (fills, and wider pens outlined first) are covered by the share of
//    each pixel they take, worked out on a grid of 1/256 pixel from corners
//    placed on a grid of 1/64 pixel;
//  - a colour of coverage c (0..255) goes into a pixel as c/255 of it, rounded
//    the way Qt rounds;
//  - a picture is sampled between its pixels, the four nearest weighed by
//    nearness, as a smooth transform samples it.
// Nothing is stepped outside the clip: coordinates of any size (and NaN) are
// cut to it before they become integers.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "cad/model/Geometry.h"
#include "cad/render/PaintRules.h"
#include "cad/render/Path.h"

namespace cad::render {

class Canvas {
public:
    using FillRule = cad::render::FillRule;
    using Ends = LineEnds;

    // A picture of its own, filled with one colour.
    Canvas(int width, int height, std::uint32_t fill);
    // Paints into the caller's pixels, which must outlive the canvas.
    Canvas(std::uint32_t* pixels, int width, int height, std::ptrdiff_t bytesPerLine);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    std::ptrdiff_t bytesPerLine() const { return stride_; }
    std::uint32_t* row(int y) { return reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(pixels_) + y * stride_); }
    const std::uint32_t* row(int y) const {
        return reinterpret_cast<const std::uint32_t*>(reinterpret_cast<const char*>(pixels_) + y * stride_);
    }
    std::uint32_t pixel(int x, int y) const { return row(y)[x]; }
    void fill(std::uint32_t color);

    // Painting happens only inside the clip: the whole picture, a rectangle
    // (whose sides are rounded to whole pixels), or an area (painted in
    // proportion to how much of each pixel it covers, odd-even rule).
    void clipToRect(double left, double top, double width, double height);
    void clipToArea(std::span<const std::vector<Vec2>> outlines);
    void clipToPicture();

    // A pen one pixel wide (colour opaque, 0xFFRRGGBB).
    void thinLine(Vec2 a, Vec2 b, std::uint32_t color);
    // Open unless the last point is the first; the ends of an open one reach
    // half a pixel beyond its points.
    void thinPolyline(std::span<const Vec2> points, std::uint32_t color);
    // The one pixel nearest to p.
    void dot(Vec2 p, std::uint32_t color);
    // An ellipse's outline, as Qt's painter curves it.
    void thinEllipse(Vec2 center, double rx, double ry, std::uint32_t color);

    // A pen wider than a pixel with round ends and corners: several polylines
    // (dashes) outlined together and filled as one area. One whose last point
    // is its first is a loop without ends, unless the ends are kept open (as
    // a polyline of Qt's painter keeps them).
    void widePolylines(std::span<const std::span<const Vec2>> polylines, double width, std::uint32_t color,
                       Ends ends = Ends::LoopWhenClosed);

    // Areas bounded by several outlines.
    void fillPolygons(std::span<const std::vector<Vec2>> outlines, FillRule rule, std::uint32_t color);
    void fillEllipse(Vec2 center, double rx, double ry, std::uint32_t color);
    void fillRect(double left, double top, double width, double height, std::uint32_t color);

    // A picture of premultiplied 0xAARRGGBB pixels (rows of width), its
    // pixel (column, row) placed by toPixel and sampled between pixels as a
    // smooth transform samples it; only within the outlines (odd-even) when
    // some are given. Its edges are covered as an area's are.
    void drawPicture(const std::uint32_t* argb, int width, int height, const Affine& toPixel,
                     std::span<const std::vector<Vec2>> within = {});

    // Without antialiasing a pixel is painted whole where at least half of
    // it is covered, and left as it is otherwise.
    void setAntialiasing(bool on) { antialias_ = on; }

    // The edges of an area, gathered before it is covered, and the cells of
    // coverage they give.
    struct Edges;

private:
    void blend(int x, int y, int coverage, std::uint32_t color);
    void blendPremultiplied(int x, int y, int coverage, std::uint32_t color);
    std::vector<std::uint8_t> coverageOf(std::span<const std::vector<Vec2>> outlines, FillRule rule, int left, int top,
                                         int width, int height);
    void blendSpan(int x, int y, int length, int coverage, std::uint32_t color);
    void cover(Edges& edges, FillRule rule, std::uint32_t color);
    void thinSegment(double x1, double y1, double x2, double y2, bool capBegin, bool capEnd, std::uint32_t color);

    std::unique_ptr<std::uint32_t[]> own_;
    std::uint32_t* pixels_ = nullptr;
    int width_ = 0, height_ = 0;
    std::ptrdiff_t stride_ = 0;
    // The clip: whole pixels [left, right) x [top, bottom), and within them
    // the coverage of an area, when it is one.
    int clipLeft_ = 0, clipTop_ = 0, clipRight_ = 0, clipBottom_ = 0;
    std::vector<std::uint8_t> mask_;  // (clipRight_ - clipLeft_) per row; empty: no area
    std::unique_ptr<Edges> scratch_;
    bool antialias_ = true;
};

// A cubic curve from p0 as the points of its flattened outline, p0 left out:
// pieces are halved until their control points lie within a quarter pixel
// of the chord, as areas' curves are.
void flattenCubic(Vec2 p0, Vec2 c1, Vec2 c2, Vec2 p3, std::vector<Vec2>& out);

}  // namespace cad::render
