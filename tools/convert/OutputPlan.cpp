#include "tools/convert/OutputPlan.h"

#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <utility>

#include "tools/convert/FileNames.h"

namespace lumicade::convert {

namespace {

namespace fs = std::filesystem;
using Identity = std::pair<dev_t, ino_t>;

bool identityOf(const std::string& path, Identity* id) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    *id = {info.st_dev, info.st_ino};
    return true;
}

// One spelling for every path to the same place: links and ".." resolved as
// far as the path exists, the rest tidied.
std::string placeOf(const std::string& path) {
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(fs::absolute(fs::path(path), error), error);
    return error ? fs::absolute(fs::path(path)).lexically_normal().native() : canonical.native();
}

// The drawing's folder as given, for --mirror-tree: relative to the current
// folder when it lies below it, otherwise its whole path below the root.
fs::path mirroredFolder(const std::string& input) {
    const fs::path folder = fs::path(input).parent_path().lexically_normal();
    if (folder.is_relative() && !folder.empty() && *folder.begin() != "..") return folder == "." ? fs::path() : folder;
    return fs::absolute(fs::path(input)).parent_path().lexically_normal().relative_path();
}

fs::path outputFolder(const Found& f, const Options& o) {
    if (o.outputDir.empty()) return fs::absolute(fs::path(f.path)).parent_path().lexically_normal();
    const fs::path top = fs::absolute(fs::path(o.outputDir)).lexically_normal();
    return (top / (o.mirrorTree ? mirroredFolder(f.path) : fs::path(f.subfolder))).lexically_normal();
}

}  // namespace

std::vector<Job> planOutputs(const std::vector<Found>& found, const Options& o) {
    std::set<Identity> inputs;
    for (const Found& f : found) {
        Identity id;
        if (identityOf(f.path, &id)) inputs.insert(id);
    }
    const std::string extension = std::string(".") + pictureExtension(o.format);
    std::set<std::string> takenPlaces;
    std::set<Identity> takenFiles;  // pictures that exist already, reached through any spelling
    std::vector<Job> jobs;
    jobs.reserve(found.size());
    for (const Found& f : found) {
        Job job;
        job.input = f.path;
        if (!f.problem.empty()) {
            job.refusal = f.problem;
            jobs.push_back(std::move(job));
            continue;
        }
        const fs::path folder = outputFolder(f, o);
        const std::string fileName = fileNamePart(f.path);
        std::string output, place;
        bool overInput = false, taken = false;
        for (int n = 0; n < 1000; ++n) {
            const std::string name = n == 0   ? completeBaseName(fileName)
                                     : n == 1 ? fileName
                                              : fileName + " (" + std::to_string(n) + ")";
            output = (folder / (name + extension)).native();
            place = placeOf(output);
            Identity id{};
            const bool exists = identityOf(output, &id);
            overInput = exists && inputs.count(id);
            taken = takenPlaces.count(place) || (exists && takenFiles.count(id));
            if (!overInput && !taken) {
                takenPlaces.insert(place);
                if (exists) takenFiles.insert(id);
                break;
            }
        }
        job.output = output;
        if (overInput) job.refusal = "its picture would overwrite the input file " + displayName(output);
        else if (taken) job.refusal = "its picture " + displayName(output) + " is already made from another drawing";
        jobs.push_back(std::move(job));
    }
    return jobs;
}

}  // namespace lumicade::convert
