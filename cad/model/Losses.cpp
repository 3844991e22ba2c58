#include "cad/model/Losses.h"

#include <algorithm>
#include <array>

namespace cad {

void Losses::add(Loss::Kind kind, const std::string& what, const std::string& text, long long count) {
    if (count <= 0) return;
    const auto same = [&](const Loss& l) { return l.kind == kind && l.what == what && l.text == text; };
    if (auto it = std::find_if(entries_.begin(), entries_.end(), same); it != entries_.end()) {
        it->count += count;
        return;
    }
    entries_.push_back(Loss{kind, what, count, text});
}

void Losses::add(const Losses& other) {
    for (const Loss& l : other.entries_) add(l.kind, l.what, l.text, l.count);
}

bool Losses::contains(Loss::Kind kind, const std::string& what) const {
    return std::any_of(entries_.begin(), entries_.end(), [&](const Loss& l) { return l.kind == kind && l.what == what; });
}

const char* lossKindWord(Loss::Kind kind) {
    switch (kind) {
    case Loss::Kind::Entity: return "entity";
    case Loss::Kind::Damaged: return "damaged";
    case Loss::Kind::ProxyPrimitive: return "proxy-primitive";
    case Loss::Kind::Xref: return "xref";
    case Loss::Kind::Image: return "image";
    case Loss::Kind::Underlay: return "underlay";
    case Loss::Kind::Font: return "font";
    case Loss::Kind::Budget: break;
    }
    return "budget";
}

std::string describeLoss(const Loss& loss) {
    return loss.count > 1 ? loss.text + " (" + std::to_string(loss.count) + ")" : loss.text;
}

bool drawsNothing(std::string_view entityKind) {
    // Light glyphs, cameras and section planes show only while one edits the
    // model; pictures and plots leave them out. A proxy entity without
    // graphics has nothing to show. The settings objects of wipeouts are no
    // entities but are met where entities are. In the first releases'
    // files, ENDREP closes the array its REPEAT opened; LOAD and JUMP only
    // steer the reading.
    static constexpr std::array<std::string_view, 10> kinds = {
        "LIGHT", "SUN", "CAMERA", "SECTIONOBJECT", "GEOPOSITIONMARKER", "ACAD_PROXY_ENTITY", "WIPEOUTVARIABLES",
        "ENDREP", "LOAD", "JUMP"};
    return std::find(kinds.begin(), kinds.end(), entityKind) != kinds.end();
}

}  // namespace cad
