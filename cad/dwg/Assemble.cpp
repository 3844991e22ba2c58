// Putting the decoded objects together: names for the handles entities
// refer to, vertices into their polylines, attributes into their inserts,
// and entities into their blocks in the order the file chains them.
#include <algorithm>
#include <cctype>
#include <string_view>
#include <unordered_set>
#include <variant>

#include "cad/dwg/DecodeState.h"
#include "cad/model/Overloaded.h"

namespace cad::dwg {
namespace {

class Assembler {
public:
    Assembler(DecodeState& st, Drawing& d) : st_(st), d_(d) {}

    void run() {
        bookColors();
        tables();
        findSpaces();
        // Anonymous blocks are stored by their prefix alone ("*D", "*U",
        // and the paper spaces of inactive layouts); the BLOCK that opens
        // the definition carries the full name, which is also the prefix and
        // the place in the block list.
        std::unordered_map<Handle, std::size_t> listIndex;
        for (std::size_t i = 0; i < st_.blockControlEntries.size(); ++i)
            listIndex.emplace(st_.blockControlEntries[i], i);
        for (const auto& b : st_.blockHeaders) {
            std::string name = b.name;
            bool numbered = !name.empty() && std::isdigit(static_cast<unsigned char>(name.back()));
            if (name.size() > 1 && name[0] == '*' && !numbered && b.handle != st_.modelSpaceRecord &&
                b.handle != st_.paperSpaceRecord) {
                auto opening = st_.entities.find(b.blockEntity);
                const auto* full =
                    opening == st_.entities.end() ? nullptr : entityOf(opening->second).as<PlaceholderData>();
                if (full && full->className.size() > name.size() && upperName(full->className).rfind(upperName(name), 0) == 0)
                    name = full->className;
                else if (auto it = listIndex.find(b.handle); it != listIndex.end())
                    name += std::to_string(it->second);
            }
            if (b.handle == st_.modelSpaceRecord) name = "*Model_Space";
            else if (b.handle == st_.paperSpaceRecord) name = "*Paper_Space";
            else if (upperName(name) == "*MODEL_SPACE") name = "*Model_Space";
            blockNames_[b.handle] = name;
        }
        // Who owns what: sub-entities by their owner, top-level entities by
        // owner or by the space they are drawn in.
        owned_.reserve(st_.blockHeaders.size() + 16);
        // (The lists are sorted below, so the order they are filled in does not matter.)
        for (auto& [h, e] : st_.entities) {
            Handle owner = e.owner;
            if (e.entmode == 1) owner = st_.paperSpaceRecord;
            else if (e.entmode == 2) owner = st_.modelSpaceRecord;
            owned_[owner].emplace_back(h, &e);
        }
        for (auto& [owner, list] : owned_) std::sort(list.begin(), list.end());

        // A damaged file may list one block record twice; both copies then
        // draw the same entities, which must stay whole for the second.
        std::unordered_set<Handle> blockHandles;
        blockHandles.reserve(st_.blockHeaders.size());
        for (const auto& b : st_.blockHeaders)
            if (!blockHandles.insert(b.handle).second) copyEntities_ = true;

        // The block with the most entities (model space, as a rule) takes
        // the list of decoded entities over, put in its order, instead of
        // a copy: a large drawing then never holds its entities twice.
        std::size_t largest = st_.blockHeaders.size();
        if (!copyEntities_) {
            std::size_t most = 0;
            for (std::size_t i = 0; i < st_.blockHeaders.size(); ++i) {
                const BlockHeaderRecord& b = st_.blockHeaders[i];
                auto owners = owned_.find(b.handle);
                const std::size_t n =
                    std::max(b.entities.size(), owners == owned_.end() ? std::size_t{0} : owners->second.size());
                if (n > most) most = n, largest = i;
            }
        }
        std::size_t largestIndex = 0;
        std::vector<std::uint32_t> largestMembers;

        for (std::size_t i = 0; i < st_.blockHeaders.size(); ++i) {
            const BlockHeaderRecord& b = st_.blockHeaders[i];
            Block block;
            block.handle = b.handle;
            block.name = blockNames_[b.handle];
            block.base = b.base;
            block.flags = b.flags;
            block.xrefPath = b.xrefPath;
            block.layout = b.layout;
            bool paper = upperName(block.name).rfind("*PAPER_SPACE", 0) == 0;
            bool activePaper = b.handle == st_.paperSpaceRecord;
            int viewports = 0;
            const bool inPlace = i == largest;
            std::vector<EntityLinks*> members = ordered(b.handle, b.firstEntity, b.lastEntity, b.entities);
            if (inPlace) largestMembers.reserve(members.size());
            else block.entities.reserve(members.size());
            for (EntityLinks* member : members) {
                EntityLinks& e = *member;
                const std::string_view t = entityOf(e).type.view();
                if (t == "BLOCK" || t == "ENDBLK" || t == "SEQEND" || t == "VERTEX" || t == "ATTRIB") continue;
                Entity out = finish(e);
                if (paper) out.common.paperSpace = true;
                // Viewports are numbered in each layout, the first being the
                // layout's own sheet; only those of the shown layout are on.
                if (auto* vp = out.as<ViewportData>()) {
                    ++viewports;
                    vp->id = activePaper ? viewports : 0;
                    vp->status = vp->id;
                }
                if (inPlace) {
                    entityOf(e) = std::move(out);
                    largestMembers.push_back(e.index);
                } else {
                    block.entities.push_back(std::move(out));
                }
            }
            if (inPlace) largestIndex = d_.blocks.size();
            d_.blocks.push_back(std::move(block));
        }
        if (largest < st_.blockHeaders.size()) d_.blocks[largestIndex].entities = takeDecoded(largestMembers);
        if (std::none_of(d_.blocks.begin(), d_.blocks.end(), [](const Block& b) { return b.name == "*Model_Space"; })) {
            // Without it there is nothing to draw, but the drawing is still one.
            Block model;
            model.name = "*Model_Space";
            d_.blocks.insert(d_.blocks.begin(), std::move(model));
            d_.warnings.push_back("the drawing has no model space; it was damaged");
        }
        for (auto& l : st_.layouts) {
            if (l.blockRecord == st_.paperSpaceRecord && st_.paperSpaceRecord) d_.header.activeLayout = l.name;
            d_.layouts.push_back(l);
        }
        if (auto it = st_.styles.find(st_.headerTextStyle); it != st_.styles.end())
            d_.header.textStyle = it->second.name;
        d_.index();
        linkFileDefinitions(d_);
    }

private:
    // The block list names model and paper space; when it was lost, the
    // block records still carry their names.
    void findSpaces() {
        auto known = [&](Handle h) {
            return h && std::any_of(st_.blockHeaders.begin(), st_.blockHeaders.end(),
                                    [&](const BlockHeaderRecord& b) { return b.handle == h; });
        };
        // Asked once, not for every record: a drawing may hold thousands of
        // anonymous blocks.
        bool haveModel = known(st_.modelSpaceRecord);
        bool havePaper = known(st_.paperSpaceRecord);
        for (const auto& b : st_.blockHeaders) {
            if (haveModel && havePaper) break;
            std::string up = upperName(b.name);
            if (!haveModel && up == "*MODEL_SPACE") {
                st_.modelSpaceRecord = b.handle;
                haveModel = b.handle != 0;
            }
            if (!havePaper && up == "*PAPER_SPACE") {
                st_.paperSpaceRecord = b.handle;
                havePaper = b.handle != 0;
            }
        }
    }

