#pragma once
// Helpers the DXF tests share: the path of a test drawing, and small DXF
// texts written inline.
#include <string>

#include "cad/dxf/DxfReader.h"

namespace dxftest {

inline std::string drawing(const std::string& name) { return std::string(LUMICADE_DRAWINGS_DIR) + "/" + name; }

// A minimal R2000-style file around the given ENTITIES groups.
inline std::string dxfWithEntities(const std::string& entities, const std::string& version = "AC1015",
                                   const std::string& codePage = "ANSI_1252") {
    return "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\n" + version + "\n9\n$DWGCODEPAGE\n3\n" + codePage +
           "\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n" + entities + "0\nENDSEC\n0\nEOF\n";
}

inline cad::Drawing read(const std::string& text) { return cad::dxf::readDxf(std::string_view(text)); }

}  // namespace dxftest
