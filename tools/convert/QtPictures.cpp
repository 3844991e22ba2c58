#include "tools/convert/QtPictures.h"

#include <mutex>

#include "cad/render/Modules.h"

namespace lumicade::convert {

// Where the module is installed, beside the running program, or else built.
PaintWithQt qtPainter(std::string* why) {
    static std::once_flag once;
    static PaintWithQt entry = nullptr;
    static std::string failure;
    std::call_once(once, [] {
        entry = reinterpret_cast<PaintWithQt>(cad::render::moduleEntry(
            LUMICADE_QT_MODULE_INSTALLED, LUMICADE_QT_MODULE_BUILT, kPaintWithQtSymbol, &failure));
    });
    if (!entry && why) *why = failure;
    return entry;
}

}  // namespace lumicade::convert