    // An entity coloured from a colour book stores the nearest index beside
    // a reference to the book's colour; the colour itself is the one shown.
    void bookColors() {
        for (const auto& [handle, links] : st_.entities) {
            if (links.bookColor == 0) continue;
            auto it = st_.bookColors.find(links.bookColor);
            if (it != st_.bookColors.end() && it->second.kind == Color::Kind::True)
                entityOf(links).common.color = it->second;
        }
    }

    void tables() {
        for (Handle h : st_.linetypeOrder) {
            Linetype lt = st_.linetypes.at(h);
            std::string up = upperName(lt.name);
            if (up == "BYLAYER") lt.name = "ByLayer";
            else if (up == "BYBLOCK") lt.name = "ByBlock";
            linetypeNames_[h] = lt.name;
            d_.linetypes.push_back(std::move(lt));
        }
        for (Handle h : st_.layerOrder) {
            LayerRecord& rec = st_.layers.at(h);
            if (auto it = linetypeNames_.find(rec.linetype); it != linetypeNames_.end())
                rec.layer.linetype = it->second;
            layerNames_[h] = rec.layer.name;
            d_.layers.push_back(rec.layer);
        }
        for (Handle h : st_.styleOrder) {
            TextStyle style = st_.styles.at(h);
            // TrueType styles name their font family in the extended data of "ACAD".
            if (auto it = st_.styleExtendedText.find(h); it != st_.styleExtendedText.end())
                for (const auto& [app, text] : it->second)
                    if (auto a = st_.applications.find(app); a != st_.applications.end() && upperName(a->second) == "ACAD")
                        style.fontFamily = text;
            d_.textStyles.push_back(std::move(style));
        }
        for (Handle h : st_.dimStyleOrder) d_.dimStyles.push_back(st_.dimStyles.at(h));
    }

