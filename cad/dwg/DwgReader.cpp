#include "cad/dwg/DwgReader.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "cad/dwg/BitReader.h"
#include "cad/dwg/DwgContainers.h"
#include "cad/dwg/DwgSections.h"
#include "cad/dwg/LegacyReader.h"

namespace cad::dwg {

namespace {

// The file is released (when the caller gave it up) once the sections are
// copied out of it.
Drawing read(const std::vector<std::uint8_t>& file, std::vector<std::uint8_t>* given) {
    if (file.size() < 6) throw ReadError("the file is too short to be a drawing");
    const std::string_view start(reinterpret_cast<const char*>(file.data()), 6);
    if (std::string shorter(start.substr(0, start.find('\0'))); isLegacyVersion(shorter)) return readLegacyDwg(file);
    const std::optional<Version> version = versionFromString(start);
    DwgSections sections;
    if (version && *version >= Version::R13 && *version <= Version::R2000) sections = readSectionsR13(file);
    else if (version == Version::R2007) sections = readSectionsR2007(file);
    else if (version && *version >= Version::R2004) sections = readSectionsR2004(file);
    else throw ReadError("DWG version " + shownVersion(start) + " is not supported");
    if (given) std::vector<std::uint8_t>().swap(*given);
    return decodeSections(std::move(sections));
}

}  // namespace

Drawing readDwg(const std::vector<std::uint8_t>& file) { return read(file, nullptr); }

Drawing readDwg(std::vector<std::uint8_t>&& file) { return read(file, &file); }

}  // namespace cad::dwg
