// Any bytes into the shape font reader, and every shape it finds through the
// pen: a font or nothing, and strokes that stay bounded.
#include <cstddef>
#include <cstdint>
#include <span>

#include "cad/fonts/ShxFont.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto font = cad::fonts::ShxFont::parse(std::span<const std::uint8_t>(data, size));
    if (!font) return 0;
    for (std::uint32_t code = 1; code < 0x10000; ++code) {
        if (!font->has(code)) continue;
        (void)font->glyph(code, false);
        (void)font->glyph(code, true);
    }
    return 0;
}
