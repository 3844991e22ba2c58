#include "cad/render/TextLayout.h"

#include "cad/render/Palette.h"
#include "cad/render/TrueTypeText.h"
#include "cad/model/TextEscapes.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <map>

#include "cad/model/CodePageText.h"
#include "cad/model/MemoryBudget.h"

namespace cad::render {

namespace {

constexpr double kPi = 3.14159265358979323846;
bool stroked(const TextFormat& f) { return f.font && f.font->stroked(); }

// The classic fonts keep the degree sign, plus-minus and diameter at 127,
// 128 and 129 (%%127 ...); fonts of today have them at their Unicode places.
char32_t classicSymbol(char32_t c) {
    if (c == 127) return 0x00B0;
    if (c == 128) return 0x00B1;
    if (c == 129) return 0x2300;
    return c;
}

// The shape of a character in a stroke font, or null when the font lacks it.
// Shape fonts are asked in their own numbering: a regular font by the byte
// of the drawing's code page (with 256..258 for the three symbols), a
// unicode font by the code point, a big font by the two bytes of its East
// Asian code page.
// Written vertically, a shape font made for it runs its vertical-only steps.
std::optional<fonts::StrokeGlyph> strokeGlyph(const TextFont& font, char32_t c, bool vertical = false) {
    if (font.kind == TextFont::Kind::Hershey) {
        const fonts::StrokeGlyph* g = font.hershey->glyph(c);
        if (!g && c == 0x00A0) g = font.hershey->glyph(U' ');
        if (g) return *g;
        return std::nullopt;
    }
    const fonts::ShxFont& shx = *font.shx;
    auto tryShape = [&](std::uint32_t n) -> std::optional<fonts::StrokeGlyph> {
        if (n == 0 || !shx.has(n)) return std::nullopt;
        return shx.glyph(n, vertical);
    };
    if (c == 0x00A0) c = U' ';
    if (shx.kind() == fonts::ShxFont::Kind::Unicode) {
        if (auto g = tryShape(c)) return g;
        const char32_t u = classicSymbol(c);
        if (u == 0x2300 || c == 0x2205) {
            if (auto g = tryShape(0x2205)) return g;
            if (auto g = tryShape(0x2300)) return g;
        }
        if (u != c) return tryShape(u);
        return std::nullopt;
    }
    if (c < 128) return tryShape(c);
    if (c <= 129) {
        if (auto g = tryShape(c)) return g;
        c = classicSymbol(c);
    }
    if (c == 0x00B0) if (auto g = tryShape(256)) return g;
    if (c == 0x00B1) if (auto g = tryShape(257)) return g;
    if (c == 0x2300 || c == 0x2205 || c == 0x00D8) if (auto g = tryShape(258)) return g;
    const std::string bytes = utf8CharToCodePage(c, font.codePage > 0 ? font.codePage : 1252);
    if (bytes.size() == 1) return tryShape(static_cast<unsigned char>(bytes[0]));
    return std::nullopt;
}

bool isDoubleBytePage(int n) { return n == 932 || n == 936 || n == 949 || n == 950 || n == 1361; }

std::optional<fonts::StrokeGlyph> bigFontGlyph(const TextFont& font, char32_t c) {
    if (!font.big || c < 0x80) return std::nullopt;
    const fonts::ShxFont& big = *font.big;
    // The drawing's own page first; a big font made for another page is tried in the others.
    int pages[5] = {isDoubleBytePage(font.codePage) ? font.codePage : 936, 936, 932, 950, 949};
    for (int page : pages) {
        const std::string bytes = utf8CharToCodePage(c, page);
        if (bytes.size() != 2 || !big.isLeadByte(static_cast<unsigned char>(bytes[0]))) continue;
        const std::uint32_t code = (static_cast<unsigned char>(bytes[0]) << 8) | static_cast<unsigned char>(bytes[1]);
        if (big.has(code)) return big.glyph(code);
    }
    return std::nullopt;
}

// Whether the path may grow by that many elements within the drawing's
// memory budget, counting the room it grows into: its elements move to an
// array twice as large when they fill theirs.
bool heldFor(const Path& path, std::size_t elements) {
    const std::size_t size = path.elements().size(), capacity = path.elements().capacity();
    if (size + elements <= capacity) return true;
    const std::size_t grown = std::max(2 * capacity, size + elements);
    // While they move, the old array is held too: the new one is counted
    // whole, then the old one given back.
    if (!chargeMemory(grown * sizeof(Path::Element))) return false;
    releaseMemory(capacity * sizeof(Path::Element));
    return true;
}

// Walks the code points of a QString.
template <typename F>
void forEachCodePoint(const QString& s, F&& f) {
    for (qsizetype i = 0; i < s.size(); ++i) {
        char32_t c = s[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(s[i].unicode(), s[i + 1].unicode());
            ++i;
        }
        f(c);
    }
}

// Lays a run of a stroke font out from x; adds its strokes (and the filled
// outlines of characters taken from another font) when paths are given.
// Returns the advance.
double strokeRun(const TextRun& run, double x, double baseline, TextPaths* paths) {
    const TextFormat& f = run.format;
    const TextFont& font = *f.font;
    const double h = f.height, sx = h * f.widthFactor * font.widthScale;
    const double shear = std::tan(std::clamp(f.oblique, -1.4, 1.4));
    const double extra = (f.tracking > 0 && std::isfinite(f.tracking) ? f.tracking - 1 : 0) * h * 0.3;
    double pen = x;
    forEachCodePoint(run.text, [&](char32_t c) {
        std::optional<fonts::StrokeGlyph> g = strokeGlyph(font, c);
        if (!g) g = bigFontGlyph(font, c);
        if (g) {
            if (paths) {
                // The strokes are kept until the text is drawn: a font whose
                // glyphs run long stops at the drawing's memory budget.
                std::size_t points = 0;
                for (const auto& s : g->strokes) points += s.size();
                if (!heldFor(paths->strokes, points)) g->strokes.clear();
                for (const auto& s : g->strokes) {
                    for (std::size_t k = 0; k < s.size(); ++k) {
                        const QPointF p(pen + s[k].x * sx + s[k].y * h * shear, baseline + s[k].y * h);
                        if (k == 0) paths->strokes.moveTo(p);
                        else paths->strokes.lineTo(p);
                    }
                }
            }
            pen += g->advance * sx + extra;
            return;
        }
        // A character the font lacks: from a font that has it (CJK text
        // without its big font), scaled to the same cap height.
        pen += missingCharacter(classicSymbol(c), f, pen, baseline, paths ? &paths->fill : nullptr) + extra;
    });
    return pen - x;
}

// "%%x" at position i; appends the character or toggles the format. Returns
// the characters consumed, 0 when not a code.
int percentCode(const QString& s, int i, QString& out, TextFormat& fmt, bool& formatChanged) {
    formatChanged = false;
    if (i + 2 >= s.size() || s[i] != QLatin1Char('%') || s[i + 1] != QLatin1Char('%')) return 0;
    // The codes are ASCII; anything else reads as '?', which ends them.
    const QByteArray window = s.mid(i, 5).toLatin1();
    const std::optional<PercentCode> code = percentCodeAt(std::string_view(window.data(), window.size()), 0);
    if (!code) return 0;
    switch (code->kind) {
    case PercentCode::Kind::Character:
        // Shape fonts are asked for a number itself (%%127); other fonts get
        // the classic symbols at 127..129 as characters they have.
        if (code->character != 0)
            out += QChar(static_cast<char16_t>(stroked(fmt) ? code->character : classicSymbol(code->character)));
        break;
    case PercentCode::Kind::Underline: fmt.underline = !fmt.underline; formatChanged = true; break;
    case PercentCode::Kind::Overline: fmt.overline = !fmt.overline; formatChanged = true; break;
    case PercentCode::Kind::Strike: fmt.strike = !fmt.strike; formatChanged = true; break;
    }
    return static_cast<int>(code->length);
}

bool writesVertically(const TextFormat& f) {
    return f.font && f.font->kind == TextFont::Kind::Shx && f.font->shx && f.font->shx->modes() == 2;
}

// Vertical text, from the insertion point down: a shape font made for it
// places each character itself (its vertical-only steps put the point at
// the top middle of the character and move on down); any other font has
// its characters centred under each other, one and a half heights apart.
TextPaths verticalRuns(const std::vector<TextRun>& runs) {
    TextPaths paths;
    double penX = 0, penY = 0;
    for (const TextRun& run : runs) {
        const TextFormat& f = run.format;
        const double h = f.height;
        forEachCodePoint(run.text, [&](char32_t c) {
            if (writesVertically(f)) {
                const double sx = h * f.widthFactor * f.font->widthScale;
                if (const std::optional<fonts::StrokeGlyph> g = strokeGlyph(*f.font, c, true)) {
                    for (const auto& stroke : g->strokes)
                        for (std::size_t k = 0; k < stroke.size(); ++k) {
                            const QPointF p(penX + stroke[k].x * sx, penY + stroke[k].y * h);
                            if (k == 0) paths.strokes.moveTo(p);
                            else paths.strokes.lineTo(p);
                        }
                    penX += g->advance * sx;
                    penY += g->advanceY * h;
                    return;
                }
            }
            const TextRun one{QString::fromUcs4(&c, 1), f};
            addRun(paths, one, penX - runAdvance(one) / 2, penY - h);
            penY -= 1.5 * h;
        });
    }
    return paths;
}

void flush(std::vector<TextRun>& runs, QString& text, const TextFormat& fmt) {
    if (text.isEmpty()) return;
    runs.push_back({text, fmt});
    text.clear();
}

// Reads a code's parameter up to ';' (or the end); i is the first character of it.
QString readParameter(const QString& s, int& i) {
    const int end = s.indexOf(QLatin1Char(';'), i);
    QString value = s.mid(i, end < 0 ? -1 : end - i);
    i = end < 0 ? static_cast<int>(s.size()) : end + 1;
    return value;
}

// Font names that stand for a monospaced font.
bool namesMonoFont(const QString& name) {
    const QString f = name.toLower();
    return f.contains(QLatin1String("mono")) || f.contains(QLatin1String("cour"));
}

double parseNumber(QString text, bool* relative) {
    text = text.trimmed();
    *relative = text.endsWith(QLatin1Char('x')) || text.endsWith(QLatin1Char('X'));
    if (*relative) text.chop(1);
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0;
}

// "\p" paragraph properties: comma-separated items, each a letter and a
// value, measured in heights of the text: i first-line indent (from the
// left indent), l left and r right indents, q alignment (l, c, r, j, d),
// t tab stops (more stops follow as bare numbers; "tz" clears them). An
// "x" before an item marks the extended set; line and paragraph spacing
// (s, b, a) are left alone.
void applyParagraphCode(const QString& code, double unit, ParagraphFormat& p) {
    QChar key;
    bool tabsGiven = false;
    for (QString item : code.split(QLatin1Char(','))) {
        item = item.trimmed();
        if (item.startsWith(QLatin1Char('x'))) item.remove(0, 1);
        if (item.isEmpty()) continue;
        if (item[0].isLetter()) {
            key = item[0];
            item.remove(0, 1);
        }
        bool ok = false;
        const double v = item.toDouble(&ok) * unit;
        const bool number = ok && std::isfinite(v);
        switch (key.unicode()) {
        case 'i': if (number) p.firstLine = v; break;
        case 'l': if (number) p.left = v; break;
        case 'r': if (number) p.right = v; break;
        case 'q':
            if (item.startsWith(QLatin1Char('c'))) p.align = 1;
            else if (item.startsWith(QLatin1Char('r'))) p.align = 2;
            else if (!item.isEmpty()) p.align = 0;
            break;
        case 't': {
            if (!tabsGiven) p.tabs.clear();
            tabsGiven = true;
            // Newer releases put the kind of stop (c, r, d) before its place.
            if (!item.isEmpty() && item[0].isLetter()) item.remove(0, 1);
            const double stop = item.toDouble(&ok) * unit;
            if (ok && std::isfinite(stop) && stop > 0 && p.tabs.size() < 64) p.tabs.push_back(stop);
            break;
        }
        default: break;
        }
    }
    std::sort(p.tabs.begin(), p.tabs.end());
}

// Reads multiline text code by code: the runs of each paragraph, the
// paragraphs' properties, and the format each code leaves for the text
// after it.
class MTextParser {
public:
    MTextParser(const std::string& raw, const TextFormat& base) : base_(base), fmt_(base) {
        const std::string decoded = decodeTextEscapes(raw);
        s_ = QString::fromUtf8(decoded.data(), static_cast<qsizetype>(decoded.size()));
        out_.paragraphs.emplace_back();
        out_.columnBreaks.push_back(false);
        out_.formats.emplace_back();
    }

