#include "cad/render/TextLayout.h"

#include "cad/render/Palette.h"
#include "cad/model/TextEscapes.h"

#include <QFont>
#include <QFontMetricsF>
#include <QTransform>
#include <cmath>

namespace cad::render {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Glyphs are outlined at this pixel size and scaled to the drawing.
constexpr int kGlyphPixels = 200;

struct FontInfo {
    QFont font;
    double capHeight = 1;
    double descent = 0.3;
};

FontInfo makeFont(const char* family) {
    FontInfo info;
    info.font = QFont(QString::fromLatin1(family));
    info.font.setPixelSize(kGlyphPixels);
    info.font.setHintingPreference(QFont::PreferNoHinting);
    info.font.setKerning(true);
    const QFontMetricsF metrics(info.font);
    info.capHeight = metrics.capHeight() > 1 ? metrics.capHeight() : kGlyphPixels * 0.73;
    info.descent = metrics.descent() / info.capHeight;
    return info;
}

// One set of fonts per thread: Qt caches a font's engine per thread, and a
// font shared between threads would look its engine up again, under a lock,
// each time another thread used it.
const FontInfo& fontFor(bool mono) {
    thread_local const FontInfo sans = makeFont("DejaVu Sans");
    thread_local const FontInfo monospace = makeFont("DejaVu Sans Mono");
    return mono ? monospace : sans;
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
        if (code->character != 0) out += QChar(static_cast<char16_t>(code->character));
        break;
    case PercentCode::Kind::Underline: fmt.underline = !fmt.underline; formatChanged = true; break;
    case PercentCode::Kind::Overline: fmt.overline = !fmt.overline; formatChanged = true; break;
    case PercentCode::Kind::Strike: fmt.strike = !fmt.strike; formatChanged = true; break;
    }
    return static_cast<int>(code->length);
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

}  // namespace

bool isMonoFont(const std::string& fontFile) { return namesMonoFont(QString::fromStdString(fontFile)); }

double descentRatio() { return fontFor(false).descent; }

double runAdvance(const TextRun& run) {
    const FontInfo& f = fontFor(run.format.mono);
    const QFontMetricsF metrics(f.font);
    return metrics.horizontalAdvance(run.text) * run.format.height / f.capHeight * run.format.widthFactor;
}

