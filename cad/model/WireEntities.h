#pragma once
// What an object's graphics, a modeler body or a subdivision mesh shows,
// spelled as ordinary entities (lines, arcs, ellipses, splines, polylines,
// text) in world coordinates. The renderer draws these the way it draws a
// block's entities for an insert: properties left ByBlock come from the
// owning object.
#include <vector>

#include "cad/model/Drawing.h"
#include "cad/model/ProxyGraphics.h"
#include "cad/model/Wireframe.h"

namespace cad {

// Attribute changes in the graphics name layers and linetypes by their
// position in the drawing's tables; colour, layer, linetype and lineweight
// start ByBlock, on layer "0".
std::vector<Entity> entitiesOfProxyGraphics(const ProxyGraphics& graphics, const Drawing& drawing);

// isolines: how many lines are drawn across each curved face (the drawing's
// ISOLINES); the count is held to the CAD application's range of 0 to 2047.
std::vector<Entity> entitiesOfBody(const BodyData& body, int isolines = 0);

// The level-0 wireframe: every edge of the faces once.
std::vector<Entity> entitiesOfMesh(const MeshData& mesh);

}  // namespace cad
