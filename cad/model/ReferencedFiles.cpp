#include "cad/model/ReferencedFiles.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace cad {

namespace fs = std::filesystem;

namespace {

bool isFile(const fs::path& p) {
    std::error_code ec;
    return !p.empty() && fs::is_regular_file(p, ec);
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A Windows path names its drive ("C:/...") or a share ("//server/..."),
// neither of which exists here.
bool windowsAbsolute(const std::string& p) {
    return (p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':') || p.rfind("//", 0) == 0;
}

// The file of that name in the folder, matched without regard to case when
// no exact match exists. Folders with very many entries are not searched
// through: the exact name has been tried already.
fs::path inFolder(const fs::path& folder, const std::string& name) {
    if (name.empty() || folder.empty()) return {};
    const fs::path exact = folder / name;
    if (isFile(exact)) return exact;
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    const std::string wanted = lower(name);
    for (int seen = 0; !ec && it != end && seen < 10000; it.increment(ec), ++seen)
        if (lower(it->path().filename().string()) == wanted && isFile(it->path())) return it->path();
    return {};
}

}  // namespace

std::string portablePath(const std::string& storedPath) {
    std::string p = storedPath;
    std::replace(p.begin(), p.end(), '\\', '/');
    // Writers sometimes leave spaces around the name.
    while (!p.empty() && (p.back() == ' ' || p.back() == '\t')) p.pop_back();
    std::size_t first = 0;
    while (first < p.size() && (p[first] == ' ' || p[first] == '\t')) ++first;
    return p.substr(first);
}

std::string findReferencedFile(const std::string& storedPath, const std::string& hostPath) {
    const std::string stored = portablePath(storedPath);
    if (stored.empty()) return {};
    const fs::path storedFs(stored);
    if (storedFs.is_absolute() && isFile(storedFs)) return storedFs.string();
    if (hostPath.empty()) return {};
    const fs::path folder = fs::path(hostPath).parent_path().empty() ? fs::path(".") : fs::path(hostPath).parent_path();
    if (!storedFs.is_absolute() && !windowsAbsolute(stored)) {
        const fs::path relative = folder / storedFs;
        if (isFile(relative)) return relative.lexically_normal().string();
    }
    const std::size_t slash = stored.find_last_of('/');
    std::string name = slash == std::string::npos ? stored : stored.substr(slash + 1);
    if (name.size() >= 2 && name[1] == ':') name = name.substr(2);  // "C:base.dwg"
    return inFolder(folder, name).lexically_normal().string();
}

std::string refusedReference(const ReferenceRules& rules, const std::string& path) {
    switch (rules.scope) {
    case ReferenceScope::Any: return {};
    case ReferenceScope::None: return "files other than the drawing are not drawn";
    case ReferenceScope::Below: break;
    }
    std::error_code ec;
    const fs::path root = fs::weakly_canonical(fs::absolute(rules.root.empty() ? fs::path(".") : fs::path(rules.root), ec), ec);
    const fs::path file = fs::weakly_canonical(fs::absolute(fs::path(path), ec), ec);
    if (ec || root.empty()) return "it lies outside the drawing's folder";
    // Whole names compared: /plans is no folder of /plans2/x.dwg.
    auto r = root.begin(), f = file.begin();
    for (; r != root.end() && !r->empty(); ++r, ++f)
        if (f == file.end() || *f != *r) return "it lies outside the drawing's folder";
    return {};
}

}  // namespace cad