void addRun(QPainterPath& path, const TextRun& run, double x, double baseline) {
    const FontInfo& f = fontFor(run.format.mono);
    const double s = run.format.height / f.capHeight;
    const double shear = std::tan(std::clamp(run.format.oblique, -1.4, 1.4));
    QPainterPath glyphs;
    glyphs.addText(0, 0, f.font, run.text);
    const QTransform toPlane(s * run.format.widthFactor, 0, -s * shear, -s, x, baseline);
    path.addPath(toPlane.map(glyphs));
    const TextFormat& fmt = run.format;
    if (fmt.underline || fmt.overline || fmt.strike) {
        const double width = runAdvance(run), h = fmt.height, thick = h * 0.07;
        if (fmt.underline) path.addRect(x, baseline - h * 0.2 - thick, width, thick);
        if (fmt.overline) path.addRect(x, baseline + h * 1.2, width, thick);
        if (fmt.strike) path.addRect(x, baseline + h * 0.5 - thick / 2, width, thick);
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

MTextParagraphs parseMText(const std::string& raw, const TextFormat& base) {
    const std::string decoded = decodeTextEscapes(raw);
    const QString s = QString::fromUtf8(decoded.data(), static_cast<qsizetype>(decoded.size()));
    MTextParagraphs out;
    out.paragraphs.emplace_back();
    std::vector<TextFormat> stack;
    TextFormat fmt = base;
    QString text;
    auto change = [&](auto&& edit) {
        flush(out.paragraphs.back(), text, fmt);
        edit(fmt);
    };
    for (int i = 0; i < s.size();) {
        const QChar c = s[i];
        if (c == QLatin1Char('{')) {
            flush(out.paragraphs.back(), text, fmt);
            if (stack.size() < 64) stack.push_back(fmt);
            ++i;
            continue;
        }
        if (c == QLatin1Char('}')) {
            flush(out.paragraphs.back(), text, fmt);
            if (!stack.empty()) {
                fmt = stack.back();
                stack.pop_back();
            }
            ++i;
            continue;
        }
        if (c == QLatin1Char('%')) {
            TextFormat next = fmt;
            bool changed = false;
            QString piece;
            const int used = percentCode(s, i, piece, next, changed);
            if (used > 0) {
                if (changed) change([&](TextFormat& f) { f = next; });
                text += piece;
                i += used;
                continue;
            }
        }
        if (c == QLatin1Char('\n')) {
            flush(out.paragraphs.back(), text, fmt);
            out.paragraphs.emplace_back();
            ++i;
            continue;
        }
        if (c == QLatin1Char('\t')) {
            text += QLatin1String("    ");
            ++i;
            continue;
        }
        if (c != QLatin1Char('\\') || i + 1 >= s.size()) {
            text += c;
            ++i;
            continue;
        }
        const QChar code = s[i + 1];
        const ushort u = code.unicode();
        int j = i + 2;
        switch (u) {
        case 'P': case 'N': case 'X':
            flush(out.paragraphs.back(), text, fmt);
            out.paragraphs.emplace_back();
            break;
        case '~': text += QChar(0x00A0); break;
        case '\\': case '{': case '}': text += code; break;
        case 'L': change([](TextFormat& f) { f.underline = true; }); break;
        case 'l': change([](TextFormat& f) { f.underline = false; }); break;
        case 'O': change([](TextFormat& f) { f.overline = true; }); break;
        case 'o': change([](TextFormat& f) { f.overline = false; }); break;
        case 'K': change([](TextFormat& f) { f.strike = true; }); break;
        case 'k': change([](TextFormat& f) { f.strike = false; }); break;
        case 'H': {
            bool relative = false;
            const double v = parseNumber(readParameter(s, j), &relative);
            if (v > 0) change([&](TextFormat& f) { f.height = relative ? f.height * v : v; });
            break;
        }
        case 'W': {
            bool relative = false;
            const double v = parseNumber(readParameter(s, j), &relative);
            if (v > 0) change([&](TextFormat& f) { f.widthFactor = relative ? f.widthFactor * v : v; });
            break;
        }
        case 'Q': {
            bool relative = false;
            const double v = parseNumber(readParameter(s, j), &relative);
            change([&](TextFormat& f) { f.oblique = v * kPi / 180; });
            break;
        }
        case 'C': {
            bool relative = false;
            const double index = parseNumber(readParameter(s, j), &relative);
            const int aci = index >= 1 && index <= 255 ? static_cast<int>(index) : 0;
            change([&](TextFormat& f) {
                if (aci >= 1 && aci <= 255) f.color = paintFromIndex(aci);
                else f.color = base.color;  // ByLayer / ByBlock: back to the entity's colour
            });
            break;
        }
        case 'c': {
            bool relative = false;
            const double value = parseNumber(readParameter(s, j), &relative);
            // Out of range is no colour: back to the entity's, as for \C.
            const bool valid = value >= 0 && value <= 0xFFFFFF;
            const auto rgb = valid ? static_cast<std::uint32_t>(value) : 0u;
            change([&](TextFormat& f) { f.color = valid ? paintFromRgb(rgb) : base.color; });
            break;
        }
        case 'F': case 'f': {
            const bool mono = namesMonoFont(readParameter(s, j));
            change([&](TextFormat& f) { f.mono = mono; });
            break;
        }
        case 'T': case 'A': case 'p':
            readParameter(s, j);
            break;
        case 'S': {
            // A stacked fraction: the top raised and the bottom lowered, both
            // smaller, with a slash between them unless it is a tolerance (^).
            QString stacked = readParameter(s, j);
            stacked.remove(QLatin1Char('\\'));
            int split = -1;
            for (QChar sep : {QLatin1Char('^'), QLatin1Char('/'), QLatin1Char('#')})
                if (split < 0) split = static_cast<int>(stacked.indexOf(sep));
            flush(out.paragraphs.back(), text, fmt);
            if (split < 0) {
                text += stacked;
                break;
            }
            const QString top = stacked.left(split).trimmed(), bottom = stacked.mid(split + 1).trimmed();
            const bool tolerance = stacked[split] == QLatin1Char('^');
            TextFormat small = fmt;
            small.height = fmt.height * (tolerance ? 0.6 : 0.7);
            small.raise = fmt.raise + fmt.height * (tolerance ? 0.6 : 0.55);
            if (!top.isEmpty()) out.paragraphs.back().push_back({top, small});
            if (!tolerance) out.paragraphs.back().push_back({QStringLiteral("/"), fmt});
            small.raise = fmt.raise - fmt.height * (tolerance ? 0.3 : 0.25);
            small.underPrevious = tolerance && !top.isEmpty();
            if (!bottom.isEmpty()) out.paragraphs.back().push_back({bottom, small});
            break;
        }
        case 'M': case 'm':
            // A "\M+" escape the model left alone (not five hex digits) still
            // stands for one double-byte character we cannot show.
            j = std::min<int>(static_cast<int>(s.size()), i + 8);
            text += QChar(0xFFFD);
            break;
        default:
            // An unknown code: leave out the backslash and its letter.
            break;
        }
        i = j;
    }
    flush(out.paragraphs.back(), text, fmt);
    return out;
}

QPainterPath layoutText(const TextData& t, const std::string& shown, const TextFormat& base) {
    const std::vector<TextRun> runs = decodeTextCodes(shown, base);
    QPainterPath path;
    double x = 0;
    for (const TextRun& run : runs) {
        addRun(path, run, x, 0);
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
    QTransform place;
    if (ha == 3 || ha == 5) {
        // Aligned keeps the proportions, fit keeps the height; both run from the first point to the second.
        const double k = span / width;
        place.translate(p1.x, p1.y);
        place.rotateRadians(std::atan2(dy, dx));
        place.scale(k, ha == 3 ? k : 1.0);
        place.scale(mirrorX, mirrorY);
        return place.map(path);
    }
    double ox = 0, oy = 0;
    if (ha == 1) ox = -width / 2;
    else if (ha == 2) ox = -width;
    else if (ha == 4) { ox = -width / 2; oy = -h / 2; }
    if (ha != 4) {
        if (va == 1) oy = descentRatio() * h;
        else if (va == 2) oy = -h / 2;
        else if (va == 3) oy = -h;
    }
    const Vec2 anchor = (ha == 0 && va == 0) ? p1 : p2;
    place.translate(anchor.x, anchor.y);
    place.rotateRadians(t.rotation);
    place.scale(mirrorX, mirrorY);
    place.translate(ox, oy);
    return place.map(path);
}

std::vector<PlacedText> layoutMText(const std::string& raw, const TextFormat& base, double rectWidth, int attachment,
                                    double lineSpacingFactor) {
    const MTextParagraphs parsed = parseMText(raw, base);

    struct Line {
        std::vector<TextRun> runs;
        std::vector<double> advances;  // of each run, measured once
        double width = 0, height = 0;
    };
    std::vector<Line> lines;
    const bool wrap = rectWidth > 0 && std::isfinite(rectWidth);
    for (const auto& paragraph : parsed.paragraphs) {
        // Words with their spaces; a word may span runs of different formats.
        std::vector<std::vector<TextRun>> words;
        std::vector<TextRun> word;
        for (const TextRun& run : paragraph) {
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

        Line line;
        auto finish = [&] {
            if (line.height <= 0) line.height = base.height;
            lines.push_back(std::move(line));
            line = Line{};
        };
        std::vector<double> advances;
        for (auto& w : words) {
            double ww = 0, trailing = 0, wh = 0;
            advances.clear();
            for (const TextRun& r : w) {
                advances.push_back(runAdvance(r));
                ww += advances.back();
                wh = std::max(wh, r.format.height);
            }
            if (!w.empty() && w.back().text.endsWith(QLatin1Char(' '))) {
                TextRun space{QStringLiteral(" "), w.back().format};
                trailing = runAdvance(space);
            }
            if (wrap && !line.runs.empty() && line.width + ww - trailing > rectWidth * 1.0001) finish();
            for (TextRun& r : w) line.runs.push_back(std::move(r));
            line.advances.insert(line.advances.end(), advances.begin(), advances.end());
            line.width += ww;
            line.height = std::max(line.height, wh);
        }
        // Trailing blanks don't count for the alignment of the line.
        if (!line.runs.empty() && line.runs.back().text.endsWith(QLatin1Char(' '))) {
            TextRun space{QStringLiteral(" "), line.runs.back().format};
            line.width -= runAdvance(space);
        }
        finish();
    }

    if (attachment < 1 || attachment > 9) attachment = 1;
    const int column = (attachment - 1) % 3, row = (attachment - 1) / 3;
    const double spacing = (lineSpacingFactor > 0 && std::isfinite(lineSpacingFactor)) ? lineSpacingFactor : 1.0;

    std::vector<double> baselines;
    double y = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        y -= i == 0 ? lines[i].height : lines[i].height * 5.0 / 3.0 * spacing;
        baselines.push_back(y);
    }
    const double bottom = lines.empty() ? 0 : baselines.back() - descentRatio() * lines.back().height * 0.5;
    const double shiftY = row == 0 ? 0 : row == 1 ? -bottom / 2 : -bottom;

    std::vector<PlacedText> out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        double x = column == 0 ? 0 : column == 1 ? -line.width / 2 : -line.width;
        double previousStart = x;
        for (std::size_t k = 0; k < line.runs.size(); ++k) {
            const TextRun& run = line.runs[k];
            const bool blank = run.text.trimmed().isEmpty();
            const double advance = line.advances[k];
            double start = x;
            if (run.format.underPrevious) {
                // Under the run before it; the line goes on after the longer of the two.
                start = previousStart;
                x = std::max(x, start + advance) - advance;
            }
            previousStart = start;
            if (!blank) {
                if (out.empty() || out.back().color.has_value() != run.format.color.has_value() ||
                    (run.format.color && (out.back().color->rgb != run.format.color->rgb ||
                                          out.back().color->foreground != run.format.color->foreground)))
                    out.push_back({QPainterPath{}, run.format.color});
                addRun(out.back().path, run, start, baselines[i] + shiftY + run.format.raise);
            }
            x += advance;
        }
    }
    return out;
}

}  // namespace cad::render
