#pragma once
// Shared by the parts of the DXF reader: one record (the groups between two
// "0" groups) split into its common part and the part its own kind defines.
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "cad/dxf/DxfGroups.h"
#include "cad/dxf/DxfText.h"
#include "cad/model/Drawing.h"

namespace cad::dxf {

struct BodyGroup : Group {
    std::string_view subclass;  // the last 100 marker before the group, "" in R12 files
};

// What the entity parser needs to know about the rest of the file.
struct ReadContext {
    TextDecoder text;
    std::map<Handle, std::string> blockRecordNames;  // BLOCK_RECORD handle -> name
    std::map<Handle, std::string> styleNames;         // STYLE handle -> name
    Drawing* drawing = nullptr;

    std::string str(const Group& g) const { return text.decode(g.value); }
};

struct ParsedEntity {
    Entity entity;
    bool followedBySequence = false;  // POLYLINE vertices, or attributes after an INSERT
};

// Parses one entity record (groups after its "0 TYPE" group).
ParsedEntity parseEntity(std::string_view type, const Group* begin, const Group* end, const ReadContext& ctx);
// A VERTEX record: appended to the polyline it follows.
PolylineVertex parseVertex(const Group* begin, const Group* end);

constexpr double kDegree = 3.14159265358979323846 / 180.0;

}  // namespace cad::dxf
