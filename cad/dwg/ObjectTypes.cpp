#include "cad/dwg/ObjectTypes.h"

#include <unordered_map>

#include "cad/dwg/Decoders.h"

namespace cad::dwg {

namespace {

constexpr ObjectType kTypes[] = {
    {1, "TEXT", ObjectKind::Entity, entities::readText},
    {2, "ATTRIB", ObjectKind::Entity, entities::readAttrib},
    {3, "ATTDEF", ObjectKind::Entity, entities::readAttdef},
    {4, "BLOCK", ObjectKind::Entity, entities::readBlock},
    {5, "ENDBLK", ObjectKind::Entity, entities::readEndBlk},
    {6, "SEQEND", ObjectKind::Entity, entities::readSeqEnd},
    {7, "INSERT", ObjectKind::Entity, entities::readInsert},
    {8, "MINSERT", ObjectKind::Entity, entities::readMInsert},
    {10, "VERTEX_2D", ObjectKind::Entity, entities::readVertex2d},
    {11, "VERTEX_3D", ObjectKind::Entity, entities::readVertexSimple},
    {12, "VERTEX_MESH", ObjectKind::Entity, entities::readVertexSimple},
    {13, "VERTEX_PFACE", ObjectKind::Entity, entities::readVertexSimple},
    {14, "VERTEX_PFACE_FACE", ObjectKind::Entity, entities::readVertexFace},
    {15, "POLYLINE_2D", ObjectKind::Entity, entities::readPolyline2d},
    {16, "POLYLINE_3D", ObjectKind::Entity, entities::readPolyline3d},
    {17, "ARC", ObjectKind::Entity, entities::readArc},
    {18, "CIRCLE", ObjectKind::Entity, entities::readCircle},
    {19, "LINE", ObjectKind::Entity, entities::readLine},
    {20, "DIMENSION_ORDINATE", ObjectKind::Entity, entities::readDimOrdinate},
    {21, "DIMENSION_LINEAR", ObjectKind::Entity, entities::readDimLinear},
    {22, "DIMENSION_ALIGNED", ObjectKind::Entity, entities::readDimAligned},
    {23, "DIMENSION_ANG3PT", ObjectKind::Entity, entities::readDimAng3pt},
    {24, "DIMENSION_ANG2LN", ObjectKind::Entity, entities::readDimAng2ln},
    {25, "DIMENSION_RADIUS", ObjectKind::Entity, entities::readDimRadius},
    {26, "DIMENSION_DIAMETER", ObjectKind::Entity, entities::readDimDiameter},
    {27, "POINT", ObjectKind::Entity, entities::readPoint},
    {28, "3DFACE", ObjectKind::Entity, entities::read3dFace},
    {29, "POLYLINE_PFACE", ObjectKind::Entity, entities::readPolyface},
    {30, "POLYLINE_MESH", ObjectKind::Entity, entities::readPolygonMesh},
    {31, "SOLID", ObjectKind::Entity, entities::readSolid},
    {32, "TRACE", ObjectKind::Entity, entities::readTrace},
    {33, "SHAPE", ObjectKind::Entity, entities::readShape},
    {34, "VIEWPORT", ObjectKind::Entity, entities::readViewport},
    {35, "ELLIPSE", ObjectKind::Entity, entities::readEllipse},
    {36, "SPLINE", ObjectKind::Entity, entities::readSpline},
    {37, "REGION", ObjectKind::Entity, entities::readModelerBody},
    {38, "3DSOLID", ObjectKind::Entity, entities::readModelerBody},
    {39, "BODY", ObjectKind::Entity, entities::readModelerBody},
    {40, "RAY", ObjectKind::Entity, entities::readRay},
    {41, "XLINE", ObjectKind::Entity, entities::readXLine},
    {42, "DICTIONARY", ObjectKind::Object},
    {43, "OLEFRAME", ObjectKind::Entity},
    {44, "MTEXT", ObjectKind::Entity, entities::readMText},
    {45, "LEADER", ObjectKind::Entity, entities::readLeader},
    {46, "TOLERANCE", ObjectKind::Entity, entities::readTolerance},
    {47, "MLINE", ObjectKind::Entity, entities::readMLine},
    {48, "BLOCK_CONTROL", ObjectKind::Object, nullptr, objects::readBlockControl},
    {49, "BLOCK_HEADER", ObjectKind::Object, nullptr, objects::readBlockHeader},
    {50, "LAYER_CONTROL", ObjectKind::Object},
    {51, "LAYER", ObjectKind::Object, nullptr, objects::readLayer},
    {52, "STYLE_CONTROL", ObjectKind::Object},
    {53, "STYLE", ObjectKind::Object, nullptr, objects::readStyle},
    {56, "LTYPE_CONTROL", ObjectKind::Object},
    {57, "LTYPE", ObjectKind::Object, nullptr, objects::readLinetype},
    {60, "VIEW_CONTROL", ObjectKind::Object},
    {61, "VIEW", ObjectKind::Object},
    {62, "UCS_CONTROL", ObjectKind::Object},
    {63, "UCS", ObjectKind::Object},
    {64, "VPORT_CONTROL", ObjectKind::Object},
    {65, "VPORT", ObjectKind::Object, nullptr, objects::readViewportRecord},
    {66, "APPID_CONTROL", ObjectKind::Object},
    {67, "APPID", ObjectKind::Object, nullptr, objects::readApplication},
    {68, "DIMSTYLE_CONTROL", ObjectKind::Object},
    {69, "DIMSTYLE", ObjectKind::Object, nullptr, objects::readDimStyle},
    {70, "VX_CONTROL", ObjectKind::Object},
    {71, "VX_TABLE_RECORD", ObjectKind::Object},
    {72, "GROUP", ObjectKind::Object},
    {73, "MLINESTYLE", ObjectKind::Object, nullptr, objects::readMLineStyle},
    {74, "OLE2FRAME", ObjectKind::Entity},
    {75, "DUMMY", ObjectKind::Object},
    {76, "LONG_TRANSACTION", ObjectKind::Object},
    {77, "LWPOLYLINE", ObjectKind::Entity, entities::readLwPolyline},
    {78, "HATCH", ObjectKind::Entity, entities::readHatch},
    {79, "XRECORD", ObjectKind::Object},
    {80, "ACDBPLACEHOLDER", ObjectKind::Object},
    {81, "VBA_PROJECT", ObjectKind::Object},
    {82, "LAYOUT", ObjectKind::Object, nullptr, objects::readLayout},
    {0x1F2, "ACAD_PROXY_ENTITY", ObjectKind::Entity},
    {0x1F3, "ACAD_PROXY_OBJECT", ObjectKind::Object},
    // Kinds that come only as classes.
    {0, "ARC_DIMENSION", ObjectKind::Entity, entities::readArcDimension},
    {0, "MULTILEADER", ObjectKind::Entity, entities::readMLeader},
    {0, "HELIX", ObjectKind::Entity, entities::readHelix},
    {0, "IMAGE", ObjectKind::Entity, entities::readImage},
    {0, "WIPEOUT", ObjectKind::Entity, entities::readWipeout},
    {0, "ACAD_TABLE", ObjectKind::Entity, entities::readTable},
    {0, "PDFUNDERLAY", ObjectKind::Entity, entities::readPdfUnderlay},
    {0, "DWFUNDERLAY", ObjectKind::Entity, entities::readDwfUnderlay},
    {0, "DGNUNDERLAY", ObjectKind::Entity, entities::readDgnUnderlay},
    {0, "PLANESURFACE", ObjectKind::Entity, entities::readModelerBody},
    {0, "EXTRUDEDSURFACE", ObjectKind::Entity, entities::readModelerBody},
    {0, "LOFTEDSURFACE", ObjectKind::Entity, entities::readModelerBody},
    {0, "REVOLVEDSURFACE", ObjectKind::Entity, entities::readModelerBody},
    {0, "SWEPTSURFACE", ObjectKind::Entity, entities::readModelerBody},
    {0, "NURBSURFACE", ObjectKind::Entity, entities::readModelerBody},
    {0, "MESH", ObjectKind::Entity, entities::readMesh},
    {0, "DBCOLOR", ObjectKind::Object, nullptr, objects::readBookColor},
    {0, "IMAGEDEF", ObjectKind::Object, nullptr, objects::readImageDefinition},
    {0, "PDFDEFINITION", ObjectKind::Object, nullptr, objects::readPdfDefinition},
    {0, "DWFDEFINITION", ObjectKind::Object, nullptr, objects::readDwfDefinition},
    {0, "DGNDEFINITION", ObjectKind::Object, nullptr, objects::readDgnDefinition},
};

}  // namespace

// Every object of a file is looked up here, so both lookups are indexed once.
const ObjectType* fixedObjectType(unsigned number) {
    static const std::unordered_map<unsigned, const ObjectType*> byNumber = [] {
        std::unordered_map<unsigned, const ObjectType*> m;
        for (const ObjectType& t : kTypes)
            if (t.number != 0) m.emplace(t.number, &t);
        return m;
    }();
    auto it = byNumber.find(number);
    return it == byNumber.end() ? nullptr : it->second;
}

const ObjectType* objectTypeNamed(std::string_view name) {
    static const std::unordered_map<std::string_view, const ObjectType*> byName = [] {
        std::unordered_map<std::string_view, const ObjectType*> m;
        for (const ObjectType& t : kTypes) m.emplace(t.name, &t);
        return m;
    }();
    auto it = byName.find(name);
    return it == byName.end() ? nullptr : it->second;
}

}  // namespace cad::dwg
