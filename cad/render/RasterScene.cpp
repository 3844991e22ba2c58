#include "cad/render/RasterScene.h"

#include <algorithm>
#include <cmath>

namespace cad::render {

ClipOutlines clipOutlines(const Scene& scene) {
    ClipOutlines clips;
    for (const Path& area : scene.clips) {
        auto& outlines = clips.emplace_back();
        for (const Path::Element& e : area.elements()) {
            if (e.isMoveTo() || outlines.empty()) outlines.emplace_back();
            outlines.back().push_back(Vec2{e.x, e.y});
        }
    }
    return clips;
}

bool paintsWithoutQt(const Scene& scene) {
    // Texts of shape fonts are pen strokes; filled outlines come from TrueType faces.
    return scene.rasters.empty() &&
           std::all_of(scene.texts.begin(), scene.texts.end(), [](const TextShape& t) { return t.path.isEmpty(); });
}

namespace {

// Paints the items in order with one pen at a time, the way Backend.cpp does:
// the same decisions in the same order give the same pixels.
class ScenePainter {
public:
    ScenePainter(Canvas& canvas, const Scene& scene, const ClipOutlines& clips, const PixelView& view,
                 const PaintOptions& o)
        : canvas_(canvas), scene_(scene), clips_(clips), view_(view), o_(o), foreground_(foregroundFor(o.background)) {}

    void paint() {
        canvas_.clipToPicture();
        for (const Item& item : scene_.order) {
            if (item.kind != Item::Kind::Stroke || item.clip != currentClip_) endRun();
            if (item.clip != currentClip_) clipTo(item.clip);
            switch (item.kind) {
            case Item::Kind::Stroke: stroke(scene_.strokes[item.index]); break;
            case Item::Kind::Fill: fill(scene_.fills[item.index]); break;
            case Item::Kind::Point: marker(scene_.points[item.index]); break;
            case Item::Kind::Infinite: infinite(scene_.infinite[item.index]); break;
            case Item::Kind::Text: text(scene_.texts[item.index]); break;
            case Item::Kind::Raster: break;
            }
        }
        endRun();
        canvas_.clipToPicture();
    }

private:
    std::uint32_t color(const PaintColor& c) const { return resolveColor(c.rgb, c.foreground, foreground_, o_.colors); }
    double width(double mm) const { return penWidth(mm, o_.lineweights, o_.longSide); }

    void clipTo(int clip) {
        currentClip_ = clip;
        if (clip < 0 || static_cast<std::size_t>(clip) >= clips_.size()) {
            canvas_.clipToPicture();
            return;
        }
        area_.clear();
        double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
        std::size_t points = 0;
        for (const auto& outline : clips_[static_cast<std::size_t>(clip)]) {
            auto& mapped = area_.emplace_back();
            for (const Vec2& p : outline) {
                const Vec2 q = view_.pixel(p);
                mapped.push_back(q);
                minX = std::min(minX, q.x); maxX = std::max(maxX, q.x);
                minY = std::min(minY, q.y); maxY = std::max(maxY, q.y);
                ++points;
            }
        }
        // A rectangle along the axes clips as one.
        bool rectangle = area_.size() == 1 && points <= 6 && points >= 4;
        for (const Vec2& q : area_.empty() ? std::vector<Vec2>{} : area_[0])
            rectangle = rectangle && (q.x == minX || q.x == maxX) && (q.y == minY || q.y == maxY);
        if (rectangle) canvas_.clipToRect(minX, minY, maxX - minX, maxY - minY);
        else canvas_.clipToArea(area_);
    }

    // Runs of thin two-point strokes and dots of one pen: the lines as they
    // come, the dots after them.
    void joinRun(const PaintColor& c, double mm) {
        if (mm == runMm_ && c.rgb == runColor_.rgb && c.foreground == runColor_.foreground) return;
        endRun();
        runColor_ = c;
        runMm_ = mm;
        runPen_ = color(c);
    }
    void endRun() {
        for (const Vec2& p : runDots_) canvas_.dot(p, runPen_);
        runDots_.clear();
        runMm_ = -1;
    }

