#include "tools/convert/Painting.h"

#include <memory>
#include <new>

#include "cad/render/Frontend.h"
#include "cad/render/RasterScene.h"
#include "tools/convert/PictureFormats.h"

namespace lumicade::convert {

namespace {

std::vector<unsigned char> throughQt(QtPictureRequest& request) {
    std::string why;
    const WriteWithQt write = qtWriter(&why);
    if (!write) throw PictureError("cannot load the Qt painter: " + why);
    QtPictureResult result;
    write(request, result);
    if (!result.failure.empty()) throw PictureError(result.failure);
    return std::move(result.bytes);
}

std::unique_ptr<cad::render::Canvas> canvasFor(const cad::render::PixelView& view, std::uint32_t background) {
    try {
        return std::make_unique<cad::render::Canvas>(view.width, view.height, background | 0xFF000000u);
    } catch (const std::bad_alloc&) {
        throw PictureError("cannot draw it: no memory for the picture");
    }
}

}  // namespace

std::vector<unsigned char> paintPicture(const cad::Drawing& drawing, const cad::render::RenderOptions& options,
                                        const PictureRequest& request, cad::Losses* losses) {
    using namespace cad::render;
    const Scene scene = buildScene(drawing, options);
    const RenderOptions paint = paintOptions(drawing, options);
    const PixelView view = fitView(viewOf(scene, options), paint);
    *losses = drawing.losses;
    losses->add(scene.losses);

    QtPictureRequest qt;
    qt.format = request.format;
    qt.title = request.title;
    qt.record = request.record;
    if (request.format == Format::Pdf || request.format == Format::Svg) {
        qt.scene = &scene;
        qt.view = &view;
        qt.options = &paint;
        return throughQt(qt);
    }
    const std::unique_ptr<Canvas> canvas = canvasFor(view, paint.background);
    paintScene(*canvas, scene, view, paint);
    if (request.format != Format::Jpeg) {
        qt.pixels = canvas->row(0);
        qt.width = canvas->width();
        qt.height = canvas->height();
        qt.bytesPerLine = canvas->bytesPerLine();
        return throughQt(qt);
    }
    std::vector<unsigned char> bytes;
    std::string why;
    if (encodeJpegPixels(reinterpret_cast<const unsigned char*>(canvas->row(0)), canvas->width(), canvas->height(),
                         canvas->bytesPerLine(), PixelLayout::Rgb32, request.quality, bytes, kDrawingSubsampling, &why,
                         request.tables) != JpegStatus::Ok)
        throw PictureError("cannot encode the picture" + (why.empty() ? std::string() : ": " + why));
    return bytes;
}

}  // namespace lumicade::convert
