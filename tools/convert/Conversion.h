#pragma once
// One drawing, start to end, as a worker process does it: read, draw,
// encode, and write the picture in place of any earlier one.
#include "tools/convert/Options.h"
#include "tools/convert/Outcome.h"
#include "tools/convert/OutputPlan.h"

namespace lumicade::convert {

Outcome convertDrawing(const Job& job, const Options& options);

}  // namespace lumicade::convert
