#include "cad/render/Raster.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace cad::render {

namespace {

// c * a / 255 for each byte of c, rounded as Qt rounds it.
[[gnu::always_inline]] inline std::uint32_t byteMul(std::uint32_t c, std::uint32_t a) {
    std::uint32_t t = (c & 0xff00ffu) * a;
    t = (t + ((t >> 8) & 0xff00ffu) + 0x800080u) >> 8;
    t &= 0xff00ffu;
    std::uint32_t u = ((c >> 8) & 0xff00ffu) * a;
    u = (u + ((u >> 8) & 0xff00ffu) + 0x800080u);
    u &= 0xff00ff00u;
    return u | t;
}

// The colour over the pixel at coverage 0..255 (a whole pixel takes the
// colour as it is, the same as mixing would give).
[[gnu::always_inline]] inline std::uint32_t over(std::uint32_t pixel, std::uint32_t color, int coverage) {
    if (coverage >= 255) return color;
    const std::uint32_t c = byteMul(color, static_cast<std::uint32_t>(coverage));
    return c + byteMul(pixel, 255u - (c >> 24));
}

inline std::int64_t floorDiv(std::int64_t a, std::int64_t b) {  // b > 0
    std::int64_t q = a / b;
    if ((a % b) < 0) --q;
    return q;
}

// Coordinates beyond this are far outside any picture: they are clamped here,
// so that differences of two stay finite.
constexpr double kFar = 1e150;
inline double tame(double v) { return std::clamp(v, -kFar, kFar); }

// Corners of areas sit on a grid of 1/64 pixel.
inline double onGrid(double v) { return std::fabs(v) < 1e12 ? std::floor(v * 64 + 0.5) / 64 : v; }

constexpr double kKappa = 0.5522847498;

}  // namespace

// The edges of an area: closed contours, one after the other.
struct Canvas::Edges {
    std::vector<Vec2> points;
    std::vector<std::size_t> ends;  // one past each contour's last point
    bool finite = true;             // of the contour being added
    void close() {
        const std::size_t begin = ends.empty() ? 0 : ends.back();
        if (!finite || points.size() - begin < 2) points.resize(begin);
        else ends.push_back(points.size());
        finite = true;
    }
    void add(Vec2 p) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) finite = false;
        points.push_back({tame(p.x), tame(p.y)});
    }
    void clear() {
        points.clear();
        ends.clear();
        finite = true;
    }

    // Coverage cells of the area being covered: winding and area on the grid
    // of 1/256 pixel, as x within the clip and y below its top.
    struct Cell {
        std::int64_t key;  // row << 32 | column + 1
        int cover;
        int area;
    };
    std::vector<Cell> cells;
    std::int64_t lastKey = -1;
    std::int64_t columns = 0, rows = 0;  // of the clip
    void addCell(std::int64_t x, std::int64_t y, int cover, int area) {
        if (cover == 0 && area == 0) return;
        const std::int64_t key = (y << 32) | (x + 1);
        if (key == lastKey) {
            cells.back().cover += cover;
            cells.back().area += area;
            return;
        }
        cells.push_back({key, cover, area});
        lastKey = key;
    }
    void scanline(std::int64_t ey, std::int64_t x1, std::int64_t fy1, std::int64_t x2, std::int64_t fy2);
    void line(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2);
};

// Part of an edge within one row of pixels, fy in 0..256 from the row's top:
// each pixel it passes gets the height it spans and the twice the area left of
// it. Where it crosses into the next pixel is rounded down, measured from
// where it starts, so that an edge gives the same cells however far it runs
// outside the clip. Pixels left of the clip only count how often the edge
// winds (in column -1); those right of it do not count.
void Canvas::Edges::scanline(std::int64_t ey, std::int64_t x1, std::int64_t fy1, std::int64_t x2, std::int64_t fy2) {
    if (fy1 == fy2) return;
    const std::int64_t ex1 = x1 >> 8, ex2 = x2 >> 8;
    const std::int64_t fx1 = x1 & 255, fx2 = x2 & 255;
    const std::int64_t dy = fy2 - fy1;
    if (ex1 == ex2) {
        if (ex1 < 0) addCell(-1, ey, static_cast<int>(dy), 0);
        else if (ex1 < columns) addCell(ex1, ey, static_cast<int>(dy), static_cast<int>((fx1 + fx2) * dy));
        return;
    }
    std::int64_t dx = x2 - x1, dist = 256 - fx1, entry = 256, step = 1;
    if (dx < 0) {
        dx = -dx;
        dist = fx1;
        entry = 0;
        step = -1;
    }
    const std::int64_t m = (ex2 - ex1) * step;  // the pixels after the first
    // Where the edge leaves the j-th pixel from its start.
    auto leaves = [&](std::int64_t j) { return j == m ? fy2 : fy1 + floorDiv((dist + j * 256) * dy, dx); };
    auto enters = [&](std::int64_t j) { return j == 0 ? fy1 : leaves(j - 1); };
    // The pixels within the clip: column ex1 + step * j in [0, columns).
    std::int64_t from, to;
    if (step > 0) {
        from = std::max<std::int64_t>(0, -ex1);
        to = std::min(m, columns - 1 - ex1);
        if (ex1 < 0) {
            const std::int64_t last = std::min(m, -ex1 - 1);
            addCell(-1, ey, static_cast<int>(leaves(last) - fy1), 0);
        }
    } else {
        from = std::max<std::int64_t>(0, ex1 - (columns - 1));
        to = std::min(m, ex1);
        if (ex1 - m < 0) {
            const std::int64_t first = std::max<std::int64_t>(0, ex1 + 1);
            addCell(-1, ey, static_cast<int>(fy2 - enters(first)), 0);
        }
    }
    for (std::int64_t j = from; j <= to; ++j) {
        const std::int64_t y0 = enters(j), y1 = leaves(j);
        const std::int64_t in = j == 0 ? fx1 : 256 - entry, out = j == m ? fx2 : entry;
        const std::int64_t delta = y1 - y0;
        addCell(ex1 + step * j, ey, static_cast<int>(delta), static_cast<int>((in + out) * delta));
    }
}

