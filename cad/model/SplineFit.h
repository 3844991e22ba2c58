#pragma once
// Splines known by their fit points. The CAD application keeps a fitted
// spline's fit points and end tangents and derives its control points from
// them; readers that find only the fit data and the renderer both fit here.
#include <optional>
#include <vector>

#include "cad/model/Geometry.h"

namespace cad {

struct FittedSpline {
    std::vector<double> knots;
    std::vector<Vec3> controlPoints;
};

// The cubic B-spline through the points, as the CAD application fits it:
// knots at the cumulative chord lengths, each end leaving along its tangent
// at unit speed, an end without a tangent (a zero vector) free of curvature.
// Nothing when the points do not determine a curve (fewer than two, or
// repeated ones).
std::optional<FittedSpline> fitCubicThrough(const std::vector<Vec3>& points, Vec3 startTangent, Vec3 endTangent);

// Points along the fitted curve, sixteen between neighbouring fit points.
// Repeated points are dropped first; tangents shorter than 1e-12 count as
// none. Two points without tangents give the straight line between them.
std::vector<Vec3> fitCurve(const std::vector<Vec3>& points, Vec3 startTangent, Vec3 endTangent);

}  // namespace cad
