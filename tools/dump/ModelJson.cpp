#include "tools/dump/ModelJson.h"

#include "tools/common/JsonWriter.h"

#include <cstdio>
#include <string>
#include <type_traits>

namespace lumicade {

namespace {

using namespace cad;

// The shared writer, with the model's own kinds of value.
class Json : public json::Writer {
public:
    using json::Writer::Writer;
    using json::Writer::value;

    void handle(const char* key, Handle h) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(h));
        value(key, std::string(buf));
    }
    void point(const char* key, Vec3 p) {
        beginArray(key);
        value(nullptr, p.x), value(nullptr, p.y), value(nullptr, p.z);
        endArray();
    }
    void point(const char* key, Vec2 p) {
        beginArray(key);
        value(nullptr, p.x), value(nullptr, p.y);
        endArray();
    }
    template <class Points>
    void points(const char* key, const Points& list) {
        beginArray(key);
        for (const auto& p : list) point(nullptr, p);
        endArray();
    }
    void numbers(const char* key, const std::vector<double>& list) {
        beginArray(key);
        for (double d : list) value(nullptr, d);
        endArray();
    }
    void color(const char* key, const Color& c) {
        if (c.kind == Color::Kind::ByLayer) value(key, "ByLayer");
        else if (c.kind == Color::Kind::ByBlock) value(key, "ByBlock");
        else if (c.kind == Color::Kind::Index) value(key, static_cast<int>(c.index));
        else {
            char buf[16];
            std::snprintf(buf, sizeof buf, "#%06X", static_cast<unsigned>(c.rgb));
            value(key, std::string(buf));
        }
    }
};

void writeEntity(Json& j, const Entity& e);

void writeText(Json& j, const TextData& d) {
    j.point("insertion", d.insertion), j.point("alignment", d.alignment);
    j.value("height", d.height), j.value("rotation", d.rotation), j.value("widthFactor", d.widthFactor);
    j.value("oblique", d.oblique), j.value("value", d.value), j.value("style", d.style);
    j.value("horizontalAlign", d.horizontalAlign), j.value("verticalAlign", d.verticalAlign);
    j.value("generation", d.generation);
    if (!d.tag.empty()) j.value("tag", d.tag), j.value("prompt", d.prompt), j.value("attributeFlags", d.attributeFlags);
}

const char* primitiveName(ProxyPrimitive::Kind k) {
    using K = ProxyPrimitive::Kind;
    switch (k) {
    case K::Extents: return "extents";
    case K::Circle: return "circle";
    case K::Arc: return "arc";
    case K::Polyline: return "polyline";
    case K::Polygon: return "polygon";
    case K::Mesh: return "mesh";
    case K::Shell: return "shell";
    case K::Text: return "text";
    case K::Xline: return "xline";
    case K::Ray: return "ray";
    case K::Color: return "color";
    case K::TrueColor: return "trueColor";
    case K::Layer: return "layer";
    case K::Linetype: return "linetype";
    case K::Marker: return "marker";
    case K::Fill: return "fill";
    case K::Lineweight: return "lineweight";
    case K::LinetypeScale: return "linetypeScale";
    case K::Thickness: return "thickness";
    case K::PlotStyle: return "plotStyle";
    case K::PushClip: return "pushClip";
    case K::PopClip: return "popClip";
    case K::PushTransform: return "pushTransform";
    case K::PopTransform: return "popTransform";
    case K::LwPolyline: return "lwpolyline";
    }
    return "?";
}

