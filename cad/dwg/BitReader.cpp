#include "cad/dwg/BitReader.h"

#include <cstring>

#include "cad/model/CodePageText.h"
#include "cad/model/TextEscapes.h"

namespace cad::dwg {

const std::uint8_t kHeaderSentinel[16] = {0xCF, 0x7B, 0x1F, 0x23, 0xFD, 0xDE, 0x38, 0xA9,
                                          0x5F, 0x7C, 0x68, 0xB8, 0x4E, 0x6D, 0x33, 0x5F};
const std::uint8_t kClassesSentinel[16] = {0x8D, 0xA1, 0xC4, 0xB8, 0xC4, 0xA9, 0xF8, 0xC5,
                                           0xC0, 0xDC, 0xF4, 0x5F, 0xE7, 0xCF, 0xB6, 0x8A};

Handle HandleRef::absolute(Handle owner) const {
    switch (code) {
    case 6: return owner + 1;
    case 8: return owner - 1;
    case 10: return owner + value;
    case 12: return owner - value;
    default: return value;
    }
}

BitReader::BitReader(const std::uint8_t* data, std::size_t sizeBytes, Version v)
    : data_(data), size_(sizeBytes), pos_(0), end_(sizeBytes * 8), version_(v) {}

BitReader::BitReader(const std::uint8_t* data, std::size_t sizeBytes, Version v, std::size_t startBit,
                     std::size_t endBit)
    : data_(data), size_(sizeBytes), pos_(startBit), end_(endBit), version_(v) {
    if (end_ > size_ * 8) end_ = size_ * 8;
    if (pos_ > end_) pos_ = end_;
}

void BitReader::fail(const char* what) const {
    throw ReadError(std::string("damaged DWG data: ") + what);
}

void BitReader::seek(std::size_t bit) {
    if (bit > end_) fail("position outside its section");
    pos_ = bit;
}

void BitReader::limit(std::size_t endBit) {
    if (endBit < end_) end_ = endBit;
    if (pos_ > end_) pos_ = end_;
}

unsigned BitReader::bits(unsigned n) {
    need(n);
    unsigned v = 0;
    for (unsigned i = 0; i < n; ++i) {
        v = (v << 1) | ((data_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1u);
        ++pos_;
    }
    return v;
}

std::uint16_t BitReader::RS() {
    need(16);
    std::uint16_t lo = takeByte();
    std::uint16_t hi = takeByte();
    return static_cast<std::uint16_t>(lo | (hi << 8));
}

std::uint32_t BitReader::RL() {
    need(32);
    std::uint32_t v = 0;
    for (unsigned i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(takeByte()) << (8 * i);
    return v;
}

double BitReader::RD() {
    need(64);
    std::uint64_t raw = take64();
    double d;
    std::memcpy(&d, &raw, 8);  // little-endian IEEE doubles, as on our platforms
    return d;
}

void BitReader::skipBytes(std::uint64_t n) {
    if (n > bitsLeft() / 8) fail("a block of bytes runs past the end");
    pos_ += static_cast<std::size_t>(n) * 8;
}

std::vector<std::uint8_t> BitReader::bytes(std::size_t n) {
    if (n > bitsLeft() / 8) fail("a block of bytes runs past the end");
    std::vector<std::uint8_t> out(n);
    if (n == 0) return out;  // no copy: an empty vector (and a reader of nothing) may hold no memory at all
    if ((pos_ & 7) == 0) {
        std::memcpy(out.data(), data_ + (pos_ >> 3), n);
        pos_ += n * 8;
    } else {
        for (auto& x : out) x = takeByte();
    }
    return out;
}

std::uint16_t BitReader::BS() {
    switch (BB()) {
    case 0: return RS();
    case 1: return RC();
    case 2: return 0;
    default: return 256;
    }
}

std::uint32_t BitReader::BL() {
    switch (BB()) {
    case 0: return RL();
    case 1: return RC();
    case 2: return 0;
    default: fail("bad BL code");
    }
}

std::uint64_t BitReader::BLL() {
    unsigned n = bits(3);
    std::uint64_t v = 0;
    for (unsigned i = 0; i < n; ++i) v |= static_cast<std::uint64_t>(RC()) << (8 * i);
    return v;
}

double BitReader::BD() {
    switch (BB()) {
    case 0: return RD();
    case 1: return 1.0;
    case 2: return 0.0;
    default: fail("bad BD code");
    }
}

double BitReader::DD(double defaultValue) {
    unsigned code = BB();
    if (code == 0) return defaultValue;
    if (code == 3) return RD();
    std::uint8_t b[8];
    std::memcpy(b, &defaultValue, 8);
    need(code == 2 ? 48 : 32);
    if (code == 2) {
        b[4] = takeByte();
        b[5] = takeByte();
    }
    for (int i = 0; i < 4; ++i) b[i] = takeByte();
    double d;
    std::memcpy(&d, b, 8);
    return d;
}

double BitReader::BT() {
    if (since(Version::R2000) && B()) return 0.0;
    return BD();
}

Vec3 BitReader::BE() {
    if (since(Version::R2000) && B()) return {0, 0, 1};
    return BD3();
}

std::uint64_t BitReader::UMC() {
    std::uint64_t v = 0;
    for (unsigned shift = 0; shift < 64; shift += 7) {
        std::uint8_t b = RC();
        v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80)) return v;
    }
    fail("modular number too long");
}

std::int64_t BitReader::MC() {
    std::uint64_t v = 0;
    for (unsigned shift = 0; shift < 63; shift += 7) {
        std::uint8_t b = RC();
        if (!(b & 0x80)) {
            bool negative = b & 0x40;
            v |= static_cast<std::uint64_t>(b & 0x3F) << shift;
            auto s = static_cast<std::int64_t>(v);
            return negative ? -s : s;
        }
        v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
    }
    fail("modular number too long");
}

std::uint32_t BitReader::MS() {
    std::uint32_t v = 0;
    for (unsigned shift = 0; shift < 32; shift += 15) {
        std::uint16_t w = RS();
        v |= static_cast<std::uint32_t>(w & 0x7FFF) << shift;
        if (!(w & 0x8000)) return v;
    }
    fail("modular short too long");
}

unsigned BitReader::OT() {
    if (!since(Version::R2010)) return BS();
    switch (BB()) {
    case 0: return RC();
    case 1: return RC() + 0x1F0u;
    default: return RS();
    }
}

HandleRef BitReader::H() {
    std::uint8_t b = RC();
    HandleRef h;
    h.code = b >> 4;
    unsigned n = b & 0x0F;
    if (n > 8) fail("handle longer than 8 bytes");
    need(8 * n);
    for (unsigned i = 0; i < n; ++i) h.value = (h.value << 8) | takeByte();
    return h;
}

std::size_t BitReader::count(std::uint64_t n, unsigned minBitsPerItem) {
    if (minBitsPerItem == 0) minBitsPerItem = 1;
    if (n > bitsLeft() / minBitsPerItem) fail("a count exceeds what the object can hold");
    return static_cast<std::size_t>(n);
}

std::string BitReader::TV(int codePage) {
    std::size_t n = count(BS(), 8);
    std::string raw;
    raw.reserve(n);
    for (std::size_t i = 0; i < n; ++i) raw.push_back(static_cast<char>(RC()));
    // Stored strings often carry their terminating zero inside the length.
    while (!raw.empty() && raw.back() == '\0') raw.pop_back();
    return toUtf8(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size(), codePage);
}

std::string BitReader::TU() {
    std::size_t n = count(BS(), 16);
    std::string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t c = RS();
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < n) {
            std::uint32_t lo = RS();
            ++i;
            if (lo >= 0xDC00 && lo < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
            } else {
                appendUtf8(out, 0xFFFD);
                c = lo;
            }
        }
        if (c == 0) {
            // The terminating zero: whatever follows within the length is padding.
            for (++i; i < n; ++i) RS();
            break;
        }
        appendUtf8(out, c);
    }
    return out;
}

