// The sections of a DXF file: header variables, tables, block definitions,
// entities and the layout objects, read into the drawing model.
#include "cad/dxf/DxfReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <unordered_map>

#include "cad/dxf/DxfGroups.h"
#include "cad/acis/Acis.h"
#include "cad/dxf/DxfModeler.h"
#include "cad/dxf/DxfRecords.h"
#include "cad/model/RepeatArray.h"

namespace cad::dxf {

namespace {

struct Record {
    std::string_view type;
    const Group* begin;  // first group after the "0 TYPE" group
    const Group* end;
};

// Splits a section's groups at each "0" group.
std::vector<Record> splitRecords(const Group* begin, const Group* end) {
    std::vector<Record> out;
    out.reserve(static_cast<std::size_t>(std::count_if(begin, end, [](const Group& g) { return g.code == 0; })));
    const Group* p = begin;
    while (p < end && p->code != 0) ++p;  // stray groups before the first record
    while (p < end) {
        Record r{trimmed(p->value), p + 1, p + 1};
        while (r.end < end && r.end->code != 0) ++r.end;
        out.push_back(r);
        p = r.end;
    }
    return out;
}

// Table entries, header records and objects: the groups after the common
// handle, owner and reactor groups, with their subclass.
template <class F>
void forEachGroup(const Record& r, F&& f) {
    std::string_view subclass;
    for (const Group* p = r.begin; p < r.end; ++p) {
        if (skipApplicationGroup(p, r.end)) continue;
        if (p->code == 100) {
            subclass = trimmed(p->value);
            continue;
        }
        if (p->code == 1001) break;
        f(*p, subclass);
    }
}

class Reader {
public:
    explicit Reader(std::string_view file) : groups_(file) {}

    Drawing run();

private:
    void readHeader(const Group* begin, const Group* end);
    void readTables(const Group* begin, const Group* end);
    void readBlocks(const Group* begin, const Group* end);
    void readEntities(const Group* begin, const Group* end);
    void readObjects(const Group* begin, const Group* end);
    void readDataStore(const Group* begin, const Group* end);
    void readLayer(const Record& r);
    void readLinetype(const Record& r);
    void readStyle(const Record& r);
    void readDimStyle(const Record& r);
    void readViewportRecord(const Record& r);
    void readBlockRecord(const Record& r);
    void finish();

    // Appends the entity records to a list, gathering POLYLINE vertices and
    // INSERT attributes up to their SEQEND. For the ENTITIES section, the
    // paper-space flag of each entity picks the list.
    void readEntityRecords(const std::vector<Record>& records, std::size_t first, std::size_t last,
                           Block* block);
    Block& spaceBlock(const char* name);
    // A name for the block of a REPEAT array that no block has yet: the
    // first free one from `next` on, which then moves past it.
    std::string repeatBlockName(std::size_t& next) const;
    // The block of that name, or a new one made from the given definition.
    std::size_t addBlock(Block&& b);

