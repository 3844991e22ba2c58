#pragma once
// Entities of a drawing: the common data every entity carries, and the
// geometry of each kind. Coordinates are as the file stores them: points of
// planar entities (circle, arc, text, lwpolyline, 2D polyline, solid, hatch,
// insert ...) are in the entity's object coordinate system given by its
// extrusion; lines, 3D polylines, splines, ellipses, rays, 3D faces and
// leaders are in world coordinates. Angles are radians everywhere.
#include <cstddef>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "cad/model/Geometry.h"
#include "cad/model/Name.h"
#include "cad/model/Overloaded.h"
#include "cad/model/ProxyGraphics.h"
#include "cad/model/Wireframe.h"

namespace cad {

struct Entity;

// The names every new entity starts with, made once.
inline Name layerZero() { static const Name zero("0"); return zero; }
inline Name linetypeByLayer() { static const Name byLayer("ByLayer"); return byLayer; }

struct EntityCommon {
    Handle handle = 0;
    Handle owner = 0;
    Name layer = layerZero();
    Name linetype = linetypeByLayer();  // "ByLayer", "ByBlock", "Continuous" or a table name
    Color color;
    int lineweight = LineWeightByLayer;
    bool invisible = false;
    bool paperSpace = false;
    double linetypeScale = 1.0;
    Vec3 extrusion{0, 0, 1};
    double thickness = 0.0;
};

struct LineData { Vec3 start, end; };
struct PointData { Vec3 position; double xAxisAngle = 0; };
struct CircleData { Vec3 center; double radius = 0; };
struct ArcData { Vec3 center; double radius = 0, startAngle = 0, endAngle = 0; };
struct EllipseData {
    Vec3 center, majorAxis;  // major axis endpoint relative to the center, WCS
    double ratio = 1, startParam = 0, endParam = 6.283185307179586;
};
struct SplineData {
    int degree = 3;
    int flags = 0;  // 1 closed, 2 periodic, 4 rational, 8 planar
    std::vector<double> knots;
    std::vector<Vec3> controlPoints;
    std::vector<double> weights;  // empty when not rational
    std::vector<Vec3> fitPoints;
    Vec3 startTangent, endTangent;
    double fitTolerance = 0;
};
struct LwVertex { Vec2 point; double startWidth = 0, endWidth = 0, bulge = 0; };
struct LwPolylineData {
    std::vector<LwVertex> vertices;
    bool closed = false;
    double constantWidth = 0, elevation = 0;
};
struct PolylineVertex {
    Vec3 point;
    double startWidth = 0, endWidth = 0, bulge = 0;
    int flags = 0;
    int faceIndices[4] = {0, 0, 0, 0};  // polyface face records (1-based, negative = invisible edge)
};
struct PolylineData {
    enum class Kind { Polyline2D, Polyline3D, PolyfaceMesh, PolygonMesh };
    Kind kind = Kind::Polyline2D;
    int flags = 0;  // the DXF 70 flags
    std::vector<PolylineVertex> vertices;
    int meshM = 0, meshN = 0;  // polygon mesh size, or polyface vertex/face counts
    double startWidth = 0, endWidth = 0, elevation = 0;
    bool closed() const { return flags & 1; }
};
struct TextData {
    Vec3 insertion, alignment;  // alignment point is the second point (DXF 11)
    double height = 0, rotation = 0, widthFactor = 1, oblique = 0;
    std::string value;          // raw text, control codes like %%d kept
    std::string style = "Standard";
    int horizontalAlign = 0;    // DXF 72
    int verticalAlign = 0;      // DXF 73 (74 for attributes)
    int generation = 0;         // 2 mirrored in X, 4 mirrored in Y
    // Attributes and attribute definitions
    std::string tag, prompt;
    int attributeFlags = 0;     // 1 invisible, 2 constant, 4 verify, 8 preset
    // From 2018 on an attribute may hold several lines: value then holds
    // them as multiline text does, set from linesAt by their attachment
    // (1 top left ... 9 bottom right) and wrapped at linesWidth (0: not).
    bool multiline = false;
    Vec3 linesAt;
    int linesAttachment = 1;
    double linesWidth = 0, lineSpacingFactor = 1;
};
struct MTextData {
    Vec3 insertion;
    Vec3 xAxis{1, 0, 0};        // direction, WCS
    double height = 0, rectWidth = 0, rectHeight = 0;
    int attachment = 1;         // 1..9, top-left to bottom-right
    int drawingDirection = 1;
    double lineSpacingFactor = 1;
    std::string text;           // raw, inline codes kept
    std::string style = "Standard";
    // Columns: 0 none, 1 static (each of its own height), 2 dynamic (the text flows on).
    int columnType = 0, columnCount = 0;
    double columnWidth = 0, columnGutter = 0;
    bool columnAutoHeight = false, columnFlowReversed = false;
    std::vector<double> columnHeights;
};
struct InsertData {
    std::string blockName;
    Vec3 insertion, scale{1, 1, 1};
    double rotation = 0;
    int columns = 1, rows = 1;
    double columnSpacing = 0, rowSpacing = 0;
    std::vector<Entity> attributes;  // ATTRIB entities that follow the insert
};
struct DimensionData {
    int dimType = 0;             // DXF 70 (low bits: kind; 32 block is for this dim only ...)
    std::string blockName;       // the anonymous block that holds its picture
    std::string style = "Standard";
    Vec3 definitionPoint;        // DXF 10
    Vec3 textMidpoint;           // DXF 11
    Vec3 points[4];              // DXF 13, 14, 15, 16 as the kind uses them
    Vec3 insertion;              // DXF 12
    double measurement = 0, rotation = 0, obliqueAngle = 0, textRotation = 0;
    int attachment = 5;
    std::string text;            // override, "<>" for the measured value
};
struct LeaderData {
    std::vector<Vec3> vertices;
    bool arrowhead = true;
    bool spline = false;
    std::string style = "Standard";
    Vec3 normal{0, 0, 1};
    Handle annotation = 0;
};
struct HatchEdge {
    enum class Kind { Line, Arc, Ellipse, Spline };
    Kind kind = Kind::Line;
    Vec2 start, end;                               // line
    Vec2 center; double radius = 0;                // arc; for ellipse, center and majorAxis
    Vec2 majorAxis; double ratio = 1;
    double startAngle = 0, endAngle = 0; bool ccw = true;
    int degree = 3; bool rational = false, periodic = false;
    std::vector<double> knots; std::vector<Vec2> controlPoints; std::vector<double> weights;
    std::vector<Vec2> fitPoints;
};
struct HatchLoop {
    int flags = 0;                // 1 external, 2 polyline, 4 derived, 16 outermost ...
    bool isPolyline = false;
    bool closed = true;
    std::vector<LwVertex> polyline;  // when isPolyline (widths unused)
    std::vector<HatchEdge> edges;
};
struct HatchPatternLine {
    double angle = 0;
    Vec2 base, offset;
    std::vector<double> dashes;
};
// A gradient fill: colours blended across the hatch's boundary in one of
// the named shapes (LINEAR, CYLINDER, SPHERICAL, HEMISPHERICAL, CURVED, and
// each with INV before it).
struct GradientColor {
    double value = 0;     // where the colour stands along the blend, as stored
    Color color;
};
struct HatchGradient {
    std::string name;
    double angle = 0;     // radians
    double shift = 0;     // 0 centred, 1 moved off the centre
    bool singleColor = false;
    double tint = 0;      // one colour: 0 darkens it towards black, 1 lightens it towards white
    std::vector<GradientColor> colors;
};
struct HatchData {
    std::string pattern = "SOLID";
    bool solid = true;
    double elevation = 0, angle = 0, scale = 1;
    int style = 0, patternType = 1;
    std::vector<HatchLoop> loops;
    std::vector<HatchPatternLine> lines;
    bool gradient = false;
    HatchGradient gradientFill;   // when gradient
};
struct SolidData { Vec3 corners[4]; };  // SOLID and TRACE, DXF point order
struct Face3DData { Vec3 corners[4]; int invisibleEdges = 0; };
struct RayData { Vec3 base, direction; };  // RAY and XLINE
struct MLineVertex {
    Vec3 position, direction, miter;
    std::vector<std::vector<double>> parameters;  // per element: segment parameters
};
struct MLineData {
    std::string style = "Standard";
    double scale = 1;
    int justification = 0, flags = 0;
    Vec3 start;
    std::vector<MLineVertex> vertices;
    std::vector<double> elementOffsets;  // from the style, when known
    std::vector<Color> elementColors;
};
struct ViewportData {
    Vec3 center;                  // on paper
    double width = 0, height = 0;
    Vec2 viewCenter;              // in the view's own plane (display coordinates)
    double viewHeight = 0, twist = 0;
    Vec3 viewDirection{0, 0, 1};  // from the target towards the viewer, WCS
    Vec3 viewTarget;
    double lensLength = 50, frontClip = 0, backClip = 0;
    int id = 0;                   // DXF 69: numbered in the shown layout only
    int status = 0;               // DXF 68: 0 off, -1 off screen, >0 on and its stacking order
    int flags = 0;                // DXF 90 (16384 locked, 65536 clipped by an entity, 131072 off)
    std::vector<std::string> frozenLayers;
    Handle clipBoundary = 0;      // the paper space entity that clips a non-rectangular viewport
    bool on() const { return !(flags & 0x20000); }
    bool locked() const { return flags & 0x4000; }
    bool nonRectangular() const { return (flags & 0x10000) && clipBoundary != 0; }
};
struct ImageData {  // IMAGE, WIPEOUT and the underlays (PDFUNDERLAY, DWFUNDERLAY, DGNUNDERLAY)
    Vec3 insertion, uVector, vVector;  // underlays: u and v are one drawing unit of the page
    Vec2 size;               // pixels; underlays: 0 (the page decides)
    std::vector<Vec2> clip;  // in pixel coordinates of the image; underlays: in page units
    int clipType = 1;        // 1 rectangle, 2 polygon
    bool clipping = false;
    bool clipInverted = false;  // show what lies outside the boundary
    int displayFlags = 0;    // IMAGE: 1 show, 2 not aligned, 4 clip, 8 transparent; underlays: 1 clip, 2 on, 4 monochrome, 8 adjust for background
    int brightness = 50, contrast = 50, fade = 0;  // 0..100 (underlays: contrast 20..100, fade 0..80)
    std::string filePath;    // the picture or document, as the definition stores it
    std::string page;        // underlays: the page or sheet name
    Handle definition = 0;   // IMAGEDEF, PDFDEFINITION ...
    Vec2 pixelSize;          // size of one pixel in drawing units, from the definition, when known
};
struct ToleranceData { Vec3 insertion, xDirection{1, 0, 0}; std::string text; std::string style; double height = 0; };
struct TableData { std::string blockName; Vec3 insertion, scale{1, 1, 1}; double rotation = 0; };
struct MLeaderData {
    std::vector<std::vector<Vec3>> leaderLines;
    std::string text;
    Vec3 textLocation;
    Vec3 textDirection{1, 0, 0};
    double textHeight = 0, arrowSize = 0, landingGap = 0;
    std::string blockName;
    Vec3 blockPosition;
    bool hasArrowheads = true;
    // One entry per leader root: where its lines end, and the dogleg drawn
    // from there towards the content.
    std::vector<Vec3> landingPoints, doglegDirections;
    std::vector<double> doglegLengths;
    std::vector<int> leaderLineRoot;  // per leader line: index into landingPoints
    std::string textStyle;            // resolved style name, when known
    Vec3 blockScale{1, 1, 1};
    double blockRotation = 0;
    // How the text is set, as multiline text: its attachment point at the
    // location (1 top left ... 9 bottom right; 0 when the file gives none),
    // the width it wraps at (0: no wrapping) and its line spacing.
    int textAttachment = 0;
    double textWidth = 0, lineSpacingFactor = 1;
    bool textFrame = false;           // a frame around the text, the landing gap away from it
    // Which way the text's paragraphs run: 1 left to right, 3 top to
    // bottom, 5 as its style says.
    int textFlow = 5;
    // Where leaders meet the text from its left and from its right (0 top
    // of the top line ... 5 the bottom line underlined, 6 the top line
    // underlined, 8 every line underlined), unless they meet it at its top
    // or bottom instead.
    int leftAttachment = 1, rightAttachment = 1;
    bool verticalAttachment = false;
};
struct ShapeData {
    Vec3 insertion;
    double size = 1, rotation = 0, widthFactor = 1, oblique = 0;
    std::string name;           // DXF names the shape ...
    int number = 0;             // ... DWG numbers it in the shape file of its style
    std::string style;          // the style whose file holds it, when known
};
// Objects we know the name of but cannot draw (lights, unknown classes
// without graphics, bodies whose modeler data we could not read).
struct PlaceholderData { std::string className; };
// An object of a class we do not know (or an ACAD_PROXY_ENTITY), drawn from
// the graphics its application stored with it.
struct ProxyEntityData { std::string className; ProxyGraphics graphics; };
// 3DSOLID, REGION, BODY and the surfaces hold a BodyData; MESH a MeshData
// (both in cad/model/Wireframe.h).

// The data of a kind that is big or rare, held apart from the entity so that
// the common kinds (lines above all) do not pay for its size. It copies as a
// value; a box whose content was moved away reads as a fresh one.
template <class T>
class Boxed {
public:
    Boxed() = default;
    Boxed(const T& value) : p_(new T(value)) {}
    Boxed(T&& value) : p_(new T(std::move(value))) {}
    Boxed(const Boxed& other) : p_(other.p_ ? new T(*other.p_) : nullptr) {}
    Boxed(Boxed&&) noexcept = default;
    Boxed& operator=(const Boxed& other) {
        if (this != &other) p_.reset(other.p_ ? new T(*other.p_) : nullptr);
        return *this;
    }
    Boxed& operator=(Boxed&&) noexcept = default;

