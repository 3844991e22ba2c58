// From the unpacked sections to the drawing model: header variables,
// classes, the object map, every object, and finally the blocks with their
// entities in the order the file chains them.
#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>

#include "cad/acis/Acis.h"
#include "cad/dwg/DataStore.h"
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
    skip("ELEVATION", b.BD());
    skip("UCSORG", b.BD3());
    skip("UCSXDIR", b.BD3());
    skip("UCSYDIR", b.BD3());
    skip("UCSNAME", H());
    if (r.since(Version::R2000)) {
        skip("UCSORTHOREF", H());
        skip("UCSORTHOVIEW", b.BS());
        skip("UCSBASE", H());
        skip("UCSORGTOP", b.BD3());
        skip("UCSORGBOTTOM", b.BD3());
        skip("UCSORGLEFT", b.BD3());
        skip("UCSORGRIGHT", b.BD3());
        skip("UCSORGFRONT", b.BD3());
        skip("UCSORGBACK", b.BD3());
        if (r.until(Version::R2004)) {
            skip("DIMPOST", r.T());
            skip("DIMAPOST", r.T());
        }
    }
    if (r.until(Version::R14)) {
        skip("DIMTOL", b.B());
        skip("DIMLIM", b.B());
        skip("DIMTIH", b.B());
        skip("DIMTOH", b.B());
        skip("DIMSE1", b.B());
        skip("DIMSE2", b.B());
        skip("DIMALT", b.B());
        skip("DIMTOFL", b.B());
        skip("DIMSAH", b.B());
        skip("DIMTIX", b.B());
        skip("DIMSOXD", b.B());
        skip("DIMALTD", b.RC());
        skip("DIMZIN", b.RC());
        skip("DIMSD1", b.B());
        skip("DIMSD2", b.B());
        skip("DIMTOLJ", b.RC());
        skip("DIMJUST", b.RC());
        skip("DIMFIT", b.RC());
        skip("DIMUPT", b.B());
        skip("DIMTZIN", b.RC());
        skip("DIMALTZ", b.RC());
        skip("DIMALTTZ", b.RC());
        skip("DIMTAD", b.RC());
        skip("DIMUNIT", b.BS());
        skip("DIMAUNIT", b.BS());
        skip("DIMDEC", b.BS());
        skip("DIMTDEC", b.BS());
        skip("DIMALTU", b.BS());
        skip("DIMALTTD", b.BS());
        skip("DIMTXSTY", H());
    }
    h.dimScale = b.BD();  // DIMSCALE
    skip("DIMASZ", b.BD());
    skip("DIMEXO", b.BD());
    skip("DIMDLI", b.BD());
    skip("DIMEXE", b.BD());
    skip("DIMRND", b.BD());
    skip("DIMDLE", b.BD());
    skip("DIMTP", b.BD());
    skip("DIMTM", b.BD());
    if (r.since(Version::R2007)) {
        skip("DIMFXL", b.BD());
        skip("DIMJOGANG", b.BD());
        skip("DIMTFILL", b.BS());
        skip("DIMTFILLCLR", r.CMC());
    }
    if (r.since(Version::R2000)) {
        skip("DIMTOL", b.B());
        skip("DIMLIM", b.B());
        skip("DIMTIH", b.B());
        skip("DIMTOH", b.B());
        skip("DIMSE1", b.B());
        skip("DIMSE2", b.B());
        skip("DIMTAD", b.BS());
        skip("DIMZIN", b.BS());
        skip("DIMAZIN", b.BS());
    }
    if (r.since(Version::R2007)) skip("DIMARCSYM", b.BS());
    skip("DIMTXT", b.BD());
    skip("DIMCEN", b.BD());
    skip("DIMTSZ", b.BD());
    skip("DIMALTF", b.BD());
    skip("DIMLFAC", b.BD());
    skip("DIMTVP", b.BD());
    skip("DIMTFAC", b.BD());
    skip("DIMGAP", b.BD());
    if (r.until(Version::R14)) {
        skip("DIMPOST", r.T());
        skip("DIMAPOST", r.T());
        skip("DIMBLK_T", r.T());
        skip("DIMBLK1_T", r.T());
        skip("DIMBLK2_T", r.T());
    }
    if (r.since(Version::R2000)) {
        skip("DIMALTRND", b.BD());
        skip("DIMALT", b.B());
        skip("DIMALTD", b.BS());
        skip("DIMTOFL", b.B());
        skip("DIMSAH", b.B());
        skip("DIMTIX", b.B());
        skip("DIMSOXD", b.B());
    }
    skip("DIMCLRD", r.CMC());
    skip("DIMCLRE", r.CMC());
    skip("DIMCLRT", r.CMC());
    if (r.since(Version::R2000)) {
        skip("DIMADEC", b.BS());
        skip("DIMDEC", b.BS());
        skip("DIMTDEC", b.BS());
        skip("DIMALTU", b.BS());
        skip("DIMALTTD", b.BS());
        skip("DIMAUNIT", b.BS());
        skip("DIMFRAC", b.BS());
        skip("DIMLUNIT", b.BS());
        skip("DIMDSEP", b.BS());
        skip("DIMTMOVE", b.BS());
        skip("DIMJUST", b.BS());
        skip("DIMSD1", b.B());
        skip("DIMSD2", b.B());
        skip("DIMTOLJ", b.BS());
        skip("DIMTZIN", b.BS());
        skip("DIMALTZ", b.BS());
        skip("DIMALTTZ", b.BS());
        skip("DIMUPT", b.B());
        skip("DIMATFIT", b.BS());
    }
    if (r.since(Version::R2007)) skip("DIMFXLON", b.B());
    if (r.since(Version::R2010)) {
        skip("DIMTXTDIRECTION", b.B());
        skip("DIMALTMZF", b.BD());
        skip("DIMMZF", b.BD());
    }
    if (r.since(Version::R2000)) {
        skip("DIMTXSTY", H());
        skip("DIMLDRBLK", H());
        skip("DIMBLK", H());
        skip("DIMBLK1", H());
        skip("DIMBLK2", H());
    }
    if (r.since(Version::R2007)) {
        skip("DIMLTYPE", H());
        skip("DIMLTEX1", H());
        skip("DIMLTEX2", H());
    }
    if (r.since(Version::R2000)) {
        skip("DIMLWD", b.BS());
        skip("DIMLWE", b.BS());
    }
    skip("BLOCK_CONTROL_OBJECT", H());
    skip("LAYER_CONTROL_OBJECT", H());
    skip("STYLE_CONTROL_OBJECT", H());
    skip("LTYPE_CONTROL_OBJECT", H());
    skip("VIEW_CONTROL_OBJECT", H());
    skip("UCS_CONTROL_OBJECT", H());
    skip("VPORT_CONTROL_OBJECT", H());
    skip("APPID_CONTROL_OBJECT", H());
    skip("DIMSTYLE_CONTROL_OBJECT", H());
    if (r.until(Version::R2000)) skip("VX_CONTROL_OBJECT", H());
    skip("DICTIONARY_ACAD_GROUP", H());
    skip("DICTIONARY_ACAD_MLINESTYLE", H());
    skip("DICTIONARY_NAMED_OBJECT", H());
    if (!r.since(Version::R2000)) return;
    skip("TSTACKALIGN", b.BS());
    skip("TSTACKSIZE", b.BS());
    if (r.until(Version::R2004)) {
        skip("HYPERLINKBASE", r.T());
        skip("STYLESHEET", r.T());
    }
    skip("DICTIONARY_LAYOUT", H());
    skip("DICTIONARY_PLOTSETTINGS", H());
    skip("DICTIONARY_PLOTSTYLENAME", H());
    if (r.since(Version::R2004)) {
        skip("DICTIONARY_MATERIAL", H());
        skip("DICTIONARY_COLOR", H());
    }
    if (r.since(Version::R2007)) skip("DICTIONARY_VISUALSTYLE", H());
    if (r.since(Version::R2013)) skip("unknown_20", H());
    // FLAGS: lineweight, end caps, joins, LWDISPLAY (0x200, inverted),
    // XEDIT, EXTNAMES, PSTYLEMODE, OLESTARTUP.
    std::uint32_t flags = b.BL();
    h.lwDisplay = !(flags & 0x200);
    h.insUnits = b.BS();  // INSUNITS
}

