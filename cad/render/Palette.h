#pragma once
// The CAD application's 256 indexed colours and how an entity's colour
// becomes a paint colour.
#include <QRgb>

#include "cad/render/Scene.h"

namespace cad::render {

// RGB of an index colour 1..255 (index 7 gives white; callers treat 7 as the
// foreground colour instead).
QRgb aciToRgb(int index);

PaintColor paintFromIndex(int index);
PaintColor paintFromRgb(std::uint32_t rgb);

}  // namespace cad::render
