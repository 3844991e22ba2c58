// The preview picture of DWG files: found on the shared drawings, the best of
// several chosen, and damaged preview areas ignored without a throw.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "DxfTestFiles.h"
#include "cad/DrawingFile.h"
#include "cad/dwg/DwgPreview.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Kind = cad::Preview::Kind;

Bytes bytesOf(const std::string& path) {
    const std::string text = dxftest::loadFile(path);
    return Bytes(text.begin(), text.end());
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) b.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

// A 2000 file header whose preview area holds the given pictures, each a code
// and its bytes, stored one after the other behind the entry list.
Bytes fileWithPreview(const std::vector<std::pair<std::uint8_t, Bytes>>& pictures, const char* version = "AC1015") {
    static const std::uint8_t sentinel[16] = {0x1F, 0x25, 0x6D, 0x07, 0xD4, 0x36, 0x28, 0x28,
                                              0x9D, 0x57, 0xCA, 0x3F, 0x9D, 0x44, 0x10, 0x2B};
    const std::size_t area = 0x40, entries = area + 16 + 5;
    Bytes b(entries + 9 * pictures.size(), 0);
    std::memcpy(b.data(), version, 6);
    put32(b, 0x0D, area);
    std::memcpy(b.data() + area, sentinel, 16);
    b[area + 20] = static_cast<std::uint8_t>(pictures.size());
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const std::size_t entry = entries + 9 * i;
        b[entry] = pictures[i].first;
        put32(b, entry + 1, static_cast<std::uint32_t>(b.size()));
        put32(b, entry + 5, static_cast<std::uint32_t>(pictures[i].second.size()));
        b.insert(b.end(), pictures[i].second.begin(), pictures[i].second.end());
    }
    return b;
}

Bytes bmpInfo(std::int32_t width, std::int32_t height) {
    Bytes b(40 + 8, 0);
    put32(b, 0, 40);
    put32(b, 4, static_cast<std::uint32_t>(width));
    put32(b, 8, static_cast<std::uint32_t>(height));
    b[12] = 1, b[14] = 1;
    return b;
}

Bytes pngHead(std::uint32_t width, std::uint32_t height) {
    Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (std::uint32_t v : {width, height})
        for (int i = 3; i >= 0; --i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    b.resize(b.size() + 9, 0);
    return b;
}

const Bytes kWmf = {0xD7, 0xCD, 0xC6, 0x9A, 0, 0, 0, 0};
const Bytes kHeaderData(80, 0);

}  // namespace

TEST(DwgPreview, SharedDrawingsCarryTheirBmpOrPngPictures) {
    int bmp = 0, png = 0;
    for (const auto& entry : fs::recursive_directory_iterator(LUMICADE_DRAWINGS_DIR)) {
        if (entry.path().extension() != ".dwg") continue;
        SCOPED_TRACE(entry.path().string());
        const cad::Preview p = cad::dwg::readDwgPreview(bytesOf(entry.path().string()));
        if (!p.present()) continue;
        EXPECT_GT(p.width, 0);
        EXPECT_GT(p.height, 0);
        if (p.kind == Kind::Png) {
            ++png;
            EXPECT_EQ(p.data[1], 'P');
        } else {
            ++bmp;
            EXPECT_EQ(p.kind, Kind::Bmp);
            EXPECT_EQ(p.data[0], 40);
        }
    }
    EXPECT_GT(bmp, 0);
    EXPECT_GT(png, 0);

    const cad::Preview old = cad::dwg::readDwgPreview(bytesOf(dxftest::drawing("example_2000.dwg")));
    EXPECT_EQ(old.kind, Kind::Bmp);
    EXPECT_EQ(old.width, 184);
    EXPECT_EQ(old.height, 126);
    EXPECT_EQ(old.data.size(), 24248u);

    // The whole reader hands the same picture on in the drawing.
    const cad::Drawing d = cad::readDrawingFile(dxftest::drawing("example_2013.dwg"));
    EXPECT_EQ(d.preview.kind, Kind::Png);
    EXPECT_EQ(d.preview.width, 670);
    EXPECT_EQ(d.preview.height, 448);
    EXPECT_FALSE(cad::readDrawingFile(dxftest::drawing("example_2013.dxf")).preview.present());
}

