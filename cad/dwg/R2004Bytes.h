#pragma once
// Small helpers both paged layouts (2004 family and 2007) share: little-endian
// fields, the version names, and the limit on how large a section may claim
// to be.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cad/dwg/DwgSections.h"

namespace cad::dwg {

namespace bytes {

inline std::uint32_t le32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}
inline std::uint64_t le64(const std::uint8_t* p) { return le32(p) | std::uint64_t{le32(p + 4)} << 32; }
inline void putLe32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace bytes

// The largest section a file of this size may declare (bounded, too, in
// absolute terms); anything larger is a damaged size field.
std::uint64_t sectionSizeLimit(std::size_t fileSize);

// "AC1018" -> Version::R2004 ...; throws cad::ReadError for the others.
Version versionFromString(const std::string& v);

}  // namespace cad::dwg