// An edge on the grid of 1/256 pixel, cut into rows; only the rows of the
// clip are walked.
void Canvas::Edges::line(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2) {
    if (y1 == y2) return;
    const std::int64_t ey1 = y1 >> 8, ey2 = y2 >> 8;
    const std::int64_t fy1 = y1 & 255, fy2 = y2 & 255;
    if ((ey1 < 0 && ey2 < 0) || (ey1 >= rows && ey2 >= rows)) return;
    if (ey1 == ey2) {
        scanline(ey1, x1, fy1, x2, fy2);
        return;
    }
    const std::int64_t dx = x2 - x1;
    std::int64_t dy = y2 - y1, dist = 256 - fy1, entry = 256, step = 1;
    if (dy < 0) {
        dy = -dy;
        dist = fy1;
        entry = 0;
        step = -1;
    }
    const std::int64_t n = (ey2 - ey1) * step;
    auto leaves = [&](std::int64_t k) { return k == n ? x2 : x1 + floorDiv((dist + k * 256) * dx, dy); };
    std::int64_t from, to;
    if (step > 0) {
        from = std::max<std::int64_t>(0, -ey1);
        to = std::min(n, rows - 1 - ey1);
    } else {
        from = std::max<std::int64_t>(0, ey1 - (rows - 1));
        to = std::min(n, ey1);
    }
    for (std::int64_t k = from; k <= to; ++k) {
        const std::int64_t xa = k == 0 ? x1 : leaves(k - 1), xb = leaves(k);
        scanline(ey1 + step * k, xa, k == 0 ? fy1 : 256 - entry, xb, k == n ? fy2 : entry);
    }
}

Canvas::Canvas(int width, int height, std::uint32_t fillColor)
    : width_(std::max(0, width)), height_(std::max(0, height)), scratch_(std::make_unique<Edges>()) {
    own_.reset(new std::uint32_t[static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) + 1]);
    pixels_ = own_.get();
    stride_ = static_cast<std::ptrdiff_t>(width_) * 4;
    fill(fillColor);
    clipToPicture();
}

Canvas::Canvas(std::uint32_t* pixels, int width, int height, std::ptrdiff_t bytesPerLine)
    : pixels_(pixels), width_(std::max(0, width)), height_(std::max(0, height)), stride_(bytesPerLine),
      scratch_(std::make_unique<Edges>()) {
    clipToPicture();
}

Canvas::~Canvas() = default;

void Canvas::fill(std::uint32_t color) {
    if (width_ <= 0 || height_ <= 0) return;
    // White and black, the usual backgrounds, are bytes all alike: set as
    // bytes, and as one block when the rows follow each other.
    const bool bytewise = ((color >> 8) & 0xFFFFFFu) == (color & 0xFFFFFFu);
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 4;
    if (bytewise && stride_ == static_cast<std::ptrdiff_t>(rowBytes)) {
        std::memset(pixels_, static_cast<int>(color & 0xFF), rowBytes * static_cast<std::size_t>(height_));
        return;
    }
    for (int y = 0; y < height_; ++y) {
        if (bytewise) std::memset(row(y), static_cast<int>(color & 0xFF), rowBytes);
        else std::fill_n(row(y), width_, color);
    }
}

void Canvas::clipToPicture() {
    clipLeft_ = 0;
    clipTop_ = 0;
    clipRight_ = width_;
    clipBottom_ = height_;
    mask_.clear();
}

void Canvas::clipToRect(double left, double top, double width, double height) {
    // The sides go to the nearest pixel boundary, as the painter's do.
    auto pixel = [](double v) { return static_cast<int>(std::floor(std::clamp(v, -1e9, 1e9) + 0.5)); };
    if (!(std::isfinite(left) && std::isfinite(top) && std::isfinite(width) && std::isfinite(height))) {
        clipLeft_ = clipTop_ = clipRight_ = clipBottom_ = 0;
        mask_.clear();
        return;
    }
    if (width < 0) { left += width; width = -width; }
    if (height < 0) { top += height; height = -height; }
    clipLeft_ = std::clamp(pixel(left), 0, width_);
    clipTop_ = std::clamp(pixel(top), 0, height_);
    clipRight_ = std::clamp(pixel(left + width), clipLeft_, width_);
    clipBottom_ = std::clamp(pixel(top + height), clipTop_, height_);
    mask_.clear();
}

void Canvas::clipToArea(std::span<const std::vector<Vec2>> outlines) {
    // The area's coverage is painted into a mask of its box, white on black.
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    for (const auto& o : outlines)
        for (const Vec2& p : o) {
            if (!std::isfinite(p.x) || !std::isfinite(p.y)) continue;
            minX = std::min(minX, p.x); maxX = std::max(maxX, p.x);
            minY = std::min(minY, p.y); maxY = std::max(maxY, p.y);
        }
    clipToPicture();
    if (minX > maxX) {
        clipRight_ = clipLeft_;
        clipBottom_ = clipTop_;
        return;
    }
    const int left = static_cast<int>(std::clamp(std::floor(minX), 0.0, double(width_)));
    const int top = static_cast<int>(std::clamp(std::floor(minY), 0.0, double(height_)));
    const int right = static_cast<int>(std::clamp(std::ceil(maxX) + 1, double(left), double(width_)));
    const int bottom = static_cast<int>(std::clamp(std::ceil(maxY) + 1, double(top), double(height_)));
    const int w = right - left, h = bottom - top;
    if (w <= 0 || h <= 0) {
        clipRight_ = clipLeft_;
        clipBottom_ = clipTop_;
        return;
    }
    mask_ = coverageOf(outlines, FillRule::OddEven, left, top, w, h);
    clipLeft_ = left;
    clipTop_ = top;
    clipRight_ = right;
    clipBottom_ = bottom;
}

inline void Canvas::blend(int x, int y, int coverage, std::uint32_t color) {
    if (x < clipLeft_ || x >= clipRight_ || y < clipTop_ || y >= clipBottom_ || coverage <= 0) return;
    if (!mask_.empty()) {
        const int m = mask_[static_cast<std::size_t>(y - clipTop_) * static_cast<std::size_t>(clipRight_ - clipLeft_) +
                            static_cast<std::size_t>(x - clipLeft_)];
        if (m < 255) coverage = (coverage * m + 127) / 255;  // the share of the share, rounded
        if (coverage <= 0) return;
    }
    if (!antialias_) {
        if (coverage < 128) return;
        coverage = 255;
    }
    std::uint32_t& p = row(y)[x];
    p = over(p, color, coverage);
}

