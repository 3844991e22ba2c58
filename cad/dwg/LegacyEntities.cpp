// The entity records of drawings before R13. Every record starts alike:
// type (RC, high bit set when the entity was erased), flags (RC), the size of
// the whole record (RS), the layer index (RS) and a word of option bits (RS)
// telling which of the kind's optional fields follow. Then the common values
// the flags announce (colour, linetype, elevation, thickness, handle), then
// the kind's own fields. R11 closes each record with a check value.
#include <cstring>
#include <utility>

#include "cad/dwg/BitReader.h"
#include "cad/dwg/LegacyFormat.h"

namespace cad::dwg::legacy {

bool releaseOf(const std::string& v, Release& release) {
    static const std::pair<const char*, Release> kReleases[] = {
        {"AC1.2", Release::R1_2},   {"AC1.40", Release::R1_40}, {"AC1.50", Release::R2_0},
        {"AC2.10", Release::R2_10}, {"AC2.21", Release::R2_21}, {"AC2.22", Release::R2_22},
        {"AC1001", Release::R2_5a}, {"AC1002", Release::R2_5},  {"AC1003", Release::R2_6},
        {"AC1004", Release::R9},    {"AC1006", Release::R10},   {"AC1009", Release::R11},
    };
    for (const auto& [name, r] : kReleases)
        if (v == name) {
            release = r;
            return true;
        }
    return false;
}

std::uint16_t recordCrc(const std::uint8_t* data, std::size_t n) {
    std::uint16_t crc = 0xC0C1;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    }
    return crc;
}

void Cursor::need(std::size_t n) const {
    if (n > end_ - pos_) throw ReadError("the DWG file is damaged: a record runs past the end of its section");
}
void Cursor::seek(std::size_t at) {
    if (at > end_) throw ReadError("the DWG file is damaged: a section lies beyond the end of the file");
    pos_ = at;
}
void Cursor::skip(std::size_t n) {
    need(n);
    pos_ += n;
}
std::uint8_t Cursor::RC() {
    need(1);
    return data_[pos_++];
}
std::uint16_t Cursor::RS() {
    need(2);
    std::uint16_t v = static_cast<std::uint16_t>(data_[pos_] | data_[pos_ + 1] << 8);
    pos_ += 2;
    return v;
}
std::uint32_t Cursor::RL() {
    std::uint32_t low = RS();
    return low | std::uint32_t{RS()} << 16;
}
double Cursor::RD() {
    need(8);
    double v;
    std::memcpy(&v, data_ + pos_, 8);  // the files are little-endian, as are the machines we build for
    pos_ += 8;
    return v;
}
std::string Cursor::TV(int codePage) {
    std::size_t n = RS();
    need(n);
    std::string s = toUtf8(data_ + pos_, n, codePage);
    pos_ += n;
    return s;
}
std::string Cursor::fixedText(std::size_t n, int codePage) {
    need(n);
    const std::uint8_t* p = data_ + pos_;
    std::size_t used = 0;
    while (used < n && p[used] != 0) ++used;
    pos_ += n;
    return toUtf8(p, used, codePage);
}

