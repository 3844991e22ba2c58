#pragma once
// Small helpers both paged layouts (2004 family and 2007) share: little-endian
// fields, the version names, and the limit on how large a section may claim
// to be.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cad/dwg/DwgSections.h"
#include "cad/model/Drawing.h"

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

// The version, maintenance release and code page from the file's first
// bytes, where every version keeps them. Throws cad::ReadError for files too
// short to hold their pages, and for versions other than 2004 to 2018.
DwgSections pagedSectionsStart(const std::vector<std::uint8_t>& file, std::size_t pagesStart);

// The units (0 imperial, 1 metric) from the data of the "AcDb:Template"
// section: an RS character count and the description (bytes up to 2004, UTF-16
// from 2007 on), then the units as an RS. -1 when the data is too short or the
// value is neither.
int templateMeasurement(const std::vector<std::uint8_t>& data, Version v);

// Unpacks the four sections the object decoders need: each is looked up by
// name in `sections` and unpacked with `read(info)`.
template <typename SectionList, typename Read>
void takeDecoderSections(DwgSections& s, const SectionList& sections, Read read)
{
    auto take = [&](const char* name) {
        for (const auto& info : sections)
            if (info.name == name) return read(info);
        throw ReadError(std::string("the drawing has no ") + name + " section");
    };
    s.header = take("AcDb:Header");
    s.classes = take("AcDb:Classes");
    s.handles = take("AcDb:Handles");
    s.objects = take("AcDb:AcDbObjects");
    // The drawing's units live in a small section of their own, after a
    // description. It is optional: a file without it, or with one we cannot
    // unpack, leaves the units unknown rather than failing the drawing.
    // The data store (2013 and later) keeps the modeler data of solids; a
    // store we cannot unpack leaves those bodies without edges.
    for (const auto& info : sections) {
        if (info.name != "AcDb:AcDsPrototype_1b") continue;
        try {
            s.dataStore = read(info);
        } catch (const ReadError&) {
        }
        break;
    }
    for (const auto& info : sections) {
        if (info.name != "AcDb:Template") continue;
        try {
            s.measurement = templateMeasurement(read(info), s.version);
        } catch (const ReadError&) {
        }
        break;
    }
}

}  // namespace cad::dwg