// A colour that may be see-through: what shows of the pixel below is what
// its own alpha leaves, after the coverage.
inline void Canvas::blendPremultiplied(int x, int y, int coverage, std::uint32_t color) {
    if (x < clipLeft_ || x >= clipRight_ || y < clipTop_ || y >= clipBottom_ || coverage <= 0) return;
    if (!mask_.empty()) {
        const int m = mask_[static_cast<std::size_t>(y - clipTop_) * static_cast<std::size_t>(clipRight_ - clipLeft_) +
                            static_cast<std::size_t>(x - clipLeft_)];
        if (m < 255) coverage = (coverage * m + 127) / 255;
        if (coverage <= 0) return;
    }
    if (!antialias_) {
        if (coverage < 128) return;
        coverage = 255;
    }
    const std::uint32_t c = coverage >= 255 ? color : byteMul(color, static_cast<std::uint32_t>(coverage));
    std::uint32_t& p = row(y)[x];
    p = c + byteMul(p, 255u - (c >> 24));
}

void Canvas::blendSpan(int x, int y, int length, int coverage, std::uint32_t color) {
    // Within the clip already.
    std::uint32_t* p = row(y) + x;
    if (!mask_.empty()) {
        for (int i = 0; i < length; ++i) blend(x + i, y, coverage, color);
        return;
    }
    if (!antialias_) {
        if (coverage < 128) return;
        coverage = 255;
    }
    if (coverage >= 255) {
        std::fill_n(p, length, color);
        return;
    }
    const std::uint32_t c = byteMul(color, static_cast<std::uint32_t>(coverage));
    const std::uint32_t inverse = 255u - (c >> 24);
    for (int i = 0; i < length; ++i) p[i] = c + byteMul(p[i], inverse);
}

// ---------------------------------------------------------------- thin pens

void Canvas::dot(Vec2 p, std::uint32_t color) {
    if (!(std::fabs(p.x) < 1e9 && std::fabs(p.y) < 1e9)) return;
    // Halves round up, as Qt's qRound does.
    const int x = static_cast<int>(std::floor(p.x + 0.5)), y = static_cast<int>(std::floor(p.y + 0.5));
    blend(x, y, 255, color);
}

void Canvas::thinLine(Vec2 a, Vec2 b, std::uint32_t color) {
    if (a == b) {
        dot(a, color);
        return;
    }
    thinSegment(a.x, a.y, b.x, b.y, true, true, color);
}

void Canvas::thinPolyline(std::span<const Vec2> points, std::uint32_t color) {
    if (points.size() < 2) return;
    const bool closed = points.front() == points.back();
    for (std::size_t i = 1; i < points.size(); ++i)
        thinSegment(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y, !closed && i == 1,
                    !closed && i + 1 == points.size(), color);
}

// One segment of a pen a pixel wide. The line is cut to the picture (and a
// pixel around it) in floating point, then stepped along its longer axis on
// a grid of 1/64 pixel; across it, the two pixels it falls between share the
// colour by how near it runs to each. Free ends reach half a pixel further.
void Canvas::thinSegment(double x1, double y1, double x2, double y2, bool capBegin, bool capEnd, std::uint32_t color) {
    if (!(std::isfinite(x1) && std::isfinite(y1) && std::isfinite(x2) && std::isfinite(y2))) return;
    if (clipLeft_ >= clipRight_ || clipTop_ >= clipBottom_) return;
    x1 = tame(x1), y1 = tame(y1), x2 = tame(x2), y2 = tame(y2);
    // The cut is to the whole picture whatever the clip, so that a line is
    // the same wherever it is clipped.
    const double xmin = -1, xmax = width_ + 1, ymin = -1, ymax = height_ + 1;
    // Moves the end (a, b) along the segment to where its first coordinate is bound.
    const auto cut = [](double& a, double& b, double otherA, double otherB, double bound) {
        b += (otherB - b) / (otherA - a) * (bound - a);
        a = bound;
    };
    if (x1 < xmin) {
        if (x2 <= xmin) return;
        cut(x1, y1, x2, y2, xmin);
    } else if (x1 > xmax) {
        if (x2 >= xmax) return;
        cut(x1, y1, x2, y2, xmax);
    }
    if (x2 < xmin) cut(x2, y2, x1, y1, xmin);
    else if (x2 > xmax) cut(x2, y2, x1, y1, xmax);
    if (y1 < ymin) {
        if (y2 <= ymin) return;
        cut(y1, x1, y2, x2, ymin);
    } else if (y1 > ymax) {
        if (y2 >= ymax) return;
        cut(y1, x1, y2, x2, ymax);
    }
    if (y2 < ymin) cut(y2, x2, y1, x1, ymin);
    else if (y2 > ymax) cut(y2, x2, y1, x1, ymax);
    // A line along an edge of the cut may still have ends outside it.
    if (!(std::isfinite(x1) && std::isfinite(y1) && std::isfinite(x2) && std::isfinite(y2))) return;
    if (std::fabs(x1) > 1e7 || std::fabs(x2) > 1e7 || std::fabs(y1) > 1e7 || std::fabs(y2) > 1e7) return;

    // On the grid of 1/64 pixel, towards zero.
    std::int64_t ax = static_cast<std::int64_t>(x1 * 64), ay = static_cast<std::int64_t>(y1 * 64);
    std::int64_t bx = static_cast<std::int64_t>(x2 * 64), by = static_cast<std::int64_t>(y2 * 64);
    const std::int64_t dx = bx - ax, dy = by - ay;
    const bool steep = std::llabs(dx) < std::llabs(dy);
    // Stepping runs along "major" (y for a steep line, x otherwise); "minor"
    // is across it.
    std::int64_t m1, n1, m2, n2, dm, dn;
    if (steep) {
        m1 = ay; n1 = ax; m2 = by; n2 = bx; dm = dy; dn = dx;
    } else {
        if (dx == 0) return;
        m1 = ax; n1 = ay; m2 = bx; n2 = by; dm = dx; dn = dy;
    }
    const std::int64_t inc = (dn * 65536) / dm;  // minor per major, 16.16, towards zero
    if (m1 > m2) {
        std::swap(m1, m2);
        std::swap(n1, n2);
        std::swap(capBegin, capEnd);
    }
    std::int64_t n = (n1 - 32) * 1024;
    n -= (((m1 & 63) - 32) * inc) >> 6;
    if (capBegin) {
        m1 -= 32;
        n -= inc >> 1;
    }
    if (capEnd) m2 += 32;
    const std::int64_t first = m1 >> 6, last = m2 >> 6;
    int alphaStart, alphaEnd;
    if (first == last) {
        alphaStart = static_cast<int>(m2 - m1);
        alphaEnd = 0;
    } else {
        alphaStart = static_cast<int>(64 - (m1 & 63));
        alphaEnd = static_cast<int>(m2 & 63);
    }
    const std::int64_t end = first == last || alphaEnd ? last : last - 1;  // the last step painted
    // Only the steps within the clip are taken.
    const std::int64_t lo = steep ? clipTop_ : clipLeft_, hi = (steep ? clipBottom_ : clipRight_) - 1;
    const std::int64_t from = std::max(first, lo), to = std::min(end, hi);
    if (from > to) return;
    const int nlo = steep ? clipLeft_ : clipTop_, nhi = (steep ? clipRight_ : clipBottom_) - 1;
    std::int64_t pos = n + (from - first) * inc;
    const bool plain = mask_.empty();
    for (std::int64_t m = from; m <= to; ++m, pos += inc) {
        const int share = m == first ? alphaStart : (m == last ? alphaEnd : 64);
        const int alpha = static_cast<int>(static_cast<std::uint8_t>(pos >> 8));
        const int near = static_cast<int>(pos >> 16);
        const int mi = static_cast<int>(m);
        if (!antialias_) {
            // Without antialiasing: the nearer of the two pixels, whole,
            // wherever the line passes, however little of the step it takes.
            const int across = near + (alpha >= 128 ? 1 : 0);
            if (share <= 0) continue;
            if (steep) blend(across, mi, 255, color);
            else blend(mi, across, 255, color);
            continue;
        }
        const int c0 = (255 - alpha) * share >> 6, c1 = alpha * share >> 6;
        if (plain) {
            if (steep) {
                std::uint32_t* r = row(mi);
                if (near >= nlo && near <= nhi && c0 > 0) r[near] = over(r[near], color, c0);
                if (near + 1 >= nlo && near + 1 <= nhi && c1 > 0) r[near + 1] = over(r[near + 1], color, c1);
            } else {
                if (near >= nlo && near <= nhi && c0 > 0) row(near)[mi] = over(row(near)[mi], color, c0);
                if (near + 1 >= nlo && near + 1 <= nhi && c1 > 0) row(near + 1)[mi] = over(row(near + 1)[mi], color, c1);
            }
        } else if (steep) {
            blend(near, mi, c0, color);
            blend(near + 1, mi, c1, color);
        } else {
            blend(mi, near, c0, color);
            blend(mi, near + 1, c1, color);
        }
    }
}