namespace {

// Fuzzing builds read on past a check value that does not match, so that
// mutated files reach the fields behind it.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr bool kEnforceChecks = false;
#else
constexpr bool kEnforceChecks = true;
#endif

enum Type {
    kLine = 1, kPoint = 2, kCircle = 3, kShape = 4, kRepeat = 5, kEndRep = 6, kText = 7, kArc = 8, kTrace = 9,
    kLoad = 10, kSolid = 11, kBlock = 12, kEndBlk = 13, kInsert = 14, kAttDef = 15, kAttrib = 16, kSeqEnd = 17,
    kPolyline = 19, kVertex = 20, kLine3D = 21, kFace3D = 22, kDimension = 23, kViewport = 24,
};

// The flag bits of the common part. Paper space entities carry bit 64, and
// with it a byte of further flags after the option word; bit 16 is set in
// none of the files we have seen, and is taken to add no field.
enum Flag {
    kHasColor = 1, kHasLinetype = 2, kHasElevation = 4, kHasThickness = 8,
    kHasHandle = 32, kPaperSpace = 64, kSequenceFollows = 128,
};
// The bits of the extra flags byte.
enum ExtraFlag { kHasExtendedData = 2, kHasViewport = 4 };

const char* typeName(int type) {
    switch (type) {
    case 18: return "JUMP";
    default: return "unknown entity type";
    }
}

std::string nameAt(const std::vector<std::string>& names, unsigned index, const char* fallback) {
    return index < names.size() ? names[index] : std::string(fallback);
}

// The MVIEW list, as far as it has been read.
struct ViewList {
    bool seen = false;  // the MVIEW string, which the list follows
    int depth = 0;
    std::vector<Vec3> points;
    std::vector<double> reals;
    std::vector<std::string> frozenLayers;
};

void readViewList(Cursor& c, const TableNames& names, int codePage, ViewList& list) {
    while (c.left() > 0) {
        const unsigned code = c.RC();
        const bool inList = list.seen && list.depth == 1;
        if (code == 0) {
            const std::string s = c.fixedText(c.RC(), codePage);
            list.seen = list.seen || (list.depth == 0 && s == "MVIEW");
        } else if (code == 1) {
            c.RS();
            if (list.seen) return;  // the next application's data
        } else if (code == 2) {
            const bool opens = c.RC() == 0;
            if (!list.seen) continue;
            list.depth += opens ? 1 : -1;
            if (list.depth <= 0) return;
        } else if (code == 3) {
            const unsigned layer = c.RS();
            if (list.seen && list.depth == 2 && layer < names.layers.size())
                list.frozenLayers.push_back(names.layers[layer]);
        } else if (code >= 10 && code <= 13) {
            const Vec3 p = c.RD3();
            if (inList) list.points.push_back(p);
        } else if (code >= 40 && code <= 42) {
            const double v = c.RD();
            if (inList) list.reals.push_back(v);
        } else if (code == 70) c.RS();
        else if (code == 71) c.RL();
        else if (code == 4) c.skip(c.RC());
        else if (code == 5) c.skip(8);
        else return;
    }
}

// A viewport's view, from the extended data R11 keeps it in: the list the
// DXF of the time shows under the application ACAD after 1000 "MVIEW"
// (1070 version, 1010 target, 1010 direction, 1040 twist, view height, view
// centre X and Y, lens length, front and back clip, grid and snap settings,
// then a nested list of the frozen layers). Each item is its group code less
// 1000 in a byte, then its value: 0 a string (RC length and bytes), 1 the
// application (RS, its place in the APPID table, which we do not read: the
// MVIEW string marks the list), 2 a brace (RC 0 opens, 1 closes), 10 to 13 a
// point (3 RD), 40 to 42 a real (RD), 70 an RS, 71 an RL, 4 bytes (RC
// length). Guessed, as our files hold none: 3 a layer as its RS place in the
// layer table, 5 a handle in 8 bytes. An item of any other code ends the
// reading, as what follows it cannot be found. Guessed too: the twist is
// in radians, as stored (no viewport of our files is turned).
void viewFromExtendedData(ViewportData& d, Cursor& c, const TableNames& names, int codePage) {
    ViewList list;
    try {
        readViewList(c, names, codePage, list);
    } catch (const ReadError&) {
        // Cut short: the view keeps what came before the cut.
    }
    if (!list.seen) return;
    if (list.points.size() > 0) d.viewTarget = list.points[0];
    if (list.points.size() > 1) d.viewDirection = list.points[1];
    double* const fields[] = {&d.twist, &d.viewHeight, &d.viewCenter.x, &d.viewCenter.y,
                              &d.lensLength, &d.frontClip, &d.backClip};
    for (std::size_t i = 0; i < std::size(fields) && i < list.reals.size(); ++i) *fields[i] = list.reals[i];
    d.frozenLayers = std::move(list.frozenLayers);
}

class RecordReader {
public:
    RecordReader(Cursor& c, const FileFacts& facts, const TableNames& names, Record& out)
        : c_(c), facts_(facts), names_(names), out_(out), e_(out.entity) {}

    // Fields of the kind, after the common part.
    void read(int type) {
        switch (type) {
        case kLine: line(); break;
        case kPoint: point(); break;
        case kCircle: circle(false); break;
        case kArc: circle(true); break;
        case kShape: shape(); break;
        case kText: text(); break;
        case kTrace: corners("TRACE"); break;
        case kSolid: corners("SOLID"); break;
        case kBlock: block(); break;
        case kEndBlk: out_.kind = Record::Kind::BlockEnd; break;
        case kInsert: insert(); break;
        case kAttDef: attribute(true); break;
        case kAttrib: attribute(false); break;
        case kSeqEnd: out_.kind = Record::Kind::SequenceEnd; break;  // then the RL address of its owner
        case kPolyline: polyline(); break;
        case kVertex: vertex(); break;
        case kLine3D: line3D(); break;
        case kFace3D: face3D(); break;
        case kDimension: dimension(); break;
        case kViewport: viewport(); break;
        case kRepeat: out_.kind = Record::Kind::RepeatBegin; break;
        case kEndRep: endRepeat(); break;
        default: break;
        }
    }

