#pragma once
// The file layouts: sections at offsets the file header lists (R13 to 2000),
// and the paged layouts of 2004 and later. Each reader checks the file's
// structure, unpacks the sections the object decoders need and hands them
// over as DwgSections (see DwgSections.h for what each buffer holds).
// Damaged or truncated files throw cad::ReadError with a one-line reason.
#include <cstdint>
#include <vector>

#include "cad/dwg/DwgSections.h"

namespace cad::dwg {

// AC1012 (R13), AC1014 (R14) and AC1015 (2000): the sections the file header
// locates. Throws cad::ReadError for other versions and damaged headers.
DwgSections readSectionsR13(const std::vector<std::uint8_t>& file);

// AC1018 (2004), AC1024 (2010), AC1027 (2013) and AC1032 (2018).
DwgSections readSectionsR2004(const std::vector<std::uint8_t>& file);

// AC1021 (2007).
DwgSections readSectionsR2007(const std::vector<std::uint8_t>& file);

}  // namespace cad::dwg
