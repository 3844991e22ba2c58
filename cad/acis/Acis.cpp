#include "cad/acis/Acis.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>
#include <vector>

namespace cad::acis {

namespace {

constexpr double kTwoPi = 6.283185307179586476925;

// A malformed record or file; caught at the edge or body it concerns.
struct Malformed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One field of a record, whichever form the file has.
struct Value {
    enum class Tag { Pointer, Number, Integer, Word, Open, Close };
    Tag tag = Tag::Word;
    double number = 0;   // Number and Integer
    std::int64_t ref = -1;  // Pointer
    std::string word;    // Word: enum names, logical values, strings, subtype names
};

struct Record {
    std::string type;  // "edge", "straight-curve", "persubent-acadSolidHistory-attrib" ...
    std::vector<Value> values;
};

struct File {
    int version = 0;
    std::vector<Record> records;
};

// --- the text form ---------------------------------------------------------

class TextScanner {
public:
    explicit TextScanner(std::string_view s) : s_(s) {}

    bool atEnd() {
        skipBlanks();
        return pos_ >= s_.size();
    }
    // The next blank-separated token.
    std::string_view token() {
        skipBlanks();
        std::size_t start = pos_;
        while (pos_ < s_.size() && !blank(s_[pos_])) ++pos_;
        return s_.substr(start, pos_ - start);
    }
    // n characters after the one blank that follows a length.
    std::string_view chars(std::size_t n) {
        if (pos_ < s_.size() && blank(s_[pos_])) ++pos_;
        if (n > s_.size() - pos_) throw Malformed("string longer than the data");
        std::string_view out = s_.substr(pos_, n);
        pos_ += n;
        return out;
    }
    void skipLine() {
        while (pos_ < s_.size() && s_[pos_] != '\n') ++pos_;
        if (pos_ < s_.size()) ++pos_;
    }

private:
    static bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    void skipBlanks() {
        while (pos_ < s_.size() && blank(s_[pos_])) ++pos_;
    }
    std::string_view s_;
    std::size_t pos_ = 0;
};

std::optional<double> parseNumber(std::string_view t) {
    if (t.empty() || t.size() > 64) return std::nullopt;
    char buf[72];
    std::memcpy(buf, t.data(), t.size());
    buf[t.size()] = 0;
    char* end = nullptr;
    double v = std::strtod(buf, &end);
    if (end != buf + t.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

bool integerText(std::string_view t) {
    std::size_t i = t.size() > 1 && (t[0] == '-' || t[0] == '+') ? 1 : 0;
    if (i >= t.size()) return false;
    for (; i < t.size(); ++i)
        if (t[i] < '0' || t[i] > '9') return false;
    return true;
}

bool endMarker(std::string_view t) { return t.substr(0, 7) == "End-of-"; }

File readText(std::string_view text) {
    File f;
    TextScanner sc(text);
    auto version = parseNumber(sc.token());
    if (!version || !(*version >= 1 && *version < 1e7)) throw Malformed("no modeler version");
    f.version = static_cast<int>(*version);
    sc.skipLine();  // records, bodies, flags
    if (f.version >= 200) {
        sc.skipLine();  // product, version and date strings
        sc.skipLine();  // units and tolerances
    }
    Record current;
    bool haveType = false;
    while (!sc.atEnd()) {
        std::string_view t = sc.token();
        if (!haveType) {
            if (endMarker(t)) break;
            // An explicit record number may stand before the type.
            if (t.size() > 1 && t[0] == '-' && integerText(t)) continue;
            current = Record{};
            current.type = std::string(t);
            haveType = true;
            continue;
        }
        Value v;
        if (t == "#") {
            f.records.push_back(std::move(current));
            haveType = false;
            continue;
        }
        if (t[0] == '$' && integerText(t.substr(1))) {
            v.tag = Value::Tag::Pointer;
            v.ref = std::strtoll(std::string(t.substr(1)).c_str(), nullptr, 10);
        } else if (t[0] == '@' && integerText(t.substr(1))) {
            long long n = std::strtoll(std::string(t.substr(1)).c_str(), nullptr, 10);
            if (n < 0) throw Malformed("negative string length");
            v.word = std::string(sc.chars(static_cast<std::size_t>(n)));
        } else if (t == "{") {
            v.tag = Value::Tag::Open;
        } else if (t == "}") {
            v.tag = Value::Tag::Close;
        } else if (auto n = parseNumber(t)) {
            v.tag = integerText(t) ? Value::Tag::Integer : Value::Tag::Number;
            v.number = *n;
        } else {
            v.word = std::string(t);
        }
        current.values.push_back(std::move(v));
    }
    return f;
}

// --- the binary form -------------------------------------------------------

class Bytes {
public:
    explicit Bytes(std::string_view s) : s_(s) {}
    bool atEnd() const { return pos_ >= s_.size(); }
    std::uint8_t u8() {
        need(1);
        return static_cast<std::uint8_t>(s_[pos_++]);
    }
    std::uint64_t le(int n) {
        need(static_cast<std::size_t>(n));
        std::uint64_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = v << 8 | static_cast<std::uint8_t>(s_[pos_ + static_cast<std::size_t>(i)]);
        pos_ += static_cast<std::size_t>(n);
        return v;
    }
    std::int32_t i32() { return static_cast<std::int32_t>(le(4)); }
    double f64() {
        std::uint64_t bits = le(8);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (!std::isfinite(d)) throw Malformed("a number that is not finite");
        return d;
    }
    std::string_view chars(std::size_t n) {
        need(n);
        std::string_view out = s_.substr(pos_, n);
        pos_ += n;
        return out;
    }
    void skip(std::size_t n) { chars(n); }

private:
    void need(std::size_t n) {
        if (n > s_.size() - pos_) throw Malformed("the binary data ends inside a field");
    }
    std::string_view s_;
    std::size_t pos_ = 0;
};

constexpr std::string_view kBinaryMagic[] = {"ACIS BinaryFile", "ASM BinaryFile"};

File readBinary(std::string_view data) {
    File f;
    Bytes b(data);
    std::size_t magic = data.substr(0, 15) == kBinaryMagic[0] ? 15 : 14;
    b.skip(magic);
    if (magic == 14) b.skip(1);  // "ASM BinaryFile4": the digit names the width of what follows
    f.version = b.i32();
    b.skip(12);  // records, bodies, flags
    Record current;
    bool inType = true;       // still reading the name parts that open a record
    std::string typeName;
    while (!b.atEnd()) {
        std::uint8_t tag = b.u8();
        Value v;
        switch (tag) {
        case 13:  // the last part of a record's name, or a name inside a record
        case 14: {  // a leading part of a record's name
            std::string part(b.chars(b.u8()));
            if (inType) {
                typeName += typeName.empty() ? part : "-" + part;
                if (tag == 13) {
                    if (typeName.substr(0, 7) == "End-of-") return f;
                    current.type = typeName;
                    current.values.clear();
                    inType = false;
                }
                continue;
            }
            v.word = std::move(part);
            break;
        }
        case 17:  // end of record
            if (!inType) f.records.push_back(std::move(current));
            current = Record{};
            typeName.clear();
            inType = true;
            continue;
        case 1: v.tag = Value::Tag::Integer; v.number = b.u8(); break;
        case 2: v.tag = Value::Tag::Integer; v.number = static_cast<std::int16_t>(b.le(2)); break;
        case 3: v.tag = Value::Tag::Integer; v.number = static_cast<double>(static_cast<std::int64_t>(b.le(8))); break;
        case 4: v.tag = Value::Tag::Integer; v.number = b.i32(); break;
        case 5: {
            std::uint32_t bits = static_cast<std::uint32_t>(b.le(4));
            float x;
            std::memcpy(&x, &bits, sizeof x);
            if (!std::isfinite(x)) throw Malformed("a number that is not finite");
            v.tag = Value::Tag::Number;
            v.number = x;
            break;
        }
        case 6: v.tag = Value::Tag::Number; v.number = b.f64(); break;
        case 7: v.word = std::string(b.chars(b.u8())); break;
        case 8: v.word = std::string(b.chars(b.le(2))); break;
        case 9: v.word = std::string(b.chars(b.le(4))); break;
        case 10: v.word = "T"; break;  // a logical value: reversed, true ...
        case 11: v.word = "F"; break;  // forward, false, an unbounded interval end ...
        case 12: v.tag = Value::Tag::Pointer; v.ref = b.i32(); break;
        case 15: v.tag = Value::Tag::Open; break;
        case 16: v.tag = Value::Tag::Close; break;
        case 19:  // position
        case 20:  // vector
        case 22:  // unit vector
            for (int i = 0; i < 3; ++i) {
                Value c;
                c.tag = Value::Tag::Number;
                c.number = b.f64();
                if (!inType) current.values.push_back(c);
            }
            continue;
        case 21: v.tag = Value::Tag::Integer; v.number = b.i32(); break;  // an enumeration's value
        default: throw Malformed("unknown field tag " + std::to_string(tag) + " in the binary data");
        }
        // Fields before the first name belong to the file's header.
        if (!inType) current.values.push_back(std::move(v));
    }
    return f;
}

// --- from records to edges -------------------------------------------------

struct Affine {
    double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};  // rows: images of the axes
    Vec3 t;
    Vec3 point(Vec3 p) const { return dir(p) + t; }
    Vec3 dir(Vec3 d) const {
        return {d.x * m[0][0] + d.y * m[1][0] + d.z * m[2][0], d.x * m[0][1] + d.y * m[1][1] + d.z * m[2][1],
                d.x * m[0][2] + d.y * m[1][2] + d.z * m[2][2]};
    }
};

class Body {
public:
    explicit Body(File f) : f_(std::move(f)) {
        // Newer files put an identifier and one more link after each
        // record's attribute link; the body record shows which kind this is.
        for (const Record& r : f_.records)
            if (r.type == "body") {
                prefix_ = r.values.size() > 1 && r.values[1].tag == Value::Tag::Integer ? 3 : 1;
                break;
            }
    }

    BodyData edges() {
        BodyData out;
        Affine x = transform();
        for (const Record& r : f_.records) {
            if (r.type != "edge") continue;
            try {
                if (auto e = edge(r, out)) out.edges.push_back(place(*e, x));
            } catch (const Malformed&) {
                ++out.unsupportedEdges;
            }
        }
        for (const Record& r : f_.records) {
            if (r.type != "face") continue;
            try {
                if (auto face = curvedFace(r)) out.curvedFaces.push_back(place(*face, x));
            } catch (const Malformed&) {
                // A face we cannot follow keeps its edges; it only goes without isolines.
            }
        }
        return out;
    }

private:
    const Record& at(std::int64_t ref, const char* type) const {
        if (ref < 0 || static_cast<std::uint64_t>(ref) >= f_.records.size()) throw Malformed("link out of range");
        const Record& r = f_.records[static_cast<std::size_t>(ref)];
        if (type && r.type != type) throw Malformed("link to the wrong kind of record");
        return r;
    }
    std::size_t fields(const Record& r) const { return r.values.size() > prefix_ ? r.values.size() - prefix_ : 0; }
    const Value& field(const Record& r, std::size_t i) const {
        if (i >= fields(r)) throw Malformed("record too short");
        return r.values[prefix_ + i];
    }
    double number(const Record& r, std::size_t i) const {
        const Value& v = field(r, i);
        if (v.tag != Value::Tag::Number && v.tag != Value::Tag::Integer) throw Malformed("a number expected");
        return v.number;
    }
    Vec3 vec(const Record& r, std::size_t i) const { return {number(r, i), number(r, i + 1), number(r, i + 2)}; }

    Affine transform() const {
        for (const Record& r : f_.records) {
            if (r.type != "body") continue;
            try {
                // body: lump, wire, transform
                std::size_t links = 0;
                for (std::size_t i = 0; i < fields(r); ++i) {
                    const Value& v = field(r, i);
                    if (v.tag != Value::Tag::Pointer) continue;
                    if (++links == 3) return v.ref < 0 ? Affine{} : transformOf(at(v.ref, "transform"));
                }
            } catch (const Malformed&) {
                return Affine{};
            }
            break;
        }
        return Affine{};
    }

    // A transform holds the rotation rows, the translation and the scale,
    // then its rotate, reflect and shear flags. Its header is one field
    // shorter than other records' in the newer forms (no identifier link),
    // so the numbers are taken as the thirteen before the first flag; the
    // oldest form writes the flags as numbers, and there they follow the
    // header, whose length is then the usual one.
    Affine transformOf(const Record& t) const {
        std::size_t first = prefix_;
        for (std::size_t i = 0; i < t.values.size(); ++i) {
            const Value& v = t.values[i];
            if (v.tag == Value::Tag::Word && !v.word.empty()) {
                if (i < 13) throw Malformed("transform too short");
                first = i - 13;
                break;
            }
        }
        auto num = [&](std::size_t i) {
            if (first + i >= t.values.size()) throw Malformed("transform too short");
            const Value& v = t.values[first + i];
            if (v.tag != Value::Tag::Number && v.tag != Value::Tag::Integer) throw Malformed("a number expected");
            return v.number;
        };
        Affine x;
        // A transform written without its scale leaves it at one.
        const double scale = first + 12 < t.values.size() ? num(12) : 1.0;
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 3; ++col) x.m[row][col] = num(static_cast<std::size_t>(row * 3 + col)) * scale;
        x.t = {num(9), num(10), num(11)};
        return x;
    }

    Vec3 vertexPoint(std::int64_t ref) const {
        const Record& v = at(ref, "vertex");
        for (std::size_t i = fields(v); i-- > 0;) {
            const Value& f = field(v, i);
            if (f.tag == Value::Tag::Pointer) {
                const Record& p = at(f.ref, "point");
                return vec(p, 0);
            }
        }
        throw Malformed("vertex without a point");
    }

    std::vector<std::int64_t> links(const Record& r) const {
        std::vector<std::int64_t> out;
        for (std::size_t i = 0; i < fields(r); ++i)
            if (field(r, i).tag == Value::Tag::Pointer) out.push_back(field(r, i).ref);
        return out;
    }

    // The points of the vertices on a face's loops: where the face starts
    // and ends along its surface's axis.
    std::vector<Vec3> faceVertices(const Record& face) const {
        std::vector<Vec3> out;
        auto faceLinks = links(face);
        if (faceLinks.size() < 2) throw Malformed("face too short");
        std::int64_t loopRef = faceLinks[1];
        // Each loop and coedge belongs to one face, so a sound body is walked
        // within a few steps a record; links that go round in circles or that
        // many faces share stop there.
        auto step = [this] {
            if (++walked_ > 4 * f_.records.size()) throw Malformed("loops that do not close");
        };
        while (loopRef >= 0) {
            step();
            const Record& loop = at(loopRef, "loop");
            auto loopLinks = links(loop);
            if (loopLinks.size() < 2) throw Malformed("loop too short");
            const std::int64_t first = loopLinks[1];
            std::int64_t coedgeRef = first;
            while (coedgeRef >= 0) {
                step();
                auto coedgeLinks = links(at(coedgeRef, "coedge"));
                if (coedgeLinks.size() < 4) throw Malformed("coedge too short");
                auto edgeLinks = links(at(coedgeLinks[3], "edge"));
                if (edgeLinks.size() < 2) throw Malformed("edge too short");
                out.push_back(vertexPoint(edgeLinks[0]));
                out.push_back(vertexPoint(edgeLinks[1]));
                coedgeRef = coedgeLinks[0];
                if (coedgeRef == first) break;
            }
            loopRef = loopLinks[0];
        }
        return out;
    }

    static Vec3 unitOf(Vec3 v) {
        const double l = length(v);
        if (!(l > 0)) throw Malformed("degenerate surface");
        return v * (1 / l);
    }

    // The surface of a curved face, in the frame its isolines are drawn in.
    // What is simplified: a cone's isolines run the whole turn between the
    // lowest and highest vertex of its loops (faces cut along the axis get
    // them across the cut away part too), and spheres and tori get theirs
    // only when whole, with no edges bounding them.
    std::optional<CurvedFace> curvedFace(const Record& face) const {
        auto faceLinks = links(face);
        if (faceLinks.empty() || faceLinks.back() < 0) return std::nullopt;
        const Record& s = at(faceLinks.back(), nullptr);
        CurvedFace c;
        if (s.type == "cone-surface") {
            c.kind = CurvedFace::Kind::Cone;
            c.center = vec(s, 0);
            c.w = unitOf(vec(s, 3));
            c.u = vec(s, 6);
            const double a = length(c.u), ratio = number(s, 9);
            if (!(a > 0) || !(ratio > 0)) throw Malformed("degenerate cone");
            c.v = cross(c.w, c.u) * ratio;
            if (!coneLevels(face, s, c, a, ratio)) return std::nullopt;
            return c;
        }
        if (s.type == "sphere-surface" || s.type == "torus-surface") {
            if (!faceVertices(face).empty()) return std::nullopt;
            c.center = vec(s, 0);
            if (s.type == "sphere-surface") {
                c.kind = CurvedFace::Kind::Sphere;
                c.major = number(s, 3);
                c.u = unitOf(vec(s, 4));
                c.w = unitOf(vec(s, 7));
            } else {
                c.kind = CurvedFace::Kind::Torus;
                c.w = unitOf(vec(s, 3));
                c.major = number(s, 6);
                c.minor = number(s, 7);
                c.u = unitOf(vec(s, 8));
            }
            c.v = cross(c.w, c.u);
            if (!(std::abs(c.major) > 0)) throw Malformed("degenerate surface");
            return c;
        }
        return std::nullopt;
    }

    // A cone's extent along its axis: the levels of its lowest and highest
    // vertices, with the size of the base ellipse there. A cone whose loops
    // all lie at one level runs to its apex; which side that lies on is
    // taken from the half-angle's sine and cosine, radius growing along the
    // axis for a positive sine (a guess: the descriptions we have do not say).
    bool coneLevels(const Record& face, const Record& s, CurvedFace& c, double a, double ratio) const {
        const Vec3 uHat = c.u * (1 / a), vHat = cross(c.w, uHat);
        bool any = false;
        for (Vec3 p : faceVertices(face)) {
            const Vec3 d = p - c.center;
            const double h = dot(d, c.w);
            const double k = std::hypot(dot(d, uHat), dot(d, vHat) / ratio) / a;
            if (!any || h < c.h0) c.h0 = h, c.k0 = k;
            if (!any || h > c.h1) c.h1 = h, c.k1 = k;
            any = true;
        }
        if (!any) return false;
        const double scale = 1e-9 * (a + std::abs(c.h0));
        if (c.h1 - c.h0 > scale) return true;
        // sine and cosine follow the base's interval, where one is written
        for (std::size_t i : {std::size_t{10}, std::size_t{12}}) {
            const Value &sv = field(s, i), &cv = field(s, i + 1);
            if (sv.tag == Value::Tag::Word || cv.tag == Value::Tag::Word) continue;
            const double sine = sv.number, cosine = cv.number;
            if (std::abs(sine * sine + cosine * cosine - 1) > 1e-6) continue;
            if (std::abs(sine) < 1e-12 || std::abs(cosine) < 1e-12) return false;  // a cylinder cut flat
            const double apex = c.h0 - c.k0 * a * cosine / sine;
            if (apex < c.h0) c.h0 = apex, c.k0 = 0;
            else c.h1 = apex, c.k1 = 0;
            return true;
        }
        return false;
    }

    static bool reversed(const Value& v) {
        return v.word == "reversed" || v.word == "T" || (v.tag == Value::Tag::Integer && v.number == 1);
    }

    std::optional<WireEdge> edge(const Record& r, BodyData& out) const {
        // start vertex [param] end vertex [param] coedge curve sense ...
        std::int64_t links[4] = {-1, -1, -1, -1};
        int n = 0;
        std::size_t i = 0;
        for (; i < fields(r) && n < 4; ++i)
            if (field(r, i).tag == Value::Tag::Pointer) links[n++] = field(r, i).ref;
        if (n < 4) throw Malformed("edge too short");
        bool rev = i < fields(r) && reversed(field(r, i));
        if (links[3] < 0) return std::nullopt;  // an edge without a curve: a point
        WireEdge e;
        e.start = vertexPoint(links[0]);
        e.end = vertexPoint(links[1]);
        bool closed = links[0] == links[1] || length(e.end - e.start) <= 1e-9 * (1 + length(e.start));
        const Record& c = at(links[3], nullptr);
        if (c.type == "straight-curve") {
            e.kind = WireEdge::Kind::Line;
            if (closed) return std::nullopt;
            return e;
        }
        if (c.type == "ellipse-curve") {
            e.kind = WireEdge::Kind::Ellipse;
            e.center = vec(c, 0);
            Vec3 normal = vec(c, 3);
            e.majorAxis = vec(c, 6);
            double ratio = number(c, 9);
            double nl = length(normal), ml = length(e.majorAxis);
            if (nl <= 0 || ml <= 0 || ratio <= 0) throw Malformed("degenerate ellipse");
            e.minorAxis = cross(normal * (1 / nl), e.majorAxis) * ratio;
            double t0 = angleOf(e, e.start), t1 = angleOf(e, e.end);
            if (closed) {
                e.startParam = t0;
                e.endParam = t0 + kTwoPi;
            } else {
                if (rev) std::swap(t0, t1);
                while (t1 <= t0) t1 += kTwoPi;
                e.startParam = t0;
                e.endParam = t1;
            }
            return e;
        }
        if (c.type == "intcurve-curve") {
            if (!spline(c, e)) {
                ++out.unsupportedEdges;
                return std::nullopt;
            }
            e.kind = WireEdge::Kind::Spline;
            if (rev) std::swap(e.start, e.end);
            return e;
        }
        ++out.unsupportedEdges;
        return std::nullopt;
    }

    static double angleOf(const WireEdge& e, Vec3 p) {
        Vec3 d = p - e.center;
        return std::atan2(dot(d, e.minorAxis) / dot(e.minorAxis, e.minorAxis),
                          dot(d, e.majorAxis) / dot(e.majorAxis, e.majorAxis));
    }

    // The B-spline that approximates an intersection or procedural curve:
    // "nubs" or "nurbs", degree, closure, distinct knots with their
    // multiplicities, then the control points.
    bool spline(const Record& c, WireEdge& e) const {
        std::size_t i = 0, n = fields(c);
        while (i < n && !(field(c, i).word == "nubs" || field(c, i).word == "nurbs")) ++i;
        if (i >= n) return false;
        bool rational = field(c, i).word == "nurbs";
        ++i;
        double degreeValue = number(c, i++);
        if (!(degreeValue >= 1 && degreeValue <= 25)) throw Malformed("spline degree out of range");
        int degree = static_cast<int>(degreeValue);
        ++i;  // open, closed or periodic
        double distinct = number(c, i++);
        if (distinct < 2 || distinct > static_cast<double>(n)) throw Malformed("knot count out of range");
        std::vector<double> knots;
        for (int k = 0; k < static_cast<int>(distinct); ++k) {
            double knot = number(c, i++);
            double mult = number(c, i++);
            if (mult < 1 || mult > degree + 1 || knots.size() + static_cast<std::size_t>(mult) > 4 * n)
                throw Malformed("knot multiplicity out of range");
            if (!knots.empty() && knot < knots.back()) throw Malformed("knots out of order");
            knots.insert(knots.end(), static_cast<std::size_t>(mult), knot);
        }
        // The modeler writes the end knots once less than a clamped curve
        // needs them; the control points are as many as that leaves.
        std::size_t count = knots.size() + 1 - static_cast<std::size_t>(degree);
        if (knots.size() < static_cast<std::size_t>(degree) + 1) throw Malformed("too few knots");
        std::size_t dim = rational ? 4 : 3;
        if (count * dim > n - i) throw Malformed("control points missing");
        knots.insert(knots.begin(), knots.front());
        knots.push_back(knots.back());
        e.degree = degree;
        e.knots = std::move(knots);
        for (std::size_t k = 0; k < count; ++k) {
            e.controlPoints.push_back(vec(c, i));
            i += 3;
            if (rational) {
                double w = number(c, i++);
                if (w <= 0) throw Malformed("spline weight not positive");
                e.weights.push_back(w);
            }
        }
        return true;
    }

    static WireEdge place(WireEdge e, const Affine& x) {
        e.start = x.point(e.start);
        e.end = x.point(e.end);
        e.center = x.point(e.center);
        e.majorAxis = x.dir(e.majorAxis);
        e.minorAxis = x.dir(e.minorAxis);
        for (Vec3& p : e.controlPoints) p = x.point(p);
        return e;
    }

    static CurvedFace place(CurvedFace c, const Affine& x) {
        c.center = x.point(c.center);
        c.u = x.dir(c.u);
        c.v = x.dir(c.v);
        c.w = x.dir(c.w);
        return c;
    }

    File f_;
    std::size_t prefix_ = 1;
    mutable std::size_t walked_ = 0;  // loops and coedges followed so far, for all faces
};

}  // namespace

std::string decodeStoredText(std::string_view text) {
    std::string out(text);
    for (char& ch : out) {
        auto c = static_cast<unsigned char>(ch);
        if (c > 32) ch = static_cast<char>(159 - c);
    }
    return out;
}

bool isBinary(std::string_view data) {
    return data.substr(0, 15) == kBinaryMagic[0] || data.substr(0, 14) == kBinaryMagic[1];
}

BodyData readBody(std::string_view data) {
    try {
        File f = isBinary(data) ? readBinary(data) : readText(data);
        if (f.records.empty()) {
            BodyData b;
            b.error = "no modeler records";
            return b;
        }
        return Body(std::move(f)).edges();
    } catch (const Malformed& e) {
        BodyData b;
        b.error = e.what();
        return b;
    } catch (const std::bad_alloc&) {
        BodyData b;
        b.error = "modeler data too large";
        return b;
    }
}

}  // namespace cad::acis
