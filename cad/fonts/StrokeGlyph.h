#pragma once
// A character of a single-stroke font: pen strokes in the font's own units,
// scaled so that the height of a capital letter is 1, with the baseline at
// y = 0 and the pen starting at x = 0. The advance is where the pen ends,
// that is where the next character starts.
#include <vector>

#include "cad/model/Geometry.h"

namespace cad::fonts {

struct StrokeGlyph {
    std::vector<std::vector<Vec2>> strokes;  // each at least two points
    double advance = 0;
    double advanceY = 0;                     // vertical pen movement (shapes may end off the baseline)
};

}  // namespace cad::fonts
