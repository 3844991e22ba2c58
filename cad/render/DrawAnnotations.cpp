// Annotations: dimensions (their block, or what can be drawn without it),
// tables, leaders, multileaders and geometric tolerances with the symbols of
// the GDT font.
#include "cad/render/SceneBuilder.h"

#include <QRegularExpression>
#include <QString>
#include <algorithm>
#include <cmath>

namespace cad::render::frontend {
namespace {

// Paragraphs that run top to bottom: the CAD application sets them on one
// line, each after the one before with a space between, as its own
// graphics of such multileaders show.
std::string paragraphsOnOneLine(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
        } else if (text[i + 1] == 'P') {
            out += ' ';
            ++i;
        } else {
            out += text.substr(i++, 2);  // any other code, or an escaped character, as it is
        }
    }
    return out;
}

// A line under the text of a multileader, in the text's plane.
struct Underline {
    double x0, x1, y;
};

// The lines a multileader's attachment draws under its text. The leader's
// dogleg ends at the underlined line, and the line runs from there to the
// far side of the text. Underlining the bottom line (5) or the top line
// (6) draws one line; underlining every line (8) also draws one under each
// line after the first, the lines' pitch apart and as wide as the text (a
// guess: no drawing we have shows one of several lines).
std::vector<Underline> underlinesOf(int attachment, bool fromLeft, Vec2 doglegEnd, const Box& text, double lineStep) {
    if (attachment != 5 && attachment != 6 && attachment != 8) return {};
    const double far = fromLeft ? text.maxX : text.minX, near = fromLeft ? text.minX : text.maxX;
    std::vector<Underline> lines{{doglegEnd.x, far, doglegEnd.y}};
    if (attachment == 8 && lineStep > 0) {
        const double more = std::round((doglegEnd.y - text.minY) / lineStep);
        for (int k = 1; k <= std::min(more, 1000.0); ++k) lines.push_back({near, far, doglegEnd.y - k * lineStep});
    }
    return lines;
}

}  // namespace

void Builder::dimension(const Entity& e, const DimensionData& d, const Look& l, const Context& ctx) {
    const Block* b = d.blockName.empty() ? nullptr : drawing_.findBlock(d.blockName);
    if (b && !b->entities.empty()) blockAt(*b, e, Xform{}, l, ctx);
    else dimensionWithoutBlock(e, d, l, ctx.xf);
}

void Builder::table(const Entity& e, const TableData& d, const Look& l, const Context& ctx) {
    const Block* b = drawing_.findBlock(d.blockName);
    if (b)
        blockAt(*b, e,
                Xform::translate(d.insertion) * Xform::rotateZ(d.rotation) * Xform::scale(d.scale) *
                    Xform::translate(b->base * -1.0),
                l, ctx);
}

double Builder::arrowSize() const {
    const double s = drawing_.header.textSize * (drawing_.header.dimScale > 0 ? drawing_.header.dimScale : 1.0);
    return s > 0 && std::isfinite(s) ? s : 2.5;
}

void Builder::leader(const LeaderData& d, const Look& l, const Xform& xf) {
    if (d.vertices.size() < 2) return;
    stroke(d.spline ? curveThrough(d.vertices) : d.vertices, false, l, xf);
    if (d.arrowhead) {
        const Vec3 a = d.vertices[0], b = d.vertices[1];
        const double seg = std::hypot(b.x - a.x, b.y - a.y);
        arrowhead(a, b, std::min(arrowSize(), seg / 2), l, xf);
    }
}