    T& get() {
        if (!p_) p_.reset(new T);
        return *p_;
    }
    const T& get() const {
        static const T fresh;
        return p_ ? *p_ : fresh;
    }
    operator T&() { return get(); }
    operator const T&() const { return get(); }

private:
    std::unique_ptr<T> p_;
};

template <class T> T& unbox(T& v) { return v; }
template <class T> const T& unbox(const T& v) { return v; }
template <class T> T& unbox(Boxed<T>& v) { return v.get(); }
template <class T> const T& unbox(const Boxed<T>& v) { return v.get(); }

using EntityData = std::variant<PlaceholderData, LineData, PointData, CircleData, ArcData, Boxed<EllipseData>,
                                Boxed<SplineData>, LwPolylineData, Boxed<PolylineData>, Boxed<TextData>,
                                Boxed<MTextData>, Boxed<InsertData>, Boxed<DimensionData>, Boxed<LeaderData>,
                                Boxed<HatchData>, Boxed<SolidData>, Boxed<Face3DData>, RayData, Boxed<MLineData>,
                                Boxed<ViewportData>, Boxed<ImageData>, Boxed<ToleranceData>, Boxed<TableData>,
                                Boxed<MLeaderData>, Boxed<ShapeData>, Boxed<ProxyEntityData>, Boxed<BodyData>,
                                Boxed<MeshData>>;

// Calls f with the data of each variant given, as its kind (never as the
// box that may hold it). Use it, not std::visit, over EntityData.
template <class F, class... Variants>
decltype(auto) visitData(F&& f, Variants&&... data) {
    return std::visit([&](auto&... kind) -> decltype(auto) { return f(unbox(kind)...); }, data...);
}

namespace detail {
template <class T, class Variant> struct KindIndex;
template <class T, class... Alternatives>
struct KindIndex<T, std::variant<Alternatives...>> {
    static constexpr std::size_t find() {
        constexpr bool match[] = {std::is_same_v<T, UnboxedT<Alternatives>>...};
        for (std::size_t i = 0; i < sizeof...(Alternatives); ++i)
            if (match[i]) return i;
        return sizeof...(Alternatives);
    }
    static constexpr std::size_t value = find();
    static_assert(value < sizeof...(Alternatives), "not a kind of entity data");
};
}  // namespace detail

struct Entity {
    Name type;  // the DXF name: LINE, LWPOLYLINE, ATTRIB, DIMENSION, ARC_DIMENSION, ACAD_TABLE ...
    EntityCommon common;
    EntityData data;

    template <class T> T* as() {
        auto* held = std::get_if<detail::KindIndex<T, EntityData>::value>(&data);
        return held ? &unbox(*held) : nullptr;
    }
    template <class T> const T* as() const {
        const auto* held = std::get_if<detail::KindIndex<T, EntityData>::value>(&data);
        return held ? &unbox(*held) : nullptr;
    }
};

}  // namespace cad
