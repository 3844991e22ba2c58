// Strings of DXF files come out as UTF-8 whatever their code page.
#include <gtest/gtest.h>

#include <cmath>

#include "DxfTestFiles.h"
#include "cad/dxf/DxfText.h"

using namespace cad;
using cad::dxf::TextDecoder;
using dxftest::dxfWithEntities;
using dxftest::read;

TEST(DxfText, CodePagesAndEscapes) {
    TextDecoder western("ANSI_1252", false);
    EXPECT_EQ(western.decode("Stra\xDF" "e 20\xB0"), "Straße 20°");
    EXPECT_EQ(western.decode("\x80"), "€");
    EXPECT_EQ(TextDecoder("ansi_1251", false).decode("\xCF\xF0\xE8"), "При");
    EXPECT_EQ(TextDecoder("DOS850", false).decode("\x81"), "ü");
    // No code page named: Western.
    EXPECT_EQ(TextDecoder("", false).decode("\xE9"), "é");

    // \U+ escapes in any version, also pairs beyond the basic plane; an
    // escaped backslash keeps what follows literal.
    EXPECT_EQ(western.decode("50\\U+00B1 1"), "50± 1");
    EXPECT_EQ(western.decode("\\U+D83D\\U+DE00"), "😀");
    EXPECT_EQ(western.decode("a\\\\U+0041"), "a\\\\U+0041");
    EXPECT_EQ(western.decode("\\U+00G1"), "\\U+00G1");
    EXPECT_EQ(western.decode("end\\U+00"), "end\\U+00");
    // Control characters spelled with a caret; a caret itself as "^ ".
    EXPECT_EQ(western.decode("a^Jb^Ic^ d x^2"), "a\nb\tc^d x^2");
    EXPECT_EQ(western.decode("\\S1^ 2;"), "\\S1^2;");
    // Double-byte escapes: the digit names the page (1 Japanese ... 5 Simplified Chinese).
    EXPECT_EQ(western.decode("\\M+18140x"), "\u3000x");
    EXPECT_EQ(western.decode("\\M+5D6D0\\M+2A4E5"), "中文");
    EXPECT_EQ(western.decode("\\M+98140"), "\xEF\xBF\xBD");

    TextDecoder utf8("ANSI_1252", true);
    EXPECT_EQ(utf8.decode("Stra\xC3\x9F" "e"), "Straße");
    EXPECT_EQ(utf8.decode("bad \xC3 and \xF8\x88\x80\x80\x80 end"), "bad \xEF\xBF\xBD and "
                                                                 "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
                                                                 "\xEF\xBF\xBD end");
    EXPECT_EQ(utf8.decode("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // a lone surrogate

    EXPECT_TRUE(TextDecoder("ANSI_932", false).known());
    EXPECT_EQ(TextDecoder("ANSI_932", false).decode("a\x82\xA0"), "aあ");
    // A byte that starts no character, and a character cut short.
    EXPECT_EQ(TextDecoder("ANSI_932", false).decode("\xA0\x82"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_FALSE(TextDecoder("ANSI_99999", false).known());
    EXPECT_EQ(TextDecoder("ANSI_99999", false).decode("\xE9"), "é");
}

TEST(DxfText, TheFilesVersionPicksTheEncoding) {
    const std::string layerText = "0\nTEXT\n8\nEbene \xC3\xA4\n1\n\xC3\xA4\n";
    // Before 2007 the bytes are the code page's ...
    Drawing old = read(dxfWithEntities(layerText, "AC1018", "ANSI_1252"));
    EXPECT_EQ(old.modelSpace()->entities[0].common.layer, "Ebene Ã¤");
    // ... from 2007 on they are UTF-8.
    Drawing modern = read(dxfWithEntities(layerText, "AC1021", "ANSI_1252"));
    EXPECT_EQ(modern.modelSpace()->entities[0].common.layer, "Ebene ä");
    EXPECT_EQ(modern.modelSpace()->entities[0].as<TextData>()->value, "ä");

    Drawing unknown = read(dxfWithEntities("0\nTEXT\n1\nx\n", "AC1015", "ANSI_99999"));
    ASSERT_EQ(unknown.warnings.size(), 1u);
    EXPECT_NE(unknown.warnings[0].find("ANSI_99999"), std::string::npos);
}

TEST(DxfText, DoubleByteCodePagesReadAsTheirCharacters) {
    // Trail bytes may be a backslash (表 in Shift-JIS, 許 in Big5): it is
    // part of the character, not the start of an escape.
    const struct {
        const char* page;
        std::string bytes, text;
    } lines[] = {
        {"ANSI_932", "\x93\xFA\x96\x7B\x8C\xEA\x95\x5C", "日本語表"},
        {"ANSI_936", "\xD6\xD0\xCE\xC4", "中文"},
        {"ANSI_949", "\xC7\xD1\xB1\xB9\xBE\xEE", "한국어"},
        {"ANSI_950", "\xA4\xA4\xA4\xE5\xB3\x5C", "中文許"},
        {"JOHAB", "\xD0\x65\x8B\x69", "한글"},
    };
    for (const auto& line : lines) {
        const Drawing d = read(dxfWithEntities("0\nTEXT\n1\n" + line.bytes + " %%d\n", "AC1015", line.page));
        ASSERT_EQ(d.modelSpace()->entities.size(), 1u) << line.page;
        EXPECT_EQ(d.modelSpace()->entities[0].as<TextData>()->value, line.text + " %%d") << line.page;
        EXPECT_TRUE(d.warnings.empty()) << line.page;
    }
}

TEST(DxfText, MTextChunksJoinBeforeDecoding) {
    // An escape split across the 250-character chunks still decodes.
    Drawing d = read(dxfWithEntities("0\nMTEXT\n10\n0\n20\n0\n40\n1\n3\nfirst \\U+00\n1\nB0 second\n"));
    EXPECT_EQ(d.modelSpace()->entities[0].as<MTextData>()->text, "first ° second");
}

TEST(DxfText, MTextColumnsAsGroupsAndAsExtendedData) {
    // 2018 files: groups after the column type (48 is the column width here, not
    // the linetype scale of the entity part); the first 50 is still the rotation.
    Drawing d = read(dxfWithEntities("0\nMTEXT\n100\nAcDbEntity\n8\n0\n100\nAcDbMText\n10\n0\n20\n0\n40\n1\n41\n10\n1\nabc\n50\n0.5\n75\n1\n76\n2\n78\n0\n79\n0\n"
                                     "48\n10\n49\n2\n50\n2\n50\n5\n50\n6\n",
                                     "AC1032"));
    const MTextData* m = d.modelSpace()->entities[0].as<MTextData>();
    ASSERT_TRUE(m);
    EXPECT_NEAR(m->xAxis.y, std::sin(0.5), 1e-12);
    EXPECT_EQ(m->columnType, 1);
    EXPECT_EQ(m->columnCount, 2);
    EXPECT_DOUBLE_EQ(m->columnWidth, 10);
    EXPECT_DOUBLE_EQ(m->columnGutter, 2);
    EXPECT_EQ(m->columnHeights, (std::vector<double>{5, 6}));
    // Earlier files: the same as extended data of the application ACAD.
    d = read(dxfWithEntities("0\nMTEXT\n10\n0\n20\n0\n40\n1\n1\nabc\n1001\nACAD\n1000\nACAD_MTEXT_COLUMN_INFO_BEGIN\n"
                             "1070\n75\n1070\n2\n1070\n79\n1070\n1\n1070\n76\n1070\n3\n1070\n48\n1040\n7.5\n1070\n49\n1040\n1.5\n"
                             "1070\n50\n1070\n1\n1040\n9\n1000\nACAD_MTEXT_COLUMN_INFO_END\n",
                             "AC1021"));
    m = d.modelSpace()->entities[0].as<MTextData>();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->text, "abc");
    EXPECT_EQ(m->columnType, 2);
    EXPECT_TRUE(m->columnAutoHeight);
    EXPECT_EQ(m->columnCount, 3);
    EXPECT_DOUBLE_EQ(m->columnWidth, 7.5);
    EXPECT_DOUBLE_EQ(m->columnGutter, 1.5);
    EXPECT_EQ(m->columnHeights, (std::vector<double>{9}));
}