// Each primitive with the fields its kind uses.
void writeGraphics(Json& j, const ProxyGraphics& g) {
    using K = ProxyPrimitive::Kind;
    if (g.damaged) j.value("graphicsDamaged", true);
    if (g.skippedPrimitives) j.value("skippedPrimitives", g.skippedPrimitives);
    j.beginArray("primitives");
    for (const ProxyPrimitive& p : g.primitives) {
        j.beginObject();
        j.value("kind", primitiveName(p.kind));
        if (!p.points.empty()) j.points("points", p.points);
        switch (p.kind) {
        case K::Circle: j.value("radius", p.radius), j.point("normal", p.normal); break;
        case K::Arc:
            j.value("radius", p.radius), j.point("normal", p.normal), j.point("start", p.direction);
            j.value("sweep", p.sweep), j.value("arcType", p.fill);
            break;
        case K::Mesh: j.value("rows", p.rows), j.value("columns", p.columns); break;
        case K::Shell: j.value("faceEntries", static_cast<int>(p.faces.size())); break;
        case K::Text:
            j.value("text", p.text), j.value("height", p.height), j.point("direction", p.direction);
            j.point("normal", p.normal);
            break;
        case K::Color: case K::TrueColor: case K::Layer: case K::Linetype: case K::Marker: case K::Fill:
        case K::Lineweight: case K::PlotStyle:
            j.value("value", static_cast<double>(p.value));
            break;
        case K::LinetypeScale: case K::Thickness: j.value("value", p.number); break;
        case K::PushTransform: j.numbers("matrix", std::vector<double>(p.matrix.begin(), p.matrix.end())); break;
        case K::LwPolyline: {
            j.value("closed", p.closed);
            std::vector<Vec3> pts;
            for (const auto& v : p.lw) pts.push_back({v.point.x, v.point.y, p.elevation});
            j.points("vertices", pts);
            break;
        }
        default: break;
        }
        j.endObject();
    }
    j.endArray();
}

void writeBody(Json& j, const BodyData& b) {
    static const char* kinds[] = {"line", "ellipse", "spline"};
    if (!b.error.empty()) j.value("error", b.error);
    if (b.unsupportedEdges) j.value("unsupportedEdges", b.unsupportedEdges);
    j.beginArray("edges");
    for (const WireEdge& e : b.edges) {
        j.beginObject();
        j.value("kind", kinds[static_cast<int>(e.kind)]);
        j.point("start", e.start), j.point("end", e.end);
        if (e.kind == WireEdge::Kind::Ellipse) {
            j.point("center", e.center), j.point("majorAxis", e.majorAxis), j.point("minorAxis", e.minorAxis);
            j.value("startParam", e.startParam), j.value("endParam", e.endParam);
        } else if (e.kind == WireEdge::Kind::Spline) {
            j.value("degree", e.degree), j.numbers("knots", e.knots), j.points("controlPoints", e.controlPoints);
            if (!e.weights.empty()) j.numbers("weights", e.weights);
        }
        j.endObject();
    }
    j.endArray();
}

void writeFields(Json& j, const PlaceholderData& d) {
    j.value("className", d.className);
}

void writeFields(Json& j, const LineData& d) {
    j.point("start", d.start), j.point("end", d.end);
}

void writeFields(Json& j, const PointData& d) {
    j.point("position", d.position), j.value("xAxisAngle", d.xAxisAngle);
}

void writeFields(Json& j, const CircleData& d) {
    j.point("center", d.center), j.value("radius", d.radius);
}

void writeFields(Json& j, const ArcData& d) {
    j.point("center", d.center), j.value("radius", d.radius);
    j.value("startAngle", d.startAngle), j.value("endAngle", d.endAngle);
}

void writeFields(Json& j, const EllipseData& d) {
    j.point("center", d.center), j.point("majorAxis", d.majorAxis), j.value("ratio", d.ratio);
    j.value("startParam", d.startParam), j.value("endParam", d.endParam);
}

void writeFields(Json& j, const SplineData& d) {
    j.value("degree", d.degree), j.value("flags", d.flags), j.numbers("knots", d.knots);
    j.points("controlPoints", d.controlPoints), j.numbers("weights", d.weights);
    j.points("fitPoints", d.fitPoints);
    j.point("startTangent", d.startTangent), j.point("endTangent", d.endTangent);
}

void writeFields(Json& j, const LwPolylineData& d) {
    j.value("closed", d.closed), j.value("constantWidth", d.constantWidth);
    j.value("elevation", d.elevation);
    j.beginArray("vertices");
    for (const LwVertex& v : d.vertices) {
        j.beginObject();
        j.point("point", v.point), j.value("startWidth", v.startWidth), j.value("endWidth", v.endWidth);
        j.value("bulge", v.bulge);
        j.endObject();
    }
    j.endArray();
}

void writeFields(Json& j, const PolylineData& d) {
    static const char* kinds[] = {"2D", "3D", "polyface", "mesh"};
    j.value("kind", kinds[static_cast<int>(d.kind)]), j.value("flags", d.flags);
    j.value("meshM", d.meshM), j.value("meshN", d.meshN), j.value("elevation", d.elevation);
    j.beginArray("vertices");
    for (const PolylineVertex& v : d.vertices) {
        j.beginObject();
        j.point("point", v.point), j.value("flags", v.flags), j.value("bulge", v.bulge);
        j.value("startWidth", v.startWidth), j.value("endWidth", v.endWidth);
        if (v.faceIndices[0] || v.faceIndices[1] || v.faceIndices[2] || v.faceIndices[3]) {
            j.beginArray("face");
            for (int f : v.faceIndices) j.value(nullptr, f);
            j.endArray();
        }
        j.endObject();
    }
    j.endArray();
}

