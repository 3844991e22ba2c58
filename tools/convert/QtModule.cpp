// The converter's module for what it paints through Qt (see QtPictures.h).
#include <algorithm>
#include <exception>
#include <mutex>

#include "cad/render/TextFonts.h"
#include "tools/convert/PictureFormats.h"
#include "tools/convert/QtPictures.h"

using namespace lumicade::convert;

extern "C" __attribute__((visibility("default"))) void lumicade_convert_paint_with_qt(const QtPictureRequest& request,
                                                                                      QtPictureResult& result) {
    static std::once_flag folders;
    std::call_once(folders, [&] {
        cad::shareNames(request.names);
        cad::render::setFontFolders({request.fontFolders.begin(), request.fontFolders.end()});
    });
    try {
        result.bytes = encodeDrawing(*request.drawing, *request.options, request.format, request.quality, request.tables,
                                     request.title, request.record, &result.losses);
    } catch (const PictureError& e) {
        result.failure = e.what();
    } catch (const std::exception& e) {
        result.failure = std::string("cannot draw it: ") + e.what();
    }
    result.substitutions = cad::render::fontSubstitutions();
}
