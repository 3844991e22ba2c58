#pragma once
// A drawing as the bytes of a picture file in each output format: raster
// formats from the rendered picture, PDF and SVG by painting the same scene
// on their own devices, so lines and text stay vectors.
#include <stdexcept>
#include <string>
#include <vector>

#include "cad/render/Render.h"
#include "convert/JpegFile.h"
#include "tools/convert/Options.h"

namespace lumicade::convert {

struct PictureError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws PictureError with a reason when the picture cannot be made, and
// lets the renderer's own failures through. What the picture lacks of the
// drawing goes to *losses. PDF pictures keep the record (see PictureRecord.h)
// in their metadata; the other formats get it added to their bytes.
std::vector<unsigned char> encodeDrawing(const cad::Drawing& drawing, const cad::render::RenderOptions& render,
                                         Format format, int quality, HuffmanTables tables, const std::string& title,
                                         const std::string& record, cad::Losses* losses = nullptr);

}  // namespace lumicade::convert