    MTextParagraphs parse() {
        for (int i = 0; i < s_.size();) i = step(i);
        flushText();
        return std::move(out_);
    }

private:
    std::vector<TextRun>& runs() { return out_.paragraphs.back(); }
    void flushText() { flush(runs(), text_, fmt_); }
    // The text so far keeps the format it was written in; what follows takes the edited one.
    template <typename Edit>
    void change(Edit&& edit) {
        flushText();
        edit(fmt_);
    }

    // Reads what starts at i; returns where the next thing starts.
    int step(int i) {
        const QChar c = s_[i];
        if (c == QLatin1Char('{')) return openGroup(), i + 1;
        if (c == QLatin1Char('}')) return closeGroup(), i + 1;
        if (c == QLatin1Char('%'))
            if (const int used = percent(i)) return i + used;
        if (c == QLatin1Char('\n')) return newParagraph(false), i + 1;
        if (c == QLatin1Char('\t')) {
            flushText();
            runs().push_back({QStringLiteral("\t"), fmt_});
            return i + 1;
        }
        if (c != QLatin1Char('\\') || i + 1 >= s_.size()) {
            text_ += c;
            return i + 1;
        }
        return code(i);
    }

    void openGroup() {
        flushText();
        if (stack_.size() < 64) stack_.push_back(fmt_);
    }

