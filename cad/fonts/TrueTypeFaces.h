#pragma once
// The TrueType faces text is set in: each file read once per process and
// shared by every drawing and thread, the bold and italic faces of a family
// (made up from the regular one when the family has none), and the faces
// that stand in for characters a font lacks.
#include <filesystem>
#include <memory>

#include "cad/fonts/TrueTypeFace.h"

namespace cad::fonts {

class FontFinder;

// A face as text is set in it, with what is made up for a style its family lacks.
struct FaceStyle {
    std::shared_ptr<const TrueTypeFace> face;
    bool emboldened = false;  // thickened outlines
    bool slanted = false;     // sheared as an oblique face is
};

// The slant of a made-up italic, as a shear: about 12 degrees, as FreeType's own.
constexpr double kSyntheticSlant = 0.2126;

// Face `index` of a file; null when the file is no font.
std::shared_ptr<const TrueTypeFace> faceOfFile(const std::filesystem::path& file, int index = 0);

// The face of text without a font of its own: DejaVu Sans, or DejaVu Sans
// Mono; null only when neither nor any stand-in fontconfig offers is there.
std::shared_ptr<const TrueTypeFace> defaultFace(FontFinder& finder, bool mono);

// A face in a style: itself when it is already bold or italic as asked,
// else its family's face of that style, else itself with the style made up.
FaceStyle styledFace(const std::shared_ptr<const TrueTypeFace>& face, bool bold, bool italic, FontFinder& finder);

// A face that has the character; null when none has.
std::shared_ptr<const TrueTypeFace> fallbackFace(char32_t c, FontFinder& finder);

}  // namespace cad::fonts