    // Releases before 2.0: a signed type word (negative when the entity was
    // erased), the layer number, then the kind's fields, none optional and
    // none announced. What each kind holds is taken from sample drawings and
    // the listings of that time; kinds after INSERT are not known there.
    bool early(int type) {
        e_.common.layer = nameAt(names_.layers, c_.RS(), "0");
        switch (type) {
        case kLine: {
            auto& d = set<LineData>("LINE");
            d.start = planar();
            d.end = planar();
            return true;
        }
        case kPoint: set<PointData>("POINT").position = planar(); return true;
        case kCircle:
        case kArc: {
            Vec3 center = planar();
            double radius = c_.RD();
            if (type == kCircle) {
                set<CircleData>("CIRCLE") = CircleData{center, radius};
                return true;
            }
            double start = c_.RD();
            set<ArcData>("ARC") = ArcData{center, radius, start, c_.RD()};
            return true;
        }
        case kShape: {
            auto& d = set<ShapeData>("SHAPE");
            d.insertion = planar();
            d.size = c_.RD();
            d.rotation = c_.RD();
            d.number = c_.RS();
            return true;
        }
        case kRepeat: out_.kind = Record::Kind::RepeatBegin; return true;
        case kEndRep: endRepeat(); return true;
        case kText: {
            auto& d = set<TextData>("TEXT");
            d.insertion = planar();
            d.height = c_.RD();
            d.rotation = c_.RD();
            d.value = c_.TV(facts_.codePage);
            return true;
        }
        case kTrace: case kSolid: {
            auto& d = set<SolidData>(type == kTrace ? "TRACE" : "SOLID");
            for (Vec3& p : d.corners) p = planar();
            return true;
        }
        case kLoad:
            out_.kind = Record::Kind::Undrawn;
            c_.TV(facts_.codePage);
            return true;
        case kBlock:
            out_.kind = Record::Kind::BlockBegin;
            out_.blockName = c_.TV(facts_.codePage);
            e_.data = PointData{planar(), 0};
            return true;
        case kEndBlk: out_.kind = Record::Kind::BlockEnd; return true;
        case kInsert: {
            auto& d = set<InsertData>("INSERT");
            d.blockName = c_.TV(facts_.codePage);
            d.insertion = planar();
            d.scale.x = c_.RD();
            d.scale.y = c_.RD();
            d.rotation = c_.RD();
            return true;
        }
        default: return false;
        }
    }

    // The common part: what the flags byte announces, in file order.
    void common(int type, unsigned flags) {
        flags_ = flags;
        EntityCommon& c = e_.common;
        unsigned layer = c_.RS();
        c.layer = nameAt(names_.layers, layer, "0");
        opts_ = c_.RS();
        unsigned extra = 0;
        if (flags & kPaperSpace) {
            c.paperSpace = true;
            extra = c_.RC();
        }
        if (extra & kHasExtendedData) {
            // Application data: we draw none of it, but a viewport keeps its view there.
            std::size_t n = c_.RS();
            extendedData_ = c_.position();
            c_.skip(n);
            extendedDataEnd_ = c_.position();
        }
        if (flags & kHasColor) c.color = Color::fromIndex(c_.RC());
        if (flags & kHasLinetype) c.linetype = linetype();
        // R10 and later keep the height of lines, points and 3D faces in their
        // points; the flag then only says the points are flat.
        bool flatPoints = facts_.release >= Release::R10 && (type == kLine || type == kPoint || type == kFace3D);
        if ((flags & kHasElevation) && !flatPoints) elevation_ = c_.RD();
        if (flags & kHasThickness) c.thickness = c_.RD();
        if (flags & kHasHandle) {
            unsigned n = c_.RC();
            Handle h = 0;
            for (unsigned i = 0; i < n; ++i) {
                unsigned byte = c_.RC();
                if (i < 8) h = h << 8 | byte;  // big-endian, at most eight bytes count
            }
            c.handle = h;
        }
        if (extra & kHasViewport) c_.RS();
        out_.sequenceFollows = flags & kSequenceFollows;
    }

private:
    bool opt(unsigned bit) const { return opts_ & bit; }
    bool flat() const { return flags_ & kHasElevation; }

