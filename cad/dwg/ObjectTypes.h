#pragma once
// What the reader knows of each DWG object type: its number (for the types
// below 500 that every file shares), its DXF name, whether it is an entity,
// and the decoder of its own fields. Types of 500 and up are defined by the
// file's classes and found here by the DXF name the class gives.
#include <string_view>

#include "cad/dwg/DecodeState.h"

namespace cad::dwg {

enum class ObjectKind { Entity, Object };

struct ObjectType {
    unsigned number = 0;  // 0 for kinds that come only as classes
    std::string_view name;
    ObjectKind kind = ObjectKind::Object;
    EntityDecoder readEntity = nullptr;  // null for objects, and for entities we do not read
    ObjectDecoder readObject = nullptr;  // null for entities, and for objects we do not need
};

// A type below 500 (or a proxy, 0x1F2 and 0x1F3) by its number; null for numbers no type has.
const ObjectType* fixedObjectType(unsigned number);

// A type by its DXF name ("LINE", "DIMENSION_LINEAR", "MULTILEADER" ...); null when we know none.
const ObjectType* objectTypeNamed(std::string_view name);

}  // namespace cad::dwg
