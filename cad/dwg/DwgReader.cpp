#include "cad/dwg/DwgReader.h"

#include <optional>
#include <string>
#include <string_view>

#include "cad/dwg/BitReader.h"
#include "cad/dwg/DwgContainers.h"
#include "cad/dwg/DwgSections.h"
#include "cad/dwg/LegacyReader.h"

namespace cad::dwg {

Drawing readDwg(const std::vector<std::uint8_t>& file) {
    if (file.size() < 6) throw ReadError("the file is too short to be a drawing");
    const std::string_view start(reinterpret_cast<const char*>(file.data()), 6);
    if (std::string shorter(start.substr(0, start.find('\0'))); isLegacyVersion(shorter)) return readLegacyDwg(file);
    const std::optional<Version> version = versionFromString(start);
    if (version && *version >= Version::R13 && *version <= Version::R2000) return decodeSections(readSectionsR13(file));
    if (version == Version::R2007) return decodeSections(readSectionsR2007(file));
    if (version && *version >= Version::R2004) return decodeSections(readSectionsR2004(file));
    throw ReadError("DWG version " + shownVersion(start) + " is not supported");
}

}  // namespace cad::dwg