    void wideDot(Vec2 p, double w, std::uint32_t pen) {
        // A dot of a wide pen is a line of 1/63 pixel with round ends.
        const Vec2 line[2] = {p, {p.x + 1 / 63., p.y}};
        const std::span<const Vec2> one(line, 2);
        canvas_.widePolylines(std::span(&one, 1), w, pen);
    }

    void pieces(const DashPieces& dashes, double w, std::uint32_t pen) {
        if (w <= 1) {
            for (std::size_t i = 0; i < dashes.size(); ++i) canvas_.thinPolyline(dashes[i], pen);
            return;
        }
        spans_.clear();
        for (std::size_t i = 0; i < dashes.size(); ++i) spans_.push_back(dashes[i]);
        canvas_.widePolylines(spans_, w, pen);
    }

    void stroke(const Stroke& s) {
        if (s.points.empty()) return;
        const double w = width(s.lineweightMm);
        if (s.points.size() == 2 && !s.closed && s.dashes.empty() && w <= 1) {
            const Vec2 a = view_.pixel(s.points[0]), b = view_.pixel(s.points[1]);
            const double dx = b.x - a.x, dy = b.y - a.y;
            joinRun(s.color, s.lineweightMm);
            if (dx * dx + dy * dy < 0.25) runDots_.push_back(a);
            else canvas_.thinLine(a, b, runPen_);
            return;
        }
        pixels_.clear();
        for (const Vec2& p : s.points) pixels_.push_back(view_.pixel(p));
        if (s.closed) pixels_.push_back(pixels_.front());
        bool zeroLength = true;
        const Vec2 first = pixels_[0];
        for (std::size_t i = 1; i < pixels_.size() && zeroLength; ++i) {
            const double dx = pixels_[i].x - first.x, dy = pixels_[i].y - first.y;
            zeroLength = dx * dx + dy * dy < 0.25;
        }
        scaled_.clear();
        for (double d : s.dashes) scaled_.push_back(d * view_.scale);
        const bool continuous = !dashedAtThisScale(scaled_);
        if ((zeroLength || (continuous && pixels_.size() == 2)) && w <= 1) {
            joinRun(s.color, s.lineweightMm);
            if (zeroLength) runDots_.push_back(first);
            else canvas_.thinLine(pixels_[0], pixels_[1], runPen_);
            return;
        }
        endRun();
        const std::uint32_t pen = color(s.color);
        if (zeroLength) {
            if (w <= 1) canvas_.dot(first, pen);
            else wideDot(first, w, pen);
            return;
        }
        if (continuous) {
            if (w <= 1) {
                canvas_.thinPolyline(pixels_, pen);
            } else {
                const std::span<const Vec2> one(pixels_);
                canvas_.widePolylines(std::span(&one, 1), w, pen, Canvas::Ends::Open);
            }
            return;
        }
        cutDashes(pixels_, scaled_, dashes_);
        pieces(dashes_, w, pen);
    }

    // The pen strokes of a shape-font text (filled outlines are not painted here).
    void text(const TextShape& t) {
        if (t.strokes.isEmpty()) return;
        text_.clear();
        double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
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
            minX = std::min(minX, q.x); maxX = std::max(maxX, q.x);
            minY = std::min(minY, q.y); maxY = std::max(maxY, q.y);
        }
        endSubpath();
        const std::uint32_t pen = color(t.color);
        // Smaller than a pixel: one pixel's worth of ink where it is.
        if (maxX - minX < 1.0 && maxY - minY < 1.0) {
            canvas_.fillRect((minX + maxX) / 2, (minY + maxY) / 2, 1, 1, pen);
            return;
        }
        pieces(text_, width(t.lineweightMm), pen);
    }

    void fill(const Fill& f) {
        outlines_.resize(f.outlines.size());
        double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
        for (std::size_t i = 0; i < f.outlines.size(); ++i) {
            outlines_[i].clear();
            for (const Vec2& p : f.outlines[i]) {
                const Vec2 q = view_.pixel(p);
                outlines_[i].push_back(q);
                minX = std::min(minX, q.x); maxX = std::max(maxX, q.x);
                minY = std::min(minY, q.y); maxY = std::max(maxY, q.y);
            }
        }
        const std::uint32_t c = f.background ? o_.background : color(f.color);
        canvas_.fillPolygons(outlines_, Canvas::FillRule::OddEven, c);
        // Hairline-thin areas (a solid seen edge-on) must not vanish.
        if (f.background || minX > maxX) return;
        if (maxX - minX < 1.5 || maxY - minY < 1.5) {
            for (auto& o : outlines_) {
                if (o.empty()) continue;
                if (!(o.front() == o.back())) o.push_back(o.front());
                canvas_.thinPolyline(o, c);
            }
        }
    }

