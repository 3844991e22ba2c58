#include "cad/dwg/ObjectReader.h"

namespace cad::dwg {

bool locateStringStream(const BitReader& base, std::size_t startBit, std::size_t endBit, BitReader& str) {
    str = BitReader(base.data(), 0, base.version());
    if (endBit < startBit + 1) return false;
    BitReader probe(base.data(), base.sizeBytes(), base.version(), startBit, endBit);
    std::size_t pos = endBit - 1;
    probe.seek(pos);
    if (!probe.B()) return false;
    if (pos < startBit + 16) probe.fail("string stream size outside its object");
    pos -= 16;
    probe.seek(pos);
    std::size_t size = probe.RS();
    if (size & 0x8000) {
        if (pos < startBit + 16) probe.fail("string stream size outside its object");
        pos -= 16;
        probe.seek(pos);
        std::size_t hi = probe.RS();
        size = (size & 0x7FFF) | (hi << 15);
    }
    if (size > pos - startBit) probe.fail("string stream larger than its object");
    str = BitReader(base.data(), base.sizeBytes(), base.version(), pos - size, pos);
    return true;
}

Color ObjectReader::CMC(int* storedIndex) {
    int index = dat.BSs();
    if (storedIndex) *storedIndex = index;
    if (!since(Version::R2004)) return Color::fromIndex(index < 0 ? -index : index);
    std::uint32_t rgb = dat.BL();
    std::uint8_t flags = dat.RC();
    if (flags & 1) T();  // colour name
    if (flags & 2) T();  // colour book name
    if ((rgb >> 24) == 0xC2) return Color::fromRgb(rgb);
    if ((rgb >> 24) == 0xC3) return Color::fromIndex(static_cast<int>(rgb & 0xFF));
    return Color::fromIndex(index < 0 ? -index : index);
}

Color ObjectReader::ENC(Handle* book) {
    if (!since(Version::R2004)) return Color::fromIndex(dat.BSs());
    std::uint16_t raw = dat.BS();
    unsigned flags = raw >> 8;
    int index = raw & 0x1FF;
    std::uint32_t rgb = 0;
    bool trueColor = false;
    // The colour, then its transparency: a colour from the colour books by
    // reference to the object that holds it, else a true colour here.
    if (flags & 0x40) {
        const Handle h = H();
        if (book) *book = h;
    } else if (flags & 0x80) {
        rgb = dat.BL();
        trueColor = true;
    }
    if (flags & 0x20) dat.BL();
    if ((flags & 0x41) == 0x41) T();
    if ((flags & 0x42) == 0x42) T();
    if (trueColor) return Color::fromRgb(rgb);
    return Color::fromIndex(index);
}

int lineweightFromIndex(int index) {
    static const int kWeights[24] = {0,  5,  9,  13, 15, 18,  20,  25,  30,  35,  40,  50,
                                     53, 60, 70, 80, 90, 100, 106, 120, 140, 158, 200, 211};
    if (index >= 0 && index < 24) return kWeights[index];
    if (index == 29) return LineWeightByLayer;
    if (index == 30) return LineWeightByBlock;
    if (index == 31) return LineWeightDefault;
    return LineWeightByLayer;
}

}  // namespace cad::dwg
