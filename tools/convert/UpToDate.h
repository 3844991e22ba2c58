#pragma once
// --skip-up-to-date: a picture made from this drawing as it is now, with the
// options of this run, by this version of the program needs no new run.
#include <string>
#include <vector>

#include "tools/convert/Options.h"

namespace lumicade::convert {

// The files besides the drawing whose change shows in its picture (external
// references, images, underlays, fonts). Empty for now: finding them
// without a full read of the drawing belongs with the lookup of referenced
// files, and this is where that lookup plugs in.
std::vector<std::string> referencedFiles(const std::string& drawing);

// What a picture of the drawing made now, with these options, records (see
// PictureRecord.h): taken before the drawing is read, so that a change while
// it is converted shows at the next run. Empty when the drawing cannot be
// looked at.
std::string pictureRecord(const std::string& drawing, const Options& options);

// True when the picture holds the record a picture made now would hold.
// Otherwise *why says what differs: no record (an older run's picture or
// another program's), another drawing, a changed drawing or referenced
// file, other options, another version.
bool pictureUpToDate(const std::string& drawing, const std::string& picture, const Options& options,
                     std::string* why = nullptr);

}  // namespace lumicade::convert