namespace {

// A cubic curve's points split in two halves until flat enough, the way the
// painter's own flattening goes: `flat` decides whether a piece may stand as
// its chord.
struct Cubic {
    Vec2 p[4];
};

void split(const Cubic& c, Cubic* first, Cubic* second) {
    auto mid = [](Vec2 a, Vec2 b) { return Vec2{(a.x + b.x) * 0.5, (a.y + b.y) * 0.5}; };
    const Vec2 ab = mid(c.p[0], c.p[1]), bc = mid(c.p[1], c.p[2]), cd = mid(c.p[2], c.p[3]);
    const Vec2 abc = mid(ab, bc), bcd = mid(bc, cd), m = mid(abc, bcd);
    *first = {{c.p[0], ab, abc, m}};
    *second = {{m, bcd, cd, c.p[3]}};
}

// The outlines of areas: pieces of curve are cut until their control points
// lie within a quarter pixel of the chord, relative to its length.
template <class Out>
void flattenForFill(const Cubic& curve, Out&& out) {
    Cubic stack[10];
    int levels[10];
    stack[0] = curve;
    levels[0] = 9;
    int top = 0;
    while (top >= 0) {
        Cubic& b = stack[top];
        const double ex = b.p[3].x - b.p[0].x, ey = b.p[3].y - b.p[0].y;
        double l = std::fabs(ex) + std::fabs(ey), d;
        if (l > 1.) {
            d = std::fabs(ex * (b.p[0].y - b.p[1].y) - ey * (b.p[0].x - b.p[1].x)) +
                std::fabs(ex * (b.p[0].y - b.p[2].y) - ey * (b.p[0].x - b.p[2].x));
        } else {
            d = std::fabs(b.p[0].x - b.p[1].x) + std::fabs(b.p[0].y - b.p[1].y) + std::fabs(b.p[0].x - b.p[2].x) +
                std::fabs(b.p[0].y - b.p[2].y);
            l = 1.;
        }
        if (d < 0.25 * l || levels[top] == 0) {
            out(b.p[3]);
            --top;
        } else {
            Cubic a, c;
            split(b, &a, &c);
            stack[top] = c;            // the second half waits below
            stack[top + 1] = a;
            levels[top + 1] = --levels[top];
            ++top;
        }
    }
}

// The four quarters of an ellipse, from its rightmost point downwards
// (clockwise on the screen), as the painter builds them.
std::array<Cubic, 4> ellipseQuarters(Vec2 center, double rx, double ry) {
    const double x = center.x - rx, y = center.y - ry, w = 2 * rx, h = 2 * ry;
    const double w2 = w / 2, h2 = h / 2, w2k = w2 * kKappa, h2k = h2 * kKappa;
    const Vec2 p[13] = {{x + w, y + h2},       {x + w, y + h2 + h2k}, {x + w2 + w2k, y + h}, {x + w2, y + h},
                        {x + w2 - w2k, y + h}, {x, y + h2 + h2k},     {x, y + h2},           {x, y + h2 - h2k},
                        {x + w2 - w2k, y},     {x + w2, y},           {x + w2 + w2k, y},     {x + w, y + h2 - h2k},
                        {x + w, y + h2}};
    return {Cubic{{p[0], p[1], p[2], p[3]}}, Cubic{{p[3], p[4], p[5], p[6]}}, Cubic{{p[6], p[7], p[8], p[9]}},
            Cubic{{p[9], p[10], p[11], p[12]}}};
}

}  // namespace

