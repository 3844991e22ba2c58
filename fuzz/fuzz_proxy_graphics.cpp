// Any bytes as an object's graphics: primitives or a damaged mark, nothing else.
#include <cstddef>
#include <cstdint>

#include "cad/model/ProxyGraphics.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    cad::ProxyGraphics g = cad::decodeProxyGraphics(data, size);
    std::size_t points = 0;
    for (const auto& p : g.primitives) {
        points += p.points.size();
        if (p.kind == cad::ProxyPrimitive::Kind::Shell) points += cad::shellEdges(p.faces, p.points.size()).size();
    }
    (void)points;
    return 0;
}
