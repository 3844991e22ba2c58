#include "cad/model/Curves.h"

#include <algorithm>
#include <cmath>

namespace cad {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2 * kPi;
// Room for `extra` more points, growing the way push_back would: a long
// polyline of many arcs must not reallocate at every one of them.
void makeRoom(std::vector<Vec3>& out, std::size_t extra) {
    if (out.capacity() - out.size() < extra) out.reserve(std::max(out.size() + extra, 2 * out.capacity()));
}

// The points cos/sin(start + step * i), i = 0, 1, ..., by turning the first
// one step by step: one sine and cosine per arc instead of one per point.
// After the few hundred steps an arc has the error is a few units in the
// last place.
class Turning {
public:
    Turning(double start, double step)
        : c_(std::cos(start)), s_(std::sin(start)), stepC_(std::cos(step)), stepS_(std::sin(step)) {}
    double cos() const { return c_; }
    double sin() const { return s_; }
    void next() {
        const double c = c_ * stepC_ - s_ * stepS_;
        s_ = s_ * stepC_ + c_ * stepS_;
        c_ = c;
    }

private:
    double c_, s_, stepC_, stepS_;
};

}  // namespace

int arcSegments(double sweep) {
    const double a = std::fabs(sweep);
    if (!std::isfinite(a)) return 1;
    // Clamped before the conversion: a huge sweep does not fit an int.
    return static_cast<int>(std::clamp(std::ceil(a / kTwoPi * 144.0), 2.0, 1000.0));
}

void appendArc(std::vector<Vec3>& out, Vec3 center, double radius, double a0, double a1, bool skipFirst) {
    if (!std::isfinite(a0) || !std::isfinite(a1)) return;
    double sweep = a1 - a0;
    if (sweep < 0) sweep += kTwoPi * std::ceil(-sweep / kTwoPi);
    if (sweep > kTwoPi) sweep = std::fmod(sweep, kTwoPi);
    if (sweep < 1e-12) sweep = kTwoPi;  // the same start and end angle: a whole circle
    const int n = arcSegments(sweep);
    makeRoom(out, static_cast<std::size_t>(n) + 1);
    Turning turn(a0, sweep / n);
    for (int i = 0; i <= n; ++i, turn.next())
        if (i > 0 || !skipFirst) out.push_back({center.x + radius * turn.cos(), center.y + radius * turn.sin(), center.z});
}

void appendBulge(std::vector<Vec3>& out, Vec3 a, Vec3 b, double bulge, double tolerance) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double chord = std::hypot(dx, dy);
    if (std::fabs(bulge) < 1e-9 || chord < 1e-12 || !std::isfinite(bulge)) {
        out.push_back(b);
        return;
    }
    // The included angle is 4 atan(bulge); positive bulges turn counter-clockwise,
    // so their centre lies to the left of the chord (to the right past a half circle).
    const double theta = 4 * std::atan(bulge);
    const double half = std::fabs(theta) / 2;
    const double radius = chord / (2 * std::sin(half));
    const double toCenter = chord / (2 * std::tan(half));
    const double side = bulge > 0 ? 1 : -1;
    const Vec3 c{(a.x + b.x) / 2 - dy / chord * toCenter * side, (a.y + b.y) / 2 + dx / chord * toCenter * side, a.z};
    const double a0 = std::atan2(a.y - c.y, a.x - c.x);
    int n = arcSegments(theta);
    // A chord of angle s strays r (1 - cos(s / 2)), about r s^2 / 8, from the arc.
    if (tolerance > 0) {
        const double fine = std::ceil(std::fabs(theta) * std::sqrt(std::fabs(radius) / (8 * tolerance)));
        if (fine < n) n = std::max(1, static_cast<int>(fine));
    }
    makeRoom(out, static_cast<std::size_t>(n));
    Turning turn(a0, theta / n);
    turn.next();
    for (int i = 1; i < n; ++i, turn.next())
        out.push_back({c.x + radius * turn.cos(), c.y + radius * turn.sin(), a.z + (b.z - a.z) * i / n});
    out.push_back(b);
}

void appendEllipse(std::vector<Vec3>& out, Vec3 center, Vec3 major, Vec3 minor, double p0, double p1) {
    if (!std::isfinite(p0) || !std::isfinite(p1)) return;
    double sweep = p1 - p0;
    if (sweep < 0) sweep += kTwoPi * std::ceil(-sweep / kTwoPi);
    if (sweep > kTwoPi + 1e-9) sweep = std::fmod(sweep, kTwoPi);
    if (sweep < 1e-12) sweep = kTwoPi;
    const int n = arcSegments(sweep);
    makeRoom(out, static_cast<std::size_t>(n) + 1);
    Turning turn(p0, sweep / n);
    for (int i = 0; i <= n; ++i, turn.next()) out.push_back(center + major * turn.cos() + minor * turn.sin());
}