    void closeGroup() {
        flushText();
        if (stack_.empty()) return;
        fmt_ = stack_.back();
        stack_.pop_back();
    }

    // A paragraph takes the properties of the one before it.
    void newParagraph(bool columnBreak) {
        flushText();
        out_.paragraphs.emplace_back();
        out_.columnBreaks.resize(out_.paragraphs.size(), false);
        out_.formats.push_back(out_.formats.back());
        out_.columnBreaks.back() = columnBreak;
    }

    int percent(int i) {
        TextFormat next = fmt_;
        bool changed = false;
        QString piece;
        const int used = percentCode(s_, i, piece, next, changed);
        if (used == 0) return 0;
        if (changed) change([&](TextFormat& f) { f = next; });
        text_ += piece;
        return used;
    }

    // The code after the backslash at i; returns where the text goes on.
    int code(int i) {
        const QChar letter = s_[i + 1];
        const ushort u = letter.unicode();
        int j = i + 2;
        switch (u) {
        case 'P': case 'N': case 'X': newParagraph(u == 'N'); break;
        case '~': text_ += QChar(0x00A0); break;
        case '\\': case '{': case '}': text_ += letter; break;
        case 'L': change([](TextFormat& f) { f.underline = true; }); break;
        case 'l': change([](TextFormat& f) { f.underline = false; }); break;
        case 'O': change([](TextFormat& f) { f.overline = true; }); break;
        case 'o': change([](TextFormat& f) { f.overline = false; }); break;
        case 'K': change([](TextFormat& f) { f.strike = true; }); break;
        case 'k': change([](TextFormat& f) { f.strike = false; }); break;
        case 'H': case 'W': case 'Q': case 'T': case 'A': numberCode(u, readParameter(s_, j)); break;
        case 'C': case 'c': colourCode(u, readParameter(s_, j)); break;
        case 'F': case 'f': fontCode(readParameter(s_, j)); break;
        case 'p': applyParagraphCode(readParameter(s_, j), base_.height, out_.formats.back()); break;
        case 'S': stackCode(readParameter(s_, j)); break;
        case 'M': case 'm':
            // A "\M+" escape the model left alone (not five hex digits) still
            // stands for one double-byte character we cannot show.
            j = std::min<int>(static_cast<int>(s_.size()), i + 8);
            text_ += QChar(0xFFFD);
            break;
        default:
            // An unknown code: leave out the backslash and its letter.
            break;
        }
        return j;
    }

