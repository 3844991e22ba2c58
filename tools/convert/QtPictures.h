#pragma once
// Pictures painted through Qt: drawings with TrueType text, raster pictures
// or underlays, and every format but JPEG. Qt's GUI part takes longer to
// load than a small drawing takes to convert, so it lives in a module of its
// own, loaded by a worker at the first drawing that needs it; drawings of
// lines, areas and shape-font text are painted without it.
#include <string>
#include <vector>

#include "cad/model/Drawing.h"
#include "cad/render/Render.h"
#include "convert/JpegFile.h"
#include "tools/convert/Options.h"

namespace lumicade::convert {

struct QtPictureRequest {
    const cad::Drawing* drawing = nullptr;
    const cad::render::RenderOptions* options = nullptr;
    Format format = Format::Jpeg;
    int quality = 85;
    HuffmanTables tables = HuffmanTables::Optimised;
    std::string title;
    std::string record;  // what the picture is made from, for PDF metadata
    std::vector<std::string> fontFolders;
    cad::NameTable* names = cad::processNames();  // the program's, which its drawings' names point into
};

struct QtPictureResult {
    std::vector<unsigned char> bytes;  // the picture file, when made
    std::string failure;               // why not, when not
    cad::Losses losses;                // what the picture lacks of the drawing
    std::vector<std::string> substitutions;  // every font substitution the module made so far
};

// The module's one entry point, by this name.
using PaintWithQt = void (*)(const QtPictureRequest& request, QtPictureResult& result);
constexpr const char* kPaintWithQtSymbol = "lumicade_convert_paint_with_qt";

// The entry point, the module loaded at the first call; null with *why set
// when the module cannot be loaded.
PaintWithQt qtPainter(std::string* why);

}  // namespace lumicade::convert
