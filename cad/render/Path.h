#pragma once
// Outlines and maps of the plane for the scene, in plain numbers: building
// a scene needs no painting library, so a program that paints without one
// never loads it. Both behave as Qt's QPainterPath and QTransform do for
// what the scene uses of them, so a scene painted through Qt looks the same
// whichever it was built with.
#include <QPointF>
#include <QRectF>
#include <vector>

#include "cad/model/Geometry.h"

class QPainterPath;
class QTransform;

namespace cad::render {

class Path;

// x' = m11 x + m21 y + dx, y' = m12 x + m22 y + dy.
class Affine {
public:
    Affine() = default;
    Affine(double m11, double m12, double m21, double m22, double dx, double dy)
        : m11_(m11), m12_(m12), m21_(m21), m22_(m22), dx_(dx), dy_(dy) {}
    static Affine fromScale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    static Affine fromTranslate(double dx, double dy) { return {1, 0, 0, 1, dx, dy}; }

    double m11() const { return m11_; }
    double m12() const { return m12_; }
    double m21() const { return m21_; }
    double m22() const { return m22_; }
    double dx() const { return dx_; }
    double dy() const { return dy_; }

    // Each of these applies before what the map already does.
    Affine& translate(double dx, double dy);
    Affine& scale(double sx, double sy);
    Affine& rotateRadians(double angle);

    QPointF map(QPointF p) const { return {m11_ * p.x() + m21_ * p.y() + dx_, m12_ * p.x() + m22_ * p.y() + dy_}; }
    Vec2 map(Vec2 p) const { return {m11_ * p.x + m21_ * p.y + dx_, m12_ * p.x + m22_ * p.y + dy_}; }
    Path map(const Path& path) const;
    // This map, then the other.
    Affine operator*(const Affine& then) const;

    // The same map for Qt's painter.
    QTransform toQTransform() const;

private:
    double m11_ = 1, m12_ = 0, m21_ = 0, m22_ = 1, dx_ = 0, dy_ = 0;
};

// Subpaths of straight and cubic pieces, kept as QPainterPath keeps its
// elements: a cubic piece is a CurveTo element (the first control point)
// followed by two CurveToData elements (the second control point, the end).
class Path {
public:
    enum class ElementType { MoveTo, LineTo, CurveTo, CurveToData };
    struct Element {
        double x, y;
        ElementType type;
        bool isMoveTo() const { return type == ElementType::MoveTo; }
        bool isLineTo() const { return type == ElementType::LineTo; }
        bool isCurveTo() const { return type == ElementType::CurveTo; }
        operator QPointF() const { return {x, y}; }
    };

    Path() = default;
    // The same outline as Qt's (a curve keeps its control points).
    Path(const QPainterPath& path);  // NOLINT: Qt's paths stand in for ours where code has one

    void moveTo(QPointF p);
    void moveTo(double x, double y) { moveTo(QPointF(x, y)); }
    void lineTo(QPointF p);
    void lineTo(double x, double y) { lineTo(QPointF(x, y)); }
    void cubicTo(QPointF c1, QPointF c2, QPointF end);
    // Back to where the subpath started.
    void closeSubpath();
    void addPath(const Path& other);
    void addRect(const QRectF& r);
    void addRect(double x, double y, double w, double h) { addRect(QRectF(x, y, w, h)); }
    void addPolygon(const std::vector<QPointF>& polygon);
    void swap(Path& other) noexcept;

    bool isEmpty() const { return elements_.empty() || (elements_.size() == 1 && elements_[0].isMoveTo()); }
    int elementCount() const { return static_cast<int>(elements_.size()); }
    const Element& elementAt(int i) const { return elements_[static_cast<std::size_t>(i)]; }
    const std::vector<Element>& elements() const { return elements_; }
    // What the outline covers, curves to their extremes rather than to their control points.
    QRectF boundingRect() const;
    // The same outline for Qt's painter.
    QPainterPath toQPainterPath() const;
    QPainterPath toQPainterPath(const Affine& map) const;

private:
    friend class Affine;
    void start();
    void beginPiece();
    bool closed() const;

    std::vector<Element> elements_;
    int subpathStart_ = 0;
    bool needsMoveTo_ = false;
};

}  // namespace cad::render