    void marker(const PointMarker& m) {
        const Vec2 c = view_.pixel(m.position);
        const double viewHeight = view_.height / view_.scale;
        const double size = m.size > 0 ? m.size : (m.size < 0 ? -m.size / 100.0 * viewHeight : 0.05 * viewHeight);
        const double px = std::max(2.0, size * view_.scale), r = px / 2;
        const double w = width(m.lineweightMm);
        const std::uint32_t pen = color(m.color);
        auto line = [&](Vec2 a, Vec2 b) {
            if (w <= 1) {
                canvas_.thinLine(a, b, pen);
                return;
            }
            if (a == b) {
                wideDot(a, w, pen);
                return;
            }
            const Vec2 both[2] = {a, b};
            const std::span<const Vec2> one(both, 2);
            canvas_.widePolylines(std::span(&one, 1), w, pen);
        };
        const int shape = m.mode & 7;
        if (shape == 0) {
            // A dot one screen pixel wide would all but vanish in a picture this large.
            const double dot = std::max(1.5, w / 2 + 0.5);
            canvas_.fillEllipse(c, dot, dot, pen);
        } else if (shape == 2) {
            line({c.x - r, c.y}, {c.x + r, c.y});
            line({c.x, c.y - r}, {c.x, c.y + r});
        } else if (shape == 3) {
            line({c.x - r, c.y - r}, {c.x + r, c.y + r});
            line({c.x - r, c.y + r}, {c.x + r, c.y - r});
        } else if (shape == 4) {
            line(c, {c.x, c.y - r});
        }
        if (m.mode & 32) {
            if (w <= 1) {
                canvas_.thinEllipse(c, r, r, pen);
            } else {
                std::vector<Vec2> circle;
                const int n = std::clamp(static_cast<int>(r * 4), 16, 512);
                for (int i = 0; i <= n; ++i) {
                    const double t = 2 * M_PI * i / n;
                    circle.push_back({c.x + r * std::cos(t), c.y + r * std::sin(t)});
                }
                circle.back() = circle.front();
                const std::span<const Vec2> one(circle);
                canvas_.widePolylines(std::span(&one, 1), w, pen);
            }
        }
        if (m.mode & 64) {
            const std::vector<Vec2> square{{c.x - r, c.y - r}, {c.x - r + px, c.y - r}, {c.x - r + px, c.y - r + px},
                                           {c.x - r, c.y - r + px}, {c.x - r, c.y - r}};
            if (w <= 1) {
                canvas_.thinPolyline(square, pen);
            } else {
                const std::span<const Vec2> one(square);
                canvas_.widePolylines(std::span(&one, 1), w, pen);
            }
        }
    }

    void infinite(const InfiniteLine& l) {
        const Vec2 base = view_.pixel(l.base);
        const Vec2 dir{l.direction.x, -l.direction.y};
        Vec2 a, b;
        if (!clipLine(base, dir, l.bothWays, -8, -8, view_.width + 8.0, view_.height + 8.0, &a, &b)) return;
        scaled_.clear();
        for (double d : l.dashes) scaled_.push_back(d * view_.scale);
        const Vec2 ends[2] = {a, b};
        cutDashes(std::span<const Vec2>(ends, 2), scaled_, dashes_);
        pieces(dashes_, width(l.lineweightMm), color(l.color));
    }

    Canvas& canvas_;
    const Scene& scene_;
    const ClipOutlines& clips_;
    const PixelView& view_;
    const PaintOptions& o_;
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

}  // namespace

void paintScene(Canvas& canvas, const Scene& scene, const ClipOutlines& clips, const PixelView& view,
                const PaintOptions& options) {
    ScenePainter(canvas, scene, clips, view, options).paint();
}

}  // namespace cad::render
