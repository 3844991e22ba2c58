#include "cad/fonts/TrueTypeFace.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#ifdef LUMICADE_HAVE_HARFBUZZ
#include <hb.h>
#endif

#include <algorithm>

#include "cad/model/ReadableFile.h"

namespace cad::fonts {

namespace {

// Collections of CJK faces reach 100 MB; anything past this is no font we draw with.
constexpr std::uint64_t kMaxFontBytes = 256u << 20;
// Outlines in the face's own units: no scaling means no hinting and no bitmaps either.
constexpr FT_Int32 kLoadFlags = FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP;
constexpr std::uint64_t kEmboldened = std::uint64_t{1} << 32;

// One FreeType library for the process. Faces are made and dropped under
// its lock, as FreeType asks when a library is shared between threads.
struct Library {
    std::mutex mutex;
    FT_Library ft = nullptr;
    Library() {
        if (FT_Init_FreeType(&ft) != 0) ft = nullptr;
    }
};

// Never destroyed: faces kept by other objects of static lifetime are
// dropped at exit, after a library destroyed in turn would be gone.
Library& library() {
    static Library* lib = new Library;
    return *lib;
}

// Turns FreeType's decomposition into ours, in ems. Quadratic pieces become
// cubic ones with the same curve.
struct Decomposer {
    GlyphOutline& out;
    double unit;
    GlyphOutline::Point last{0, 0};

    GlyphOutline::Point at(const FT_Vector* v) const { return {v->x * unit, v->y * unit}; }
    void add(GlyphOutline::Op op, GlyphOutline::Point p) {
        out.ops.push_back(op);
        out.points.push_back(p);
        last = p;
    }
    static int moveTo(const FT_Vector* to, void* self) {
        auto& d = *static_cast<Decomposer*>(self);
        d.add(GlyphOutline::Op::Move, d.at(to));
        return 0;
    }
    static int lineTo(const FT_Vector* to, void* self) {
        auto& d = *static_cast<Decomposer*>(self);
        d.add(GlyphOutline::Op::Line, d.at(to));
        return 0;
    }
    static int conicTo(const FT_Vector* control, const FT_Vector* to, void* self) {
        auto& d = *static_cast<Decomposer*>(self);
        const GlyphOutline::Point c = d.at(control), e = d.at(to), s = d.last;
        d.out.ops.push_back(GlyphOutline::Op::Cubic);
        d.out.points.push_back({s.x + (c.x - s.x) * 2 / 3, s.y + (c.y - s.y) * 2 / 3});
        d.out.points.push_back({e.x + (c.x - e.x) * 2 / 3, e.y + (c.y - e.y) * 2 / 3});
        d.out.points.push_back(e);
        d.last = e;
        return 0;
    }
    static int cubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* self) {
        auto& d = *static_cast<Decomposer*>(self);
        d.out.ops.push_back(GlyphOutline::Op::Cubic);
        d.out.points.push_back(d.at(c1));
        d.out.points.push_back(d.at(c2));
        d.out.points.push_back(d.at(to));
        d.last = d.out.points.back();
        return 0;
    }
};

// Embolden by as much as FreeType's own emboldening: a 24th of the em.
FT_Pos emboldening(FT_Face face) { return face->units_per_EM / 24; }

}  // namespace

bool needsShaping(std::u32string_view text) {
    for (const char32_t c : text)
        if ((c >= 0x0590 && c < 0x1100) || (c >= 0x1700 && c < 0x1800) || (c >= 0xA800 && c < 0xABFF) ||
            (c >= 0xFB1D && c < 0xFE00) || (c >= 0xFE70 && c < 0xFF00))
            return true;
    return false;
}

bool canShape() {
#ifdef LUMICADE_HAVE_HARFBUZZ
    return true;
#else
    return false;
#endif
}

struct TrueTypeFace::Handle {
    FT_Face face = nullptr;
    bool symbol = false;  // only a symbol character map: characters sit at U+F000 and up
#ifdef LUMICADE_HAVE_HARFBUZZ
    hb_font_t* shaper = nullptr;  // made at the first shaped text; safe to share between threads once made
#endif
    ~Handle() {
#ifdef LUMICADE_HAVE_HARFBUZZ
        if (shaper) hb_font_destroy(shaper);
#endif
        if (!face) return;
        std::lock_guard lock(library().mutex);
        FT_Done_Face(face);
    }
};

TrueTypeFace::~TrueTypeFace() = default;

std::shared_ptr<TrueTypeFace> TrueTypeFace::open(const std::filesystem::path& file, int index) {
    // Weighed and read here, so that a pipe or a device named like a font cannot stall us.
    std::shared_ptr<TrueTypeFace> out(new TrueTypeFace);
    ReadableFile in;
    if (!in.open(file.string(), kMaxFontBytes) || !in.read(out->bytes_) || out->bytes_.empty()) return nullptr;
    out->file_ = file;
    out->index_ = std::max(index, 0);
    out->handle_ = std::make_unique<Handle>();
    FT_Face face = nullptr;
    {
        Library& lib = library();
        std::lock_guard lock(lib.mutex);
        if (!lib.ft || FT_New_Memory_Face(lib.ft, out->bytes_.data(), static_cast<FT_Long>(out->bytes_.size()),
                                          std::max(index, 0), &face) != 0)
            return nullptr;
    }
    out->handle_->face = face;
    if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) return nullptr;
    if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) {
        if (FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL) != 0) return nullptr;
        out->handle_->symbol = true;
    }
    out->unitsPerEm_ = face->units_per_EM;
    out->family_ = face->family_name ? face->family_name : "";
    out->bold_ = (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
    out->italic_ = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
    out->kerns_ = FT_HAS_KERNING(face);
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (face->descender < 0) out->descent_ = -face->descender / out->unitsPerEm_;
    else if (os2 && os2->usWinDescent > 0) out->descent_ = os2->usWinDescent / out->unitsPerEm_;
    // The cap height the face states, else the height of its H.
    if (os2 && os2->version >= 2 && os2->sCapHeight > 0) {
        out->capHeight_ = os2->sCapHeight / out->unitsPerEm_;
    } else if (const Glyph* h = out->glyph(U'H')) {
        double top = 0;
        for (const GlyphOutline::Point& p : h->outline.points) top = std::max(top, p.y);
        if (top > 0.05) out->capHeight_ = top;
    }
    return out;
}

