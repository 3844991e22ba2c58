#include "cad/render/Backend.h"

#include <QImage>
#include <QPainterPath>
#include <QPolygonF>

#include "cad/render/SceneWalk.h"

namespace cad::render {

namespace {

QPolygonF polygonOf(std::span<const Vec2> points) {
    QPolygonF polygon;
    polygon.reserve(static_cast<qsizetype>(points.size()));
    for (const Vec2& p : points) polygon << QPointF(p.x, p.y);
    return polygon;
}

QPainterPath areaOf(std::span<const std::vector<Vec2>> outlines, Qt::FillRule rule) {
    QPainterPath path;
    path.setFillRule(rule);
    for (const auto& o : outlines) {
        if (o.empty()) continue;
        path.addPolygon(polygonOf(o));
        path.closeSubpath();
    }
    return path;
}

QPen penOf(std::uint32_t color, double width) {
    QPen pen(QColor::fromRgb(color), width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

class QtTarget final : public PaintTarget {
public:
    explicit QtTarget(QPainter& painter) : painter_(painter) {}

    void clip(const Clip& c) override {
        switch (c.kind) {
        case Clip::Kind::Picture: painter_.setClipping(false); break;
        case Clip::Kind::Rect: painter_.setClipRect(QRectF(c.left, c.top, c.width, c.height)); break;
        case Clip::Kind::Area: painter_.setClipPath(areaOf(c.outlines, Qt::OddEvenFill)); break;
        }
    }
    void thinPolyline(std::span<const Vec2> points, std::uint32_t color) override {
        painter_.setPen(penOf(color, 1.0));
        painter_.setBrush(Qt::NoBrush);
        const QPolygonF polygon = polygonOf(points);
        painter_.drawPolyline(polygon);
    }
    void dot(Vec2 p, std::uint32_t color) override {
        painter_.setPen(penOf(color, 1.0));
        painter_.drawPoint(QPointF(p.x, p.y));
    }
    void widePolylines(std::span<const std::span<const Vec2>> polylines, double width, std::uint32_t color,
                       LineEnds ends) override {
        QPainterPath path;
        for (const auto& line : polylines) {
            if (line.empty()) continue;
            path.moveTo(line[0].x, line[0].y);
            for (std::size_t i = 1; i < line.size(); ++i) path.lineTo(line[i].x, line[i].y);
            if (ends == LineEnds::LoopWhenClosed && line.size() > 2 && line.front() == line.back()) path.closeSubpath();
        }
        painter_.setPen(penOf(color, width));
        painter_.setBrush(Qt::NoBrush);
        painter_.drawPath(path);
    }
    void fillPolygons(std::span<const std::vector<Vec2>> outlines, FillRule rule, std::uint32_t color) override {
        painter_.setPen(Qt::NoPen);
        painter_.setBrush(QColor::fromRgb(color));
        painter_.drawPath(areaOf(outlines, rule == FillRule::Winding ? Qt::WindingFill : Qt::OddEvenFill));
    }
    void circle(Vec2 center, double radius, std::uint32_t color, bool filled) override {
        if (filled) {
            painter_.setPen(Qt::NoPen);
            painter_.setBrush(QColor::fromRgb(color));
        } else {
            painter_.setPen(penOf(color, 1.0));
            painter_.setBrush(Qt::NoBrush);
        }
        painter_.drawEllipse(QPointF(center.x, center.y), radius, radius);
    }
    void picture(const Pixels& pixels, const Affine& toPixel, std::span<const std::vector<Vec2>> within) override {
        if (pixels.width <= 0 || pixels.height <= 0 ||
            pixels.argb.size() / static_cast<std::size_t>(pixels.width) < static_cast<std::size_t>(pixels.height))
            return;
        // The scene's pixels as they are, without a copy.
        const QImage image(reinterpret_cast<const uchar*>(pixels.argb.data()), pixels.width, pixels.height,
                           static_cast<qsizetype>(pixels.width) * 4, QImage::Format_ARGB32_Premultiplied);
        painter_.save();
        if (!within.empty())
            painter_.setClipPath(areaOf(within, Qt::OddEvenFill),
                                 painter_.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
        painter_.setTransform(toPixel.toQTransform(), true);
        painter_.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter_.drawImage(QPointF(0, 0), image);
        painter_.restore();
    }

private:
    QPainter& painter_;
};

}  // namespace

void paintSceneOn(QPainter& painter, const Scene& scene, const PixelView& view, const RenderOptions& options) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, options.antialias);
    QtTarget target(painter);
    walkScene(target, scene, view, options);
    painter.restore();
}

}  // namespace cad::render
