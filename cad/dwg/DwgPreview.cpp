#include "cad/dwg/DwgPreview.h"

#include <array>
#include <cstdlib>
#include <cstring>

namespace cad::dwg {

namespace {

// The preview area opens with this sentinel; the address at 0x0D of the file
// header points at it in every release from R13 to 2018.
constexpr std::array<std::uint8_t, 16> kPreviewSentinel = {0x1F, 0x25, 0x6D, 0x07, 0xD4, 0x36, 0x28, 0x28,
                                                           0x9D, 0x57, 0xCA, 0x3F, 0x9D, 0x44, 0x10, 0x2B};
constexpr std::size_t kPreviewAddressAt = 0x0D;
constexpr std::uint8_t kCodeBmp = 2, kCodeWmf = 3, kCodePng = 6;
// Bigger than any picture a CAD application stores; anything larger is a damaged size field.
constexpr int kLargestSide = 1 << 15;

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}
std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | std::uint32_t{p[3]};
}

bool plausibleSide(std::int64_t side) { return side > 0 && side <= kLargestSide; }

// The DWG versions "AC1012" (R13) and later carry the preview this way.
bool hasPreviewArea(const std::vector<std::uint8_t>& file) {
    if (file.size() < kPreviewAddressAt + 4 || std::memcmp(file.data(), "AC10", 4) != 0) return false;
    const int release = (file[4] - '0') * 10 + (file[5] - '0');
    return file[4] >= '0' && file[4] <= '9' && file[5] >= '0' && file[5] <= '9' && release >= 12;
}

// A device-independent bitmap: the info header says its size in pixels
// (a negative height means rows from the top).
bool describeBmp(const std::uint8_t* p, std::size_t size, cad::Preview& out) {
    if (size < 40 || le32(p) < 40 || le32(p) > size) return false;
    const auto width = static_cast<std::int32_t>(le32(p + 4));
    const auto height = static_cast<std::int32_t>(le32(p + 8));
    const std::int64_t rows = std::llabs(static_cast<std::int64_t>(height));
    if (!plausibleSide(width) || !plausibleSide(rows)) return false;
    out.width = width, out.height = static_cast<int>(rows);
    return true;
}

// A PNG file: signature, then the IHDR chunk with width and height.
bool describePng(const std::uint8_t* p, std::size_t size, cad::Preview& out) {
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size < 24 || std::memcmp(p, signature, 8) != 0 || std::memcmp(p + 12, "IHDR", 4) != 0) return false;
    const std::int64_t width = be32(p + 16), height = be32(p + 20);
    if (!plausibleSide(width) || !plausibleSide(height)) return false;
    out.width = static_cast<int>(width), out.height = static_cast<int>(height);
    return true;
}

int preference(cad::Preview::Kind kind) {
    switch (kind) {
    case cad::Preview::Kind::Png: return 3;
    case cad::Preview::Kind::Bmp: return 2;
    case cad::Preview::Kind::Wmf: return 1;
    case cad::Preview::Kind::None: break;
    }
    return 0;
}

}  // namespace

cad::Preview readDwgPreview(const std::vector<std::uint8_t>& file) {
    cad::Preview best;
    if (!hasPreviewArea(file)) return best;
    const std::size_t size = file.size();
    const std::size_t at = le32(file.data() + kPreviewAddressAt);
    // Sentinel, overall size (4 bytes), number of pictures (1 byte).
    if (at > size || size - at < kPreviewSentinel.size() + 5) return best;
    if (std::memcmp(file.data() + at, kPreviewSentinel.data(), kPreviewSentinel.size()) != 0) return best;
    std::size_t entry = at + kPreviewSentinel.size() + 4;
    const int count = file[entry++];
    // Each entry: a code (1 header data, 2 BMP, 3 WMF, 6 PNG), the absolute
    // start of its bytes and their size.
    for (int i = 0; i < count && size - entry >= 9; ++i, entry += 9) {
        const std::uint8_t code = file[entry];
        const std::size_t start = le32(file.data() + entry + 1), length = le32(file.data() + entry + 5);
        if (length == 0 || start > size || length > size - start) continue;
        const std::uint8_t* bytes = file.data() + start;
        cad::Preview found;
        if (code == kCodeBmp && describeBmp(bytes, length, found)) found.kind = cad::Preview::Kind::Bmp;
        else if (code == kCodePng && describePng(bytes, length, found)) found.kind = cad::Preview::Kind::Png;
        else if (code == kCodeWmf) found.kind = cad::Preview::Kind::Wmf;
        else continue;
        if (preference(found.kind) <= preference(best.kind)) continue;
        found.data.assign(bytes, bytes + length);
        best = std::move(found);
    }
    return best;
}

}  // namespace cad::dwg
