#include "tools/convert/OutputPlan.h"

#include <cstdio>
#include <dirent.h>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <utility>

#include "tools/convert/FileNames.h"
#include "tools/convert/Shard.h"

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

bool isDrawingName(const std::string& name) {
    const std::string ext = asciiLower(suffix(name));
    return ext == "dwg" || ext == "dxf";
}

// Which of two drawings of one name takes the plain picture name: a DWG,
// then a DXF, then any other (a drawing given by name as plan.bak), each
// kind in byte order (plan.DWG before plan.dwg).
int kindRank(const std::string& name) {
    const std::string ext = asciiLower(suffix(name));
    return ext == "dwg" ? 0 : ext == "dxf" ? 1 : 2;
}

bool ranksBefore(const std::string& a, const std::string& b) {
    const int ka = kindRank(a), kb = kindRank(b);
    return ka != kb ? ka < kb : a < b;
}

// The DWG and DXF names of each folder asked about, each folder read once.
class Siblings {
public:
    // False when a drawing of the same name beside this one takes the plain
    // picture name. A folder that cannot be listed has no siblings: its
    // drawings fail or convert on their own merits.
    bool takesPlainName(const std::string& path) {
        const fs::path p(path);
        const std::string name = fileNamePart(path);
        const std::string base = completeBaseName(name);
        for (const std::string& other : namesIn(p.has_parent_path() ? p.parent_path().native() : std::string(".")))
            if (other != name && completeBaseName(other) == base && ranksBefore(other, name)) return false;
        return true;
    }

private:
    const std::vector<std::string>& namesIn(const std::string& folder) {
        auto [it, added] = folders_.try_emplace(folder);
        if (!added) return it->second;
        std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
        while (dir) {
            const dirent* entry = ::readdir(dir.get());
            if (!entry) break;
            if (isDrawingName(entry->d_name)) it->second.emplace_back(entry->d_name);
        }
        return it->second;
    }

    std::map<std::string, std::vector<std::string>> folders_;
};

struct Planned {
    std::size_t job;
    fs::path folder;
    std::string stem;  // the picture's name without its extension
};

}  // namespace

std::string pathTag(const std::string& drawing) {
    char tag[16];
    std::snprintf(tag, sizeof tag, "%08x", static_cast<unsigned>(stablePathHash(placeOf(drawing)) & 0xFFFFFFFFu));
    return tag;
}

std::vector<Job> planOutputs(const std::vector<Found>& found, const Options& o) {
    std::set<Identity> inputs;
    std::vector<Job> jobs;
    std::vector<Planned> planned;
    Siblings siblings;
    jobs.reserve(found.size());
    for (const Found& f : found) {
        Identity id{};
        const bool exists = f.problem.empty() && identityOf(f.path, &id);
        if (exists && !inputs.insert(id).second) continue;  // listed before
        Job job;
        job.input = f.path;
        job.refusal = f.problem;
        if (f.problem.empty()) {
            const std::string fileName = fileNamePart(f.path);
            planned.push_back({jobs.size(), outputFolder(f, o),
                               siblings.takesPlainName(f.path) ? completeBaseName(fileName) : fileName});
        }
        jobs.push_back(std::move(job));
    }

    const std::string extension = std::string(".") + pictureExtension(o.format);
    auto outputOf = [&](const Planned& p) { return (p.folder / (p.stem + extension)).native(); };
    auto overInput = [&](const std::string& output) {
        Identity id{};
        return identityOf(output, &id) && inputs.count(id);
    };
    // plan.dxf beside a drawing called plan.jpg keeps its extension.
    for (Planned& p : planned) {
        const std::string fileName = fileNamePart(jobs[p.job].input);
        if (p.stem != fileName && overInput(outputOf(p))) p.stem = fileName;
    }
    // Drawings from different folders whose pictures would meet are all
    // tagged, so that none of them owes its name to coming first.
    std::map<std::string, int> meeting;
    for (const Planned& p : planned) ++meeting[placeOf(outputOf(p))];
    for (Planned& p : planned)
        if (meeting[placeOf(outputOf(p))] > 1) p.stem += "~" + pathTag(jobs[p.job].input);

    std::set<std::string> takenPlaces;
    std::set<Identity> takenFiles;  // pictures that exist already, reached through any spelling
    for (const Planned& p : planned) {
        Job& job = jobs[p.job];
        job.output = outputOf(p);
        Identity id{};
        const bool exists = identityOf(job.output, &id);
        if (exists && inputs.count(id)) {
            job.refusal = "its picture would overwrite the input file " + displayName(job.output);
        } else if (!takenPlaces.insert(placeOf(job.output)).second || (exists && !takenFiles.insert(id).second)) {
            job.refusal = "its picture " + displayName(job.output) + " is already made from another drawing";
        }
    }
    return jobs;
}

}  // namespace lumicade::convert
