// Where fonts are found and what stands in for the missing ones.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cad/fonts/FontFinder.h"

namespace fs = std::filesystem;
using cad::fonts::FontChoice;
using cad::fonts::FontFinder;

namespace {

struct TempFolders : ::testing::Test {
    fs::path root;
    void SetUp() override {
        root = fs::temp_directory_path() / ("lumicade-fonts-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        for (const char* d : {"drawing", "user1", "user2", "standard", "standard/shx"}) fs::create_directories(root / d);
    }
    void TearDown() override { fs::remove_all(root); }
    void touch(const fs::path& p) { std::ofstream(root / p) << "x"; }
};

}  // namespace

TEST_F(TempFolders, FilesAreFoundInOrderWhateverTheirCase) {
    touch("drawing/ROMANS.SHX");
    touch("user1/romans.shx");
    touch("user1/isocp.shx");
    touch("user2/isocp.shx");
    touch("user2/gothice.shx");
    touch("standard/shx/gothice.shx");
    touch("standard/gdt.shx");
    FontFinder finder({root / "user1", root / "user2"}, {root / "standard"});
    const fs::path drawing = root / "drawing";
    EXPECT_EQ(finder.findFile("romans.shx", drawing), root / "drawing/ROMANS.SHX");
    EXPECT_EQ(finder.findFile("C:\\Program Files\\Fonts\\Romans.shx", drawing), root / "drawing/ROMANS.SHX");
    EXPECT_EQ(finder.findFile("romans.shx", {}), root / "user1/romans.shx");
    EXPECT_EQ(finder.findFile("isocp.shx", drawing), root / "user1/isocp.shx");
    EXPECT_EQ(finder.findFile("gothice.shx", drawing), root / "user2/gothice.shx");
    EXPECT_EQ(finder.findFile("gdt.shx", drawing), root / "standard/gdt.shx");
    EXPECT_EQ(finder.findFile("/some/where/GDT.shx", drawing), root / "standard/gdt.shx");
    EXPECT_FALSE(finder.findFile("missing.shx", drawing));
    EXPECT_FALSE(finder.findFile("", drawing));

    const auto found = finder.choose("romans", "", drawing);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->kind, FontChoice::Kind::Shx);
    EXPECT_FALSE(found->substitute);
    EXPECT_TRUE(finder.substitutions().empty());
}

TEST_F(TempFolders, MissingFontsFallBackByKindAndAreNamedOnce) {
    FontFinder finder({}, {root / "standard"});
    const fs::path drawing = root / "drawing";

    auto c = finder.choose("txt.shx", "", drawing);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->kind, FontChoice::Kind::Hershey);
    EXPECT_EQ(c->file.filename(), "rowmans.jhf");
    EXPECT_GT(c->widthScale, 1.0);
    EXPECT_TRUE(c->substitute);
    c = finder.choose("TXT", "", drawing);
    EXPECT_EQ(c->kind, FontChoice::Kind::Hershey);
    EXPECT_EQ(FontFinder::hersheyStandIn("romand.shx").first, "rowmand");
    EXPECT_EQ(FontFinder::hersheyStandIn("gothicg").first, "gothicger");
    EXPECT_EQ(FontFinder::hersheyStandIn("simplex.shx"), std::make_pair(std::string("rowmans"), 1.0));

    // TrueType styles go to their metric twins.
    c = finder.choose("arial.ttf", "", drawing);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->kind, FontChoice::Kind::TrueType);
    EXPECT_EQ(c->family, "Liberation Sans") << "fonts-liberation2 is not installed";
    EXPECT_EQ(finder.choose("times.ttf", "Times New Roman", drawing)->family, "Liberation Serif");
    EXPECT_EQ(finder.choose("", "Courier New", drawing)->family, "Liberation Mono");

    // A missing big font has no stand-in of its own.
    EXPECT_FALSE(finder.choose("gbcbig.shx", "", drawing, true));

    finder.choose("txt.shx", "", drawing);
    const std::vector<std::string> named = finder.substitutions();
    EXPECT_EQ(std::count(named.begin(), named.end(), "txt.shx -> Hershey rowmans"), 1);
    EXPECT_EQ(std::count(named.begin(), named.end(), "arial.ttf -> Liberation Sans"), 1);
    EXPECT_EQ(std::count(named.begin(), named.end(), "gbcbig.shx -> characters from fontconfig"), 1);
}

TEST(FontFinderSystem, CjkCharactersHaveAFont) {
    FontFinder finder({}, {});
    for (char32_t c : {U'\u4E2D', U'\u3042', U'\uD55C'}) EXPECT_TRUE(finder.faceFor(c)) << int(c);
}

// fontconfig keeps a few bytes of its configuration to the end of the
// process; the leak checker is told so (the hook matters only under it).
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