void Canvas::thinEllipse(Vec2 center, double rx, double ry, std::uint32_t color) {
    if (!(std::isfinite(center.x) && std::isfinite(center.y) && std::isfinite(rx) && std::isfinite(ry))) return;
    // A thin pen follows a curve in pieces halved until the control points
    // lie within a quarter of the chord's Manhattan length of it, at most six times.
    for (const Cubic& quarter : ellipseQuarters(center, rx, ry)) {
        struct Piece {
            Cubic c;
            int level;
        };
        Piece stack[8];
        int top = 0;
        stack[0] = {quarter, 6};
        while (top >= 0) {
            const Piece piece = stack[top--];
            const Cubic& c = piece.c;
            if (piece.level > 0) {
                const double dx = c.p[3].x - c.p[0].x, dy = c.p[3].y - c.p[0].y;
                const double len = 0.25 * (std::fabs(dx) + std::fabs(dy));
                if (std::fabs(dx * (c.p[0].y - c.p[2].y) - dy * (c.p[0].x - c.p[2].x)) >= len ||
                    std::fabs(dx * (c.p[0].y - c.p[1].y) - dy * (c.p[0].x - c.p[1].x)) >= len) {
                    Cubic a, b;
                    split(c, &a, &b);
                    stack[++top] = {b, piece.level - 1};
                    stack[++top] = {a, piece.level - 1};
                    continue;
                }
            }
            thinSegment(c.p[0].x, c.p[0].y, c.p[3].x, c.p[3].y, false, false, color);
        }
    }
}

// ---------------------------------------------------------------- areas

void Canvas::cover(Edges& e, FillRule rule, std::uint32_t color) {
    const int L = clipLeft_, T = clipTop_, R = clipRight_, B = clipBottom_;
    e.cells.clear();
    e.lastKey = -1;
    if (L >= R || T >= B) return;
    const double maxX = (R - L) * 256.0, maxY = (B - T) * 256.0;
    e.columns = R - L;
    e.rows = B - T;
    auto emitEdge = [&](double xa, double ya, double xb, double yb) {
        auto gx = [&](double v) { return static_cast<std::int64_t>(std::clamp(std::floor((v - L) * 256 + 0.5), 0.0, maxX)); };
        auto gy = [&](double v) { return static_cast<std::int64_t>(std::clamp(std::floor((v - T) * 256 + 0.5), 0.0, maxY)); };
        e.line(gx(xa), gy(ya), gx(xb), gy(yb));
    };
    // Edges within reach go on the grid as they are, so that the pixels
    // along the clip are those the whole edge gives; farther ones are first
    // cut to the clip.
    constexpr double kReach = 1 << 20;
    const double nearLeft = L - kReach, nearRight = R + kReach, nearTop = T - kReach, nearBottom = B + kReach;
    auto edge = [&](Vec2 a, Vec2 b) {
        double x0 = a.x, y0 = a.y, x1 = b.x, y1 = b.y;
        if (y0 == y1) return;
        if (x0 > nearLeft && x0 < nearRight && x1 > nearLeft && x1 < nearRight && y0 > nearTop && y0 < nearBottom &&
            y1 > nearTop && y1 < nearBottom) {
            auto grid = [](double v) { return static_cast<std::int64_t>(std::floor(v * 256 + 0.5)); };
            e.line(grid(x0 - L), grid(y0 - T), grid(x1 - L), grid(y1 - T));
            return;
        }
        if ((y0 <= T && y1 <= T) || (y0 >= B && y1 >= B)) return;
        if ((x0 >= R && x1 >= R)) return;
        // Within the rows of the clip.
        if (y0 < T || y0 > B || y1 < T || y1 > B) {
            const double t0 = (std::clamp(y0, double(T), double(B)) - y0) / (y1 - y0);
            const double t1 = (std::clamp(y1, double(T), double(B)) - y0) / (y1 - y0);
            const double ex = x1 - x0;
            const double nx0 = x0 + ex * t0, nx1 = x0 + ex * t1;
            y0 = std::clamp(y0, double(T), double(B));
            y1 = std::clamp(y1, double(T), double(B));
            x0 = nx0;
            x1 = nx1;
        }
        if (x0 <= L && x1 <= L) {
            // What lies left of the clip only counts how often it winds.
            emitEdge(L, y0, L, y1);
            return;
        }
        // Cut where it crosses the left and right sides.
        double ys[4] = {y0, 0, 0, y1};
        double xs[4] = {x0, 0, 0, x1};
        int n = 1;
        double cuts[2];
        int ncuts = 0;
        for (double side : {double(L), double(R)}) {
            if ((x0 < side) != (x1 < side)) cuts[ncuts++] = (side - x0) / (x1 - x0);
        }
        if (ncuts == 2 && cuts[0] > cuts[1]) std::swap(cuts[0], cuts[1]);
        for (int i = 0; i < ncuts; ++i) {
            xs[n] = x0 + (x1 - x0) * cuts[i];
            ys[n] = y0 + (y1 - y0) * cuts[i];
            ++n;
        }
        xs[n] = x1;
        ys[n] = y1;
        for (int i = 0; i < n; ++i) {
            const double xa = xs[i], xb = xs[i + 1], mid = (xa + xb) / 2;
            if (mid >= R) continue;
            if (mid <= L) emitEdge(L, ys[i], L, ys[i + 1]);
            else emitEdge(std::clamp(xa, double(L), double(R)), ys[i], std::clamp(xb, double(L), double(R)), ys[i + 1]);
        }
    };
    std::size_t begin = 0;
    for (const std::size_t end : e.ends) {
        for (std::size_t i = begin; i < end; ++i) {
            const Vec2 a = e.points[i], b = e.points[i + 1 < end ? i + 1 : begin];
            edge({onGrid(a.x), onGrid(a.y)}, {onGrid(b.x), onGrid(b.y)});
        }
        begin = end;
    }
    if (e.cells.empty()) return;
    std::sort(e.cells.begin(), e.cells.end(), [](const Edges::Cell& a, const Edges::Cell& b) { return a.key < b.key; });
    const int clipWidth = R - L;
    auto level = [rule](std::int64_t area) {
        int c = static_cast<int>(area >> 9);
        if (c < 0) c = -c;
        if (rule == FillRule::OddEven) {
            c &= 511;
            if (c > 256) c = 512 - c;
            else if (c == 256) c = 255;
        } else if (c >= 256) {
            c = 255;
        }
        return c;
    };
    std::size_t i = 0;
    const std::size_t count = e.cells.size();
    while (i < count) {
        const std::int64_t y = e.cells[i].key >> 32;
        std::int64_t cover = 0;
        int x = 0;
        while (i < count && (e.cells[i].key >> 32) == y) {
            const std::int64_t key = e.cells[i].key;
            const int cx = static_cast<int>(key & 0xffffffff) - 1;
            std::int64_t cellCover = 0, cellArea = 0;
            while (i < count && e.cells[i].key == key) {
                cellCover += e.cells[i].cover;
                cellArea += e.cells[i].area;
                ++i;
            }
            if (cx >= clipWidth) {
                // Beyond the right side: nothing more of this row shows.
                while (i < count && (e.cells[i].key >> 32) == y) ++i;
                break;
            }
            if (cx > x && cover != 0) {
                const int c = level(cover * 512);
                if (c) blendSpan(L + x, T + static_cast<int>(y), cx - x, c, color);
            }
            cover += cellCover;
            if (cx < 0) continue;  // what lies left of the clip
            const std::int64_t area = cover * 512 - cellArea;
            if (area != 0) {
                const int c = level(area);
                if (c) blendSpan(L + cx, T + static_cast<int>(y), 1, c, color);
            }
            x = cx + 1;
        }
        if (cover != 0 && x < clipWidth) {
            const int c = level(cover * 512);
            if (c) blendSpan(L + x, T + static_cast<int>(y), clipWidth - x, c, color);
        }
    }
}

