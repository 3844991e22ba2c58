// Text in TrueType faces: where a face comes from (beside the drawing, a
// metric twin, the family's own bold or italic, or one made up), how big its
// glyphs stand, and characters a face lacks.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cad/fonts/FontFinder.h"
#include "cad/render/TextFonts.h"
#include "cad/render/TextLayout.h"

namespace cad::render::testing {
namespace {

constexpr double kHeight = 10;

TextFormat formatIn(std::shared_ptr<const TextFont> font) {
    TextFormat f;
    f.height = kHeight;
    f.font = std::move(font);
    return f;
}

QRectF ink(const QString& text, const TextFormat& f) {
    TextPaths paths;
    addRun(paths, {text, f}, 0, 0);
    return paths.fill.boundingRect();
}

}  // namespace

TEST(RenderTrueType, FacesFromTheDrawingTheTwinsAndTheFamiliesStyles) {
    // One of the machine's faces, beside the drawing under a name of its own.
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const auto dejaVu = fonts::FontFinder().familyFace("DejaVu Sans");
    ASSERT_TRUE(dejaVu) << "fonts-dejavu-core is not installed";
    std::filesystem::copy_file(dejaVu->file, folder + "/plan.ttf");
    const auto style = [&](const std::string& file, const std::string& family) {
        return styleFont(file, "", family, folder, 1252);
    };
    const auto switched = [&](const std::string& code) { return inlineFont(code, nullptr, folder); };

    struct Case {
        const char* what;
        std::shared_ptr<const TextFont> font;
        std::string family;
        bool bold, italic, madeUp;
        double capitals;  // the height of H per text height
    };
    const Case cases[] = {
        {"beside the drawing", style("plan.ttf", ""), "DejaVu Sans", false, false, false, 1},
        // Text height is Arial's cap height; Liberation Sans has Arial's
        // widths and capitals a little lower (1409 against 1467 units).
        {"a metric twin", style("arial.ttf", "Arial"), "Liberation Sans", false, false, false, 1409.0 / 1467},
        // Named by their own family, the twins still stand as high as the faces they replace.
        {"the family's bold", switched("Liberation Sans|b1|i0|c0|p34"), "Liberation Sans", true, false, false,
         1409.0 / 1467},
        {"the family's italic", switched("Liberation Serif|b0|i1|c0|p18"), "Liberation Serif", false, true, false,
         1341.0 / 1356},
        {"bold and italic made up", switched("WenQuanYi Micro Hei|b1|i1|c0|p34"), "WenQuanYi Micro Hei", true, true,
         true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.font && c.font->face);
        EXPECT_EQ(c.font->kind, TextFont::Kind::TrueType);
        EXPECT_EQ(c.font->family, c.family);
        EXPECT_EQ(c.font->face->bold() || c.font->emboldened, c.bold);
        EXPECT_EQ(c.font->face->italic() || c.font->slanted, c.italic);
        EXPECT_EQ(c.font->emboldened || c.font->slanted, c.madeUp) << "a face of the style was there to take";
        const TextFormat f = formatIn(c.font);
        const QRectF h = ink(QStringLiteral("H"), f);
        // Made-up bold thickens H by a 24th of an em up and down.
        EXPECT_NEAR(h.height(), kHeight * c.capitals, c.madeUp ? kHeight * 0.1 : kHeight * 0.01);
        EXPECT_NEAR(h.top(), 0, c.madeUp ? kHeight * 0.05 : 1e-9) << "capitals stand on the baseline";
        EXPECT_GT(descentRatio(f), 0.1);
        EXPECT_LT(descentRatio(f), 0.5);
    }
    EXPECT_TRUE(cases[0].font->substitution.empty()) << "the drawing's own face is no stand-in";
    EXPECT_EQ(cases[1].font->substitution, "arial.ttf -> Liberation Sans");
    // A damaged file of the name is no face: its stand-in draws, and is named.
    std::ofstream(folder + "/broken.ttf") << "not a font";
    const auto broken = style("broken.ttf", "Arial");
    EXPECT_TRUE(broken->face);
    EXPECT_EQ(broken->substitution, "broken.ttf -> Liberation Sans");
    // Liberation Sans sets "Hello" as wide as Arial does: 4667 units at 1467 units per text height.
    EXPECT_NEAR(runAdvance({QStringLiteral("Hello"), formatIn(cases[1].font)}), kHeight * 4667 / 1467, 0.01);
    // Bold is wider than regular; italic leans right.
    const TextFormat regular = formatIn(style("arial.ttf", "Arial"));
    EXPECT_GT(runAdvance({QStringLiteral("Hello"), formatIn(cases[2].font)}),
              runAdvance({QStringLiteral("Hello"), regular}) * 1.03);
    EXPECT_GT(ink(QStringLiteral("l"), formatIn(cases[4].font)).width(),
              ink(QStringLiteral("l"), formatIn(switched("WenQuanYi Micro Hei"))).width() + kHeight * 0.15);
}

TEST(RenderTrueType, CharactersAFaceLacksComeFromOneThatHasThem) {
    const TextFormat f = formatIn(styleFont("arial.ttf", "", "Arial", {}, 1252));
    ASSERT_TRUE(f.font && f.font->face);
    ASSERT_FALSE(f.font->face->glyph(U'\u4E2D')) << "the test wants a character Liberation Sans lacks";
    ASSERT_TRUE(fallbackFace(U'\u4E2D')) << "fonts-wqy-microhei is not installed";
    // Set at the size of the text's own face: a CJK glyph is an em wide,
    // wider than Liberation Sans's sign for a missing character (3/4 em).
    const double em = kHeight * 2048 / 1467;
    EXPECT_NEAR(runAdvance({QStringLiteral("\u4E2D"), f}), em, em * 0.05);
    const QRectF a = ink(QStringLiteral("A"), f), both = ink(QStringLiteral("A\u4E2D"), f);
    EXPECT_GT(both.width(), a.width() + em * 0.8);
    TextPaths paths;
    addRun(paths, {QStringLiteral("\u4E2D"), f}, 0, 0);
    EXPECT_GT(paths.fill.elementCount(), 12) << "drawn as the missing-character box";
}

TEST(RenderTrueType, JoiningScriptsAreShaped) {
    if (!fonts::canShape()) GTEST_SKIP() << "built without HarfBuzz: such text is set glyph by glyph";
    // Arabic letters take their joined forms: three behs joined are far
    // narrower than three alone. In DejaVu Sans itself, and from it for a
    // face without Arabic (Liberation Sans).
    for (const auto& [face, family] : {std::pair{"", "DejaVu Sans"}, {"arial.ttf", "Arial"}}) {
        SCOPED_TRACE(family);
        const TextFormat f = formatIn(styleFont(face, "", family, {}, 1252));
        const double alone = runAdvance({QStringLiteral("\u0628"), f});
        EXPECT_GT(alone, kHeight * 0.3);
        EXPECT_LT(runAdvance({QStringLiteral("\u0628\u0628\u0628"), f}), alone * 3 * 0.8);
        EXPECT_GT(ink(QStringLiteral("\u0628\u0628\u0628"), f).width(), alone);
    }
}

TEST(RenderTrueType, ThreadsSettingTheSameTextGetTheSameGlyphs) {
    // Glyphs are loaded on first use and shared: threads meeting them first
    // at once must each get them whole.
    const TextFormat f = formatIn(styleFont("times.ttf", "", "Times New Roman", {}, 1252));
    std::string text;
    for (char32_t c = 0x100; c < 0x180; ++c) text += QString::fromUcs4(&c, 1).toStdString() + (c % 8 ? "" : " ");
    std::vector<std::vector<PlacedText>> results(4);
    std::vector<std::thread> threads;
    for (auto& r : results) threads.emplace_back([&] { r = layoutMText(text, f, 100, 1, 1); });
    for (auto& t : threads) t.join();
    ASSERT_EQ(results[0].size(), 1u);
    EXPECT_GT(results[0][0].path.elementCount(), 1000);
    for (const auto& r : results) {
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].path.elements().size(), results[0][0].path.elements().size());
        EXPECT_TRUE(r[0].path.boundingRect() == results[0][0].path.boundingRect());
    }
}

}  // namespace cad::render::testing
