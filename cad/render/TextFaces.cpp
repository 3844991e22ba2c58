// Text set in TrueType faces, through Qt's font machinery; and the table of
// everything building a scene takes from Qt, installed before main().
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainterPath>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include <vector>

#include "cad/model/ReadableFile.h"
#include "cad/render/QtParts.h"
#include "cad/render/Render.h"
#include "cad/render/SceneBuilder.h"
#include "cad/render/TextLayout.h"

namespace cad::render {

namespace {

// Glyphs are outlined at this pixel size and scaled to the drawing.
constexpr int kGlyphPixels = 200;

struct FontInfo {
    QFont font;
    double capHeight = 1;
    double descent = 0.3;
};

FontInfo makeFont(const QString& family, bool bold = false, bool italic = false, double capHeightEm = 0) {
    ensureGuiApplication();  // Qt's fonts need it; drawings without such text never start it
    FontInfo info;
    info.font = QFont(family);
    info.font.setPixelSize(kGlyphPixels);
    info.font.setHintingPreference(QFont::PreferNoHinting);
    info.font.setKerning(true);
    info.font.setBold(bold);
    info.font.setItalic(italic);
    const QFontMetricsF metrics(info.font);
    info.capHeight = capHeightEm > 0 ? kGlyphPixels * capHeightEm
                     : metrics.capHeight() > 1 ? metrics.capHeight() : kGlyphPixels * 0.73;
    info.descent = metrics.descent() / info.capHeight;
    return info;
}

// One set of fonts per thread: Qt caches a font's engine per thread, and a
// font shared between threads would look its engine up again, under a lock,
// each time another thread used it.
const FontInfo& fontFor(bool mono) {
    thread_local const FontInfo sans = makeFont(QStringLiteral("DejaVu Sans"));
    thread_local const FontInfo monospace = makeFont(QStringLiteral("DejaVu Sans Mono"));
    return mono ? monospace : sans;
}

const FontInfo& fontFor(const QString& family, bool bold, bool italic, double capHeightEm = 0) {
    thread_local std::map<std::tuple<QString, bool, bool, double>, FontInfo> fonts;
    const auto key = std::make_tuple(family, bold, italic, capHeightEm);
    auto it = fonts.find(key);
    if (it == fonts.end()) it = fonts.emplace(key, makeFont(family, bold, italic, capHeightEm)).first;
    return it->second;
}

// The Qt font a run is set in: its TrueType face, or the default ones.
const FontInfo& qtFontFor(const TextFormat& f) {
    if (f.font && f.font->kind == TextFont::Kind::TrueType && !f.font->family.isEmpty())
        return fontFor(f.font->family, f.font->bold, f.font->italic, f.font->capHeight);
    return fontFor(f.mono);
}

double descent(const TextFormat& f) { return qtFontFor(f).descent; }

double defaultDescent() { return fontFor(false).descent; }

double advance(const TextRun& run) {
    const FontInfo& f = qtFontFor(run.format);
    const QFontMetricsF metrics(f.font);
    return metrics.horizontalAdvance(run.text) * run.format.height / f.capHeight * run.format.widthFactor;
}

void outline(Path& fill, const TextRun& run, double x, double baseline) {
    const TextFormat& fmt = run.format;
    const FontInfo& f = qtFontFor(fmt);
    const double s = fmt.height / f.capHeight;
    const double shear = std::tan(std::clamp(fmt.oblique, -1.4, 1.4));
    QPainterPath glyphs;
    if (fmt.tracking != 1 && std::isfinite(fmt.tracking) && fmt.tracking > 0) {
        double pen = 0;
        const QFontMetricsF metrics(f.font);
        const double extra = (fmt.tracking - 1) * fmt.height * 0.3 / (s * fmt.widthFactor);
        for (const QChar ch : run.text) {
            glyphs.addText(pen, 0, f.font, QString(ch));
            pen += metrics.horizontalAdvance(ch) + extra;
        }
    } else {
        glyphs.addText(0, 0, f.font, run.text);
    }
    const QTransform toPlane(s * fmt.widthFactor, 0, -s * shear, -s, x, baseline);
    fill.addPath(Path(toPlane.map(glyphs)));
}

double missingCharacter(char32_t c, const TextFormat& f, double pen, double baseline, Path* fill) {
    const QString family = fallbackFamily(c);
    const FontInfo& other = family.isEmpty() ? fontFor(false) : fontFor(family, false, false);
    const QString text = QString::fromUcs4(&c, 1);
    const double h = f.height, shear = std::tan(std::clamp(f.oblique, -1.4, 1.4));
    const double s = h / other.capHeight;
    if (fill) {
        QPainterPath glyph;
        glyph.addText(0, 0, other.font, text);
        fill->addPath(Path(QTransform(s * f.widthFactor, 0, -s * shear, -s, pen, baseline).map(glyph)));
    }
    return QFontMetricsF(other.font).horizontalAdvance(text) * s * f.widthFactor;
}

QString registerFontFile(const std::filesystem::path& file, const std::string& family) {
    ensureGuiApplication();  // the font database needs it
    // Weighed and read here, so that a pipe or a device named like a font
    // cannot stall the font database. Collections of CJK faces reach 100 MB.
    constexpr std::uint64_t kMaxFontBytes = 256u << 20;
    ReadableFile in;
    std::vector<std::uint8_t> bytes;
    if (!in.open(file.string(), kMaxFontBytes) || !in.read(bytes)) return QString::fromStdString(family);
    const int id = QFontDatabase::addApplicationFontFromData(
        QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
    const QStringList families = id >= 0 ? QFontDatabase::applicationFontFamilies(id) : QStringList{};
    return families.isEmpty() ? QString::fromStdString(family) : families.front();
}

void picture(frontend::Builder& builder, const ImageData& d, const frontend::Look& l, const Xform& xf,
             const std::vector<Vec3>& clipOutline) {
    builder.picture(d, l, xf, clipOutline);
}

void underlay(frontend::Builder& builder, const Entity& e, const ImageData& d, const frontend::Look& l, const Xform& ocs) {
    builder.underlay(e, d, l, ocs);
}

constexpr QtParts kParts{&descent, &defaultDescent, &advance, &outline, &missingCharacter, &registerFontFile,
                         &picture, &underlay};

// Before main(), so every scene of the program finds them.
const bool installed = (installQtParts(&kParts), true);

}  // namespace

}  // namespace cad::render

// Named by the link of every program that paints through Qt, so that this
// file, and the parts it installs, are always linked in.
extern "C" const bool lumicade_render_qt_parts = cad::render::installed;
