#include "tools/convert/PaintWithoutQt.h"

#include <memory>
#include <new>

#include "cad/render/Frontend.h"
#include "cad/render/QtParts.h"
#include "cad/render/RasterScene.h"
#include "convert/JpegFile.h"
#include "tools/convert/PictureFormats.h"

namespace lumicade::convert {

bool paintWithoutQt(const cad::Drawing& drawing, const cad::render::RenderOptions& options, bool blackBackground,
                    int quality, HuffmanTables tables, std::vector<unsigned char>& bytes, cad::Losses* losses) {
    using namespace cad::render;
    try {
        const Scene scene = buildScene(drawing, options);
        RenderOptions paint = paintOptions(drawing, options);
        paint.background = blackBackground ? 0xFF000000u : 0xFFFFFFFFu;
        const PixelView view = fitView(viewOf(scene, options), paint);
        std::unique_ptr<Canvas> picture;
        try {
            picture = std::make_unique<Canvas>(view.width, view.height, paint.background);
        } catch (const std::bad_alloc&) {
            throw PictureError("cannot draw it: no memory for the picture");
        }
        Canvas& canvas = *picture;
        paintScene(canvas, scene, view, paint);
        std::string why;
        if (encodeJpegPixels(reinterpret_cast<const unsigned char*>(canvas.row(0)), canvas.width(), canvas.height(),
                             canvas.bytesPerLine(), PixelLayout::Rgb32, quality, bytes, kDrawingSubsampling, &why,
                             tables) != JpegStatus::Ok)
            throw PictureError("cannot encode the picture" + (why.empty() ? std::string() : ": " + why));
        *losses = drawing.losses;
        losses->add(scene.losses);
        return true;
    } catch (const NeedsQt&) {
        return false;
    }
}

}  // namespace lumicade::convert
