// Strings of DXF files come out as UTF-8 whatever their code page.
#include <gtest/gtest.h>

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
    // Double-byte escapes we cannot map become a replacement character.
    EXPECT_EQ(western.decode("\\M+18140x"), "\xEF\xBF\xBDx");

    TextDecoder utf8("ANSI_1252", true);
    EXPECT_EQ(utf8.decode("Stra\xC3\x9F" "e"), "Straße");
    EXPECT_EQ(utf8.decode("bad \xC3 and \xF8\x88\x80\x80\x80 end"), "bad \xEF\xBF\xBD and "
                                                                 "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
                                                                 "\xEF\xBF\xBD end");
    EXPECT_EQ(utf8.decode("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // a lone surrogate

    EXPECT_FALSE(TextDecoder("ANSI_932", false).known());
    EXPECT_EQ(TextDecoder("ANSI_932", false).decode("a\x82\xA0"), "a\xEF\xBF\xBD\xEF\xBF\xBD");
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

    Drawing unknown = read(dxfWithEntities("0\nTEXT\n1\nx\n", "AC1015", "ANSI_932"));
    ASSERT_EQ(unknown.warnings.size(), 1u);
    EXPECT_NE(unknown.warnings[0].find("ANSI_932"), std::string::npos);
}

TEST(DxfText, MTextChunksJoinBeforeDecoding) {
    // An escape split across the 250-character chunks still decodes.
    Drawing d = read(dxfWithEntities("0\nMTEXT\n10\n0\n20\n0\n40\n1\n3\nfirst \\U+00\n1\nB0 second\n"));
    EXPECT_EQ(d.modelSpace()->entities[0].as<MTextData>()->text, "first ° second");
}