void Canvas::fillPolygons(std::span<const std::vector<Vec2>> outlines, FillRule rule, std::uint32_t color) {
    Edges& e = *scratch_;
    e.clear();
    for (const auto& o : outlines) {
        for (const Vec2& p : o) e.add(p);
        e.close();
    }
    cover(e, rule, color);
}

void Canvas::fillEllipse(Vec2 center, double rx, double ry, std::uint32_t color) {
    Edges& e = *scratch_;
    e.clear();
    const auto quarters = ellipseQuarters(center, rx, ry);
    e.add(quarters[0].p[0]);
    for (const Cubic& q : quarters) flattenForFill(q, [&](Vec2 p) { e.add(p); });
    e.close();
    cover(e, FillRule::Winding, color);
}

void Canvas::fillRect(double left, double top, double width, double height, std::uint32_t color) {
    const std::vector<Vec2> outline{{left, top}, {left + width, top}, {left + width, top + height}, {left, top + height}};
    fillPolygons(std::span(&outline, 1), FillRule::Winding, color);
}

void flattenCubic(Vec2 p0, Vec2 c1, Vec2 c2, Vec2 p3, std::vector<Vec2>& out) {
    flattenForFill(Cubic{{p0, c1, c2, p3}}, [&](Vec2 p) { out.push_back(p); });
}

// ---------------------------------------------------------------- pictures

// How much of each pixel of the box the area covers, 0..255, row after row.
std::vector<std::uint8_t> Canvas::coverageOf(std::span<const std::vector<Vec2>> outlines, FillRule rule, int left,
                                             int top, int width, int height) {
    std::vector<std::uint32_t> painted(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0xFF000000u);
    {
        Canvas mask(painted.data(), width, height, static_cast<std::ptrdiff_t>(width) * 4);
        mask.antialias_ = antialias_;
        std::vector<std::vector<Vec2>> moved;
        moved.reserve(outlines.size());
        for (const auto& o : outlines) {
            auto& m = moved.emplace_back();
            m.reserve(o.size());
            for (const Vec2& p : o) m.push_back({p.x - left, p.y - top});
        }
        mask.fillPolygons(moved, rule, 0xFFFFFFFFu);
    }
    std::vector<std::uint8_t> coverage(painted.size());
    for (std::size_t i = 0; i < painted.size(); ++i) coverage[i] = static_cast<std::uint8_t>(painted[i] & 0xFF);
    return coverage;
}

namespace {

// The picture's colour at (x, y) in its own pixels, where pixel centres lie
// at half-integers: the four nearest pixels weighed by nearness, in 1/256,
// those beyond an edge taking the edge's colour.
std::uint32_t sampleBilinear(const std::uint32_t* argb, int width, int height, double x, double y) {
    // A map too near to flat to be undone gives no place in the picture at all.
    if (!std::isfinite(x)) x = 0;
    if (!std::isfinite(y)) y = 0;
    const double fx = std::clamp(x - 0.5, -1.0, double(width)), fy = std::clamp(y - 0.5, -1.0, double(height));
    const int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
    const std::uint32_t wx = static_cast<std::uint32_t>((fx - x0) * 256), wy = static_cast<std::uint32_t>((fy - y0) * 256);
    auto at = [&](int col, int row) {
        col = std::clamp(col, 0, width - 1);
        row = std::clamp(row, 0, height - 1);
        return argb[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) + static_cast<std::size_t>(col)];
    };
    const std::uint32_t tl = at(x0, y0), tr = at(x0 + 1, y0), bl = at(x0, y0 + 1), br = at(x0 + 1, y0 + 1);
    // Two channels at a time, eight bits apart.
    auto mix = [](std::uint32_t a, std::uint32_t b, std::uint32_t w) {
        const std::uint32_t lo = ((a & 0xff00ffu) * (256 - w) + (b & 0xff00ffu) * w) >> 8;
        const std::uint32_t hi = (((a >> 8) & 0xff00ffu) * (256 - w) + ((b >> 8) & 0xff00ffu) * w) >> 8;
        return (lo & 0xff00ffu) | ((hi & 0xff00ffu) << 8);
    };
    return mix(mix(tl, tr, wx), mix(bl, br, wx), wy);
}

}  // namespace