void Builder::mleader(const Entity& e, const MLeaderData& d, const Look& l, const Context& ctx) {
    const double size = d.arrowSize > 0 ? d.arrowSize : (d.textHeight > 0 ? d.textHeight : arrowSize());
    for (std::size_t i = 0; i < d.leaderLines.size(); ++i) {
        std::vector<Vec3> line = d.leaderLines[i];
        // Each line runs on to its landing point.
        const int root = i < d.leaderLineRoot.size() ? d.leaderLineRoot[i] : (d.landingPoints.size() == 1 ? 0 : -1);
        if (root >= 0 && static_cast<std::size_t>(root) < d.landingPoints.size()) line.push_back(d.landingPoints[root]);
        if (line.size() < 2) continue;
        stroke(line, false, l, ctx.xf);
        if (d.hasArrowheads) arrowhead(line[0], line[1], size, l, ctx.xf);
    }
    for (std::size_t r = 0; r < d.landingPoints.size(); ++r) {
        if (r >= d.doglegDirections.size() || r >= d.doglegLengths.size()) break;
        const double len = d.doglegLengths[r];
        if (!(len > 0) || !std::isfinite(len)) continue;
        const Vec3 p = d.landingPoints[r];
        stroke({p, p + d.doglegDirections[r] * len}, false, l, ctx.xf);
    }
    if (!d.text.empty()) {
        const TextFormat f = baseFormat(d.textStyle.empty() ? "Standard" : d.textStyle, d.textHeight, 1, 0);
        const bool oneLine = d.textFlow == 3;
        int attachment = d.textAttachment;
        if (attachment < 1 || attachment > 9) {
            // None stored: the text hangs from its location on the side its leaders come from.
            attachment = 1;
            Vec3 landing = d.textLocation;
            if (!d.landingPoints.empty()) landing = d.landingPoints[0];
            else if (!d.leaderLines.empty() && !d.leaderLines[0].empty()) landing = d.leaderLines[0].back();
            if (dot(landing - d.textLocation, d.textDirection) > 0) attachment = 3;
        }
        const double width = d.textWidth > 0 && std::isfinite(d.textWidth) && !oneLine ? d.textWidth : 0;
        Box box;
        mtextAt(oneLine ? paragraphsOnOneLine(d.text) : d.text, f, width, attachment, d.lineSpacingFactor,
                d.textLocation, d.textDirection, e.common.extrusion, l.color, ctx.xf, {}, &box);
        const Xform plane = textPlane(d.textLocation, d.textDirection, e.common.extrusion);
        if (d.textFrame && !box.empty()) {
            // The frame keeps the landing gap from the lines on every side.
            const double gap = d.landingGap > 0 && std::isfinite(d.landingGap) ? d.landingGap : 0;
            stroke({{box.minX - gap, box.minY - gap, 0}, {box.maxX + gap, box.minY - gap, 0},
                    {box.maxX + gap, box.maxY + gap, 0}, {box.minX - gap, box.maxY + gap, 0}},
                   true, l, ctx.xf * plane, false);
        }
        if (!box.empty() && !d.verticalAttachment && !d.landingPoints.empty()) {
            // The first leader's dogleg, in the text's plane, says which side
            // the leaders come from and where the underline starts.
            const Vec3 along = plane.applyDir({1, 0, 0}), up = plane.applyDir({0, 1, 0});
            Vec3 end = d.landingPoints[0];
            const Vec3 direction = d.doglegDirections.empty() ? Vec3{} : d.doglegDirections[0];
            const double len = d.doglegLengths.empty() ? 0 : d.doglegLengths[0];
            if (len > 0 && std::isfinite(len)) end = end + direction * len;
            const Vec2 local{dot(end - d.textLocation, along), dot(end - d.textLocation, up)};
            const double side = dot(direction, along);
            const bool fromLeft = std::fabs(side) > 1e-9 ? side > 0 : local.x < (box.minX + box.maxX) / 2;
            const double spacing = d.lineSpacingFactor > 0 && std::isfinite(d.lineSpacingFactor) ? d.lineSpacingFactor : 1;
            for (const Underline& u : underlinesOf(fromLeft ? d.leftAttachment : d.rightAttachment, fromLeft, local, box,
                                                   std::fabs(f.height) * 5.0 / 3.0 * spacing))
                if (std::isfinite(u.x0 + u.x1 + u.y)) stroke({{u.x0, u.y, 0}, {u.x1, u.y, 0}}, false, l, ctx.xf * plane, false);
        }
    }
    if (!d.blockName.empty()) {
        const Block* b = drawing_.findBlock(d.blockName);
        if (b)
            blockAt(*b, e,
                    Xform::translate(d.blockPosition) * Xform::rotateZ(d.blockRotation) * Xform::scale(d.blockScale) *
                        Xform::translate(b->base * -1.0),
                    l, ctx);
    }
}

std::string Builder::dimensionText(const DimensionData& d, int kind) const {
    if (d.text == " ") return {};
    std::string value;
    if (std::isfinite(d.measurement)) {
        const bool angular = kind == 2 || kind == 5;
        const double v = angular ? d.measurement * 180 / kPi : d.measurement;
        QString number = QString::number(v, 'f', drawing_.header.measurement == 1 || angular ? 2 : 4);
        if (number.contains(QLatin1Char('.'))) {
            while (number.endsWith(QLatin1Char('0'))) number.chop(1);
            if (number.endsWith(QLatin1Char('.'))) number.chop(1);
        }
        if (number == QLatin1String("-0")) number = QStringLiteral("0");
        value = number.toStdString();
        if (angular) value += "%%d";
        else if (kind == 3) value = "%%c" + value;
        else if (kind == 4) value = "R" + value;
    }
    if (d.text.empty()) return value;
    std::string shown = d.text;
    const std::size_t at = shown.find("<>");
    if (at != std::string::npos) shown.replace(at, 2, value);
    return shown;
}