    // Height, width, oblique angle, tracking and vertical alignment. A
    // number ending in x scales what the text had.
    void numberCode(ushort u, const QString& parameter) {
        bool relative = false;
        const double v = parseNumber(parameter, &relative);
        switch (u) {
        case 'H': if (v > 0) change([&](TextFormat& f) { f.height = relative ? f.height * v : v; }); break;
        case 'W': if (v > 0) change([&](TextFormat& f) { f.widthFactor = relative ? f.widthFactor * v : v; }); break;
        case 'Q': change([&](TextFormat& f) { f.oblique = v * kPi / 180; }); break;
        case 'T': if (v > 0) change([&](TextFormat& f) { f.tracking = relative ? f.tracking * v : v; }); break;
        case 'A':
            if (v >= 0 && v <= 2) change([&](TextFormat& f) { f.verticalAlign = static_cast<std::int8_t>(v); });
            break;
        default: break;
        }
    }

    // \C an index colour, \c a true colour; anything else (ByLayer, ByBlock,
    // out of range) goes back to the entity's colour.
    void colourCode(ushort u, const QString& parameter) {
        bool relative = false;
        const double value = parseNumber(parameter, &relative);
        if (u == 'C') {
            const int aci = value >= 1 && value <= 255 ? static_cast<int>(value) : 0;
            change([&](TextFormat& f) { f.color = aci > 0 ? std::optional(paintFromIndex(aci)) : base_.color; });
            return;
        }
        const bool valid = value >= 0 && value <= 0xFFFFFF;
        const auto rgb = valid ? static_cast<std::uint32_t>(value) : 0u;
        change([&](TextFormat& f) { f.color = valid ? std::optional(paintFromRgb(rgb)) : base_.color; });
    }

    void fontCode(const QString& parameter) {
        const bool mono = namesMonoFont(parameter);
        auto font = base_.font || fmt_.font
                        ? inlineFont(parameter.toStdString(), fmt_.font.get(), base_.folder ? *base_.folder : std::filesystem::path{})
                        : nullptr;
        if (font && base_.losses)
            noteStandIn(*base_.losses, parameter.section(QLatin1Char('|'), 0, 0).trimmed().toStdString(), *font);
        change([&](TextFormat& f) {
            f.mono = mono;
            if (font) f.font = std::move(font);
        });
    }

