#pragma once
// One face of a TrueType or OpenType file, read through FreeType: its
// metrics, and its glyphs as outlines in ems (y up, the pen at the origin),
// unhinted, each loaded once and kept for the whole process. Every member is
// safe to call from any thread.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace cad::fonts {

// Closed contours of straight and cubic pieces: a Move starts a contour,
// a Line takes one point, a Cubic three (two control points, the end).
struct GlyphOutline {
    enum class Op : std::uint8_t { Move, Line, Cubic };
    struct Point {
        double x, y;
    };
    std::vector<Op> ops;
    std::vector<Point> points;
};

struct Glyph {
    std::uint32_t index = 0;  // in its face, for kerning
    double advance = 0;       // ems
    GlyphOutline outline;
};

// A glyph of shaped text: where it sits from the pen, and how far the pen moves on (ems).
struct ShapedGlyph {
    const Glyph* glyph;
    double x, y, advance;
};

// True for text of a script whose letters take their shape and place from
// their neighbours (Hebrew, Arabic, the scripts of India and South-East
// Asia), which is set by shaping rather than glyph by glyph.
bool needsShaping(std::u32string_view text);
// True when the program was built with a shaper (HarfBuzz).
bool canShape();

class TrueTypeFace {
public:
    // Face `index` of a font file (collections hold several); null when the
    // file cannot be read or is no font FreeType knows.
    static std::shared_ptr<TrueTypeFace> open(const std::filesystem::path& file, int index = 0);
    ~TrueTypeFace();
    TrueTypeFace(const TrueTypeFace&) = delete;
    TrueTypeFace& operator=(const TrueTypeFace&) = delete;

    const std::filesystem::path& file() const { return file_; }
    const std::string& family() const { return family_; }
    bool bold() const { return bold_; }
    bool italic() const { return italic_; }
    double capHeight() const { return capHeight_; }  // ems
    double descent() const { return descent_; }      // ems below the baseline

    // The glyph of a character, emboldened when asked (for a bold the family
    // lacks); null when the face has no glyph for it.
    const Glyph* glyph(char32_t c, bool embolden = false) const;
    // The face's own sign for a character it lacks.
    const Glyph& missingGlyph(bool embolden = false) const;
    // The change of the advance between two glyphs of this face, in ems.
    double kerning(const Glyph& left, const Glyph& right) const;
    // The text shaped in this face, its glyphs from left to right as they
    // are drawn; empty when the face lacks a character of it, or when the
    // program was built without a shaper.
    std::vector<ShapedGlyph> shape(std::u32string_view text, bool embolden = false) const;

private:
    struct Handle;
    TrueTypeFace() = default;
    const Glyph& load(std::uint32_t index, bool embolden) const;  // with mutex_ held

    std::filesystem::path file_;
    std::string family_;
    int index_ = 0;
    bool bold_ = false, italic_ = false, kerns_ = false;
    double capHeight_ = 0.7, descent_ = 0.2, unitsPerEm_ = 1000;
    std::vector<std::uint8_t> bytes_;  // FreeType reads the face from these
    std::unique_ptr<Handle> handle_;
    mutable std::mutex mutex_;         // a FreeType face serves one thread at a time
    mutable std::unordered_map<char32_t, std::uint32_t> indices_;
    mutable std::unordered_map<std::uint64_t, Glyph> glyphs_;  // glyph index, and 1 << 32 when emboldened
};

}  // namespace cad::fonts