    std::string linetype() {
        // R11 numbers linetypes in a word, earlier releases in a byte; the
        // top values stand for the two logical linetypes.
        unsigned i = facts_.release >= Release::R11 ? c_.RS() : c_.RC();
        unsigned byBlock = facts_.release >= Release::R11 ? 0x7FFE : 0xFF;
        unsigned byLayer = facts_.release >= Release::R11 ? 0x7FFF : 0xFE;
        if (i == byBlock) return "ByBlock";
        if (i == byLayer) return "ByLayer";
        return nameAt(names_.linetypes, i, "ByLayer");
    }
    std::string style(unsigned index) { return nameAt(names_.styles, index, "Standard"); }
    // A planar point: x and y in the record, z the entity's elevation.
    Vec3 planar() {
        Vec2 p = c_.RD2();
        return {p.x, p.y, elevation_};
    }
    Vec3 point3(bool threeD) {
        if (threeD) return c_.RD3();
        Vec2 p = c_.RD2();
        return {p.x, p.y, 0};
    }
    template <class T> T& set(const char* type) {
        out_.kind = Record::Kind::Drawable;
        e_.type = type;
        e_.data = T{};
        return *e_.as<T>();
    }

    void line() {
        auto& d = set<LineData>("LINE");
        bool threeD = facts_.release >= Release::R10 && !flat();
        d.start = point3(threeD);
        d.end = point3(threeD);
        if (opt(1)) e_.common.extrusion = c_.RD3();
    }
    void point() {
        auto& d = set<PointData>("POINT");
        d.position = facts_.release >= Release::R10 ? point3(!flat()) : planar();
        if (opt(1)) e_.common.extrusion = c_.RD3();
        if (opt(2)) d.xAxisAngle = c_.RD();
    }
    void circle(bool arc) {
        Vec3 center = planar();
        double radius = c_.RD();
        double start = 0, end = 0;
        if (arc) {
            start = c_.RD();
            end = c_.RD();
        }
        if (opt(1)) e_.common.extrusion = c_.RD3();
        if (opt(2)) center.z = c_.RD();
        if (arc) set<ArcData>("ARC") = ArcData{center, radius, start, end};
        else set<CircleData>("CIRCLE") = CircleData{center, radius};
    }
    void shape() {
        auto& d = set<ShapeData>("SHAPE");
        d.insertion = planar();
        d.size = c_.RD();
        d.number = c_.RC();  // the shape's number in its shape file; the name lives in that file
        if (opt(1)) d.rotation = c_.RD();
        if (opt(2)) c_.RC();  // which shape file (a style table entry)
        if (opt(4)) d.widthFactor = c_.RD();
        if (opt(8)) d.oblique = c_.RD();
    }
    void corners(const char* type) {
        auto& d = set<SolidData>(type);
        for (Vec3& p : d.corners) p = planar();
        if (opt(1)) e_.common.extrusion = c_.RD3();
        if (opt(2)) {
            double z = c_.RD();
            for (Vec3& p : d.corners) p.z = z;
        }
    }
    // The optional fields TEXT, ATTRIB and ATTDEF share, from the bit that
    // announces the rotation on: ATTRIB and ATTDEF start one bit later.
    void textOptions(TextData& d, unsigned first, int verticalBit) {
        if (opt(first)) d.rotation = c_.RD();
        if (opt(first << 1)) d.widthFactor = c_.RD();
        if (opt(first << 2)) d.oblique = c_.RD();
        if (opt(first << 3)) d.style = style(c_.RC());
        if (opt(first << 4)) d.generation = c_.RC();
        if (opt(first << 5)) d.horizontalAlign = c_.RC();
        if (opt(first << 6)) d.alignment = planar();
        if (opt(first << 7)) e_.common.extrusion = c_.RD3();
        if (opt(static_cast<unsigned>(verticalBit))) d.verticalAlign = c_.RC();
    }
    void text() {
        auto& d = set<TextData>("TEXT");
        d.insertion = planar();
        d.height = c_.RD();
        d.value = c_.TV(facts_.codePage);
        textOptions(d, 1, 0x100);
    }
    void attribute(bool definition) {
        auto& d = set<TextData>(definition ? "ATTDEF" : "ATTRIB");
        d.insertion = planar();
        d.height = c_.RD();
        d.value = c_.TV(facts_.codePage);
        if (definition) d.prompt = c_.TV(facts_.codePage);
        d.tag = c_.TV(facts_.codePage);
        d.attributeFlags = c_.RC();
        textOptions(d, 2, 0x200);
    }
    void block() {
        out_.kind = Record::Kind::BlockBegin;
        Vec3 base = planar();
        e_.data = PointData{base, 0};
        if (opt(2)) c_.TV(facts_.codePage);  // the path of an external reference
        if (opt(4)) out_.blockName = c_.TV(facts_.codePage);
    }
    void insert() {
        auto& d = set<InsertData>("INSERT");
        d.blockName = nameAt(names_.blocks, c_.RS(), "");
        d.insertion = planar();
        if (opt(1)) d.scale.x = c_.RD();
        if (opt(2)) d.scale.y = c_.RD();
        if (opt(4)) d.rotation = c_.RD();
        if (opt(8)) d.scale.z = c_.RD();
        if (opt(16)) d.columns = c_.RS();
        if (opt(32)) d.rows = c_.RS();
        if (opt(64)) d.columnSpacing = c_.RD();
        if (opt(128)) d.rowSpacing = c_.RD();
        if (opt(256)) e_.common.extrusion = c_.RD3();
    }
    void polyline() {
        auto& d = set<PolylineData>("POLYLINE");
        if (opt(1)) d.flags = c_.RC();
        if (opt(2)) d.startWidth = c_.RD();
        if (opt(4)) d.endWidth = c_.RD();
        if (opt(8)) e_.common.extrusion = c_.RD3();
        if (opt(16)) d.meshM = c_.RS();
        if (opt(32)) d.meshN = c_.RS();
        d.elevation = elevation_;
        d.kind = (d.flags & 64)   ? PolylineData::Kind::PolyfaceMesh
                 : (d.flags & 16) ? PolylineData::Kind::PolygonMesh
                 : (d.flags & 8)  ? PolylineData::Kind::Polyline3D
                                  : PolylineData::Kind::Polyline2D;
        // The densities and curve type (bits 64, 128, 256) change nothing we draw.
    }
    void vertex() {
        out_.kind = Record::Kind::Vertex;
        PolylineVertex& v = out_.vertex;
        if (!opt(0x4000)) v.point = planar();  // face records of a polyface mesh have no point
        if (opt(1)) v.startWidth = c_.RD();
        if (opt(2)) v.endWidth = c_.RD();
        if (opt(4)) v.bulge = c_.RD();
        if (opt(8)) v.flags = c_.RC();
        if (opt(16)) c_.RD();  // curve-fit tangent direction
        if (opt(32)) v.faceIndices[0] = c_.RSs();
        if (opt(64)) v.faceIndices[1] = c_.RSs();
        if (opt(128)) v.faceIndices[2] = c_.RSs();
        if (opt(512)) v.faceIndices[3] = c_.RSs();
    }
    void line3D() {
        auto& d = set<LineData>("3DLINE");
        if (facts_.release >= Release::R10) {
            d.start = c_.RD3();
            d.end = c_.RD3();
            if (opt(1)) e_.common.extrusion = c_.RD3();
            return;
        }
        d.start = opt(1) ? c_.RD3() : planar();
        d.end = opt(2) ? c_.RD3() : planar();
    }
    void face3D() {
        auto& d = set<Face3DData>("3DFACE");
        if (facts_.release >= Release::R10) {
            for (Vec3& p : d.corners) p = point3(!flat());
            if (opt(1)) d.invisibleEdges = c_.RS();
            return;
        }
        for (int i = 0; i < 4; ++i) d.corners[i] = opt(1u << i) ? c_.RD3() : planar();
    }
    void dimension() {
        auto& d = set<DimensionData>("DIMENSION");
        d.blockName = nameAt(names_.blocks, c_.RS(), "");
        bool threeD = facts_.release >= Release::R10;
        d.definitionPoint = point3(threeD);
        Vec2 mid = c_.RD2();
        d.textMidpoint = {mid.x, mid.y, 0};
        if (opt(1)) {
            Vec2 p = c_.RD2();
            d.insertion = {p.x, p.y, 0};
        }
        if (opt(2)) d.dimType = c_.RC();
        if (opt(4)) d.text = c_.TV(facts_.codePage);
        int kind = d.dimType & 7;
        if (opt(8)) d.points[0] = point3(threeD);
        if (opt(16)) d.points[1] = point3(threeD);
        if (opt(32)) d.points[2] = point3(threeD);
        if (opt(64)) {
            Vec2 p = c_.RD2();
            if (kind == 2) d.points[3] = {p.x, p.y, 0};  // the two-line angle's fourth point
        }
        if (opt(128)) c_.RD();  // leader length of radius and diameter dimensions
        if (opt(256)) d.rotation = c_.RD();
        if (opt(512)) d.obliqueAngle = c_.RD();
        if (opt(1024)) d.textRotation = c_.RD();
        if (opt(0x4000)) e_.common.extrusion = c_.RD3();
        if (opt(0x8000)) c_.RS();  // dimension style
    }
    // The array's counts and spacings. Which count is the columns and which
    // spacing runs along x is a guess: the samples space both alike; the
    // order follows the arrayed INSERT's (columns, rows, then their spacings).
    void endRepeat() {
        out_.kind = Record::Kind::RepeatEnd;
        RepeatArray& a = out_.repeat;
        a.columns = c_.RS();
        a.rows = c_.RS();
        a.columnSpacing = c_.RD();
        a.rowSpacing = c_.RD();
    }
    void viewport() {
        auto& d = set<ViewportData>("VIEWPORT");
        d.center = c_.RD3();
        d.width = c_.RD();
        d.height = c_.RD();
        d.id = c_.RS();
        if (extendedDataEnd_ > extendedData_) {
            Cursor data(c_.data(), extendedData_, extendedDataEnd_);
            viewFromExtendedData(d, data, names_, facts_.codePage);
        }
    }

