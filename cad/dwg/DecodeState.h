#pragma once
// What the object decoders collect before the drawing is put together:
// entities with the links that place them in blocks, and the table records
// they refer to by handle.
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "cad/dwg/ObjectReader.h"

namespace cad::dwg {

struct EntityRecord {
    Entity entity;
    int entmode = 2;              // 0 owner given, 1 paper space, 2 model space
    Handle owner = 0;
    Handle layer = 0, linetype = 0;
    int linetypeFlags = 0;        // 0 ByLayer, 1 ByBlock, 2 Continuous, 3 by handle
    Handle prev = 0, next = 0;
    bool noLinks = true;
    // Sub-entities: vertices of a polyline, attributes of an insert.
    Handle firstChild = 0, lastChild = 0;
    std::vector<Handle> children;
    // Table records named by the entity.
    Handle style = 0, blockHeader = 0, dimStyle = 0, mlineStyle = 0;
    std::vector<Handle> layerList;  // viewports: the layers frozen in them
    // The picture its application stored with the entity, as the file
    // holds it; drawn when we cannot draw the entity from its own fields.
    std::vector<std::uint8_t> graphics;
    std::uint32_t visit = 0;        // while assembling: the last listing that took the entity
};

struct BlockHeaderRecord {
    Handle handle = 0;
    std::string name;
    int flags = 0;
    Vec3 base;
    std::string xrefPath;
    Handle blockEntity = 0;       // the BLOCK that opens the definition
    Handle firstEntity = 0, lastEntity = 0;
    std::vector<Handle> entities;
    Handle layout = 0;
};

struct LayerRecord { Layer layer; Handle linetype = 0; };

struct MLineStyleRecord { std::string name; std::vector<double> offsets; std::vector<Color> colors; };

struct ClassInfo {
    std::string dxfName, cppName;
    bool isEntity = false;
};

struct DecodeState {
    Version version = Version::R2000;
    int codePage = 30;
    std::map<unsigned, ClassInfo> classes;  // by object type number
    std::unordered_map<Handle, EntityRecord> entities;
    std::vector<Handle> entityOrder;        // in the order of the object map
    std::vector<BlockHeaderRecord> blockHeaders;
    std::unordered_map<Handle, LayerRecord> layers;
    std::vector<Handle> layerOrder;
    std::unordered_map<Handle, Linetype> linetypes;
    std::vector<Handle> linetypeOrder;
    std::unordered_map<Handle, TextStyle> styles;
    std::vector<Handle> styleOrder;
    std::unordered_map<Handle, DimStyle> dimStyles;
    std::vector<Handle> dimStyleOrder;
    std::unordered_map<Handle, MLineStyleRecord> mlineStyles;
    std::vector<Layout> layouts;
    Handle modelSpaceRecord = 0, paperSpaceRecord = 0;
    Handle headerTextStyle = 0;
    std::unordered_map<Handle, std::string> applications;  // registered application names
    std::unordered_map<Handle, std::vector<std::pair<Handle, std::string>>> styleExtendedText;
    std::vector<Handle> blockControlEntries;  // the block list, without model and paper space
    std::unordered_map<Handle, std::string> modelerData;  // 2013+: bodies' modeler data from the data store
    std::size_t declaredObjectBytes = 0;  // what the objects read so far claim to hold
    Drawing* drawing = nullptr;
};

// The decoder of one object kind: reads the kind's own fields after the
// common part has been read.
using EntityDecoder = void (*)(ObjectReader&, EntityRecord&);
using ObjectDecoder = void (*)(ObjectReader&, DecodeState&);

// A body whose binary modeler data the file keeps in its data store comes
// out of its decoder with this error, for decodeObject to complete.
inline constexpr const char* kInDataStore = "kept in the data store";

}  // namespace cad::dwg
