#pragma once
// Open a drawing by its content: DWG when it starts with "AC10" (the releases
// before R2.5: "AC1." or "AC2."), otherwise DXF (ASCII or binary).
// Throws cad::ReadError with a one-line reason.
#include <cstdint>
#include <string>
#include <vector>

#include "cad/model/Drawing.h"
#include "cad/model/ReferencedFiles.h"

namespace cad {

// The largest drawing we open: far beyond any real one. Files are weighed
// before they are read (see ReadableFile.h), so a larger one, a pipe or a
// device is refused at once.
constexpr std::uint64_t kMaxDrawingBytes = 1ULL << 30;

// The drawing as the file holds it; Drawing::sourcePath is the path given.
Drawing readDrawingFile(const std::string& path);
// The same from the file's bytes, read already.
Drawing readDrawingBytes(std::vector<std::uint8_t> bytes, const std::string& path);

// The drawing as the CAD application opens it: read, with its external
// references brought in (see ExternalReferences.h). A reference that is
// missing, unreadable or refused by the rules does not fail it:
// Drawing::referenceProblems names it.
Drawing openDrawing(const std::string& path, const ReferenceRules& rules = {});

}  // namespace cad
