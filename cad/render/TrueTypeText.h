#pragma once
// Text set in TrueType faces: glyph outlines placed on the baseline and
// scaled so that capitals stand as high as the text. A format without a
// face of its own is set in the default face.
#include "cad/render/TextLayout.h"

namespace cad::render {

// Depth of descenders below the baseline, per cap height.
double trueTypeDescent(const TextFormat& format);
double defaultTrueTypeDescent();

// Lays a run out from x: its advance in drawing units, spacing (tracking)
// included; adds the filled outlines of its glyphs when fill is given.
// Characters the face lacks come from a face that has them.
double setTrueTypeRun(const TextRun& run, double x, double baseline, Path* fill);

// A character a shape font lacks, from a face that has it, scaled to the
// format's cap height: its advance, and its outline at pen when fill is given.
double missingCharacter(char32_t c, const TextFormat& format, double pen, double baseline, Path* fill);

}  // namespace cad::render
