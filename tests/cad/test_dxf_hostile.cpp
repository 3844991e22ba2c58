// Damaged DXF files: cut short anywhere, or with bytes flipped at random,
// the reader gives a drawing or a clean ReadError; no crash, no hang, and
// no allocation out of proportion to the file's size.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <random>

#include "DxfTestFiles.h"

#include "CountingAllocator.h"

using lumicade::testing::heldBytes;
using lumicade::testing::peakBytes;
using lumicade::testing::resetPeak;

namespace {

// Reads the bytes and checks the outcome and the memory it took.
void readHostile(const std::string& bytes, const std::string& what) {
    const std::size_t before = heldBytes();
    resetPeak();
    try {
        cad::Drawing d = cad::dxf::readDxf(std::string_view(bytes));
        (void)d;
    } catch (const cad::ReadError& e) {
        EXPECT_NE(std::string(e.what()), "") << what;
    }
    // The model and the group list together stay within a small multiple
    // of the file's size.
    const std::size_t used = peakBytes() - before;
    EXPECT_LE(used, 40 * bytes.size() + (1u << 20)) << what;
}

// The sample drawings by path, the exports of the releases before R13,
// whose dialect differs most, and the binary exports.
std::vector<std::string> withLegacy(std::initializer_list<const char*> names) {
    std::vector<std::string> paths;
    for (const char* name : names) paths.push_back(dxftest::drawing(name));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(LUMICADE_LEGACY_DRAWINGS_DIR))
        if (entry.path().extension() == ".dxf") paths.push_back(entry.path().string());
    for (const auto& entry : std::filesystem::recursive_directory_iterator(LUMICADE_SAMPLE_DRAWINGS_DIR))
        if (entry.path().extension() == ".dxf" && entry.path().stem().string().ends_with("_binary"))
            paths.push_back(entry.path().string());
    return paths;
}

}  // namespace

TEST(DxfHostile, TruncatedAnywhere) {
    for (const std::string& name : withLegacy({"example_r14.dxf", "sample_2018.dxf", "2007/Leader.dxf"})) {
        std::string file = dxftest::loadFile(name);
        ASSERT_FALSE(file.empty()) << name;
        for (int i = 0; i < 64; ++i) {
            std::size_t cut = file.size() * static_cast<std::size_t>(i) / 64;
            readHostile(file.substr(0, cut), name + " cut at " + std::to_string(cut));
        }
    }
}

TEST(DxfHostile, SeededByteFlips) {
    std::mt19937 random(20261207);
    for (const std::string& name : withLegacy({"sample_2018.dxf", "2007/Text.dxf", "example_r12.dxf"})) {
        const std::string file = dxftest::loadFile(name);
        ASSERT_FALSE(file.empty()) << name;
        const int rounds = file.size() > 500000 ? 20 : 120;
        for (int round = 0; round < rounds; ++round) {
            std::string damaged = file;
            int flips = 1 + static_cast<int>(random() % 8);
            for (int k = 0; k < flips; ++k) {
                std::size_t at = random() % damaged.size();
                // Mostly digits and line breaks, which change numbers and the
                // group structure; sometimes any byte at all.
                static const char kinds[] = "0123456789\n-.eE ";
                damaged[at] = random() % 4 ? kinds[random() % (sizeof kinds - 1)] : static_cast<char>(random());
            }
            readHostile(damaged, name + " round " + std::to_string(round));
        }
    }
}

TEST(DxfHostile, HugeCountsDoNotAllocateAhead) {
    // Counts in the file are never trusted to size anything.
    std::string text = dxftest::dxfWithEntities(
        "0\nLWPOLYLINE\n90\n2147483647\n10\n1\n20\n2\n"
        "0\nHATCH\n91\n2147483647\n92\n2\n93\n2147483647\n10\n1\n20\n1\n"
        "0\nSPLINE\n72\n2147483647\n73\n2147483647\n10\n0\n20\n0\n"
        "0\nPOLYLINE\n71\n32767\n72\n32767\n70\n16\n");
    readHostile(text, "huge counts");
    EXPECT_EQ(cad::dxf::readDxf(std::string_view(text)).modelSpace()->entities.size(), 4u);
}

TEST(DxfHostile, RepeatedHeaderSectionsDecodeTheTextStyleOnce) {
    // Twenty header sections, the first naming a style in Latin-1: the name
    // is decoded from the file's bytes once, not again by every later
    // section (which doubled its accented bytes each time).
    std::string text = "0\nSECTION\n2\nHEADER\n9\n$TEXTSTYLE\n7\nSTAND\xC4RD\n0\nENDSEC\n";
    for (int i = 0; i < 20; ++i) text += "0\nSECTION\n2\nHEADER\n9\n$CLAYER\n8\n0\n0\nENDSEC\n";
    text += "0\nEOF\n";
    resetPeak();
    const std::size_t before = heldBytes();
    const cad::Drawing d = cad::dxf::readDxf(std::string_view(text));
    EXPECT_EQ(d.header.textStyle, "STAND\u00C4RD");
    EXPECT_LT(peakBytes() - before, 64u * text.size() + 1024 * 1024);
}

TEST(DxfHostile, ManyBlocksAndLayoutsStayFast) {
    // Tens of thousands of block records, blocks and layouts: each is looked
    // up by name or handle, never by walking all the others.
    std::string tables = "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nBLOCK_RECORD\n";
    std::string blocks = "0\nSECTION\n2\nBLOCKS\n";
    std::string objects = "0\nSECTION\n2\nOBJECTS\n";
    const int n = 30000;
    for (int i = 0; i < n; ++i) {
        std::string handle = std::to_string(1000 + i);
        tables += "0\nBLOCK_RECORD\n5\n" + handle + "\n2\nB" + handle + "\n";
        blocks += "0\nBLOCK\n2\nB" + handle + "\n0\nLINE\n0\nENDBLK\n";
        objects += "0\nLAYOUT\n5\n" + std::to_string(100000 + i) + "\n100\nAcDbLayout\n1\nL" + handle + "\n330\n" +
                   handle + "\n";
    }
    std::string text = tables + "0\nENDTAB\n0\nENDSEC\n" + blocks + "0\nENDSEC\n" + objects + "0\nENDSEC\n0\nEOF\n";
    cad::Drawing d = cad::dxf::readDxf(std::string_view(text));
    EXPECT_EQ(d.blocks.size(), static_cast<std::size_t>(n) + 2);
    EXPECT_EQ(d.layouts.size(), static_cast<std::size_t>(n));
    const cad::Block* last = d.findBlock("B" + std::to_string(1000 + n - 1));
    ASSERT_NE(last, nullptr);
    EXPECT_NE(last->handle, 0u);
    EXPECT_NE(last->layout, 0u);
}
