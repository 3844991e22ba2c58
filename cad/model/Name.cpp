#include "cad/model/Name.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <ostream>
#include <unordered_set>

namespace cad {
namespace {

struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};

// Every spelling met so far. Elements of an unordered set keep their
// address while it grows, so a Name may point into it. A drawing adds only
// the names its file spells out, so what the set holds is bounded by what
// was read.
}  // namespace

struct NameTable {
    std::mutex mutex;
    std::unordered_set<std::string, TextHash, std::equal_to<>> texts;
    const std::string none;
};

namespace {

NameTable& names() {
    static NameTable* const table = new NameTable;  // never destroyed: names outlive every static drawing
    return *table;
}

}  // namespace

const std::string& Name::none() { return names().none; }

const std::string& Name::intern(std::string_view text) {
    NameTable& all = names();
    std::lock_guard lock(all.mutex);
    auto it = all.texts.find(text);
    if (it == all.texts.end()) it = all.texts.emplace(text).first;
    return *it;
}

const std::string& Name::spelled(const char* text) {
    // Readers name kinds with literals ("LINE"), the same few pointers again
    // and again. A small cache of this thread, by address, saves the lock and
    // the hash; the spelling is compared too, as any other C string may come
    // at the same address later.
    struct Slot {
        const char* at = nullptr;
        const std::string* text = nullptr;
    };
    thread_local Slot slots[64];
    Slot& slot = slots[(reinterpret_cast<std::uintptr_t>(text) >> 3) % 64];
    if (slot.at == text && std::strcmp(text, slot.text->c_str()) == 0) return *slot.text;
    const std::string& found = *text ? intern(text) : none();
    slot = {text, &found};
    return found;
}

std::ostream& operator<<(std::ostream& out, Name name) { return out << name.view(); }

}  // namespace cad
