#pragma once
// Reading the bit-packed values of a DWG file: the bit codes (B, BB, BS,
// BL, BD, DD ...), modular numbers and handle references. Every read is
// bounds checked; running off the end throws cad::ReadError, so a damaged
// object can never make us read outside its buffer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cad/dwg/DwgSections.h"
#include "cad/model/Drawing.h"

namespace cad::dwg {

struct HandleRef {
    int code = 0;
    Handle value = 0;
    // Resolves the relative forms (codes 6, 8, 10, 12) against the handle
    // of the object the reference sits in.
    Handle absolute(Handle owner) const;
};

class BitReader {
public:
    BitReader() = default;
    // Reads bits [startBit, endBit) of data.
    BitReader(const std::uint8_t* data, std::size_t sizeBytes, Version v);
    BitReader(const std::uint8_t* data, std::size_t sizeBytes, Version v, std::size_t startBit, std::size_t endBit);

    Version version() const { return version_; }
    bool since(Version v) const { return version_ >= v; }
    bool until(Version v) const { return version_ <= v; }

    std::size_t position() const { return pos_; }
    std::size_t end() const { return end_; }
    std::size_t bitsLeft() const { return pos_ < end_ ? end_ - pos_ : 0; }
    void seek(std::size_t bit);
    void limit(std::size_t endBit);  // shrink the readable range
    const std::uint8_t* data() const { return data_; }
    std::size_t sizeBytes() const { return size_; }

    // Raw values
    bool B() {
        need(1);
        bool b = (data_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1;
        ++pos_;
        return b;
    }
    unsigned BB() {
        need(2);
        unsigned shift = pos_ & 7;
        std::size_t byte = pos_ >> 3;
        unsigned v = shift < 7 ? (data_[byte] >> (6 - shift)) & 3u
                               : ((data_[byte] & 1u) << 1) | (data_[byte + 1] >> 7);
        pos_ += 2;
        return v;
    }
    unsigned bits(unsigned n);  // up to 32, most significant first
    std::uint8_t RC() {
        need(8);
        return takeByte();
    }
    std::uint16_t RS();
    std::uint32_t RL();
    double RD();
    void skipBytes(std::uint64_t n);
    std::vector<std::uint8_t> bytes(std::size_t n);

    // Compressed values
    std::uint16_t BS();
    std::int16_t BSs() { return static_cast<std::int16_t>(BS()); }
    std::uint32_t BL();
    std::int32_t BLs() { return static_cast<std::int32_t>(BL()); }
    std::uint64_t BLL();
    double BD();
    double DD(double defaultValue);
    double BT();          // thickness: R2000+ one bit for zero
    Vec3 BE();            // extrusion: R2000+ one bit for (0,0,1)
    std::uint64_t UMC();  // modular char, unsigned
    std::int64_t MC();    // modular char, signed
    std::uint32_t MS();   // modular short
    unsigned OT();        // object type: BS, or the 2010+ compact form
    HandleRef H();

    Vec2 RD2() { double x = RD(); double y = RD(); return {x, y}; }
    Vec3 RD3() { double x = RD(); double y = RD(); double z = RD(); return {x, y, z}; }
    Vec2 BD2() { double x = BD(); double y = BD(); return {x, y}; }
    Vec3 BD3() { double x = BD(); double y = BD(); double z = BD(); return {x, y, z}; }
    Vec2 DD2(Vec2 d) { double x = DD(d.x); double y = DD(d.y); return {x, y}; }
    Vec3 DD3(Vec3 d) { double x = DD(d.x); double y = DD(d.y); double z = DD(d.z); return {x, y, z}; }

    // A count that is about to drive a loop: rejected when even the
    // smallest encoding of that many items could not fit in the bits left.
    std::size_t count(std::uint64_t n, unsigned minBitsPerItem);

    // Text: TV in the drawing's code page (R13-2004) or UTF-16 (2007+),
    // returned as UTF-8.
    std::string TV(int codePage);
    std::string TU();

    [[noreturn]] void fail(const char* what) const;

private:
    void need(std::size_t n) const {
        if (pos_ > end_ || end_ - pos_ < n) fail("read past the end of an object or section");
    }
    // The next 64 bits as 8 bytes, the first one lowest; checked by the caller.
    std::uint64_t take64() {
        std::size_t byte = pos_ >> 3;
        unsigned shift = pos_ & 7;
        pos_ += 64;
        std::uint64_t v = 0;
        for (unsigned i = 0; i < 8; ++i) v = (v << 8) | data_[byte + i];
        if (shift != 0) v = (v << shift) | (data_[byte + 8] >> (8 - shift));
        return __builtin_bswap64(v);
    }
    // The next 8 bits as a byte; the caller has checked they are there.
    std::uint8_t takeByte() {
        std::size_t byte = pos_ >> 3;
        unsigned shift = pos_ & 7;
        pos_ += 8;
        if (shift == 0) return data_[byte];
        return static_cast<std::uint8_t>((data_[byte] << shift) | (data_[byte + 1] >> (8 - shift)));
    }
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t pos_ = 0, end_ = 0;
    Version version_ = Version::R2000;
};

// The drawing's code page number as its name ("ANSI_1252") and the
// conversion of its 8-bit text to UTF-8.
std::string codePageName(int codePage);
std::string toUtf8(const std::uint8_t* text, std::size_t n, int codePage);

// Sentinels that open and close the sections of a DWG file.
extern const std::uint8_t kHeaderSentinel[16];
extern const std::uint8_t kClassesSentinel[16];

}  // namespace cad::dwg
