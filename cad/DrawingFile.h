#pragma once
// Open a drawing by its content: DWG when it starts with "AC10" (the releases
// before R2.5: "AC1." or "AC2."), otherwise DXF (ASCII or binary).
// Throws cad::ReadError with a one-line reason.
#include <string>

#include "cad/model/Drawing.h"

namespace cad {

Drawing readDrawingFile(const std::string& path);

}  // namespace cad
