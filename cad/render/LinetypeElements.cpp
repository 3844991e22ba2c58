// Complex linetypes: the shapes and texts their patterns carry, drawn along
// the line where their dashes end, turned with the line (or at a fixed
// angle) and scaled with the pattern.
#include "cad/render/SceneBuilder.h"

#include <algorithm>
#include <cmath>

namespace cad::render::frontend {

namespace {

// Beyond this many elements on one stroke the pattern is too fine to see:
// the line is drawn without them.
constexpr double kMostElements = 20000;

const TextStyle* styleByHandle(const Drawing& d, Handle h) {
    if (h == 0) return nullptr;
    for (const TextStyle& s : d.textStyles)
        if (s.handle == h) return &s;
    return nullptr;
}

}  // namespace

void Builder::linetypeElements(std::span<const Vec2> points, bool closed, const Look& l, const Xform& xf) {
    const Linetype& type = *l.complex;
    const double scale = l.patternScale * xf.planScale();
    double period = 0;
    std::vector<double> ends;  // where each dash ends, from the start of the pattern
    for (double d : type.dashes) {
        period += std::fabs(d) * scale;
        ends.push_back(period);
    }
    if (!(period > 0) || !std::isfinite(period) || !(scale > 0)) return;

    std::vector<Vec2> path(points.begin(), points.end());
    if (closed && !path.empty()) path.push_back(path.front());
    std::vector<double> along{0};  // distance at each point
    for (std::size_t i = 1; i < path.size(); ++i)
        along.push_back(along.back() + std::hypot(path[i].x - path[i - 1].x, path[i].y - path[i - 1].y));
    const double length = along.back();
    if (!(length > 0) || length / period * static_cast<double>(type.elements.size()) > kMostElements) return;

    for (const LinetypeElement& e : type.elements) {
        if (e.dash >= ends.size()) continue;
        const TextStyle* style = styleByHandle(drawing_, e.style);
        const double size = (std::isfinite(e.scale) && e.scale != 0 ? e.scale : 1.0) * scale;
        // What to draw, in its own plane with the origin where it hangs from.
        TextPaths shape;
        if (e.isText) {
            if (e.text.empty()) continue;
            const double height = style && style->fixedHeight > 0 ? style->fixedHeight * size : size;
            const TextFormat f = baseFormat(style ? style->name : std::string(), height,
                                            style ? style->widthFactor : 1.0, style ? style->oblique : 0.0);
            TextData t;
            t.height = height;
            shape = layoutText(t, e.text, f);
        } else {
            // The shape file of its style, or else the first one that has the shape.
            std::vector<const TextStyle*> candidates;
            if (style) candidates.push_back(style);
            for (const TextStyle& s : drawing_.textStyles)
                if ((s.flags & 1) && !s.fontFile.empty() && &s != style) candidates.push_back(&s);
            for (const TextStyle* candidate : candidates) {
                const auto file = shapeFile(candidate->fontFile, *folder_);
                if (!file || e.shapeNumber <= 0 || !file->has(static_cast<std::uint32_t>(e.shapeNumber))) continue;
                if (const auto glyph = file->glyph(static_cast<std::uint32_t>(e.shapeNumber)))
                    for (const auto& stroke : glyph->strokes)
                        for (std::size_t k = 0; k < stroke.size(); ++k) {
                            const QPointF p(stroke[k].x * size, stroke[k].y * size);
                            if (k == 0) shape.strokes.moveTo(p);
                            else shape.strokes.lineTo(p);
                        }
                break;
            }
        }
        if (shape.isEmpty()) {
            if (!e.isText) shapeNotFound(std::to_string(e.shapeNumber), style);
            continue;
        }

        std::size_t segment = 1;
        for (double at = ends[e.dash]; at <= length + 1e-9 * length; at += period) {
            while (segment + 1 < along.size() && along[segment] < at) ++segment;
            const Vec2 a = path[segment - 1], b = path[segment];
            const double span = along[segment] - along[segment - 1];
            if (!(span > 0)) continue;
            const double ux = (b.x - a.x) / span, uy = (b.y - a.y) / span, t = at - along[segment - 1];
            const double dx = e.offset.x * scale, dy = e.offset.y * scale;
            const Vec3 origin{a.x + ux * (t + dx) - uy * dy, a.y + uy * (t + dx) + ux * dy, 0};
            const double angle = (e.absoluteRotation ? 0 : std::atan2(uy, ux)) + (std::isfinite(e.rotation) ? e.rotation : 0);
            text(shape, Xform::translate(origin) * Xform::rotateZ(angle), 0, l.color, l.lineweightMm);
        }
    }
}

void Builder::shapeNotFound(const std::string& shape, const TextStyle* style) {
    std::string problem = "shape not found: " + shape;
    if (style && !style->fontFile.empty()) problem += " (" + style->fontFile + ")";
    // Every stroke of a linetype asks again: the list keeps each line once.
    if (std::find(scene_.problems.begin(), scene_.problems.end(), problem) == scene_.problems.end()) {
        scene_.losses.add(Loss::Kind::Entity, "shape", problem);
        scene_.problems.push_back(std::move(problem));
    }
}

}  // namespace cad::render::frontend
