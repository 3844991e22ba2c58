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

// A picture's name follows from its drawing and the options alone, never
// from the order of the list nor from what an earlier run left:
// - plan.dwg gives plan.jpg;
// - a drawing keeps its extension (plan.dxf.jpg) when a DWG or DXF of the
//   same name lies beside it that comes first, whether or not that one is
//   converted: a DWG before a DXF before any other extension, each kind in
//   byte order;
// - drawings from different folders that would share a picture in one run
//   each get a tag from their whole path instead (plan~1f0e93a2.jpg), the
//   same whichever comes first;
// - a picture never lands on a drawing of the run, compared by the file it
//   is (device and inode, links followed): that drawing's picture keeps its
//   extension instead.
// A drawing listed twice, under any spelling, is converted once.
std::vector<Job> planOutputs(const std::vector<Found>& found, const Options& options);

// The tag that tells apart drawings of one name from different folders: a
// hash of the drawing's whole path, links resolved, as eight hex digits.
std::string pathTag(const std::string& drawing);

}  // namespace lumicade::convert
