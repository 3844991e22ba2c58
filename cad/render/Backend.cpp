#include "cad/render/Backend.h"

#include "cad/render/PaintRules.h"

#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <utility>

namespace cad::render {

namespace {

QColor resolve(const PaintColor& c, const QColor& foreground, ColorMode mode) {
    return QColor::fromRgb(resolveColor(c.rgb, c.foreground, foreground.rgb(), mode));
}

double penWidth(double mm, const RenderOptions& o) { return cad::render::penWidth(mm, o.lineweights, o.longSide); }

// The polyline's dashes as the pieces of a path.
void addDashed(QPainterPath& out, const std::vector<QPointF>& pts, const std::vector<double>& dashes) {
    thread_local std::vector<Vec2> points;
    thread_local DashPieces pieces;
    points.clear();
    for (const QPointF& p : pts) points.push_back({p.x(), p.y()});
    cutDashes(points, dashes, pieces);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const auto piece = pieces[i];
        out.moveTo(piece[0].x, piece[0].y);
        for (std::size_t j = 1; j < piece.size(); ++j) out.lineTo(piece[j].x, piece[j].y);
    }
}

bool clipLine(QPointF base, QPointF dir, bool bothWays, const QRectF& r, QPointF* a, QPointF* b) {
    Vec2 from, to;
    if (!cad::render::clipLine({base.x(), base.y()}, {dir.x(), dir.y()}, bothWays, r.left(), r.top(), r.right(),
                               r.bottom(), &from, &to))
        return false;
    *a = QPointF(from.x, from.y);
    *b = QPointF(to.x, to.y);
    return true;
}

}  // namespace

namespace {

// The pixels of a Format_RGB32 picture being painted, for dots to be set
// straight into them.
struct Pixels {
    uchar* bits = nullptr;
    qsizetype bytesPerLine = 0;
    int width = 0, height = 0;
};

void paintItems(QPainter& painter, const Scene& scene, const ViewTransform& view, const RenderOptions& o,
                const Pixels& pixels);

}  // namespace

QImage paintScene(const Scene& scene, const ViewTransform& view, const RenderOptions& o) {
    QImage image(view.width, view.height, QImage::Format_RGB32);
    const QColor background = o.background.isValid() ? o.background : QColor(Qt::white);
    image.fill(background.rgb());
    if (image.isNull()) return image;
    const Pixels pixels{image.bits(), image.bytesPerLine(), image.width(), image.height()};
    QPainter painter(&image);
    paintItems(painter, scene, view, o, pixels);
    painter.end();
    return image;
}

void paintSceneOn(QPainter& painter, const Scene& scene, const ViewTransform& view, const RenderOptions& o) {
    paintItems(painter, scene, view, o, Pixels{});
}

namespace {

void paintItems(QPainter& painter, const Scene& scene, const ViewTransform& view, const RenderOptions& o,
                const Pixels& picture) {
    const QColor background = o.background.isValid() ? o.background : QColor(Qt::white);
    const QColor foreground = background.lightness() >= 128 ? QColor(Qt::black) : QColor(Qt::white);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, o.antialias);
    const Affine toPixelMap(view.scale, 0, 0, -view.scale, view.marginX - view.originX * view.scale,
                            view.height - view.marginY + view.originY * view.scale);
    const QTransform toPixel = toPixelMap.toQTransform();
    const QRectF frame(-8, -8, view.width + 16, view.height + 16);