void Canvas::drawPicture(const std::uint32_t* argb, int width, int height, const Affine& toPixel,
                         std::span<const std::vector<Vec2>> within) {
    if (!argb || width <= 0 || height <= 0) return;
    const double det = toPixel.m11() * toPixel.m22() - toPixel.m12() * toPixel.m21();
    if (!std::isfinite(det) || std::fabs(det) < 1e-300) return;
    const std::vector<Vec2> quad{toPixel.map(Vec2{0, 0}), toPixel.map(Vec2{double(width), 0}),
                                 toPixel.map(Vec2{double(width), double(height)}), toPixel.map(Vec2{0, double(height)})};
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    for (const Vec2& p : quad) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
        minX = std::min(minX, p.x); maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y); maxY = std::max(maxY, p.y);
    }
    // Only the pixels of the clip that the picture may reach are looked at.
    const int left = static_cast<int>(std::clamp(std::floor(minX), double(clipLeft_), double(clipRight_)));
    const int top = static_cast<int>(std::clamp(std::floor(minY), double(clipTop_), double(clipBottom_)));
    const int right = static_cast<int>(std::clamp(std::ceil(maxX) + 1, double(left), double(clipRight_)));
    const int bottom = static_cast<int>(std::clamp(std::ceil(maxY) + 1, double(top), double(clipBottom_)));
    const int w = right - left, h = bottom - top;
    if (w <= 0 || h <= 0) return;
    std::vector<std::uint8_t> coverage = coverageOf(std::span(&quad, 1), FillRule::Winding, left, top, w, h);
    if (!within.empty()) {
        const std::vector<std::uint8_t> inside = coverageOf(within, FillRule::OddEven, left, top, w, h);
        for (std::size_t i = 0; i < coverage.size(); ++i) coverage[i] = static_cast<std::uint8_t>((coverage[i] * inside[i] + 127) / 255);
    }
    // From the picture's pixels back into the picture.
    const double i11 = toPixel.m22() / det, i12 = -toPixel.m12() / det, i21 = -toPixel.m21() / det,
                 i22 = toPixel.m11() / det;
    const double idx = -(toPixel.dx() * i11 + toPixel.dy() * i21), idy = -(toPixel.dx() * i12 + toPixel.dy() * i22);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* covered = coverage.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        const double cy = top + y + 0.5;
        for (int x = 0; x < w; ++x) {
            if (!covered[x]) continue;
            const double cx = left + x + 0.5;
            const double u = i11 * cx + i21 * cy + idx, v = i12 * cx + i22 * cy + idy;
            blendPremultiplied(left + x, top + y, covered[x], sampleBilinear(argb, width, height, u, v));
        }
    }
}

// ---------------------------------------------------------------- wide pens

namespace {

// The outline of a pen of half-width h along polylines: down one side of each
// with round corners on the outside, round about its end, back up the other
// side and round about its start; a closed polyline gives the two sides as
// loops of their own.
class Outliner {
public:
    Outliner(Canvas::Edges& e, double h) : e_(e), h_(h) {}

