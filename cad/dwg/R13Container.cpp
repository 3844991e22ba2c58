// The file layout of R13, R14 and 2000: the file header lists where each
// section lies, and the objects are read from the file itself.
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "cad/dwg/BitReader.h"
#include "cad/dwg/DwgContainers.h"
#include "cad/dwg/DwgSections.h"
#include "cad/dwg/R2004Bytes.h"

namespace cad::dwg {
namespace {

std::uint32_t le32(const std::vector<std::uint8_t>& f, std::size_t at) { return bytes::le32(f.data() + at); }

std::vector<std::uint8_t> slice(const std::vector<std::uint8_t>& f, std::uint64_t at, std::uint64_t size,
                                const char* what) {
    if (at > f.size() || size > f.size() - at)
        throw ReadError(std::string("the DWG file is truncated: its ") + what + " lies beyond the end");
    return {f.begin() + static_cast<std::ptrdiff_t>(at), f.begin() + static_cast<std::ptrdiff_t>(at + size)};
}

}  // namespace

// R13, R14 and 2000 keep a table of section locators in the file header.
DwgSections readSectionsR13(const std::vector<std::uint8_t>& file) {
    const std::optional<Version> v = versionFromString(
        std::string_view(reinterpret_cast<const char*>(file.data()), std::min<std::size_t>(6, file.size())));
    if (!v || *v < Version::R13 || *v > Version::R2000) throw ReadError("not a DWG file of R13, R14 or 2000");
    if (file.size() < 0x19) throw ReadError("the DWG file is truncated: its file header is incomplete");
    DwgSections s;
    s.version = *v;
    s.versionString.assign(file.begin(), file.begin() + 6);
    s.maintenanceVersion = file[0x0B];
    s.codePage = file[0x13] | (file[0x14] << 8);
    std::uint32_t records = le32(file, 0x15);
    if (records > 16 || 0x19 + records * 9ull > file.size())
        throw ReadError("the DWG file header is damaged: bad section count");
    bool have[3] = {false, false, false};
    for (std::uint32_t i = 0; i < records; ++i) {
        std::size_t at = 0x19 + i * 9;
        unsigned number = file[at];
        std::uint32_t seeker = le32(file, at + 1);
        std::uint32_t size = le32(file, at + 5);
        switch (number) {
        case 0: s.header = slice(file, seeker, size, "header variables"); have[0] = true; break;
        case 1: s.classes = slice(file, seeker, size, "classes"); have[1] = true; break;
        case 2: s.handles = slice(file, seeker, size, "object map"); have[2] = true; break;
        case 4:  // the drawing's units: imperial (zero) or metric
            if (size >= 4 && seeker <= file.size() - 4) s.measurement = le32(file, seeker) != 0 ? 1 : 0;
            break;
        default: break;
        }
    }
    if (!have[2]) throw ReadError("the DWG file header is damaged: no object map");
    s.objects = file;
    return s;
}

}  // namespace cad::dwg
