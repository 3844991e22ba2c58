#pragma once
// Reading a DXF file (ASCII, or binary) into the drawing model.
#include <cstdint>
#include <string_view>
#include <vector>

#include "cad/model/Drawing.h"

namespace cad::dxf {

// Throws cad::ReadError with a one-line reason when the bytes are not a DXF
// drawing or break off in the middle of one.
cad::Drawing readDxf(std::string_view file);
cad::Drawing readDxf(const std::vector<std::uint8_t>& file);

// True when the bytes look like the start of a DXF file (either form).
bool looksLikeDxf(std::string_view file);

}  // namespace cad::dxf
