#include "cad/fonts/TrueTypeFaces.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "cad/fonts/FontFinder.h"

namespace cad::fonts {

namespace {

struct Faces {
    std::mutex mutex;
    std::map<std::pair<std::filesystem::path, int>, std::shared_ptr<const TrueTypeFace>> byFile;
    // The faces that stood in for a character so far, in the order found.
    std::vector<std::shared_ptr<const TrueTypeFace>> standIns;
};

Faces& faces() {
    static Faces f;
    return f;
}

bool sameFamily(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

}  // namespace

std::shared_ptr<const TrueTypeFace> faceOfFile(const std::filesystem::path& file, int index) {
    if (file.empty()) return nullptr;
    Faces& f = faces();
    // Read under the lock: two threads wanting one face read it once.
    std::lock_guard lock(f.mutex);
    auto [it, fresh] = f.byFile.try_emplace({file, index});
    if (fresh) it->second = TrueTypeFace::open(file, index);  // a file that is no font is remembered as such
    return it->second;
}

std::shared_ptr<const TrueTypeFace> defaultFace(FontFinder& finder, bool mono) {
    const auto found = finder.familyFace(mono ? "DejaVu Sans Mono" : "DejaVu Sans");
    return found ? faceOfFile(found->file, found->index) : nullptr;
}

FaceStyle styledFace(const std::shared_ptr<const TrueTypeFace>& face, bool bold, bool italic, FontFinder& finder) {
    FaceStyle out{face, false, false};
    if (!face || (face->bold() == bold && face->italic() == italic) || (!bold && !italic)) return out;
    bold = bold && !face->bold();
    italic = italic && !face->italic();
    // The family's own face of the style, when it has one; fontconfig may
    // answer with another family, which would change the text's look.
    if (const auto found = finder.familyFace(face->family(), bold || face->bold(), italic || face->italic());
        found && sameFamily(found->family, face->family()))
        if (auto styled = faceOfFile(found->file, found->index)) {
            out.face = std::move(styled);
            bold = bold && !out.face->bold();
            italic = italic && !out.face->italic();
        }
    out.emboldened = bold;
    out.slanted = italic;
    return out;
}

std::shared_ptr<const TrueTypeFace> fallbackFace(char32_t c, FontFinder& finder) {
    // A face that stood in before is asked first: text that needs one face
    // for a character (a CJK face) mostly needs it for the next ones too,
    // and fontconfig takes most of a millisecond to name a face for each.
    Faces& f = faces();
    {
        std::lock_guard lock(f.mutex);
        for (const auto& face : f.standIns)
            if (face->glyph(c)) return face;
    }
    const auto found = finder.faceFor(c);
    auto face = found ? faceOfFile(found->file, found->index) : nullptr;
    if (!face || !face->glyph(c)) return nullptr;
    std::lock_guard lock(f.mutex);
    if (std::find(f.standIns.begin(), f.standIns.end(), face) == f.standIns.end()) f.standIns.push_back(face);
    return face;
}

}  // namespace cad::fonts
