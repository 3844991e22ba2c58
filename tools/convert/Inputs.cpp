#include "tools/convert/Inputs.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

#include "tools/convert/FileNames.h"

namespace lumicade::convert {

namespace {

std::string join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool wanted(const std::string& name, const Options& o) {
    const std::string ext = asciiLower(suffix(name));
    return std::find(o.extensions.begin(), o.extensions.end(), ext) != o.extensions.end();
}

// Lists one folder with readdir, which hands out names as bytes; subfolders
// are entered (without following links to folders) when recursive.
void scan(const std::string& folder, const std::string& sub, const Options& o, std::vector<Found>& found) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir) {
        found.push_back({folder, sub, std::string("cannot read the folder: ") + std::strerror(errno)});
        return;
    }
    std::vector<std::string> subfolders;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (!entry) break;
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = join(folder, name);
        struct stat link {};
        if (::lstat(path.c_str(), &link) != 0) {
            if (wanted(name, o)) found.push_back({path, sub, std::string("cannot look at it: ") + std::strerror(errno)});
            continue;
        }
        if (S_ISDIR(link.st_mode)) {
            if (o.recursive) subfolders.push_back(name);
            continue;
        }
        if (!wanted(name, o)) continue;
        struct stat target {};
        if (::stat(path.c_str(), &target) != 0) {
            found.push_back({path, sub, std::string("a link to nothing: ") + std::strerror(errno)});
        } else if (S_ISDIR(target.st_mode)) {
            continue;  // a link to a folder named like a drawing
        } else if (!S_ISREG(target.st_mode)) {
            // A pipe or a device would block the reader or never end.
            found.push_back({path, sub, "not a regular file"});
        } else {
            found.push_back({path, sub, {}});
        }
    }
    if (errno != 0) found.push_back({folder, sub, std::string("cannot read the whole folder: ") + std::strerror(errno)});
    dir.reset();
    for (const std::string& name : subfolders) scan(join(folder, name), join(sub, name), o, found);
}

}  // namespace

std::vector<Found> collectDrawings(const Options& o) {
    std::vector<Found> files;
    for (const std::string& input : o.inputs) {
        struct stat info {};
        if (::stat(input.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            std::vector<Found> found;
            scan(input, {}, o, found);
            std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.path < b.path; });
            files.insert(files.end(), found.begin(), found.end());
        } else {
            files.push_back({input, {}, {}});  // a missing file fails with its reason later
        }
    }
    return files;
}

std::vector<std::string> foldersWithSubfolders(const Options& o) {
    std::vector<std::string> folders;
    for (const std::string& input : o.inputs) {
        std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(input.c_str()), &::closedir);
        while (dir) {
            const dirent* entry = ::readdir(dir.get());
            if (!entry) break;
            const std::string name = entry->d_name;
            struct stat link {};
            if (name != "." && name != ".." && ::lstat(join(input, name).c_str(), &link) == 0 && S_ISDIR(link.st_mode)) {
                folders.push_back(input);
                break;
            }
        }
    }
    return folders;
}

}  // namespace lumicade::convert