void readHeaderVariables(const DwgSections& s, DecodeState& st, Drawing& d) {
    if (!startsWith(s.header, kHeaderSentinel)) throw ReadError("the header variables have no sentinel");
    ObjectReader r = openSection(s.header, s);
    auto& b = r.dat;
    auto& h = d.header;
    // In the header, handles of R2007+ come from their own stream and
    // before that from the data itself.
    auto H = [&]() -> Handle { return r.since(Version::R2007) ? r.hdl.H().value : b.H().value; };
    if (r.since(Version::R2013)) skip("REQUIREDVERSIONS", b.BLL());
    // Unit conversion ratios and, until 2004, their names.
    skip("unit1_ratio", b.BD());
    skip("unit2_ratio", b.BD());
    skip("unit3_ratio", b.BD());
    skip("unit4_ratio", b.BD());
    if (r.until(Version::R2004)) {
        skip("unit1_name", b.TV(st.codePage));
        skip("unit2_name", b.TV(st.codePage));
        skip("unit3_name", b.TV(st.codePage));
        skip("unit4_name", b.TV(st.codePage));
    }
    // Undocumented: 24 and 0 in every file seen.
    skip("unknown_8", b.BL());
    skip("unknown_9", b.BL());
    if (r.until(Version::R14)) skip("unknown_10", b.BS());
    if (r.until(Version::R2000)) skip("VX_TABLE_RECORD", H());
    skip("DIMASO", b.B());
    skip("DIMSHO", b.B());
    if (r.until(Version::R14)) skip("DIMSAV", b.B());
    skip("PLINEGEN", b.B());
    skip("ORTHOMODE", b.B());
    skip("REGENMODE", b.B());
    h.fillMode = b.B();  // FILLMODE
    skip("QTEXTMODE", b.B());
    h.psLtScale = b.B();  // PSLTSCALE
    skip("LIMCHECK", b.B());
    if (r.until(Version::R14)) skip("BLIPMODE", b.B());
    if (r.since(Version::R2004)) skip("unknown_11", b.B());
    skip("USRTIMER", b.B());
    skip("SKPOLY", b.B());
    h.angDirClockwise = b.B();  // ANGDIR
    skip("SPLFRAME", b.B());
    if (r.until(Version::R14)) {
        skip("ATTREQ", b.B());
        skip("ATTDIA", b.B());
    }
    h.mirrText = b.B();  // MIRRTEXT
    skip("WORLDVIEW", b.B());
    if (r.until(Version::R14)) skip("WIREFRAME", b.B());
    h.tileMode = b.B();  // TILEMODE
    skip("PLIMCHECK", b.B());
    skip("VISRETAIN", b.B());
    if (r.until(Version::R14)) skip("DELOBJ", b.B());
    skip("DISPSILH", b.B());
    skip("PELLIPSE", b.B());
    skip("PROXYGRAPHICS", b.BS());
    if (r.until(Version::R14)) skip("DRAGMODE", b.BS());
    skip("TREEDEPTH", b.BS());
    skip("LUNITS", b.BS());
    skip("LUPREC", b.BS());
    skip("AUNITS", b.BS());
    skip("AUPREC", b.BS());
    if (r.until(Version::R14)) skip("OSMODE", b.BL());
    skip("ATTMODE", b.BS());
    if (r.until(Version::R14)) skip("COORDS", b.BS());
    h.pdMode = b.BSs();  // PDMODE
    if (r.until(Version::R14)) skip("PICKSTYLE", b.BS());
    if (r.since(Version::R2004)) {
        skip("unknown_12", b.BL());
        skip("unknown_13", b.BL());
        skip("unknown_14", b.BL());
    }
    skip("USERI1", b.BS());
    skip("USERI2", b.BS());
    skip("USERI3", b.BS());
    skip("USERI4", b.BS());
    skip("USERI5", b.BS());
    skip("SPLINESEGS", b.BS());
    skip("SURFU", b.BS());
    skip("SURFV", b.BS());
    skip("SURFTYPE", b.BS());
    skip("SURFTAB1", b.BS());
    skip("SURFTAB2", b.BS());
    skip("SPLINETYPE", b.BS());
    skip("SHADEDGE", b.BS());
    skip("SHADEDIF", b.BS());
    skip("UNITMODE", b.BS());
    skip("MAXACTVP", b.BS());
    h.isolines = b.BS();  // ISOLINES
    skip("CMLJUST", b.BS());
    skip("TEXTQLTY", b.BS());
    h.ltScale = b.BD();    // LTSCALE
    h.textSize = b.BD();   // TEXTSIZE
    skip("TRACEWID", b.BD());
    skip("SKETCHINC", b.BD());
    skip("FILLETRAD", b.BD());
    skip("THICKNESS", b.BD());
    h.angBase = b.BD();  // ANGBASE
    h.pdSize = b.BD();   // PDSIZE
    skip("PLINEWID", b.BD());
    skip("USERR1", b.BD());
    skip("USERR2", b.BD());
    skip("USERR3", b.BD());
    skip("USERR4", b.BD());
    skip("USERR5", b.BD());
    skip("CHAMFERA", b.BD());
    skip("CHAMFERB", b.BD());
    skip("CHAMFERC", b.BD());
    skip("CHAMFERD", b.BD());
    skip("FACETRES", b.BD());
    skip("CMLSCALE", b.BD());
    h.celtScale = b.BD();  // CELTSCALE
    if (r.until(Version::R2004)) skip("MENU", b.TV(st.codePage));
    // Dates and times: a day number and milliseconds each.
    skip("TDCREATE days", b.BL());
    skip("TDCREATE ms", b.BL());
    skip("TDUPDATE days", b.BL());
    skip("TDUPDATE ms", b.BL());
    if (r.since(Version::R2004)) {
        skip("unknown_15", b.BL());
        skip("unknown_16", b.BL());
        skip("unknown_17", b.BL());
    }
    skip("TDINDWG days", b.BL());
    skip("TDINDWG ms", b.BL());
    skip("TDUSRTIMER days", b.BL());
    skip("TDUSRTIMER ms", b.BL());
    skip("CECOLOR", r.CMC());
    skip("HANDSEED", b.H());
    skip("CLAYER", H());
    Handle textStyle = H();  // TEXTSTYLE
    skip("CELTYPE", H());
    if (r.since(Version::R2007)) skip("CMATERIAL", H());
    skip("DIMSTYLE", H());
    skip("CMLSTYLE", H());
    if (r.since(Version::R2000)) skip("PSVPSCALE", b.BD());
    skip("PINSBASE", b.BD3());
    h.pExtMin = b.BD3();  // PEXTMIN
    h.pExtMax = b.BD3();  // PEXTMAX
    skip("PLIMMIN", b.RD2());
    skip("PLIMMAX", b.RD2());
    skip("PELEVATION", b.BD());
    skip("PUCSORG", b.BD3());
    skip("PUCSXDIR", b.BD3());
    skip("PUCSYDIR", b.BD3());
    skip("PUCSNAME", H());
    if (r.since(Version::R2000)) {
        skip("PUCSORTHOREF", H());
        skip("PUCSORTHOVIEW", b.BS());
        skip("PUCSBASE", H());
        skip("PUCSORGTOP", b.BD3());
        skip("PUCSORGBOTTOM", b.BD3());
        skip("PUCSORGLEFT", b.BD3());
        skip("PUCSORGRIGHT", b.BD3());
        skip("PUCSORGFRONT", b.BD3());
        skip("PUCSORGBACK", b.BD3());
    }
    skip("INSBASE", b.BD3());
    h.extMin = b.BD3();  // EXTMIN
    h.extMax = b.BD3();  // EXTMAX
    h.limMin = b.RD2();  // LIMMIN
    h.limMax = b.RD2();  // LIMMAX
    readLaterHeaderVariables(r, H, h);
    st.headerTextStyle = textStyle;
}

