// The fields of each entity kind, one function per kind. The common part
// (colour, layer, links ...) has been read already; each function reads the
// kind's own data and then its own handle references.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "cad/dwg/DecodeState.h"
#include "cad/dwg/Decoders.h"
#include "cad/model/Overloaded.h"
#include "cad/model/SplineFit.h"

namespace cad::dwg {
namespace entities {

using R = ObjectReader;
using E = EntityRecord;

template <class T> T& set(E& e, const char* type) {
    e.entity.type = type;
    e.entity.data = T{};
    return *e.entity.as<T>();
}

Vec3 withZ(Vec2 p, double z) { return {p.x, p.y, z}; }

// Sub-entity links of polylines and inserts: a first/last pair up to 2000,
// a counted list later.
void readOwnedLinks(R& r, E& e, std::uint32_t ownedCount, bool present = true) {
    if (!present) return;
    if (r.since(Version::R2004)) {
        std::size_t n = r.hdl.count(ownedCount, 8);
        for (std::size_t i = 0; i < n; ++i) e.children.push_back(r.H());
    } else {
        e.firstChild = r.H();
        e.lastChild = r.H();
    }
    skip("seqend", r.H());
}

// --- text ---------------------------------------------------------------

void readTextBody(R& r, E& e, TextData& t) {
    auto& d = r.dat;
    double elevation = 0;
    Vec2 insertion, alignment;
    bool hasAlignment = true;
    if (r.until(Version::R14)) {
        elevation = d.BD();
        insertion = d.RD2();
        alignment = d.RD2();
        e.entity.common.extrusion = d.BD3();
        e.entity.common.thickness = d.BD();
        t.oblique = d.BD();
        t.rotation = d.BD();
        t.height = d.BD();
        t.widthFactor = d.BD();
        t.value = r.T();
        t.generation = d.BS();
        t.horizontalAlign = d.BS();
        t.verticalAlign = d.BS();
    } else {
        std::uint8_t flags = d.RC();
        if (!(flags & 0x01)) elevation = d.RD();
        insertion = d.RD2();
        if (!(flags & 0x02)) alignment = d.DD2(insertion); else hasAlignment = false;
        e.entity.common.extrusion = d.BE();
        e.entity.common.thickness = d.BT();
        if (!(flags & 0x04)) t.oblique = d.RD();
        if (!(flags & 0x08)) t.rotation = d.RD();
        t.height = d.RD();
        if (!(flags & 0x10)) t.widthFactor = d.RD();
        t.value = r.T();
        if (!(flags & 0x20)) t.generation = d.BS();
        if (!(flags & 0x40)) t.horizontalAlign = d.BS();
        if (!(flags & 0x80)) t.verticalAlign = d.BS();
    }
    t.insertion = withZ(insertion, elevation);
    if (hasAlignment) t.alignment = withZ(alignment, elevation);
}

void readText(R& r, E& e) {
    auto& t = set<TextData>(e, "TEXT");
    readTextBody(r, e, t);
    e.style = r.H();
}

// The part attributes and their definitions share after the text.
void readAttributeTail(R& r, TextData& t) {
    auto& d = r.dat;
    if (r.since(Version::R2010)) skip("class_version", d.RC());
    if (r.since(Version::R2018)) {
        unsigned kind = d.RC();  // 1 single line, 2 multi-line attribute, 4 multi-line definition
        if (kind > 1) {
            skip("mtext", r.H());  // the MTEXT that holds the lines
            // Its text comes before the tag among the strings. (A guess
            // from 2018 files: the descriptions leave the part out.)
            t.value = r.T();
            t.multiline = true;
            // Where the lines are set from is not read here: the exports of
            // our drawings put them at the text's second point, hanging
            // from it as the text's own alignment says (also a guess).
            const int column = std::clamp(t.horizontalAlign, 0, 2), row = std::clamp(t.verticalAlign, 1, 3);
            t.linesAt = t.alignment;
            t.linesAttachment = (3 - row) * 3 + column + 1;
            unsigned annotativeSize = d.BS();
            if (annotativeSize > 1) {
                skip("annotative_data_bytes", d.RC());
                skip("annotative_app", r.H());
                skip("annotative_short", d.BS());
            }
        }
    }
    t.tag = r.T();
    skip("field_length", d.BS());
    t.attributeFlags = d.RC();
    if (r.since(Version::R2007)) skip("lock_position", d.B());
}

void readAttrib(R& r, E& e) {
    auto& t = set<TextData>(e, "ATTRIB");
    readTextBody(r, e, t);
    readAttributeTail(r, t);
    e.style = r.H();
}

void readAttdef(R& r, E& e) {
    auto& t = set<TextData>(e, "ATTDEF");
    readTextBody(r, e, t);
    readAttributeTail(r, t);
    if (r.since(Version::R2010)) skip("attdef_class_version", r.dat.RC());
    t.prompt = r.T();
    e.style = r.H();
}

// Releases before 2018 keep an MTEXT's columns in the extended data of
// "ACAD": after the string ACAD_MTEXT_COLUMN_INFO_BEGIN, each property as a
// short (its DXF code) and its value, the heights (50) as their count and
// one real each. The items are stored as a code byte (the DXF code less
// 1000) and the value.
void mtextColumnsFromExtendedData(const std::vector<std::vector<std::uint8_t>>& blocks, bool wide, MTextData& t) {
    struct Item {
        int code;
        double number;
        bool columnInfo;  // the string that starts the column properties
    };
    for (const std::vector<std::uint8_t>& b : blocks) {
        std::vector<Item> items;
        std::size_t p = 0;
        auto has = [&](std::size_t n) { return n <= b.size() - p; };
        auto real = [&] {
            double v = 0;
            std::memcpy(&v, b.data() + p, 8);
            return v;
        };
        while (p < b.size()) {
            const int code = b[p++];
            std::size_t skipBytes = 0;
            Item item{code, 0, false};
            if (code == 0) {
                std::string text;
                if (wide) {
                    if (!has(2)) break;
                    const std::size_t n = b[p] | (b[p + 1] << 8);
                    p += 2;
                    if (!has(2 * n)) break;
                    for (std::size_t i = 0; i < n; ++i) text += static_cast<char>(b[p + 2 * i]);
                    skipBytes = 2 * n;
                } else {
                    if (!has(3)) break;
                    const std::size_t n = b[p];
                    p += 3;
                    if (!has(n)) break;
                    text.assign(reinterpret_cast<const char*>(b.data() + p), n);
                    skipBytes = n;
                }
                item.columnInfo = text == "ACAD_MTEXT_COLUMN_INFO_BEGIN";
            } else if (code == 2) {
                skipBytes = 1;
            } else if (code == 3 || code == 5) {
                skipBytes = 8;
            } else if (code == 4) {
                if (!has(1)) break;
                skipBytes = 1 + b[p];
            } else if (code >= 10 && code <= 13) {
                skipBytes = 24;
            } else if (code >= 40 && code <= 42) {
                if (!has(8)) break;
                item.number = real();
                skipBytes = 8;
            } else if (code == 70) {
                if (!has(2)) break;
                item.number = static_cast<std::int16_t>(b[p] | (b[p + 1] << 8));
                skipBytes = 2;
            } else if (code == 71) {
                if (!has(4)) break;
                item.number = static_cast<std::int32_t>(b[p] | (b[p + 1] << 8) | (b[p + 2] << 16) |
                                                        (static_cast<std::uint32_t>(b[p + 3]) << 24));
                skipBytes = 4;
            } else {
                break;  // not an item code: the rest cannot be read
            }
            if (!has(skipBytes)) break;
            p += skipBytes;
            items.push_back(item);
        }
        std::size_t i = 0;
        while (i < items.size() && !items[i].columnInfo) ++i;
        if (i == items.size()) continue;
        for (++i; i + 1 < items.size() && items[i].code == 70; i += 2) {
            const double value = items[i + 1].number;
            switch (static_cast<int>(items[i].number)) {
            case 75: t.columnType = static_cast<int>(value); break;
            case 76: t.columnCount = static_cast<int>(std::clamp(value, 0.0, 10000.0)); break;
            case 78: t.columnFlowReversed = value != 0; break;
            case 79: t.columnAutoHeight = value != 0; break;
            case 48: t.columnWidth = value; break;
            case 49: t.columnGutter = value; break;
            case 50: {
                const int count = static_cast<int>(std::clamp(value, 0.0, 1000.0));
                for (int k = 0; k < count && i + 2 < items.size() && items[i + 2].code == 40; ++k, ++i)
                    t.columnHeights.push_back(items[i + 2].number);
                break;
            }
            default: break;
            }
        }
        return;
    }
}

void readMText(R& r, E& e) {
    auto& t = set<MTextData>(e, "MTEXT");
    auto& d = r.dat;
    t.insertion = d.BD3();
    e.entity.common.extrusion = d.BD3();
    t.xAxis = d.BD3();
    t.rectWidth = d.BD();
    if (r.since(Version::R2007)) t.rectHeight = d.BD();
    t.height = d.BD();
    t.attachment = d.BS();
    t.drawingDirection = d.BS();
    skip("extents_height", d.BD());
    skip("extents_width", d.BD());
    t.text = r.T();
    if (r.since(Version::R2000)) {
        skip("linespace_style", d.BS());
        t.lineSpacingFactor = d.BD();
        skip("unknown", d.B());
    }
    e.style = r.H();
    if (r.since(Version::R2004) && (d.BL() & 1)) {
        // The border scale is a double (1.5 by default, 1.25 seen): the
        // format's descriptions give a long here, which fails the rest.
        skip("background_scale", d.BD());
        skip("background_color", r.CMC());
        skip("background_transparency", d.BL());
    }
    // 2018 keeps the columns in the entity, after a copy of its frame.
    if (r.since(Version::R2018) && d.B()) {
        skip("class_version", d.BS());
        skip("default_flag", d.B());
        skip("appid", r.H());
        skip("attachment", d.BL());
        skip("x_axis", d.BD3());
        skip("insertion", d.BD3());
        skip("rect_width", d.BD());
        skip("rect_height", d.BD());
        skip("extents_height", d.BD());
        skip("extents_width", d.BD());
        t.columnType = d.BS();
        if (t.columnType != 0) {
            // Static columns store how many there are, dynamic ones how many heights follow.
            const std::uint32_t n = d.BL();
            t.columnCount = static_cast<int>(std::min<std::uint32_t>(n, 10000));
            t.columnWidth = d.BD();
            t.columnGutter = d.BD();
            t.columnAutoHeight = d.B();
            t.columnFlowReversed = d.B();
            if (!t.columnAutoHeight && t.columnType == 2) {
                const std::size_t heights = d.count(n, 2);
                for (std::size_t i = 0; i < heights; ++i) t.columnHeights.push_back(d.BD());
            }
        }
    }
    if (r.until(Version::R2013) && !r.extendedItems.empty())
        mtextColumnsFromExtendedData(r.extendedItems, r.since(Version::R2007), t);
}

// --- simple geometry ----------------------------------------------------

void readLine(R& r, E& e) {
    auto& l = set<LineData>(e, "LINE");
    auto& d = r.dat;
    if (r.until(Version::R14)) {
        l.start = d.BD3();
        l.end = d.BD3();
    } else {
        bool zIsZero = d.B();
        l.start.x = d.RD();
        l.end.x = d.DD(l.start.x);
        l.start.y = d.RD();
        l.end.y = d.DD(l.start.y);
        if (!zIsZero) {
            l.start.z = d.RD();
            l.end.z = d.DD(l.start.z);
        }
    }
    e.entity.common.thickness = d.BT();
    e.entity.common.extrusion = d.BE();
}

void readPoint(R& r, E& e) {
    auto& p = set<PointData>(e, "POINT");
    auto& d = r.dat;
    p.position = d.BD3();
    e.entity.common.thickness = d.BT();
    e.entity.common.extrusion = d.BE();
    p.xAxisAngle = d.BD();
}

void readCircle(R& r, E& e) {
    auto& c = set<CircleData>(e, "CIRCLE");
    auto& d = r.dat;
    c.center = d.BD3();
    c.radius = d.BD();
    e.entity.common.thickness = d.BT();
    e.entity.common.extrusion = d.BE();
}

void readArc(R& r, E& e) {
    auto& a = set<ArcData>(e, "ARC");
    auto& d = r.dat;
    a.center = d.BD3();
    a.radius = d.BD();
    e.entity.common.thickness = d.BT();
    e.entity.common.extrusion = d.BE();
    a.startAngle = d.BD();
    a.endAngle = d.BD();
}

void readEllipse(R& r, E& e) {
    auto& el = set<EllipseData>(e, "ELLIPSE");
    auto& d = r.dat;
    el.center = d.BD3();
    el.majorAxis = d.BD3();
    e.entity.common.extrusion = d.BD3();
    el.ratio = d.BD();
    el.startParam = d.BD();
    el.endParam = d.BD();
}

// The CAD application derives a fitted spline's control points from its fit
// points and end tangents; the file keeps only those. Both tangents must be
// there for the fit to be the one it made.
void interpolateFitPoints(SplineData& s) {
    if (s.degree != 3 || length(s.startTangent) == 0 || length(s.endTangent) == 0) return;
    // Two fit points make one span over the parameters 0 to 1 whose end
    // derivatives are the stored tangents, lengths and all: so the DXF
    // export writes such a spline.
    if (s.fitPoints.size() == 2) {
        const Vec3 a = s.fitPoints[0], b = s.fitPoints[1];
        s.knots = {0, 0, 0, 0, 1, 1, 1, 1};
        s.controlPoints = {a, a + s.startTangent * (1.0 / 3), b - s.endTangent * (1.0 / 3), b};
        return;
    }
    std::optional<FittedSpline> fit = fitCubicThrough(s.fitPoints, s.startTangent, s.endTangent);
    if (!fit) return;
    s.knots = std::move(fit->knots);
    s.controlPoints = std::move(fit->controlPoints);
}

// Whether the points lie in one plane (as those of a 2D drawing do; a helix's
// do not). The file does not say; the DXF export does, as flag 8.
bool isPlanar(const std::vector<Vec3>& points) {
    if (points.size() < 4) return true;
    double extent = 0;
    for (const Vec3& p : points) extent = std::max({extent, std::abs(p.x), std::abs(p.y), std::abs(p.z)});
    double tolerance = 1e-9 * (extent > 1 ? extent : 1);
    const Vec3& origin = points[0];
    Vec3 normal{};
    for (std::size_t i = 1; i < points.size() && length(normal) <= tolerance; ++i)
        for (std::size_t j = i + 1; j < points.size() && length(normal) <= tolerance; ++j)
            normal = cross(points[i] - origin, points[j] - origin);
    double n = length(normal);
    if (n <= tolerance) return true;  // all on one line
    for (const Vec3& p : points)
        if (std::abs(dot(p - origin, normal)) / n > tolerance) return false;
    return true;
}

void readSplineBody(R& r, SplineData& s) {
    auto& d = r.dat;
    std::uint32_t scenario = d.BL();
    std::uint32_t splineFlags = scenario == 2 ? 9 : 8;
    if (r.since(Version::R2013)) {
        splineFlags = d.BL();
        std::uint32_t knotParameter = d.BL();
        if (splineFlags & 1) scenario = 2;
        if (knotParameter == 15) scenario = 1;
    }
    s.degree = static_cast<int>(d.BL());
    if (scenario & 1) {
        bool rational = d.B();
        bool closed = d.B();
        bool periodic = d.B();
        skip("knot_tol", d.BD());
        skip("ctrl_tol", d.BD());
        std::uint32_t knots = d.BL();
        std::uint32_t controls = d.BL();
        bool weighted = d.B();
        s.flags = (closed ? 1 : 0) | (periodic ? 2 : 0) | (rational ? 4 : 0);
        std::size_t nk = d.count(knots, 2);
        s.knots.reserve(nk);
        for (std::size_t i = 0; i < nk; ++i) s.knots.push_back(d.BD());
        std::size_t nc = d.count(controls, 6);
        s.controlPoints.reserve(nc);
        for (std::size_t i = 0; i < nc; ++i) {
            s.controlPoints.push_back(d.BD3());
            if (weighted) s.weights.push_back(d.BD());
        }
        if (isPlanar(s.controlPoints)) s.flags |= 8;
    } else {
        // Defined by fit points: planar, and "fit points" among the creation flags.
        s.flags = 8 | 32 | static_cast<int>((splineFlags & ~5u) << 7);
        s.fitTolerance = d.BD();
        s.startTangent = d.BD3();
        s.endTangent = d.BD3();
        std::size_t n = d.count(d.BL(), 6);
        s.fitPoints.reserve(n);
        for (std::size_t i = 0; i < n; ++i) s.fitPoints.push_back(d.BD3());
        interpolateFitPoints(s);
    }
}

void readSpline(R& r, E& e) { readSplineBody(r, set<SplineData>(e, "SPLINE")); }

// A helix is a spline with its axis and turns added.
void readHelix(R& r, E& e) { readSplineBody(r, set<SplineData>(e, "HELIX")); }

void readRay(R& r, E& e) {
    auto& ray = set<RayData>(e, "RAY");
    ray.base = r.dat.BD3();
    ray.direction = r.dat.BD3();
}

void readXLine(R& r, E& e) {
    readRay(r, e);
    e.entity.type = "XLINE";
}

void readSolidLike(R& r, E& e, const char* type) {
    auto& s = set<SolidData>(e, type);
    auto& d = r.dat;
    e.entity.common.thickness = d.BT();
    double elevation = d.BD();
    for (auto& c : s.corners) c = withZ(d.RD2(), elevation);
    e.entity.common.extrusion = d.BE();
}
void readSolid(R& r, E& e) { readSolidLike(r, e, "SOLID"); }
void readTrace(R& r, E& e) { readSolidLike(r, e, "TRACE"); }

void read3dFace(R& r, E& e) {
    auto& f = set<Face3DData>(e, "3DFACE");
    auto& d = r.dat;
    if (r.until(Version::R14)) {
        for (auto& c : f.corners) c = d.BD3();
        f.invisibleEdges = d.BS();
        return;
    }
    bool noFlags = d.B();
    bool zIsZero = d.B();
    f.corners[0].x = d.RD();
    f.corners[0].y = d.RD();
    if (!zIsZero) f.corners[0].z = d.RD();
    for (int i = 1; i < 4; ++i) f.corners[i] = d.DD3(f.corners[i - 1]);
    if (!noFlags) f.invisibleEdges = d.BS();
}

void readShape(R& r, E& e) {
    auto& s = set<ShapeData>(e, "SHAPE");
    auto& d = r.dat;
    s.insertion = d.BD3();
    s.size = d.BD();
    s.rotation = d.BD();
    s.widthFactor = d.BD();
    s.oblique = d.BD();
    e.entity.common.thickness = d.BD();
    s.number = d.BS();
    e.entity.common.extrusion = d.BD3();
    e.style = r.H();
}

// --- blocks and inserts ---------------------------------------------------

void readBlock(R& r, E& e) {
    auto& p = set<PlaceholderData>(e, "BLOCK");
    p.className = r.T();
}
void readEndBlk(R&, E& e) { set<PlaceholderData>(e, "ENDBLK"); }
void readSeqEnd(R&, E& e) { set<PlaceholderData>(e, "SEQEND"); }

// The scale of a block reference: since 2000 with a two-bit shortcut for
// the usual cases (all one, all the same, x one).
Vec3 readInsertScale(R& r) {
    auto& d = r.dat;
    if (r.until(Version::R14)) return d.BD3();
    Vec3 scale;
    switch (d.BB()) {
    case 3: return {1, 1, 1};
    case 1:
        scale.x = 1;
        scale.y = d.DD(1);
        scale.z = d.DD(1);
        return scale;
    case 2:
        scale.x = d.RD();
        return {scale.x, scale.x, scale.x};
    default:
        scale.x = d.RD();
        scale.y = d.DD(scale.x);
        scale.z = d.DD(scale.x);
        return scale;
    }
}

void readInsertCommon(R& r, E& e, InsertData& in, bool minsert) {
    auto& d = r.dat;
    in.insertion = d.BD3();
    in.scale = readInsertScale(r);
    in.rotation = d.BD();
    e.entity.common.extrusion = d.BD3();
    bool hasAttribs = d.B();
    std::uint32_t owned = 0;
    if (r.since(Version::R2004) && hasAttribs) owned = d.BL();
    if (minsert) {
        in.columns = d.BS();
        in.rows = d.BS();
        in.columnSpacing = d.BD();
        in.rowSpacing = d.BD();
    }
    e.blockHeader = r.H();
    readOwnedLinks(r, e, owned, hasAttribs);
}

void readInsert(R& r, E& e) {
    auto& in = set<InsertData>(e, "INSERT");
    readInsertCommon(r, e, in, false);
}
void readMInsert(R& r, E& e) {
    auto& in = set<InsertData>(e, "INSERT");
    readInsertCommon(r, e, in, true);
}

// --- polylines ------------------------------------------------------------

// Vertices are kept as POLYLINE-less placeholders of their own kind, with
// the data of one PolylineVertex; the polyline collects them afterwards.
PolylineVertex& setVertex(E& e, const char* type) {
    auto& p = set<PolylineData>(e, type);
    p.vertices.emplace_back();
    return p.vertices.back();
}

void readVertex2d(R& r, E& e) {
    auto& v = setVertex(e, "VERTEX");
    auto& d = r.dat;
    v.flags = d.RC();
    v.point = d.BD3();
    v.startWidth = d.BD();
    if (v.startWidth < 0) {
        v.startWidth = -v.startWidth;
        v.endWidth = v.startWidth;
    } else {
        v.endWidth = d.BD();
    }
    v.bulge = d.BD();
}

void readVertexSimple(R& r, E& e) {
    auto& v = setVertex(e, "VERTEX");
    v.flags = r.dat.RC();
    v.point = r.dat.BD3();
}

void readVertexFace(R& r, E& e) {
    auto& v = setVertex(e, "VERTEX");
    v.flags = 128;
    for (int& i : v.faceIndices) i = r.dat.BSs();
}

void readPolyline2d(R& r, E& e) {
    auto& p = set<PolylineData>(e, "POLYLINE");
    auto& d = r.dat;
    p.kind = PolylineData::Kind::Polyline2D;
    p.flags = d.BS();
    skip("curve_type", d.BS());
    p.startWidth = d.BD();
    p.endWidth = d.BD();
    e.entity.common.thickness = d.BT();
    p.elevation = d.BD();
    e.entity.common.extrusion = d.BE();
    std::uint32_t owned = r.since(Version::R2004) ? d.BL() : 0;
    readOwnedLinks(r, e, owned);
}

void readPolyline3d(R& r, E& e) {
    auto& p = set<PolylineData>(e, "POLYLINE");
    auto& d = r.dat;
    p.kind = PolylineData::Kind::Polyline3D;
    unsigned curve = d.RC();
    unsigned flags = d.RC();
    p.flags = 8 | (flags & 1) | (curve ? 4 : 0);
    std::uint32_t owned = r.since(Version::R2004) ? d.BL() : 0;
    readOwnedLinks(r, e, owned);
}

void readPolyface(R& r, E& e) {
    auto& p = set<PolylineData>(e, "POLYLINE");
    auto& d = r.dat;
    p.kind = PolylineData::Kind::PolyfaceMesh;
    p.flags = 64;
    p.meshM = d.BS();
    p.meshN = d.BS();
    std::uint32_t owned = r.since(Version::R2004) ? d.BL() : 0;
    readOwnedLinks(r, e, owned);
}

void readPolygonMesh(R& r, E& e) {
    auto& p = set<PolylineData>(e, "POLYLINE");
    auto& d = r.dat;
    p.kind = PolylineData::Kind::PolygonMesh;
    p.flags = d.BS() | 16;
    skip("curve_type", d.BS());
    p.meshM = d.BS();
    p.meshN = d.BS();
    skip("m_density", d.BS());
    skip("n_density", d.BS());
    std::uint32_t owned = r.since(Version::R2004) ? d.BL() : 0;
    readOwnedLinks(r, e, owned);
}

void readLwPolyline(R& r, E& e) {
    auto& p = set<LwPolylineData>(e, "LWPOLYLINE");
    auto& d = r.dat;
    unsigned flags = d.BS();
    if (flags & 4) p.constantWidth = d.BD();
    if (flags & 8) p.elevation = d.BD();
    if (flags & 2) e.entity.common.thickness = d.BD();
    if (flags & 1) e.entity.common.extrusion = d.BD3();
    p.closed = flags & 512;
    // From 2000 on a vertex after the first is stored as the change from the
    // one before, which takes as little as four bits when nothing changed.
    std::size_t points = d.count(d.BL(), r.until(Version::R14) ? 128 : 4);
    std::size_t bulges = (flags & 16) ? d.count(d.BL(), 2) : 0;
    std::size_t ids = (r.since(Version::R2010) && (flags & 1024)) ? d.count(d.BL(), 2) : 0;
    std::size_t widths = (flags & 32) ? d.count(d.BL(), 4) : 0;
    p.vertices.resize(points);
    for (std::size_t i = 0; i < points; ++i) {
        if (r.until(Version::R14) || i == 0)
            p.vertices[i].point = d.RD2();
        else
            p.vertices[i].point = d.DD2(p.vertices[i - 1].point);
    }
    for (std::size_t i = 0; i < bulges; ++i) {
        double b = d.BD();
        if (i < points) p.vertices[i].bulge = b;
    }
    for (std::size_t i = 0; i < ids; ++i) skip("vertexid", d.BL());
    for (std::size_t i = 0; i < widths; ++i) {
        double s = d.BD();
        double w = d.BD();
        if (i < points) {
            p.vertices[i].startWidth = s;
            p.vertices[i].endWidth = w;
        }
    }
}

// --- dimensions -------------------------------------------------------------

struct DimCommon {
    double elevation = 0;
    unsigned flags = 0;
};

DimCommon readDimensionCommon(R& r, E& e, DimensionData& dim, int kind) {
    auto& d = r.dat;
    DimCommon c;
    if (r.since(Version::R2010)) skip("class_version", d.RC());
    e.entity.common.extrusion = d.BD3();
    Vec2 textMid = d.RD2();
    c.elevation = d.BD();
    c.flags = d.RC();
    dim.text = r.T();
    dim.textRotation = d.BD();
    skip("horiz_dir", d.BD());
    skip("ins_scale", d.BD3());
    skip("ins_rotation", d.BD());
    if (r.since(Version::R2000)) {
        dim.attachment = d.BS();
        skip("lspace_style", d.BS());
        skip("lspace_factor", d.BD());
        dim.measurement = d.BD();
    }
    if (r.since(Version::R2007)) {
        skip("unknown", d.B());
        skip("flip_arrow1", d.B());
        skip("flip_arrow2", d.B());
    }
    dim.insertion = withZ(d.RD2(), c.elevation);
    dim.textMidpoint = withZ(textMid, c.elevation);
    dim.dimType = kind | ((c.flags & 2) ? 32 : 0) | ((c.flags & 1) ? 0 : 128);
    return c;
}

void readDimensionHandles(R& r, E& e) {
    e.dimStyle = r.H();
    e.blockHeader = r.H();
}

void readDimOrdinate(R& r, E& e) {
    auto& dim = set<DimensionData>(e, "DIMENSION");
    readDimensionCommon(r, e, dim, 6);
    auto& d = r.dat;
    dim.definitionPoint = d.BD3();
    dim.points[0] = d.BD3();
    dim.points[1] = d.BD3();
    if (d.RC() & 1) dim.dimType |= 64;
    readDimensionHandles(r, e);
}

void readDimLinear(R& r, E& e) {
    auto& dim = set<DimensionData>(e, "DIMENSION");
    readDimensionCommon(r, e, dim, 0);
    auto& d = r.dat;
    dim.points[0] = d.BD3();
    dim.points[1] = d.BD3();
    dim.definitionPoint = d.BD3();
    dim.obliqueAngle = d.BD();
    dim.rotation = d.BD();
    readDimensionHandles(r, e);
}

void readDimAligned(R& r, E& e) {
    auto& dim = set<DimensionData>(e, "DIMENSION");
    readDimensionCommon(r, e, dim, 1);
    auto& d = r.dat;
    dim.points[0] = d.BD3();
    dim.points[1] = d.BD3();
    dim.definitionPoint = d.BD3();
    dim.obliqueAngle = d.BD();
    readDimensionHandles(r, e);
}

void readDimAng3pt(R& r, E& e) {
    auto& dim = set<DimensionData>(e, "DIMENSION");
    readDimensionCommon(r, e, dim, 5);
    auto& d = r.dat;
    dim.definitionPoint = d.BD3();
    dim.points[0] = d.BD3();
    dim.points[1] = d.BD3();
    dim.points[2] = d.BD3();
    readDimensionHandles(r, e);
}

void readDimAng2ln(R& r, E& e) {
    auto& dim = set<DimensionData>(e, "DIMENSION");
    DimCommon c = readDimensionCommon(r, e, dim, 2);
    auto& d = r.dat;
    dim.points[3] = withZ(d.RD2(), c.elevation);
    dim.points[0] = d.BD3();
    dim.points[1] = d.BD3();
    dim.points[2] = d.BD3();
    dim.definitionPoint = d.BD3();
    readDimensionHandles(r, e);
}

void readDimRadius(R& r, E& e) {
    auto& dim = set<DimensionData>(e, "DIMENSION");
    readDimensionCommon(r, e, dim, 4);
    auto& d = r.dat;
    dim.definitionPoint = d.BD3();
    dim.points[2] = d.BD3();
    skip("leader_len", d.BD());
    readDimensionHandles(r, e);
}

void readDimDiameter(R& r, E& e) {
    auto& dim = set<DimensionData>(e, "DIMENSION");
    readDimensionCommon(r, e, dim, 3);
    auto& d = r.dat;
    dim.points[2] = d.BD3();
    dim.definitionPoint = d.BD3();
    skip("leader_len", d.BD());
    readDimensionHandles(r, e);
}

void readArcDimension(R& r, E& e) {
    auto& dim = set<DimensionData>(e, "ARC_DIMENSION");
    readDimensionCommon(r, e, dim, 0);
    dim.dimType &= ~(0x7 | 32);
    auto& d = r.dat;
    dim.definitionPoint = d.BD3();
    dim.points[0] = d.BD3();
    dim.points[1] = d.BD3();
    dim.points[2] = d.BD3();
    skip("is_partial", d.B());
    skip("arc_start_param", d.BD());
    skip("arc_end_param", d.BD());
    skip("has_leader", d.B());
    dim.points[3] = d.BD3();
    skip("leader2_pt", d.BD3());
    readDimensionHandles(r, e);
}

// --- annotation -------------------------------------------------------------

void readLeader(R& r, E& e) {
    auto& l = set<LeaderData>(e, "LEADER");
    auto& d = r.dat;
    skip("unknown_bit_1", d.B());
    // The annotation type (DXF 73) comes before the path type (DXF 72):
    // the example leaders hold (0, 1) for a splined leader with text and
    // (1, 0) for a straight one with a tolerance.
    skip("annot_type", d.BS());
    l.spline = d.BS() == 1;
    std::size_t n = d.count(d.BL(), 6);
    l.vertices.reserve(n);
    for (std::size_t i = 0; i < n; ++i) l.vertices.push_back(d.BD3());
    skip("origin", d.BD3());
    l.normal = d.BD3();
    e.entity.common.extrusion = l.normal;
    skip("x_direction", d.BD3());
    skip("inspt_offset", d.BD3());
    // The offset of the last vertex from the annotation (DXF 213) is kept
    // by every version since R14; from 2010 on the annotation box size is
    // not stored (the DXF export works it out from the annotation).
    if (r.since(Version::R14)) skip("endptproj", d.BD3());
    if (r.until(Version::R14)) skip("dimgap", d.BD());
    if (r.until(Version::R2007)) {
        skip("box_height", d.BD());
        skip("box_width", d.BD());
    }
    skip("hookline_dir", d.B());
    l.arrowhead = d.B();
    l.annotation = r.H();
    e.dimStyle = r.H();
}

void readTolerance(R& r, E& e) {
    auto& t = set<ToleranceData>(e, "TOLERANCE");
    auto& d = r.dat;
    if (r.until(Version::R14)) {
        skip("unknown_short", d.BS());
        t.height = d.BD();
        skip("dimgap", d.BD());
    }
    t.insertion = d.BD3();
    t.xDirection = d.BD3();
    e.entity.common.extrusion = d.BD3();
    t.text = r.T();
    e.dimStyle = r.H();
}

void readMLine(R& r, E& e) {
    auto& m = set<MLineData>(e, "MLINE");
    auto& d = r.dat;
    m.scale = d.BD();
    m.justification = d.RC();
    m.start = d.BD3();
    e.entity.common.extrusion = d.BD3();
    m.flags = d.BS();
    unsigned lines = d.RC();
    std::size_t verts = d.count(d.BS(), 6 * 9);
    m.vertices.resize(verts);
    for (auto& v : m.vertices) {
        v.position = d.BD3();
        v.direction = d.BD3();
        v.miter = d.BD3();
        v.parameters.resize(d.count(lines, 4));
        for (auto& params : v.parameters) {
            std::size_t n = d.count(d.BS(), 2);
            for (std::size_t i = 0; i < n; ++i) params.push_back(d.BD());
            std::size_t fills = d.count(d.BS(), 2);
            for (std::size_t i = 0; i < fills; ++i) skip("area_fill_parameter", d.BD());
        }
    }
    e.mlineStyle = r.H();
}

// --- hatch ------------------------------------------------------------------

void readHatchEdge(R& r, HatchEdge& edge) {
    auto& d = r.dat;
    unsigned kind = d.RC();
    switch (kind) {
    case 1:
        edge.kind = HatchEdge::Kind::Line;
        edge.start = d.RD2();
        edge.end = d.RD2();
        break;
    case 2:
        edge.kind = HatchEdge::Kind::Arc;
        edge.center = d.RD2();
        edge.radius = d.BD();
        edge.startAngle = d.BD();
        edge.endAngle = d.BD();
        edge.ccw = d.B();
        break;
    case 3:
        edge.kind = HatchEdge::Kind::Ellipse;
        edge.center = d.RD2();
        edge.majorAxis = d.RD2();
        edge.ratio = d.BD();
        edge.startAngle = d.BD();
        edge.endAngle = d.BD();
        edge.ccw = d.B();
        break;
    case 4: {
        edge.kind = HatchEdge::Kind::Spline;
        edge.degree = static_cast<int>(d.BL());
        edge.rational = d.B();
        edge.periodic = d.B();
        std::uint32_t knots = d.BL();
        std::uint32_t controls = d.BL();
        std::size_t nk = d.count(knots, 2);
        for (std::size_t i = 0; i < nk; ++i) edge.knots.push_back(d.BD());
        std::size_t nc = d.count(controls, 128);
        for (std::size_t i = 0; i < nc; ++i) {
            edge.controlPoints.push_back(d.RD2());
            if (edge.rational) edge.weights.push_back(d.BD());
        }
        if (r.since(Version::R2013)) {
            std::size_t nf = d.count(d.BL(), 128);
            for (std::size_t i = 0; i < nf; ++i) edge.fitPoints.push_back(d.RD2());
            if (nf > 0) {
                skip("start_tangent", d.RD2());
                skip("end_tangent", d.RD2());
            }
        }
        break;
    }
    default: d.fail("unknown hatch edge kind");
    }
}

void readHatch(R& r, E& e) {
    auto& h = set<HatchData>(e, "HATCH");
    auto& d = r.dat;
    if (r.since(Version::R2004)) {
        h.gradient = d.BL() != 0;
        skip("reserved", d.BL());
        auto& g = h.gradientFill;
        g.angle = d.BD();
        g.shift = d.BD();
        g.singleColor = d.BL() != 0;
        g.tint = d.BD();
        std::size_t colors = d.count(d.BL(), 4);
        g.colors.resize(colors);
        for (auto& c : g.colors) {
            c.value = d.BD();
            c.color = r.CMC();
        }
        g.name = r.T();
    }
    h.elevation = d.BD();
    e.entity.common.extrusion = d.BD3();
    h.pattern = r.T();
    h.solid = d.B();
    skip("is_associative", d.B());
    std::size_t paths = d.count(d.BL(), 8);
    h.loops.resize(paths);
    for (auto& loop : h.loops) {
        loop.flags = static_cast<int>(d.BL());
        if (!(loop.flags & 2)) {
            std::size_t segs = d.count(d.BL(), 8);
            loop.edges.resize(segs);
            for (auto& edge : loop.edges) readHatchEdge(r, edge);
        } else {
            loop.isPolyline = true;
            bool bulges = d.B();
            loop.closed = d.B();
            std::size_t n = d.count(d.BL(), 128);
            loop.polyline.resize(n);
            for (auto& v : loop.polyline) {
                v.point = d.RD2();
                if (bulges) v.bulge = d.BD();
            }
        }
        skip("num_boundary_handles", d.BL());
    }
    h.style = d.BS();
    h.patternType = d.BS();
    if (!h.solid) {
        h.angle = d.BD();
        h.scale = d.BD();
        skip("is_double", d.B());
        std::size_t lines = d.count(d.BS(), 10);
        h.lines.resize(lines);
        for (auto& line : h.lines) {
            line.angle = d.BD();
            line.base = d.BD2();
            line.offset = d.BD2();
            std::size_t dashes = d.count(d.BS(), 2);
            for (std::size_t i = 0; i < dashes; ++i) line.dashes.push_back(d.BD());
        }
    }
}

// --- images and viewports ---------------------------------------------------

void readImageLike(R& r, E& e, const char* type) {
    auto& im = set<ImageData>(e, type);
    auto& d = r.dat;
    if (d.BL() > 10) d.fail("unknown image version");
    im.insertion = d.BD3();
    im.uVector = d.BD3();
    im.vVector = d.BD3();
    im.size = d.RD2();
    im.displayFlags = d.BS();
    im.clipping = d.B();
    im.brightness = d.RC();
    im.contrast = d.RC();
    im.fade = d.RC();
    if (r.since(Version::R2010)) im.clipInverted = d.B();
    im.clipType = d.BS();
    std::size_t n = im.clipType == 1 ? 2 : d.count(d.BL(), 128);
    for (std::size_t i = 0; i < n; ++i) im.clip.push_back(d.RD2());
    // A polygon boundary is stored open; it is known closed, with the first
    // corner repeated at the end.
    if (im.clipType == 2 && im.clip.size() > 2 && !(im.clip.front() == im.clip.back()))
        im.clip.push_back(im.clip.front());
    im.definition = r.H();
}
void readImage(R& r, E& e) { readImageLike(r, e, "IMAGE"); }
void readWipeout(R& r, E& e) { readImageLike(r, e, "WIPEOUT"); }

// PDF, DWF and DGN underlays: placed by insertion, scale and rotation in
// their own plane; u and v are one unit of the page along its sides.
void readUnderlay(R& r, E& e, const char* type) {
    auto& u = set<ImageData>(e, type);
    auto& d = r.dat;
    e.entity.common.extrusion = d.BD3();
    u.insertion = d.BD3();
    const double angle = d.BD();
    const Vec3 scale = d.BD3();
    u.uVector = Vec3{std::cos(angle), std::sin(angle), 0} * scale.x;
    u.vVector = Vec3{-std::sin(angle), std::cos(angle), 0} * scale.y;
    const unsigned flags = d.RC();
    u.displayFlags = static_cast<int>(flags);
    u.clipping = flags & 1;
    u.clipInverted = flags & 16;
    u.contrast = d.RC();
    u.fade = d.RC();
    u.brightness = 50;
    std::size_t n = d.count(d.BL(), 128);
    for (std::size_t i = 0; i < n; ++i) u.clip.push_back(d.RD2());
    u.clipType = n > 2 ? 2 : 1;
    if (u.clipType == 2 && !(u.clip.front() == u.clip.back())) u.clip.push_back(u.clip.front());
    // The inner boundary of an inverted clip replaces the outer one. Files
    // saved as 2004 keep the flag but end after the outer boundary: the
    // inner one is read only where the data goes on (a guess from such
    // files; the descriptions always have it).
    if ((flags & 16) && d.bitsLeft() > 0) {
        std::size_t inner = d.count(d.BS(), 128);
        std::vector<Vec2> pts;
        for (std::size_t i = 0; i < inner; ++i) pts.push_back(d.RD2());
        if (pts.size() >= 2) {
            u.clip = std::move(pts);
            u.clipType = u.clip.size() > 2 ? 2 : 1;
        }
    }
    u.definition = r.H();
}
void readPdfUnderlay(R& r, E& e) { readUnderlay(r, e, "PDFUNDERLAY"); }
void readDwfUnderlay(R& r, E& e) { readUnderlay(r, e, "DWFUNDERLAY"); }
void readDgnUnderlay(R& r, E& e) { readUnderlay(r, e, "DGNUNDERLAY"); }

void readViewport(R& r, E& e) {
    auto& v = set<ViewportData>(e, "VIEWPORT");
    auto& d = r.dat;
    v.center = d.BD3();
    v.width = d.BD();
    v.height = d.BD();
    // Before 2000 the view is kept in the viewport's extended data, which
    // we do not read: its view height stays 0, unknown.
    if (!r.since(Version::R2000)) return;
    v.viewTarget = d.BD3();
    v.viewDirection = d.BD3();
    v.twist = d.BD();
    v.viewHeight = d.BD();
    v.lensLength = d.BD();
    v.frontClip = d.BD();
    v.backClip = d.BD();
    skip("snap_angle", d.BD());
    v.viewCenter = d.RD2();
    skip("snap_base", d.RD2());
    skip("snap_spacing", d.RD2());
    skip("grid_spacing", d.RD2());
    skip("circle_zoom", d.BS());
    if (r.since(Version::R2007)) skip("grid_major", d.BS());
    const std::uint32_t frozen = d.BL();
    v.flags = static_cast<int>(d.BL());
    // The rest (style sheet, render mode, UCS, lighting) does not change
    // what is drawn; the handles come from their own stream.
    std::size_t n = r.hdl.count(frozen, 8);
    for (std::size_t i = 0; i < n; ++i) e.layerList.push_back(r.H());
    v.clipBoundary = r.H();
}

// --- tables and multileaders --------------------------------------------------

void readTable(R& r, E& e) {
    auto& t = set<TableData>(e, "ACAD_TABLE");
    auto& d = r.dat;
    t.insertion = d.BD3();
    t.scale = readInsertScale(r);
    t.rotation = d.BD();
    e.entity.common.extrusion = d.BD3();
    e.blockHeader = r.H();
}

// How the text of a multileader is set: as multiline text would be.
void readMLeaderTextLayout(R& r, MLeaderData& m) {
    auto& d = r.dat;
    skip("rotation", d.BD());  // already in the direction
    m.textWidth = d.BD();
    skip("height", d.BD());
    m.lineSpacingFactor = d.BD();
    skip("line_spacing_style", d.BS());
    skip("color", r.CMC());
    m.textAttachment = d.BS();
    m.textFlow = d.BS();
    skip("background_color", r.CMC());
    skip("background_scale", d.BD());
    skip("background_transparency", d.BL());
    skip("background_fill", d.B());
    skip("background_mask", d.B());
    skip("column_type", d.BS());
    skip("auto_height", d.B());
    skip("column_width", d.BD());
    skip("column_gutter", d.BD());
    skip("column_flow_reversed", d.B());
    std::size_t columns = d.count(d.BL(), 2);
    for (std::size_t i = 0; i < columns; ++i) skip("column_height", d.BD());
    skip("word_break", d.B());
    skip("unknown", d.B());
}

// The properties the multileader keeps of its own, each its style's unless
// overridden; of them only the text frame and whether leaders meet the
// text at its top or bottom change what we draw.
void readMLeaderOwnProperties(R& r, MLeaderData& m) {
    auto& d = r.dat;
    skip("style", r.H());
    skip("override_flags", d.BL());
    skip("leader_type", d.BS());
    skip("line_color", r.CMC());
    skip("line_linetype", r.H());
    skip("line_weight", d.BL());
    skip("landing", d.B());
    skip("dogleg", d.B());
    skip("landing_distance", d.BD());
    skip("arrowhead", r.H());
    skip("arrow_size", d.BD());
    skip("content_type", d.BS());
    skip("text_style", r.H());
    skip("text_left", d.BS());
    skip("text_right", d.BS());
    skip("text_angle_type", d.BS());
    skip("text_alignment", d.BS());
    skip("text_color", r.CMC());
    m.textFrame = d.B();
    if (!r.since(Version::R2010)) return;  // what follows up to there is of no use to us
    skip("block_style", r.H());
    skip("block_color", r.CMC());
    skip("block_scale", d.BD3());
    skip("block_rotation", d.BD());
    skip("style_attachment", d.BS());
    skip("annotative", d.B());
    // The public descriptions give the fields below up to the scale only
    // before 2010, with a list of arrowheads and one of block labels; the
    // files of 2010 and later we have hold them too, with one count only,
    // 0 in each of them (a guess: that of the arrowheads). With a list we
    // cannot place for certain, the rest is left unread.
    if (d.BL() != 0) return;
    skip("negative_text_direction", d.B());
    skip("ipe_alignment", d.BS());
    skip("justification", d.BS());
    skip("scale_factor", d.BD());
    m.verticalAttachment = d.BS() == 1;
}

void readMLeader(R& r, E& e) {
    auto& m = set<MLeaderData>(e, "MULTILEADER");
    auto& d = r.dat;
    if (r.since(Version::R2010)) skip("class_version", d.BS());
    std::size_t roots = d.count(d.BL(), 8);
    for (std::size_t i = 0; i < roots; ++i) {
        bool hasLastPoint = d.B();
        bool hasDogleg = d.B();
        Vec3 landing = hasLastPoint ? d.BD3() : Vec3{};
        Vec3 dogleg = hasDogleg ? d.BD3() : Vec3{};
        std::size_t breaks = d.count(d.BL(), 12);
        for (std::size_t k = 0; k < breaks; ++k) {
            skip("break_start", d.BD3());
            skip("break_end", d.BD3());
        }
        skip("branch_index", d.BL());
        double doglegLength = d.BD();
        m.landingPoints.push_back(landing);
        m.doglegDirections.push_back(dogleg);
        m.doglegLengths.push_back(doglegLength);
        std::size_t lines = d.count(d.BL(), 8);
        for (std::size_t l = 0; l < lines; ++l) {
            std::vector<Vec3> points(d.count(d.BL(), 6));
            for (auto& p : points) p = d.BD3();
            std::size_t lineBreaks = d.count(d.BL(), 12);
            for (std::size_t k = 0; k < lineBreaks; ++k) {
                skip("break_start", d.BD3());
                skip("break_end", d.BD3());
            }
            skip("line_index", d.BL());
            if (r.since(Version::R2010)) {
                skip("type", d.BS());
                skip("color", r.CMC());
                skip("ltype", r.H());
                skip("linewt", d.BL());
                skip("arrow_size", d.BD());
                skip("arrow_handle", r.H());
                skip("flags", d.BL());
            }
            m.leaderLines.push_back(std::move(points));
            m.leaderLineRoot.push_back(static_cast<int>(i));
        }
        if (r.since(Version::R2010)) skip("attach_dir", d.BS());
    }
    skip("scale_factor", d.BD());
    skip("content_base", d.BD3());
    m.textHeight = d.BD();
    m.arrowSize = d.BD();
    m.landingGap = d.BD();
    m.leftAttachment = d.BS();
    m.rightAttachment = d.BS();
    skip("text_angletype", d.BS());
    skip("text_alignment", d.BS());
    if (d.B()) {  // text content
        m.text = r.T();
        skip("normal", d.BD3());
        e.style = r.H();
        m.textLocation = d.BD3();
        m.textDirection = d.BD3();
        readMLeaderTextLayout(r, m);
    } else if (d.B()) {  // block content
        e.blockHeader = r.H();
        skip("normal", d.BD3());
        m.blockPosition = d.BD3();
        m.blockScale = d.BD3();
        m.blockRotation = d.BD();
        skip("color", r.CMC());
        for (int i = 0; i < 16; ++i) skip("transform", d.BD());
    }
    skip("base", d.BD3());
    skip("base_direction", d.BD3());
    skip("base_vertical", d.BD3());
    skip("normal_reversed", d.B());
    if (r.since(Version::R2010)) {
        skip("text_top", d.BS());
        skip("text_bottom", d.BS());
    }
    readMLeaderOwnProperties(r, m);
}


}  // namespace entities

// The kinds the decoders above read entities into, and those no DWG entity
// becomes: a kind added to the model must be named in one of the two.
static_assert(kCoversEveryKind<EntityData,
                               KindList<PlaceholderData, LineData, PointData, CircleData, ArcData, EllipseData, SplineData,
                       LwPolylineData, PolylineData, TextData, MTextData, InsertData, DimensionData, LeaderData,
                       HatchData, SolidData, Face3DData, RayData, MLineData, ViewportData, ImageData, ToleranceData,
                       TableData, MLeaderData, ShapeData, ProxyEntityData, BodyData, MeshData>,
                               KindList<>>);

}  // namespace cad::dwg
