#include "cad/render/SceneWalk.h"

#include <algorithm>
#include <cmath>

#include "cad/render/Raster.h"

namespace cad::render {

Affine pixelMap(const PixelView& view) {
    const double s = view.scale;
    if (view.upsideDown)
        return Affine(-s, 0, 0, s, view.width - view.marginX + view.originX * s, view.marginY - view.originY * s);
    return Affine(s, 0, 0, -s, view.marginX - view.originX * s, view.height - view.marginY + view.originY * s);
}

namespace {

// Where the corners of what was gathered lie.
struct Bounds {
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    void add(Vec2 q) {
        minX = std::min(minX, q.x); maxX = std::max(maxX, q.x);
        minY = std::min(minY, q.y); maxY = std::max(maxY, q.y);
    }
    bool empty() const { return minX > maxX; }
    // Smaller than a pixel both ways.
    bool belowAPixel() const { return maxX - minX < 1.0 && maxY - minY < 1.0; }
    Vec2 center() const { return {(minX + maxX) / 2, (minY + maxY) / 2}; }
};

// A path's outlines in pixels, curves flattened, each subpath one outline.
void flattenPath(const Path& path, const Affine& map, std::vector<std::vector<Vec2>>& out, Bounds& bounds) {
    out.clear();
    const auto& elements = path.elements();
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const Path::Element& e = elements[i];
        const Vec2 p = map.map(Vec2{e.x, e.y});
        if (e.isMoveTo() || out.empty()) {
            out.emplace_back().push_back(p);
        } else if (e.isCurveTo() && i + 2 < elements.size()) {
            const Vec2 c2 = map.map(Vec2{elements[i + 1].x, elements[i + 1].y});
            const Vec2 end = map.map(Vec2{elements[i + 2].x, elements[i + 2].y});
            flattenCubic(out.back().back(), p, c2, end, out.back());
            i += 2;
        } else {
            out.back().push_back(p);
        }
    }
    for (const auto& o : out)
        for (const Vec2& q : o) bounds.add(q);
}

// Walks the items in order with one pen at a time. Thin two-point strokes
// and dots of one pen run together: the lines as they come, the dots when
// the run ends (a dot is one opaque pixel, the same whichever comes first,
// unless a later line of the run crosses it).
class SceneWalker {
public:
    SceneWalker(PaintTarget& target, const Scene& scene, const PixelView& view, const RenderOptions& o)
        : target_(target), scene_(scene), view_(view), map_(pixelMap(view)), o_(o),
          background_(o.background | 0xFF000000u), foreground_(foregroundFor(background_)) {}

    void walk() {
        target_.clip({});
        for (const Item& item : scene_.order) {
            if (item.kind != Item::Kind::Stroke || item.clip != currentClip_) endRun();
            if (item.clip != currentClip_) clipTo(item.clip);
            switch (item.kind) {
            case Item::Kind::Stroke: stroke(scene_.strokes[item.index]); break;
            case Item::Kind::Fill: fill(scene_.fills[item.index]); break;
            case Item::Kind::Point: marker(scene_.points[item.index]); break;
            case Item::Kind::Infinite: infinite(scene_.infinite[item.index]); break;
            case Item::Kind::Text: text(scene_.texts[item.index]); break;
            case Item::Kind::Raster: picture(scene_.rasters[item.index]); break;
            }
        }
        endRun();
        target_.clip({});
    }

private:
    std::uint32_t color(const PaintColor& c) const { return resolveColor(c.rgb, c.foreground, foreground_, o_.colors); }
    double width(double mm) const { return penWidth(mm, o_.lineweights, o_.longSide); }

