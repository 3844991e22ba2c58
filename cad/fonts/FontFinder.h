#pragma once
// Where the fonts a drawing names are found, and what stands in for those
// that are not there.
//
// A font file is looked for, by its name without regard to case, in this
// order: the folder of the drawing, the folders the user names, then the
// places fonts are kept on Linux (standardFolders()). Each folder is
// searched together with its immediate subfolders.
//
// A font that is not found falls back by kind:
// - a shape font (.shx) to the Hershey single-stroke face closest to it
//   (hershey-fonts-data), stretched to the width of the font it replaces;
// - a big font (CJK) to a CJK TrueType font that has the characters;
// - a TrueType font to its family through fontconfig, with the metric twins
//   of the common Windows faces (Arial, Times New Roman and Courier New are
//   drawn in Liberation Sans, Liberation Serif and Liberation Mono). The
//   twins and the default faces are found by their file names; fontconfig,
//   whose set-up costs more than drawing a small drawing, is asked only
//   for the families nothing else answers.
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace cad::fonts {

struct FontChoice {
    enum class Kind { Shx, Hershey, TrueType } kind = Kind::TrueType;
    std::filesystem::path file;   // the .shx, .jhf or TrueType file to draw with (may be empty for TrueType)
    std::string family;           // TrueType: the family to draw with
    double widthScale = 1;        // stretch of a stand-in to the width of the font it replaces
    bool substitute = false;      // not the font the drawing asked for
    double capHeight = 0;         // TrueType twins: the cap height (ems) of the face they replace
    std::string substitution;     // substitutes: "font -> stand-in", as the run's list names it
    int faceIndex = 0;            // TrueType: the face's number in its file
};

// Where a face is: the family it draws with, its file, and its number in
// the file (collections hold several).
struct MatchedFont {
    std::string family;
    std::filesystem::path file;
    int index = 0;
};

class FontFinder {
public:
    explicit FontFinder(std::vector<std::filesystem::path> userFolders = {},
                        std::vector<std::filesystem::path> standard = standardFolders());

    // ~/.local/share/fonts (or $XDG_DATA_HOME/fonts), ~/.fonts,
    // /usr/local/share/fonts and /usr/share/fonts.
    static std::vector<std::filesystem::path> standardFolders();
    // Where Debian keeps the Hershey fonts.
    static std::filesystem::path hersheyFolder();

    // A file by name (any path before the name is dropped), searched in order.
    std::optional<std::filesystem::path> findFile(const std::string& name,
                                                  const std::filesystem::path& drawingFolder) const;

    // The font to draw a style with: its font file (and TrueType family, when
    // the style names one), and the drawing's folder. A missing big font has
    // no stand-in of its own (nullopt): its characters come from faceFor().
    std::optional<FontChoice> choose(const std::string& fontFile, const std::string& family,
                                     const std::filesystem::path& drawingFolder, bool bigFont = false);

    // A face that has the character (CJK and other characters the
    // drawing's own font lacks); nullopt when none has it.
    std::optional<MatchedFont> faceFor(char32_t c);
    // The file of a family's face in a style: the twins and the default
    // faces by their file names, others through fontconfig. The answer may
    // be of another family (compare family) when the one asked is missing.
    std::optional<MatchedFont> familyFace(const std::string& family, bool bold = false, bool italic = false);

    // "name -> stand-in" for each substitution made so far, each once, in order.
    std::vector<std::string> substitutions() const;

    // The Hershey face (file stem) and width stretch that stand in for a shape font.
    static std::pair<std::string, double> hersheyStandIn(const std::string& shapeFontName);
    // The family that draws a TrueType font of this file or family name.
    static std::string trueTypeFamily(const std::string& fontFile, const std::string& family);
    // The cap height (in ems) of the Windows face a metric twin stands in
    // for, 0 for others. Text height is the cap height of the face the
    // drawing names, and the twins match its widths, not its capitals.
    static double twinCapHeight(const std::string& fontFile, const std::string& family);

private:
    std::vector<std::filesystem::path> userFolders_, standard_;
    mutable std::mutex mutex_;
    // Lower-case file name -> path, per folder, listed once.
    mutable std::map<std::filesystem::path, std::map<std::string, std::filesystem::path>> listings_;
    std::map<std::string, std::optional<FontChoice>> chosen_;
    std::map<char32_t, std::optional<MatchedFont>> faces_;
    std::map<std::string, std::optional<MatchedFont>> familyFaces_;
    // Lower-case file name -> path, of the standard folders' whole trees, listed once.
    std::optional<std::map<std::string, std::filesystem::path>> installed_;
    std::vector<std::string> substitutions_;
    std::set<std::string> named_;

    const std::map<std::string, std::filesystem::path>& listing(const std::filesystem::path& folder) const;
    std::optional<std::filesystem::path> installedFile(const std::string& name);
    void note(const std::string& line);
};

// Fontconfig's answer for a family in a style, and for a face that has a character.
std::optional<MatchedFont> matchFamily(const std::string& family, bool bold = false, bool italic = false);
std::optional<MatchedFont> matchCharacter(char32_t c);

}  // namespace cad::fonts
