#include "cad/fonts/FontFinder.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "cad/fonts/TrueTypeFaces.h"

namespace cad::fonts {

namespace fs = std::filesystem;

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Drawings made on Windows keep whole paths ("C:\Fonts\romans.shx").
std::string baseName(const std::string& name) {
    const auto cut = name.find_last_of("/\\");
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

std::string stem(const std::string& name) {
    const std::string base = baseName(name);
    const auto dot = base.rfind('.');
    return dot == std::string::npos ? base : base.substr(0, dot);
}

std::string extension(const std::string& name) {
    const std::string base = baseName(name);
    const auto dot = base.rfind('.');
    return dot == std::string::npos ? std::string() : lower(base.substr(dot));
}

// The files of the faces we reach for most (the metric twins and the faces
// of text without a font), regular, bold, italic and bold italic, as the
// Debian packages name them: found by name, they need no fontconfig.
struct KnownFamily {
    const char* family;
    const char* files[4];
};
constexpr KnownFamily kKnownFamilies[] = {
    {"Liberation Sans", {"LiberationSans-Regular.ttf", "LiberationSans-Bold.ttf", "LiberationSans-Italic.ttf", "LiberationSans-BoldItalic.ttf"}},
    {"Liberation Serif", {"LiberationSerif-Regular.ttf", "LiberationSerif-Bold.ttf", "LiberationSerif-Italic.ttf", "LiberationSerif-BoldItalic.ttf"}},
    {"Liberation Mono", {"LiberationMono-Regular.ttf", "LiberationMono-Bold.ttf", "LiberationMono-Italic.ttf", "LiberationMono-BoldItalic.ttf"}},
    {"DejaVu Sans", {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSans-Oblique.ttf", "DejaVuSans-BoldOblique.ttf"}},
    {"DejaVu Sans Mono", {"DejaVuSansMono.ttf", "DejaVuSansMono-Bold.ttf", "DejaVuSansMono-Oblique.ttf", "DejaVuSansMono-BoldOblique.ttf"}},
};

const KnownFamily* knownFamily(const std::string& family) {
    const std::string l = lower(family);
    for (const KnownFamily& k : kKnownFamilies)
        if (lower(k.family) == l) return &k;
    return nullptr;
}

// Font packages keep their files a level or two below the fonts folder.
constexpr int kInstalledDepth = 3;
constexpr int kInstalledEntries = 50000;  // a fonts folder larger than this is searched no further

// Fontconfig is set up once for the process; its calls are safe from any thread after that.
bool fontconfigReady() {
    static const bool ready = FcInit() == FcTrue;
    return ready;
}

std::optional<MatchedFont> match(FcPattern* pattern) {
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* found = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!found) return std::nullopt;
    MatchedFont m;
    FcChar8* value = nullptr;
    if (FcPatternGetString(found, FC_FAMILY, 0, &value) == FcResultMatch) m.family = reinterpret_cast<char*>(value);
    if (FcPatternGetString(found, FC_FILE, 0, &value) == FcResultMatch) m.file = reinterpret_cast<char*>(value);
    int index = 0;
    if (FcPatternGetInteger(found, FC_INDEX, 0, &index) == FcResultMatch) m.index = index;
    FcPatternDestroy(found);
    if (m.family.empty()) return std::nullopt;
    return m;
}

}  // namespace

std::optional<MatchedFont> matchFamily(const std::string& family, bool bold, bool italic) {
    if (!fontconfigReady()) return std::nullopt;
    FcPattern* p = FcPatternCreate();
    FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    if (bold) FcPatternAddInteger(p, FC_WEIGHT, FC_WEIGHT_BOLD);
    if (italic) FcPatternAddInteger(p, FC_SLANT, FC_SLANT_ITALIC);
    return match(p);
}

std::optional<MatchedFont> matchCharacter(char32_t c) {
    if (!fontconfigReady()) return std::nullopt;
    FcPattern* p = FcPatternCreate();
    FcCharSet* set = FcCharSetCreate();
    FcCharSetAddChar(set, static_cast<FcChar32>(c));
    FcPatternAddCharSet(p, FC_CHARSET, set);
    FcCharSetDestroy(set);
    // The best match may still lack the character: check it has it.
    auto m = match(p);
    if (!m || m->file.empty()) return std::nullopt;
    FcPattern* q = FcPatternCreate();
    FcPatternAddString(q, FC_FILE, reinterpret_cast<const FcChar8*>(m->file.c_str()));
    FcPatternAddBool(q, FC_SCALABLE, FcTrue);
    FcObjectSet* os = FcObjectSetBuild(FC_CHARSET, nullptr);
    FcFontSet* fonts = FcFontList(nullptr, q, os);
    bool has = false;
    for (int i = 0; fonts && i < fonts->nfont && !has; ++i) {
        FcCharSet* cs = nullptr;
        if (FcPatternGetCharSet(fonts->fonts[i], FC_CHARSET, 0, &cs) == FcResultMatch)
            has = FcCharSetHasChar(cs, static_cast<FcChar32>(c)) == FcTrue;
    }
    if (fonts) FcFontSetDestroy(fonts);
    FcObjectSetDestroy(os);
    FcPatternDestroy(q);
    if (!has) return std::nullopt;
    return m;
}

FontFinder::FontFinder(std::vector<fs::path> userFolders, std::vector<fs::path> standard)
    : userFolders_(std::move(userFolders)), standard_(std::move(standard)) {}

std::vector<fs::path> FontFinder::standardFolders() {
    std::vector<fs::path> out;
    const char* home = std::getenv("HOME");
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data) out.emplace_back(fs::path(data) / "fonts");
    else if (home && *home) out.emplace_back(fs::path(home) / ".local/share/fonts");
    if (home && *home) out.emplace_back(fs::path(home) / ".fonts");
    out.emplace_back("/usr/local/share/fonts");
    out.emplace_back("/usr/share/fonts");
    return out;
}

fs::path FontFinder::hersheyFolder() { return "/usr/share/hershey-fonts"; }

const std::map<std::string, fs::path>& FontFinder::listing(const fs::path& folder) const {
    const auto [it, fresh] = listings_.try_emplace(folder);
    if (!fresh) return it->second;
    std::map<std::string, fs::path>& files = it->second;
    // The folder's own files first, then those of its subfolders.
    std::error_code ec;
    std::vector<fs::path> subfolders;
    auto add = [&](const fs::path& dir, bool keepSubfolders) {
        for (fs::directory_iterator d(dir, ec), end; !ec && d != end; d.increment(ec)) {
            std::error_code e2;
            if (d->is_regular_file(e2)) files.try_emplace(lower(d->path().filename().string()), d->path());
            else if (keepSubfolders && d->is_directory(e2)) subfolders.push_back(d->path());
        }
        ec.clear();
    };
    add(folder, true);
    std::sort(subfolders.begin(), subfolders.end());
    for (const fs::path& sub : subfolders) add(sub, false);
    return files;
}

std::optional<fs::path> FontFinder::findFile(const std::string& name, const fs::path& drawingFolder) const {
    const std::string wanted = lower(baseName(name));
    if (wanted.empty()) return std::nullopt;
    std::lock_guard lock(mutex_);
    std::vector<fs::path> order;
    if (!drawingFolder.empty()) order.push_back(drawingFolder);
    order.insert(order.end(), userFolders_.begin(), userFolders_.end());
    order.insert(order.end(), standard_.begin(), standard_.end());
    for (const fs::path& folder : order) {
        const auto& files = listing(folder);
        if (const auto it = files.find(wanted); it != files.end()) return it->second;
    }
    return std::nullopt;
}

std::optional<fs::path> FontFinder::installedFile(const std::string& name) {
    std::lock_guard lock(mutex_);
    if (!installed_) {
        installed_.emplace();
        int entries = 0;
        for (const fs::path& folder : standard_) {
            // Within a folder the later of two files of one name wins, in
            // order of their paths: Debian's newer generation of a family
            // (liberation2) sorts after the older one, and fontconfig
            // prefers it too. An earlier folder wins over a later one.
            std::vector<fs::path> files;
            std::error_code ec;
            for (fs::recursive_directory_iterator d(folder, fs::directory_options::skip_permission_denied, ec), end;
                 !ec && d != end && ++entries < kInstalledEntries; d.increment(ec)) {
                std::error_code e2;
                if (d.depth() >= kInstalledDepth - 1) d.disable_recursion_pending();
                if (d->is_regular_file(e2)) files.push_back(d->path());
            }
            std::sort(files.begin(), files.end());
            std::map<std::string, fs::path> own;
            for (const fs::path& f : files) own[lower(f.filename().string())] = f;
            for (auto& [key, path] : own) installed_->try_emplace(key, std::move(path));
        }
    }
    const auto it = installed_->find(lower(name));
    if (it == installed_->end()) return std::nullopt;
    return it->second;
}

std::optional<MatchedFont> FontFinder::familyFace(const std::string& family, bool bold, bool italic) {
    const std::string key = lower(family) + (bold ? "\nb" : "") + (italic ? "\ni" : "");
    {
        std::lock_guard lock(mutex_);
        if (const auto it = familyFaces_.find(key); it != familyFaces_.end()) return it->second;
    }
    std::optional<MatchedFont> found;
    if (const KnownFamily* known = knownFamily(family))
        if (const auto file = installedFile(known->files[(bold ? 1 : 0) + (italic ? 2 : 0)]))
            found = MatchedFont{known->family, *file, 0};
    if (!found) found = matchFamily(family, bold, italic);
    std::lock_guard lock(mutex_);
    familyFaces_[key] = found;
    return found;
}

std::pair<std::string, double> FontFinder::hersheyStandIn(const std::string& shapeFontName) {
    const std::string s = lower(stem(shapeFontName));
    // The classic txt font is wider than the Hershey simplex: its letters
    // take a whole cap height each.
    if (s == "txt" || s == "monotxt" || s == "txt8" || s == "monotxt8") return {"rowmans", 1.12};
    if (s == "romand" || s == "isocpeur") return {"rowmand", 1.0};
    if (s == "romanc" || s == "romant") return {"rowmant", 1.0};
    if (s == "italic" || s == "italicc" || s == "italict" || s == "isocteur") return {"timesi", 1.0};
    if (s == "scripts") return {"scripts", 1.0};
    if (s == "scriptc") return {"scriptc", 1.0};
    if (s == "greeks") return {"greeks", 1.0};
    if (s == "greekc") return {"greekc", 1.0};
    if (s == "gothice") return {"gothiceng", 1.0};
    if (s == "gothicg") return {"gothicger", 1.0};
    if (s == "gothici") return {"gothicita", 1.0};
    if (s == "cyrillic" || s == "cyriltlc") return {"cyrillic", 1.0};
    if (s == "syastro") return {"astrology", 1.0};
    if (s == "symath") return {"mathlow", 1.0};
    if (s == "symusic") return {"music", 1.0};
    if (s == "symeteo") return {"meteorology", 1.0};
    if (s == "symap") return {"markers", 1.0};
    // simplex, romans, the iso fonts and every other shape font: the plain single stroke.
    return {"rowmans", 1.0};
}

std::string FontFinder::trueTypeFamily(const std::string& fontFile, const std::string& family) {
    std::string name = family;
    if (name.empty()) {
        const std::string s = lower(stem(fontFile));
        if (s.rfind("arial", 0) == 0) name = "Arial";
        else if (s.rfind("times", 0) == 0) name = "Times New Roman";
        else if (s.rfind("cour", 0) == 0) name = "Courier New";
        else name = stem(fontFile);
    }
    // The metric twins, asked for by name so the answer does not depend on
    // how fontconfig is set up.
    const std::string l = lower(name);
    if (l == "arial" || l == "helvetica" || l == "arial narrow") return "Liberation Sans";
    if (l == "times new roman" || l == "times") return "Liberation Serif";
    if (l == "courier new" || l == "courier") return "Liberation Mono";
    return name;
}

double FontFinder::twinCapHeight(const std::string& fontFile, const std::string& family) {
    const std::string twin = trueTypeFamily(fontFile, family);
    if (twin == "Liberation Sans") return 1467.0 / 2048;
    if (twin == "Liberation Serif") return 1356.0 / 2048;
    if (twin == "Liberation Mono") return 1170.0 / 2048;
    return 0;
}

void FontFinder::note(const std::string& line) {
    if (named_.insert(line).second) substitutions_.push_back(line);
}

std::optional<FontChoice> FontFinder::choose(const std::string& fontFile, const std::string& family,
                                             const fs::path& drawingFolder, bool bigFont) {
    const std::string key = lower(fontFile) + '\n' + lower(family) + '\n' + drawingFolder.string() + (bigFont ? "\nbig" : "");
    {
        std::lock_guard lock(mutex_);
        if (const auto it = chosen_.find(key); it != chosen_.end()) return it->second;
    }
    std::optional<FontChoice> choice;
    std::string ext = extension(fontFile);
    std::string file = baseName(fontFile);
    if (ext.empty() && !file.empty()) {
        // A name without its extension stands for a shape font, unless only
        // a TrueType file of that name is there.
        file += ".shx";
        ext = ".shx";
        if (!bigFont && !findFile(file, drawingFolder) && findFile(baseName(fontFile) + ".ttf", drawingFolder)) {
            file = baseName(fontFile) + ".ttf";
            ext = ".ttf";
        }
    }
    std::string line;
    if (ext == ".shx" || bigFont) {
        if (const auto found = findFile(file, drawingFolder)) {
            choice = FontChoice{FontChoice::Kind::Shx, *found, {}, 1, false, 0, {}};
        } else if (bigFont) {
            line = baseName(fontFile) + " -> characters from fontconfig";
        } else {
            const auto [face, stretch] = hersheyStandIn(file);
            choice = FontChoice{FontChoice::Kind::Hershey, hersheyFolder() / (face + ".jhf"), {}, stretch, true, 0, {}};
            line = baseName(fontFile) + " -> Hershey " + face;
        }
    } else {
        std::optional<fs::path> found;
        if (!file.empty()) found = findFile(file, drawingFolder);
        // A file of the name that FreeType cannot read as a face (damaged,
        // cut short, no font at all) is passed over for the stand-in, which
        // is named as one: the drawing is not drawn as it was made.
        if (found && !faceOfFile(*found)) found.reset();
        if (found) {
            choice = FontChoice{FontChoice::Kind::TrueType, *found, family, 1, false, 0, {}};
        } else {
            const std::string wanted = trueTypeFamily(file, family);
            const auto matched = familyFace(wanted);
            choice = FontChoice{FontChoice::Kind::TrueType, matched ? matched->file : fs::path{},
                                matched ? matched->family : wanted, 1, true, 0, {}, matched ? matched->index : 0};
            if (choice->family == wanted) choice->capHeight = twinCapHeight(file, family);
            const std::string asked = file.empty() ? family : file;
            if (!asked.empty()) line = asked + " -> " + choice->family;
        }
    }
    if (choice) choice->substitution = line;
    std::lock_guard lock(mutex_);
    if (!line.empty()) note(line);
    chosen_[key] = choice;
    return choice;
}

std::optional<MatchedFont> FontFinder::faceFor(char32_t c) {
    {
        std::lock_guard lock(mutex_);
        if (const auto it = faces_.find(c); it != faces_.end()) return it->second;
    }
    const auto m = matchCharacter(c);
    std::lock_guard lock(mutex_);
    faces_[c] = m;
    return m;
}

std::vector<std::string> FontFinder::substitutions() const {
    std::lock_guard lock(mutex_);
    return substitutions_;
}

}  // namespace cad::fonts
