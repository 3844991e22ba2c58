#pragma once
// The solid modeler's data of 3D solids, regions, bodies and surfaces, in
// both of its stored forms (text and binary), read down to the edges that
// the CAD application draws as the body's wireframe.
#include <string>
#include <string_view>

#include "cad/model/Wireframe.h"

namespace cad::acis {

// Older drawings keep the modeler text with every byte above 32 replaced by
// 159 minus itself; this undoes it (the same mapping both ways).
std::string decodeStoredText(std::string_view text);

// True when the data is the binary form.
bool isBinary(std::string_view data);

// Reads the text or binary form and returns the body's edges with its
// transform applied. Data that cannot be read gives a body with no edges
// and the reason in error; nothing is thrown.
BodyData readBody(std::string_view data);

}  // namespace cad::acis