void Builder::dimensionWithoutBlock(const Entity& e, const DimensionData& d, const Look& l, const Xform& xf) {
    // Arc-length and jogged radius dimensions keep other points here: only their text.
    const int kind = e.type == "DIMENSION" ? d.dimType & 7 : -1;
    // The style's text and arrow sizes are not known here: take the
    // defaults of a new drawing in its units, scaled by DIMSCALE.
    const double dimScale = drawing_.header.dimScale > 0 && std::isfinite(drawing_.header.dimScale)
                                ? drawing_.header.dimScale : 1.0;
    const double size = (drawing_.header.measurement == 1 ? 2.5 : 0.18) * dimScale;
    Vec3 along{1, 0, 0};
    bool hasDirection = false;
    auto arrows = [&](Vec3 a, Vec3 b) {
        const double len = std::hypot(b.x - a.x, b.y - a.y);
        if (!(len > 2 * size)) return;
        arrowhead(a, b, size, l, xf);
        arrowhead(b, a, size, l, xf);
    };
    if (kind == 0 || kind == 1) {
        const Vec3 p1 = d.points[0], p2 = d.points[1];
        if (kind == 0) {
            along = {std::cos(d.rotation), std::sin(d.rotation), 0};
        } else {
            const Vec3 v{p2.x - p1.x, p2.y - p1.y, 0};
            const double len = length(v);
            if (len > 1e-12) along = v * (1.0 / len);
        }
        hasDirection = true;
        // The dimension line runs through the definition point, between the
        // feet of the extension lines.
        auto foot = [&](Vec3 p) {
            const double t = (p.x - d.definitionPoint.x) * along.x + (p.y - d.definitionPoint.y) * along.y;
            return Vec3{d.definitionPoint.x + along.x * t, d.definitionPoint.y + along.y * t, d.definitionPoint.z};
        };
        const Vec3 a = foot(p1), b = foot(p2);
        stroke({a, b}, false, l, xf, false);
        if (length(a - p1) > 1e-12) stroke({p1, a}, false, l, xf, false);
        if (length(b - p2) > 1e-12) stroke({p2, b}, false, l, xf, false);
        arrows(a, b);
    } else if (kind == 3 || kind == 4) {
        // Diameter: across from the definition point; radius: from the centre.
        stroke({d.definitionPoint, d.points[2]}, false, l, xf, false);
        if (kind == 3) arrows(d.definitionPoint, d.points[2]);
        else if (std::hypot(d.points[2].x - d.definitionPoint.x, d.points[2].y - d.definitionPoint.y) > size)
            arrowhead(d.points[2], d.definitionPoint, size, l, xf);
    } else if (kind == 6) {
        stroke({d.points[0], d.points[1]}, false, l, xf, false);
    }
    const std::string shown = dimensionText(d, kind);
    if (shown.empty()) return;
    const Xform ocs = ocsToWcs(e.common.extrusion);
    Vec3 xAxis = ocs.applyDir({1, 0, 0});
    if (d.textRotation != 0 && std::isfinite(d.textRotation)) {
        xAxis = ocs.applyDir({std::cos(d.textRotation), std::sin(d.textRotation), 0});
    } else if (hasDirection) {
        // Along the dimension line, reading from left to right or upwards.
        if (along.x < -1e-9 || (std::fabs(along.x) <= 1e-9 && along.y < 0)) along = along * -1.0;
        xAxis = along;
    }
    const TextFormat f = baseFormat("Standard", size, 1, 0);  // d.style names a dimension style
    mtextAt(shown, f, 0, 5, 1, ocs.apply(d.textMidpoint), xAxis, e.common.extrusion, l.color, xf);
}

