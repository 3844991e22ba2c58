#pragma once
// Pictures decoded by Qt's image readers, and PDF pages drawn through the
// Poppler module where it was built (see PdfPages.h). A program with Qt's
// GUI library installs it at its start: installPictureDecoder(qtPictureDecoder()).
#include <memory>

#include "cad/render/PictureDecoder.h"

namespace cad::render {

std::shared_ptr<PictureDecoder> qtPictureDecoder();

}  // namespace cad::render
