#pragma once
// What every painter of a scene decides the same way, whatever it paints
// with: colours, pen widths, dashes, and lines that run across the view.
// Plain C++, so that the painter of our own shares it without Qt.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "cad/model/Geometry.h"

namespace cad::render {

// How colours reach the picture: as the drawing has them, as shades of grey,
// or all in the foreground colour (black on white), as a monochrome plot.
enum class ColorMode { AsDrawn, Grayscale, Monochrome };

// Which parts of several outlines an area takes: those within an odd number
// of them, or those they wind around at all.
enum class FillRule { OddEven, Winding };

// A wide pen's polyline whose last point is its first: a loop without ends,
// or kept open with round ends there (as a polyline of Qt's painter is).
enum class LineEnds { LoopWhenClosed, Open };

// Where the drawing lands in the picture: pixel = (x - originX) * scale + marginX,
// with y running downwards. Upside down (a plot turned half round on its
// sheet), the picture is that one turned about its middle.
struct PixelView {
    double scale = 1, originX = 0, originY = 0;
    int width = 0, height = 0;
    double marginX = 0, marginY = 0;
    bool upsideDown = false;
    Vec2 pixel(Vec2 p) const {
        const double x = marginX + (p.x - originX) * scale, y = marginY + (p.y - originY) * scale;
        return upsideDown ? Vec2{width - x, y} : Vec2{x, height - y};
    }
};

// 0xFFRRGGBB: colour 7 and monochrome plots take the colour that contrasts
// with the background, greys keep the lightness of the colour.
std::uint32_t foregroundFor(std::uint32_t background);
std::uint32_t resolveColor(std::uint32_t rgb, bool foreground, std::uint32_t foregroundColor, ColorMode mode);

// A lineweight in pixels: millimetres on paper, where the picture's long
// side stands for the long side of an A3 sheet; never under one pixel.
constexpr double kPenSheetMm = 420.0;
double penWidth(double mm, bool lineweights, int longSide);

// Whether a pattern (in pixels) is drawn dashed: one finer than a few pixels
// is drawn as a continuous line, as it would look anyway.
bool dashedAtThisScale(const std::vector<double>& dashes);

// A polyline (in pixels) cut into its dashes: each piece is a run of points,
// pieces[i] ending at ends[i]. A continuous one is one piece of all its points.
struct DashPieces {
    std::vector<Vec2> points;
    std::vector<std::size_t> ends;
    void clear() { points.clear(); ends.clear(); }
    std::size_t size() const { return ends.size(); }
    std::span<const Vec2> operator[](std::size_t i) const {
        const std::size_t begin = i ? ends[i - 1] : 0;
        return {points.data() + begin, ends[i] - begin};
    }
};
void cutDashes(std::span<const Vec2> points, const std::vector<double>& dashes, DashPieces& out);

// The part of the line base + t * dir (t >= 0, or any t when bothWays) within
// the rectangle, if any.
bool clipLine(Vec2 base, Vec2 dir, bool bothWays, double left, double top, double right, double bottom, Vec2* a,
              Vec2* b);

}  // namespace cad::render
