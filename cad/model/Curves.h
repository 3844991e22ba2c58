#pragma once
// Curves flattened into points: arcs, bulges, ellipses, NURBS and smooth
// curves through points. Readers and the renderer share them.
#include <vector>

#include "cad/model/Geometry.h"

namespace cad {

// Points on a circular arc from a0 counter-clockwise to a1 (radians), ends included.
void appendArc(std::vector<Vec3>& out, Vec3 center, double radius, double a0, double a1, bool skipFirst = false);
// The segment of a polyline from a to b with a bulge; appends the points after a, b included.
// With a tolerance > 0, the arc takes no more segments than keep it within
// that distance of the true curve.
void appendBulge(std::vector<Vec3>& out, Vec3 a, Vec3 b, double bulge, double tolerance = 0);
// Ellipse points from parameter p0 to p1 (counter-clockwise about the axes' normal).
void appendEllipse(std::vector<Vec3>& out, Vec3 center, Vec3 major, Vec3 minor, double p0, double p1);

// Points of one NURBS curve, span by span; weights empty for a plain B-spline.
// The vectors must outlive the evaluator.
class NurbsEvaluator {
public:
    NurbsEvaluator(int degree, const std::vector<double>& knots, const std::vector<Vec3>& control,
                   const std::vector<double>& weights);
    // The point at u in span k (knots[k] <= u <= knots[k+1], degree <= k < control points).
    Vec3 at(int k, double u);

private:
    int degree_;
    const std::vector<double>& knots_;
    const std::vector<Vec3>& control_;
    const std::vector<double>& weights_;
    std::vector<double> wx_, wy_, wz_, ww_;  // de Boor's scratch, homogeneous
};

// A NURBS curve; weights may be empty. Falls back to the control polygon
// when the knots don't fit.
std::vector<Vec3> nurbsPoints(int degree, const std::vector<double>& knots, const std::vector<Vec3>& control,
                              const std::vector<double>& weights);
// A smooth curve through the given points (fit points, spline-fit leaders).
std::vector<Vec3> curveThrough(const std::vector<Vec3>& points, bool closed = false);

// Number of segments for a sweep of this many radians.
int arcSegments(double sweep);

}  // namespace cad
