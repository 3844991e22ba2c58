#include "cad/render/TextFonts.h"

#include <cctype>
#include <map>
#include <mutex>

#include "cad/fonts/FontFinder.h"
#include "cad/fonts/TrueTypeFaces.h"

namespace cad::render {

namespace {

struct Library {
    std::mutex mutex;
    std::unique_ptr<fonts::FontFinder> finder = std::make_unique<fonts::FontFinder>();
    std::map<std::filesystem::path, std::shared_ptr<const fonts::ShxFont>> shx;
    std::map<std::filesystem::path, std::shared_ptr<const fonts::HersheyFont>> hershey;
    std::map<std::string, std::shared_ptr<const TextFont>> made;
};

Library& library() {
    static Library lib;
    return lib;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Files are read once per process; a file that is no font is remembered as such.
std::shared_ptr<const fonts::ShxFont> loadShx(Library& lib, const std::filesystem::path& file) {
    std::lock_guard lock(lib.mutex);
    auto [it, fresh] = lib.shx.try_emplace(file);
    if (fresh)
        if (auto font = fonts::ShxFont::load(file)) it->second = std::make_shared<const fonts::ShxFont>(std::move(*font));
    return it->second;
}

std::shared_ptr<const fonts::HersheyFont> loadHershey(Library& lib, const std::filesystem::path& file) {
    std::lock_guard lock(lib.mutex);
    auto [it, fresh] = lib.hershey.try_emplace(file);
    if (fresh)
        if (auto font = fonts::HersheyFont::load(file))
            it->second = std::make_shared<const fonts::HersheyFont>(std::move(*font));
    return it->second;
}

std::shared_ptr<TextFont> fromChoice(Library& lib, const fonts::FontChoice& choice) {
    auto font = std::make_shared<TextFont>();
    switch (choice.kind) {
    case fonts::FontChoice::Kind::Shx:
        font->shx = loadShx(lib, choice.file);
        if (font->shx && font->shx->isFont()) {
            font->kind = TextFont::Kind::Shx;
            return font;
        }
        // A damaged file, or shapes that are no font: the stand-in draws instead.
        font->shx.reset();
        font->hershey = loadHershey(lib, fonts::FontFinder::hersheyFolder() /
                                             (fonts::FontFinder::hersheyStandIn(choice.file.filename().string()).first + ".jhf"));
        font->widthScale = fonts::FontFinder::hersheyStandIn(choice.file.filename().string()).second;
        break;
    case fonts::FontChoice::Kind::Hershey:
        font->hershey = loadHershey(lib, choice.file);
        font->widthScale = choice.widthScale;
        break;
    case fonts::FontChoice::Kind::TrueType:
        font->capHeight = choice.capHeight;
        font->family = choice.family;
        font->face = fonts::faceOfFile(choice.file, choice.faceIndex);
        // A file of the drawing's or the user's goes by the family it names itself.
        if (font->face && !choice.substitute && !font->face->family().empty()) font->family = font->face->family();
        return font;
    }
    if (font->hershey) {
        font->kind = TextFont::Kind::Hershey;
    } else {
        // Without the Hershey fonts on the machine a sans face is the nearest we have.
        font->kind = TextFont::Kind::TrueType;
        font->family = "DejaVu Sans";
        font->face = fonts::defaultFace(*lib.finder, false);
    }
    return font;
}

std::shared_ptr<const TextFont> make(const std::string& fontFile, const std::string& bigFontFile,
                                     const std::string& family, const std::filesystem::path& folder, int codePage,
                                     bool bold, bool italic) {
    Library& lib = library();
    const std::string key = lower(fontFile) + '\n' + lower(bigFontFile) + '\n' + lower(family) + '\n' + folder.string() +
                            '\n' + std::to_string(codePage) + (bold ? "b" : "") + (italic ? "i" : "");
    {
        std::lock_guard lock(lib.mutex);
        if (const auto it = lib.made.find(key); it != lib.made.end()) return it->second;
    }
    const std::string file = fontFile.empty() && family.empty() ? std::string("txt") : fontFile;
    std::shared_ptr<TextFont> font;
    if (const auto choice = lib.finder->choose(file, family, folder)) {
        font = fromChoice(lib, *choice);
        font->substitution = choice->substitution;
    } else {
        font = std::make_shared<TextFont>();
    }
    font->codePage = codePage;
    font->bigFontFile = bigFontFile;
    font->bold = bold;
    font->italic = italic;
    if (font->kind == TextFont::Kind::TrueType && (bold || italic)) {
        const fonts::FaceStyle styled = fonts::styledFace(font->face, bold, italic, *lib.finder);
        font->face = styled.face;
        font->emboldened = styled.emboldened;
        font->slanted = styled.slanted;
    }
    if (!bigFontFile.empty())
        if (const auto big = lib.finder->choose(bigFontFile, "", folder, true)) {
            auto bigFont = loadShx(lib, big->file);
            if (bigFont && bigFont->kind() == fonts::ShxFont::Kind::Big) font->big = std::move(bigFont);
        }
    std::lock_guard lock(lib.mutex);
    return lib.made.try_emplace(key, std::move(font)).first->second;
}

}  // namespace

void setFontFolders(std::vector<std::filesystem::path> folders) {
    Library& lib = library();
    std::lock_guard lock(lib.mutex);
    lib.finder = std::make_unique<fonts::FontFinder>(std::move(folders));
    lib.made.clear();
}

std::vector<std::string> fontSubstitutions() {
    Library& lib = library();
    std::lock_guard lock(lib.mutex);
    return lib.finder->substitutions();
}

void noteStandIn(Losses& losses, const std::string& asked, const TextFont& font) {
    const std::string& line = font.substitution;
    if (line.empty()) return;
    const std::size_t arrow = line.find(" -> ");
    const std::string standIn = arrow == std::string::npos ? line : line.substr(arrow + 4);
    losses.add(Loss::Kind::Font, asked, "font not found, drawn with a stand-in: " + asked + " -> " + standIn);
}

std::shared_ptr<const TextFont> styleFont(const std::string& fontFile, const std::string& bigFontFile,
                                          const std::string& family, const std::filesystem::path& drawingFolder,
                                          int codePage) {
    return make(fontFile, bigFontFile, family, drawingFolder, codePage, false, false);
}

std::shared_ptr<const TextFont> inlineFont(const std::string& fontCode, const TextFont* current,
                                           const std::filesystem::path& drawingFolder) {
    // "name|b1|i0|c0|p34": the name, then bold, italic, character set and pitch.
    std::string name = fontCode.substr(0, fontCode.find('|'));
    bool bold = false, italic = false;
    for (std::size_t at = fontCode.find('|'); at != std::string::npos; at = fontCode.find('|', at + 1)) {
        if (at + 1 < fontCode.size()) {
            const char key = static_cast<char>(std::tolower(static_cast<unsigned char>(fontCode[at + 1])));
            const bool on = at + 2 < fontCode.size() && fontCode[at + 2] == '1';
            if (key == 'b') bold = on;
            if (key == 'i') italic = on;
        }
    }
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (name.empty()) return nullptr;
    const int codePage = current ? current->codePage : 0;
    const std::string big = current ? current->bigFontFile : std::string();
    const std::string l = lower(name);
    const bool shapeFont = l.size() > 4 && l.compare(l.size() - 4, 4, ".shx") == 0;
    const bool trueTypeFile = l.size() > 4 && (l.compare(l.size() - 4, 4, ".ttf") == 0 || l.compare(l.size() - 4, 4, ".ttc") == 0 ||
                                               l.compare(l.size() - 4, 4, ".otf") == 0);
    if (shapeFont || trueTypeFile) return make(name, big, {}, drawingFolder, codePage, bold, italic);
    // A family name (\f), or a shape font named without its extension (\F).
    if (fontCode.find('|') == std::string::npos && !name.empty()) {
        if (library().finder->findFile(name + ".shx", drawingFolder) || fonts::FontFinder::hersheyStandIn(name).first != "rowmans" ||
            l == "txt" || l == "simplex" || l == "romans" || l.rfind("iso", 0) == 0)
            return make(name + ".shx", big, {}, drawingFolder, codePage, bold, italic);
    }
    return make({}, big, name, drawingFolder, codePage, bold, italic);
}

std::shared_ptr<const fonts::ShxFont> shapeFile(const std::string& fontFile, const std::filesystem::path& drawingFolder) {
    Library& lib = library();
    std::string name = fontFile;
    if (name.find('.') == std::string::npos) name += ".shx";
    const auto found = lib.finder->findFile(name, drawingFolder);
    return found ? loadShx(lib, *found) : nullptr;
}

std::shared_ptr<const fonts::TrueTypeFace> defaultFace(bool mono) {
    // Asked for every run without a font: kept once found, whatever folders are set later.
    if (mono) {
        static const std::shared_ptr<const fonts::TrueTypeFace> monospace = fonts::defaultFace(*library().finder, true);
        return monospace;
    }
    static const std::shared_ptr<const fonts::TrueTypeFace> sans = fonts::defaultFace(*library().finder, false);
    return sans;
}

std::shared_ptr<const fonts::TrueTypeFace> fallbackFace(char32_t c) { return fonts::fallbackFace(c, *library().finder); }

}  // namespace cad::render