    // The entities of an owner in file order: along the first/next chain
    // (up to 2000), along the owner's list (2004+), and whatever the links
    // missed after that, by handle.
    std::vector<EntityLinks*> ordered(Handle owner, Handle first, Handle last, const std::vector<Handle>& list) {
        std::vector<EntityLinks*> out;
        auto owners = owned_.find(owner);
        out.reserve(std::max(list.size(), owners == owned_.end() ? std::size_t{0} : owners->second.size()));
        // Each listing stamps the records it takes, so a handle named twice
        // (or a chain that loops) is taken once.
        const std::uint32_t listing = ++listings_;
        auto takeLinks = [&](EntityLinks& e) {
            if (e.visit == listing) return false;
            Handle o = e.entmode == 1 ? st_.paperSpaceRecord : e.entmode == 2 ? st_.modelSpaceRecord : e.owner;
            if (o != owner) return false;
            e.visit = listing;
            out.push_back(&e);
            return true;
        };
        auto take = [&](Handle h) -> EntityLinks* {
            auto it = st_.entities.find(h);
            return it != st_.entities.end() && takeLinks(it->second) ? &it->second : nullptr;
        };
        if (!list.empty()) {
            for (Handle h : list) take(h);
        } else if (first) {
            Handle h = first;
            for (std::size_t guard = 0; h && guard <= st_.entities.size(); ++guard) {
                const EntityLinks* e = take(h);
                if (!e || h == last) break;
                h = e->noLinks ? h + 1 : e->next;
            }
        }
        if (owners != owned_.end())
            for (auto& [h, e] : owners->second) takeLinks(*e);
        return out;
    }

    static Name nameOf(const std::unordered_map<Handle, Name>& names, Handle h, Name fallback) {
        auto it = names.find(h);
        return it == names.end() ? fallback : it->second;
    }
    std::string nameOf(const std::unordered_map<Handle, std::string>& names, Handle h, const std::string& fallback) {
        auto it = names.find(h);
        return it == names.end() ? fallback : it->second;
    }

    // Each entity is finished once, by the one block or entity that owns
    // it, so its data moves into the drawing rather than being copied.
    Entity& entityOf(const EntityLinks& e) { return st_.decoded[e.index]; }

    static const std::vector<Handle>& listed(const std::unordered_map<Handle, std::vector<Handle>>& lists, Handle h) {
        static const std::vector<Handle> none;
        auto it = lists.find(h);
        return it == lists.end() ? none : it->second;
    }

    // The decoded list, holding the given entities in the given order and
    // nothing else. Each step puts one entity in its place by a swap.
    std::vector<Entity> takeDecoded(const std::vector<std::uint32_t>& order) {
        std::vector<Entity>& all = st_.decoded;
        std::vector<std::uint32_t> where(all.size()), what(all.size());  // place of each entity, and the reverse
        for (std::uint32_t k = 0; k < all.size(); ++k) where[k] = what[k] = k;
        for (std::uint32_t k = 0; k < order.size(); ++k) {
            const std::uint32_t from = where[order[k]];
            if (from == k) continue;
            std::swap(all[k], all[from]);
            const std::uint32_t displaced = what[k];
            what[from] = displaced, where[displaced] = from;
            what[k] = order[k], where[order[k]] = k;
        }
        all.erase(all.begin() + static_cast<std::ptrdiff_t>(order.size()), all.end());
        return std::move(all);
    }

