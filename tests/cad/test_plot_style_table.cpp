// Plot style tables as the CAD application writes them: a header, then the
// compressed text. The tables here are written by the test.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cad/model/PlotStyleTable.h"
#include "tests/support/PlotStyleFile.h"

namespace {

using cad::parsePlotStyleTable;

std::vector<unsigned char> tableFile(const std::string& text, const char* kind = "CTBVER1") {
    return testsupport::plotStyleFile(text, kind);
}

// Colour 1 in blue at 0.5 mm, colour 2 as drawn but screened to half, colour 3
// in grey; the lineweight table made thicker where the tables allow.
const std::string kTable =
    "description=\"\n"
    "aci_table_available=TRUE\n"
    "plot_style{\n"
    " 0{\n  name=\"Color_1\n  color=-1023410176\n  mode_color=-1040187137\n  color_policy=1\n  screen=100\n  lineweight=13\n }\n"
    " 1{\n  name=\"Color_2\n  color=-1006632961\n  screen=50\n  lineweight=255\n }\n"
    " 2{\n  name=\"Color_3\n  color=-1\n  color_policy=3\n  screen=250\n  lineweight=30\n }\n"
    "}\n"
    "custom_lineweight_table{\n 13=0.55\n 30=1.5\n}\n";

TEST(PlotStyleTable, ReadsPensPerColour) {
    std::string why;
    const auto table = parsePlotStyleTable(tableFile(kTable), &why);
    ASSERT_TRUE(table) << why;
    ASSERT_EQ(table->styles.size(), 3u);
    EXPECT_TRUE(table->colorDependent);
    struct Case {
        int color;
        bool objectColor;
        std::uint32_t rgb;
        bool grayscale;
        int screen;
        double lineweight;
    } cases[] = {
        {1, false, 0x0000FF, false, 100, 0.55},  // mode_color (C2 0000FF) over color
        {2, true, 0, false, 50, -1},             // 255: the object's own lineweight
        {3, true, 0, true, 100, 1.5},            // a screen past 100 is full ink; a number the table adds
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.color);
        const cad::PlotStyle* s = table->forColor(c.color);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->objectColor, c.objectColor);
        EXPECT_EQ(s->rgb, c.rgb);
        EXPECT_EQ(s->grayscale, c.grayscale);
        EXPECT_EQ(s->screen, c.screen);
        EXPECT_DOUBLE_EQ(s->lineweightMm, c.lineweight);
    }
    EXPECT_EQ(table->forColor(4), nullptr);
    EXPECT_EQ(table->forColor(0), nullptr);
    EXPECT_EQ(table->named("color_2"), table->forColor(2));
}

TEST(PlotStyleTable, NamedTablesAreNotColourDependent) {
    const auto table = parsePlotStyleTable(
        tableFile("aci_table_available=FALSE\nplot_style{\n 0{\n  name=\"Normal\n }\n 1{\n  name=\"Heavy\n  lineweight=20\n }\n}\n",
                  "STBVER1"),
        nullptr);
    ASSERT_TRUE(table);
    EXPECT_FALSE(table->colorDependent);
    EXPECT_EQ(table->forColor(1), nullptr);
    ASSERT_NE(table->named("HEAVY"), nullptr);
    EXPECT_DOUBLE_EQ(table->named("HEAVY")->lineweightMm, 1.0);  // the standard lineweights
}

TEST(PlotStyleTable, DamagedFilesGiveAReason) {
    const std::vector<unsigned char> good = tableFile(kTable);
    auto with = [&](auto change) {
        std::vector<unsigned char> bytes = good;
        change(bytes);
        return bytes;
    };
    const struct {
        const char* what;
        std::vector<unsigned char> bytes;
        const char* reason;
    } cases[] = {
        {"empty", {}, "not a plot style table"},
        {"a printer's file", tableFile(kTable, "PC3VER1"), "not a plot style table"},
        {"cut short", with([](auto& b) { b.resize(b.size() - 10); }), "cut short"},
        {"a huge text claimed", with([](auto& b) { b[55] = 0x7F; }), "claims a text"},
        {"a text longer than claimed", with([](auto& b) { b[52] = 5, b[53] = 0; }), "longer than it says"},
        {"garbled", with([](auto& b) { std::memset(b.data() + 62, 0x55, 20); }), "does not inflate"},
        {"no styles", tableFile("description=\"\n"), "no plot styles"},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_FALSE(parsePlotStyleTable(c.bytes, &why)) << c.what;
        EXPECT_NE(why.find(c.reason), std::string::npos) << c.what << ": " << why;
    }
}

}  // namespace
