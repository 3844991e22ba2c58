#pragma once
// Text of the drawing turned into glyphs, in the text's own plane: x along
// the baseline, y up, units of the drawing. Shape fonts and their Hershey
// stand-ins give pen strokes; TrueType faces give filled outlines. Text
// without a font of its own (no style) is set in DejaVu Sans (DejaVu Sans
// Mono for the monospaced ones).
#include <QString>
#include <filesystem>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cad/model/Entity.h"
#include "cad/render/Scene.h"
#include "cad/render/TextFonts.h"

namespace cad::render {

// One stretch of text with one look.
struct TextFormat {
    double height = 1;
    double widthFactor = 1;
    double oblique = 0;          // radians, positive leans right
    bool underline = false, overline = false, strike = false;
    bool mono = false;
    double tracking = 1;         // spacing between characters, 1 as the font sets them
    std::shared_ptr<const TextFont> font;  // null: DejaVu Sans
    std::shared_ptr<const std::filesystem::path> folder;  // where inline font switches look first
    double raise = 0;            // baseline shift upwards, drawing units (stacked fractions)
    bool underPrevious = false;  // starts where the run before it started (the lower half of a stack)
    std::optional<PaintColor> color;  // an inline colour change of multiline text
    // Where a part smaller than its line sits (\A): 0 on the baseline, 1 centred, 2 at the top.
    std::int8_t verticalAlign = 0;
    double stackOf = 0;          // a stacked fraction's part: the height of the text it stands in for
    bool vertical = false;       // a style written top to bottom (single-line text only)
    Losses* losses = nullptr;    // where an inline font switch to a font not found is noted
};

struct TextRun {
    QString text;
    TextFormat format;
};

// Glyphs placed in the text plane: outlines to fill and pen strokes (open
// subpaths) to draw with the entity's pen.
struct TextPaths {
    Path fill, strokes;
    bool isEmpty() const { return fill.isEmpty() && strokes.isEmpty(); }
};

// The glyphs of a part of multiline text, and the colour it asks for.
struct PlacedText {
    Path path;
    Path strokes;
    std::optional<PaintColor> color;
};

// The TEXT control codes: %%c diameter, %%d degree, %%p plus-minus, %%%
// percent, %%nnn a character number, %%u / %%o / %%k toggling underline,
// overline and strike-through; \U+XXXX escapes. Returns runs of the base format.
std::vector<TextRun> decodeTextCodes(const std::string& raw, const TextFormat& base);

// A paragraph's indents and tab stops (\p), in drawing units from the
// text's left edge; the first line starts at left + firstLine.
struct ParagraphFormat {
    double firstLine = 0, left = 0, right = 0;
    int align = -1;               // 0 left, 1 centre, 2 right; -1 as the attachment says
    std::vector<double> tabs;     // ascending; past the last, every four text heights
    bool operator==(const ParagraphFormat&) const = default;
};

// Multiline text: paragraphs, the inline codes, word wrapping. Unknown
// codes are skipped, the text after them kept. A tab is a run of its own
// ("\t").
struct MTextParagraphs {
    std::vector<std::vector<TextRun>> paragraphs;
    std::vector<bool> columnBreaks;  // paragraph i starts a new column (\N)
    std::vector<ParagraphFormat> formats;  // of each paragraph
};
MTextParagraphs parseMText(const std::string& raw, const TextFormat& base);

// Width of a run in drawing units, and its outline with the baseline at
// (x, 0). Cap height equals the format's height.
double runAdvance(const TextRun& run);
void addRun(TextPaths& paths, const TextRun& run, double x, double baseline);
// Depth of descenders below the baseline, as a fraction of the cap height.
double descentRatio();
double descentRatio(const TextFormat& format);

// A single-line text (TEXT, ATTRIB, ATTDEF shown as its tag) placed by its
// alignment: the outline in the entity's object coordinates. Text of a
// vertical style runs down from its point.
TextPaths layoutText(const TextData& text, const std::string& shown, const TextFormat& base);

// Multiline text laid out around its insertion point (the origin of the
// result), x along its direction; each part may carry its own colour.
// Columns of the text (its stored column properties): text flows into the
// next column at a column break, or when a column reaches its height.
struct MTextColumns {
    int count = 0;               // 0: one column, as wide as the text
    double width = 0, gutter = 0;
    std::vector<double> heights; // static columns of their own heights; empty: all `height`
    double height = 0;           // 0: no limit
};
// extent, when given, receives the box the lines take: across their widths,
// from the top of the first line down to below the last.
std::vector<PlacedText> layoutMText(const std::string& raw, const TextFormat& base, double rectWidth, int attachment,
                                    double lineSpacingFactor, const MTextColumns& columns = {}, Box* extent = nullptr);

// True when the style's font file names a monospaced font.
bool isMonoFont(const std::string& fontFile);

}  // namespace cad::render
