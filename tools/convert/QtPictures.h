#pragma once
// What the converter writes through Qt's GUI library: PNG, TIFF and BMP files
// of the pixels our painter made, PDF and SVG documents painted by Qt's
// painter from the scene the converter built, and pictures that drawings
// show, decoded by Qt's image readers. Qt's GUI part takes longer to load
// than a small drawing takes to convert, so this lives in a module of its
// own, loaded at the first drawing that needs it. The module links against
// the program's engine: one engine, one scene per drawing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cad/render/PictureDecoder.h"
#include "cad/render/Scene.h"
#include "cad/render/SceneOptions.h"
#include "tools/convert/Options.h"

namespace lumicade::convert {

struct QtPictureRequest {
    Format format = Format::Png;
    // PNG, TIFF, BMP: the painted picture, rows of 0xFFRRGGBB.
    const std::uint32_t* pixels = nullptr;
    int width = 0, height = 0;
    std::ptrdiff_t bytesPerLine = 0;
    // PDF, SVG: the scene, fitted to view, painted with options.
    const cad::render::Scene* scene = nullptr;
    const cad::render::PixelView* view = nullptr;
    const cad::render::RenderOptions* options = nullptr;
    std::string title;
    std::string record;  // what the picture is made from, for PDF metadata
};

struct QtPictureResult {
    std::vector<unsigned char> bytes;  // the picture file, when made
    std::string failure;               // why not, when not
};

// The module's entry points, by these names.
using WriteWithQt = void (*)(const QtPictureRequest& request, QtPictureResult& result);
using QtDecoder = cad::render::PictureDecoder* (*)();
constexpr const char* kWriteWithQtSymbol = "lumicade_convert_write_with_qt";
constexpr const char* kQtDecoderSymbol = "lumicade_convert_picture_decoder";

// The writer, the module loaded at the first call; null with *why set when
// the module cannot be loaded.
WriteWithQt qtWriter(std::string* why);

// The picture decoder the converter installs at its start: it loads the
// module at the first picture a drawing shows, and no sooner.
std::shared_ptr<cad::render::PictureDecoder> moduleDecoder();

}  // namespace lumicade::convert
