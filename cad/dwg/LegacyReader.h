#pragma once
// Reading DWG files of the releases before R13 (AC1.2 to AC1009): a file
// header with the places of the entity, block and extra entity sections and
// of the tables, the header variables, tables of fixed-size records, and the
// entity records.
#include <cstdint>
#include <string>
#include <vector>

#include "cad/model/Drawing.h"

namespace cad::dwg {

// Whether the version string (the file's first bytes up to the first zero,
// "AC1.50", "AC2.10", "AC1009" ...) is one of these releases.
bool isLegacyVersion(const std::string& versionString);

// Throws cad::ReadError with a one-line reason for damaged or truncated files.
cad::Drawing readLegacyDwg(const std::vector<std::uint8_t>& file);

}  // namespace cad::dwg
