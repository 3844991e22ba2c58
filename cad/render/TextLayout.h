#pragma once
// Text of the drawing turned into glyph outlines, in the text's own plane:
// x along the baseline, y up, units of the drawing. DejaVu Sans stands in for
// every font of the drawing (DejaVu Sans Mono for the monospaced ones).
#include <QPainterPath>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "cad/model/Entity.h"
#include "cad/render/Scene.h"

namespace cad::render {

// One stretch of text with one look.
struct TextFormat {
    double height = 1;
    double widthFactor = 1;
    double oblique = 0;          // radians, positive leans right
    bool underline = false, overline = false, strike = false;
    bool mono = false;
    double raise = 0;            // baseline shift upwards, drawing units (stacked fractions)
    bool underPrevious = false;  // starts where the run before it started (the lower half of a stack)
    std::optional<PaintColor> color;  // an inline colour change of multiline text
};

struct TextRun {
    QString text;
    TextFormat format;
};

// The outline of a run placed in the text plane, and the colour it asks for.
struct PlacedText {
    QPainterPath path;
    std::optional<PaintColor> color;
};

// The TEXT control codes: %%c diameter, %%d degree, %%p plus-minus, %%%
// percent, %%nnn a character number, %%u / %%o / %%k toggling underline,
// overline and strike-through; \U+XXXX escapes. Returns runs of the base format.
std::vector<TextRun> decodeTextCodes(const std::string& raw, const TextFormat& base);

// Multiline text: paragraphs, the common inline codes, word wrapping.
// Unknown codes are skipped.
struct MTextParagraphs {
    std::vector<std::vector<TextRun>> paragraphs;
};
MTextParagraphs parseMText(const std::string& raw, const TextFormat& base);

// Width of a run in drawing units, and its outline with the baseline at
// (x, 0). Cap height equals the format's height.
double runAdvance(const TextRun& run);
void addRun(QPainterPath& path, const TextRun& run, double x, double baseline);
// Depth of descenders below the baseline, as a fraction of the cap height.
double descentRatio();

// A single-line text (TEXT, ATTRIB, ATTDEF shown as its tag) placed by its
// alignment: the outline in the entity's object coordinates.
QPainterPath layoutText(const TextData& text, const std::string& shown, const TextFormat& base);

// Multiline text laid out around its insertion point (the origin of the
// result), x along its direction; each part may carry its own colour.
std::vector<PlacedText> layoutMText(const std::string& raw, const TextFormat& base, double rectWidth, int attachment,
                                    double lineSpacingFactor);

// True when the style's font file names a monospaced font.
bool isMonoFont(const std::string& fontFile);

}  // namespace cad::render
