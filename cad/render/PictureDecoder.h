#pragma once
// What a scene needs from outside the engine to show raster pictures: image
// files decoded, and pages of PDF files drawn. Each program installs its
// decoder by an explicit call at its start. Without one, images and
// underlays are drawn as their frames, and each is named as lost.
#include <memory>
#include <string>

#include "cad/render/Scene.h"

namespace cad::render {

struct DecodedPicture {
    std::shared_ptr<const Pixels> pixels;  // 0xAARRGGBB, not premultiplied; null when not decoded
    bool bitonal = false;      // two colours, ink 0xFF000000 and paper 0xFFFFFFFF: a scan, shown in the entity's colour
    double dotsPerInch = 72;   // the resolution a PDF page was drawn at, which gives its size on paper
    std::string problem;       // why there are no pixels, in words for the user
};

class PictureDecoder {
public:
    virtual ~PictureDecoder() = default;
    // The image in file (opened by that path; already weighed), name being
    // how messages call it and suffix the file's lower-case ending, a hint
    // of its format. Images too large to keep whole come scaled down.
    virtual DecodedPicture image(const std::string& file, const std::string& name, const std::string& suffix) = 0;
    // Page pageName of a PDF file (a number from 1; anything else means the
    // first page), drawn at most maxPixels along its long side.
    virtual DecodedPicture pdfPage(const std::string& file, const std::string& name, const std::string& pageName,
                                   double maxPixels) = 0;
};

// The program's decoder, for every drawing and thread from now on.
void installPictureDecoder(std::shared_ptr<PictureDecoder> decoder);
std::shared_ptr<PictureDecoder> pictureDecoder();

}  // namespace cad::render
