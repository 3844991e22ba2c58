#pragma once
// The CAD application's 256 indexed colours and how an entity's colour
// becomes a paint colour.
#include "cad/render/Scene.h"

namespace cad::render {

// RGB of an index colour 1..255 (index 7 gives white; callers treat 7 as the
// foreground colour instead).
std::uint32_t aciToRgb(int index);

// 0xFFRRGGBB of the three components, each 0..255.
constexpr std::uint32_t opaque(int r, int g, int b) {
    return 0xFF000000u | static_cast<std::uint32_t>(r & 0xFF) << 16 | static_cast<std::uint32_t>(g & 0xFF) << 8 |
           static_cast<std::uint32_t>(b & 0xFF);
}

PaintColor paintFromIndex(int index);
PaintColor paintFromRgb(std::uint32_t rgb);

}  // namespace cad::render
