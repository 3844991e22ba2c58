#include "cad/render/Path.h"

#include <algorithm>
#include <cmath>

namespace cad::render {

namespace {

// Points this far out (or not numbers at all) are left out of a path, as Qt leaves them.
bool usable(double c) { return std::isfinite(c) && std::fabs(c) < 1e128; }
bool usable(QPointF p) { return usable(p.x()) && usable(p.y()); }

// The parameters in (0, 1) where one coordinate of a cubic piece turns.
int extremes(double a, double b, double c, double d, double t[2]) {
    // The derivative, over 3: (b - a)(1 - t)^2 + 2 (c - b) t (1 - t) + (d - c) t^2.
    const double qa = (b - a) - 2 * (c - b) + (d - c);
    const double qb = 2 * ((c - b) - (b - a));
    const double qc = b - a;
    int n = 0;
    auto keep = [&](double v) {
        if (v > 0 && v < 1) t[n++] = v;
    };
    if (std::fabs(qa) < 1e-12) {
        if (std::fabs(qb) > 1e-12) keep(-qc / qb);
        return n;
    }
    const double disc = qb * qb - 4 * qa * qc;
    if (disc < 0) return 0;
    const double root = std::sqrt(disc);
    keep((-qb + root) / (2 * qa));
    keep((-qb - root) / (2 * qa));
    return n;
}

double cubicAt(double a, double b, double c, double d, double t) {
    const double s = 1 - t;
    return s * s * s * a + 3 * s * s * t * b + 3 * s * t * t * c + t * t * t * d;
}

}  // namespace

Affine& Affine::translate(double x, double y) {
    dx_ += x * m11_ + y * m21_;
    dy_ += y * m22_ + x * m12_;
    return *this;
}

Affine& Affine::scale(double sx, double sy) {
    m11_ *= sx;
    m12_ *= sx;
    m21_ *= sy;
    m22_ *= sy;
    return *this;
}

Affine& Affine::rotateRadians(double angle) {
    const double s = std::sin(angle), c = std::cos(angle);
    const double t11 = c * m11_ + s * m21_, t12 = c * m12_ + s * m22_;
    const double t21 = -s * m11_ + c * m21_, t22 = -s * m12_ + c * m22_;
    m11_ = t11;
    m12_ = t12;
    m21_ = t21;
    m22_ = t22;
    return *this;
}

Affine Affine::operator*(const Affine& o) const {
    return {m11_ * o.m11_ + m12_ * o.m21_,         m11_ * o.m12_ + m12_ * o.m22_,
            m21_ * o.m11_ + m22_ * o.m21_,         m21_ * o.m12_ + m22_ * o.m22_,
            dx_ * o.m11_ + dy_ * o.m21_ + o.dx_,   dx_ * o.m12_ + dy_ * o.m22_ + o.dy_};
}

Path Affine::map(const Path& path) const {
    Path out = path;
    for (Path::Element& e : out.elements_) {
        const double x = e.x, y = e.y;
        e.x = m11_ * x + m21_ * y + dx_;
        e.y = m12_ * x + m22_ * y + dy_;
    }
    return out;
}

void Path::start() {
    if (elements_.empty()) elements_.push_back({0, 0, ElementType::MoveTo});
}

void Path::beginPiece() {
    start();
    if (needsMoveTo_) {
        Element e = elements_.back();
        e.type = ElementType::MoveTo;
        elements_.push_back(e);
        needsMoveTo_ = false;
    }
}

bool Path::closed() const {
    const Element& first = elements_[static_cast<std::size_t>(subpathStart_)];
    const Element& last = elements_.back();
    return first.x == last.x && first.y == last.y;
}

void Path::moveTo(QPointF p) {
    if (!usable(p)) return;
    start();
    needsMoveTo_ = false;
    if (elements_.back().isMoveTo()) {
        elements_.back().x = p.x();
        elements_.back().y = p.y();
    } else {
        elements_.push_back({p.x(), p.y(), ElementType::MoveTo});
    }
    subpathStart_ = elementCount() - 1;
}

void Path::lineTo(QPointF p) {
    if (!usable(p)) return;
    beginPiece();
    if (p == QPointF(elements_.back())) return;
    elements_.push_back({p.x(), p.y(), ElementType::LineTo});
}

void Path::cubicTo(QPointF c1, QPointF c2, QPointF end) {
    if (!usable(c1) || !usable(c2) || !usable(end)) return;
    beginPiece();
    if (QPointF(elements_.back()) == c1 && c1 == c2 && c2 == end) return;
    elements_.push_back({c1.x(), c1.y(), ElementType::CurveTo});
    elements_.push_back({c2.x(), c2.y(), ElementType::CurveToData});
    elements_.push_back({end.x(), end.y(), ElementType::CurveToData});
}

void Path::closeSubpath() {
    if (isEmpty()) return;
    needsMoveTo_ = true;
    const Element first = elements_[static_cast<std::size_t>(subpathStart_)];
    Element& last = elements_.back();
    if (first.x == last.x && first.y == last.y) return;
    const auto fuzzy = [](double a, double b) { return std::fabs(a - b) * 1e12 <= std::min(std::fabs(a), std::fabs(b)); };
    if (fuzzy(first.x, last.x) && fuzzy(first.y, last.y)) {
        last.x = first.x;
        last.y = first.y;
    } else {
        elements_.push_back({first.x, first.y, ElementType::LineTo});
    }
}

void Path::addPath(const Path& other) {
    if (other.isEmpty()) return;
    start();
    // No second move in a row.
    if (elements_.back().isMoveTo()) elements_.pop_back();
    const int at = elementCount();
    elements_.insert(elements_.end(), other.elements_.begin(), other.elements_.end());
    subpathStart_ = at + other.subpathStart_;
    needsMoveTo_ = other.closed();
}

void Path::addRect(const QRectF& r) {
    if (!usable(r.x()) || !usable(r.y()) || !usable(r.width()) || !usable(r.height()) || r.isNull()) return;
    moveTo(r.topLeft());
    elements_.push_back({r.x() + r.width(), r.y(), ElementType::LineTo});
    elements_.push_back({r.x() + r.width(), r.y() + r.height(), ElementType::LineTo});
    elements_.push_back({r.x(), r.y() + r.height(), ElementType::LineTo});
    elements_.push_back({r.x(), r.y(), ElementType::LineTo});
    needsMoveTo_ = true;
}

void Path::addPolygon(const std::vector<QPointF>& polygon) {
    if (polygon.empty()) return;
    moveTo(polygon.front());
    start();
    for (std::size_t i = 1; i < polygon.size(); ++i) elements_.push_back({polygon[i].x(), polygon[i].y(), ElementType::LineTo});
}

void Path::swap(Path& other) noexcept {
    elements_.swap(other.elements_);
    std::swap(subpathStart_, other.subpathStart_);
    std::swap(needsMoveTo_, other.needsMoveTo_);
}

QRectF Path::boundingRect() const {
    if (elements_.empty()) return {};
    double minX = elements_[0].x, maxX = minX, minY = elements_[0].y, maxY = minY;
    auto add = [&](double x, double y) {
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
    };
    for (std::size_t i = 1; i < elements_.size(); ++i) {
        const Element& e = elements_[i];
        if (e.type == ElementType::CurveTo && i + 2 < elements_.size()) {
            const Element& a = elements_[i - 1];
            const Element& c = elements_[i + 1];
            const Element& d = elements_[i + 2];
            add(d.x, d.y);
            double t[2];
            for (int k = 0, n = extremes(a.x, e.x, c.x, d.x, t); k < n; ++k)
                add(cubicAt(a.x, e.x, c.x, d.x, t[k]), cubicAt(a.y, e.y, c.y, d.y, t[k]));
            for (int k = 0, n = extremes(a.y, e.y, c.y, d.y, t); k < n; ++k)
                add(cubicAt(a.x, e.x, c.x, d.x, t[k]), cubicAt(a.y, e.y, c.y, d.y, t[k]));
            i += 2;
        } else {
            add(e.x, e.y);
        }
    }
    return QRectF(minX, minY, maxX - minX, maxY - minY);
}

}  // namespace cad::render
