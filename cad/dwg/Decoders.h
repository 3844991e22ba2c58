#pragma once
// The object decoders: each reads one kind's own fields after the common
// part. The type table (ObjectTypes.cpp) says which kind each one reads.
#include "cad/dwg/DecodeState.h"

namespace cad::dwg {

namespace entities {
void read3dFace(ObjectReader& r, EntityRecord& e);
void readArc(ObjectReader& r, EntityRecord& e);
void readArcDimension(ObjectReader& r, EntityRecord& e);
void readAttdef(ObjectReader& r, EntityRecord& e);
void readAttrib(ObjectReader& r, EntityRecord& e);
void readBlock(ObjectReader& r, EntityRecord& e);
void readCircle(ObjectReader& r, EntityRecord& e);
void readDgnUnderlay(ObjectReader& r, EntityRecord& e);
void readDwfUnderlay(ObjectReader& r, EntityRecord& e);
void readPdfUnderlay(ObjectReader& r, EntityRecord& e);
void readDimAligned(ObjectReader& r, EntityRecord& e);
void readDimAng2ln(ObjectReader& r, EntityRecord& e);
void readDimAng3pt(ObjectReader& r, EntityRecord& e);
void readDimDiameter(ObjectReader& r, EntityRecord& e);
void readDimLinear(ObjectReader& r, EntityRecord& e);
void readDimOrdinate(ObjectReader& r, EntityRecord& e);
void readDimRadius(ObjectReader& r, EntityRecord& e);
void readEllipse(ObjectReader& r, EntityRecord& e);
void readEndBlk(ObjectReader& r, EntityRecord& e);
void readHatch(ObjectReader& r, EntityRecord& e);
void readHelix(ObjectReader& r, EntityRecord& e);
void readImage(ObjectReader& r, EntityRecord& e);
void readInsert(ObjectReader& r, EntityRecord& e);
void readLeader(ObjectReader& r, EntityRecord& e);
void readLine(ObjectReader& r, EntityRecord& e);
void readLwPolyline(ObjectReader& r, EntityRecord& e);
void readMInsert(ObjectReader& r, EntityRecord& e);
void readMLeader(ObjectReader& r, EntityRecord& e);
void readMLine(ObjectReader& r, EntityRecord& e);
void readMText(ObjectReader& r, EntityRecord& e);
void readPoint(ObjectReader& r, EntityRecord& e);
void readPolyface(ObjectReader& r, EntityRecord& e);
void readPolygonMesh(ObjectReader& r, EntityRecord& e);
void readPolyline2d(ObjectReader& r, EntityRecord& e);
void readPolyline3d(ObjectReader& r, EntityRecord& e);
void readRay(ObjectReader& r, EntityRecord& e);
void readSeqEnd(ObjectReader& r, EntityRecord& e);
void readShape(ObjectReader& r, EntityRecord& e);
void readSolid(ObjectReader& r, EntityRecord& e);
void readSpline(ObjectReader& r, EntityRecord& e);
void readTable(ObjectReader& r, EntityRecord& e);
void readText(ObjectReader& r, EntityRecord& e);
void readTolerance(ObjectReader& r, EntityRecord& e);
void readTrace(ObjectReader& r, EntityRecord& e);
void readVertex2d(ObjectReader& r, EntityRecord& e);
void readVertexFace(ObjectReader& r, EntityRecord& e);
void readVertexSimple(ObjectReader& r, EntityRecord& e);
void readViewport(ObjectReader& r, EntityRecord& e);
void readWipeout(ObjectReader& r, EntityRecord& e);
void readXLine(ObjectReader& r, EntityRecord& e);
// Solids, regions, bodies, surfaces and meshes (ModelerDecoders.cpp).
void readModelerBody(ObjectReader& r, EntityRecord& e);
void readMesh(ObjectReader& r, EntityRecord& e);
}  // namespace entities

namespace objects {
void readApplication(ObjectReader& r, DecodeState& s);
void readBlockControl(ObjectReader& r, DecodeState& s);
void readBlockHeader(ObjectReader& r, DecodeState& s);
void readDimStyle(ObjectReader& r, DecodeState& s);
void readLayer(ObjectReader& r, DecodeState& s);
void readLayout(ObjectReader& r, DecodeState& s);
void readLinetype(ObjectReader& r, DecodeState& s);
void readMLineStyle(ObjectReader& r, DecodeState& s);
void readBookColor(ObjectReader& r, DecodeState& s);
void readStyle(ObjectReader& r, DecodeState& s);
void readViewportRecord(ObjectReader& r, DecodeState& s);
void readImageDefinition(ObjectReader& r, DecodeState& s);
void readPdfDefinition(ObjectReader& r, DecodeState& s);
void readDwfDefinition(ObjectReader& r, DecodeState& s);
void readDgnDefinition(ObjectReader& r, DecodeState& s);
}  // namespace objects

}  // namespace cad::dwg
