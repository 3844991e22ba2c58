// The file layout of DWG releases before R13: where the sections are, the
// header variables, the tables, and the entity records put together into
// model space, paper space and the block definitions.
#include "cad/dwg/LegacyReader.h"

#include <map>
#include <unordered_set>
#include <utility>

#include "cad/dwg/BitReader.h"
#include "cad/dwg/LegacyFormat.h"

namespace cad::dwg {

using legacy::Cursor;
using legacy::Record;
using legacy::Release;

namespace {

// A table's place: records of a fixed size, one after the other.
struct TableSpan {
    std::size_t recordSize = 0, count = 0, address = 0;
};

TableSpan readTableSpan(Cursor& c) {
    TableSpan t;
    t.recordSize = c.RS();
    t.count = c.RS();
    c.RS();  // flags
    t.address = c.RL();
    return t;
}

// Section sizes carry marker bits in their top two bits.
constexpr std::uint32_t kSizeMask = 0x3FFFFFFF;

class LegacyReader {
public:
    LegacyReader(const std::vector<std::uint8_t>& file, Release release, std::string version)
        : f_(file), version_(std::move(version)) {
        facts_.release = release;
    }

    Drawing run() {
        if (facts_.release < Release::R2_0) return runEarly();
        Cursor c(f_.data(), 0, f_.size());
        if (f_.size() < 0x5E) throw ReadError("the DWG file is truncated: its file header is incomplete");
        c.seek(0x11);
        headerVariableCount_ = c.RS();
        c.RC();
        entitiesStart_ = c.RL();
        entitiesEnd_ = c.RL();
        blocksStart_ = c.RL();
        blocksSize_ = c.RL() & kSizeMask;
        extrasStart_ = c.RL();
        extrasSize_ = c.RL() & kSizeMask;
        for (TableSpan* t : {&blockTable_, &layerTable_, &styleTable_, &linetypeTable_, &viewTable_}) *t = readTableSpan(c);

        d_.header.version = version_;
        try {
            headerVariables(c);
        } catch (const ReadError&) {
            throw ReadError("the DWG file is truncated: its header variables are incomplete");
        }
        d_.header.codePage = codePageName(facts_.codePage);
        tables();
        spaces();
        walk(entitiesStart_, entitiesEnd_, "entity section", nullptr);
        blocks();
        if (extrasSize_ > 0) walk(extrasStart_, extrasStart_ + extrasSize_, "extra entity section", nullptr);
        return finish();
    }

private:
    Drawing finish() {
        if (damaged_ > 0) {
            d_.warnings.push_back(std::to_string(damaged_) + " damaged entity record(s) were left out");
            d_.noteDamaged("entity record", damaged_);
        }
        if (badTableRecords_ > 0)
            d_.warnings.push_back(std::to_string(badTableRecords_) + " table record(s) failed their check value");
        if (!unclosed_.empty())
            d_.warnings.push_back("the DWG file is damaged around its " + unclosed_ + " (sentinels do not match)");
        d_.index();
        return std::move(d_);
    }

    // Releases before 2.0: the header variables from just after the version
    // string, then the entity records up to the file size the header gives,
    // block definitions among them. There are no tables: layers go by
    // number, and blocks and shape files by name.
    Drawing runEarly() {
        Cursor c(f_.data(), 0, f_.size());
        std::size_t entitiesEnd = 0;
        d_.header.version = version_;
        try {
            entitiesEnd = earlyHeaderVariables(c);
        } catch (const ReadError&) {
            throw ReadError("the DWG file is truncated: its header variables are incomplete");
        }
        d_.header.codePage = codePageName(facts_.codePage);
        // No style table either: the texts of these releases are all in the
        // one font they came with.
        TextStyle standard;
        standard.name = d_.header.textStyle = "Standard";
        standard.fontFile = "txt";
        d_.textStyles.push_back(std::move(standard));
        spaces();
        if (entitiesEnd < c.position()) throw ReadError("the DWG file is damaged: its entities end before they begin");
        if (entitiesEnd > f_.size()) {
            d_.warnings.push_back("the DWG file is truncated: " + std::to_string(entitiesEnd - f_.size()) +
                                  " byte(s) of its entities are missing");
            entitiesEnd = f_.size();
        }
        walk(c.position(), entitiesEnd, "entity section", nullptr);
        return finish();
    }

