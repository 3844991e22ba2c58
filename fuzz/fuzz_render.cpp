// Any bytes read as a DXF drawing, then drawn into a small picture: the
// scene is built and painted within the work budgets, whatever the drawing
// holds, with the painter of our own and through Qt's, as documents are
// painted. Drawings the reader refuses end there.
#include <QPainter>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cad/dxf/DxfReader.h"
#include "cad/render/Backend.h"
#include "cad/render/Frontend.h"
#include "cad/render/Render.h"

// fontconfig keeps a few bytes of its configuration to the end of the
// process; the leak checker is told so.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Text is laid out with Qt's fonts, which need a GUI application.
    return cad::render::ensureGuiApplication() ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    cad::Drawing drawing;
    try {
        drawing = cad::dxf::readDxf(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const cad::ReadError&) {
        return 0;
    }
    cad::render::RenderOptions options;
    options.longSide = 96;
    // Budgets a little below the defaults' scale keep each input quick; the
    // defaults are the same code with larger numbers.
    options.budgets.primitives = 200000;
    options.budgets.vertices = 1000000;
    options.budgets.glyphs = 100000;
    options.budgets.instances = 50000;
    options.budgets.hatchWork = 2000000;
    std::string simplified;
    const QImage picture = cad::render::renderDrawing(drawing, options, &simplified);
    (void)picture;

    // The same scene through the painter of Qt's kept for documents.
    using namespace cad::render;
    const Scene scene = buildScene(drawing, options);
    const RenderOptions paint = paintOptions(drawing, options);
    const PixelView view = fitView(viewOf(scene, options), paint);
    QImage page(view.width, view.height, QImage::Format_RGB32);
    if (page.isNull()) return 0;
    QPainter painter(&page);
    paintSceneOn(painter, scene, view, paint);
    return 0;
}
