#include "cad/model/ProxyGraphics.h"

#include "cad/model/MemoryBudget.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <optional>
#include <utility>

#include "cad/model/TextEscapes.h"

namespace cad {

namespace {

using Kind = ProxyPrimitive::Kind;

// Little-endian fields of one record, never past its end. Every read says
// whether it fitted; a record that runs short is not used.
class Record {
public:
    Record(const std::uint8_t* data, std::size_t size) : p_(data), size_(size) {}

    bool ok() const { return ok_; }
    std::size_t left() const { return ok_ ? size_ - pos_ : 0; }

    std::uint32_t u32() {
        if (!need(4)) return 0;
        std::uint32_t v = static_cast<std::uint32_t>(p_[pos_]) | static_cast<std::uint32_t>(p_[pos_ + 1]) << 8 |
                          static_cast<std::uint32_t>(p_[pos_ + 2]) << 16 |
                          static_cast<std::uint32_t>(p_[pos_ + 3]) << 24;
        pos_ += 4;
        return v;
    }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    double f64() {
        if (!need(8)) return 0;
        std::uint64_t bits = 0;
        for (int i = 7; i >= 0; --i) bits = bits << 8 | p_[pos_ + static_cast<std::size_t>(i)];
        pos_ += 8;
        double d;
        std::memcpy(&d, &bits, sizeof d);
        // Infinities and NaNs draw nothing sensible; the record is refused.
        if (!std::isfinite(d)) {
            ok_ = false;
            return 0;
        }
        return d;
    }
    Vec3 point() {
        double x = f64(), y = f64(), z = f64();
        return {x, y, z};
    }
    // A count of items of itemSize bytes each that must still fit.
    std::size_t count(std::size_t itemSize) {
        std::uint32_t n = u32();
        if (!ok_ || itemSize == 0 || n > left() / itemSize) {
            ok_ = false;
            return 0;
        }
        return n;
    }
    std::vector<Vec3> points(std::size_t n) {
        std::vector<Vec3> out;
        if (!ok_ || n > left() / 24) {
            ok_ = false;
            return out;
        }
        out.reserve(n);
        for (std::size_t i = 0; i < n; ++i) out.push_back(point());
        return out;
    }
    // A NUL-terminated 8-bit string, then padding to a multiple of four.
    std::pair<const std::uint8_t*, std::size_t> narrow() {
        std::size_t start = pos_;
        while (ok_ && pos_ < size_ && p_[pos_] != 0) ++pos_;
        if (pos_ >= size_) {
            ok_ = false;
            return {p_, 0};
        }
        std::size_t n = pos_ - start;
        ++pos_;
        align();
        return {p_ + start, n};
    }
    // A NUL-terminated UTF-16 string, then padding.
    std::string wide() {
        std::string out;
        char32_t high = 0;
        for (;;) {
            if (!need(2)) return out;
            char32_t u = static_cast<char32_t>(p_[pos_] | p_[pos_ + 1] << 8);
            pos_ += 2;
            if (u == 0) break;
            if (u >= 0xD800 && u < 0xDC00) {
                high = u;
                continue;
            }
            if (u >= 0xDC00 && u < 0xE000 && high) {
                appendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (u - 0xDC00));
            } else {
                appendUtf8(out, u);
            }
            high = 0;
        }
        align();
        return out;
    }
    const std::uint8_t* here() const { return p_ + pos_; }
    void skip(std::size_t n) {
        if (need(n)) pos_ += n;
    }

private:
    bool need(std::size_t n) {
        if (!ok_ || size_ - pos_ < n) {
            ok_ = false;
            return false;
        }
        return true;
    }
    void align() {
        while (pos_ % 4 && pos_ < size_) ++pos_;
    }

    const std::uint8_t* p_;
    std::size_t size_, pos_ = 0;
    bool ok_ = true;
};

// The bit-coded fields of the one record that carries a lightweight polyline
// the way the drawing file stores the entity.
class Bits {
public:
    Bits(const std::uint8_t* data, std::size_t size) : p_(data), bits_(size * 8) {}
    bool ok() const { return ok_; }