    // Returns where the entity records end. Layers are numbers with a
    // colour each; one whose colour is 255 is taken to be unused (the
    // samples fill the slots past the last layer with it), and colour 0 as
    // no colour given. AC1.2 files are taken to start their variables at
    // the same place as AC1.40 ones; we have none to check.
    std::size_t earlyHeaderVariables(Cursor& c) {
        Header& h = d_.header;
        c.seek(12);
        c.RD3();  // INSBASE
        std::size_t entitiesEnd = c.RL();
        c.RS();  // the entity count
        h.extMin = c.RD3();
        h.extMax = c.RD3();
        h.limMin = c.RD2();
        h.limMax = c.RD2();
        c.RD3(), c.RD();  // VIEWCTR, VIEWSIZE
        c.RS(), c.RD();   // SNAPMODE, SNAPUNIT
        c.RS(), c.RD();   // GRIDMODE, GRIDUNIT
        c.RS(), c.RS();   // ORTHOMODE, REGENMODE
        h.fillMode = c.RS() != 0;
        h.textSize = c.RD();
        c.RD();  // TRACEWID
        unsigned current = c.RS();
        c.RS();  // CECOLOR
        for (unsigned i = 0; i < 128; ++i) {
            int color = c.RSs();
            names_.layers.push_back(std::to_string(i));
            if (color == 255 && i != 0 && i != current) continue;
            Layer l;
            l.name = names_.layers.back();
            l.on = color >= 0;
            color = color < 0 ? -color : color;
            l.color = Color::fromIndex(color == 0 || color == 255 ? 7 : color);
            d_.layers.push_back(std::move(l));
        }
        c.RD(), c.RD();  // DIMASZ, the aspect ratio
        if (facts_.release < Release::R1_40) return entitiesEnd;
        c.RS(), c.RS();  // LUNITS, LUPREC
        c.RS(), c.RS();  // DIMTOL, DIMLIM
        c.RS(), c.RD2();  // AXISMODE, AXISUNIT
        c.RD(), c.RD();   // SKETCHINC, FILLETRAD
        return entitiesEnd;
    }

    bool since(Release r) const { return facts_.release >= r; }
    bool more(unsigned count) const { return headerVariableCount_ > count; }

