#include "cad/render/PaintRules.h"

#include <algorithm>
#include <cmath>

namespace cad::render {

std::uint32_t foregroundFor(std::uint32_t background) {
    const int r = (background >> 16) & 0xFF, g = (background >> 8) & 0xFF, b = background & 0xFF;
    // The lightness of HSL, worked out on 16 bits and rounded back to 8.
    const int hi = std::max({r, g, b}) * 257, lo = std::min({r, g, b}) * 257;
    const int wide = (hi + lo + 1) / 2;
    const int lightness = (wide - (wide >> 8) + 0x80) >> 8;
    return lightness >= 128 ? 0xFF000000u : 0xFFFFFFFFu;
}

std::uint32_t resolveColor(std::uint32_t rgb, bool foreground, std::uint32_t foregroundColor, ColorMode mode) {
    if (foreground || mode == ColorMode::Monochrome) return foregroundColor;
    if (mode == ColorMode::Grayscale) {
        const std::uint32_t grey = (((rgb >> 16) & 0xFF) * 11 + ((rgb >> 8) & 0xFF) * 16 + (rgb & 0xFF) * 5) / 32;
        return 0xFF000000u | grey << 16 | grey << 8 | grey;
    }
    return 0xFF000000u | (rgb & 0xFFFFFFu);
}

double penWidth(double mm, bool lineweights, int longSide) {
    if (!lineweights) return 1.0;
    const double px = mm * longSide / kPenSheetMm;
    return std::clamp(px, 1.0, 64.0);
}

bool dashedAtThisScale(const std::vector<double>& dashes) {
    double period = 0;
    for (double d : dashes) period += std::fabs(d);
    return !dashes.empty() && period >= 3.0 && std::isfinite(period);
}

void cutDashes(std::span<const Vec2> pts, const std::vector<double>& dashes, DashPieces& out) {
    out.clear();
    if (pts.empty()) return;
    if (!dashedAtThisScale(dashes)) {
        out.points.assign(pts.begin(), pts.end());
        out.ends.push_back(out.points.size());
        return;
    }
    auto piece = [&](Vec2 a, Vec2 b) {
        out.points.push_back(a);
        out.points.push_back(b);
        out.ends.push_back(out.points.size());
    };
    std::size_t index = 0;
    double left = std::fabs(dashes[0]);  // what remains of the current dash or gap
    bool budgetExceeded = false;
    long pieces = 0;
    for (std::size_t i = 1; i < pts.size() && !budgetExceeded; ++i) {
        Vec2 a = pts[i - 1];
        const Vec2 b = pts[i];
        const double ex = b.x - a.x, ey = b.y - a.y;
        double segment = std::sqrt(ex * ex + ey * ey);
        if (segment <= 0) continue;
        const double dx = (b.x - a.x) / segment, dy = (b.y - a.y) / segment;
        while (segment > 0) {
            const double d = dashes[index];
            const double step = std::min(left, segment);
            const Vec2 next{a.x + dx * step, a.y + dy * step};
            if (d > 0) piece(a, next);
            else if (d == 0 && left == 0) piece(a, {a.x + dx * 0.5, a.y + dy * 0.5});  // a dot
            a = next;
            segment -= step;
            left -= step;
            if (left <= 1e-9) {
                index = (index + 1) % dashes.size();
                left = std::fabs(dashes[index]);
                if (++pieces > 2000000) {
                    budgetExceeded = true;
                    break;
                }
            }
        }
    }
}

bool clipLine(Vec2 base, Vec2 dir, bool bothWays, double left, double top, double right, double bottom, Vec2* a,
              Vec2* b) {
    double t0 = bothWays ? -1e300 : 0, t1 = 1e300;
    auto clip = [&](double p, double q) {  // p * t <= q
        if (std::fabs(p) < 1e-15) return q >= 0;
        const double t = q / p;
        if (p < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
        return true;
    };
    if (!clip(-dir.x, base.x - left) || !clip(dir.x, right - base.x) || !clip(-dir.y, base.y - top) ||
        !clip(dir.y, bottom - base.y))
        return false;
    if (t0 > t1) return false;
    *a = {base.x + dir.x * t0, base.y + dir.y * t0};
    *b = {base.x + dir.x * t1, base.y + dir.y * t1};
    return true;
}

}  // namespace cad::render
