#pragma once
// The fonts text is drawn in: the drawing's shape fonts (and big fonts), the
// Hershey faces standing in for missing ones, and TrueType faces. Fonts are
// found once per process (see cad/fonts/FontFinder.h for where) and shared
// by every drawing and thread.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cad/fonts/HersheyFont.h"
#include "cad/fonts/ShxFont.h"
#include "cad/fonts/TrueTypeFace.h"
#include "cad/model/Losses.h"

namespace cad::render {

struct TextFont {
    enum class Kind { Shx, Hershey, TrueType } kind = Kind::TrueType;
    std::shared_ptr<const fonts::ShxFont> shx;       // Shx
    std::shared_ptr<const fonts::ShxFont> big;       // the style's big font, when found
    std::shared_ptr<const fonts::HersheyFont> hershey;
    double widthScale = 1;                           // Hershey stand-ins: stretch to the font they replace
    std::string family;                              // TrueType: the family drawn with
    std::shared_ptr<const fonts::TrueTypeFace> face; // TrueType; null: the default face
    double capHeight = 0;                            // TrueType: cap height in ems, 0 for the face's own
    bool bold = false, italic = false;               // TrueType, from an inline font switch
    bool emboldened = false, slanted = false;        // TrueType: a bold or italic the family lacks, made up
    std::string bigFontFile;                         // as the style names it (kept by inline font switches)
    int codePage = 0;                                // the drawing's code page, for regular shape fonts
    std::string substitution;                        // "font -> stand-in" when not the font asked for
    bool stroked() const { return kind != Kind::TrueType; }
};

// Folders of the user's fonts, searched after the drawing's own folder.
// Set before the first drawing is drawn.
void setFontFolders(std::vector<std::filesystem::path> folders);
// "font -> stand-in" for every substitution made so far in this process, each once.
std::vector<std::string> fontSubstitutions();

// Notes a font drawn by a stand-in as a loss of the drawing, named as the
// drawing names it (asked): fonts are shared by every drawing of the
// process, and found by a name whose case does not matter.
void noteStandIn(Losses& losses, const std::string& asked, const TextFont& font);

// The font of a text style: its font file, big font file and TrueType
// family, looked for first in the drawing's folder.
std::shared_ptr<const TextFont> styleFont(const std::string& fontFile, const std::string& bigFontFile,
                                          const std::string& family, const std::filesystem::path& drawingFolder,
                                          int codePage);

// The font of an inline switch of multiline text ("\fArial|b1|i0|c0|p34;"
// or "\Fromans.shx|c0;"), given the part between the code and the ';'.
std::shared_ptr<const TextFont> inlineFont(const std::string& fontCode, const TextFont* current,
                                           const std::filesystem::path& drawingFolder);

// A shape file a style names (SHAPE entities, linetype shapes); null when it
// is not found or is no shape file. Shapes have no stand-ins.
std::shared_ptr<const fonts::ShxFont> shapeFile(const std::string& fontFile, const std::filesystem::path& drawingFolder);

// The face of text without a font of its own (DejaVu Sans, or DejaVu Sans
// Mono); null when the machine has neither nor a stand-in.
std::shared_ptr<const fonts::TrueTypeFace> defaultFace(bool mono);
// A face that has a character the text's own font lacks; null when none has it.
std::shared_ptr<const fonts::TrueTypeFace> fallbackFace(char32_t c);

}  // namespace cad::render
