// From the unpacked sections to the drawing model: header variables,
// classes, the object map, every object, and finally the blocks with their
// entities in the order the file chains them.
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "cad/dwg/DecodeState.h"
#include "cad/dwg/ObjectTypes.h"

namespace cad::dwg {
namespace {

bool startsWith(const std::vector<std::uint8_t>& buf, const std::uint8_t (&sentinel)[16]) {
    return buf.size() >= 16 && std::memcmp(buf.data(), sentinel, 16) == 0;
}

// A section that starts with a sentinel and a size (header, classes) opened
// as an object: data, strings and handles. Returns the end of the data.
ObjectReader openSection(const std::vector<std::uint8_t>& buf, const DwgSections& s) {
    ObjectReader r;
    r.codePage = s.codePage;
    BitReader base(buf.data(), buf.size(), s.version);
    base.seek(16 * 8);
    std::size_t size = base.RL();
    // The size's high half: written by later 2010 releases and always in
    // 2018 files, whatever their maintenance byte says.
    if ((s.version >= Version::R2010 && s.maintenanceVersion > 3) || s.version >= Version::R2018) base.RL();
    std::size_t origin = base.position();
    std::size_t end = origin + size * 8;
    if (end > buf.size() * 8) base.fail("section size larger than the section");
    base.limit(end);
    r.dat = base;
    r.str = base;
    r.hdl = base;
    if (s.version >= Version::R2007) {
        std::size_t bitSize = base.RL();
        r.dat = base;
        std::size_t endBit = origin + bitSize;
        if (endBit > end || endBit < r.dat.position()) base.fail("section bit size out of range");
        r.hdl = BitReader(buf.data(), buf.size(), s.version, endBit, end);
        r.dat.limit(endBit);
        r.separateStrings = true;
        if (locateStringStream(base, r.dat.position(), endBit, r.str)) r.dat.limit(r.str.position());
    }
    return r;
}

// The header after the limits, as far as the dimension scale, the flags
// word (lineweight display) and the drawing units.
template <class ReadHandle>
void readLaterHeaderVariables(ObjectReader& r, ReadHandle H, Header& h) {
    auto& b = r.dat;
    b.BD();  // ELEVATION
    b.BD3();
    b.BD3();
    b.BD3();
    H();  // UCSNAME
    if (r.since(Version::R2000)) {
        H();
        b.BS();
        H();
        for (int i = 0; i < 6; ++i) b.BD3();
        if (r.until(Version::R2004)) {
            r.T();
            r.T();  // DIMPOST DIMAPOST
        }
    }
    if (r.until(Version::R14)) {
        for (int i = 0; i < 11; ++i) b.B();  // DIMTOL .. DIMSOXD
        b.RC();
        b.RC();  // DIMALTD DIMZIN
        b.B();
        b.B();  // DIMSD1 DIMSD2
        b.RC();
        b.RC();
        b.RC();  // DIMTOLJ DIMJUST DIMFIT
        b.B();   // DIMUPT
        for (int i = 0; i < 4; ++i) b.RC();  // DIMTZIN DIMALTZ DIMALTTZ DIMTAD
        for (int i = 0; i < 6; ++i) b.BS();  // DIMUNIT .. DIMALTTD
        H();                                 // DIMTXSTY
    }
    h.dimScale = b.BD();
    for (int i = 0; i < 8; ++i) b.BD();  // DIMASZ .. DIMTM
    if (r.since(Version::R2007)) {
        b.BD();
        b.BD();
        b.BS();
        r.CMC();
    }
    if (r.since(Version::R2000)) {
        for (int i = 0; i < 6; ++i) b.B();
        for (int i = 0; i < 3; ++i) b.BS();
    }
    if (r.since(Version::R2007)) b.BS();
    for (int i = 0; i < 8; ++i) b.BD();  // DIMTXT .. DIMGAP
    if (r.until(Version::R14))
        for (int i = 0; i < 5; ++i) r.T();
    if (r.since(Version::R2000)) {
        b.BD();
        b.B();
        b.BS();
        for (int i = 0; i < 4; ++i) b.B();
    }
    r.CMC();
    r.CMC();
    r.CMC();  // DIMCLRD DIMCLRE DIMCLRT
    if (r.since(Version::R2000)) {
        for (int i = 0; i < 11; ++i) b.BS();  // DIMADEC .. DIMJUST
        b.B();
        b.B();  // DIMSD1 DIMSD2
        for (int i = 0; i < 4; ++i) b.BS();  // DIMTOLJ DIMTZIN DIMALTZ DIMALTTZ
        b.B();   // DIMUPT
        b.BS();  // DIMATFIT
    }
    if (r.since(Version::R2007)) b.B();
    if (r.since(Version::R2010)) {
        b.B();
        b.BD();
        b.BD();
    }
    if (r.since(Version::R2000))
        for (int i = 0; i < 5; ++i) H();  // DIMTXSTY DIMLDRBLK DIMBLK DIMBLK1 DIMBLK2
    if (r.since(Version::R2007))
        for (int i = 0; i < 3; ++i) H();
    if (r.since(Version::R2000)) {
        b.BS();
        b.BS();  // DIMLWD DIMLWE
    }
    for (int i = 0; i < 9; ++i) H();  // the table control objects
    if (r.until(Version::R2000)) H();
    for (int i = 0; i < 3; ++i) H();  // group, multiline style and named object dictionaries
    if (!r.since(Version::R2000)) return;
    b.BS();
    b.BS();  // TSTACKALIGN TSTACKSIZE
    if (r.until(Version::R2004)) {
        r.T();
        r.T();  // HYPERLINKBASE STYLESHEET
    }
    for (int i = 0; i < 3; ++i) H();  // layouts, plot settings, plot styles
    if (r.since(Version::R2004)) {
        H();
        H();
    }
    if (r.since(Version::R2007)) H();
    if (r.since(Version::R2013)) H();
    std::uint32_t flags = b.BL();
    h.lwDisplay = !(flags & 0x200);
    h.insUnits = b.BS();
}

void readHeaderVariables(const DwgSections& s, DecodeState& st, Drawing& d) {
    if (!startsWith(s.header, kHeaderSentinel)) throw ReadError("the header variables have no sentinel");
    ObjectReader r = openSection(s.header, s);
    auto& b = r.dat;
    auto& h = d.header;
    // In the header, handles of R2007+ come from their own stream and
    // before that from the data itself.
    auto H = [&]() -> Handle { return r.since(Version::R2007) ? r.hdl.H().value : b.H().value; };
    if (r.since(Version::R2013)) b.BLL();
    for (int i = 0; i < 4; ++i) b.BD();
    if (r.until(Version::R2004))
        for (int i = 0; i < 4; ++i) b.TV(st.codePage);
    b.BL();
    b.BL();
    if (r.until(Version::R14)) b.BS();
    if (r.until(Version::R2000)) H();
    b.B();
    b.B();  // DIMASO DIMSHO
    if (r.until(Version::R14)) b.B();
    b.B();  // PLINEGEN
    b.B();  // ORTHOMODE
    b.B();  // REGENMODE
    h.fillMode = b.B();
    b.B();  // QTEXTMODE
    h.psLtScale = b.B();
    b.B();  // LIMCHECK
    if (r.until(Version::R14)) b.B();
    if (r.since(Version::R2004)) b.B();
    b.B();  // USRTIMER
    b.B();  // SKPOLY
    h.angDirClockwise = b.B();
    b.B();  // SPLFRAME
    if (r.until(Version::R14)) {
        b.B();
        b.B();
    }
    h.mirrText = b.B();
    b.B();  // WORLDVIEW
    if (r.until(Version::R14)) b.B();
    h.tileMode = b.B();
    b.B();  // PLIMCHECK
    b.B();  // VISRETAIN
    if (r.until(Version::R14)) b.B();
    b.B();  // DISPSILH
    b.B();  // PELLIPSE
    b.BS();  // PROXYGRAPHICS
    if (r.until(Version::R14)) b.BS();
    for (int i = 0; i < 5; ++i) b.BS();  // TREEDEPTH LUNITS LUPREC AUNITS AUPREC
    if (r.until(Version::R14)) b.BL();
    b.BS();  // ATTMODE
    if (r.until(Version::R14)) b.BS();
    h.pdMode = b.BSs();
    if (r.until(Version::R14)) b.BS();
    if (r.since(Version::R2004))
        for (int i = 0; i < 3; ++i) b.BL();
    for (int i = 0; i < 19; ++i) b.BS();  // USERI1..5 to TEXTQLTY
    h.ltScale = b.BD();
    h.textSize = b.BD();
    b.BD();  // TRACEWID
    b.BD();  // SKETCHINC
    b.BD();  // FILLETRAD
    b.BD();  // THICKNESS
    h.angBase = b.BD();
    h.pdSize = b.BD();
    for (int i = 0; i < 12; ++i) b.BD();  // PLINEWID USERR1..5 CHAMFERA..D FACETRES CMLSCALE
    h.celtScale = b.BD();
    if (r.until(Version::R2004)) b.TV(st.codePage);  // MENU
    for (int i = 0; i < 4; ++i) b.BL();  // TDCREATE TDUPDATE
    if (r.since(Version::R2004))
        for (int i = 0; i < 3; ++i) b.BL();
    for (int i = 0; i < 4; ++i) b.BL();  // TDINDWG TDUSRTIMER
    r.CMC();                             // CECOLOR
    b.H();                               // HANDSEED
    H();                                 // CLAYER
    Handle textStyle = H();
    H();  // CELTYPE
    if (r.since(Version::R2007)) H();
    H();  // DIMSTYLE
    H();  // CMLSTYLE
    if (r.since(Version::R2000)) b.BD();
    b.BD3();  // PINSBASE
    h.pExtMin = b.BD3();
    h.pExtMax = b.BD3();
    b.RD2();
    b.RD2();  // PLIMMIN PLIMMAX
    b.BD();
    b.BD3();
    b.BD3();
    b.BD3();
    H();  // PUCSNAME
    if (r.since(Version::R2000)) {
        H();
        b.BS();
        H();
        for (int i = 0; i < 6; ++i) b.BD3();
    }
    b.BD3();  // INSBASE
    h.extMin = b.BD3();
    h.extMax = b.BD3();
    h.limMin = b.RD2();
    h.limMax = b.RD2();
    readLaterHeaderVariables(r, H, h);
    st.headerTextStyle = textStyle;
}

void readClasses(const DwgSections& s, DecodeState& st) {
    if (!startsWith(s.classes, kClassesSentinel)) throw ReadError("the classes section has no sentinel");
    ObjectReader r = openSection(s.classes, s);
    auto& b = r.dat;
    if (r.since(Version::R2004)) {
        b.BS();  // highest class number
        b.RC();
        b.RC();
        b.B();
    }
    while (b.bitsLeft() > 32) {
        unsigned number = b.BS();
        b.BS();  // proxy flags
        std::string app = r.T();
        ClassInfo c;
        c.cppName = r.T();
        c.dxfName = r.T();
        b.B();  // was a zombie
        unsigned itemClass = b.BS();
        c.isEntity = itemClass == 0x1F2;
        if (r.since(Version::R2004)) {
            for (int i = 0; i < 5; ++i) b.BL();
        }
        if (number < 500 || number > 0xFFFF) break;
        st.classes[number] = std::move(c);
    }
}

struct MapEntry { Handle handle; std::int64_t offset; };

std::vector<MapEntry> readObjectMap(const std::vector<std::uint8_t>& buf, Drawing& d) {
    std::vector<MapEntry> out;
    std::size_t pos = 0;
    while (pos + 2 <= buf.size()) {
        std::size_t size = (static_cast<std::size_t>(buf[pos]) << 8) | buf[pos + 1];
        if (size <= 2) break;
        if (pos + size > buf.size()) {
            d.warnings.push_back("the object map is cut short");
            break;
        }
        BitReader r(buf.data(), buf.size(), Version::R2000, (pos + 2) * 8, (pos + size) * 8);
        Handle handle = 0;
        std::int64_t offset = 0;
        try {
            while (r.bitsLeft() >= 16) {
                handle += r.UMC();
                offset += r.MC();
                out.push_back({handle, offset});
            }
        } catch (const ReadError&) {
            d.warnings.push_back("a page of the object map is damaged");
        }
        pos += size + 2;  // and its CRC
    }
    return out;
}

// Extended data: blocks of (size, application, items). We keep the first
// string item of each application, which is where a text style names its
// font family (application "ACAD").
std::vector<std::pair<Handle, std::string>> readExtendedData(BitReader& b, int codePage) {
    std::vector<std::pair<Handle, std::string>> out;
    for (;;) {
        std::size_t size = b.BS();
        if (size == 0) break;
        Handle app = b.H().value;
        std::vector<std::uint8_t> items = b.bytes(size);
        if (items.size() < 2 || items[0] != 0) continue;
        std::string firstText;
        // A string item: 2007+ UTF-16 with a 16-bit length, earlier a byte
        // length and the code page before the bytes.
        if (b.since(Version::R2007)) {
            std::size_t n = items[1] | (items.size() > 2 ? items[2] << 8 : 0);
            if (3 + 2 * n > items.size()) continue;
            for (std::size_t i = 0; i < n; ++i)
                appendUtf8(firstText, static_cast<std::uint32_t>(items[3 + 2 * i] | (items[4 + 2 * i] << 8)));
        } else {
            std::size_t n = items[1];
            if (4 + n > items.size()) continue;
            firstText = toUtf8(items.data() + 4, n, codePage);
        }
        out.emplace_back(app, std::move(firstText));
    }
    return out;
}

// What the common part of an entity says about the handles that follow it.
struct EntityHandleFlags {
    std::size_t reactors = 0;
    bool xdicMissing = false, byLayerLinetype = false;
    unsigned plotFlags = 0, materialFlags = 0, shadowFlags = 0;
    bool visualStyles[3] = {false, false, false};
};

EntityHandleFlags readEntityCommonData(ObjectReader& r, EntityRecord& e, std::size_t& endBit, std::size_t dataStart,
                                       std::size_t dataEnd) {
    auto& b = r.dat;
    EntityHandleFlags f;
    if (b.B()) {  // graphics of the entity
        std::uint64_t size = r.since(Version::R2010) ? b.BLL() : b.RL();
        b.skipBytes(size);
    }
    if (r.until(Version::R14)) {
        endBit = dataStart + b.RL();
        if (endBit > dataEnd || endBit < b.position()) b.fail("object bit size out of range");
    }
    r.hdl = BitReader(b.data(), b.sizeBytes(), b.version(), endBit, dataEnd);
    b.limit(endBit);
    e.entmode = static_cast<int>(b.BB());
    f.reactors = b.count(b.BL(), 1);
    f.xdicMissing = r.since(Version::R2004) && b.B();
    f.byLayerLinetype = r.until(Version::R14) && b.B();
    e.noLinks = r.until(Version::R2000) ? b.B() : true;
    if (r.since(Version::R2013)) b.B();
    e.entity.common.color = r.ENC();
    e.entity.common.linetypeScale = b.BD();
    if (r.since(Version::R2000)) {
        e.linetypeFlags = static_cast<int>(b.BB());
        f.plotFlags = b.BB();
    } else {
        e.linetypeFlags = f.byLayerLinetype ? 0 : 3;
    }
    if (r.since(Version::R2007)) {
        f.materialFlags = b.BB();
        f.shadowFlags = b.RC();
    }
    if (r.since(Version::R2010))
        for (bool& v : f.visualStyles) v = b.B();
    e.entity.common.invisible = b.BS() & 1;
    if (r.since(Version::R2000)) e.entity.common.lineweight = lineweightFromIndex(b.RC());
    e.entity.common.handle = r.self;
    e.entity.common.paperSpace = e.entmode == 1;
    return f;
}

void readEntityCommonHandles(ObjectReader& r, EntityRecord& e, const EntityHandleFlags& f) {
    if (e.entmode == 0) e.owner = r.H();
    std::size_t reactors = r.hdl.count(f.reactors, 8);
    for (std::size_t i = 0; i < reactors; ++i) r.H();
    if (!f.xdicMissing) r.H();
    if (r.until(Version::R14)) {
        e.layer = r.H();
        if (!f.byLayerLinetype) e.linetype = r.H();
    }
    if (r.until(Version::R2000) && !e.noLinks) {
        e.prev = r.H();
        e.next = r.H();
    }
    if (r.since(Version::R2000)) {
        e.layer = r.H();
        if (e.linetypeFlags == 3) e.linetype = r.H();
    }
    if (r.since(Version::R2007)) {
        if (f.materialFlags == 3) r.H();
        if (f.shadowFlags == 3) r.H();
    }
    if (r.since(Version::R2000) && f.plotFlags == 3) r.H();
    for (bool v : f.visualStyles)
        if (v) r.H();
}

void readObjectCommon(ObjectReader& r, std::size_t& endBit, std::size_t dataStart, std::size_t dataEnd) {
    auto& b = r.dat;
    if (r.until(Version::R14)) {
        endBit = dataStart + b.RL();
        if (endBit > dataEnd || endBit < b.position()) b.fail("object bit size out of range");
    }
    r.hdl = BitReader(b.data(), b.sizeBytes(), b.version(), endBit, dataEnd);
    b.limit(endBit);
    std::size_t reactors = b.count(b.BL(), 1);
    bool xdicMissing = r.since(Version::R2004) && b.B();
    if (r.since(Version::R2013)) b.B();
    r.H();  // owner
    reactors = r.hdl.count(reactors, 8);
    for (std::size_t i = 0; i < reactors; ++i) r.H();
    if (!xdicMissing) r.H();
}

void decodeObject(const DwgSections& s, DecodeState& st, std::int64_t offset, Handle expected) {
    const auto& buf = s.objects;
    if (offset < 0 || static_cast<std::uint64_t>(offset) >= buf.size()) throw ReadError("object outside the file");
    BitReader base(buf.data(), buf.size(), s.version, static_cast<std::size_t>(offset) * 8, buf.size() * 8);
    std::size_t size = base.MS();
    std::size_t handleBits = s.version >= Version::R2010 ? static_cast<std::size_t>(base.UMC()) : 0;
    std::size_t dataStart = base.position();
    if (size > base.bitsLeft() / 8) base.fail("object larger than the file");
    st.declaredObjectBytes += size;
    std::size_t dataEnd = dataStart + size * 8;
    base.limit(dataEnd);
    unsigned type = base.OT();
    std::size_t endBit = dataEnd;
    if (s.version >= Version::R2000 && s.version <= Version::R2007) endBit = dataStart + base.RL();
    if (s.version >= Version::R2010) {
        if (handleBits > size * 8) base.fail("handle stream larger than its object");
        endBit = dataEnd - handleBits;
    }
    if (endBit > dataEnd) base.fail("object bit size out of range");

    ObjectReader r;
    r.codePage = st.codePage;
    r.self = base.H().value;
    (void)expected;
    r.extendedText = readExtendedData(base, st.codePage);
    r.dat = base;
    r.str = base;
    if (s.version >= Version::R2007) {
        r.separateStrings = true;
        locateStringStream(base, base.position(), endBit, r.str);
    }

    std::string kind;
    bool isEntity = false;
    if (const ObjectType* fixed = fixedObjectType(type)) {
        kind = fixed->name;
        isEntity = fixed->kind == ObjectKind::Entity;
    } else if (auto it = st.classes.find(type); it != st.classes.end()) {
        kind = it->second.dxfName;
        isEntity = it->second.isEntity;
    } else {
        st.drawing->noteSkipped("unknown object type " + std::to_string(type));
        return;
    }

    const ObjectType* known = objectTypeNamed(kind);
    if (isEntity) {
        EntityRecord e;
        EntityHandleFlags flags = readEntityCommonData(r, e, endBit, dataStart, dataEnd);
        if (r.separateStrings && r.str.end() > 0) r.dat.limit(r.str.position());
        readEntityCommonHandles(r, e, flags);
        if (EntityDecoder decoder = known ? known->readEntity : nullptr) {
            try {
                decoder(r, e);
            } catch (const ReadError&) {
                st.drawing->noteSkipped(kind);
                e.entity.type = kind;
                e.entity.data = PlaceholderData{kind};
            }
        } else {
            st.drawing->noteSkipped(kind);
            e.entity.type = kind;
            e.entity.data = PlaceholderData{kind};
        }
        Handle h = r.self;
        if (st.entities.emplace(h, std::move(e)).second) st.entityOrder.push_back(h);
        return;
    }
    if (ObjectDecoder decoder = known ? known->readObject : nullptr) {
        readObjectCommon(r, endBit, dataStart, dataEnd);
        if (r.separateStrings && r.str.end() > 0) r.dat.limit(r.str.position());
        decoder(r, st);
    } else if (type == 0x1F3) {
        st.drawing->noteSkipped(kind);
    }
}

}  // namespace

// Defined in Assemble.cpp
void assembleDrawing(DecodeState& st, Drawing& d);

Drawing decodeSections(const DwgSections& s) {
    Drawing d;
    DecodeState st;
    st.version = s.version;
    st.codePage = s.codePage;
    st.drawing = &d;
    d.header.version = s.versionString;
    d.header.codePage = codePageName(s.codePage);
    if (s.measurement >= 0) d.header.measurement = s.measurement;

    try {
        readClasses(s, st);
    } catch (const ReadError& e) {
        d.warnings.push_back(std::string("classes: ") + e.what());
    }
    std::vector<MapEntry> map = readObjectMap(s.handles, d);
    if (map.empty()) throw ReadError("the drawing has no readable object map");
    // Objects do not overlap, so an honest map makes us read each byte of
    // the objects once. A map that sends us over the same bytes again and
    // again would keep us busy for ever; we stop well before.
    const std::size_t budget = 4 * s.objects.size() + (1u << 20);
    std::unordered_set<std::int64_t> seen;
    for (const auto& entry : map) {
        if (!seen.insert(entry.offset).second) continue;
        if (st.declaredObjectBytes > budget) {
            d.warnings.push_back("the object map points into the same data again and again; the rest is not read");
            break;
        }
        try {
            decodeObject(s, st, entry.offset, entry.handle);
        } catch (const ReadError&) {
            d.noteSkipped("damaged object");
        }
    }
    try {
        readHeaderVariables(s, st, d);
    } catch (const ReadError& e) {
        d.warnings.push_back(std::string("header variables: ") + e.what());
    }
    assembleDrawing(st, d);
    return d;
}

}  // namespace cad::dwg