    // The header variables from 0x5E on, as far as this release has them.
    // Fixed-size text fields and the variables we do not use are stepped over.
    void headerVariables(Cursor& c) {
        Header& h = d_.header;
        c.seek(0x5E);
        c.RD3();  // INSBASE
        c.RS();   // PLINEGEN, or the entity count before R10
        h.extMin = c.RD3();
        h.extMax = c.RD3();
        h.limMin = c.RD2();
        h.limMax = c.RD2();
        c.RD3();           // VIEWCTR
        c.RD();            // VIEWSIZE
        c.RS();            // SNAPMODE
        c.RD2(), c.RD2();  // SNAPUNIT, SNAPBASE
        c.RD();            // SNAPANG
        c.RS(), c.RS(), c.RS();  // SNAPSTYLE, SNAPISOPAIR, GRIDMODE
        c.RD2();                 // GRIDUNIT
        c.RS(), c.RS();          // ORTHOMODE, REGENMODE
        h.fillMode = c.RS() != 0;
        c.RS(), c.RS();  // QTEXTMODE, DRAGMODE
        h.ltScale = c.RD();
        h.textSize = c.RD();
        c.RD();        // TRACEWID
        c.RS();        // CLAYER
        c.RL(), c.RL();  // the current colour as older releases kept it
        c.RS();
        // R10 and later: PSLTSCALE, TREEDEPTH and one we do not know. The
        // exports of our samples do not confirm the first, so the default
        // stays.
        c.RS(), c.RS(), c.RS();
        c.RD();          // aspect ratio
        c.RS(), c.RS();  // LUNITS, LUPREC
        c.RS();          // AXISMODE
        c.RD2();         // AXISUNIT
        c.RD(), c.RD();  // SKETCHINC, FILLETRAD
        c.RS(), c.RS();  // AUNITS, AUPREC
        textStyleIndex_ = c.RS();
        c.RS(), c.RS();  // OSMODE, ATTMODE
        c.skip(15);      // MENU
        h.dimScale = c.RD();
        for (int i = 0; i < 9; ++i) c.RD();  // DIMASZ ... DIMTSZ
        c.skip(7);                           // DIMTOL ... DIMTAD
        if (!more(74)) return;
        c.RC();          // LIMCHECK
        c.skip(46);      // the rest of the menu name
        c.RD(), c.RD();  // ELEVATION, THICKNESS
        for (int i = 0; i < 7; ++i) c.RD3();  // VIEWDIR and the axes of earlier view points
        c.RS(), c.RS();                        // a 3D flag, BLIPMODE
        if (!more(83)) return;
        c.RC();          // DIMZIN
        c.RD(), c.RD();  // DIMRND, DIMDLE
        c.skip(33);      // DIMBLK
        c.RS(), c.RS();  // circle zoom percent, COORDS
        c.RS(), c.RS();  // CECOLOR, CELTYPE
        c.skip(4 * 8);   // TDCREATE, TDUPDATE, TDINDWG, TDUSRTIMER
        c.RS(), c.RS(), c.RS();  // USRTIMER, FASTZOOM, SKPOLY
        c.skip(7 * 2);           // a date in words
        h.angBase = c.RD();
        h.angDirClockwise = c.RS() != 0;
        if (!more(101)) return;
        h.pdMode = c.RS();
        h.pdSize = c.RD();
        c.RD();  // PLINEWID
        if (!more(104)) return;
        c.skip(5 * 2 + 5 * 8);  // USERI1-5, USERR1-5
        if (!more(114)) return;
        c.skip(4 + 16 + 16);  // DIMALT, DIMALTD, DIMASO, DIMSHO, DIMPOST, DIMAPOST
        if (!more(120)) return;
        c.RD(), c.RD();  // DIMALTF, DIMLFAC
        if (!more(122)) return;
        c.skip(4 * 2);   // SPLINESEGS, SPLFRAME, ATTREQ, ATTDIA
        c.RD(), c.RD();  // CHAMFERA, CHAMFERB
        h.mirrText = c.RS() != 0;
        if (!more(129)) return;
        ucsTable_ = readTableSpan(c);
        facts_.codePage = c.RS();
        c.skip(3 * 24 + 24);     // UCSORG, UCSXDIR, UCSYDIR, TARGET
        c.skip(4 * 8 + 2 + 1);   // LENSLENGTH, VIEWTWIST, FRONTZ, BACKZ, VIEWMODE, DIMTOFL
        c.skip(33 + 33 + 3);     // DIMBLK1, DIMBLK2, DIMSAH, DIMTIX, DIMSOXD
        c.RD();                  // DIMTVP
        c.skip(33 + 2 + 8);      // a name, HANDLING, HANDSEED
        c.skip(5 * 2);           // SURFU ... SURFTAB2
        vportTable_ = readTableSpan(c);
        c.skip(4 * 2);  // FLATLAND, SPLINETYPE, UCSICON, UCSNAME
        if (!more(158)) return;
        appidTable_ = readTableSpan(c);
        c.RS();  // WORLDVIEW
        if (!more(160)) return;
        c.RS(), c.RS();
        dimstyleTable_ = readTableSpan(c);
        c.skip(5);                // not known
        c.skip(5 * 2 + 2 + 2);    // DIMCLRD, DIMCLRE, DIMCLRT, SHADEDGE, SHADEDIF, one not known, UNITMODE
        c.skip(4 * 8 + 4 * 32);   // unit conversions and their names
        c.RD();                   // DIMTFAC
        c.skip(3 * 24 + 2);       // PUCSORG, PUCSXDIR, PUCSYDIR, PUCSNAME
        h.tileMode = c.RS() != 0;
        c.RS(), c.RS();  // PLIMCHECK, one not known
        h.pExtMin = c.RD3();
        h.pExtMax = c.RD3();
    }

