#pragma once
// The small picture a drawing file carries of itself, as the CAD application
// saved it, so that file browsers can show the drawing without reading it.
#include <cstdint>
#include <vector>

namespace cad {

struct Preview {
    enum class Kind { None, Bmp, Wmf, Png };
    Kind kind = Kind::None;
    int width = 0, height = 0;       // pixels, when the picture says (BMP and PNG)
    std::vector<std::uint8_t> data;  // as stored: a BMP without its file header, a WMF, or a whole PNG file

    bool present() const { return kind != Kind::None; }
};

const char* previewKindName(Preview::Kind kind);  // "none", "bmp", "wmf", "png"

}  // namespace cad