void readClasses(const DwgSections& s, DecodeState& st) {
    if (!startsWith(s.classes, kClassesSentinel)) throw ReadError("the classes section has no sentinel");
    ObjectReader r = openSection(s.classes, s);
    auto& b = r.dat;
    if (r.since(Version::R2004)) {
        skip("max_num", b.BS());
        skip("unknown_rc1", b.RC());
        skip("unknown_rc2", b.RC());
        skip("unknown_b", b.B());
    }
    while (b.bitsLeft() > 32) {
        unsigned number = b.BS();
        skip("proxyflag", b.BS());
        std::string app = r.T();
        ClassInfo c;
        c.cppName = r.T();
        c.dxfName = r.T();
        skip("is_zombie", b.B());
        unsigned itemClass = b.BS();
        c.isEntity = itemClass == 0x1F2;
        if (r.since(Version::R2004)) {
            skip("num_instances", b.BL());
            skip("dwg_version", b.BL());
            skip("maint_version", b.BL());
            skip("unknown_1", b.BL());
            skip("unknown_2", b.BL());
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
std::vector<std::pair<Handle, std::string>> readExtendedData(BitReader& b, int codePage,
                                                             std::vector<std::vector<std::uint8_t>>* blocks) {
    std::vector<std::pair<Handle, std::string>> out;
    for (;;) {
        std::size_t size = b.BS();
        if (size == 0) break;
        Handle app = b.H().value;
        std::vector<std::uint8_t> items = b.bytes(size);
        if (blocks) blocks->push_back(items);
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
        if (size > b.bitsLeft() / 8) b.fail("entity graphics larger than the object");
        e.graphics = b.bytes(static_cast<std::size_t>(size));
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
    if (r.since(Version::R2013)) skip("has_ds_data", b.B());
    e.entity.common.color = r.ENC(&e.bookColor);
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
    for (std::size_t i = 0; i < reactors; ++i) skip("reactor", r.H());
    if (!f.xdicMissing) skip("xdicobjhandle", r.H());
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
        if (f.materialFlags == 3) skip("material", r.H());
        if (f.shadowFlags == 3) skip("shadow", r.H());
    }
    if (r.since(Version::R2000) && f.plotFlags == 3) skip("plotstyle", r.H());
    for (bool v : f.visualStyles)
        if (v) skip("visualstyle", r.H());
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
    if (r.since(Version::R2013)) skip("has_ds_data", b.B());
    skip("ownerhandle", r.H());
    reactors = r.hdl.count(reactors, 8);
    for (std::size_t i = 0; i < reactors; ++i) skip("reactor", r.H());
    if (!xdicMissing) skip("xdicobjhandle", r.H());
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
    r.extendedText = readExtendedData(base, st.codePage, &r.extendedItems);
    r.dat = base;
    r.str = base;
    if (s.version >= Version::R2007) {
        r.separateStrings = true;
        locateStringStream(base, base.position(), endBit, r.str);
    }

    std::string_view kind;
    bool isEntity = false;
    const ObjectType* fixed = fixedObjectType(type);
    if (fixed) {
        kind = fixed->name;
        isEntity = fixed->kind == ObjectKind::Entity;
    } else if (auto it = st.classes.find(type); it != st.classes.end()) {
        kind = it->second.dxfName;
        isEntity = it->second.isEntity;
    } else {
        // No class of the file names the type: the object cannot be read,
        // and it may have been an entity.
        st.drawing->noteSkipped("unknown object type " + std::to_string(type));
        st.drawing->noteDamaged("object");
        return;
    }

    // Each fixed type is also the type of its name.
    const ObjectType* known = fixed ? fixed : objectTypeNamed(kind);
    if (isEntity) {
        EntityRecord e;
        EntityHandleFlags flags = readEntityCommonData(r, e, endBit, dataStart, dataEnd);
        if (r.separateStrings && r.str.end() > 0) r.dat.limit(r.str.position());
        readEntityCommonHandles(r, e, flags);
        bool decoded = false;
        if (EntityDecoder decoder = known ? known->readEntity : nullptr) {
            try {
                decoder(r, e);
                decoded = true;
            } catch (const ReadError&) {
            }
        }
        if (decoded && e.entity.type.empty()) e.entity.type = kind;
        if (auto* body = e.entity.as<BodyData>(); body && decoded) {
            if (body->error == kInDataStore) {
                auto it = st.modelerData.find(r.self);
                *body = it != st.modelerData.end() ? acis::readBody(it->second) : BodyData{};
                if (it == st.modelerData.end()) body->error = "modeler data missing from the data store";
            }
            // A body we cannot read shows the graphics stored with it, if any.
            if (!body->error.empty() && body->edges.empty()) decoded = false;
        }
        if (!decoded) {
            e.entity.type = kind;
            ProxyGraphics graphics;
            if (!e.graphics.empty())
                graphics = decodeProxyGraphics(e.graphics.data(), e.graphics.size(), toUtf8, st.codePage);
            if (!graphics.empty()) {
                st.drawing->noteProxyGraphics(std::string(kind), graphics);
                e.entity.data = ProxyEntityData{std::string(kind), std::move(graphics)};
            } else {
                st.drawing->noteSkippedEntity(std::string(kind));
                e.entity.data = PlaceholderData{std::string(kind)};
            }
        }
        e.graphics = {};
        const Handle h = r.self;
        if (st.decoded.size() >= std::numeric_limits<std::uint32_t>::max()) return;
        e.index = static_cast<std::uint32_t>(st.decoded.size());
        if (st.entities.emplace(h, std::move(static_cast<EntityLinks&>(e))).second) {
            st.decoded.push_back(std::move(e.entity));
            if (!e.children.empty()) st.children.emplace(h, std::move(e.children));
            if (!e.layerList.empty()) st.frozenLayers.emplace(h, std::move(e.layerList));
        }
        return;
    }
    if (ObjectDecoder decoder = known ? known->readObject : nullptr) {
        readObjectCommon(r, endBit, dataStart, dataEnd);
        if (r.separateStrings && r.str.end() > 0) r.dat.limit(r.str.position());
        decoder(r, st);
    } else if (type == 0x1F3) {
        st.drawing->noteSkipped(std::string(kind));
    }
}

void decodeObjects(const DwgSections& s, DecodeState& st, Drawing& d) {
    std::vector<MapEntry> map = readObjectMap(s.handles, d);
    if (map.empty()) throw ReadError("the drawing has no readable object map");
    // Objects do not overlap, so an honest map makes us read each byte of
    // the objects once. A map that sends us over the same bytes again and
    // again would keep us busy for ever; we stop well before.
    const std::size_t budget = 4 * s.objects.size() + (1u << 20);
    // An offset the map gives again is read once, at its first entry.
    std::vector<bool> repeated(map.size(), false);
    {
        // Sorted as (offset, place in the map) pairs, side by side in memory.
        std::vector<std::pair<std::int64_t, std::size_t>> byOffset(map.size());
        for (std::size_t i = 0; i < map.size(); ++i) byOffset[i] = {map[i].offset, i};
        std::sort(byOffset.begin(), byOffset.end());
        for (std::size_t k = 1; k < byOffset.size(); ++k)
            if (byOffset[k].first == byOffset[k - 1].first) repeated[byOffset[k].second] = true;
    }
    // Most objects of a drawing are entities; the map bounds them all. The
    // entities themselves are sized once too (every object takes some bytes
    // of the objects section, so a map that claims more is not believed).
    st.entities.reserve(map.size());
    st.decoded.reserve(std::min(map.size(), s.objects.size() / 8));
    for (std::size_t i = 0; i < map.size(); ++i) {
        const MapEntry& entry = map[i];
        if (repeated[i]) continue;
        if (st.declaredObjectBytes > budget) {
            d.warnings.push_back("the object map points into the same data again and again; the rest is not read");
            break;
        }
        try {
            decodeObject(s, st, entry.offset, entry.handle);
        } catch (const ReadError&) {
            d.noteSkipped("damaged object");
            d.noteDamaged("object");
        }
    }
}

}  // namespace

// Defined in Assemble.cpp
void assembleDrawing(DecodeState& st, Drawing& d);

Drawing decodeSections(DwgSections s) {
    Drawing d;
    DecodeState st;
    st.version = s.version;
    st.codePage = s.codePage;
    st.drawing = &d;
    d.header.version = s.versionString;
    d.header.codePage = codePageName(s.codePage);
    if (s.measurement >= 0) d.header.measurement = s.measurement;

    if (!s.dataStore.empty()) st.modelerData = readModelerData(s.dataStore);
    try {
        readClasses(s, st);
    } catch (const ReadError& e) {
        d.warnings.push_back(std::string("classes: ") + e.what());
    }
    decodeObjects(s, st, d);
    try {
        readHeaderVariables(s, st, d);
    } catch (const ReadError& e) {
        d.warnings.push_back(std::string("header variables: ") + e.what());
    }
    // The sections are read: their bytes are not needed to put the drawing together.
    std::vector<std::uint8_t>().swap(s.objects);
    std::vector<std::uint8_t>().swap(s.handles);
    assembleDrawing(st, d);
    return d;
}

}  // namespace cad::dwg