bool Builder::gdtSymbol(char c, const Look& l, const Xform& square) {
    auto line = [&](double x0, double y0, double x1, double y1) { stroke({{x0, y0, 0}, {x1, y1, 0}}, false, l, square, false); };
    auto circle = [&](double cx, double cy, double r) {
        std::vector<Vec3> pts;
        appendArc(pts, {cx, cy, 0}, r, 0, 2 * kPi);
        stroke(pts, true, l, square, false);
    };
    auto arrow = [&](double x0, double y0, double x1, double y1) {
        line(x0, y0, x1, y1);
        arrowhead({x1, y1, 0}, {x0, y0, 0}, 0.35, l, square);
    };
    switch (c) {
    case 'a': line(0, 0, 1, 0); line(0, 0, 0.85, 0.85); break;                            // angularity
    case 'b': line(0, 0, 1, 0); line(0.5, 0, 0.5, 1); break;                              // perpendicularity
    case 'c': stroke({{0, 0.2, 0}, {0.75, 0.2, 0}, {1, 0.8, 0}, {0.25, 0.8, 0}}, true, l, square, false); break;  // flatness
    case 'd': {                                                                            // profile of a surface
        std::vector<Vec3> pts;
        appendArc(pts, {0.5, 0.25, 0}, 0.5, 0, kPi);
        stroke(pts, true, l, square, false);
        break;
    }
    case 'e': circle(0.5, 0.5, 0.5); break;                                               // circularity
    case 'f': line(0.1, 0, 0.5, 1); line(0.5, 0, 0.9, 1); break;                          // parallelism
    case 'g': circle(0.5, 0.5, 0.35); line(0, 0, 0.4, 1); line(0.6, 0, 1, 1); break;      // cylindricity
    case 'h': arrow(0.15, 0, 0.85, 1); break;                                             // circular runout
    case 'i': line(0, 0.5, 1, 0.5); line(0.2, 0.2, 0.8, 0.2); line(0.2, 0.8, 0.8, 0.8); break;  // symmetry
    case 'j': circle(0.5, 0.5, 0.35); line(0, 0.5, 1, 0.5); line(0.5, 0, 0.5, 1); break;  // position
    case 'k': {                                                                            // profile of a line
        std::vector<Vec3> pts;
        appendArc(pts, {0.5, 0.25, 0}, 0.5, 0, kPi);
        stroke(pts, false, l, square, false);
        break;
    }
    case 'n': circle(0.5, 0.5, 0.4); line(0.05, 0.05, 0.95, 0.95); break;                 // diameter
    case 'r': circle(0.5, 0.5, 0.5); circle(0.5, 0.5, 0.25); break;                       // concentricity
    case 't': arrow(0, 0, 0.45, 1); arrow(0.55, 0, 1, 1); line(0, 0, 0.55, 0); break;     // total runout
    case 'u': line(0, 0.5, 1, 0.5); break;                                                // straightness
    default: return false;
    }
    return true;
}

void Builder::tolerance(const ToleranceData& d, const Look& l, const Xform& xf) {
    // A compartment that holds nothing but one character of the GDT font.
    static const QRegularExpression gdtCell(QStringLiteral("^\\{?\\\\F\\s*gdt[^;]*;\\s*(\\S)\\s*\\}?$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const TextFormat f = baseFormat(d.style, d.height, 1, 0);
    const double h = f.height, pad = h * 0.5, rowHeight = h * 2;
    Vec3 xa = d.xDirection;
    const double xl = std::hypot(xa.x, xa.y);
    xa = xl > 1e-12 ? Vec3{xa.x / xl, xa.y / xl, 0} : Vec3{1, 0, 0};
    const Xform plane = xf * Xform::translate(d.insertion) * Xform::axes(xa, {-xa.y, xa.x, 0}, {0, 0, 1});
    QString all = QString::fromStdString(d.text);
    all.replace(QLatin1String("^J"), QLatin1String("\n"));
    const QStringList rows = all.split(QLatin1Char('\n'));
    for (int r = 0; r < rows.size(); ++r) {
        const double top = -r * rowHeight + rowHeight / 2, bottom = top - rowHeight;
        double x = 0;
        for (const QString& cell : rows[r].split(QLatin1String("%%v"), Qt::KeepEmptyParts, Qt::CaseInsensitive)) {
            // Empty compartments are not drawn.
            if (cell.trimmed().isEmpty()) continue;
            const QRegularExpressionMatch symbol = gdtCell.match(cell);
            if (symbol.hasMatch()) {
                const double right = x + h + 2 * pad;
                stroke({{x, top, 0}, {right, top, 0}, {right, bottom, 0}, {x, bottom, 0}}, true, l, plane, false);
                const Xform square = plane * Xform::translate({x + pad, bottom + (rowHeight - h) / 2, 0}) *
                                     Xform::scale({h, h, 1});
                if (gdtSymbol(symbol.captured(1).at(0).toLower().toLatin1(), l, square)) {
                    x = right;
                    continue;
                }
                // A character without a drawing of its own shows as text.
            }
            TextPaths glyphs;
            double w = 0;
            const MTextParagraphs parsed = parseMText(cell.toStdString(), f);
            for (const auto& paragraph : parsed.paragraphs)
                for (const TextRun& run : paragraph) {
                    addRun(glyphs, run, x + pad + w, bottom + (rowHeight - h) / 2);
                    w += runAdvance(run);
                }
            const double right = x + w + 2 * pad;
            stroke({{x, top, 0}, {right, top, 0}, {right, bottom, 0}, {x, bottom, 0}}, true, l, plane, false);
            text(glyphs, plane, 0, l.color);
            x = right;
        }
    }
}

}  // namespace cad::render::frontend
