// The entities of a DXF file, one parser per kind. Each parser walks the
// groups of its own subclasses in file order; unknown groups are ignored so
// newer writers' additions do no harm.
#include <algorithm>
#include <cmath>
#include <set>
#include <type_traits>

#include "cad/dxf/DxfModeler.h"
#include "cad/dxf/DxfRecords.h"
#include "cad/model/Overloaded.h"

namespace cad::dxf {

namespace {

using Body = std::vector<BodyGroup>;

double D(const Group& g) { return toDouble(g); }
int I(const Group& g) { return toInt(g); }

// Sets one coordinate of p when g is the x, y or z group of the point whose
// x group code is base.
bool coord(Vec3& p, int base, const Group& g) {
    if (g.code == base) p.x = D(g);
    else if (g.code == base + 10) p.y = D(g);
    else if (g.code == base + 20) p.z = D(g);
    else return false;
    return true;
}
bool coord(Vec2& p, int base, const Group& g) {
    if (g.code == base) p.x = D(g);
    else if (g.code == base + 10) p.y = D(g);
    else return false;
    return true;
}

// A list of points: the x group starts a new point, y and z fill the last.
template <class P>
bool pointList(std::vector<P>& list, int base, const Group& g) {
    if (g.code == base) {
        list.emplace_back();
        list.back().x = D(g);
        return true;
    }
    if (g.code == base + 10 || (g.code == base + 20 && std::is_same_v<P, Vec3>)) {
        if (list.empty()) list.emplace_back();
        coord(list.back(), base, g);
        return true;
    }
    return false;
}

// Groups most planar entities share: extrusion and thickness.
bool planar(Entity& e, const Group& g) {
    if (coord(e.common.extrusion, 210, g)) return true;
    if (g.code == 39) {
        e.common.thickness = D(g);
        return true;
    }
    return false;
}

void parseLine(Entity& e, const Body& body) {
    LineData d;
    for (const auto& g : body)
        if (!coord(d.start, 10, g) && !coord(d.end, 11, g)) planar(e, g);
    e.data = d;
}

void parsePoint(Entity& e, const Body& body) {
    PointData d;
    for (const auto& g : body) {
        if (coord(d.position, 10, g) || planar(e, g)) continue;
        if (g.code == 50) d.xAxisAngle = D(g) * kDegree;
    }
    e.data = d;
}

void parseCircleOrArc(Entity& e, const Body& body, bool arc) {
    ArcData d;
    for (const auto& g : body) {
        if (coord(d.center, 10, g) || planar(e, g)) continue;
        if (g.code == 40) d.radius = D(g);
        else if (g.code == 50) d.startAngle = D(g) * kDegree;
        else if (g.code == 51) d.endAngle = D(g) * kDegree;
    }
    if (arc) e.data = d;
    else e.data = CircleData{d.center, d.radius};
}

void parseEllipse(Entity& e, const Body& body) {
    EllipseData d;
    for (const auto& g : body) {
        if (coord(d.center, 10, g) || coord(d.majorAxis, 11, g) || planar(e, g)) continue;
        if (g.code == 40) d.ratio = D(g);
        else if (g.code == 41) d.startParam = D(g);
        else if (g.code == 42) d.endParam = D(g);
    }
    e.data = d;
}

// SPLINE, and HELIX, whose own subclass follows the spline's and reuses its
// group codes for other things.
void parseSpline(Entity& e, const Body& body) {
    SplineData d;
    for (const auto& g : body) {
        if (!g.subclass.empty() && g.subclass != "AcDbSpline") continue;
        if (pointList(d.controlPoints, 10, g) || pointList(d.fitPoints, 11, g) || coord(d.startTangent, 12, g) ||
            coord(d.endTangent, 13, g))
            continue;
        switch (g.code) {
        case 70: d.flags = I(g); break;
        case 71: d.degree = I(g); break;
        case 40: d.knots.push_back(D(g)); break;
        case 41: d.weights.push_back(D(g)); break;
        case 44: d.fitTolerance = D(g); break;
        default: break;  // 210 is the plane of a planar spline, not an extrusion
        }
    }
    e.data = std::move(d);
}

void parseLwPolyline(Entity& e, const Body& body) {
    LwPolylineData d;
    for (const auto& g : body) {
        if (planar(e, g)) continue;
        switch (g.code) {
        case 10: d.vertices.emplace_back(); d.vertices.back().point.x = D(g); break;
        case 20: if (!d.vertices.empty()) d.vertices.back().point.y = D(g); break;
        case 40: if (!d.vertices.empty()) d.vertices.back().startWidth = D(g); break;
        case 41: if (!d.vertices.empty()) d.vertices.back().endWidth = D(g); break;
        case 42: if (!d.vertices.empty()) d.vertices.back().bulge = D(g); break;
        case 70: d.closed = I(g) & 1; break;
        case 43: d.constantWidth = D(g); break;
        case 38: d.elevation = D(g); break;
        default: break;
        }
    }
    e.data = std::move(d);
}

void parsePolyline(Entity& e, const Body& body) {
    PolylineData d;
    Vec3 elevationPoint;
    for (const auto& g : body) {
        if (coord(elevationPoint, 10, g) || planar(e, g)) continue;
        switch (g.code) {
        case 38: elevationPoint.z = D(g); break;  // the elevation before R11
        case 70: d.flags = I(g); break;
        case 40: d.startWidth = D(g); break;
        case 41: d.endWidth = D(g); break;
        case 71: d.meshM = I(g); break;
        case 72: d.meshN = I(g); break;
        default: break;
        }
    }
    d.elevation = elevationPoint.z;
    d.kind = (d.flags & 64)   ? PolylineData::Kind::PolyfaceMesh
             : (d.flags & 16) ? PolylineData::Kind::PolygonMesh
             : (d.flags & 8)  ? PolylineData::Kind::Polyline3D
                              : PolylineData::Kind::Polyline2D;
    e.data = std::move(d);
}

// TEXT, ATTRIB and ATTDEF share the text subclass; the attribute ones move
// the vertical alignment to group 74 and use 73 for the field length.
void parseText(Entity& e, const Body& body, const ReadContext& ctx, bool attribute) {
    TextData d;
    bool embedded = false;  // in the multiline text of an attribute of several lines
    for (const auto& g : body) {
        if (attribute && g.code == 101) {
            embedded = d.multiline = true;
            d.value.clear();
            continue;
        }
        if (embedded) {
            if (coord(d.linesAt, 10, g)) continue;
            switch (g.code) {
            case 1: case 3: d.value.append(ctx.str(g)); break;
            case 41: d.linesWidth = D(g); break;
            case 44: d.lineSpacingFactor = D(g); break;
            case 71: d.linesAttachment = I(g); break;
            default: break;
            }
            continue;
        }
        if (coord(d.insertion, 10, g) || coord(d.alignment, 11, g) || planar(e, g)) continue;
        switch (g.code) {
        case 1: d.value = ctx.str(g); break;
        case 2: if (attribute) d.tag = ctx.str(g); break;
        case 3: if (attribute) d.prompt = ctx.str(g); break;
        case 7: d.style = ctx.str(g); break;
        case 40: d.height = D(g); break;
        case 41: d.widthFactor = D(g); break;
        case 50: d.rotation = D(g) * kDegree; break;
        case 51: d.oblique = D(g) * kDegree; break;
        case 70: if (attribute) d.attributeFlags = I(g); break;
        // From 2018 on the attribute part reuses 71 and 72 for its kind
        // (several lines) and lock: only the text part's are these.
        case 71: if (!g.subclass.starts_with("AcDbAttribute")) d.generation = I(g); break;
        case 72: if (!g.subclass.starts_with("AcDbAttribute")) d.horizontalAlign = I(g); break;
        case 73: if (!attribute) d.verticalAlign = I(g); break;
        case 74: if (attribute) d.verticalAlign = I(g); break;
        default: break;
        }
    }
    e.data = std::move(d);
}

void parseMText(Entity& e, const Body& body, const ReadContext& ctx) {
    MTextData d;
    std::string raw;       // the 3 chunks, then the final 1 chunk
    bool haveXAxis = false, haveRotation = false, columns = false;
    double rotation = 0;
    int heightsLeft = -1;  // column heights still to come after their count
    for (const auto& g : body) {
        if (coord(d.xAxis, 11, g)) {
            haveXAxis = true;
            continue;
        }
        if (coord(d.insertion, 10, g) || planar(e, g)) continue;
        switch (g.code) {
        case 1: case 3: raw.append(g.value); break;
        case 7: d.style = ctx.str(g); break;
        case 40: d.height = D(g); break;
        case 41: d.rectWidth = D(g); break;
        case 46: d.rectHeight = D(g); break;
        case 44: d.lineSpacingFactor = D(g); break;
        case 71: d.attachment = I(g); break;
        case 72: d.drawingDirection = I(g); break;
        case 50:
            // After the column type, 50 groups are the count of column heights, then the heights.
            if (columns) {
                if (heightsLeft < 0) heightsLeft = std::clamp(I(g), 0, 1000);
                else if (heightsLeft > 0 && heightsLeft--) d.columnHeights.push_back(D(g));
                break;
            }
            if (!haveRotation) rotation = D(g);  // radians here, unlike other entities
            haveRotation = true;
            break;
        case 75: d.columnType = I(g); columns = true; break;
        case 76: d.columnCount = I(g); break;
        case 78: d.columnFlowReversed = I(g) != 0; break;
        case 79: d.columnAutoHeight = I(g) != 0; break;
        case 48: d.columnWidth = D(g); break;
        case 49: d.columnGutter = D(g); break;
        default: break;
        }
    }
    if (!haveXAxis && haveRotation) d.xAxis = {std::cos(rotation), std::sin(rotation), 0};
    d.text = ctx.text.decode(raw);
    e.data = std::move(d);
}

// Releases before 2018 keep an MTEXT's columns as extended data of the
// application ACAD: between ACAD_MTEXT_COLUMN_INFO_BEGIN and _END, each
// property as a 1070 code followed by its value; the heights (50) as their
// count and then one 1040 each.
void mtextColumnsFromXData(MTextData& d, const Group* begin, const Group* end) {
    const Group* p = begin;
    while (p < end && !(p->code == 1000 && trimmed(p->value) == "ACAD_MTEXT_COLUMN_INFO_BEGIN")) ++p;
    if (p == end) return;
    for (++p; p + 1 < end && p->code == 1070; p += 2) {
        const Group& value = p[1];
        switch (I(*p)) {
        case 75: d.columnType = I(value); break;
        case 76: d.columnCount = I(value); break;
        case 78: d.columnFlowReversed = I(value) != 0; break;
        case 79: d.columnAutoHeight = I(value) != 0; break;
        case 48: d.columnWidth = D(value); break;
        case 49: d.columnGutter = D(value); break;
        case 50: {
            const int count = std::clamp(I(value), 0, 1000);
            for (int k = 0; k < count && p + 2 < end && p[2].code == 1040; ++k, ++p) d.columnHeights.push_back(D(p[2]));
            break;
        }
        default: break;
        }
    }
}

// The block reference part INSERT and ACAD_TABLE share.
template <class Reference>
bool blockReference(Reference& d, Entity& e, const Group& g, const ReadContext& ctx) {
    if (coord(d.insertion, 10, g) || planar(e, g)) return true;
    switch (g.code) {
    case 2: d.blockName = ctx.str(g); return true;
    case 41: d.scale.x = D(g); return true;
    case 42: d.scale.y = D(g); return true;
    case 43: d.scale.z = D(g); return true;
    case 50: d.rotation = D(g) * kDegree; return true;
    default: return false;
    }
}

bool parseInsert(Entity& e, const Body& body, const ReadContext& ctx) {
    InsertData d;
    bool attributesFollow = false;
    for (const auto& g : body) {
        if (blockReference(d, e, g, ctx)) continue;
        switch (g.code) {
        case 66: attributesFollow = I(g) != 0; break;
        case 70: d.columns = I(g); break;
        case 71: d.rows = I(g); break;
        case 44: d.columnSpacing = D(g); break;
        case 45: d.rowSpacing = D(g); break;
        default: break;
        }
    }
    e.data = std::move(d);
    return attributesFollow;
}

void parseDimension(Entity& e, const Body& body, const ReadContext& ctx) {
    DimensionData d;
    for (const auto& g : body) {
        if (coord(d.definitionPoint, 10, g) || coord(d.textMidpoint, 11, g) || coord(d.insertion, 12, g) ||
            coord(d.points[0], 13, g) || coord(d.points[1], 14, g) || coord(d.points[2], 15, g) ||
            coord(d.points[3], 16, g) || planar(e, g))
            continue;
        switch (g.code) {
        case 1: d.text = ctx.str(g); break;
        case 2: d.blockName = ctx.str(g); break;
        case 3: d.style = ctx.str(g); break;
        case 42: d.measurement = D(g); break;
        case 50: d.rotation = D(g) * kDegree; break;
        case 52: d.obliqueAngle = D(g) * kDegree; break;
        case 53: d.textRotation = D(g) * kDegree; break;
        case 70: d.dimType = I(g); break;
        case 71: d.attachment = I(g); break;
        default: break;
        }
    }
    e.data = std::move(d);
}

void parseLeader(Entity& e, const Body& body, const ReadContext& ctx) {
    LeaderData d;
    for (const auto& g : body) {
        if (pointList(d.vertices, 10, g)) continue;
        if (coord(d.normal, 210, g)) {
            coord(e.common.extrusion, 210, g);
            continue;
        }
        switch (g.code) {
        case 3: d.style = ctx.str(g); break;
        case 71: d.arrowhead = I(g) != 0; break;
        case 72: d.spline = I(g) == 1; break;
        case 340: d.annotation = toHandle(g); break;
        default: break;
        }
    }
    e.data = std::move(d);
}

// HATCH walks in three stages: the header up to the loop count, the
// boundary loops (each a polyline or a list of edges), then the pattern.
void parseHatch(Entity& e, const Body& body, const ReadContext& ctx) {
    HatchData d;
    enum class Stage { Header, Loops, Pattern } stage = Stage::Header;
    Vec3 elevationPoint;
    bool splineFitCountSeen = false;
    for (const auto& g : body) {
        if (stage == Stage::Header) {
            if (coord(elevationPoint, 10, g) || planar(e, g)) continue;
            switch (g.code) {
            case 2: d.pattern = ctx.str(g); break;
            case 70: d.solid = I(g) == 1; break;
            case 91: stage = Stage::Loops; break;
            default: break;
            }
            continue;
        }
        if (stage == Stage::Loops) {
            if (g.code == 75 || g.code == 76 || g.code == 52 || g.code == 41 || g.code == 78 || g.code == 98 ||
                g.code == 450) {
                stage = Stage::Pattern;  // fall through to the pattern stage below
            } else if (g.code == 92) {
                HatchLoop loop;
                loop.flags = I(g);
                loop.isPolyline = loop.flags & 2;
                d.loops.push_back(std::move(loop));
                continue;
            } else if (d.loops.empty()) {
                continue;
            } else {
                HatchLoop& loop = d.loops.back();
                if (loop.isPolyline) {
                    switch (g.code) {
                    case 73: loop.closed = I(g) != 0; break;
                    case 10: loop.polyline.emplace_back(); loop.polyline.back().point.x = D(g); break;
                    case 20: if (!loop.polyline.empty()) loop.polyline.back().point.y = D(g); break;
                    case 42: if (!loop.polyline.empty()) loop.polyline.back().bulge = D(g); break;
                    default: break;
                    }
                    continue;
                }
                if (g.code == 72) {
                    HatchEdge edge;
                    int kind = I(g);
                    edge.kind = kind == 2   ? HatchEdge::Kind::Arc
                                : kind == 3 ? HatchEdge::Kind::Ellipse
                                : kind == 4 ? HatchEdge::Kind::Spline
                                            : HatchEdge::Kind::Line;
                    loop.edges.push_back(std::move(edge));
                    splineFitCountSeen = false;
                    continue;
                }
                if (loop.edges.empty()) continue;
                HatchEdge& edge = loop.edges.back();
                switch (edge.kind) {
                case HatchEdge::Kind::Line:
                    (void)(coord(edge.start, 10, g) || coord(edge.end, 11, g));
                    break;
                case HatchEdge::Kind::Arc:
                case HatchEdge::Kind::Ellipse:
                    if (coord(edge.center, 10, g) || coord(edge.majorAxis, 11, g)) break;
                    if (g.code == 40) {
                        if (edge.kind == HatchEdge::Kind::Arc) edge.radius = D(g);
                        else edge.ratio = D(g);
                    } else if (g.code == 50) edge.startAngle = D(g) * kDegree;
                    else if (g.code == 51) edge.endAngle = D(g) * kDegree;
                    else if (g.code == 73) edge.ccw = I(g) != 0;
                    break;
                case HatchEdge::Kind::Spline:
                    if (pointList(edge.controlPoints, 10, g)) break;
                    if (splineFitCountSeen && pointList(edge.fitPoints, 11, g)) break;
                    switch (g.code) {
                    case 94: edge.degree = I(g); break;
                    case 73: edge.rational = I(g) != 0; break;
                    case 74: edge.periodic = I(g) != 0; break;
                    case 40: edge.knots.push_back(D(g)); break;
                    case 42: edge.weights.push_back(D(g)); break;
                    case 97: splineFitCountSeen = true; break;
                    default: break;
                    }
                    break;
                }
                continue;
            }
        }
        // Pattern stage.
        switch (g.code) {
        case 75: d.style = I(g); break;
        case 76: d.patternType = I(g); break;
        case 52: d.angle = D(g) * kDegree; break;
        case 41: d.scale = D(g); break;
        case 53: d.lines.emplace_back(); d.lines.back().angle = D(g) * kDegree; break;
        case 43: if (!d.lines.empty()) d.lines.back().base.x = D(g); break;
        case 44: if (!d.lines.empty()) d.lines.back().base.y = D(g); break;
        case 45: if (!d.lines.empty()) d.lines.back().offset.x = D(g); break;
        case 46: if (!d.lines.empty()) d.lines.back().offset.y = D(g); break;
        case 49: if (!d.lines.empty()) d.lines.back().dashes.push_back(D(g)); break;
        case 450: d.gradient = I(g) != 0; break;
        case 452: d.gradientFill.singleColor = I(g) != 0; break;
        case 460: d.gradientFill.angle = D(g); break;
        case 461: d.gradientFill.shift = D(g); break;
        case 462: d.gradientFill.tint = D(g); break;
        case 463: d.gradientFill.colors.push_back({D(g), Color::byLayer()}); break;
        case 63:
            if (!d.gradientFill.colors.empty()) d.gradientFill.colors.back().color = Color::fromIndex(I(g));
            break;
        case 421:
            if (!d.gradientFill.colors.empty())
                d.gradientFill.colors.back().color = Color::fromRgb(static_cast<std::uint32_t>(I(g)));
            break;
        case 470: d.gradientFill.name = ctx.str(g); break;
        default: break;
        }
    }
    d.elevation = elevationPoint.z;
    e.data = std::move(d);
}

void parseCorners(Entity& e, const Body& body, Vec3 (&corners)[4]) {
    bool haveFourth = false;
    for (const auto& g : body) {
        if (coord(corners[0], 10, g) || coord(corners[1], 11, g) || coord(corners[2], 12, g)) continue;
        if (coord(corners[3], 13, g)) {
            haveFourth = true;
            continue;
        }
        planar(e, g);
    }
    // A three-cornered face repeats its third corner.
    if (!haveFourth) corners[3] = corners[2];
}

void parseRay(Entity& e, const Body& body) {
    RayData d;
    for (const auto& g : body) (void)(coord(d.base, 10, g) || coord(d.direction, 11, g));
    e.data = d;
}

void parseMLine(Entity& e, const Body& body, const ReadContext& ctx) {
    MLineData d;
    for (const auto& g : body) {
        if (coord(d.start, 10, g) || planar(e, g)) continue;
        if (g.code == 11) {
            d.vertices.emplace_back();
            d.vertices.back().position.x = D(g);
            continue;
        }
        if (d.vertices.empty()) {
            switch (g.code) {
            case 2: d.style = ctx.str(g); break;
            case 40: d.scale = D(g); break;
            case 70: d.justification = I(g); break;
            case 71: d.flags = I(g); break;
            default: break;
            }
            continue;
        }
        MLineVertex& v = d.vertices.back();
        if (coord(v.position, 11, g) || coord(v.direction, 12, g) || coord(v.miter, 13, g)) continue;
        if (g.code == 74) v.parameters.emplace_back();
        else if (g.code == 41 && !v.parameters.empty()) v.parameters.back().push_back(D(g));
    }
    e.data = std::move(d);
}

void parseViewport(Entity& e, const Body& body, const ReadContext& ctx) {
    ViewportData d;
    for (const auto& g : body) {
        if (coord(d.center, 10, g) || coord(d.viewCenter, 12, g) || coord(d.viewDirection, 16, g) ||
            coord(d.viewTarget, 17, g))
            continue;
        switch (g.code) {
        case 40: d.width = D(g); break;
        case 41: d.height = D(g); break;
        case 42: d.lensLength = D(g); break;
        case 43: d.frontClip = D(g); break;
        case 44: d.backClip = D(g); break;
        case 45: d.viewHeight = D(g); break;
        case 51: d.twist = D(g) * kDegree; break;
        case 68: d.status = I(g); break;
        case 69: d.id = I(g); break;
        case 90: d.flags = I(g); break;
        case 340: d.clipBoundary = toHandle(g); break;
        case 341:
            // Frozen layers by handle; the tables have been read by now.
            if (ctx.drawing)
                for (const Layer& layer : ctx.drawing->layers)
                    if (layer.handle == toHandle(g)) d.frozenLayers.push_back(layer.name);
            break;
        default: break;
        }
    }
    e.data = std::move(d);
}

// R11 and R12 keep a viewport's view not in groups of its own but in the
// extended data of the application ACAD, after 1000 "MVIEW": between 1002
// braces, 1070 version, 1010 target, 1010 direction, then the reals 1040
// twist, view height, view centre X and Y, lens length, front and back clip,
// then settings of the grid and snap that do not change the picture, and a
// nested brace list of the frozen layers' names (1003). Values are taken by
// their place among those of the same code, so a list cut short gives what
// it holds. Guessed: the twist is in radians, as extended data keeps values
// as the program holds them rather than in the degrees of DXF's own angle
// groups (no viewport of our samples is turned).
void viewportFromXData(ViewportData& d, const Group* begin, const Group* end, const ReadContext& ctx) {
    const Group* p = begin;
    bool acad = false;
    for (; p < end; ++p) {
        if (p->code == 1001) acad = trimmed(p->value) == "ACAD";
        else if (acad && p->code == 1000 && trimmed(p->value) == "MVIEW") break;
    }
    if (p == end || ++p == end || p->code != 1002 || trimmed(p->value) != "{") return;
    std::vector<Vec3> points;
    std::vector<double> reals;
    int depth = 1;
    for (++p; p < end && depth > 0 && p->code != 1001; ++p) {
        if (p->code == 1002) depth += trimmed(p->value) == "{" ? 1 : -1;
        else if (depth == 2 && p->code == 1003) d.frozenLayers.push_back(ctx.str(*p));
        else if (depth != 1) continue;
        else if (p->code == 1010) points.emplace_back().x = D(*p);
        else if ((p->code == 1020 || p->code == 1030) && !points.empty()) coord(points.back(), 1010, *p);
        else if (p->code == 1040) reals.push_back(D(*p));
    }
    if (points.size() > 0) d.viewTarget = points[0];
    if (points.size() > 1) d.viewDirection = points[1];
    double* const fields[] = {&d.twist, &d.viewHeight, &d.viewCenter.x, &d.viewCenter.y,
                              &d.lensLength, &d.frontClip, &d.backClip};
    for (std::size_t i = 0; i < std::size(fields) && i < reals.size(); ++i) *fields[i] = reals[i];
}

void parseImage(Entity& e, const Body& body) {
    ImageData d;
    for (const auto& g : body) {
        if (coord(d.insertion, 10, g) || coord(d.uVector, 11, g) || coord(d.vVector, 12, g) ||
            coord(d.size, 13, g) || pointList(d.clip, 14, g))
            continue;
        switch (g.code) {
        case 70: d.displayFlags = I(g); break;
        case 71: d.clipType = I(g); break;
        case 280: d.clipping = I(g) != 0; break;
        case 281: d.brightness = I(g); break;
        case 282: d.contrast = I(g); break;
        case 283: d.fade = I(g); break;
        case 290: d.clipInverted = I(g) != 0; break;
        case 340: d.definition = toHandle(g); break;
        default: break;
        }
    }
    if (d.clipType == 2 && d.clip.size() > 2 && !(d.clip.front() == d.clip.back())) d.clip.push_back(d.clip.front());
    e.data = std::move(d);
}

// PDF, DWF and DGN underlays, as the DWG reader keeps them: u and v are one
// unit of the page, in the underlay's own plane.
void parseUnderlay(Entity& e, const Body& body) {
    ImageData d;
    Vec3 scale{1, 1, 1};
    double angle = 0;
    d.brightness = 50;
    d.contrast = 100;
    for (const auto& g : body) {
        if (coord(d.insertion, 10, g) || pointList(d.clip, 11, g) || coord(e.common.extrusion, 210, g))
            continue;
        switch (g.code) {
        case 50: angle = D(g) * kDegree; break;
        case 280: d.displayFlags = I(g); break;
        case 281: d.contrast = I(g); break;
        case 282: d.fade = I(g); break;
        case 340: d.definition = toHandle(g); break;
        default: break;
        }
    }
    // 41/42/43 are the x, y and z scales.
    for (const auto& g : body) {
        if (g.code == 41) scale.x = D(g);
        else if (g.code == 42) scale.y = D(g);
        else if (g.code == 43) scale.z = D(g);
    }
    d.uVector = Vec3{std::cos(angle), std::sin(angle), 0} * scale.x;
    d.vVector = Vec3{-std::sin(angle), std::cos(angle), 0} * scale.y;
    d.clipping = d.displayFlags & 1;
    d.clipInverted = d.displayFlags & 16;
    d.clipType = d.clip.size() > 2 ? 2 : 1;
    if (d.clipType == 2 && !(d.clip.front() == d.clip.back())) d.clip.push_back(d.clip.front());
    e.data = std::move(d);
}

void parseTolerance(Entity& e, const Body& body, const ReadContext& ctx) {
    ToleranceData d;
    for (const auto& g : body) {
        if (coord(d.insertion, 10, g) || coord(d.xDirection, 11, g) || planar(e, g)) continue;
        if (g.code == 1) d.text = ctx.str(g);
        else if (g.code == 3) d.style = ctx.str(g);
    }
    e.data = std::move(d);
}

void parseTable(Entity& e, const Body& body, const ReadContext& ctx) {
    TableData d;
    Vec3 direction{1, 0, 0};
    for (const auto& g : body) {
        if (g.subclass == "AcDbTable") {
            // The table's horizontal direction gives its rotation.
            if (coord(direction, 11, g)) d.rotation = std::atan2(direction.y, direction.x);
            continue;
        }
        blockReference(d, e, g, ctx);
    }
    e.data = std::move(d);
}

// MULTILEADER nests its data in brace groups: the context (300 ... 301),
// leader roots in it (302 ... 303) and leader lines in those (304 ... 305).
void parseMLeader(Entity& e, const Body& body, const ReadContext& ctx) {
    MLeaderData d;
    bool inContext = false, inLeader = false, inLine = false;
    for (const auto& g : body) {
        std::string_view v = trimmed(g.value);
        if (g.code == 300 && v == "CONTEXT_DATA{") { inContext = true; continue; }
        if (g.code == 301 && inContext) { inContext = false; continue; }
        if (g.code == 302 && v == "LEADER{") {
            inLeader = true;
            d.landingPoints.emplace_back();
            d.doglegDirections.emplace_back();
            d.doglegLengths.push_back(0);
            continue;
        }
        if (g.code == 303 && inLeader) { inLeader = false; continue; }
        if (g.code == 304 && v == "LEADER_LINE{") {
            inLine = true;
            d.leaderLines.emplace_back();
            d.leaderLineRoot.push_back(static_cast<int>(d.landingPoints.size()) - 1);
            continue;
        }
        if (g.code == 305 && inLine) { inLine = false; continue; }
        if (inLine) {
            pointList(d.leaderLines.back(), 10, g);
            continue;
        }
        if (inLeader) {
            if (d.landingPoints.empty()) continue;
            if (coord(d.landingPoints.back(), 10, g) || coord(d.doglegDirections.back(), 11, g)) continue;
            if (g.code == 40) d.doglegLengths.back() = D(g);
            continue;
        }
        if (inContext) {
            if (coord(d.textLocation, 12, g) || coord(d.textDirection, 13, g) || coord(d.blockPosition, 15, g) ||
                coord(d.blockScale, 16, g))
                continue;
            switch (g.code) {
            case 304: d.text = ctx.str(g); break;
            case 41: d.textHeight = D(g); break;
            case 140: d.arrowSize = D(g); break;
            case 145: d.landingGap = D(g); break;
            case 43: d.textWidth = D(g); break;
            case 45: d.lineSpacingFactor = D(g); break;
            case 171: d.textAttachment = I(g); break;
            case 172: d.textFlow = I(g); break;
            case 174: d.leftAttachment = I(g); break;
            case 175: d.rightAttachment = I(g); break;
            case 46: d.blockRotation = D(g); break;
            case 340: {
                auto it = ctx.styleNames.find(toHandle(g));
                if (it != ctx.styleNames.end()) d.textStyle = it->second;
                break;
            }
            case 341: {
                auto it = ctx.blockRecordNames.find(toHandle(g));
                if (it != ctx.blockRecordNames.end()) d.blockName = it->second;
                break;
            }
            default: break;
            }
            continue;
        }
        // The leader style's overrides after the context.
        switch (g.code) {
        case 170: break;
        case 42: if (d.arrowSize == 0) d.arrowSize = D(g); break;
        case 292: d.textFrame = I(g) != 0; break;
        case 271: d.verticalAttachment = I(g) == 1; break;
        case 344: {
            auto it = ctx.blockRecordNames.find(toHandle(g));
            if (d.blockName.empty() && it != ctx.blockRecordNames.end()) d.blockName = it->second;
            break;
        }
        default: break;
        }
    }
    e.data = std::move(d);
}

void parseShape(Entity& e, const Body& body, const ReadContext& ctx) {
    ShapeData d;
    for (const auto& g : body) {
        if (coord(d.insertion, 10, g) || planar(e, g)) continue;
        if (g.code == 2) d.name = ctx.str(g);
        else if (g.code == 40) d.size = D(g);
        else if (g.code == 50) d.rotation = D(g) * kDegree;
        else if (g.code == 41) d.widthFactor = D(g);
        else if (g.code == 51) d.oblique = D(g) * kDegree;
    }
    e.data = std::move(d);
}

// Kinds we know but do not draw: ACIS bodies, lights, proxies and such.
bool knownUndrawable(std::string_view type) {
    static const std::set<std::string_view> kinds = {
        "REGION", "3DSOLID", "BODY", "SURFACE", "PLANESURFACE", "EXTRUDEDSURFACE", "LOFTEDSURFACE",
        "REVOLVEDSURFACE", "SWEPTSURFACE", "NURBSURFACE", "ACAD_PROXY_ENTITY", "LIGHT", "SUN", "CAMERA", "MESH",
        "SECTIONOBJECT", "OLEFRAME", "OLE2FRAME", "GEOPOSITIONMARKER",
        "POINTCLOUD", "POINTCLOUDEX", "ARCALIGNEDTEXT", "RTEXT", "WIPEOUTVARIABLES"};
    return kinds.count(type) != 0;
}

// Files before R11 give an entity's height as an elevation (38) and its
// points in two dimensions: the elevation is the z of every point the
// record gives without one.
template <class G> void applyElevation(std::vector<G>& groups) {
    const G* elevation = nullptr;
    bool hasX[8] = {}, hasZ[8] = {};  // points 10 to 17; 38 is the elevation itself
    for (const G& g : groups) {
        if (g.code == 38) elevation = &g;
        else if (g.code >= 10 && g.code <= 17) hasX[g.code - 10] = true;
        else if (g.code >= 30 && g.code <= 37) hasZ[g.code - 30] = true;
    }
    if (!elevation) return;
    G z = *elevation;  // a copy: the list grows below
    for (int i = 0; i < 8; ++i)
        if (hasX[i] && !hasZ[i]) {
            z.code = 30 + i;
            groups.push_back(z);
        }
}

}  // namespace

// The kinds the entity names below are read into, and those no DXF entity
// becomes: a kind added to the model must be named in one of the two.
static_assert(kCoversEveryKind<EntityData,
                               KindList<PlaceholderData, LineData, PointData, CircleData, ArcData, EllipseData, SplineData,
                       LwPolylineData, PolylineData, TextData, MTextData, InsertData, DimensionData, LeaderData,
                       HatchData, SolidData, Face3DData, RayData, MLineData, ViewportData, ImageData, ToleranceData,
                       TableData, MLeaderData, ShapeData, ProxyEntityData, BodyData, MeshData>,
                               KindList<>>);

ParsedEntity parseEntity(std::string_view type, const Group* begin, const Group* end, const ReadContext& ctx) {
    ParsedEntity out;
    Entity& e = out.entity;
    e.type = std::string(type);

    // Common part: handle and owner come first, then the AcDbEntity subclass
    // (or, in R12 files without subclasses, mixed in with everything else).
    Body body;
    body.reserve(static_cast<std::size_t>(end - begin));
    std::string_view subclass;
    bool ownerSeen = false;
    // The graphics an application stored with the object: a size (92, or
    // 160 for large ones) and then the bytes in 310 chunks.
    std::vector<std::uint8_t> graphics;
    bool graphicsNext = false;
    // An attribute of several lines keeps them in its embedded object.
    const bool keepsEmbedded = type == "ATTRIB" || type == "ATTDEF";
    for (const Group* p = begin; p < end; ++p) {
        const Group& g = *p;
        if (g.code == 1001 || (g.code == 101 && !keepsEmbedded)) break;  // extended data, or an embedded object
        if (skipApplicationGroup(p, end)) continue;
        if (g.code == 100) {
            subclass = trimmed(g.value);
            continue;
        }
        bool commonZone = subclass.empty() || subclass == "AcDbEntity";
        if (commonZone) {
            bool taken = true;
            switch (g.code) {
            case 5: e.common.handle = toHandle(g); break;
            case 330:
                if (!ownerSeen) e.common.owner = toHandle(g);
                ownerSeen = true;
                break;
            case 8: e.common.layer = ctx.str(g); break;
            case 6: e.common.linetype = ctx.str(g); break;
            case 62: {
                int aci = I(g);
                if (e.common.color.kind != Color::Kind::True) e.common.color = Color::fromIndex(aci < 0 ? -aci : aci);
                break;
            }
            case 420: e.common.color = Color::fromRgb(static_cast<std::uint32_t>(toInt64(g))); break;
            case 370: e.common.lineweight = I(g); break;
            case 48: e.common.linetypeScale = D(g); break;
            case 60: e.common.invisible = I(g) != 0; break;
            case 67: e.common.paperSpace = I(g) != 0; break;
            case 92:
            case 160: graphicsNext = subclass == "AcDbEntity"; taken = graphicsNext; break;
            case 310:
                taken = graphicsNext;
                if (graphicsNext) appendHex(graphics, trimmed(g.value));
                break;
            default: taken = false; break;
            }
            if (taken) continue;
        }
        BodyGroup bg;
        static_cast<Group&>(bg) = g;
        bg.subclass = subclass;
        body.push_back(bg);
    }

    if (type != "LWPOLYLINE") applyElevation(body);
    if (type == "LINE" || type == "3DLINE") parseLine(e, body);  // 3DLINE: releases 2.6 to 10
    else if (type == "POINT") parsePoint(e, body);
    else if (type == "CIRCLE") parseCircleOrArc(e, body, false);
    else if (type == "ARC") parseCircleOrArc(e, body, true);
    else if (type == "ELLIPSE") parseEllipse(e, body);
    else if (type == "SPLINE" || type == "HELIX") parseSpline(e, body);
    else if (type == "LWPOLYLINE") parseLwPolyline(e, body);
    else if (type == "POLYLINE") {
        parsePolyline(e, body);
        out.followedBySequence = true;
    } else if (type == "TEXT") parseText(e, body, ctx, false);
    else if (type == "ATTRIB" || type == "ATTDEF") parseText(e, body, ctx, true);
    else if (type == "MTEXT") {
        parseMText(e, body, ctx);
        if (auto* m = e.as<MTextData>(); m && m->columnType == 0) mtextColumnsFromXData(*m, begin, end);
    }
    else if (type == "INSERT") out.followedBySequence = parseInsert(e, body, ctx);
    else if (type == "DIMENSION" || type == "ARC_DIMENSION" || type == "LARGE_RADIAL_DIMENSION")
        parseDimension(e, body, ctx);
    else if (type == "LEADER") parseLeader(e, body, ctx);
    else if (type == "HATCH") parseHatch(e, body, ctx);
    else if (type == "SOLID" || type == "TRACE") {
        SolidData d;
        parseCorners(e, body, d.corners);
        e.data = d;
    } else if (type == "3DFACE") {
        Face3DData d;
        parseCorners(e, body, d.corners);
        for (const auto& g : body)
            if (g.code == 70) d.invisibleEdges = I(g);
        e.data = d;
    } else if (type == "RAY" || type == "XLINE") parseRay(e, body);
    else if (type == "MLINE") parseMLine(e, body, ctx);
    else if (type == "VIEWPORT") {
        parseViewport(e, body, ctx);
        // Before R13 the view was kept in extended data alone, and the status
        // alone said a viewport was off. Later releases still write that data
        // beside their own groups, which then hold.
        const std::string& version = ctx.drawing ? ctx.drawing->header.version : std::string();
        const bool beforeR13 = version.empty() || version.rfind("AC10", 0) != 0 || version < "AC1012";
        if (auto* v = e.as<ViewportData>(); v && v->viewHeight == 0 && beforeR13) {
            viewportFromXData(*v, begin, end, ctx);
            if (v->viewHeight > 0 && v->status == 0) v->flags |= 0x20000;
        }
    }
    else if (type == "IMAGE" || type == "WIPEOUT") parseImage(e, body);
    else if (type == "PDFUNDERLAY" || type == "DWFUNDERLAY" || type == "DGNUNDERLAY") parseUnderlay(e, body);
    else if (type == "TOLERANCE") parseTolerance(e, body, ctx);
    else if (type == "ACAD_TABLE") parseTable(e, body, ctx);
    else if (type == "MULTILEADER" || type == "MLEADER") parseMLeader(e, body, ctx);
    else if (type == "SHAPE") parseShape(e, body, ctx);
    else if (type == "REGION" || type == "3DSOLID" || type == "BODY" || type == "PLANESURFACE" ||
             type == "EXTRUDEDSURFACE" || type == "LOFTEDSURFACE" || type == "REVOLVEDSURFACE" ||
             type == "SWEPTSURFACE" || type == "NURBSURFACE")
        parseModelerBody(e, body);
    else if (type == "MESH") parseMesh(e, body);
    else {
        if (type == "ACAD_PROXY_ENTITY") {
            std::vector<std::uint8_t> own = graphicsOf(body);
            graphics.insert(graphics.end(), own.begin(), own.end());
        }
        ProxyGraphics drawn;
        if (!graphics.empty()) drawn = decodeProxyGraphics(graphics.data(), graphics.size());
        if (!drawn.empty()) {
            if (ctx.drawing) ctx.drawing->noteProxyGraphics(e.type, drawn);
            e.data = ProxyEntityData{e.type, std::move(drawn)};
        } else {
            e.data = PlaceholderData{e.type};
            // Kinds we know we do not draw are not listed as skipped, but
            // those the CAD application shows are still lost.
            if (ctx.drawing && !knownUndrawable(type)) ctx.drawing->noteSkippedEntity(e.type);
            else if (ctx.drawing && !drawsNothing(type))
                ctx.drawing->losses.add(Loss::Kind::Entity, e.type, e.type + " not drawn");
        }
    }
    return out;
}

PolylineVertex parseVertex(const Group* begin, const Group* end) {
    PolylineVertex v;
    std::vector<Group> groups;
    for (const Group* p = begin; p < end; ++p) {
        if (p->code == 1001) break;
        if (skipApplicationGroup(p, end)) continue;
        groups.push_back(*p);
    }
    applyElevation(groups);
    for (const Group& g : groups) {
        if (coord(v.point, 10, g)) continue;
        switch (g.code) {
        case 40: v.startWidth = D(g); break;
        case 41: v.endWidth = D(g); break;
        case 42: v.bulge = D(g); break;
        case 70: v.flags = I(g); break;
        case 71: case 72: case 73: case 74: v.faceIndices[g.code - 71] = I(g); break;
        default: break;
        }
    }
    return v;
}

}  // namespace cad::dxf
