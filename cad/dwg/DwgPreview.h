#pragma once
// The preview picture that DWG files from R13 on keep near their start.
#include <cstdint>
#include <vector>

#include "cad/model/Preview.h"

namespace cad::dwg {

// Finds the preview through the address in the file header and returns the
// best picture stored there: PNG, then BMP, then WMF. Reads nothing else of
// the drawing, so it is cheap enough for file-browser thumbnails. A file
// without a preview, before R13, or with a damaged preview area gives a
// preview of kind None; this never throws.
cad::Preview readDwgPreview(const std::vector<std::uint8_t>& file);

}  // namespace cad::dwg
