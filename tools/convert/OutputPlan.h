#pragma once
// Where each drawing's picture goes. Planned for the whole list before it is
// split into shards, so every machine of a shared run names the pictures as
// one run would.
#include <string>
#include <vector>

#include "tools/convert/Inputs.h"
#include "tools/convert/Options.h"

namespace lumicade::convert {

struct Job {
    std::string input;    // file-system bytes, as given or found
    std::string output;   // empty when there is none to name
    std::string refusal;  // why it is not converted at all, when set
};

// Outputs never land on an input of the run, compared by the file they are
// (device and inode, links followed), not by how the paths are spelled, and
// never two drawings share one picture: a drawing whose picture name is
// taken (plan.dwg beside plan.dxf) keeps its extension in the name
// (plan.dxf.jpg), then gets a number (plan.dxf (2).jpg).
std::vector<Job> planOutputs(const std::vector<Found>& found, const Options& options);

}  // namespace lumicade::convert
