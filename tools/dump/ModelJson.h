#pragma once
// The drawing model written out as JSON, for people and for scripts that
// compare what the readers make of a file.
#include <ostream>

#include "cad/model/Drawing.h"

namespace lumicade {

void writeModelJson(std::ostream& out, const cad::Drawing& drawing);

}  // namespace lumicade