    void clipTo(int clip) {
        currentClip_ = clip;
        if (clip < 0 || static_cast<std::size_t>(clip) >= scene_.clips.size()) {
            target_.clip({});
            return;
        }
        area_.clear();
        Bounds b;
        std::size_t points = 0;
        for (const Path::Element& e : scene_.clips[static_cast<std::size_t>(clip)].elements()) {
            if (e.isMoveTo() || area_.empty()) area_.emplace_back();
            const Vec2 q = view_.pixel(Vec2{e.x, e.y});
            area_.back().push_back(q);
            b.add(q);
            ++points;
        }
        // A rectangle along the axes clips as one: painting within a
        // general area costs several times more.
        bool rectangle = area_.size() == 1 && points <= 6 && points >= 4;
        for (const Vec2& q : area_.empty() ? std::vector<Vec2>{} : area_[0])
            rectangle = rectangle && (q.x == b.minX || q.x == b.maxX) && (q.y == b.minY || q.y == b.maxY);
        PaintTarget::Clip c;
        if (rectangle) {
            c.kind = PaintTarget::Clip::Kind::Rect;
            c.left = b.minX;
            c.top = b.minY;
            c.width = b.maxX - b.minX;
            c.height = b.maxY - b.minY;
        } else {
            c.kind = PaintTarget::Clip::Kind::Area;
            c.outlines = area_;
        }
        target_.clip(c);
    }

    void joinRun(const PaintColor& c, double mm) {
        if (mm == runMm_ && c.rgb == runColor_.rgb && c.foreground == runColor_.foreground) return;
        endRun();
        runColor_ = c;
        runMm_ = mm;
        runPen_ = color(c);
    }
    void endRun() {
        for (const Vec2& p : runDots_) target_.dot(p, runPen_);
        runDots_.clear();
        runMm_ = -1;
    }

    void line(Vec2 a, Vec2 b, std::uint32_t pen) {
        const Vec2 both[2] = {a, b};
        target_.thinPolyline(both, pen);
    }
    void wideLine(Vec2 a, Vec2 b, double w, std::uint32_t pen) {
        const Vec2 both[2] = {a, b};
        const std::span<const Vec2> one(both, 2);
        target_.widePolylines(std::span(&one, 1), w, pen, LineEnds::LoopWhenClosed);
    }
    // A dot of a wide pen is a line of 1/63 pixel with round ends.
    void wideDot(Vec2 p, double w, std::uint32_t pen) { wideLine(p, {p.x + 1 / 63., p.y}, w, pen); }

    void pieces(const DashPieces& dashes, double w, std::uint32_t pen) {
        if (w <= 1) {
            for (std::size_t i = 0; i < dashes.size(); ++i) target_.thinPolyline(dashes[i], pen);
            return;
        }
        spans_.clear();
        for (std::size_t i = 0; i < dashes.size(); ++i) spans_.push_back(dashes[i]);
        target_.widePolylines(spans_, w, pen, LineEnds::LoopWhenClosed);
    }

    // Within half a pixel of its first point all along: a dot.
    static bool zeroLength(const std::vector<Vec2>& pixels) {
        const Vec2 first = pixels[0];
        for (std::size_t i = 1; i < pixels.size(); ++i) {
            const double dx = pixels[i].x - first.x, dy = pixels[i].y - first.y;
            if (dx * dx + dy * dy >= 0.25) return false;
        }
        return true;
    }

    void stroke(const Stroke& s) {
        if (s.points.empty()) return;
        const double w = width(s.lineweightMm);
        // Most strokes are lines: straight to the run, without the list of pixels.
        if (s.points.size() == 2 && !s.closed && s.dashes.empty() && w <= 1) {
            const Vec2 a = view_.pixel(s.points[0]), b = view_.pixel(s.points[1]);
            const double dx = b.x - a.x, dy = b.y - a.y;
            joinRun(s.color, s.lineweightMm);
            if (dx * dx + dy * dy < 0.25) runDots_.push_back(a);
            else line(a, b, runPen_);
            return;
        }
        pixels_.clear();
        for (const Vec2& p : s.points) pixels_.push_back(view_.pixel(p));
        if (s.closed) pixels_.push_back(pixels_.front());
        const bool dot = zeroLength(pixels_);
        scaled_.clear();
        for (double d : s.dashes) scaled_.push_back(d * view_.scale);
        const bool continuous = !dashedAtThisScale(scaled_);
        if ((dot || (continuous && pixels_.size() == 2)) && w <= 1) {
            joinRun(s.color, s.lineweightMm);
            if (dot) runDots_.push_back(pixels_[0]);
            else line(pixels_[0], pixels_[1], runPen_);
            return;
        }
        endRun();
        const std::uint32_t pen = color(s.color);
        if (dot) {
            if (w <= 1) target_.dot(pixels_[0], pen);
            else wideDot(pixels_[0], w, pen);
            return;
        }
        if (continuous) {
            if (w <= 1) {
                target_.thinPolyline(pixels_, pen);
            } else {
                const std::span<const Vec2> one(pixels_);
                target_.widePolylines(std::span(&one, 1), w, pen, LineEnds::Open);
            }
            return;
        }
        cutDashes(pixels_, scaled_, dashes_);
        pieces(dashes_, w, pen);
    }

