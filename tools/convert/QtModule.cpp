// The converter's module for what it writes through Qt (see QtPictures.h).
// Its engine calls are bound to the program's own engine when it is loaded.
#include <exception>

#include "cad/render/QtPictureDecoder.h"
#include "tools/convert/PictureFormats.h"
#include "tools/convert/QtPictures.h"

using namespace lumicade::convert;

extern "C" __attribute__((visibility("default"))) void lumicade_convert_write_with_qt(const QtPictureRequest& request,
                                                                                     QtPictureResult& result) {
    try {
        result.bytes = writePicture(request);
    } catch (const PictureError& e) {
        result.failure = e.what();
    } catch (const std::exception& e) {
        result.failure = std::string("cannot draw it: ") + e.what();
    }
}

extern "C" __attribute__((visibility("default"))) cad::render::PictureDecoder* lumicade_convert_picture_decoder() {
    static const std::shared_ptr<cad::render::PictureDecoder> decoder = cad::render::qtPictureDecoder();
    return decoder.get();
}