const Glyph* TrueTypeFace::glyph(char32_t c, bool embolden) const {
    std::lock_guard lock(mutex_);
    auto [it, fresh] = indices_.try_emplace(c, 0);
    if (fresh) {
        FT_Face face = handle_->face;
        FT_UInt index = FT_Get_Char_Index(face, c);
        // Symbol fonts made for Windows keep their characters 0xF000 up.
        if (index == 0 && handle_->symbol && c < 0x100) index = FT_Get_Char_Index(face, 0xF000 + c);
        it->second = index;
    }
    return it->second == 0 ? nullptr : &load(it->second, embolden);
}

const Glyph& TrueTypeFace::missingGlyph(bool embolden) const {
    std::lock_guard lock(mutex_);
    return load(0, embolden);
}

double TrueTypeFace::kerning(const Glyph& left, const Glyph& right) const {
    if (!kerns_) return 0;
    std::lock_guard lock(mutex_);
    FT_Vector k{0, 0};
    if (FT_Get_Kerning(handle_->face, left.index, right.index, FT_KERNING_UNSCALED, &k) != 0) return 0;
    return k.x / unitsPerEm_;
}

const Glyph& TrueTypeFace::load(std::uint32_t index, bool embolden) const {
    auto [it, fresh] = glyphs_.try_emplace(index | (embolden ? kEmboldened : 0));
    Glyph& g = it->second;
    if (!fresh) return g;
    g.index = index;
    FT_Face face = handle_->face;
    // A glyph FreeType cannot load, or one that is only a picture, is drawn as nothing.
    if (FT_Load_Glyph(face, index, kLoadFlags) != 0) return g;
    FT_GlyphSlot slot = face->glyph;
    double advance = static_cast<double>(slot->advance.x);
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) {
        g.advance = advance / unitsPerEm_;
        return g;
    }
    if (embolden) {
        // The advance grows by as much as the glyph.
        const FT_Pos strength = emboldening(face);
        FT_Outline_EmboldenXY(&slot->outline, strength, strength);
        advance += static_cast<double>(strength);
    }
    g.advance = advance / unitsPerEm_;
    Decomposer d{g.outline, 1 / unitsPerEm_};
    const FT_Outline_Funcs funcs{&Decomposer::moveTo, &Decomposer::lineTo, &Decomposer::conicTo, &Decomposer::cubicTo, 0, 0};
    if (FT_Outline_Decompose(&slot->outline, &funcs, &d) != 0) g.outline = {};
    return g;
}

}  // namespace cad::fonts

namespace cad::fonts {

std::vector<ShapedGlyph> TrueTypeFace::shape(std::u32string_view text, bool embolden) const {
    std::vector<ShapedGlyph> out;
#ifdef LUMICADE_HAVE_HARFBUZZ
    if (text.empty() || text.size() > (1u << 20)) return out;
    hb_font_t* font = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (!handle_->shaper) {
            hb_blob_t* blob = hb_blob_create(reinterpret_cast<const char*>(bytes_.data()),
                                             static_cast<unsigned>(bytes_.size()), HB_MEMORY_MODE_READONLY, nullptr, nullptr);
            hb_face_t* face = hb_face_create(blob, static_cast<unsigned>(index_));
            hb_blob_destroy(blob);
            handle_->shaper = hb_font_create(face);
            hb_face_destroy(face);
            const int upem = static_cast<int>(unitsPerEm_);
            hb_font_set_scale(handle_->shaper, upem, upem);
            hb_font_make_immutable(handle_->shaper);
        }
        font = handle_->shaper;
    }
    hb_buffer_t* buffer = hb_buffer_create();
    hb_buffer_add_utf32(buffer, reinterpret_cast<const std::uint32_t*>(text.data()), static_cast<int>(text.size()), 0,
                        static_cast<int>(text.size()));
    // Script and direction from the text itself: a run of right-to-left
    // letters comes out in the order it is drawn, left to right.
    hb_buffer_guess_segment_properties(buffer);
    hb_shape(font, buffer, nullptr, 0);
    unsigned count = 0;
    const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
    const hb_glyph_position_t* position = hb_buffer_get_glyph_positions(buffer, &count);
    const double extra = embolden ? static_cast<double>(emboldening(handle_->face)) : 0;
    std::lock_guard lock(mutex_);
    out.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        if (info[i].codepoint == 0) {
            out.clear();  // the face lacks a character: another face sets the text
            break;
        }
        out.push_back({&load(info[i].codepoint, embolden), position[i].x_offset / unitsPerEm_,
                       position[i].y_offset / unitsPerEm_, (position[i].x_advance + extra) / unitsPerEm_});
    }
    hb_buffer_destroy(buffer);
#else
    (void)text;
    (void)embolden;
#endif
    return out;
}

}  // namespace cad::fonts