    Cursor& c_;
    const FileFacts& facts_;
    const TableNames& names_;
    Record& out_;
    Entity& e_;
    unsigned flags_ = 0, opts_ = 0;
    double elevation_ = 0;
    std::size_t extendedData_ = 0, extendedDataEnd_ = 0;
};

Record readEarlyRecord(Cursor& section, const FileFacts& facts, const TableNames& names) {
    std::size_t start = section.position();
    int type = 0;
    Record out;
    try {
        type = section.RSs();
        RecordReader reader(section, facts, names, out);
        if (!reader.early(type < 0 ? -type : type)) {
            out.kind = Record::Kind::Unreadable;
            out.skippedName = typeName(type < 0 ? -type : type);
            return out;
        }
        if (type < 0) out.kind = Record::Kind::Erased;
    } catch (const ReadError&) {
        out.kind = Record::Kind::Damaged;  // it runs past the end of its section
        section.seek(section.end());
    }
    out.size = section.position() - start;
    return out;
}

}  // namespace

Record readRecord(Cursor& section, const FileFacts& facts, const TableNames& names) {
    if (facts.release < Release::R2_0) return readEarlyRecord(section, facts, names);
    std::size_t start = section.position();
    Record out;
    if (section.left() < 4) {
        out.kind = Record::Kind::Unreadable;
        out.skippedName = "entity record cut short";
        return out;
    }
    int type = section.RC();
    unsigned flags = section.RC();
    std::size_t size = section.RS();
    if (size < 4 || size > section.end() - start) {
        out.kind = Record::Kind::Unreadable;
        out.skippedName = "entity record of an impossible size";
        return out;
    }
    out.size = size;
    section.seek(start + size);
    if (type & 0x80) {
        out.kind = Record::Kind::Erased;
        return out;
    }
    bool checked = facts.release >= Release::R11;
    std::size_t fieldsEnd = start + size - (checked ? 2 : 0);
    if (checked) {
        Cursor tail(section.data(), fieldsEnd, start + size);
        bool matches = fieldsEnd >= start + 4 && recordCrc(section.data() + start, fieldsEnd - start) == tail.RS();
        if (!matches && (kEnforceChecks || fieldsEnd < start + 4)) {
            out.kind = Record::Kind::Damaged;
            return out;
        }
    }
    if (type == kLoad) {
        out.kind = Record::Kind::Undrawn;
        return out;
    }
    bool known = type >= kLine && type <= kViewport && type != 18;
    if (!known) {
        out.kind = Record::Kind::Unknown;
        out.skippedName = typeName(type);
        return out;
    }
    Cursor fields(section.data(), start + 4, fieldsEnd);
    try {
        RecordReader reader(fields, facts, names, out);
        reader.common(type, flags);
        reader.read(type);
    } catch (const ReadError&) {
        out.kind = Record::Kind::Damaged;  // its fields claim more than its size holds
    }
    return out;
}

}  // namespace cad::dwg::legacy
