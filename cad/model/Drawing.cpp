#include "cad/model/Drawing.h"

#include <cctype>

namespace cad {

std::string upperName(const std::string& name) {
    std::string out = name;
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
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
