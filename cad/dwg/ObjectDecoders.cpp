// The non-graphical objects the drawing model needs: the table records
// (blocks, layers, linetypes, text styles, dimension styles), layouts and
// multiline styles. One function per kind; owner, reactors and extension
// dictionary have been read before.
#include <cmath>
#include <exception>
#include <unordered_map>

#include "cad/dwg/DecodeState.h"
#include "cad/dwg/Decoders.h"
#include "cad/model/TextEscapes.h"

namespace cad::dwg {
namespace objects {

using R = ObjectReader;
using S = DecodeState;

// The name every table record starts with, and its xref flags, which we
// pass over.
std::string readTableName(R& r) {
    std::string name = r.T();
    auto& d = r.dat;
    skip("is_xref_ref", d.B());
    if (r.until(Version::R2004)) {
        skip("is_xref_resolved", d.BS());
        skip("is_xref_dep", d.B());
    } else if (d.B()) {  // xref dependent
        skip("is_xref_resolved", d.BS());
    }
    return name;
}

void readBlockControl(R& r, S& s) {
    std::size_t n = r.hdl.count(r.dat.BL(), 8);
    s.blockControlEntries.clear();
    for (std::size_t i = 0; i < n; ++i) s.blockControlEntries.push_back(r.H());
    s.modelSpaceRecord = r.H();
    s.paperSpaceRecord = r.H();
}

void readBlockHeader(R& r, S& s) {
    BlockHeaderRecord b;
    b.handle = r.self;
    auto& d = r.dat;
    b.name = readTableName(r);
    bool anonymous = d.B();
    bool hasAttribs = d.B();
    bool xref = d.B();
    bool overlaid = d.B();
    if (r.since(Version::R2000)) skip("loaded_bit", d.B());
    b.flags = (anonymous ? 1 : 0) | (hasAttribs ? 2 : 0) | (xref ? 4 : 0) | (overlaid ? 8 : 0);
    std::uint32_t owned = r.since(Version::R2004) ? d.BL() : 0;
    b.base = d.BD3();
    b.xrefPath = r.T();
    std::size_t inserts = 0;
    if (r.since(Version::R2000)) {
        while (d.RC() != 0) ++inserts;
        skip("description", r.T());
        d.skipBytes(d.BL());  // preview
    }
    skip("xref_control", r.H());
    b.blockEntity = r.H();
    if (r.until(Version::R2000)) {
        if (!xref && !overlaid) {
            b.firstEntity = r.H();
            b.lastEntity = r.H();
        }
    } else {
        std::size_t n = r.hdl.count(owned, 8);
        b.entities.reserve(n);
        for (std::size_t i = 0; i < n; ++i) b.entities.push_back(r.H());
    }
    skip("endblk_entity", r.H());
    if (r.since(Version::R2000)) {
        std::size_t n = r.hdl.count(inserts, 8);
        for (std::size_t i = 0; i < n; ++i) skip("insert", r.H());
        b.layout = r.H();
    }
    s.blockHeaders.push_back(std::move(b));
}

void readLayer(R& r, S& s) {
    LayerRecord rec;
    Layer& l = rec.layer;
    l.handle = r.self;
    auto& d = r.dat;
    l.name = readTableName(r);
    if (r.until(Version::R14)) {
        l.frozen = d.B();
        skip("on", d.B());  // on: the sign of the colour says it again
        skip("frozen_in_new", d.B());  // frozen in new viewports
        l.locked = d.B();
    } else {
        unsigned flags = d.BS();
        l.frozen = flags & 1;
        l.on = !(flags & 2);
        l.locked = flags & 8;
        l.plot = flags & 16;
        l.lineweight = lineweightFromIndex(static_cast<int>((flags & 0x3E0) >> 5));
    }
    // The colour index is negative for layers that are off.
    int storedIndex = 0;
    l.color = r.CMC(&storedIndex);
    if (storedIndex < 0) l.on = false;
    if (l.color.kind != Color::Kind::Index && l.color.kind != Color::Kind::True) l.color = Color::fromIndex(7);
    skip("xref", r.H());
    if (r.since(Version::R2000)) skip("plotstyle", r.H());
    if (r.since(Version::R2007)) skip("material", r.H());
    rec.linetype = r.H();
    s.layerOrder.push_back(l.handle);
    s.layers[l.handle] = std::move(rec);
}

void readStyle(R& r, S& s) {
    TextStyle t;
    t.handle = r.self;
    auto& d = r.dat;
    t.name = readTableName(r);
    bool shape = d.B();
    bool vertical = d.B();
    t.flags = (shape ? 1 : 0) | (vertical ? 4 : 0);
    t.fixedHeight = d.BD();
    t.widthFactor = d.BD();
    t.oblique = d.BD();
    t.generation = d.RC();
    skip("last_height", d.BD());
    t.fontFile = r.T();
    t.bigFontFile = r.T();
    if (!r.extendedText.empty()) s.styleExtendedText[t.handle] = r.extendedText;
    s.styleOrder.push_back(t.handle);
    s.styles[t.handle] = std::move(t);
}

void readLinetype(R& r, S& s) {
    Linetype lt;
    lt.handle = r.self;
    auto& d = r.dat;
    lt.name = readTableName(r);
    lt.description = r.T();
    lt.patternLength = d.BD();
    skip("alignment", d.RC());
    unsigned dashes = d.RC();
    // The DWG flags of a dash are those of DXF: 1 absolute rotation, 2 a
    // text (the number is where it starts in the strings area), 4 a shape
    // (by number). Texts also set 8.
    bool anyText = false;
    for (unsigned i = 0; i < dashes; ++i) {
        lt.dashes.push_back(d.BD());
        LinetypeElement e;
        e.dash = i;
        e.shapeNumber = d.BS();
        e.offset = d.RD2();
        e.scale = d.BD();
        e.rotation = d.BD();
        const unsigned flags = d.BS();
        if (!(flags & 6)) continue;
        e.absoluteRotation = flags & 1;
        e.isText = flags & 2;
        anyText = anyText || e.isText;
        lt.elements.push_back(std::move(e));
    }
    // The strings area: 256 bytes up to 2004, there even without texts;
    // from 2007 on 512 bytes, there only when a dash holds a text.
    if (anyText) {
        const bool wide = r.since(Version::R2007);
        const std::vector<std::uint8_t> area = d.bytes(wide ? 512 : 256);
        for (LinetypeElement& e : lt.elements) {
            if (!e.isText) continue;
            const auto at = static_cast<std::size_t>(e.shapeNumber);
            e.shapeNumber = 0;
            std::string text;
            if (wide) {
                for (std::size_t k = at; k + 1 < area.size(); k += 2) {
                    const char32_t c = area[k] | (area[k + 1] << 8);
                    if (c == 0) break;
                    appendUtf8(text, c);
                }
            } else {
                std::size_t end = at;
                while (end < area.size() && area[end] != 0) ++end;
                if (at < end) text = toUtf8(area.data() + at, end - at, r.codePage);
            }
            e.text = std::move(text);
        }
    }
    // The handles: the xref block, then the style of each dash.
    if (!lt.elements.empty()) {
        try {
            skip("xref", r.H());
            std::size_t next = 0;
            for (unsigned i = 0; i < dashes; ++i) {
                const Handle style = r.H();
                if (next < lt.elements.size() && lt.elements[next].dash == i) lt.elements[next++].style = style;
            }
        } catch (const std::exception&) {
            // Without their styles the shapes are looked up in every shape file, the texts set in the default style.
        }
    }
    s.linetypeOrder.push_back(lt.handle);
    s.linetypes[lt.handle] = std::move(lt);
}

void readDimStyle(R& r, S& s) {
    DimStyle ds;
    ds.handle = r.self;
    ds.name = readTableName(r);
    s.dimStyleOrder.push_back(ds.handle);
    s.dimStyles[ds.handle] = std::move(ds);
}

void readApplication(R& r, S& s) { s.applications[r.self] = readTableName(r); }

void readLayout(R& r, S& s) {
    Layout l;
    l.handle = r.self;
    auto& d = r.dat;
    l.pageSetupName = r.T();
    skip("printer_cfg_file", r.T());
    l.plotFlags = d.BS();
    l.marginLeft = d.BD();
    l.marginBottom = d.BD();
    l.marginRight = d.BD();
    l.marginTop = d.BD();
    l.paperWidth = d.BD();
    l.paperHeight = d.BD();
    l.paperSizeName = r.T();
    l.plotOrigin = d.BD2();
    l.paperUnits = d.BS();
    l.plotRotation = d.BS();
    l.plotType = d.BS();
    l.plotWindowMin = d.BD2();
    l.plotWindowMax = d.BD2();
    if (r.until(Version::R2000)) skip("plot_view_name", r.T());
    l.scalePaper = d.BD();
    l.scaleDrawing = d.BD();
    l.plotStyleSheet = r.T();
    l.standardScaleType = d.BS();
    l.standardScale = d.BD();
    skip("paper_image_origin", d.BD2());
    if (r.since(Version::R2004)) {
        skip("shadeplot_type", d.BS());
        skip("shadeplot_reslevel", d.BS());
        skip("shadeplot_customdpi", d.BS());
    }
    l.name = r.T();
    l.tabOrder = d.BS();
    l.flags = d.BS();
    skip("ucs_origin", d.BD3());
    l.limMin = d.RD2();
    l.limMax = d.RD2();
    skip("ins_base", d.BD3());
    skip("ucs_x_axis", d.BD3());
    skip("ucs_y_axis", d.BD3());
    skip("ucs_elevation", d.BD());
    skip("ucs_orthoview_type", d.BS());
    l.extMin = d.BD3();
    l.extMax = d.BD3();
    if (r.since(Version::R2004)) skip("plotview", r.H());
    if (r.since(Version::R2007)) skip("visualstyle", r.H());
    l.blockRecord = r.H();
    s.layouts.push_back(std::move(l));
}

// IMAGEDEF and the underlay definitions: the file they show.
void readImageDefinition(R& r, S& s) {
    FileDefinition f;
    f.handle = r.self;
    f.kind = "IMAGEDEF";
    auto& d = r.dat;
    if (d.BL() > 10) d.fail("unknown image definition version");
    f.size = d.RD2();
    f.filePath = r.T();
    skip("is_loaded", d.B());
    skip("resunits", d.RC());
    f.pixelSize = d.RD2();
    s.drawing->fileDefinitions.push_back(std::move(f));
}

void readUnderlayDefinition(R& r, S& s, const char* kind) {
    FileDefinition f;
    f.handle = r.self;
    f.kind = kind;
    f.filePath = r.T();
    f.page = r.T();
    s.drawing->fileDefinitions.push_back(std::move(f));
}
void readPdfDefinition(R& r, S& s) { readUnderlayDefinition(r, s, "PDFDEFINITION"); }
void readDwfDefinition(R& r, S& s) { readUnderlayDefinition(r, s, "DWFDEFINITION"); }
void readDgnDefinition(R& r, S& s) { readUnderlayDefinition(r, s, "DGNDEFINITION"); }

// The viewport table: only *ACTIVE matters to us, the view model space was
// saved with. With tiled viewports several records carry that name; the
// first one read is taken, which is the one the CAD application lists first.
void readViewportRecord(R& r, S& s) {
    auto& d = r.dat;
    const std::string name = readTableName(r);
    SavedView v;
    v.height = d.BD();
    v.width = d.BD();
    v.center = d.RD2();
    v.target = d.BD3();
    v.direction = d.BD3();
    v.twist = d.BD();
    if (upperName(name) != "*ACTIVE" || s.drawing->header.modelView.present) return;
    const bool usable = v.height > 0 && v.width > 0 && std::isfinite(v.height) && std::isfinite(v.width) &&
                        std::isfinite(v.center.x) && std::isfinite(v.center.y) && std::isfinite(v.twist) &&
                        std::isfinite(v.direction.x + v.direction.y + v.direction.z + v.target.x + v.target.y + v.target.z);
    if (!usable) return;
    v.present = true;
    s.drawing->header.modelView = v;
}

void readMLineStyle(R& r, S& s) {
    MLineStyleRecord m;
    auto& d = r.dat;
    m.name = r.T();
    skip("description", r.T());
    skip("flag", d.BS());
    skip("fill_color", r.CMC());
    skip("start_angle", d.BD());
    skip("end_angle", d.BD());
    unsigned lines = d.RC();
    for (unsigned i = 0; i < lines; ++i) {
        m.offsets.push_back(d.BD());
        m.colors.push_back(r.CMC());
        if (r.since(Version::R2018))
            skip("lt_handle", r.H());
        else
            skip("lt_index", d.BS());
    }
    s.mlineStyles[r.self] = std::move(m);
}

// A colour of the colour books, as the entities that name it show it.
void readBookColor(R& r, S& s) { s.bookColors[r.self] = r.CMC(); }

}  // namespace objects

}  // namespace cad::dwg