    // Most items share their pen with the item before: the last one is kept
    // rather than made anew for every stroke.
    QPen lastPen;
    PaintColor lastColor;
    double lastMm = -1;
    auto pen = [&](const PaintColor& c, double mm) -> const QPen& {
        if (mm == lastMm && c.rgb == lastColor.rgb && c.foreground == lastColor.foreground) return lastPen;
        lastPen = QPen(resolve(c, foreground, o.colors));
        lastPen.setWidthF(penWidth(mm, o));
        lastPen.setCapStyle(Qt::RoundCap);
        lastPen.setJoinStyle(Qt::RoundJoin);
        lastColor = c;
        lastMm = mm;
        return lastPen;
    };
    // Scratch buffers shared by all strokes.
    std::vector<QPointF> pixels;
    std::vector<double> dashes;
    auto scaledDashes = [&](const std::vector<double>& drawingUnits) -> const std::vector<double>& {
        dashes.clear();
        for (double d : drawingUnits) dashes.push_back(d * view.scale);
        return dashes;
    };
    // The raster engine draws a line with an antialiased pen no wider than a
    // pixel on its own, pixel by pixel, whatever call it comes in: a run of
    // such two-point strokes and dots with one pen goes to it in one call
    // rather than one each, which paints the same pixels and saves setting
    // the line drawing up again for every one. The dots of a run come after
    // its lines (a dot is one opaque pixel, the same whichever comes first,
    // unless a later line of the run crosses it). Wider pens outline a call
    // as one shape, and other devices (PDF, SVG) keep their items apart, so
    // those get one call each.
    const QTransform::TransformationType placed = painter.combinedTransform().type();
    const bool raster = painter.paintEngine() && painter.paintEngine()->type() == QPaintEngine::Raster;
    const bool thinRuns = o.antialias && raster && placed <= QTransform::TxTranslate;
    // The raster engine draws such lines straight into the pixels when the
    // painter clips to a rectangle, and through a list of spans that it
    // blends in a second pass when it does not: the same pixels at several
    // times the cost. So what is not within a viewport is clipped to the
    // whole device rather than not at all.
    const bool wholeDevice = raster && placed == QTransform::TxNone && !painter.hasClipping() && painter.device();
    const QRect device = wholeDevice ? QRect(0, 0, painter.device()->width(), painter.device()->height()) : QRect();
    auto unclipped = [&] {
        if (wholeDevice) painter.setClipRect(device);
        else painter.setClipping(false);
    };
    if (wholeDevice) unclipped();
    // A dot of a pen no wider than a pixel is that one pixel, which the
    // painter sets through a list of spans to blend: in a picture of our own,
    // outside any viewport, it is set here instead.
    const bool dotsStraightIn = wholeDevice && picture.bits && painter.device() &&
                                painter.device()->width() == picture.width && painter.device()->height() == picture.height;
    int currentClip = -1;
    std::vector<QLineF> runLines;
    std::vector<QPointF> runDots;
    PaintColor runColor;
    double runMm = -1;
    auto endRun = [&] {
        if (!runLines.empty()) painter.drawLines(runLines.data(), static_cast<int>(runLines.size()));
        if (!runDots.empty()) {
            if (dotsStraightIn && currentClip < 0 && lastPen.color().alpha() == 255) {
                // What the painter makes of a dot with such a pen: the one
                // pixel nearest to it in the pen's colour, when it is within the picture.
                const QRgb color = lastPen.color().rgba();
                for (const QPointF& p : runDots) {
                    if (!(std::fabs(p.x()) < 1e9 && std::fabs(p.y()) < 1e9)) continue;
                    const int x = qRound(p.x()), y = qRound(p.y());
                    if (x < 0 || y < 0 || x >= picture.width || y >= picture.height) continue;
                    reinterpret_cast<QRgb*>(picture.bits + y * picture.bytesPerLine)[x] = color;
                }
            } else {
                painter.drawPoints(runDots.data(), static_cast<int>(runDots.size()));
            }
        }
        runLines.clear();
        runDots.clear();
        runMm = -1;
    };
    auto joinRun = [&](const PaintColor& c, double mm) {
        if (mm == runMm && c.rgb == runColor.rgb && c.foreground == runColor.foreground) return;
        endRun();
        painter.setBrush(Qt::NoBrush);
        painter.setPen(pen(c, mm));
        runColor = c;
        runMm = mm;
    };
    for (const Item& item : scene.order) {
        if (item.kind != Item::Kind::Stroke || item.clip != currentClip) endRun();
        if (item.clip != currentClip) {
            currentClip = item.clip;
            if (currentClip >= 0 && static_cast<std::size_t>(currentClip) < scene.clips.size()) {
                // Rectangular viewports clip by rectangle: a general clip
                // path makes every primitive after it many times slower.
                const QPainterPath area = scene.clips[static_cast<std::size_t>(currentClip)].toQPainterPath(toPixelMap);
                const QRectF box = area.boundingRect();
                QPainterPath boxPath;
                boxPath.addRect(box);
                if (area.elementCount() <= 6 && boxPath.subtracted(area).boundingRect().isEmpty())
                    painter.setClipRect(box);
                else
                    painter.setClipPath(area);
            } else {
                unclipped();
            }
        }
        switch (item.kind) {
        case Item::Kind::Stroke: {
            const Stroke& s = scene.strokes[item.index];
            // Most strokes are lines: straight to the run, without the list of pixels.
            if (thinRuns && s.points.size() == 2 && !s.closed && s.dashes.empty() && penWidth(s.lineweightMm, o) <= 1) {
                const QPointF a = view.toPixel(s.points[0]), b = view.toPixel(s.points[1]);
                const double dx = b.x() - a.x(), dy = b.y() - a.y();
                joinRun(s.color, s.lineweightMm);
                if (dx * dx + dy * dy < 0.25) runDots.push_back(a);
                else runLines.emplace_back(a, b);
                break;
            }
            pixels.clear();
            for (const Vec2& p : s.points) pixels.push_back(view.toPixel(p));
            if (s.closed) pixels.push_back(pixels.front());
            // Within half a pixel of its first point all along: a dot.
            bool zeroLength = true;
            const QPointF first = pixels[0];
            for (std::size_t i = 1; i < pixels.size() && zeroLength; ++i) {
                const double dx = pixels[i].x() - first.x(), dy = pixels[i].y() - first.y();
                zeroLength = dx * dx + dy * dy < 0.25;
            }
            const bool continuous = !dashedAtThisScale(scaledDashes(s.dashes));
            if (thinRuns && (zeroLength || (continuous && pixels.size() == 2)) && penWidth(s.lineweightMm, o) <= 1) {
                joinRun(s.color, s.lineweightMm);
                if (zeroLength) runDots.push_back(first);
                else runLines.emplace_back(pixels[0], pixels[1]);
                break;
            }
            endRun();
            painter.setBrush(Qt::NoBrush);
            painter.setPen(pen(s.color, s.lineweightMm));
            if (zeroLength) {
                painter.drawPoint(first);
                break;
            }
            if (continuous) {
                // Continuous: the points as they are, without building a path.
                painter.drawPolyline(pixels.data(), static_cast<int>(pixels.size()));
                break;
            }
            QPainterPath path;
            addDashed(path, pixels, dashes);
            painter.drawPath(path);
            break;
        }
        case Item::Kind::Fill: {
            const Fill& f = scene.fills[item.index];
            QPainterPath path;
            path.setFillRule(Qt::OddEvenFill);
            for (const auto& outline : f.outlines) {
                QPolygonF poly;
                for (const Vec2& p : outline) poly << view.toPixel(p);
                path.addPolygon(poly);
                path.closeSubpath();
            }
            const QColor color = f.background ? background : resolve(f.color, foreground, o.colors);
            painter.setPen(Qt::NoPen);
            painter.setBrush(color);
            painter.drawPath(path);
            if (!f.background) {
                // Hairline-thin areas (a solid seen edge-on) must not vanish.
                painter.setPen(QPen(color, 1.0));
                painter.setBrush(Qt::NoBrush);
                const QRectF bounds = path.boundingRect();
                if (bounds.width() < 1.5 || bounds.height() < 1.5) painter.drawPath(path);
            }
            break;
        }
        case Item::Kind::Text: {
            const TextShape& t = scene.texts[item.index];
            const QColor color = resolve(t.color, foreground, o.colors);
            if (!t.path.isEmpty()) {
                const QPainterPath path = t.path.toQPainterPath(toPixelMap);
                const QRectF r = path.boundingRect();
                painter.setPen(Qt::NoPen);
                painter.setBrush(color);
                if (r.width() < 1.0 && r.height() < 1.0) painter.fillRect(QRectF(r.center(), QSizeF(1, 1)), color);
                else painter.drawPath(path);
            }
            if (!t.strokes.isEmpty()) {
                const QPainterPath path = t.strokes.toQPainterPath(toPixelMap);
                const QRectF r = path.boundingRect();
                if (r.width() < 1.0 && r.height() < 1.0) {
                    painter.fillRect(QRectF(r.center(), QSizeF(1, 1)), color);
                    break;
                }
                painter.setBrush(Qt::NoBrush);
                painter.setPen(pen(t.color, t.lineweightMm));
                painter.drawPath(path);
            }
            break;
        }
        case Item::Kind::Point: {
            const PointMarker& m = scene.points[item.index];
            const QPointF c = view.toPixel(m.position);
            const double viewHeight = view.height / view.scale;
            double size = m.size > 0 ? m.size : (m.size < 0 ? -m.size / 100.0 * viewHeight : 0.05 * viewHeight);
            const double px = std::max(2.0, size * view.scale), r = px / 2;
            painter.setPen(pen(m.color, m.lineweightMm));
            painter.setBrush(Qt::NoBrush);
            const int shape = m.mode & 7;
            if (shape == 0) {
                // A dot one screen pixel wide would all but vanish in a picture this large.
                const double dot = std::max(1.5, penWidth(m.lineweightMm, o) / 2 + 0.5);
                painter.setPen(Qt::NoPen);
                painter.setBrush(resolve(m.color, foreground, o.colors));
                painter.drawEllipse(c, dot, dot);
                // The circle and square around it are outlines, as around the other shapes.
                painter.setPen(pen(m.color, m.lineweightMm));
                painter.setBrush(Qt::NoBrush);
            }
            else if (shape == 2) {
                painter.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
                painter.drawLine(QPointF(c.x(), c.y() - r), QPointF(c.x(), c.y() + r));
            } else if (shape == 3) {
                painter.drawLine(QPointF(c.x() - r, c.y() - r), QPointF(c.x() + r, c.y() + r));
                painter.drawLine(QPointF(c.x() - r, c.y() + r), QPointF(c.x() + r, c.y() - r));
            } else if (shape == 4) {
                painter.drawLine(c, QPointF(c.x(), c.y() - r));
            }
            if (m.mode & 32) painter.drawEllipse(c, r, r);
            if (m.mode & 64) painter.drawRect(QRectF(c.x() - r, c.y() - r, px, px));
            break;
        }
        case Item::Kind::Raster: {
            const RasterPicture& r = scene.rasters[item.index];
            if (!r.image || r.image->isNull()) break;
            const QTransform placement = r.placement.toQTransform();
            painter.save();
            if (!r.clip.isEmpty()) {
                QPainterPath area = r.clip.toQPainterPath(toPixelMap);
                if (r.clipInverted) {
                    QPainterPath whole;
                    whole.addPolygon((placement * toPixel).map(QPolygonF(QRectF(0, 0, r.image->width(), r.image->height()))));
                    area = whole.subtracted(area);
                }
                painter.setClipPath(area, painter.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
            }
            painter.setTransform(placement * toPixel, true);
            painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
            painter.drawImage(QPointF(0, 0), *r.image);
            painter.restore();
            break;
        }
        case Item::Kind::Infinite: {
            const InfiniteLine& l = scene.infinite[item.index];
            const QPointF base = view.toPixel(l.base);
            const QPointF dir(l.direction.x, -l.direction.y);
            QPointF a, b;
            if (!clipLine(base, dir, l.bothWays, frame, &a, &b)) break;
            QPainterPath path;
            addDashed(path, {a, b}, scaledDashes(l.dashes));
            painter.setPen(pen(l.color, l.lineweightMm));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(path);
            break;
        }
        }
    }
    endRun();
    painter.restore();
}

}  // namespace

}  // namespace cad::render
