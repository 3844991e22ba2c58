#include "DrawingCompare.h"

#include "cad/model/Overloaded.h"

#include <charconv>
#include <cctype>
#include <cmath>
#include <map>
#include <type_traits>

namespace cad::compare {

namespace {

constexpr double kTurn = 6.283185307179586;

std::string number(double v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string hex(Handle h) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, h, 16);
    std::string s(buf, r.ptr);
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Whether a difference between a and b is small enough: within the absolute
// bound, or within the relative one of the larger magnitude.
bool withinTolerance(double difference, double a, double b, const Options& options) {
    double scale = std::max(std::fabs(a), std::fabs(b));
    return std::fabs(difference) <= std::max(options.absolute, options.relative * scale);
}

// Collects the differences of one entity, each prefixed with its kind and handle.
class Differ {
public:
    Differ(std::vector<std::string>& out, const Options& options, std::string prefix)
        : out_(out), options_(options), prefix_(std::move(prefix)) {}

    void num(const std::string& field, double a, double b) {
        if (!nearlyEqual(a, b, options_)) report(field, number(a), number(b));
    }
    void angle(const std::string& field, double a, double b) {
        if (!withinTolerance(std::remainder(a - b, kTurn), a, b, options_)) report(field, number(a), number(b));
    }
    void integer(const std::string& field, long a, long b) {
        if (a != b) report(field, std::to_string(a), std::to_string(b));
    }
    void flag(const std::string& field, bool a, bool b) {
        if (a != b) report(field, a ? "true" : "false", b ? "true" : "false");
    }
    void text(const std::string& field, const std::string& a, const std::string& b) {
        if (a != b) report(field, "\"" + a + "\"", "\"" + b + "\"");
    }
    void name(const std::string& field, const std::string& a, const std::string& b) {
        if (upperName(a) != upperName(b)) report(field, "\"" + a + "\"", "\"" + b + "\"");
    }
    // Anonymous blocks (*D12, *U3, *T1) are numbered afresh by every writer;
    // only their kind letter means something.
    void blockName(const std::string& field, const std::string& a, const std::string& b) {
        auto kind = [](const std::string& n) {
            std::size_t end = 1;
            while (end < n.size() && std::isalpha(static_cast<unsigned char>(n[end]))) ++end;
            return upperName(n.substr(0, end));
        };
        if (!a.empty() && !b.empty() && a[0] == '*' && b[0] == '*') {
            if (kind(a) != kind(b)) report(field, "\"" + a + "\"", "\"" + b + "\"");
        } else {
            name(field, a, b);
        }
    }
    void point(const std::string& field, Vec3 a, Vec3 b) {
        num(field + ".x", a.x, b.x), num(field + ".y", a.y, b.y), num(field + ".z", a.z, b.z);
    }
    void point(const std::string& field, Vec2 a, Vec2 b) { num(field + ".x", a.x, b.x), num(field + ".y", a.y, b.y); }
    // Lists compare element by element once their sizes agree.
    bool size(const std::string& field, std::size_t a, std::size_t b) {
        if (a == b) return true;
        report(field + ".size", std::to_string(a), std::to_string(b));
        return false;
    }
    template <class P>
    void points(const std::string& field, const std::vector<P>& a, const std::vector<P>& b) {
        if (size(field, a.size(), b.size()))
            for (std::size_t i = 0; i < a.size(); ++i) point(field + "[" + std::to_string(i) + "]", a[i], b[i]);
    }
    void numbers(const std::string& field, const std::vector<double>& a, const std::vector<double>& b) {
        if (size(field, a.size(), b.size()))
            for (std::size_t i = 0; i < a.size(); ++i) num(field + "[" + std::to_string(i) + "]", a[i], b[i]);
    }
    void color(const std::string& field, const Color& a, const Color& b) {
        auto show = [](const Color& c) {
            switch (c.kind) {
            case Color::Kind::ByLayer: return std::string("ByLayer");
            case Color::Kind::ByBlock: return std::string("ByBlock");
            case Color::Kind::Index: return std::to_string(c.index);
            case Color::Kind::True: return "#" + hex(c.rgb);
            }
            return std::string();
        };
        if (!(a == b)) report(field, show(a), show(b));
    }
    void report(const std::string& field, const std::string& a, const std::string& b) {
        out_.push_back(prefix_ + ": " + field + " " + a + " vs " + b);
    }

private:
    std::vector<std::string>& out_;
    const Options& options_;
    std::string prefix_;
};

void compareText(Differ& d, const TextData& a, const TextData& b) {
    d.point("insertion", a.insertion, b.insertion);
    // The second point only means something for aligned text.
    if (a.horizontalAlign != 0 || a.verticalAlign != 0 || b.horizontalAlign != 0 || b.verticalAlign != 0)
        d.point("alignment", a.alignment, b.alignment);
    d.num("height", a.height, b.height);
    d.angle("rotation", a.rotation, b.rotation);
    d.num("widthFactor", a.widthFactor, b.widthFactor);
    d.angle("oblique", a.oblique, b.oblique);
    d.text("value", a.value, b.value);
    d.name("style", a.style, b.style);
    d.integer("horizontalAlign", a.horizontalAlign, b.horizontalAlign);
    d.integer("verticalAlign", a.verticalAlign, b.verticalAlign);
    d.integer("generation", a.generation, b.generation);
    d.text("tag", a.tag, b.tag);
}

void compareHatch(Differ& d, const HatchData& a, const HatchData& b) {
    d.name("pattern", a.pattern, b.pattern);
    d.flag("solid", a.solid, b.solid);
    d.num("elevation", a.elevation, b.elevation);
    if (!a.solid) {
        d.angle("angle", a.angle, b.angle);
        d.num("scale", a.scale, b.scale);
    }
    if (d.size("loops", a.loops.size(), b.loops.size()))
        for (std::size_t i = 0; i < a.loops.size(); ++i) {
            const HatchLoop& la = a.loops[i];
            const HatchLoop& lb = b.loops[i];
            std::string l = "loops[" + std::to_string(i) + "]";
            d.flag(l + ".isPolyline", la.isPolyline, lb.isPolyline);
            if (la.isPolyline != lb.isPolyline) continue;
            if (la.isPolyline && d.size(l + ".polyline", la.polyline.size(), lb.polyline.size()))
                for (std::size_t k = 0; k < la.polyline.size(); ++k) {
                    std::string v = l + ".polyline[" + std::to_string(k) + "]";
                    d.point(v, la.polyline[k].point, lb.polyline[k].point);
                    d.num(v + ".bulge", la.polyline[k].bulge, lb.polyline[k].bulge);
                }
            if (!la.isPolyline && d.size(l + ".edges", la.edges.size(), lb.edges.size()))
                for (std::size_t k = 0; k < la.edges.size(); ++k) {
                    const HatchEdge& ea = la.edges[k];
                    const HatchEdge& eb = lb.edges[k];
                    std::string e = l + ".edges[" + std::to_string(k) + "]";
                    d.integer(e + ".kind", static_cast<int>(ea.kind), static_cast<int>(eb.kind));
                    if (ea.kind != eb.kind) continue;
                    switch (ea.kind) {
                    case HatchEdge::Kind::Line:
                        d.point(e + ".start", ea.start, eb.start), d.point(e + ".end", ea.end, eb.end);
                        break;
                    case HatchEdge::Kind::Arc:
                    case HatchEdge::Kind::Ellipse:
                        d.point(e + ".center", ea.center, eb.center);
                        if (ea.kind == HatchEdge::Kind::Arc) d.num(e + ".radius", ea.radius, eb.radius);
                        else d.point(e + ".majorAxis", ea.majorAxis, eb.majorAxis), d.num(e + ".ratio", ea.ratio, eb.ratio);
                        d.angle(e + ".startAngle", ea.startAngle, eb.startAngle);
                        d.angle(e + ".endAngle", ea.endAngle, eb.endAngle);
                        d.flag(e + ".ccw", ea.ccw, eb.ccw);
                        break;
                    case HatchEdge::Kind::Spline:
                        d.integer(e + ".degree", ea.degree, eb.degree);
                        d.numbers(e + ".knots", ea.knots, eb.knots);
                        d.points(e + ".controlPoints", ea.controlPoints, eb.controlPoints);
                        break;
                    }
                }
        }
    if (!a.solid && d.size("patternLines", a.lines.size(), b.lines.size()))
        for (std::size_t i = 0; i < a.lines.size(); ++i) {
            std::string l = "patternLines[" + std::to_string(i) + "]";
            d.angle(l + ".angle", a.lines[i].angle, b.lines[i].angle);
            d.point(l + ".base", a.lines[i].base, b.lines[i].base);
            d.point(l + ".offset", a.lines[i].offset, b.lines[i].offset);
            d.numbers(l + ".dashes", a.lines[i].dashes, b.lines[i].dashes);
        }
}

void compareGeometry(Differ& d, const EntityData& da, const EntityData& db) {
    // Called for data of one kind: the pairs of two kinds never reach the comparisons.
    visitData(
        overloaded{
            []<class A, class B>(const A&, const B&) requires(!std::is_same_v<A, B>) {},
            [](const PlaceholderData&, const PlaceholderData&) {},  // nothing but the class name, which is the type
            [&](const LineData& a, const LineData& b) {
                d.point("start", a.start, b.start), d.point("end", a.end, b.end);
            },
            [&](const PointData& a, const PointData& b) {
                d.point("position", a.position, b.position);
                d.angle("xAxisAngle", a.xAxisAngle, b.xAxisAngle);
            },
            [&](const CircleData& a, const CircleData& b) {
                d.point("center", a.center, b.center), d.num("radius", a.radius, b.radius);
            },
            [&](const ArcData& a, const ArcData& b) {
                d.point("center", a.center, b.center), d.num("radius", a.radius, b.radius);
                d.angle("startAngle", a.startAngle, b.startAngle), d.angle("endAngle", a.endAngle, b.endAngle);
            },
            [&](const EllipseData& a, const EllipseData& b) {
                d.point("center", a.center, b.center), d.point("majorAxis", a.majorAxis, b.majorAxis);
                d.num("ratio", a.ratio, b.ratio);
                d.angle("startParam", a.startParam, b.startParam), d.angle("endParam", a.endParam, b.endParam);
            },
            [&](const SplineData& a, const SplineData& b) {
                d.integer("degree", a.degree, b.degree);
                d.numbers("knots", a.knots, b.knots);
                d.points("controlPoints", a.controlPoints, b.controlPoints);
                if (!a.weights.empty() || !b.weights.empty()) d.numbers("weights", a.weights, b.weights);
                d.points("fitPoints", a.fitPoints, b.fitPoints);
            },
            [&](const LwPolylineData& a, const LwPolylineData& b) {
                d.flag("closed", a.closed, b.closed);
                d.num("constantWidth", a.constantWidth, b.constantWidth);
                d.num("elevation", a.elevation, b.elevation);
                if (d.size("vertices", a.vertices.size(), b.vertices.size()))
                    for (std::size_t i = 0; i < a.vertices.size(); ++i) {
                        std::string v = "vertices[" + std::to_string(i) + "]";
                        d.point(v, a.vertices[i].point, b.vertices[i].point);
                        d.num(v + ".bulge", a.vertices[i].bulge, b.vertices[i].bulge);
                        d.num(v + ".startWidth", a.vertices[i].startWidth, b.vertices[i].startWidth);
                        d.num(v + ".endWidth", a.vertices[i].endWidth, b.vertices[i].endWidth);
                    }
            },
            [&](const PolylineData& a, const PolylineData& b) {
                d.integer("kind", static_cast<int>(a.kind), static_cast<int>(b.kind));
                d.flag("closed", a.closed(), b.closed());
                if (d.size("vertices", a.vertices.size(), b.vertices.size()))
                    for (std::size_t i = 0; i < a.vertices.size(); ++i) {
                        const PolylineVertex& va = a.vertices[i];
                        const PolylineVertex& vb = b.vertices[i];
                        std::string v = "vertices[" + std::to_string(i) + "]";
                        d.point(v, va.point, vb.point);
                        d.num(v + ".bulge", va.bulge, vb.bulge);
                        d.num(v + ".startWidth", va.startWidth, vb.startWidth);
                        d.num(v + ".endWidth", va.endWidth, vb.endWidth);
                        for (int k = 0; k < 4; ++k)
                            d.integer(v + ".face[" + std::to_string(k) + "]", va.faceIndices[k], vb.faceIndices[k]);
                    }
            },
            [&](const TextData& a, const TextData& b) {
                compareText(d, a, b);
            },
            [&](const MTextData& a, const MTextData& b) {
                d.point("insertion", a.insertion, b.insertion), d.point("xAxis", a.xAxis, b.xAxis);
                d.num("height", a.height, b.height), d.num("rectWidth", a.rectWidth, b.rectWidth);
                d.integer("attachment", a.attachment, b.attachment);
                d.text("text", a.text, b.text);
                d.name("style", a.style, b.style);
            },
            [&](const InsertData& a, const InsertData& b) {
                d.blockName("block", a.blockName, b.blockName);
                d.point("insertion", a.insertion, b.insertion), d.point("scale", a.scale, b.scale);
                d.angle("rotation", a.rotation, b.rotation);
                d.integer("columns", a.columns, b.columns), d.integer("rows", a.rows, b.rows);
                if (a.columns > 1 || a.rows > 1) {
                    d.num("columnSpacing", a.columnSpacing, b.columnSpacing);
                    d.num("rowSpacing", a.rowSpacing, b.rowSpacing);
                }
                d.size("attributes", a.attributes.size(), b.attributes.size());
            },
            [&](const DimensionData& a, const DimensionData& b) {
                // The kind and the ordinate axis; the other bits are bookkeeping.
                d.integer("dimType", a.dimType & 0x4F, b.dimType & 0x4F);
                d.blockName("block", a.blockName, b.blockName);
                d.point("definitionPoint", a.definitionPoint, b.definitionPoint);
                d.point("textMidpoint", a.textMidpoint, b.textMidpoint);
                for (int k = 0; k < 4; ++k) d.point("points[" + std::to_string(k) + "]", a.points[k], b.points[k]);
                d.num("measurement", a.measurement, b.measurement);
                d.angle("rotation", a.rotation, b.rotation);
                d.angle("obliqueAngle", a.obliqueAngle, b.obliqueAngle);
                d.angle("textRotation", a.textRotation, b.textRotation);
                d.text("text", a.text, b.text);
            },
            [&](const LeaderData& a, const LeaderData& b) {
                d.points("vertices", a.vertices, b.vertices);
                d.flag("arrowhead", a.arrowhead, b.arrowhead), d.flag("spline", a.spline, b.spline);
            },
            [&](const HatchData& a, const HatchData& b) {
                compareHatch(d, a, b);
            },
            [&]<class T>(const T& a, const T& b) requires(std::is_same_v<T, SolidData> || std::is_same_v<T, Face3DData>) {
                for (int k = 0; k < 4; ++k) d.point("corners[" + std::to_string(k) + "]", a.corners[k], b.corners[k]);
                if constexpr (std::is_same_v<T, Face3DData>)
                    d.integer("invisibleEdges", a.invisibleEdges, b.invisibleEdges);
            },
            [&](const RayData& a, const RayData& b) {
                d.point("base", a.base, b.base), d.point("direction", a.direction, b.direction);
            },
            [&](const MLineData& a, const MLineData& b) {
                d.name("style", a.style, b.style), d.num("scale", a.scale, b.scale);
                d.integer("justification", a.justification, b.justification);
                d.point("start", a.start, b.start);
                if (d.size("vertices", a.vertices.size(), b.vertices.size()))
                    for (std::size_t i = 0; i < a.vertices.size(); ++i) {
                        std::string v = "vertices[" + std::to_string(i) + "]";
                        d.point(v + ".position", a.vertices[i].position, b.vertices[i].position);
                        d.point(v + ".direction", a.vertices[i].direction, b.vertices[i].direction);
                        d.point(v + ".miter", a.vertices[i].miter, b.vertices[i].miter);
                    }
            },
            [&](const ViewportData& a, const ViewportData& b) {
                d.point("center", a.center, b.center);
                d.num("width", a.width, b.width), d.num("height", a.height, b.height);
                d.point("viewCenter", a.viewCenter, b.viewCenter), d.num("viewHeight", a.viewHeight, b.viewHeight);
                d.angle("twist", a.twist, b.twist);
                d.point("viewDirection", a.viewDirection, b.viewDirection);
                d.point("viewTarget", a.viewTarget, b.viewTarget);
                d.num("frontClip", a.frontClip, b.frontClip), d.num("backClip", a.backClip, b.backClip);
                d.integer("flags", a.flags, b.flags);
                d.integer("clipBoundary", static_cast<long>(a.clipBoundary), static_cast<long>(b.clipBoundary));
                if (d.size("frozenLayers", a.frozenLayers.size(), b.frozenLayers.size()))
                    for (std::size_t i = 0; i < a.frozenLayers.size(); ++i)
                        d.name("frozenLayers[" + std::to_string(i) + "]", a.frozenLayers[i], b.frozenLayers[i]);
            },
            [&](const ImageData& a, const ImageData& b) {
                d.point("insertion", a.insertion, b.insertion);
                d.point("uVector", a.uVector, b.uVector), d.point("vVector", a.vVector, b.vVector);
                d.point("size", a.size, b.size);
                d.points("clip", a.clip, b.clip);
                d.flag("clipping", a.clipping, b.clipping), d.flag("clipInverted", a.clipInverted, b.clipInverted);
                d.integer("brightness", a.brightness, b.brightness), d.integer("contrast", a.contrast, b.contrast);
                d.integer("fade", a.fade, b.fade);
                d.text("filePath", a.filePath, b.filePath);
            },
            [&](const ToleranceData& a, const ToleranceData& b) {
                d.point("insertion", a.insertion, b.insertion);
                d.point("xDirection", a.xDirection, b.xDirection);
                d.text("text", a.text, b.text);
            },
            [&](const TableData& a, const TableData& b) {
                d.blockName("block", a.blockName, b.blockName);
                d.point("insertion", a.insertion, b.insertion);
            },
            [&](const MLeaderData& a, const MLeaderData& b) {
                if (d.size("leaderLines", a.leaderLines.size(), b.leaderLines.size()))
                    for (std::size_t i = 0; i < a.leaderLines.size(); ++i)
                        d.points("leaderLines[" + std::to_string(i) + "]", a.leaderLines[i], b.leaderLines[i]);
                d.text("text", a.text, b.text);
                d.point("textLocation", a.textLocation, b.textLocation);
                d.blockName("block", a.blockName, b.blockName);
            },
            [&](const ShapeData& a, const ShapeData& b) {
                d.point("insertion", a.insertion, b.insertion);
                d.num("size", a.size, b.size), d.angle("rotation", a.rotation, b.rotation);
                d.name("name", a.name, b.name);
            },
            [&](const ProxyEntityData& a, const ProxyEntityData& b) {
                d.size("primitives", a.graphics.primitives.size(), b.graphics.primitives.size());
            },
            [&](const BodyData& a, const BodyData& b) {
                // The same modeler data gives the same edges, in the same order.
                if (d.size("edges", a.edges.size(), b.edges.size()))
                    for (std::size_t i = 0; i < a.edges.size(); ++i) {
                        std::string e = "edges[" + std::to_string(i) + "]";
                        d.integer(e + ".kind", static_cast<int>(a.edges[i].kind), static_cast<int>(b.edges[i].kind));
                        d.point(e + ".start", a.edges[i].start, b.edges[i].start);
                        d.point(e + ".end", a.edges[i].end, b.edges[i].end);
                    }
            },
            [&](const MeshData& a, const MeshData& b) {
                d.points("vertices", a.vertices, b.vertices);
                d.size("faces", a.faces.size(), b.faces.size());
            }
        },
        da, db);
}

void compareEntity(std::vector<std::string>& out, const Options& options, const Entity& a, const Entity& b) {
    Differ d(out, options, a.type + " " + hex(a.common.handle));
    if (a.type != b.type) {
        d.report("type", a.type, b.type);
        return;
    }
    if (options.commonData) {
        const EntityCommon& ca = a.common;
        const EntityCommon& cb = b.common;
        d.name("layer", ca.layer, cb.layer);
        d.name("linetype", ca.linetype, cb.linetype);
        d.color("color", ca.color, cb.color);
        d.integer("lineweight", ca.lineweight, cb.lineweight);
        d.point("extrusion", ca.extrusion, cb.extrusion);
        d.num("thickness", ca.thickness, cb.thickness);
    }
    if (a.data.index() != b.data.index()) {
        d.report("data", "kind " + std::to_string(a.data.index()), "kind " + std::to_string(b.data.index()));
        return;
    }
    compareGeometry(d, a.data, b.data);
}

using HandleMap = std::map<Handle, const Entity*>;

void addEntities(HandleMap& map, const std::vector<Entity>& entities) {
    for (const Entity& e : entities) {
        if (e.common.handle != 0) map.emplace(e.common.handle, &e);
        if (const auto* insert = e.as<InsertData>()) addEntities(map, insert->attributes);
    }
}

// Compares two sets of entities matched by handle; where names the set in
// messages about entities only one side holds.
void compareSets(std::vector<std::string>& out, const Options& options, const HandleMap& a, const HandleMap& b,
                 const std::string& where) {
    for (const auto& [handle, entity] : a) {
        auto it = b.find(handle);
        if (it == b.end()) out.push_back(entity->type + " " + hex(handle) + ": only in the expected " + where);
        else compareEntity(out, options, *entity, *it->second);
    }
    for (const auto& [handle, entity] : b)
        if (!a.count(handle)) out.push_back(entity->type + " " + hex(handle) + ": only in the actual " + where);
}

}  // namespace

bool nearlyEqual(double a, double b, const Options& options) {
    return a == b || withinTolerance(a - b, a, b, options);
}

std::vector<std::string> compareCounts(const Drawing& expected, const Drawing& actual) {
    std::vector<std::string> out;
    auto a = countEntityKinds(expected);
    auto b = countEntityKinds(actual);
    for (const auto& [kind, n] : a) {
        auto it = b.find(kind);
        int m = it == b.end() ? 0 : it->second;
        if (n != m) out.push_back(kind + " " + std::to_string(n) + " vs " + std::to_string(m));
    }
    for (const auto& [kind, m] : b)
        if (!a.count(kind)) out.push_back(kind + " 0 vs " + std::to_string(m));
    return out;
}

std::vector<std::string> compareHeaders(const Drawing& expected, const Drawing& actual, const Options& options) {
    std::vector<std::string> out;
    Differ d(out, options, "header");
    const Header& a = expected.header;
    const Header& b = actual.header;
    d.point("extMin", a.extMin, b.extMin), d.point("extMax", a.extMax, b.extMax);
    d.point("pExtMin", a.pExtMin, b.pExtMin), d.point("pExtMax", a.pExtMax, b.pExtMax);
    d.point("limMin", a.limMin, b.limMin), d.point("limMax", a.limMax, b.limMax);
    d.num("ltScale", a.ltScale, b.ltScale), d.num("celtScale", a.celtScale, b.celtScale);
    d.num("textSize", a.textSize, b.textSize), d.num("dimScale", a.dimScale, b.dimScale);
    d.integer("pdMode", a.pdMode, b.pdMode), d.num("pdSize", a.pdSize, b.pdSize);
    d.flag("psLtScale", a.psLtScale, b.psLtScale), d.flag("fillMode", a.fillMode, b.fillMode);
    d.flag("mirrText", a.mirrText, b.mirrText), d.flag("lwDisplay", a.lwDisplay, b.lwDisplay);
    d.angle("angBase", a.angBase, b.angBase), d.flag("angDirClockwise", a.angDirClockwise, b.angDirClockwise);
    d.name("textStyle", a.textStyle, b.textStyle);
    d.integer("insUnits", a.insUnits, b.insUnits), d.integer("measurement", a.measurement, b.measurement);
    d.name("codePage", a.codePage, b.codePage);
    d.flag("tileMode", a.tileMode, b.tileMode);
    d.name("activeLayout", a.activeLayout, b.activeLayout);
    return out;
}

std::vector<std::string> compareLayouts(const Drawing& expected, const Drawing& actual, const Options& options) {
    std::vector<std::string> out;
    Differ top(out, options, "layouts");
    if (!top.size("count", expected.layouts.size(), actual.layouts.size())) return out;
    for (const Layout& a : expected.layouts) {
        const Layout* b = actual.findLayout(a.name);
        if (!b) {
            out.push_back("layout " + a.name + " missing");
            continue;
        }
        Differ d(out, options, "layout " + a.name);
        d.integer("tabOrder", a.tabOrder, b->tabOrder);
        d.integer("blockRecord", static_cast<long>(a.blockRecord), static_cast<long>(b->blockRecord));
        d.num("paperWidth", a.paperWidth, b->paperWidth), d.num("paperHeight", a.paperHeight, b->paperHeight);
        d.num("marginLeft", a.marginLeft, b->marginLeft), d.num("marginBottom", a.marginBottom, b->marginBottom);
        d.num("marginRight", a.marginRight, b->marginRight), d.num("marginTop", a.marginTop, b->marginTop);
        d.integer("plotRotation", a.plotRotation, b->plotRotation);
        d.integer("plotFlags", a.plotFlags, b->plotFlags), d.integer("plotType", a.plotType, b->plotType);
        d.integer("paperUnits", a.paperUnits, b->paperUnits);
        d.num("scalePaper", a.scalePaper, b->scalePaper), d.num("scaleDrawing", a.scaleDrawing, b->scaleDrawing);
        d.integer("standardScaleType", a.standardScaleType, b->standardScaleType);
        d.num("standardScale", a.standardScale, b->standardScale);
        d.point("plotOrigin", a.plotOrigin, b->plotOrigin);
        d.text("plotStyleSheet", a.plotStyleSheet, b->plotStyleSheet);
        d.point("limMin", a.limMin, b->limMin), d.point("limMax", a.limMax, b->limMax);
        d.point("extMin", a.extMin, b->extMin), d.point("extMax", a.extMax, b->extMax);
    }
    return out;
}

bool fittedByTheExport(const std::string& line, const Drawing& dwg) {
    if (line.find(": knots.size ") == std::string::npos && line.find(": controlPoints.size ") == std::string::npos)
        return false;
    for (const Block& block : dwg.blocks)
        for (const Entity& e : block.entities) {
            const auto* s = e.as<SplineData>();
            if (!s) continue;
            const bool tangentLeftOpen = s->controlPoints.empty() && !s->fitPoints.empty() &&
                                         (s->startTangent == Vec3{} || s->endTangent == Vec3{});
            if (!tangentLeftOpen && e.type != "HELIX") continue;
            if (line.rfind(e.type + " " + hex(e.common.handle) + ": ", 0) == 0) return true;
        }
    return false;
}

bool aboutExtents(const std::string& headerLine) {
    for (const char* name : {"header: extMin.", "header: extMax.", "header: pExtMin.", "header: pExtMax."})
        if (headerLine.rfind(name, 0) == 0) return true;
    return false;
}

std::vector<std::string> compareDrawings(const Drawing& expected, const Drawing& actual, const Options& options) {
    std::vector<std::string> out = compareCounts(expected, actual);

    auto spaces = [](const Drawing& dr) {
        HandleMap map;
        if (const Block* b = dr.modelSpace()) addEntities(map, b->entities);
        if (const Block* b = dr.paperSpace()) addEntities(map, b->entities);
        return map;
    };
    compareSets(out, options, spaces(expected), spaces(actual), "model or paper space");

    if (options.blocks)
        for (const Block& be : expected.blocks) {
            std::string upper = upperName(be.name);
            if (upper == "*MODEL_SPACE" || upper == "*PAPER_SPACE") continue;
            // Block records keep their handles; anonymous names do not survive a save.
            const Block* ba = be.handle ? actual.findBlockByHandle(be.handle) : nullptr;
            if (!ba && (be.name.empty() || be.name[0] != '*')) ba = actual.findBlock(be.name);
            if (!ba) continue;
            HandleMap a, b;
            addEntities(a, be.entities);
            addEntities(b, ba->entities);
            compareSets(out, options, a, b, "block " + be.name);
        }

    if (out.size() > options.maxDifferences) {
        std::size_t more = out.size() - options.maxDifferences;
        out.resize(options.maxDifferences);
        out.push_back("... and " + std::to_string(more) + " more");
    }
    return out;
}

::testing::AssertionResult sameDrawing(const Drawing& expected, const Drawing& actual, const Options& options) {
    std::vector<std::string> diffs = compareDrawings(expected, actual, options);
    if (diffs.empty()) return ::testing::AssertionSuccess();
    auto result = ::testing::AssertionFailure();
    result << diffs.size() << " difference(s):";
    for (const std::string& line : diffs) result << "\n  " << line;
    return result;
}

}  // namespace cad::compare
