#include "cad/model/Drawing.h"

namespace cad {

// ASCII letters only: the result must not depend on the locale the program
// happens to run in (toupper would also fold Latin-1 bytes under a Latin-1
// locale, and never under UTF-8).
std::string upperName(const std::string& name) {
    std::string out = name;
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

namespace {
template <class T>
void build(std::unordered_map<std::string, std::size_t>& index, const std::vector<T>& items) {
    index.clear();
    for (std::size_t i = 0; i < items.size(); ++i) index.emplace(upperName(items[i].name), i);
}
template <class T>
const T* lookup(const std::unordered_map<std::string, std::size_t>& index, const std::vector<T>& items,
                const std::string& name) {
    auto it = index.find(upperName(name));
    if (it == index.end() || it->second >= items.size()) return nullptr;
    return &items[it->second];
}
}  // namespace

void Drawing::noteSkippedEntity(const std::string& kind) {
    noteSkipped(kind);
    if (!drawsNothing(kind)) losses.add(Loss::Kind::Entity, kind, kind + " not drawn");
}

void Drawing::noteDamaged(const std::string& what, long long count) {
    losses.add(Loss::Kind::Damaged, what, "damaged " + what + " left out", count);
}

void Drawing::noteProxyGraphics(const std::string& kind, const ProxyGraphics& graphics) {
    for (const auto& [what, count] : skippedRecords(graphics)) noteSkipped(what, count);
    for (const auto& [type, count] : graphics.skippedTypes)
        if (proxyPrimitiveVisible(type)) {
            const std::string name = proxyPrimitiveName(type);
            losses.add(Loss::Kind::ProxyPrimitive, name, kind + " graphics: " + name + " primitive not drawn", count);
        }
    if (graphics.damaged) noteDamaged("graphics of " + kind);
    if (graphics.overBudget)
        losses.add(Loss::Kind::Budget, "memory", "graphics of " + kind + " drawn in part: memory budget reached");
}

void Drawing::index() {
    build(blockIndex_, blocks);
    build(layerIndex_, layers);
    build(linetypeIndex_, linetypes);
    build(styleIndex_, textStyles);
}

const Block* Drawing::findBlock(const std::string& name) const { return lookup(blockIndex_, blocks, name); }
Block* Drawing::findBlock(const std::string& name) {
    return const_cast<Block*>(static_cast<const Drawing*>(this)->findBlock(name));
}
const Block* Drawing::findBlockByHandle(Handle blockRecord) const {
    if (blockRecord == 0) return nullptr;
    for (const Block& b : blocks)
        if (b.handle == blockRecord) return &b;
    return nullptr;
}

const Layout* Drawing::findLayout(const std::string& name) const {
    const std::string wanted = upperName(name);
    for (const Layout& l : layouts)
        if (upperName(l.name) == wanted) return &l;
    return nullptr;
}

const Block* Drawing::layoutBlock(const Layout& layout) const {
    if (upperName(layout.name) == "MODEL") return modelSpace();
    if (const Block* b = findBlockByHandle(layout.blockRecord)) return b;
    // Writers that give no block record handles: the active layout is *Paper_Space.
    if (!header.activeLayout.empty() && upperName(header.activeLayout) == upperName(layout.name)) return paperSpace();
    for (const Block& b : blocks)
        if (b.layout != 0 && b.layout == layout.handle) return &b;
    return nullptr;
}

const FileDefinition* Drawing::findFileDefinition(Handle handle) const {
    if (handle == 0) return nullptr;
    for (const FileDefinition& f : fileDefinitions)
        if (f.handle == handle) return &f;
    return nullptr;
}

void linkFileDefinitions(Drawing& drawing) {
    if (drawing.fileDefinitions.empty()) return;
    std::unordered_map<Handle, const FileDefinition*> byHandle;
    for (const FileDefinition& f : drawing.fileDefinitions) byHandle.emplace(f.handle, &f);
    for (Block& b : drawing.blocks)
        for (Entity& e : b.entities)
            if (auto* im = e.as<ImageData>()) {
                auto it = byHandle.find(im->definition);
                if (it == byHandle.end()) continue;
                im->filePath = it->second->filePath;
                im->page = it->second->page;
                im->pixelSize = it->second->pixelSize;
            }
}

std::map<std::string, int> countEntityKinds(const Drawing& drawing) {
    std::map<std::string, int> counts;
    auto countBlock = [&](const Block* block) {
        if (!block) return;
        for (const Entity& e : block->entities) {
            ++counts[e.type];
            if (const auto* insert = e.as<InsertData>())
                for (const Entity& a : insert->attributes) ++counts[a.type];
        }
    };
    countBlock(drawing.modelSpace());
    countBlock(drawing.paperSpace());
    return counts;
}

const Layer* Drawing::findLayer(const std::string& name) const { return lookup(layerIndex_, layers, name); }
const Linetype* Drawing::findLinetype(const std::string& name) const {
    return lookup(linetypeIndex_, linetypes, name);
}
const TextStyle* Drawing::findTextStyle(const std::string& name) const {
    return lookup(styleIndex_, textStyles, name);
}

}  // namespace cad