    unsigned bit() {
        if (pos_ >= bits_) {
            ok_ = false;
            return 0;
        }
        unsigned b = p_[pos_ / 8] >> (7 - pos_ % 8) & 1u;
        ++pos_;
        return b;
    }
    std::uint64_t raw(int n) {  // n bits, little-endian bytes
        std::uint64_t v = 0;
        for (int byte = 0; byte < n / 8; ++byte) {
            unsigned b = 0;
            for (int i = 0; i < 8; ++i) b = b << 1 | bit();
            v |= static_cast<std::uint64_t>(b) << (8 * byte);
        }
        return v;
    }
    unsigned code() { return bit() << 1 | bit(); }
    int BS() {
        switch (code()) {
        case 0: return static_cast<std::int16_t>(raw(16));
        case 1: return static_cast<int>(raw(8));
        case 2: return 0;
        default: return 256;
        }
    }
    std::int64_t BL() {
        switch (code()) {
        case 0: return static_cast<std::int32_t>(raw(32));
        case 1: return static_cast<std::int64_t>(raw(8));
        case 2: return 0;
        default: ok_ = false; return 0;
        }
    }
    double RD() { return toDouble(raw(64)); }
    double BD() {
        switch (code()) {
        case 0: return RD();
        case 1: return 1.0;
        case 2: return 0.0;
        default: ok_ = false; return 0;
        }
    }
    double DD(double def) {
        std::uint64_t bits;
        std::memcpy(&bits, &def, sizeof bits);
        switch (code()) {
        case 0: return def;
        case 1: bits = (bits & ~0xFFFFFFFFull) | raw(32); break;
        case 2: {
            std::uint64_t mid = raw(16), low = raw(32);
            bits = (bits & 0xFFFF000000000000ull) | mid << 32 | low;
            break;
        }
        default: return RD();
        }
        return toDouble(bits);
    }

private:
    double toDouble(std::uint64_t bits) {
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (!std::isfinite(d)) ok_ = false;
        return std::isfinite(d) ? d : 0;
    }
    const std::uint8_t* p_;
    std::size_t bits_, pos_ = 0;
    bool ok_ = true;
};

bool readLwPolyline(Record& r, ProxyPrimitive& out) {
    std::size_t n = r.count(1);
    if (!r.ok()) return false;
    Bits b(r.here(), n);
    int flags = b.BS();
    if (flags & 4) b.BD();  // constant width
    if (flags & 8) out.elevation = b.BD();
    if (flags & 2) b.BD();  // thickness
    if (flags & 1) out.normal = {b.BD(), b.BD(), b.BD()};
    std::int64_t points = b.BL();
    std::int64_t bulges = flags & 16 ? b.BL() : 0;
    std::int64_t ids = flags & 1024 ? b.BL() : 0;
    std::int64_t widths = flags & 32 ? b.BL() : 0;
    // Each point takes at least four bits, each bulge and width two.
    const std::int64_t most = static_cast<std::int64_t>(n) * 2;
    if (!b.ok() || points < 0 || bulges < 0 || ids < 0 || widths < 0 || points > most || bulges > most ||
        ids > most || widths > most)
        return false;
    out.closed = flags & 512;
    out.lw.resize(static_cast<std::size_t>(points));
    for (std::size_t i = 0; i < out.lw.size() && b.ok(); ++i) {
        if (i == 0) {
            out.lw[i].point = {b.RD(), b.RD()};
        } else {
            double x = b.DD(out.lw[i - 1].point.x);
            double y = b.DD(out.lw[i - 1].point.y);
            out.lw[i].point = {x, y};
        }
    }
    for (std::int64_t i = 0; i < bulges && b.ok(); ++i) {
        double bulge = b.BD();
        if (static_cast<std::size_t>(i) < out.lw.size()) out.lw[static_cast<std::size_t>(i)].bulge = bulge;
    }
    r.skip(n);
    return b.ok();
}

// The edge flags that may follow a mesh or shell: which per-edge lists are
// stored, then the lists. Only visibility matters for a wireframe.
void readEdgeVisibility(Record& r, std::size_t edges, ProxyPrimitive& out) {
    if (r.left() < 4 || edges == 0) return;
    std::uint32_t flags = r.u32();
    for (std::uint32_t list = 1; list <= 8; list <<= 1) {
        if (!(flags & list)) continue;
        if (r.left() / 4 < edges) return;
        r.skip(4 * edges);
    }
    if (!(flags & 16) || r.left() / 4 < edges) return;
    out.edgeVisible.resize(edges);
    for (std::size_t i = 0; i < edges; ++i) out.edgeVisible[i] = r.u32() != 0;
}

// The circle through three points, if they are not on one line.
std::optional<std::pair<Vec3, double>> circleThrough(Vec3 a, Vec3 b, Vec3 c, Vec3& normal) {
    Vec3 ab = b - a, ac = c - a;
    Vec3 n = cross(ab, ac);
    double nn = dot(n, n);
    if (nn <= 1e-24 * dot(ab, ab) * dot(ac, ac) || nn == 0) return std::nullopt;
    Vec3 center = a + (cross(n, ab) * dot(ac, ac) + cross(ac, n) * dot(ab, ab)) * (0.5 / nn);
    normal = n * (1.0 / std::sqrt(nn));
    return std::make_pair(center, length(a - center));
}

std::string narrowText(std::pair<const std::uint8_t*, std::size_t> s, ProxyTextDecoder decode, int codePage) {
    if (decode) return decode(s.first, s.second, codePage);
    std::string out;
    for (std::size_t i = 0; i < s.second; ++i) appendUtf8(out, s.first[i]);
    return out;
}

// Counts a record that is not drawn, by its type; the stream goes on.
bool skipped(std::uint32_t type, ProxyGraphics& g) {
    ++g.skippedPrimitives;
    ++g.skippedTypes[type];
    return true;
}

// One record; false when it does not fit its size.
bool decodeRecord(std::uint32_t type, Record& r, ProxyGraphics& g, ProxyTextDecoder decode, int codePage) {
    ProxyPrimitive p;
    switch (type) {
    case 1:  // extents
        p.kind = Kind::Extents;
        p.points = r.points(2);
        break;
    case 2:  // circle by centre and radius
        p.kind = Kind::Circle;
        p.points = {r.point()};
        p.radius = r.f64();
        p.normal = r.point();
        break;
    case 3:  // circle through three points
    case 5: {  // arc through three points
        std::vector<Vec3> pts = r.points(3);
        if (type == 5) p.fill = r.i32();
        if (!r.ok()) return false;
        Vec3 normal;
        auto circle = circleThrough(pts[0], pts[1], pts[2], normal);
        if (!circle) {  // on one line: the points themselves
            p.kind = Kind::Polyline;
            p.points = type == 3 ? pts : std::vector<Vec3>{pts[0], pts[2]};
            break;
        }
        p.points = {circle->first};
        p.radius = circle->second;
        p.normal = normal;
        if (type == 3) {
            p.kind = Kind::Circle;
        } else {
            // From the first point through the second to the third, turning
            // about the normal of the three.
            p.kind = Kind::Arc;
            p.direction = pts[0] - circle->first;
            Vec3 u = p.direction * (1.0 / p.radius), v = cross(normal, u);
            Vec3 e = pts[2] - circle->first;
            double sweep = std::atan2(dot(e, v), dot(e, u));
            if (sweep <= 0) sweep += 2 * 3.14159265358979323846;
            p.sweep = sweep;
        }
        break;
    }
    case 4:  // arc by centre, radius, start vector and sweep
        p.kind = Kind::Arc;
        p.points = {r.point()};
        p.radius = r.f64();
        p.normal = r.point();
        p.direction = r.point();
        p.sweep = r.f64();
        p.fill = r.i32();
        break;
    case 6:  // polyline
    case 7:  // polygon
        p.kind = type == 6 ? Kind::Polyline : Kind::Polygon;
        p.points = r.points(r.count(24));
        break;
    case 32:  // polyline with a normal
        p.kind = Kind::Polyline;
        p.points = r.points(r.count(24));
        p.normal = r.point();
        break;
    case 8: {  // mesh
        p.kind = Kind::Mesh;
        std::uint32_t rows = r.u32(), columns = r.u32();
        if (!r.ok() || rows == 0 || columns == 0 || rows > r.left() / 24 || columns > r.left() / 24 / rows)
            return false;
        p.rows = static_cast<int>(rows);
        p.columns = static_cast<int>(columns);
        p.points = r.points(static_cast<std::size_t>(rows) * columns);
        if (!r.ok()) return false;
        readEdgeVisibility(r, static_cast<std::size_t>(rows) * (columns - 1) + (rows - 1) * columns, p);
        break;
    }
    case 9: {  // shell
        p.kind = Kind::Shell;
        p.points = r.points(r.count(24));
        std::size_t entries = r.count(4);
        if (!r.ok()) return false;
        p.faces.reserve(entries);
        for (std::size_t i = 0; i < entries; ++i) p.faces.push_back(r.i32());
        readEdgeVisibility(r, shellEdges(p.faces, p.points.size()).size(), p);
        break;
    }
    case 10: {  // text
        p.kind = Kind::Text;
        p.points = {r.point()};
        p.normal = r.point();
        p.direction = r.point();
        p.height = r.f64();
        p.widthFactor = r.f64();
        p.oblique = r.f64();
        p.text = narrowText(r.narrow(), decode, codePage);
        break;
    }
    case 11: {  // text with its style
        p.kind = Kind::Text;
        p.points = {r.point()};
        p.normal = r.point();
        p.direction = r.point();
        p.text = narrowText(r.narrow(), decode, codePage);
        r.u32();  // length
        r.u32();  // raw
        p.height = r.f64();
        p.widthFactor = r.f64();
        p.oblique = r.f64();
        break;
    }
    case 36: {  // text in UTF-16
        p.kind = Kind::Text;
        p.points = {r.point()};
        p.normal = r.point();
        p.direction = r.point();
        p.height = r.f64();
        p.widthFactor = r.f64();
        p.oblique = r.f64();
        p.text = r.wide();
        break;
    }
    case 38: {  // text in UTF-16 with its style
        p.kind = Kind::Text;
        p.points = {r.point()};
        p.normal = r.point();
        p.direction = r.point();
        p.text = r.wide();
        r.u32();
        r.u32();
        p.height = r.f64();
        p.widthFactor = r.f64();
        p.oblique = r.f64();
        break;
    }
    case 12:
    case 13:
        p.kind = type == 12 ? Kind::Xline : Kind::Ray;
        p.points = r.points(2);
        break;
    case 14: p.kind = Kind::Color; p.value = r.i32(); break;
    case 16: p.kind = Kind::Layer; p.value = r.u32(); break;
    case 18: p.kind = Kind::Linetype; p.value = r.u32(); break;
    case 19: p.kind = Kind::Marker; p.value = r.i32(); break;
    case 20: p.kind = Kind::Fill; p.value = r.u32(); break;
    case 22: p.kind = Kind::TrueColor; p.value = r.u32(); break;
    case 23: p.kind = Kind::Lineweight; p.value = r.i32(); break;
    case 24: p.kind = Kind::LinetypeScale; p.number = r.f64(); break;
    case 25: p.kind = Kind::Thickness; p.number = r.f64(); break;
    case 26:
        p.kind = Kind::PlotStyle;
        p.value = r.u32();
        p.value2 = r.u32();
        break;
    case 27: p.kind = Kind::PushClip; break;  // the boundary is kept as the stream stores it, not applied
    case 28: p.kind = Kind::PopClip; break;
    case 29:
    case 30:
        p.kind = Kind::PushTransform;
        for (double& m : p.matrix) m = r.f64();
        break;
    case 31: p.kind = Kind::PopTransform; break;
    case 33:
        p.kind = Kind::LwPolyline;
        if (!readLwPolyline(r, p)) return false;
        break;
    case 21:
        // The public descriptions leave this number out. The architectural
        // objects close their graphics with it, holding no fields: we take
        // it for a marker that draws nothing. One with fields is not the
        // record we know.
        if (r.left() != 0) return skipped(type, g);
        return true;
    default:
        return skipped(type, g);
    }
    if (!r.ok()) return false;
    g.primitives.push_back(std::move(p));
    return true;
}

// A record of a few bytes decodes into a primitive of a few hundred, so a
// stream of many small records is weighed as it is read: the list's room,
// which grows by doubling, and what each primitive holds besides.
bool roomForOneMore(std::vector<ProxyPrimitive>& list) {
    if (list.size() < list.capacity()) return true;
    const std::size_t grown = std::max<std::size_t>(2 * list.capacity(), 16);
    // While the primitives move, the old room is held too.
    if (!chargeMemory(grown * sizeof(ProxyPrimitive))) return false;
    releaseMemory(list.capacity() * sizeof(ProxyPrimitive));
    list.reserve(grown);
    return true;
}

std::size_t heldBeyond(const ProxyPrimitive& p) {
    return p.points.capacity() * sizeof(Vec3) + p.faces.capacity() * sizeof(std::int32_t) + p.edgeVisible.capacity() +
           p.text.capacity() + p.lw.capacity() * sizeof(ProxyLwVertex);
}

}  // namespace