    // Smaller than a pixel: one pixel's worth of ink where it is.
    void pixelOfInk(Vec2 at, std::uint32_t pen) {
        const std::vector<Vec2> square{{at.x, at.y}, {at.x + 1, at.y}, {at.x + 1, at.y + 1}, {at.x, at.y + 1}};
        target_.fillPolygons(std::span(&square, 1), FillRule::Winding, pen);
    }

    void text(const TextShape& t) {
        const std::uint32_t pen = color(t.color);
        if (!t.path.isEmpty()) {
            // Glyph outlines, filled as TrueType fills them: by winding, so
            // that overlapping contours of one glyph do not cancel out.
            Bounds b;
            flattenPath(t.path, map_, outlines_, b);
            if (b.belowAPixel()) pixelOfInk(b.center(), pen);
            else target_.fillPolygons(outlines_, FillRule::Winding, pen);
        }
        if (t.strokes.isEmpty()) return;
        text_.clear();
        Bounds b;
        std::size_t start = 0;  // where the subpath at hand begins
        auto endSubpath = [&] {
            // A subpath of a single point draws nothing.
            if (text_.points.size() - start >= 2) text_.ends.push_back(text_.points.size());
            else text_.points.resize(start);
            start = text_.points.size();
        };
        for (const Path::Element& e : t.strokes.elements()) {
            if (e.isMoveTo()) endSubpath();
            const Vec2 q = view_.pixel(Vec2{e.x, e.y});
            text_.points.push_back(q);
            b.add(q);
        }
        endSubpath();
        if (b.belowAPixel()) {
            pixelOfInk(b.center(), pen);
            return;
        }
        pieces(text_, width(t.lineweightMm), pen);
    }

    void fill(const Fill& f) {
        outlines_.resize(f.outlines.size());
        Bounds b;
        for (std::size_t i = 0; i < f.outlines.size(); ++i) {
            outlines_[i].clear();
            for (const Vec2& p : f.outlines[i]) {
                outlines_[i].push_back(view_.pixel(p));
                b.add(outlines_[i].back());
            }
        }
        const std::uint32_t c = f.background ? background_ : color(f.color);
        target_.fillPolygons(outlines_, FillRule::OddEven, c);
        // Hairline-thin areas (a solid seen edge-on) must not vanish.
        if (f.background || b.empty()) return;
        if (b.maxX - b.minX < 1.5 || b.maxY - b.minY < 1.5) {
            for (auto& o : outlines_) {
                if (o.empty()) continue;
                if (!(o.front() == o.back())) o.push_back(o.front());
                target_.thinPolyline(o, c);
            }
        }
    }

    void marker(const PointMarker& m);
    void infinite(const InfiniteLine& l);
    void picture(const RasterPicture& r);