    // A stacked fraction: the top raised and the bottom lowered, both
    // smaller, with a slash between them unless it is a tolerance (^).
    void stackCode(QString stacked) {
        stacked.remove(QLatin1Char('\\'));
        int split = -1;
        for (QChar sep : {QLatin1Char('^'), QLatin1Char('/'), QLatin1Char('#')})
            if (split < 0) split = static_cast<int>(stacked.indexOf(sep));
        flushText();
        if (split < 0) {
            text_ += stacked;
            return;
        }
        const QString top = stacked.left(split).trimmed(), bottom = stacked.mid(split + 1).trimmed();
        const bool tolerance = stacked[split] == QLatin1Char('^');
        TextFormat small = fmt_;
        small.stackOf = fmt_.stackOf > 0 ? fmt_.stackOf : fmt_.height;
        small.height = fmt_.height * (tolerance ? 0.6 : 0.7);
        small.raise = fmt_.raise + fmt_.height * (tolerance ? 0.6 : 0.55);
        if (!top.isEmpty()) runs().push_back({top, small});
        if (!tolerance) runs().push_back({QStringLiteral("/"), fmt_});
        small.raise = fmt_.raise - fmt_.height * (tolerance ? 0.3 : 0.25);
        small.underPrevious = tolerance && !top.isEmpty();
        if (!bottom.isEmpty()) runs().push_back({bottom, small});
    }