    // R11 encloses each section between 16 bytes before it and their
    // complement after it; a mismatch means the places in the file header
    // or the section itself are damaged.
    void checkSentinels(std::size_t begin, std::size_t end, const char* what) {
        if (!since(Release::R11)) return;
        bool enclosed = begin >= 16 && end <= f_.size() && f_.size() - end >= 16;
        for (std::size_t i = 0; enclosed && i < 16; ++i)
            enclosed = (f_[begin - 16 + i] ^ f_[end + i]) == 0xFF;
        if (enclosed) return;
        unclosed_ += unclosed_.empty() ? "" : ", ";
        unclosed_ += what;
    }

    // The records of one table, each handed to read() with a cursor over it;
    // R11 records end in a check value, which read() never sees.
    template <class Read> void table(const TableSpan& t, const char* what, std::size_t leastSize, Read read) {
        if (t.count == 0) return;
        if (t.recordSize < leastSize + (since(Release::R11) ? 2 : 0))
            throw ReadError(std::string("the DWG file is damaged: its ") + what + " table has records too small");
        if (t.address > f_.size() || t.count * t.recordSize > f_.size() - t.address)
            throw ReadError(std::string("the DWG file is truncated: its ") + what + " table lies beyond the end");
        checkSentinels(t.address, t.address + t.count * t.recordSize, (std::string(what) + " table").c_str());
        for (std::size_t i = 0; i < t.count; ++i) {
            std::size_t at = t.address + i * t.recordSize;
            std::size_t end = at + t.recordSize;
            if (since(Release::R11)) {
                end -= 2;
                Cursor check(f_.data(), end, end + 2);
                if (legacy::recordCrc(f_.data() + at, end - at) != check.RS()) ++badTableRecords_;
            }
            Cursor c(f_.data(), at, end);
            int flags = c.RC();
            std::string name = c.fixedText(32, facts_.codePage);
            if (since(Release::R11)) c.RS();  // how often it is used
            read(c, flags, std::move(name));
        }
    }

    void tables() {
        legacy::TableNames& n = names_;
        table(linetypeTable_, "linetype", 33 + 48 + 2 + 8 + 12 * 8, [&](Cursor& c, int, std::string name) {
            Linetype lt;
            lt.name = std::move(name);
            lt.description = c.fixedText(48, facts_.codePage);
            c.RC();  // alignment
            unsigned dashes = c.RC();
            lt.patternLength = c.RD();
            for (unsigned i = 0; i < 12; ++i) {
                double dash = c.RD();
                if (i < dashes) lt.dashes.push_back(dash);
            }
            n.linetypes.push_back(lt.name);
            d_.linetypes.push_back(std::move(lt));
        });
        table(layerTable_, "layer", 33 + 2, [&](Cursor& c, int flags, std::string name) {
            Layer l;
            l.name = std::move(name);
            int color = c.RSs();
            l.on = color >= 0;
            l.color = Color::fromIndex(color < 0 ? -color : color);
            l.frozen = flags & 1;
            l.locked = flags & 4;
            if (c.left() >= 2) {
                unsigned lt = c.RS();
                if (lt < n.linetypes.size()) l.linetype = n.linetypes[lt];
            }
            n.layers.push_back(l.name);
            d_.layers.push_back(std::move(l));
        });
        table(styleTable_, "style", 33 + 3 * 8 + 1 + 8 + 64, [&](Cursor& c, int flags, std::string name) {
            TextStyle s;
            s.name = std::move(name);
            s.flags = flags;
            s.fixedHeight = c.RD();
            s.widthFactor = c.RD();
            s.oblique = c.RD();
            s.generation = c.RC();
            c.RD();  // the height last used
            s.fontFile = c.fixedText(64, facts_.codePage);
            if (c.left() >= 64) s.bigFontFile = c.fixedText(64, facts_.codePage);
            n.styles.push_back(s.name);
            d_.textStyles.push_back(std::move(s));
        });
        if (textStyleIndex_ < n.styles.size()) d_.header.textStyle = n.styles[textStyleIndex_];
        table(dimstyleTable_, "dimension style", 33, [&](Cursor&, int, std::string name) {
            DimStyle s;
            s.name = std::move(name);
            d_.dimStyles.push_back(std::move(s));
        });
        // Block names by their place in the table, anonymous ones ("*D",
        // "*U" ...) numbered by that place; each definition is found again
        // by its offset in the block section.
        table(blockTable_, "block", 33 + 4, [&](Cursor& c, int flags, std::string name) {
            std::size_t index = n.blocks.size();
            if (name.size() == 2 && name[0] == '*') name += std::to_string(index);
            std::uint32_t offset = c.RL() & kSizeMask;
            blockAt_.emplace(offset, index);
            blockFlags_.push_back(flags);
            n.blocks.push_back(std::move(name));
        });
        // Views, coordinate systems, viewport configurations and application
        // names hold nothing we draw; their places are still checked.
        const std::pair<const TableSpan*, const char*> unused[] = {
            {&viewTable_, "view"}, {&ucsTable_, "coordinate system"}, {&vportTable_, "viewport"},
            {&appidTable_, "application"}};
        for (const auto& [t, what] : unused) table(*t, what, 33, [](Cursor&, int, std::string) {});
    }

