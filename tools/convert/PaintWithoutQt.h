#pragma once
// JPEG pictures painted by our own rasterizer, without Qt's GUI part.
#include <string>
#include <vector>

#include "cad/model/Drawing.h"
#include "cad/render/Render.h"
#include "convert/JpegFile.h"

namespace lumicade::convert {

// The drawing's picture as JPEG bytes, painted and encoded without Qt's GUI
// part. False, with nothing made, when the drawing needs Qt (TrueType text,
// raster pictures, underlays). Throws PictureError, in the words the Qt
// painter uses, when the picture cannot be made, and lets the renderer's own
// failures through.
bool paintWithoutQt(const cad::Drawing& drawing, const cad::render::RenderOptions& options, bool blackBackground,
                    int quality, HuffmanTables tables, std::vector<unsigned char>& bytes, cad::Losses* losses);

}  // namespace lumicade::convert