    PaintTarget& target_;
    const Scene& scene_;
    const PixelView& view_;
    const Affine map_;
    const RenderOptions& o_;
    const std::uint32_t background_;
    const std::uint32_t foreground_;
    int currentClip_ = -1;
    // The run of thin lines and dots being painted.
    PaintColor runColor_;
    double runMm_ = -1;
    std::uint32_t runPen_ = 0;
    std::vector<Vec2> runDots_;
    // Scratch space shared by the items.
    std::vector<Vec2> pixels_;
    std::vector<double> scaled_;
    DashPieces dashes_;
    DashPieces text_;
    std::vector<std::span<const Vec2>> spans_;
    std::vector<std::vector<Vec2>> outlines_;
    std::vector<std::vector<Vec2>> area_;
};

// PDMODE's shape (0 dot, 2 cross, 3 diagonal cross, 4 tick; 1 nothing) with
// a circle (32) and a square (64) around it, PDSIZE across.
void SceneWalker::marker(const PointMarker& m) {
    const Vec2 c = view_.pixel(m.position);
    const double viewHeight = view_.height / view_.scale;
    const double size = m.size > 0 ? m.size : (m.size < 0 ? -m.size / 100.0 * viewHeight : 0.05 * viewHeight);
    const double px = std::max(2.0, size * view_.scale), r = px / 2;
    const double w = width(m.lineweightMm);
    const std::uint32_t pen = color(m.color);
    auto stroke = [&](Vec2 a, Vec2 b) {
        if (w <= 1) line(a, b, pen);
        else if (a == b) wideDot(a, w, pen);
        else wideLine(a, b, w, pen);
    };
    auto outline = [&](const std::vector<Vec2>& points) {
        if (w <= 1) {
            target_.thinPolyline(points, pen);
            return;
        }
        const std::span<const Vec2> one(points);
        target_.widePolylines(std::span(&one, 1), w, pen, LineEnds::LoopWhenClosed);
    };
    const int shape = m.mode & 7;
    if (shape == 0) {
        // A dot one screen pixel wide would all but vanish in a picture this large.
        target_.circle(c, std::max(1.5, w / 2 + 0.5), pen, true);
    } else if (shape == 2) {
        stroke({c.x - r, c.y}, {c.x + r, c.y});
        stroke({c.x, c.y - r}, {c.x, c.y + r});
    } else if (shape == 3) {
        stroke({c.x - r, c.y - r}, {c.x + r, c.y + r});
        stroke({c.x - r, c.y + r}, {c.x + r, c.y - r});
    } else if (shape == 4) {
        // The tick points up the drawing, whichever way the picture holds it.
        stroke(c, {c.x, view_.upsideDown ? c.y + r : c.y - r});
    }
    if (m.mode & 32) {
        if (w <= 1) {
            target_.circle(c, r, pen, false);
        } else {
            std::vector<Vec2> circle;
            const int n = std::clamp(static_cast<int>(r * 4), 16, 512);
            for (int i = 0; i <= n; ++i) {
                const double t = 2 * M_PI * i / n;
                circle.push_back({c.x + r * std::cos(t), c.y + r * std::sin(t)});
            }
            circle.back() = circle.front();
            outline(circle);
        }
    }
    if (m.mode & 64)
        outline({{c.x - r, c.y - r}, {c.x - r + px, c.y - r}, {c.x - r + px, c.y - r + px}, {c.x - r, c.y - r + px},
                 {c.x - r, c.y - r}});
}

// Drawn to a little beyond the picture's edges, so that a wide pen's round
// end never shows within it.
void SceneWalker::infinite(const InfiniteLine& l) {
    const Vec2 base = view_.pixel(l.base);
    const Vec2 dir = view_.upsideDown ? Vec2{-l.direction.x, l.direction.y} : Vec2{l.direction.x, -l.direction.y};
    Vec2 a, b;
    if (!clipLine(base, dir, l.bothWays, -8, -8, view_.width + 8.0, view_.height + 8.0, &a, &b)) return;
    scaled_.clear();
    for (double d : l.dashes) scaled_.push_back(d * view_.scale);
    const Vec2 ends[2] = {a, b};
    cutDashes(std::span<const Vec2>(ends, 2), scaled_, dashes_);
    pieces(dashes_, width(l.lineweightMm), color(l.color));
}

// A picture within its clipping outline, or outside it (and within the
// picture) when the clip is inverted.
void SceneWalker::picture(const RasterPicture& r) {
    if (!r.image || r.image->width <= 0 || r.image->height <= 0) return;
    const Affine toPixel = r.placement * map_;
    outlines_.clear();
    if (!r.clip.isEmpty()) {
        Bounds b;
        flattenPath(r.clip, map_, outlines_, b);
        if (r.clipInverted) {
            const double w = r.image->width, h = r.image->height;
            outlines_.push_back({toPixel.map(Vec2{0, 0}), toPixel.map(Vec2{w, 0}), toPixel.map(Vec2{w, h}),
                                 toPixel.map(Vec2{0, h})});
        }
    }
    target_.picture(*r.image, toPixel, outlines_);
}

}  // namespace

void walkScene(PaintTarget& target, const Scene& scene, const PixelView& view, const RenderOptions& options) {
    SceneWalker(target, scene, view, options).walk();
}

}  // namespace cad::render