void writeFields(Json& j, const TextData& d) {
    writeText(j, d);
}

void writeFields(Json& j, const MTextData& d) {
    j.point("insertion", d.insertion), j.point("xAxis", d.xAxis), j.value("height", d.height);
    j.value("rectWidth", d.rectWidth), j.value("rectHeight", d.rectHeight);
    j.value("attachment", d.attachment), j.value("lineSpacingFactor", d.lineSpacingFactor);
    j.value("text", d.text), j.value("style", d.style);
}

void writeFields(Json& j, const InsertData& d) {
    j.value("block", d.blockName), j.point("insertion", d.insertion), j.point("scale", d.scale);
    j.value("rotation", d.rotation);
    if (d.columns != 1 || d.rows != 1) {
        j.value("columns", d.columns), j.value("rows", d.rows);
        j.value("columnSpacing", d.columnSpacing), j.value("rowSpacing", d.rowSpacing);
    }
    if (!d.attributes.empty()) {
        j.beginArray("attributes");
        for (const Entity& a : d.attributes) writeEntity(j, a);
        j.endArray();
    }
}

void writeFields(Json& j, const DimensionData& d) {
    j.value("dimType", d.dimType), j.value("block", d.blockName), j.value("style", d.style);
    j.point("definitionPoint", d.definitionPoint), j.point("textMidpoint", d.textMidpoint);
    j.points("points", d.points);
    j.value("measurement", d.measurement), j.value("rotation", d.rotation);
    j.value("obliqueAngle", d.obliqueAngle), j.value("textRotation", d.textRotation);
    j.value("text", d.text);
}

void writeFields(Json& j, const LeaderData& d) {
    j.points("vertices", d.vertices), j.value("arrowhead", d.arrowhead), j.value("spline", d.spline);
    j.value("style", d.style), j.handle("annotation", d.annotation);
}

void writeHatchEdge(Json& j, const HatchEdge& e) {
    j.beginObject();
    switch (e.kind) {
    case HatchEdge::Kind::Line:
        j.value("kind", "line"), j.point("start", e.start), j.point("end", e.end);
        break;
    case HatchEdge::Kind::Arc:
        j.value("kind", "arc"), j.point("center", e.center), j.value("radius", e.radius);
        j.value("startAngle", e.startAngle), j.value("endAngle", e.endAngle);
        j.value("ccw", e.ccw);
        break;
    case HatchEdge::Kind::Ellipse:
        j.value("kind", "ellipse"), j.point("center", e.center);
        j.point("majorAxis", e.majorAxis), j.value("ratio", e.ratio);
        j.value("startAngle", e.startAngle), j.value("endAngle", e.endAngle);
        j.value("ccw", e.ccw);
        break;
    case HatchEdge::Kind::Spline:
        j.value("kind", "spline"), j.value("degree", e.degree);
        j.numbers("knots", e.knots), j.points("controlPoints", e.controlPoints);
        j.numbers("weights", e.weights), j.points("fitPoints", e.fitPoints);
        break;
    }
    j.endObject();
}

void writeHatchLoop(Json& j, const HatchLoop& l) {
    j.beginObject();
    j.value("flags", l.flags);
    if (l.isPolyline) {
        j.value("closed", l.closed);
        j.beginArray("polyline");
        for (const LwVertex& v : l.polyline) {
            j.beginObject();
            j.point("point", v.point), j.value("bulge", v.bulge);
            j.endObject();
        }
        j.endArray();
    } else {
        j.beginArray("edges");
        for (const HatchEdge& e : l.edges) writeHatchEdge(j, e);
        j.endArray();
    }
    j.endObject();
}

