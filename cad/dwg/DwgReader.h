#pragma once
// Reading a DWG file into the drawing model.
#include <cstdint>
#include <vector>

#include "cad/model/Drawing.h"

namespace cad::dwg {

// Reads the version from the first six bytes ("AC1.50" ... "AC1032") and
// decodes the whole drawing. Throws cad::ReadError with a one-line reason for
// unknown versions and for damaged or truncated files.
cad::Drawing readDwg(const std::vector<std::uint8_t>& file);
// The same, letting go of the file's bytes as soon as its sections are out
// of it, so that the file and the drawing made of it are not held at once.
cad::Drawing readDwg(std::vector<std::uint8_t>&& file);

}  // namespace cad::dwg
