#pragma once
// --skip-up-to-date: a picture newer than its drawing, and than every file
// the drawing draws from, needs no new run.
#include <string>
#include <vector>

namespace lumicade::convert {

// The files besides the drawing whose change shows in its picture (external
// references, images, underlays, fonts). Empty for now: finding them
// without a full read of the drawing belongs with the lookup of referenced
// files, and this is where that lookup plugs in.
std::vector<std::string> referencedFiles(const std::string& drawing);

// True when the picture exists and its modification time is later than the
// drawing's and every referenced file's (to the nanosecond). A reference
// that cannot be found does not count against the picture.
bool pictureUpToDate(const std::string& drawing, const std::string& picture);

}  // namespace lumicade::convert
