#pragma once
// The files the converter writes through Qt: raster formats from the pixels
// our painter made, PDF and SVG by painting the scene on their own devices,
// so lines and text stay vectors.
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/convert/QtPictures.h"

namespace lumicade::convert {

struct PictureError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The file's bytes. Throws PictureError with a reason when it cannot be
// made. PDF documents keep the record (see PictureRecord.h) in their
// metadata; the other formats get it added to their bytes.
std::vector<unsigned char> writePicture(const QtPictureRequest& request);

}  // namespace lumicade::convert
