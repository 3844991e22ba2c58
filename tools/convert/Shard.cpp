#include "tools/convert/Shard.h"

namespace lumicade::convert {

std::uint64_t stablePathHash(std::string_view path) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : path) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

bool inShard(std::string_view path, int index, int count) {
    return count <= 1 || stablePathHash(path) % static_cast<std::uint64_t>(count) == static_cast<std::uint64_t>(index);
}

}  // namespace lumicade::convert