std::string proxyPrimitiveName(std::uint32_t type) {
    // By the record's number; those without a name are not known to us.
    static constexpr const char* names[] = {
        nullptr,     "extents",   "circle",      "circle",     "arc",            "arc",       "polyline",     // 0-6
        "polygon",   "mesh",      "shell",       "text",       "text",           "xline",     "ray",          // 7-13
        "colour",    nullptr,     "layer",       nullptr,      "linetype",       "marker",    "fill",         // 14-20
        nullptr,     "true colour", "lineweight", "linetype scale", "thickness",  "plot style", "push clip",  // 21-27
        "pop clip",  "push transform", "push transform", "pop transform", "polyline", "lwpolyline", "material", // 28-34
        "mapper",    "text",      nullptr,       "text"};                                                   // 35-38
    if (type < std::size(names) && names[type]) return names[type];
    return "type " + std::to_string(type);
}

bool proxyPrimitiveVisible(std::uint32_t type) { return type != 34 && type != 35; }

std::vector<std::pair<int, int>> shellEdges(const std::vector<std::int32_t>& faces, std::size_t vertexCount) {
    std::vector<std::pair<int, int>> edges;
    for (std::size_t i = 0; i < faces.size();) {
        std::int64_t n = faces[i];
        if (n < 0) n = -n;
        if (n == 0 || static_cast<std::size_t>(n) > faces.size() - i - 1) break;
        const std::int32_t* v = &faces[i + 1];
        bool valid = true;
        for (std::int64_t k = 0; k < n; ++k)
            if (v[k] < 0 || static_cast<std::size_t>(v[k]) >= vertexCount) valid = false;
        if (!valid) break;
        for (std::int64_t k = 0; k < n; ++k) edges.emplace_back(v[k], v[(k + 1) % n]);
        i += static_cast<std::size_t>(n) + 1;
    }
    return edges;
}