void writeFields(Json& j, const HatchData& d) {
    j.value("pattern", d.pattern), j.value("solid", d.solid), j.value("elevation", d.elevation);
    j.value("angle", d.angle), j.value("scale", d.scale), j.value("style", d.style);
    j.value("gradient", d.gradient);
    if (d.gradient) {
        const HatchGradient& g = d.gradientFill;
        j.value("gradientName", g.name), j.value("gradientAngle", g.angle);
        j.value("gradientShift", g.shift), j.value("gradientTint", g.tint);
        j.value("gradientColors", static_cast<int>(g.colors.size()));
    }
    j.beginArray("loops");
    for (const HatchLoop& l : d.loops) writeHatchLoop(j, l);
    j.endArray();
    j.beginArray("patternLines");
    for (const HatchPatternLine& l : d.lines) {
        j.beginObject();
        j.value("angle", l.angle), j.point("base", l.base), j.point("offset", l.offset);
        j.numbers("dashes", l.dashes);
        j.endObject();
    }
    j.endArray();
}

template <class T>
    requires(std::is_same_v<T, SolidData> || std::is_same_v<T, Face3DData>)
void writeFields(Json& j, const T& d) {
    j.points("corners", d.corners);
    if constexpr (std::is_same_v<T, Face3DData>) j.value("invisibleEdges", d.invisibleEdges);
}

void writeFields(Json& j, const RayData& d) {
    j.point("base", d.base), j.point("direction", d.direction);
}

void writeFields(Json& j, const MLineData& d) {
    j.value("style", d.style), j.value("scale", d.scale), j.value("justification", d.justification);
    j.value("flags", d.flags), j.point("start", d.start), j.numbers("elementOffsets", d.elementOffsets);
    j.beginArray("vertices");
    for (const MLineVertex& v : d.vertices) {
        j.beginObject();
        j.point("position", v.position), j.point("direction", v.direction), j.point("miter", v.miter);
        j.beginArray("parameters");
        for (const auto& p : v.parameters) j.numbers(nullptr, p);
        j.endArray();
        j.endObject();
    }
    j.endArray();
}

void writeFields(Json& j, const ViewportData& d) {
    j.point("center", d.center), j.value("width", d.width), j.value("height", d.height);
    j.point("viewCenter", d.viewCenter), j.value("viewHeight", d.viewHeight);
    j.value("twist", d.twist), j.value("id", d.id), j.value("status", d.status);
    j.point("viewDirection", d.viewDirection), j.point("viewTarget", d.viewTarget);
    j.value("lensLength", d.lensLength), j.value("frontClip", d.frontClip), j.value("backClip", d.backClip);
    j.value("flags", d.flags), j.value("on", d.on()), j.value("locked", d.locked());
    j.handle("clipBoundary", d.clipBoundary);
    j.beginArray("frozenLayers");
    for (const std::string& name : d.frozenLayers) j.value(nullptr, name);
    j.endArray();
}

void writeFields(Json& j, const ImageData& d) {
    j.point("insertion", d.insertion), j.point("uVector", d.uVector), j.point("vVector", d.vVector);
    j.point("size", d.size), j.value("clipping", d.clipping), j.value("clipType", d.clipType);
    j.points("clip", d.clip);
    j.value("clipInverted", d.clipInverted), j.value("displayFlags", d.displayFlags);
    j.value("brightness", d.brightness), j.value("contrast", d.contrast), j.value("fade", d.fade);
    j.handle("definition", d.definition), j.value("filePath", d.filePath);
    if (!d.page.empty()) j.value("page", d.page);
}

void writeFields(Json& j, const ToleranceData& d) {
    j.point("insertion", d.insertion), j.point("xDirection", d.xDirection);
    j.value("text", d.text), j.value("style", d.style);
}

void writeFields(Json& j, const TableData& d) {
    j.value("block", d.blockName), j.point("insertion", d.insertion), j.point("scale", d.scale);
    j.value("rotation", d.rotation);
}

void writeFields(Json& j, const MLeaderData& d) {
    j.beginArray("leaderLines");
    for (const auto& line : d.leaderLines) j.points(nullptr, line);
    j.endArray();
    j.points("landingPoints", d.landingPoints);
    j.value("text", d.text), j.point("textLocation", d.textLocation);
    j.point("textDirection", d.textDirection), j.value("textHeight", d.textHeight);
    j.value("arrowSize", d.arrowSize), j.value("landingGap", d.landingGap);
    j.value("textAttachment", d.textAttachment), j.value("textWidth", d.textWidth);
    j.value("lineSpacingFactor", d.lineSpacingFactor), j.value("textFrame", d.textFrame);
    j.value("textFlow", d.textFlow), j.value("leftAttachment", d.leftAttachment);
    j.value("rightAttachment", d.rightAttachment), j.value("verticalAttachment", d.verticalAttachment);
    j.value("block", d.blockName), j.point("blockPosition", d.blockPosition);
}

