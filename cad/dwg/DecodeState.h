#pragma once
// What the object decoders collect before the drawing is put together:
// entities with the links that place them in blocks, and the table records
// they refer to by handle.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "cad/dwg/ObjectReader.h"

namespace cad::dwg {

// What places a decoded entity in the drawing: its owner, the table
// records it names by handle, its sub-entities. The entity itself waits in
// DecodeState::decoded, at index.
struct EntityLinks {
    Handle owner = 0;
    Handle layer = 0, linetype = 0;
    Handle prev = 0, next = 0;
    // Sub-entities (vertices of a polyline, attributes of an insert) up to
    // 2000; later files list them (DecodeState::children).
    Handle firstChild = 0, lastChild = 0;
    // Table records named by the entity.
    Handle style = 0, blockHeader = 0, dimStyle = 0, mlineStyle = 0;
    Handle bookColor = 0;           // the colour book's colour that replaces the stored index
    std::uint32_t index = 0;        // in DecodeState::decoded
    std::uint32_t visit = 0;        // while assembling: the last listing that took the entity
    std::uint8_t entmode = 2;       // 0 owner given, 1 paper space, 2 model space
    std::uint8_t linetypeFlags = 0; // 0 ByLayer, 1 ByBlock, 2 Continuous, 3 by handle
    bool noLinks = true;
};

// One entity while its object is decoded.
struct EntityRecord : EntityLinks {
    Entity entity;
    std::vector<Handle> children;   // sub-entities, 2004 on
    std::vector<Handle> layerList;  // viewports: the layers frozen in them
    // The picture its application stored with the entity, as the file
    // holds it; drawn when we cannot draw the entity from its own fields.
    std::vector<std::uint8_t> graphics;
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
    // The entities decoded, in the order of the object map, and their links
    // by handle. Kept apart so that the largest block can take the list of
    // entities over as its own instead of a copy.
    std::vector<Entity> decoded;
    std::unordered_map<Handle, EntityLinks> entities;
    // The lists few entities have, by the entity's handle.
    std::unordered_map<Handle, std::vector<Handle>> children, frozenLayers;
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
    std::unordered_map<Handle, Color> bookColors;  // the colours of the colour books entities name
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
