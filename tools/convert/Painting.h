#pragma once
// One drawing's picture file, its scene built once: every raster picture
// painted by our own painter (JPEG encoded here), PNG, TIFF and BMP files
// and PDF and SVG documents written through Qt's module.
#include <string>
#include <vector>

#include "cad/model/Drawing.h"
#include "cad/render/SceneOptions.h"
#include "convert/JpegFile.h"
#include "tools/convert/Options.h"

namespace lumicade::convert {

struct PictureRequest {
    Format format = Format::Jpeg;
    int quality = 85;
    HuffmanTables tables = HuffmanTables::Optimised;
    std::string title;   // the document's, for PDF and SVG
    std::string record;  // what the picture is made from, for PDF metadata
};

// The picture file's bytes; what it lacks of the drawing into *losses.
// Throws PictureError when the picture cannot be made, and lets the
// renderer's own failures through.
std::vector<unsigned char> paintPicture(const cad::Drawing& drawing, const cad::render::RenderOptions& options,
                                        const PictureRequest& request, cad::Losses* losses);

}  // namespace lumicade::convert