    void spaces() {
        Block model, paper;
        model.name = "*Model_Space";
        paper.name = "*Paper_Space";
        d_.blocks.push_back(std::move(model));
        d_.blocks.push_back(std::move(paper));
    }

    // The block section: BLOCK, its entities, ENDBLK, one definition after
    // the other.
    void blocks() {
        if (blocksSize_ == 0) return;
        std::size_t end = static_cast<std::size_t>(blocksStart_) + blocksSize_;
        walk(blocksStart_, end, "block section", &names_.blocks);
    }

    // Reads the records of [begin, end). Without a block list, the records
    // are entities of model or paper space; with one, they are block
    // definitions.
    void walk(std::size_t begin, std::size_t end, const char* what, const std::vector<std::string>* blockNames) {
        if (begin > f_.size() || end > f_.size() || begin > end)
            throw ReadError(std::string("the DWG file is truncated: its ") + what + " lies beyond the end");
        checkSentinels(begin, end, what);
        Cursor c(f_.data(), begin, end);
        std::size_t modelIndex = 0, paperIndex = 1;
        Block* target = nullptr;  // the open block definition
        Entity* open = nullptr;   // the POLYLINE or INSERT whose sequence runs
        // The open REPEAT: the list its entities go to and where they start
        // in it. Their blocks join the drawing after the walk, since adding
        // one moves the lists.
        std::vector<Entity>* repeatList = nullptr;
        std::size_t repeatFirst = 0;
        std::string repeatLayer;
        std::vector<Block> repeated;
        // The first releases define blocks among the entities.
        const bool inlineBlocks = !since(Release::R2_0);
        while (c.left() > 0) {
            std::size_t at = c.position();
            Record r = legacy::readRecord(c, facts_, names_);
            switch (r.kind) {
            case Record::Kind::Erased:
            case Record::Kind::Undrawn: continue;
            case Record::Kind::Damaged: ++damaged_, open = nullptr; continue;
            case Record::Kind::Unknown: d_.noteSkippedEntity(r.skippedName); continue;
            case Record::Kind::Unreadable:
                d_.noteSkipped(r.skippedName);
                d_.noteDamaged("entity record");
                d_.warnings.push_back("the DWG file is damaged: its " + std::string(what) +
                                      " holds a record we cannot step over, and the " + std::to_string(end - at) +
                                      " byte(s) from it on were left out");
                c.seek(end);
                continue;
            case Record::Kind::SequenceEnd: open = nullptr; continue;
            case Record::Kind::RepeatBegin:
            case Record::Kind::RepeatEnd: {
                open = nullptr;
                std::vector<Entity>* list = target ? &target->entities
                                            : blockNames ? nullptr
                                            : &d_.blocks[r.entity.common.paperSpace ? paperIndex : modelIndex].entities;
                if (r.kind == Record::Kind::RepeatBegin) {
                    repeatList = list, repeatFirst = list ? list->size() : 0, repeatLayer = r.entity.common.layer;
                } else if (list && repeatList == list) {
                    repeated.push_back(cad::foldRepeatArray(*list, repeatFirst, r.repeat, repeatBlockName(),
                                                            repeatLayer));
                    repeatList = nullptr;
                } else {
                    d_.noteSkipped("ENDREP without its REPEAT");
                }
                continue;
            }
            case Record::Kind::BlockBegin: {
                if (inlineBlocks && !blockNames) {
                    Block b;
                    b.name = r.blockName;
                    if (const auto* base = r.entity.as<PointData>()) b.base = base->position;
                    d_.blocks.push_back(std::move(b));
                    target = &d_.blocks.back();
                    open = nullptr, repeatList = nullptr;
                    continue;
                }
                if (!blockNames) {
                    d_.noteSkipped("BLOCK outside the block section");
                    continue;
                }
                Block b;
                auto found = blockAt_.find(static_cast<std::uint32_t>(at - begin));
                if (found != blockAt_.end()) {
                    b.name = (*blockNames)[found->second];
                    b.flags = blockFlags_[found->second];
                } else {
                    b.name = r.blockName.empty() ? "*U" + std::to_string(d_.blocks.size()) : r.blockName;
                }
                if (const auto* base = r.entity.as<PointData>()) b.base = base->position;
                d_.blocks.push_back(std::move(b));
                target = &d_.blocks.back();
                open = nullptr;
                continue;
            }
            case Record::Kind::BlockEnd: target = nullptr, open = nullptr; continue;
            case Record::Kind::Vertex:
                if (open)
                    if (auto* pl = open->as<PolylineData>()) {
                        pl->vertices.push_back(r.vertex);
                        continue;
                    }
                d_.noteSkipped("VERTEX outside a polyline");
                continue;
            case Record::Kind::Drawable: break;
            }
            if (r.entity.type == "ATTRIB" && open)
                if (auto* insert = open->as<InsertData>()) {
                    insert->attributes.push_back(std::move(r.entity));
                    continue;
                }
            open = nullptr;
            Block* into = target;
            if (blockNames && !into) {
                d_.noteSkipped(r.entity.type + " outside a block definition");
                continue;
            }
            if (!into) into = &d_.blocks[r.entity.common.paperSpace ? paperIndex : modelIndex];
            into->entities.push_back(std::move(r.entity));
            if (r.sequenceFollows) open = &into->entities.back();
        }
        // A REPEAT without its ENDREP leaves its entities drawn once.
        if (repeatList) {
            d_.warnings.push_back("a REPEAT array has no ENDREP: its entities are drawn once");
            d_.losses.add(Loss::Kind::Damaged, "REPEAT array", d_.warnings.back());
        }
        for (Block& b : repeated) d_.blocks.push_back(std::move(b));
    }

