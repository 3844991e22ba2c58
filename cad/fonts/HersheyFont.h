#pragma once
// The Hershey single-stroke fonts in their ".jhf" text form (Debian's
// hershey-fonts-data): the stand-ins for shape fonts a drawing names but
// that are not on this machine.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "cad/fonts/StrokeGlyph.h"

namespace cad::fonts {

class HersheyFont {
public:
    // The glyphs of a .jhf file, which lists the printable ASCII characters
    // in order from the space. Scaled so a capital H is 1 high. nullopt when
    // the text holds no glyph.
    static std::optional<HersheyFont> parse(std::string_view text);
    static std::optional<HersheyFont> load(const std::filesystem::path& file);

    const StrokeGlyph* glyph(char32_t c) const;
    // Depth of the descenders below the baseline, in cap heights.
    double descent() const { return descent_; }

private:
    std::unordered_map<char32_t, StrokeGlyph> glyphs_;
    double descent_ = 0.33;
};

}  // namespace cad::fonts