    void polyline(std::span<const Vec2> in, bool open) {
        pts_.clear();
        for (const Vec2& p : in) {
            if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
            if (pts_.empty() || std::hypot(p.x - pts_.back().x, p.y - pts_.back().y) > 1e-9)
                pts_.push_back({tame(p.x), tame(p.y)});
        }
        if (pts_.size() < 2) return;
        const bool closed = !open && in.front() == in.back() && pts_.size() > 3;
        if (closed) {
            if (pts_.front() == pts_.back()) pts_.pop_back();
            side(true);
            e_.close();
            std::reverse(pts_.begin(), pts_.end());
            side(true);
            e_.close();
            return;
        }
        side(false);
        capAround(pts_.back(), normal(pts_[pts_.size() - 2], pts_.back()));
        std::reverse(pts_.begin(), pts_.end());
        side(false);
        capAround(pts_.back(), normal(pts_[pts_.size() - 2], pts_.back()));
        e_.close();
    }

private:
    // The left-hand normal of a -> b, h long.
    Vec2 normal(Vec2 a, Vec2 b) const {
        const double dx = b.x - a.x, dy = b.y - a.y, l = std::hypot(dx, dy);
        return {dy / l * h_, -dx / l * h_};
    }
    // One side along the points, its corners rounded where they stand out.
    void side(bool closed) {
        const std::size_t n = pts_.size();
        const std::size_t segments = closed ? n : n - 1;
        for (std::size_t i = 0; i < segments; ++i) {
            const Vec2 a = pts_[i], b = pts_[(i + 1) % n];
            const Vec2 nm = normal(a, b);
            const Vec2 start{a.x + nm.x, a.y + nm.y}, end{b.x + nm.x, b.y + nm.y};
            if (i > 0 || closed) {
                const Vec2 prev = pts_[(i + n - 1) % n];
                const Vec2 before = normal(prev, a);
                join(a, {prev.x + before.x, prev.y + before.y}, {a.x + before.x, a.y + before.y}, start, end);
            } else {
                e_.add(start);
            }
            e_.add(end);
        }
    }
    // Where the sides of two segments (p1 -> p2, then n1 -> n2) meet at a
    // corner. Inside it (the sides cross, or the next starts behind the
    // last), when the next is longer than half the pen, they go through the
    // corner point. Otherwise round about it: from
    // the last side's direction by the difference of the two directions'
    // angles, clockwise on the screen, as Qt's stroker goes; where the
    // directions lie either side of the x axis that is the long way round,
    // within the corner's circle.
    void join(Vec2 at, Vec2 p1, Vec2 p2, Vec2 n1, Vec2 n2) {
        if (p2 == n1) return;
        const double ax = p2.x - p1.x, ay = p2.y - p1.y, bx = n1.x - n2.x, by = n1.y - n2.y;
        const double cx = p1.x - n1.x, cy = p1.y - n1.y;
        const double den = ay * bx - ax * by;
        bool crossing = false;
        if (den != 0 && std::isfinite(den)) {
            const double na = (by * cx - bx * cy) / den, nb = (ax * cy - ay * cx) / den;
            crossing = na >= 0 && na <= 1 && nb >= 0 && nb <= 1;
        }
        auto angle = [](double dx, double dy) {  // degrees, counterclockwise on the screen
            const double a = std::atan2(-dy, dx) * (180 / M_PI);
            return a < 0 ? a + 360 : a;
        };
        const double last = angle(ax, ay), next = angle(n2.x - n1.x, n2.y - n1.y);
        double behind = last - angle(n1.x - p2.x, n1.y - p2.y);
        if (behind < 0) behind += 360;
        if ((crossing || behind > 90.01) && std::hypot(n2.x - n1.x, n2.y - n1.y) > h_) {
            e_.add(at);
            e_.add(n1);
            return;
        }
        arcBy(at, last + 90, -std::fabs(next - last));
        e_.add(n1);
    }
    // The arc of radius h about at from the angle start by sweep (degrees,
    // counterclockwise on the screen), flattened as the painter flattens
    // areas. As Qt's painter curves it: cut where it crosses the axes, each
    // piece part of the cubic curve that stands for a whole quarter circle.
    void arcBy(Vec2 at, double start, double sweep) {
        if (!(std::fabs(sweep) > 0) || !std::isfinite(start) || !std::isfinite(sweep)) return;
        sweep = std::clamp(sweep, -360.0, 360.0);
        const int step = sweep > 0 ? 1 : -1;
        const double finish = start + sweep;
        int first = static_cast<int>(std::floor(start / 90)), last = static_cast<int>(std::floor(finish / 90));
        // No piece of nothing at either end.
        if (step > 0 && finish == last * 90.0) --last;
        if (step < 0 && start == first * 90.0) --first;
        auto axis = [](int quarter) {  // the unit vector at quarter * 90 degrees
            switch (((quarter % 4) + 4) % 4) {
            case 0: return Vec2{1, 0};
            case 1: return Vec2{0, -1};
            case 2: return Vec2{-1, 0};
            default: return Vec2{0, 1};
            }
        };
        e_.add({at.x + h_ * std::cos(start * M_PI / 180), at.y - h_ * std::sin(start * M_PI / 180)});
        for (int q = first;; q += step) {
            // The quarter from q * 90 to (q + 1) * 90 degrees.
            const Vec2 u0 = axis(q), u1 = axis(q + 1);
            const double kh = kKappa * h_;
            Cubic c{{{at.x + h_ * u0.x, at.y + h_ * u0.y},
                     {at.x + h_ * u0.x + kh * u1.x, at.y + h_ * u0.y + kh * u1.y},
                     {at.x + h_ * u1.x + kh * u0.x, at.y + h_ * u1.y + kh * u0.y},
                     {at.x + h_ * u1.x, at.y + h_ * u1.y}}};
            double from = std::clamp((start - q * 90.0) / 90, 0.0, 1.0);
            double to = std::clamp((finish - q * 90.0) / 90, 0.0, 1.0);
            from = quarterParameter(from * 90);
            to = quarterParameter(to * 90);
            Cubic piece = part(c, std::min(from, to), std::max(from, to));
            if (step < 0) piece = Cubic{{piece.p[3], piece.p[2], piece.p[1], piece.p[0]}};
            flattenForFill(piece, [&](Vec2 v) { e_.add(v); });
            if (q == last) break;
        }
    }
    // Where on the cubic quarter circle the point at this angle (0..90
    // degrees from its start) lies.
    static double quarterParameter(double degrees) {
        if (degrees <= 0) return 0;
        if (degrees >= 90) return 1;
        const double target = degrees * M_PI / 180;
        double lo = 0, hi = 1;
        for (int i = 0; i < 40; ++i) {
            const double t = (lo + hi) / 2, s = 1 - t;
            const double x = s * s * s + 3 * s * s * t + 3 * s * t * t * kKappa;
            const double y = 3 * s * s * t * kKappa + 3 * s * t * t + t * t * t;
            (std::atan2(y, x) < target ? lo : hi) = t;
        }
        return (lo + hi) / 2;
    }
    // The part of the curve between parameters a <= b.
    static Cubic part(const Cubic& c, double a, double b) {
        auto at = [](const Cubic& k, double t, Cubic* left, Cubic* right) {
            auto mix = [t](Vec2 p, Vec2 q) { return Vec2{p.x + (q.x - p.x) * t, p.y + (q.y - p.y) * t}; };
            const Vec2 ab = mix(k.p[0], k.p[1]), bc = mix(k.p[1], k.p[2]), cd = mix(k.p[2], k.p[3]);
            const Vec2 abc = mix(ab, bc), bcd = mix(bc, cd), m = mix(abc, bcd);
            if (left) *left = {{k.p[0], ab, abc, m}};
            if (right) *right = {{m, bcd, cd, k.p[3]}};
        };
        Cubic rest = c, piece = c;
        if (a > 0) at(c, a, nullptr, &rest);
        if (b < 1) at(rest, a < 1 ? (b - a) / (1 - a) : 0, &piece, nullptr);
        else piece = rest;
        return piece;
    }
    // Round about an end, from one side to the other.
    void capAround(Vec2 at, Vec2 nm) {
        const Vec2 ahead{-nm.y, nm.x};
        arc(at, nm, ahead);
        arc(at, ahead, {-nm.x, -nm.y});
    }
    // The shorter arc from at + from to at + to (radius h), as cubic pieces of
    // at most a quarter turn, flattened as the painter flattens areas.
    void arc(Vec2 at, Vec2 from, Vec2 to) {
        const double a0 = std::atan2(from.y, from.x);
        double sweep = std::atan2(to.y, to.x) - a0;
        while (sweep > M_PI) sweep -= 2 * M_PI;
        while (sweep < -M_PI) sweep += 2 * M_PI;
        const int pieces = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / (M_PI / 2) - 1e-9)));
        const double step = sweep / pieces, k = 4.0 / 3.0 * std::tan(step / 4);
        Vec2 p{at.x + from.x, at.y + from.y};
        e_.add(p);
        for (int i = 0; i < pieces; ++i) {
            const double t1 = a0 + step * (i + 1), t0 = a0 + step * i;
            const Vec2 end = i + 1 == pieces ? Vec2{at.x + to.x, at.y + to.y}
                                             : Vec2{at.x + h_ * std::cos(t1), at.y + h_ * std::sin(t1)};
            const Vec2 c1{p.x - k * h_ * std::sin(t0), p.y + k * h_ * std::cos(t0)};
            const Vec2 c2{end.x + k * h_ * std::sin(t1), end.y - k * h_ * std::cos(t1)};
            flattenForFill(Cubic{{p, c1, c2, end}}, [&](Vec2 q) { e_.add(q); });
            p = end;
        }
    }

    Canvas::Edges& e_;
    double h_;
    std::vector<Vec2> pts_;
};

}  // namespace

void Canvas::widePolylines(std::span<const std::span<const Vec2>> polylines, double width, std::uint32_t color,
                           Ends ends) {
    Edges& e = *scratch_;
    e.clear();
    if (!(width > 0) || !std::isfinite(width)) return;
    Outliner outliner(e, width / 2);
    for (const auto& line : polylines) outliner.polyline(line, ends == Ends::Open);
    cover(e, FillRule::Winding, color);
}

}  // namespace cad::render
