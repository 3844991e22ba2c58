#include "cad/dwg/DataStore.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "cad/acis/Acis.h"

namespace cad::dwg {

namespace {

std::uint64_t le(const std::uint8_t* p, int n) {
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

}  // namespace

std::unordered_map<Handle, std::string> readModelerData(const std::vector<std::uint8_t>& store) {
    // The store is a row of segments, each opened by AC D5 and a six-letter
    // name. A "_data_" segment holds, after its 48-byte head, a table of
    // entries (20, 1, the object's handle, the record's offset) and then the
    // records, each its size and its bytes, at those offsets from the
    // table's aligned end.
    static const std::uint8_t kData[] = {0xAC, 0xD5, '_', 'd', 'a', 't', 'a', '_'};
    std::unordered_map<Handle, std::string> out;
    const std::size_t size = store.size();
    const std::uint8_t* s = store.data();
    for (std::size_t seg = 0; seg + sizeof kData <= size; ++seg) {
        if (std::memcmp(s + seg, kData, sizeof kData) != 0) continue;
        std::size_t p = seg + 0x30;
        std::vector<std::pair<Handle, std::uint64_t>> entries;
        while (p + 20 <= size && le(s + p, 4) == 20 && le(s + p + 4, 4) == 1) {
            entries.emplace_back(le(s + p + 8, 8), le(s + p + 16, 4));
            p += 20;
        }
        // The records start on a 16-byte boundary of the segment; the bytes
        // up to it are filler ('b'). (Guessed from the files seen: the
        // descriptions of the store do not say.)
        const std::size_t records = std::min(size, seg + (p - seg + 15) / 16 * 16);
        for (const auto& [handle, offset] : entries) {
            if (offset > size - records || size - records - offset < 4) continue;
            std::size_t at = records + static_cast<std::size_t>(offset);
            std::uint64_t n = le(s + at, 4);
            if (n > size - at - 4) continue;
            std::string_view bytes(reinterpret_cast<const char*>(s + at + 4), static_cast<std::size_t>(n));
            if (acis::isBinary(bytes)) out.emplace(handle, std::string(bytes));
        }
        seg = p - 1;
    }
    return out;
}

}  // namespace cad::dwg