void writeFields(Json& j, const ShapeData& d) {
    j.point("insertion", d.insertion), j.value("size", d.size), j.value("rotation", d.rotation);
    j.value("name", d.name);
}

void writeFields(Json& j, const ProxyEntityData& d) {
    j.value("className", d.className);
    writeGraphics(j, d.graphics);
}

void writeFields(Json& j, const BodyData& d) {
    writeBody(j, d);
}

void writeFields(Json& j, const MeshData& d) {
    j.value("version", d.version), j.value("subdivisionLevel", d.subdivisionLevel);
    j.points("vertices", d.vertices);
    j.beginArray("faces");
    for (const auto& f : d.faces) {
        j.beginArray();
        for (int v : f) j.value(nullptr, v);
        j.endArray();
    }
    j.endArray();
    j.value("edges", static_cast<int>(d.edges.size()));
}

// Each kind's own fields, after those all entities share.
void writeData(Json& j, const EntityData& data) {
    visitData([&](const auto& d) { writeFields(j, d); }, data);
}

void writeEntity(Json& j, const Entity& e) {
    j.beginObject();
    j.value("type", e.type);
    j.handle("handle", e.common.handle);
    j.handle("owner", e.common.owner);
    j.value("layer", e.common.layer);
    j.value("linetype", e.common.linetype);
    j.color("color", e.common.color);
    j.value("lineweight", e.common.lineweight);
    if (e.common.linetypeScale != 1) j.value("linetypeScale", e.common.linetypeScale);
    if (e.common.invisible) j.value("invisible", true);
    if (e.common.paperSpace) j.value("paperSpace", true);
    if (!(e.common.extrusion == Vec3{0, 0, 1})) j.point("extrusion", e.common.extrusion);
    if (e.common.thickness != 0) j.value("thickness", e.common.thickness);
    writeData(j, e.data);
    j.endObject();
}

void writeHeader(Json& j, const Drawing& d) {
    const Header& h = d.header;
    j.beginObject("header");
    j.value("version", h.version), j.value("codePage", h.codePage);
    j.point("extMin", h.extMin), j.point("extMax", h.extMax);
    j.point("pExtMin", h.pExtMin), j.point("pExtMax", h.pExtMax);
    j.point("limMin", h.limMin), j.point("limMax", h.limMax);
    j.value("ltScale", h.ltScale), j.value("celtScale", h.celtScale), j.value("textSize", h.textSize);
    j.value("dimScale", h.dimScale), j.value("pdMode", h.pdMode), j.value("pdSize", h.pdSize);
    j.value("psLtScale", h.psLtScale), j.value("fillMode", h.fillMode), j.value("mirrText", h.mirrText);
    j.value("lwDisplay", h.lwDisplay), j.value("insUnits", h.insUnits), j.value("measurement", h.measurement);
    j.value("angBase", h.angBase), j.value("angDirClockwise", h.angDirClockwise);
    j.value("textStyle", h.textStyle), j.value("activeLayout", h.activeLayout);
    j.value("tileMode", h.tileMode);
    if (h.modelView.present) {
        const SavedView& v = h.modelView;
        j.beginObject("modelView");
        j.point("center", v.center), j.value("width", v.width), j.value("height", v.height);
        j.point("direction", v.direction), j.point("target", v.target), j.value("twist", v.twist);
        j.endObject();
    }
    j.endObject();
}

void writeTables(Json& j, const Drawing& d) {
    j.beginArray("layers");
    for (const Layer& l : d.layers) {
        j.beginObject();
        j.handle("handle", l.handle), j.value("name", l.name), j.color("color", l.color);
        j.value("on", l.on), j.value("frozen", l.frozen), j.value("locked", l.locked), j.value("plot", l.plot);
        j.value("linetype", l.linetype), j.value("lineweight", l.lineweight);
        j.endObject();
    }
    j.endArray();
    j.beginArray("linetypes");
    for (const Linetype& l : d.linetypes) {
        j.beginObject();
        j.handle("handle", l.handle), j.value("name", l.name), j.value("description", l.description);
        j.value("patternLength", l.patternLength), j.numbers("dashes", l.dashes);
        j.endObject();
    }
    j.endArray();
    j.beginArray("textStyles");
    for (const TextStyle& s : d.textStyles) {
        j.beginObject();
        j.handle("handle", s.handle), j.value("name", s.name), j.value("font", s.fontFile);
        j.value("bigFont", s.bigFontFile), j.value("fontFamily", s.fontFamily);
        j.value("fixedHeight", s.fixedHeight), j.value("widthFactor", s.widthFactor);
        j.value("oblique", s.oblique), j.value("flags", s.flags);
        j.endObject();
    }
    j.endArray();
    j.beginArray("dimStyles");
    for (const DimStyle& s : d.dimStyles) {
        j.beginObject();
        j.handle("handle", s.handle), j.value("name", s.name);
        j.endObject();
    }
    j.endArray();
}