    const TextFormat& base_;
    QString s_;
    MTextParagraphs out_;
    std::vector<TextFormat> stack_;  // the formats of the enclosing groups
    TextFormat fmt_;
    QString text_;                   // not yet a run
};

// A line of multiline text, its runs measured once.
struct Line {
    std::vector<TextRun> runs;
    std::vector<double> advances;  // of each run
    double width = 0, height = 0;
    double margin = 0;             // where the line starts, from the text's left edge
    const ParagraphFormat* format = nullptr;
    bool columnBreak = false;      // starts a new column
};

const ParagraphFormat kPlainParagraph;

bool isTab(const TextRun& run) { return run.text == QLatin1String("\t"); }

double spaceAdvance(const TextFormat& f) { return runAdvance({QStringLiteral(" "), f}); }

// Words with their spaces; a word may span runs of different formats. A
// tab is a word of its own.
std::vector<std::vector<TextRun>> wordsOf(const std::vector<TextRun>& paragraph) {
    std::vector<std::vector<TextRun>> words;
    std::vector<TextRun> word;
    for (const TextRun& run : paragraph) {
        if (isTab(run)) {
            if (!word.empty()) words.push_back(std::move(word));
            word.clear();
            words.push_back({run});
            continue;
        }
        QString piece;
        for (QChar ch : run.text) {
            piece += ch;
            if (ch == QLatin1Char(' ')) {
                word.push_back({piece, run.format});
                words.push_back(std::move(word));
                word.clear();
                piece.clear();
            }
        }
        if (!piece.isEmpty()) word.push_back({piece, run.format});
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

// The next tab stop after a place on the line: the paragraph's own, then
// one every defaultTab past the last of them.
double tabStop(const ParagraphFormat& pf, double at, double defaultTab) {
    for (double stop : pf.tabs)
        if (stop > at + 1e-9) return stop;
    const double from = pf.tabs.empty() ? 0 : pf.tabs.back();
    return from + (std::floor((at - from) / defaultTab + 1e-9) + 1) * defaultTab;
}

// Lays the words of a paragraph into lines, a word going to the next line
// where it would pass the room the width leaves.
class LineBreaker {
public:
    LineBreaker(std::vector<Line>& lines, const ParagraphFormat& pf, double rectWidth, double textHeight)
        : lines_(lines), pf_(pf), wrap_(rectWidth > 0 && std::isfinite(rectWidth)),
          room_(rectWidth - pf.right), textHeight_(textHeight) {}

    void paragraph(const std::vector<TextRun>& runs, bool columnBreak) {
        line_.columnBreak = columnBreak;
        line_.margin = pf_.left + pf_.firstLine;
        line_.format = &pf_;
        for (auto& w : wordsOf(runs)) add(w);
        // Trailing blanks don't count for the alignment of the line.
        if (!line_.runs.empty() && !isTab(line_.runs.back()) && line_.runs.back().text.endsWith(QLatin1Char(' ')))
            line_.width -= spaceAdvance(line_.runs.back().format);
        finish();
    }

private:
    void add(std::vector<TextRun>& word) {
        const bool tab = word.size() == 1 && isTab(word[0]);
        double width = measure(word, tab), height = 0;
        for (const TextRun& r : word) height = std::max(height, r.format.height);
        const double trailing =
            !tab && !word.empty() && word.back().text.endsWith(QLatin1Char(' ')) ? spaceAdvance(word.back().format) : 0;
        if (wrap_ && !line_.runs.empty() && line_.width + width - trailing > (room_ - line_.margin) * 1.0001) {
            finish();
            if (tab) width = measure(word, tab);  // from the start of the new line
        }
        for (TextRun& r : word) line_.runs.push_back(std::move(r));
        line_.advances.insert(line_.advances.end(), advances_.begin(), advances_.end());
        line_.width += width;
        line_.height = std::max(line_.height, height);
    }

    // The advances of a word's runs (a tab's up to its stop); their sum.
    double measure(const std::vector<TextRun>& word, bool tab) {
        const double end = line_.margin + line_.width;
        double width = 0;
        advances_.clear();
        for (const TextRun& r : word) {
            advances_.push_back(tab ? tabStop(pf_, end, 4 * textHeight_) - end : runAdvance(r));
            width += advances_.back();
        }
        return width;
    }

    void finish() {
        if (line_.height <= 0) line_.height = textHeight_;
        lines_.push_back(std::move(line_));
        line_ = Line{};
        line_.margin = pf_.left;
        line_.format = &pf_;
    }

    std::vector<Line>& lines_;
    const ParagraphFormat& pf_;
    const bool wrap_;
    const double room_, textHeight_;
    Line line_;
    std::vector<double> advances_;
};

std::vector<Line> breakLines(const MTextParagraphs& parsed, double rectWidth, double textHeight) {
    std::vector<Line> lines;
    for (std::size_t p = 0; p < parsed.paragraphs.size(); ++p) {
        const ParagraphFormat& pf = p < parsed.formats.size() ? parsed.formats[p] : kPlainParagraph;
        LineBreaker(lines, pf, rectWidth, textHeight)
            .paragraph(parsed.paragraphs[p], p < parsed.columnBreaks.size() && parsed.columnBreaks[p]);
    }
    return lines;
}

// Where each line stands: baselines from the top of its column, and how
// far the lowest descends.
struct LinePlaces {
    std::vector<double> baselines;
    std::vector<int> columnOf;
    double bottom = 0;
};

// A column ends at a column break, or where the next line would pass the column's height.
LinePlaces stackLines(const std::vector<Line>& lines, const TextFormat& base, double spacing, const MTextColumns& columns,
                      bool columned) {
    LinePlaces out;
    double y = 0;
    int current = 0;
    bool columnStart = true;
    auto columnHeight = [&](int c) {
        if (c < static_cast<int>(columns.heights.size()) && columns.heights[c] > 0) return columns.heights[c];
        return columns.height;
    };
    for (const Line& line : lines) {
        if (columned && !columnStart) {
            const double next = y - line.height * 5.0 / 3.0 * spacing;
            const double limit = columnHeight(current);
            if (line.columnBreak || (limit > 0 && -next + descentRatio(base) * line.height * 0.5 > limit * 1.0001)) {
                ++current;
                y = 0;
                columnStart = true;
            }
        }
        y -= columnStart ? line.height : line.height * 5.0 / 3.0 * spacing;
        columnStart = false;
        out.baselines.push_back(y);
        out.columnOf.push_back(current);
        out.bottom = std::min(out.bottom, y - descentRatio(base) * line.height * 0.5);
    }
    return out;
}

// Adds a run's glyphs to the part of its colour: the last part when it has
// that colour, else a new one.
void addToParts(std::vector<PlacedText>& parts, const TextRun& run, double x, double baseline) {
    const std::optional<PaintColor>& color = run.format.color;
    if (parts.empty() || parts.back().color.has_value() != color.has_value() ||
        (color && (parts.back().color->rgb != color->rgb || parts.back().color->foreground != color->foreground)))
        parts.push_back({Path{}, Path{}, color});
    // Swapped in and out rather than copied: a copy would be made of the
    // whole part once per run, making long text cost the square of its length.
    TextPaths paths;
    paths.fill.swap(parts.back().path);
    paths.strokes.swap(parts.back().strokes);
    addRun(paths, run, x, baseline);
    parts.back().path.swap(paths.fill);
    parts.back().strokes.swap(paths.strokes);
}

// The runs of a line from x on, its baseline at baseline.
void placeLine(const Line& line, double x, double baseline, std::vector<PlacedText>& parts) {
    double previousStart = x;
    for (std::size_t k = 0; k < line.runs.size(); ++k) {
        const TextRun& run = line.runs[k];
        const TextFormat& f = run.format;
        const bool blank = isTab(run) || (run.text.trimmed().isEmpty() && !f.underline && !f.overline && !f.strike);
        const double advance = line.advances[k];
        double start = x;
        if (f.underPrevious) {
            // Under the run before it; the line goes on after the longer of the two.
            start = previousStart;
            x = std::max(x, start + advance) - advance;
        }
        previousStart = start;
        if (!blank) {
            // A part smaller than its line sits on the baseline, in the middle or at the top (\A).
            const double own = f.stackOf > 0 ? f.stackOf : f.height;
            const double lift = f.verticalAlign == 1 ? (line.height - own) / 2 : f.verticalAlign == 2 ? line.height - own : 0;
            addToParts(parts, run, start, baseline + f.raise + lift);
        }
        x += advance;
    }
}

// The box the lines are aligned in: the column, the text's width, or
// without one the longest line.
double alignmentWidth(const std::vector<Line>& lines, double rectWidth, const MTextColumns& columns, bool columned) {
    if (columned) return columns.width;
    if (rectWidth > 0 && std::isfinite(rectWidth)) return rectWidth;
    double width = 0;
    for (const Line& line : lines)
        width = std::max(width, line.margin + line.width + (line.format ? line.format->right : 0));
    return width;
}

}  // namespace

bool isMonoFont(const std::string& fontFile) { return namesMonoFont(QString::fromStdString(fontFile)); }

double descentRatio() { return defaultTrueTypeDescent(); }

double descentRatio(const TextFormat& f) {
    if (f.font && f.font->kind == TextFont::Kind::Shx)
        return f.font->shx->above() > 0 ? f.font->shx->below() / f.font->shx->above() : 0;
    if (f.font && f.font->kind == TextFont::Kind::Hershey) return f.font->hershey->descent();
    return trueTypeDescent(f);
}

double runAdvance(const TextRun& run) {
    // A tab on its own, where no paragraph places it: as wide as four spaces.
    if (run.text == QLatin1String("\t")) return runAdvance({QStringLiteral("    "), run.format});
    if (stroked(run.format)) return strokeRun(run, 0, 0, nullptr);
    return setTrueTypeRun(run, 0, 0, nullptr);
}

void addRun(TextPaths& paths, const TextRun& run, double x, double baseline) {
    const TextFormat& fmt = run.format;
    if (run.text == QLatin1String("\t")) return;
    double width = 0;
    if (stroked(fmt)) {
        width = strokeRun(run, x, baseline, &paths);
    } else {
        width = setTrueTypeRun(run, x, baseline, &paths.fill);
    }
    if (fmt.underline || fmt.overline || fmt.strike) {
        const double h = fmt.height;
        if (stroked(fmt)) {
            // Shape fonts draw these as pen lines, like their letters.
            auto line = [&](double y) {
                paths.strokes.moveTo(x, y);
                paths.strokes.lineTo(x + width, y);
            };
            const double below = descentRatio(fmt) > 0 ? descentRatio(fmt) : 0.2;
            if (fmt.underline) line(baseline - h * std::min(below, 0.4) - h * 0.05);
            if (fmt.overline) line(baseline + h * 1.2);
            if (fmt.strike) line(baseline + h * 0.5);
        } else {
            const double thick = h * 0.07;
            if (fmt.underline) paths.fill.addRect(x, baseline - h * 0.2 - thick, width, thick);
            if (fmt.overline) paths.fill.addRect(x, baseline + h * 1.2, width, thick);
            if (fmt.strike) paths.fill.addRect(x, baseline + h * 0.5 - thick / 2, width, thick);
        }
    }
}

std::vector<TextRun> decodeTextCodes(const std::string& raw, const TextFormat& base) {
    // The readers decode \U+ escapes; a drawing built in memory may still hold them.
    const std::string decoded = decodeTextEscapes(raw);
    const QString s = QString::fromUtf8(decoded.data(), static_cast<qsizetype>(decoded.size()));
    std::vector<TextRun> runs;
    TextFormat fmt = base;
    QString text;
    for (int i = 0; i < s.size();) {
        if (s[i] == QLatin1Char('%')) {
            TextFormat next = fmt;
            bool changed = false;
            QString piece;
            const int used = percentCode(s, i, piece, next, changed);
            if (used > 0) {
                if (changed) flush(runs, text, fmt);
                fmt = next;
                text += piece;
                i += used;
                continue;
            }
        }
        text += s[i++];
    }
    flush(runs, text, fmt);
    return runs;
}

MTextParagraphs parseMText(const std::string& raw, const TextFormat& base) { return MTextParser(raw, base).parse(); }

TextPaths layoutText(const TextData& t, const std::string& shown, const TextFormat& base) {
    const std::vector<TextRun> runs = decodeTextCodes(shown, base);
    if (base.vertical) {
        // The column hangs from its point (left), is centred on it (centre,
        // middle) or stands on it (right).
        TextPaths column = verticalRuns(runs);
        const double length = -(column.fill.boundingRect() | column.strokes.boundingRect()).top();
        const int ha = t.horizontalAlign;
        const double lift = ha == 1 || ha == 4 ? length / 2 : ha == 2 ? length : 0;
        const Vec2 anchor = ha == 1 || ha == 2 || ha == 4 ? t.alignment.xy() : t.insertion.xy();
        Affine place;
        place.translate(anchor.x, anchor.y);
        place.rotateRadians(t.rotation);
        place.scale((t.generation & 2) ? -1 : 1, (t.generation & 4) ? -1 : 1);
        place.translate(0, lift);
        return TextPaths{place.map(column.fill), place.map(column.strokes)};
    }
    TextPaths paths;
    double x = 0;
    for (const TextRun& run : runs) {
        addRun(paths, run, x, 0);
        x += runAdvance(run);
    }
    const double width = x, h = base.height;

    const Vec2 p1 = t.insertion.xy(), p2 = t.alignment.xy();
    const double dx = p2.x - p1.x, dy = p2.y - p1.y, span = std::hypot(dx, dy);
    int ha = t.horizontalAlign, va = t.verticalAlign;
    if (ha < 0 || ha > 5) ha = 0;
    if (va < 0 || va > 3) va = 0;
    if ((ha == 3 || ha == 5) && (span < 1e-12 || width < 1e-12)) ha = 0;

    // Backward and upside-down text are mirror images about the point they
    // hang from, as the mirror command leaves them.
    const double mirrorX = (t.generation & 2) ? -1 : 1, mirrorY = (t.generation & 4) ? -1 : 1;
    Affine place;
    auto placed = [&] { return TextPaths{place.map(paths.fill), place.map(paths.strokes)}; };
    if (ha == 3 || ha == 5) {
        // Aligned keeps the proportions, fit keeps the height; both run from the first point to the second.
        const double k = span / width;
        place.translate(p1.x, p1.y);
        place.rotateRadians(std::atan2(dy, dx));
        place.scale(k, ha == 3 ? k : 1.0);
        place.scale(mirrorX, mirrorY);
        return placed();
    }
    double ox = 0, oy = 0;
    if (ha == 1) ox = -width / 2;
    else if (ha == 2) ox = -width;
    else if (ha == 4) { ox = -width / 2; oy = -h / 2; }
    if (ha != 4) {
        if (va == 1) oy = descentRatio(base) * h;
        else if (va == 2) oy = -h / 2;
        else if (va == 3) oy = -h;
    }
    const Vec2 anchor = (ha == 0 && va == 0) ? p1 : p2;
    place.translate(anchor.x, anchor.y);
    place.rotateRadians(t.rotation);
    place.scale(mirrorX, mirrorY);
    place.translate(ox, oy);
    return placed();
}

std::vector<PlacedText> layoutMText(const std::string& raw, const TextFormat& base, double rectWidth, int attachment,
                                    double lineSpacingFactor, const MTextColumns& columns, Box* extent) {
    const bool columned = columns.count > 1 && columns.width > 0 && std::isfinite(columns.width);
    if (columned) rectWidth = columns.width;
    const MTextParagraphs parsed = parseMText(raw, base);  // the lines point at its paragraph formats
    const std::vector<Line> lines = breakLines(parsed, rectWidth, base.height);

    if (attachment < 1 || attachment > 9) attachment = 1;
    const int column = (attachment - 1) % 3, row = (attachment - 1) / 3;
    const double spacing = (lineSpacingFactor > 0 && std::isfinite(lineSpacingFactor)) ? lineSpacingFactor : 1.0;
    const LinePlaces places = stackLines(lines, base, spacing, columns, columned);
    const double shiftY = row == 0 ? 0 : row == 1 ? -places.bottom / 2 : -places.bottom;
    const double columnStep = columned ? columns.width + std::max(0.0, columns.gutter) : 0;
    const double boxWidth = alignmentWidth(lines, rectWidth, columns, columned);

    std::vector<PlacedText> out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        const ParagraphFormat& pf = line.format ? *line.format : kPlainParagraph;
        const double boxLeft = columned ? places.columnOf[i] * columnStep
                               : column == 0 ? 0 : column == 1 ? -boxWidth / 2 : -boxWidth;
        const int align = pf.align >= 0 && pf.align <= 2 ? pf.align : column;
        const double slack = boxWidth - line.margin - pf.right - line.width;
        const double x = boxLeft + line.margin + (align == 0 ? 0 : align == 1 ? slack / 2 : slack);
        if (extent) {
            extent->add(Vec2{x, shiftY});
            extent->add(Vec2{x + line.width, shiftY + places.bottom});
        }
        placeLine(line, x, places.baselines[i] + shiftY, out);
    }
    return out;
}

}  // namespace cad::render
