#include "tools/convert/UpToDate.h"

#include <sys/stat.h>

namespace lumicade::convert {

namespace {

bool modified(const std::string& path, timespec* when) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    *when = info.st_mtim;
    return true;
}

bool later(const timespec& a, const timespec& b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

}  // namespace

std::vector<std::string> referencedFiles(const std::string& drawing) {
    (void)drawing;
    return {};
}

bool pictureUpToDate(const std::string& drawing, const std::string& picture) {
    timespec pictureTime{}, drawingTime{};
    if (!modified(picture, &pictureTime) || !modified(drawing, &drawingTime)) return false;
    if (!later(pictureTime, drawingTime)) return false;
    for (const std::string& reference : referencedFiles(drawing)) {
        timespec referenceTime{};
        if (modified(reference, &referenceTime) && !later(pictureTime, referenceTime)) return false;
    }
    return true;
}

}  // namespace lumicade::convert