    GroupList groups_;
    Drawing d_;
    ReadContext ctx_;
    std::map<Handle, Handle> blockRecordLayouts_;       // block record -> layout
    std::map<std::string, Handle> blockRecordByName_;   // upper-case name -> block record
    std::unordered_map<std::string, std::size_t> blockByName_;  // upper-case name -> index in d_.blocks
    std::map<std::string, std::pair<std::vector<double>, std::vector<Color>>> mlineStyles_;
    std::map<Handle, std::vector<std::uint8_t>> modelerData_;  // from ACDSDATA, by owner handle
    bool sawEntities_ = false;
};

Drawing Reader::run() {
    const std::vector<Group>& g = groups_.groups();
    const Group* p = g.data();
    const Group* end = p + g.size();
    ctx_.drawing = &d_;
    ctx_.text = TextDecoder("ANSI_1252", false);
    bool anySection = false;
    while (p < end) {
        if (p->code == 999) {  // comments
            ++p;
            continue;
        }
        std::string_view v = trimmed(p->value);
        if (p->code == 0 && v == "EOF") break;
        if (p->code != 0 || v != "SECTION")
            throw ReadError("DXF line " + std::to_string(p->line) + ": SECTION expected, found \"" +
                            printable(v) + "\"");
        ++p;
        if (p >= end || p->code != 2) throw ReadError("DXF: a section without a name");
        std::string name(trimmed(p->value));
        ++p;
        const Group* sectionEnd = p;
        while (sectionEnd < end && !(sectionEnd->code == 0 && trimmed(sectionEnd->value) == "ENDSEC")) ++sectionEnd;
        if (sectionEnd == end) throw ReadError("DXF: the file ends inside the " + printable(name) + " section");
        anySection = true;
        if (name == "HEADER") readHeader(p, sectionEnd);
        else if (name == "TABLES") readTables(p, sectionEnd);
        else if (name == "BLOCKS") readBlocks(p, sectionEnd);
        else if (name == "ENTITIES") readEntities(p, sectionEnd);
        else if (name == "OBJECTS") readObjects(p, sectionEnd);
        else if (name == "ACDSDATA") readDataStore(p, sectionEnd);
        p = sectionEnd + 1;
    }
    if (!anySection) throw ReadError("DXF: the file holds no sections");
    finish();
    return std::move(d_);
}

void Reader::readHeader(const Group* begin, const Group* end) {
    Header& h = d_.header;
    std::string_view var;
    // The style's name as this section writes it, decoded once the section's
    // code page is known. A name from an earlier section is already decoded:
    // decoding it again would double its non-ASCII bytes each time.
    std::optional<std::string> textStyle;
    for (const Group* p = begin; p < end; ++p) {
        const Group& g = *p;
        if (g.code == 9) {
            var = trimmed(g.value);
            continue;
        }
        auto point3 = [&](Vec3& v) {
            if (g.code == 10) v.x = toDouble(g);
            else if (g.code == 20) v.y = toDouble(g);
            else if (g.code == 30) v.z = toDouble(g);
        };
        auto point2 = [&](Vec2& v) {
            if (g.code == 10) v.x = toDouble(g);
            else if (g.code == 20) v.y = toDouble(g);
        };
        if (var == "$ACADVER") h.version = std::string(trimmed(g.value));
        else if (var == "$DWGCODEPAGE") h.codePage = std::string(trimmed(g.value));
        else if (var == "$EXTMIN") point3(h.extMin);
        else if (var == "$EXTMAX") point3(h.extMax);
        else if (var == "$PEXTMIN") point3(h.pExtMin);
        else if (var == "$PEXTMAX") point3(h.pExtMax);
        else if (var == "$LIMMIN") point2(h.limMin);
        else if (var == "$LIMMAX") point2(h.limMax);
        else if (var == "$LTSCALE") h.ltScale = toDouble(g);
        else if (var == "$CELTSCALE") h.celtScale = toDouble(g);
        else if (var == "$TEXTSIZE") h.textSize = toDouble(g);
        else if (var == "$DIMSCALE") h.dimScale = toDouble(g);
        else if (var == "$PDMODE") h.pdMode = toInt(g);
        else if (var == "$ISOLINES") h.isolines = toInt(g);
        else if (var == "$PDSIZE") h.pdSize = toDouble(g);
        else if (var == "$PSLTSCALE") h.psLtScale = toInt(g) != 0;
        else if (var == "$FILLMODE") h.fillMode = toInt(g) != 0;
        else if (var == "$MIRRTEXT") h.mirrText = toInt(g) != 0;
        else if (var == "$LWDISPLAY") h.lwDisplay = toInt(g) != 0;
        else if (var == "$INSUNITS") h.insUnits = toInt(g);
        else if (var == "$MEASUREMENT") h.measurement = toInt(g);
        else if (var == "$ANGBASE") h.angBase = toDouble(g) * kDegree;
        else if (var == "$ANGDIR") h.angDirClockwise = toInt(g) != 0;
        else if (var == "$TILEMODE") h.tileMode = toInt(g) != 0;
        else if (var == "$TEXTSTYLE") textStyle = std::string(trimmed(g.value));
    }
    // AutoCAD 2007 and later write UTF-8; the code page then only names the locale.
    // ("AC2.10" sorts after "AC1021" but is one of the first releases.)
    bool utf8 = h.version.rfind("AC10", 0) == 0 && h.version >= "AC1021";
    ctx_.text = TextDecoder(h.codePage, utf8);
    if (!ctx_.text.known())
        d_.warnings.push_back("code page " + h.codePage + " is not supported: its non-ASCII characters are lost");
    if (textStyle) h.textStyle = ctx_.text.decode(*textStyle);
}

void Reader::readTables(const Group* begin, const Group* end) {
    for (const Record& r : splitRecords(begin, end)) {
        if (r.type == "LAYER") readLayer(r);
        else if (r.type == "LTYPE") readLinetype(r);
        else if (r.type == "STYLE") readStyle(r);
        else if (r.type == "DIMSTYLE") readDimStyle(r);
        else if (r.type == "VPORT") readViewportRecord(r);
        else if (r.type == "BLOCK_RECORD") readBlockRecord(r);
    }
}

void Reader::readLayer(const Record& r) {
    Layer l;
    forEachGroup(r, [&](const Group& g, std::string_view) {
        switch (g.code) {
        case 5: l.handle = toHandle(g); break;
        case 2: l.name = ctx_.str(g); break;
        case 70: {
            int flags = toInt(g);
            l.frozen = flags & 1;
            l.locked = flags & 4;
            break;
        }
        case 62: {
            int aci = toInt(g);
            l.on = aci >= 0;
            if (l.color.kind != Color::Kind::True) l.color = Color::fromIndex(aci < 0 ? -aci : aci);
            break;
        }
        case 420: l.color = Color::fromRgb(static_cast<std::uint32_t>(toInt64(g))); break;
        case 6: l.linetype = ctx_.str(g); break;
        case 370: l.lineweight = toInt(g); break;
        case 290: l.plot = toInt(g) != 0; break;
        default: break;
        }
    });
    d_.layers.push_back(std::move(l));
}

void Reader::readLinetype(const Record& r) {
    Linetype l;
    // The element of the last dash, when it has one.
    auto element = [&]() -> LinetypeElement* {
        if (l.elements.empty() || l.dashes.empty() || l.elements.back().dash != l.dashes.size() - 1) return nullptr;
        return &l.elements.back();
    };
    forEachGroup(r, [&](const Group& g, std::string_view) {
        switch (g.code) {
        case 5: l.handle = toHandle(g); break;
        case 2: l.name = ctx_.str(g); break;
        case 3: l.description = ctx_.str(g); break;
        case 40: l.patternLength = toDouble(g); break;
        case 49: l.dashes.push_back(toDouble(g)); break;
        // A complex element belongs to the dash before it.
        case 74: {
            const int flags = toInt(g);
            if (flags == 0 || l.dashes.empty()) break;
            LinetypeElement e;
            e.dash = l.dashes.size() - 1;
            e.absoluteRotation = flags & 1;
            e.isText = flags & 2;
            l.elements.push_back(e);
            break;
        }
        case 75: if (element()) element()->shapeNumber = toInt(g); break;
        case 340: if (element()) element()->style = toHandle(g); break;
        case 46: if (element()) element()->scale = toDouble(g); break;
        case 50: if (element()) element()->rotation = toDouble(g) * 3.14159265358979323846 / 180; break;
        case 44: if (element()) element()->offset.x = toDouble(g); break;
        case 45: if (element()) element()->offset.y = toDouble(g); break;
        case 9: if (element()) element()->text = ctx_.str(g); break;
        default: break;
        }
    });
    d_.linetypes.push_back(std::move(l));
}

void Reader::readStyle(const Record& r) {
    TextStyle s;
    forEachGroup(r, [&](const Group& g, std::string_view) {
        switch (g.code) {
        case 5: s.handle = toHandle(g); break;
        case 2: s.name = ctx_.str(g); break;
        case 3: s.fontFile = ctx_.str(g); break;
        case 4: s.bigFontFile = ctx_.str(g); break;
        case 40: s.fixedHeight = toDouble(g); break;
        case 41: s.widthFactor = toDouble(g); break;
        case 50: s.oblique = toDouble(g) * kDegree; break;
        case 70: s.flags = toInt(g); break;
        case 71: s.generation = toInt(g); break;
        default: break;
        }
    });
    // A TrueType style names its font family in the ACAD extended data.
    for (const Group* p = r.begin; p + 1 < r.end; ++p)
        if (p->code == 1001 && trimmed(p->value) == "ACAD" && p[1].code == 1000) {
            s.fontFamily = ctx_.str(p[1]);
            break;
        }
    if (s.handle) ctx_.styleNames[s.handle] = s.name;
    d_.textStyles.push_back(std::move(s));
}

// Of the viewport table only *ACTIVE matters: the view model space was saved
// with. Tiled viewports give several records of that name; the first counts.
void Reader::readViewportRecord(const Record& r) {
    std::string name;
    SavedView v;
    double aspect = 0;
    forEachGroup(r, [&](const Group& g, std::string_view) {
        switch (g.code) {
        case 2: name = ctx_.str(g); break;
        case 12: v.center.x = toDouble(g); break;
        case 22: v.center.y = toDouble(g); break;
        case 16: v.direction.x = toDouble(g); break;
        case 26: v.direction.y = toDouble(g); break;
        case 36: v.direction.z = toDouble(g); break;
        case 17: v.target.x = toDouble(g); break;
        case 27: v.target.y = toDouble(g); break;
        case 37: v.target.z = toDouble(g); break;
        case 40: v.height = toDouble(g); break;
        case 41: aspect = toDouble(g); break;
        case 51: v.twist = toDouble(g) * kDegree; break;
        default: break;
        }
    });
    SavedView& saved = d_.header.modelView;
    if (saved.present || upperName(name) != "*ACTIVE") return;
    v.width = v.height * aspect;
    v.present = v.height > 0 && v.width > 0 && std::isfinite(v.width) && std::isfinite(v.center.x) &&
                std::isfinite(v.center.y) && std::isfinite(v.twist) &&
                std::isfinite(v.direction.x + v.direction.y + v.direction.z + v.target.x + v.target.y + v.target.z);
    if (v.present) saved = v;
}

void Reader::readDimStyle(const Record& r) {
    DimStyle s;
    forEachGroup(r, [&](const Group& g, std::string_view) {
        if (g.code == 105) s.handle = toHandle(g);
        else if (g.code == 2) s.name = ctx_.str(g);
    });
    d_.dimStyles.push_back(std::move(s));
}

void Reader::readBlockRecord(const Record& r) {
    Handle handle = 0, layout = 0;
    std::string name;
    forEachGroup(r, [&](const Group& g, std::string_view) {
        if (g.code == 5) handle = toHandle(g);
        else if (g.code == 2) name = ctx_.str(g);
        else if (g.code == 340) layout = toHandle(g);
    });
    if (handle == 0) return;
    ctx_.blockRecordNames[handle] = name;
    blockRecordByName_.emplace(upperName(name), handle);
    blockRecordLayouts_[handle] = layout;
}

std::size_t Reader::addBlock(Block&& b) {
    std::string key = upperName(b.name);
    auto found = blockByName_.find(key);
    if (found != blockByName_.end()) return found->second;
    if (b.handle == 0) {
        auto record = blockRecordByName_.find(key);
        if (record != blockRecordByName_.end()) b.handle = record->second;
    }
    auto layout = blockRecordLayouts_.find(b.handle);
    if (b.layout == 0 && layout != blockRecordLayouts_.end()) b.layout = layout->second;
    d_.blocks.push_back(std::move(b));
    blockByName_.emplace(std::move(key), d_.blocks.size() - 1);
    return d_.blocks.size() - 1;
}

Block& Reader::spaceBlock(const char* name) {
    Block b;
    b.name = name;
    return d_.blocks[addBlock(std::move(b))];
}

void Reader::readBlocks(const Group* begin, const Group* end) {
    std::vector<Record> records = splitRecords(begin, end);
    std::size_t i = 0;
    while (i < records.size()) {
        if (records[i].type != "BLOCK") {  // stray entity outside a block definition
            d_.warnings.push_back("an entity outside any block definition was ignored");
            ++i;
            continue;
        }
        Block b;
        const Record& r = records[i];
        Handle ownRecord = 0;
        forEachGroup(r, [&](const Group& g, std::string_view) {
            switch (g.code) {
            case 330: if (!ownRecord) ownRecord = toHandle(g); break;
            case 2: b.name = ctx_.str(g); break;
            case 3: if (b.name.empty()) b.name = ctx_.str(g); break;
            case 1: b.xrefPath = ctx_.str(g); break;
            case 70: b.flags = toInt(g); break;
            case 10: b.base.x = toDouble(g); break;
            case 20: b.base.y = toDouble(g); break;
            case 30: b.base.z = toDouble(g); break;
            default: break;
            }
        });
        // R12 names the two spaces with a dollar sign.
        if (upperName(b.name) == "$MODEL_SPACE") b.name = "*Model_Space";
        if (upperName(b.name) == "$PAPER_SPACE") b.name = "*Paper_Space";
        b.handle = ownRecord;

        std::size_t last = i + 1;
        while (last < records.size() && records[last].type != "ENDBLK" && records[last].type != "BLOCK") ++last;
        // The same name twice: the first definition's data stays, the entities add up.
        Block* target = &d_.blocks[addBlock(std::move(b))];
        readEntityRecords(records, i + 1, last, target);
        i = last < records.size() && records[last].type == "ENDBLK" ? last + 1 : last;
    }
}

void Reader::readEntities(const Group* begin, const Group* end) {
    sawEntities_ = true;
    spaceBlock("*Model_Space");
    spaceBlock("*Paper_Space");
    std::vector<Record> records = splitRecords(begin, end);
    readEntityRecords(records, 0, records.size(), nullptr);
}

void Reader::readEntityRecords(const std::vector<Record>& records, std::size_t first, std::size_t last,
                               Block* block) {
    // The two spaces are looked up once: no block is added while the
    // records are read, so the pointers stay valid.
    Block* paper = block ? nullptr : &spaceBlock("*Paper_Space");
    Block* model = block ? nullptr : &spaceBlock("*Model_Space");
    // A new list is sized once for the records that may land in it, rather
    // than grown by doubling (which holds a list and its copy at once). A
    // list that already holds entities (a name defined twice) just grows:
    // sizing it exactly each time would copy it over and over.
    const auto entityRecords = static_cast<std::size_t>(std::count_if(
        records.begin() + static_cast<std::ptrdiff_t>(first), records.begin() + static_cast<std::ptrdiff_t>(last),
        [](const Record& r) { return r.type != "VERTEX" && r.type != "SEQEND"; }));
    Block* sized = block ? block : model;
    if (sized->entities.empty()) sized->entities.reserve(entityRecords);
    // Where the open POLYLINE or INSERT lives, while its sequence runs.
    Block* openBlock = nullptr;
    std::size_t openIndex = 0;
    bool open = false;
    // The REPEAT whose ENDREP has not come yet: the list its entities go to
    // and where they start in it. Their blocks are added once the records
    // are read, since adding one moves the lists.
    Block* repeatBlock = nullptr;
    std::size_t repeatFirst = 0;
    std::string repeatLayer;
    std::vector<Block> repeated;
    std::size_t nextRepeat = 1;
    for (std::size_t i = first; i < last; ++i) {
        const Record& r = records[i];
        if (r.type == "SEQEND") {
            open = false;
            continue;
        }
        if (r.type == "REPEAT" || r.type == "ENDREP") {
            open = false;
            RepeatArray array;
            std::string layer = "0";
            // ENDREP's counts and spacings, in the order the DWG record holds
            // them; which of each pair runs along x is a guess, as there.
            for (const Group* g = r.begin; g < r.end; ++g) {
                switch (g->code) {
                case 8: layer = ctx_.str(*g); break;
                case 70: array.columns = toInt(*g); break;
                case 71: array.rows = toInt(*g); break;
                case 40: array.columnSpacing = toDouble(*g); break;
                case 41: array.rowSpacing = toDouble(*g); break;
                default: break;
                }
            }
            Block* list = block ? block : model;  // no paper space before these arrays were dropped
            if (r.type == "REPEAT") {
                repeatBlock = list, repeatFirst = list->entities.size(), repeatLayer = layer;
            } else if (repeatBlock == list) {
                repeated.push_back(foldRepeatArray(list->entities, repeatFirst, array,
                                                   repeatBlockName(nextRepeat), repeatLayer));
                repeatBlock = nullptr;
            } else {
                d_.noteSkipped("ENDREP without its REPEAT");
            }
            continue;
        }
        if (r.type == "VERTEX") {
            if (open)
                if (auto* pl = openBlock->entities[openIndex].as<PolylineData>()) {
                    pl->vertices.push_back(parseVertex(r.begin, r.end));
                    continue;
                }
            d_.noteSkipped("VERTEX outside a polyline");
            continue;
        }
        ParsedEntity parsed = parseEntity(r.type, r.begin, r.end, ctx_);
        if (r.type == "ATTRIB" && open)
            if (auto* insert = openBlock->entities[openIndex].as<InsertData>()) {
                insert->attributes.push_back(std::move(parsed.entity));
                continue;
            }
        open = false;  // a sequence without its SEQEND ends at the next entity
        Block* target = block;
        if (!target) {
            // Paper space entities carry the flag; some writers only name
            // the paper space block as their owner.
            EntityCommon& common = parsed.entity.common;
            if (common.owner != 0 && common.owner == paper->handle) common.paperSpace = true;
            target = common.paperSpace ? paper : model;
        }
        target->entities.push_back(std::move(parsed.entity));
        if (parsed.followedBySequence) {
            open = true;
            openBlock = target;
            openIndex = target->entities.size() - 1;
        }
    }
    // A REPEAT without its ENDREP leaves its entities drawn once, as they are.
    if (repeatBlock) {
        d_.warnings.push_back("a REPEAT array has no ENDREP: its entities are drawn once");
        d_.losses.add(Loss::Kind::Damaged, "REPEAT array", d_.warnings.back());
    }
    for (Block& b : repeated) addBlock(std::move(b));
}

std::string Reader::repeatBlockName(std::size_t& next) const {
    while (blockByName_.count("*R" + std::to_string(next))) ++next;
    return "*R" + std::to_string(next++);
}

void Reader::readObjects(const Group* begin, const Group* end) {
    for (const Record& r : splitRecords(begin, end)) {
        if (r.type == "LAYOUT") {
            Layout l;
            forEachGroup(r, [&](const Group& g, std::string_view subclass) {
                if (g.code == 5) l.handle = toHandle(g);
                if (subclass == "AcDbPlotSettings") {
                    switch (g.code) {
                    case 1: l.pageSetupName = ctx_.str(g); break;
                    case 4: l.paperSizeName = ctx_.str(g); break;
                    case 7: l.plotStyleSheet = ctx_.str(g); break;
                    case 40: l.marginLeft = toDouble(g); break;
                    case 41: l.marginBottom = toDouble(g); break;
                    case 42: l.marginRight = toDouble(g); break;
                    case 43: l.marginTop = toDouble(g); break;
                    case 44: l.paperWidth = toDouble(g); break;
                    case 45: l.paperHeight = toDouble(g); break;
                    case 72: l.paperUnits = toInt(g); break;
                    case 73: l.plotRotation = toInt(g); break;
                    case 70: l.plotFlags = toInt(g); break;
                    case 74: l.plotType = toInt(g); break;
                    case 75: l.standardScaleType = toInt(g); break;
                    case 46: l.plotOrigin.x = toDouble(g); break;
                    case 47: l.plotOrigin.y = toDouble(g); break;
                    case 48: l.plotWindowMin.x = toDouble(g); break;
                    case 49: l.plotWindowMin.y = toDouble(g); break;
                    case 140: l.plotWindowMax.x = toDouble(g); break;
                    case 141: l.plotWindowMax.y = toDouble(g); break;
                    case 142: l.scalePaper = toDouble(g); break;
                    case 143: l.scaleDrawing = toDouble(g); break;
                    case 147: l.standardScale = toDouble(g); break;
                    default: break;
                    }
                    return;
                }
                if (subclass != "AcDbLayout") return;
                switch (g.code) {
                case 1: l.name = ctx_.str(g); break;
                case 70: l.flags = toInt(g); break;
                case 71: l.tabOrder = toInt(g); break;
                case 330: l.blockRecord = toHandle(g); break;
                case 10: l.limMin.x = toDouble(g); break;
                case 20: l.limMin.y = toDouble(g); break;
                case 11: l.limMax.x = toDouble(g); break;
                case 21: l.limMax.y = toDouble(g); break;
                case 14: l.extMin.x = toDouble(g); break;
                case 24: l.extMin.y = toDouble(g); break;
                case 34: l.extMin.z = toDouble(g); break;
                case 15: l.extMax.x = toDouble(g); break;
                case 25: l.extMax.y = toDouble(g); break;
                case 35: l.extMax.z = toDouble(g); break;
                default: break;
                }
            });
            d_.layouts.push_back(std::move(l));
        } else if (r.type == "IMAGEDEF" || r.type == "PDFDEFINITION" || r.type == "DWFDEFINITION" ||
                   r.type == "DGNDEFINITION") {
            FileDefinition f;
            f.kind = r.type;
            const bool image = r.type == "IMAGEDEF";
            forEachGroup(r, [&](const Group& g, std::string_view) {
                switch (g.code) {
                case 5: f.handle = toHandle(g); break;
                case 1: f.filePath = ctx_.str(g); break;
                case 2: if (!image) f.page = ctx_.str(g); break;
                case 10: if (image) f.size.x = toDouble(g); break;
                case 20: if (image) f.size.y = toDouble(g); break;
                case 11: if (image) f.pixelSize.x = toDouble(g); break;
                case 21: if (image) f.pixelSize.y = toDouble(g); break;
                default: break;
                }
            });
            d_.fileDefinitions.push_back(std::move(f));
        } else if (r.type == "MLINESTYLE") {
            std::string name;
            std::vector<double> offsets;
            std::vector<Color> colors;
            forEachGroup(r, [&](const Group& g, std::string_view) {
                if (g.code == 2) name = ctx_.str(g);
                else if (g.code == 49) offsets.push_back(toDouble(g));
                else if (g.code == 62 && !offsets.empty()) colors.push_back(Color::fromIndex(toInt(g)));
                else if (g.code == 420 && !colors.empty())
                    colors.back() = Color::fromRgb(static_cast<std::uint32_t>(toInt64(g)));
            });
            mlineStyles_[upperName(name)] = {std::move(offsets), std::move(colors)};
        }
    }
}

// The data store of 2013 and later files: records of the modeler data of
// solids, regions and surfaces ("ASM_Data", a 94 size and 310 chunks), each
// naming its object's handle in a 320 group.
void Reader::readDataStore(const Group* begin, const Group* end) {
    Handle owner = 0;
    bool modeler = false;
    for (const Group* p = begin; p < end; ++p) {
        if (p->code == 0) owner = 0, modeler = false;
        else if (p->code == 320) owner = toHandle(*p);
        else if (p->code == 2) modeler = trimmed(p->value) == "ASM_Data";
        else if (p->code == 310 && modeler && owner != 0) appendHex(modelerData_[owner], trimmed(p->value));
    }
}

void Reader::finish() {
    if (!sawEntities_) {
        spaceBlock("*Model_Space");
        spaceBlock("*Paper_Space");
    }
    d_.index();
    // Layouts name the block they show, which links blocks to layouts where
    // the block records did not.
    std::map<Handle, const Layout*> layoutOfBlock;
    for (const Layout& l : d_.layouts)
        if (l.blockRecord != 0) layoutOfBlock.emplace(l.blockRecord, &l);
    for (Block& b : d_.blocks) {
        auto it = layoutOfBlock.find(b.handle);
        if (b.layout == 0 && b.handle != 0 && it != layoutOfBlock.end()) b.layout = it->second->handle;
    }
    if (const Block* paper = d_.paperSpace()) {
        auto it = layoutOfBlock.find(paper->handle);
        if (paper->handle != 0 && it != layoutOfBlock.end()) d_.header.activeLayout = it->second->name;
        else
            for (const Layout& l : d_.layouts)
                if (paper->layout != 0 && l.handle == paper->layout) d_.header.activeLayout = l.name;
    }
    linkFileDefinitions(d_);
    // Bodies of 2013 and later files find their modeler data in the data
    // store; one we cannot read is counted as skipped.
    for (Block& b : d_.blocks)
        for (Entity& e : b.entities)
            if (auto* body = e.as<BodyData>()) {
                if (body->error == kModelerDataElsewhere) {
                    auto it = modelerData_.find(e.common.handle);
                    // Without a record there the body simply holds no modeler data.
                    *body = it == modelerData_.end()
                                ? BodyData{}
                                : acis::readBody(std::string_view(reinterpret_cast<const char*>(it->second.data()),
                                                                  it->second.size()));
                }
                if (!body->error.empty() && body->edges.empty()) d_.noteSkippedEntity(e.type);
            }
    // Multilines take their element offsets from their style.
    for (Block& b : d_.blocks)
        for (Entity& e : b.entities)
            if (auto* ml = e.as<MLineData>()) {
                auto it = mlineStyles_.find(upperName(ml->style));
                if (it != mlineStyles_.end()) {
                    ml->elementOffsets = it->second.first;
                    ml->elementColors = it->second.second;
                }
            }
}

}  // namespace

bool looksLikeDxf(std::string_view file) {
    if (file.substr(0, 18) == "AutoCAD Binary DXF") return true;
    if (file.substr(0, 3) == "\xEF\xBB\xBF") file.remove_prefix(3);
    // An ASCII DXF starts with a group code line: "0" or a "999" comment.
    std::size_t i = 0;
    while (i < file.size() && (file[i] == ' ' || file[i] == '\t')) ++i;
    std::size_t digits = i;
    while (i < file.size() && file[i] >= '0' && file[i] <= '9') ++i;
    if (i == digits) return false;
    while (i < file.size() && (file[i] == ' ' || file[i] == '\t')) ++i;
    return i < file.size() && (file[i] == '\n' || file[i] == '\r');
}

Drawing readDxf(std::string_view file) {
    if (!looksLikeDxf(file)) throw ReadError("not a DXF or DWG drawing");
    return Reader(file).run();
}

Drawing readDxf(const std::vector<std::uint8_t>& file) {
    return readDxf(std::string_view(reinterpret_cast<const char*>(file.data()), file.size()));
}

}  // namespace cad::dxf