NurbsEvaluator::NurbsEvaluator(int degree, const std::vector<double>& knots, const std::vector<Vec3>& control,
                               const std::vector<double>& weights)
    : degree_(degree), knots_(knots), control_(control), weights_(weights),
      wx_(static_cast<std::size_t>(degree) + 1), wy_(wx_.size()), wz_(wx_.size()), ww_(wx_.size()) {}

Vec3 NurbsEvaluator::at(int k, double u) {
    const int p = degree_;
    const bool rational = !weights_.empty();
    // de Boor in homogeneous coordinates
    for (int j = 0; j <= p; ++j) {
        const std::size_t idx = static_cast<std::size_t>(k - p + j);
        const double w = rational ? weights_[idx] : 1.0;
        wx_[static_cast<std::size_t>(j)] = control_[idx].x * w;
        wy_[static_cast<std::size_t>(j)] = control_[idx].y * w;
        wz_[static_cast<std::size_t>(j)] = control_[idx].z * w;
        ww_[static_cast<std::size_t>(j)] = w;
    }
    for (int r = 1; r <= p; ++r) {
        for (int j = p; j >= r; --j) {
            const double left = knots_[static_cast<std::size_t>(j + k - p)];
            const double right = knots_[static_cast<std::size_t>(j + 1 + k - r)];
            const double denom = right - left;
            const double a = denom > 0 ? (u - left) / denom : 0;
            const auto J = static_cast<std::size_t>(j);
            wx_[J] = (1 - a) * wx_[J - 1] + a * wx_[J];
            wy_[J] = (1 - a) * wy_[J - 1] + a * wy_[J];
            wz_[J] = (1 - a) * wz_[J - 1] + a * wz_[J];
            ww_[J] = (1 - a) * ww_[J - 1] + a * ww_[J];
        }
    }
    const auto P = static_cast<std::size_t>(p);
    const double w = std::fabs(ww_[P]) > 1e-300 ? ww_[P] : 1.0;
    return {wx_[P] / w, wy_[P] / w, wz_[P] / w};
}

std::vector<Vec3> nurbsPoints(int degree, const std::vector<double>& knots, const std::vector<Vec3>& control,
                              const std::vector<double>& weights) {
    const int n = static_cast<int>(control.size());
    const int p = degree;
    if (n == 0) return {};
    if (p < 1 || p > 20 || n <= p || static_cast<int>(knots.size()) != n + p + 1) return control;
    for (std::size_t i = 1; i < knots.size(); ++i)
        if (!(knots[i] >= knots[i - 1]) || !std::isfinite(knots[i])) return control;
    const bool rational = weights.size() == control.size();
    const double u0 = knots[static_cast<std::size_t>(p)], u1 = knots[static_cast<std::size_t>(n)];
    if (!(u1 > u0)) return control;

    const int spans = n - p;
    const int samples = std::clamp(spans * 16, 32, 4000);
    std::vector<Vec3> out;
    out.reserve(static_cast<std::size_t>(samples) + 1);
    const std::vector<double> unweighted;
    NurbsEvaluator curve{degree, knots, control, rational ? weights : unweighted};
    int k = p;  // the span: knots[k] <= u < knots[k+1]; u only grows, so the search goes on from the last one
    for (int s = 0; s <= samples; ++s) {
        const double u = u0 + (u1 - u0) * s / samples;
        while (k < n - 1 && u >= knots[static_cast<std::size_t>(k) + 1]) ++k;
        out.push_back(curve.at(k, u));
    }
    return out;
}

std::vector<Vec3> curveThrough(const std::vector<Vec3>& pts, bool closed) {
    const std::size_t n = pts.size();
    if (n < 3) return pts;
    // Centripetal-free Catmull-Rom: smooth enough for fit points and leaders.
    std::vector<Vec3> out;
    const std::size_t segments = closed ? n : n - 1;
    auto at = [&](long i) -> Vec3 {
        const long N = static_cast<long>(n);
        if (closed) return pts[static_cast<std::size_t>(((i % N) + N) % N)];
        if (i < 0) return pts[0] * 2.0 - pts[1];
        if (i >= N) return pts[n - 1] * 2.0 - pts[n - 2];
        return pts[static_cast<std::size_t>(i)];
    };
    constexpr int steps = 12;
    out.push_back(pts[0]);
    for (std::size_t s = 0; s < segments; ++s) {
        const long i = static_cast<long>(s);
        const Vec3 p0 = at(i - 1), p1 = at(i), p2 = at(i + 1), p3 = at(i + 2);
        for (int k = 1; k <= steps; ++k) {
            const double t = static_cast<double>(k) / steps, t2 = t * t, t3 = t2 * t;
            out.push_back((p1 * 2.0 + (p2 - p0) * t + (p0 * 2.0 - p1 * 5.0 + p2 * 4.0 - p3) * t2 +
                           (p1 * 3.0 - p0 - p2 * 3.0 + p3) * t3) *
                          0.5);
        }
    }
    return out;
}

}  // namespace cad
