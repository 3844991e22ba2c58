#pragma once
// Small value types shared by the whole drawing engine.
#include <cmath>
#include <cstdint>

namespace cad {

struct Vec2 {
    double x = 0, y = 0;
    friend bool operator==(const Vec2&, const Vec2&) = default;
};

struct Vec3 {
    double x = 0, y = 0, z = 0;
    friend bool operator==(const Vec3&, const Vec3&) = default;
    Vec2 xy() const { return {x, y}; }
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline double length(Vec3 a) { return std::sqrt(dot(a, a)); }

// DWG handles are at most 8 bytes wide.
using Handle = std::uint64_t;

// An entity's or layer's colour as the file stores it.
struct Color {
    enum class Kind : std::uint8_t { ByLayer, ByBlock, Index, True };
    Kind kind = Kind::ByLayer;
    std::int16_t index = 256;  // ACI 1..255 when kind == Index (256 ByLayer, 0 ByBlock)
    std::uint32_t rgb = 0;     // 0xRRGGBB when kind == True
    friend bool operator==(const Color&, const Color&) = default;

    static Color byLayer() { return {}; }
    static Color byBlock() { return {Kind::ByBlock, 0, 0}; }
    static Color fromIndex(int aci) {
        if (aci == 0) return byBlock();
        if (aci == 256 || aci < 0 || aci > 256) return byLayer();
        return {Kind::Index, static_cast<std::int16_t>(aci), 0};
    }
    static Color fromRgb(std::uint32_t rgb) { return {Kind::True, 256, rgb & 0xFFFFFFu}; }
};

// Lineweights in hundredths of a millimetre, or one of these markers.
enum LineWeight : int { LineWeightByLayer = -1, LineWeightByBlock = -2, LineWeightDefault = -3 };

}  // namespace cad
