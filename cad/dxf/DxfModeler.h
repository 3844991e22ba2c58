#pragma once
// The DXF side of solids, meshes and object graphics (DxfModeler.cpp).
#include <cstdint>
#include <string_view>
#include <vector>

#include "cad/dxf/DxfRecords.h"

namespace cad::dxf {

// 2013 and later files keep a body's modeler data in the ACDSDATA section,
// by the body's handle; such a body comes out of parseModelerBody with this
// error until the reader fills it in.
inline constexpr const char* kModelerDataElsewhere = "kept in the ACDSDATA section";

// Hexadecimal text (a 310 group) appended as bytes; stops at the first
// character that is no hex digit.
void appendHex(std::vector<std::uint8_t>& out, std::string_view hex);

void parseModelerBody(Entity& e, const std::vector<BodyGroup>& body);
void parseMesh(Entity& e, const std::vector<BodyGroup>& body);
// The graphics of an ACAD_PROXY_ENTITY, from its own subclass.
std::vector<std::uint8_t> graphicsOf(const std::vector<BodyGroup>& body);

}  // namespace cad::dxf