ProxyGraphics decodeProxyGraphics(const std::uint8_t* data, std::size_t size, ProxyTextDecoder text, int codePage) {
    ProxyGraphics g;
    if (!data || size < 8) {
        g.damaged = g.cutShort = size != 0;
        return g;
    }
    Record header(data, 8);
    std::size_t total = header.u32();
    std::uint32_t count = header.u32();
    if (total < 8 || total > size) total = size;  // trust the bytes we have, not the stored size
    std::size_t pos = 8;
    std::uint32_t i = 0;
    for (; i < count && pos < total; ++i) {
        if (total - pos < 8) {
            g.damaged = true;
            break;
        }
        Record head(data + pos, 8);
        std::uint32_t recordSize = head.u32();
        std::uint32_t type = head.u32();
        if (recordSize < 8 || recordSize > total - pos) {
            g.damaged = true;
            break;
        }
        Record body(data + pos + 8, recordSize - 8);
        // A record whose fields do not fit its own size is dropped; the
        // next one still starts where the size says.
        if (!roomForOneMore(g.primitives)) {
            g.overBudget = true;
            break;
        }
        const std::size_t kept = g.primitives.size();
        if (!decodeRecord(type, body, g, text, codePage)) {
            g.damaged = true;
            skipped(type, g);
        }
        pos += recordSize;
        if (g.primitives.size() > kept && !chargeMemory(heldBeyond(g.primitives.back()))) {
            g.primitives.pop_back();
            g.overBudget = true;
            break;
        }
    }
    if (i < count && !g.overBudget) g.damaged = g.cutShort = true;  // fewer records than the header promised
    return g;
}

std::vector<std::pair<std::string, int>> skippedRecords(const ProxyGraphics& graphics) {
    std::vector<std::pair<std::string, int>> out;
    for (const auto& [type, count] : graphics.skippedTypes)
        out.emplace_back("proxy graphics primitive " + std::to_string(type), count);
    if (graphics.cutShort) out.emplace_back("proxy graphics cut short", 1);
    return out;
}

}  // namespace cad