    // A name for the block of a REPEAT array that the block table does not
    // hold and no earlier array took.
    std::string repeatBlockName() {
        if (nextRepeat_ == 1) tableBlockNames_.insert(names_.blocks.begin(), names_.blocks.end());
        std::string name;
        do name = "*R" + std::to_string(nextRepeat_++);
        while (tableBlockNames_.count(name));
        return name;
    }

    const std::vector<std::uint8_t>& f_;
    std::string version_;
    legacy::FileFacts facts_;
    legacy::TableNames names_;
    Drawing d_;
    unsigned headerVariableCount_ = 0;
    std::uint32_t entitiesStart_ = 0, entitiesEnd_ = 0, blocksStart_ = 0, blocksSize_ = 0;
    std::uint32_t extrasStart_ = 0, extrasSize_ = 0;
    TableSpan blockTable_, layerTable_, styleTable_, linetypeTable_, viewTable_;
    TableSpan ucsTable_, vportTable_, appidTable_, dimstyleTable_;
    unsigned textStyleIndex_ = 0;
    std::map<std::uint32_t, std::size_t> blockAt_;
    std::vector<int> blockFlags_;
    int damaged_ = 0, badTableRecords_ = 0;
    std::size_t nextRepeat_ = 1;
    std::unordered_set<std::string> tableBlockNames_;
    std::string unclosed_;  // the sections whose sentinels do not match
};

}  // namespace

bool isLegacyVersion(const std::string& versionString) {
    Release r;
    return legacy::releaseOf(versionString, r);
}

Drawing readLegacyDwg(const std::vector<std::uint8_t>& file) {
    std::size_t n = 0;
    while (n < 6 && n < file.size() && file[n] != 0) ++n;
    std::string version(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
    Release release;
    if (!legacy::releaseOf(version, release)) throw ReadError("not a DWG file of a release before R13");
    return LegacyReader(file, release, version).run();
}

}  // namespace cad::dwg
