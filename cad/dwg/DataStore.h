#pragma once
// The data store section of 2013 and later files, where the modeler data of
// solids, regions and surfaces lives apart from the objects. We read only
// what the drawing needs from it: each object's modeler data, by handle.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "cad/model/Geometry.h"

namespace cad::dwg {

// The binary modeler data that the store keeps for each object. Records of
// other kinds (preview pictures ...) are left out; a damaged store gives
// what could be read before the damage.
std::unordered_map<Handle, std::string> readModelerData(const std::vector<std::uint8_t>& store);

}  // namespace cad::dwg