TEST(DwgPreview, ChoosesPngThenBmpThenWmf) {
    cad::Preview p = cad::dwg::readDwgPreview(fileWithPreview({{1, kHeaderData}, {2, bmpInfo(64, -32)}, {3, kWmf}}));
    EXPECT_EQ(p.kind, Kind::Bmp);
    EXPECT_EQ(p.width, 64);
    EXPECT_EQ(p.height, 32);  // rows stored from the top
    EXPECT_EQ(p.data, bmpInfo(64, -32));

    p = cad::dwg::readDwgPreview(fileWithPreview({{6, pngHead(300, 200)}, {2, bmpInfo(64, 32)}}));
    EXPECT_EQ(p.kind, Kind::Png);
    EXPECT_EQ(p.width, 300);
    EXPECT_EQ(p.data, pngHead(300, 200));

    p = cad::dwg::readDwgPreview(fileWithPreview({{1, kHeaderData}, {3, kWmf}}));
    EXPECT_EQ(p.kind, Kind::Wmf);
    EXPECT_EQ(p.data, kWmf);

    EXPECT_FALSE(cad::dwg::readDwgPreview(fileWithPreview({{1, kHeaderData}})).present());
    EXPECT_FALSE(cad::dwg::readDwgPreview(fileWithPreview({})).present());
}

TEST(DwgPreview, DamagedAreasAndOldReleasesGiveNoPicture) {
    // Releases before R13 keep no preview there.
    EXPECT_FALSE(cad::dwg::readDwgPreview(fileWithPreview({{2, bmpInfo(64, 32)}}, "AC1009")).present());
    EXPECT_FALSE(cad::dwg::readDwgPreview(fileWithPreview({{2, bmpInfo(64, 32)}}, "AC2.10")).present());

    // Pictures that do not say a believable size are passed over.
    EXPECT_FALSE(cad::dwg::readDwgPreview(fileWithPreview({{2, bmpInfo(0, 32)}})).present());
    EXPECT_FALSE(cad::dwg::readDwgPreview(fileWithPreview({{2, bmpInfo(1 << 20, 32)}})).present());
    EXPECT_FALSE(cad::dwg::readDwgPreview(fileWithPreview({{6, pngHead(0xFFFFFFFF, 10)}})).present());
    EXPECT_FALSE(cad::dwg::readDwgPreview(fileWithPreview({{6, Bytes(30, 'x')}})).present());

    Bytes b = fileWithPreview({{2, bmpInfo(64, 32)}});
    Bytes badAddress = b;
    put32(badAddress, 0x0D, 0xFFFFFFF0);
    EXPECT_FALSE(cad::dwg::readDwgPreview(badAddress).present());
    Bytes badStart = b;
    put32(badStart, 0x40 + 21 + 1, 0xFFFFFFFF);  // start far past the end
    EXPECT_FALSE(cad::dwg::readDwgPreview(badStart).present());
    Bytes badLength = b;
    put32(badLength, 0x40 + 21 + 5, 0xFFFFFFFF);  // start + length wraps around
    EXPECT_FALSE(cad::dwg::readDwgPreview(badLength).present());
    Bytes manyEntries = b;
    manyEntries[0x40 + 20] = 255;  // more entries than the file has bytes for
    EXPECT_EQ(cad::dwg::readDwgPreview(manyEntries).kind, Kind::Bmp);

    // A real file cut short anywhere in or before its preview.
    const Bytes whole = bytesOf(dxftest::drawing("example_2000.dwg"));
    for (std::size_t cut = 0; cut < 26000 && cut < whole.size(); cut += 13) {
        const cad::Preview p = cad::dwg::readDwgPreview(Bytes(whole.begin(), whole.begin() + cut));
        if (p.present()) {
            EXPECT_LE(p.data.size(), cut);
        }
    }
}
