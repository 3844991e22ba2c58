#include "cad/render/TrueTypeText.h"

#include <QList>
#include <algorithm>
#include <cmath>
#include <string_view>
#include <vector>

#include "cad/fonts/TrueTypeFaces.h"

namespace cad::render {

namespace {

// A face that states no cap height of its own, nor has an H: capitals of
// the usual sans faces stand this high in the em.
constexpr double kUsualCapHeight = 0.73;

// How a format sets its glyphs: drawing units per em across and up, and
// the lean of its glyphs.
struct Setting {
    const fonts::TrueTypeFace* face = nullptr;
    bool embolden = false;
    double across = 0, up = 0, shear = 0;
};

double capHeightOf(const fonts::TrueTypeFace& face, double stated) {
    if (stated > 0) return stated;
    return face.capHeight() > 0.05 ? face.capHeight() : kUsualCapHeight;
}

double shearOf(const TextFormat& f) { return std::tan(std::clamp(f.oblique, -1.4, 1.4)); }

Setting settingOf(const TextFormat& f) {
    Setting s;
    double stated = 0;
    if (f.font && f.font->kind == TextFont::Kind::TrueType && f.font->face) {
        s.face = f.font->face.get();
        s.embolden = f.font->emboldened;
        stated = f.font->capHeight;
        if (f.font->slanted) s.shear = fonts::kSyntheticSlant;
    } else {
        s.face = defaultFace(f.mono).get();  // kept for the whole process
    }
    if (!s.face) return s;
    s.up = f.height / capHeightOf(*s.face, stated);
    s.across = s.up * f.widthFactor;
    s.shear += shearOf(f);
    return s;
}

// Adds a glyph's outline with its origin at (x, baseline).
void addGlyph(Path& fill, const fonts::GlyphOutline& outline, double x, double baseline, double across, double up,
              double shear) {
    using Op = fonts::GlyphOutline::Op;
    auto at = [&](const fonts::GlyphOutline::Point& p) {
        return QPointF(x + p.x * across + p.y * up * shear, baseline + p.y * up);
    };
    std::size_t k = 0;
    bool open = false;
    for (const Op op : outline.ops) {
        if (op == Op::Move) {
            if (open) fill.closeSubpath();
            fill.moveTo(at(outline.points[k++]));
            open = true;
        } else if (op == Op::Line) {
            fill.lineTo(at(outline.points[k++]));
        } else {
            fill.cubicTo(at(outline.points[k]), at(outline.points[k + 1]), at(outline.points[k + 2]));
            k += 3;
        }
    }
    if (open) fill.closeSubpath();
}

// Text that is shaped, in the run's face, or else in a face that has its
// first character the run's face lacks; empty when neither can shape it.
std::vector<fonts::ShapedGlyph> shapedRun(std::u32string_view text, const Setting& s) {
    if (auto shaped = s.face->shape(text, s.embolden); !shaped.empty()) return shaped;
    for (const char32_t c : text)
        if (!s.face->glyph(c)) {
            const auto other = fallbackFace(c);  // kept for the whole process
            return other ? other->shape(text) : std::vector<fonts::ShapedGlyph>{};
        }
    return {};
}

double placeShaped(const std::vector<fonts::ShapedGlyph>& glyphs, const Setting& s, double extra, double x,
                   double baseline, Path* fill) {
    double pen = x;
    for (const fonts::ShapedGlyph& g : glyphs) {
        if (fill) addGlyph(*fill, g.glyph->outline, pen + g.x * s.across, baseline + g.y * s.up, s.across, s.up, s.shear);
        pen += g.advance * s.across + extra;
    }
    return pen - x;
}

}  // namespace

double trueTypeDescent(const TextFormat& f) {
    const Setting s = settingOf(f);
    if (!s.face) return defaultTrueTypeDescent();
    const double stated = f.font && f.font->kind == TextFont::Kind::TrueType && f.font->face ? f.font->capHeight : 0;
    return s.face->descent() / capHeightOf(*s.face, stated);
}

double defaultTrueTypeDescent() {
    const auto face = defaultFace(false);
    return face ? face->descent() / capHeightOf(*face, 0) : 0.3;
}

double setTrueTypeRun(const TextRun& run, double x, double baseline, Path* fill) {
    const TextFormat& f = run.format;
    const Setting s = settingOf(f);
    if (!s.face) return 0;
    const double extra = f.tracking != 1 && std::isfinite(f.tracking) && f.tracking > 0 ? (f.tracking - 1) * f.height * 0.3 : 0;
    const QList<uint> codes = run.text.toUcs4();
    const std::u32string_view text(reinterpret_cast<const char32_t*>(codes.data()), static_cast<std::size_t>(codes.size()));
    if (fonts::needsShaping(text))
        if (const auto shaped = shapedRun(text, s); !shaped.empty()) return placeShaped(shaped, s, extra, x, baseline, fill);
    double pen = x;
    const fonts::Glyph* previous = nullptr;
    const fonts::TrueTypeFace* previousFace = nullptr;
    for (const char32_t c : text) {
        const fonts::TrueTypeFace* from = s.face;
        const fonts::Glyph* g = s.face->glyph(c, s.embolden);
        if (!g) {
            // Set in the face that has it, at the same size, as a word
            // processor does; without one, the face's sign for a missing character.
            if (const auto other = fallbackFace(c)) {
                from = other.get();
                g = other->glyph(c);
            }
            if (!g) {
                from = s.face;
                g = &s.face->missingGlyph(s.embolden);
            }
        }
        if (previous && previousFace == from) pen += from->kerning(*previous, *g) * s.across;
        if (fill) addGlyph(*fill, g->outline, pen, baseline, s.across, s.up, s.shear);
        pen += g->advance * s.across + extra;
        previous = g;
        previousFace = from;
    }
    return pen - x;
}

double missingCharacter(char32_t c, const TextFormat& f, double pen, double baseline, Path* fill) {
    std::shared_ptr<const fonts::TrueTypeFace> face = fallbackFace(c);
    const fonts::Glyph* g = face ? face->glyph(c) : nullptr;
    if (!g) {
        face = defaultFace(false);
        if (!face) return 0;
        g = face->glyph(c);
        if (!g) g = &face->missingGlyph();
    }
    const double up = f.height / capHeightOf(*face, 0), across = up * f.widthFactor;
    if (fill) addGlyph(*fill, g->outline, pen, baseline, across, up, shearOf(f));
    return g->advance * across;
}

}  // namespace cad::render