// Layouts and the files the drawing names.
void writeLayouts(Json& j, const Drawing& d) {
    j.beginArray("layouts");
    for (const Layout& l : d.layouts) {
        j.beginObject();
        j.handle("handle", l.handle), j.value("name", l.name), j.value("tabOrder", l.tabOrder);
        j.handle("blockRecord", l.blockRecord), j.value("flags", l.flags);
        j.value("paperSize", l.paperSizeName), j.value("paperWidth", l.paperWidth);
        j.value("paperHeight", l.paperHeight), j.value("paperUnits", l.paperUnits);
        j.value("plotRotation", l.plotRotation);
        j.beginArray("margins");
        j.value(nullptr, l.marginLeft), j.value(nullptr, l.marginBottom);
        j.value(nullptr, l.marginRight), j.value(nullptr, l.marginTop);
        j.endArray();
        j.point("limMin", l.limMin), j.point("limMax", l.limMax);
        j.point("extMin", l.extMin), j.point("extMax", l.extMax);
        j.endObject();
    }
    j.endArray();
    j.beginArray("fileDefinitions");
    for (const FileDefinition& f : d.fileDefinitions) {
        j.beginObject();
        j.handle("handle", f.handle), j.value("kind", f.kind), j.value("filePath", f.filePath);
        if (!f.page.empty()) j.value("page", f.page);
        if (f.kind == "IMAGEDEF") j.point("size", f.size), j.point("pixelSize", f.pixelSize);
        j.endObject();
    }
    j.endArray();
    if (!d.referenceProblems.empty()) {
        j.beginArray("referenceProblems");
        for (const std::string& p : d.referenceProblems) j.value(nullptr, p);
        j.endArray();
    }
}

void writeBlocks(Json& j, const Drawing& d) {
    j.beginArray("blocks");
    for (const Block& b : d.blocks) {
        j.beginObject();
        j.handle("handle", b.handle), j.value("name", b.name), j.point("base", b.base);
        j.value("flags", b.flags), j.handle("layout", b.layout);
        if (!b.xrefPath.empty()) j.value("xrefPath", b.xrefPath);
        j.beginArray("entities");
        for (const Entity& e : b.entities) writeEntity(j, e);
        j.endArray();
        j.endObject();
    }
    j.endArray();
}

// What reading met besides the model.
void writeReadingNotes(Json& j, const Drawing& d) {
    // The stored picture itself is left out: its kind, size and length say
    // whether a thumbnail can use it.
    j.beginObject("preview");
    j.value("kind", cad::previewKindName(d.preview.kind));
    if (d.preview.present()) {
        j.value("width", d.preview.width), j.value("height", d.preview.height);
        j.value("bytes", static_cast<int>(d.preview.data.size()));
    }
    j.endObject();
    j.beginObject("skipped");
    for (const auto& [what, count] : d.skipped) j.value(what.c_str(), count);
    j.endObject();
    j.beginArray("warnings");
    for (const std::string& w : d.warnings) j.value(nullptr, w);
    j.endArray();
    // What a picture of the drawing would lack, as far as reading tells:
    // the converter's report lists these with the renderer's own.
    j.beginArray("losses");
    for (const cad::Loss& l : d.losses.entries()) {
        j.beginObject();
        j.value("kind", cad::lossKindWord(l.kind)), j.value("what", l.what);
        j.value("count", static_cast<double>(l.count)), j.value("text", l.text);
        j.endObject();
    }
    j.endArray();
}

}  // namespace

void writeModelJson(std::ostream& out, const Drawing& d) {
    Json j(out);
    j.beginObject();
    writeHeader(j, d);
    writeTables(j, d);
    writeLayouts(j, d);
    writeBlocks(j, d);
    writeReadingNotes(j, d);
    j.endObject();
    out << '\n';
}

}  // namespace lumicade