namespace {

const char* const kCodePageNames[] = {
    "UTF8",      "US_ASCII",  "ISO_8859_1", "ISO_8859_2", "ISO_8859_3", "ISO_8859_4", "ISO_8859_5",
    "ISO_8859_6", "ISO_8859_7", "ISO_8859_8", "ISO_8859_9", "DOS437",    "DOS850",    "DOS852",
    "DOS855",    "DOS857",    "DOS860",     "DOS861",     "DOS863",     "DOS864",     "DOS865",
    "DOS869",    "DOS932",    "MACINTOSH",  "BIG5",       "KSC5601",    "JOHAB",      "DOS866",
    "ANSI_1250", "ANSI_1251", "ANSI_1252",  "GB2312",     "ANSI_1253",  "ANSI_1254",  "ANSI_1255",
    "ANSI_1256", "ANSI_1257", "ANSI_874",   "ANSI_932",   "ANSI_936",   "ANSI_949",   "ANSI_950",
    "ANSI_1361", "ANSI_1200", "ANSI_1258"};

}  // namespace

std::string codePageName(int codePage) {
    constexpr int n = sizeof(kCodePageNames) / sizeof(kCodePageNames[0]);
    if (codePage <= 0 || codePage >= n) return "ANSI_1252";
    return kCodePageNames[codePage];
}

std::string toUtf8(const std::uint8_t* text, std::size_t n, int codePage) {
    // Drawings that name no usable page (and plain ASCII ones) were written on Western systems.
    int number = codePage > 1 ? codePageNumber(codePageName(codePage)) : 1252;
    if (number == 0 || !codePageKnown(number)) number = 1252;
    return codePageToUtf8(std::string_view(reinterpret_cast<const char*>(text), n), number);
}

}  // namespace cad::dwg
