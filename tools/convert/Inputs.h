#pragma once
// The drawings of a run: files as given, folders scanned for the extensions.
#include <string>
#include <vector>

#include "tools/convert/Options.h"

namespace lumicade::convert {

struct Found {
    std::string path;       // file-system bytes
    std::string subfolder;  // below the folder that was scanned, for --output-dir
    std::string problem;    // why it cannot be converted at all, when set (an unreadable folder, a device)
};

// Every name a scanned folder holds with a matching extension is returned,
// whatever bytes it is spelled in; a subfolder that cannot be read is
// returned as a problem rather than left out in silence. Within one folder
// argument, paths are in byte order.
std::vector<Found> collectDrawings(const Options& options);

// The folders among the inputs that hold subfolders, for the hint that
// --recursive would look into them.
std::vector<std::string> foldersWithSubfolders(const Options& options);

}  // namespace lumicade::convert
