#pragma once
// Helpers the DXF tests share: the path of a test drawing, a file's bytes,
// small DXF texts written inline, and finding an entity by its handle.
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "cad/dxf/DxfReader.h"

namespace dxftest {

inline std::string drawing(const std::string& name) { return std::string(LUMICADE_DRAWINGS_DIR) + "/" + name; }

// The whole file, empty when it cannot be read.
inline std::string loadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A minimal R2000-style file around the given ENTITIES groups.
inline std::string dxfWithEntities(const std::string& entities, const std::string& version = "AC1015",
                                   const std::string& codePage = "ANSI_1252") {
    return "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\n" + version + "\n9\n$DWGCODEPAGE\n3\n" + codePage +
           "\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n" + entities + "0\nENDSEC\n0\nEOF\n";
}

inline cad::Drawing read(const std::string& text) { return cad::dxf::readDxf(std::string_view(text)); }

// The entity of that handle in any block, or null.
inline const cad::Entity* findByHandle(const cad::Drawing& d, cad::Handle h) {
    for (const cad::Block& b : d.blocks)
        for (const cad::Entity& e : b.entities)
            if (e.common.handle == h) return &e;
    return nullptr;
}
inline cad::Entity* findByHandle(cad::Drawing& d, cad::Handle h) {
    return const_cast<cad::Entity*>(findByHandle(std::as_const(d), h));
}

}  // namespace dxftest
