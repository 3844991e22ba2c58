// Our outlines and maps as Qt's, for painting through Qt, and back.
#include <QPainterPath>
#include <QPolygonF>
#include <QTransform>

#include "cad/render/Path.h"

namespace cad::render {

Path::Path(const QPainterPath& path) {
    elements_.reserve(static_cast<std::size_t>(path.elementCount()));
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element& e = path.elementAt(i);
        ElementType type = ElementType::LineTo;
        if (e.isMoveTo()) {
            type = ElementType::MoveTo;
            subpathStart_ = i;
        } else if (e.isCurveTo()) {
            type = ElementType::CurveTo;
        } else if (e.type == QPainterPath::CurveToDataElement) {
            type = ElementType::CurveToData;
        }
        elements_.push_back({e.x, e.y, type});
    }
}

QPainterPath Path::toQPainterPath() const { return toQPainterPath(Affine()); }

QPainterPath Path::toQPainterPath(const Affine& map) const {
    // A move and the lines after it go in as a polygon, which Qt takes as it
    // is given, where lineTo() would drop a line to where it already is.
    QPainterPath out;
    QPolygonF run;
    auto flush = [&] {
        if (!run.isEmpty()) out.addPolygon(run);
        run.clear();
    };
    const std::size_t n = elements_.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Element& e = elements_[i];
        const QPointF p = map.map(QPointF(e));
        switch (e.type) {
        case ElementType::MoveTo:
            flush();
            run << p;
            break;
        case ElementType::LineTo:
            if (run.isEmpty()) out.lineTo(p);
            else run << p;
            break;
        case ElementType::CurveTo:
            flush();
            if (i + 2 < n) {
                out.cubicTo(p, map.map(QPointF(elements_[i + 1])), map.map(QPointF(elements_[i + 2])));
                i += 2;
            }
            break;
        case ElementType::CurveToData: break;
        }
    }
    flush();
    return out;
}

QTransform Affine::toQTransform() const { return QTransform(m11_, m12_, m21_, m22_, dx_, dy_); }

}  // namespace cad::render