    Entity finish(EntityLinks& e) {
        Entity out;
        if (copyEntities_) out = entityOf(e);
        else out = std::move(entityOf(e));
        auto& c = out.common;
        c.owner = e.entmode == 1 ? st_.paperSpaceRecord : e.entmode == 2 ? st_.modelSpaceRecord : e.owner;
        c.layer = nameOf(layerNames_, e.layer, layerZero());
        switch (e.linetypeFlags) {
        case 0: c.linetype = "ByLayer"; break;
        case 1: c.linetype = "ByBlock"; break;
        case 2: c.linetype = "Continuous"; break;
        default: c.linetype = nameOf(linetypeNames_, e.linetype, linetypeByLayer());
        }
        // Names of tables and blocks that the entity refers to by handle.
        visitData(
            overloaded{
                [&](TextData& t) {
                    if (auto it = st_.styles.find(e.style); it != st_.styles.end()) t.style = it->second.name;
                },
                [&](MTextData& m) {
                    if (auto it = st_.styles.find(e.style); it != st_.styles.end()) m.style = it->second.name;
                },
                [&](ShapeData& s) {
                    if (auto it = st_.styles.find(e.style); it != st_.styles.end()) s.style = it->second.name;
                },
                [&](InsertData& in) {
                    in.blockName = nameOf(blockNames_, e.blockHeader, "");
                    const Handle self = out.common.handle;
                    for (EntityLinks* child : ordered(self, e.firstChild, e.lastChild, listed(st_.children, self))) {
                        EntityLinks& a = *child;
                        if (entityOf(a).type == "ATTRIB") in.attributes.push_back(finish(a));
                    }
                },
                [&](PolylineData& p) {
                    const Handle self = out.common.handle;
                    for (EntityLinks* child : ordered(self, e.firstChild, e.lastChild, listed(st_.children, self))) {
                        const Entity& v = entityOf(*child);
                        if (auto* vp = v.as<PolylineData>(); vp && v.type == "VERTEX" && !vp->vertices.empty())
                            p.vertices.push_back(vp->vertices.front());
                    }
                },
                [&](DimensionData& dim) {
                    dim.blockName = nameOf(blockNames_, e.blockHeader, "");
                    if (auto it = st_.dimStyles.find(e.dimStyle); it != st_.dimStyles.end()) dim.style = it->second.name;
                },
                [&](LeaderData& l) {
                    if (auto it = st_.dimStyles.find(e.dimStyle); it != st_.dimStyles.end()) l.style = it->second.name;
                },
                [&](ToleranceData& tol) {
                    if (auto it = st_.dimStyles.find(e.dimStyle); it != st_.dimStyles.end()) tol.style = it->second.name;
                },
                [&](MLineData& ml) {
                    if (auto it = st_.mlineStyles.find(e.mlineStyle); it != st_.mlineStyles.end()) {
                        ml.style = it->second.name;
                        ml.elementOffsets = it->second.offsets;
                        ml.elementColors = it->second.colors;
                    }
                },
                [&](MLeaderData& ml) {
                    if (auto it = st_.styles.find(e.style); it != st_.styles.end()) ml.textStyle = it->second.name;
                    ml.blockName = nameOf(blockNames_, e.blockHeader, "");
                },
                [&](TableData& tb) { tb.blockName = nameOf(blockNames_, e.blockHeader, ""); },
                [&](ViewportData& vp) {
                    for (Handle h : listed(st_.frozenLayers, out.common.handle))
                        if (auto it = layerNames_.find(h); it != layerNames_.end()) vp.frozenLayers.push_back(it->second);
                },
                // These take no names from the tables here.
                ignore<PlaceholderData, LineData, PointData, CircleData, ArcData, EllipseData, SplineData,
                       LwPolylineData, HatchData, SolidData, Face3DData, RayData, ImageData,
                       ProxyEntityData, BodyData, MeshData>{},
            },
            out.data);
        return out;
    }

    DecodeState& st_;
    Drawing& d_;
    std::unordered_map<Handle, Name> layerNames_, linetypeNames_;
    std::unordered_map<Handle, std::string> blockNames_;
    std::unordered_map<Handle, std::vector<std::pair<Handle, EntityLinks*>>> owned_;  // sorted by handle
    bool copyEntities_ = false;
    std::uint32_t listings_ = 0;
};

}  // namespace

void assembleDrawing(DecodeState& st, Drawing& d) { Assembler(st, d).run(); }

}  // namespace cad::dwg
