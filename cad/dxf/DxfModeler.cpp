// Solids, regions, bodies and surfaces (their modeler data as text or
// binary), subdivision meshes, and the graphics that objects of unknown
// classes carry.
#include "cad/dxf/DxfModeler.h"

#include "cad/acis/Acis.h"

namespace cad::dxf {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// DXF strings spell control characters with a caret: "^J" is a line feed,
// "^ " the caret itself.
std::string uncaret(std::string_view v) {
    while (!v.empty() && (v.back() == '\r' || v.back() == '\n')) v.remove_suffix(1);
    std::string out;
    out.reserve(v.size());
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '^' && i + 1 < v.size()) {
            char next = v[++i];
            out += next == ' ' ? '^' : static_cast<char>(next & 0x1F);
        } else {
            out += v[i];
        }
    }
    return out;
}

bool startsWithDigit(std::string_view s) {
    for (char c : s) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        return c >= '0' && c <= '9';
    }
    return false;
}

}  // namespace

void appendHex(std::vector<std::uint8_t>& out, std::string_view hex) {
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        int hi = hexDigit(hex[i]), lo = hexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0) break;
        out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
}

void parseModelerBody(Entity& e, const std::vector<BodyGroup>& body) {
    std::string text;
    bool haveText = false;
    std::vector<std::uint8_t> binary;
    for (const auto& g : body) {
        if (g.subclass != "AcDbModelerGeometry" && !g.subclass.empty()) continue;
        if (g.code == 1) {
            if (haveText) text += '\n';
            text += uncaret(g.value);
            haveText = true;
        } else if (g.code == 3) {
            text += uncaret(g.value);
        } else if (g.code == 310) {
            appendHex(binary, trimmed(g.value));
        }
    }
    BodyData b;
    if (!binary.empty()) {
        b = acis::readBody(std::string_view(reinterpret_cast<const char*>(binary.data()), binary.size()));
    } else if (haveText) {
        // The text is stored turned round, as in the drawing files; a writer
        // that stores it plainly starts with the modeler version.
        b = acis::readBody(startsWithDigit(text) ? text : acis::decodeStoredText(text));
    } else {
        b.error = kModelerDataElsewhere;
    }
    e.data = std::move(b);
}

void parseMesh(Entity& e, const std::vector<BodyGroup>& body) {
    MeshData m;
    std::vector<int> faceList, edgeList;
    std::size_t faceEntries = 0, edgeEntries = 0;
    enum class List { None, Faces, Edges } list = List::None;
    for (const auto& g : body) {
        if (g.subclass != "AcDbSubDMesh") continue;
        switch (g.code) {
        case 71: m.version = toInt(g); break;
        case 91: m.subdivisionLevel = toInt(g); break;
        case 10: m.vertices.push_back({toDouble(g), 0, 0}); break;
        case 20: if (!m.vertices.empty()) m.vertices.back().y = toDouble(g); break;
        case 30: if (!m.vertices.empty()) m.vertices.back().z = toDouble(g); break;
        case 93: faceEntries = static_cast<std::size_t>(std::max(0, toInt(g))), list = List::Faces; break;
        case 94: edgeEntries = 2 * static_cast<std::size_t>(std::max(0, toInt(g))), list = List::Edges; break;
        case 95: list = List::None; break;
        case 90:
            if (list == List::Faces && faceList.size() < faceEntries) faceList.push_back(toInt(g));
            else if (list == List::Edges && edgeList.size() < edgeEntries) edgeList.push_back(toInt(g));
            break;
        default: break;
        }
    }
    for (std::size_t i = 0; i < faceList.size();) {
        std::size_t count = static_cast<std::size_t>(std::max(0, faceList[i]));
        if (count == 0 || count > faceList.size() - i - 1) break;
        m.faces.emplace_back(faceList.begin() + static_cast<std::ptrdiff_t>(i + 1),
                             faceList.begin() + static_cast<std::ptrdiff_t>(i + 1 + count));
        i += count + 1;
    }
    for (std::size_t i = 0; i + 1 < edgeList.size(); i += 2) m.edges.emplace_back(edgeList[i], edgeList[i + 1]);
    e.data = std::move(m);
}

std::vector<std::uint8_t> graphicsOf(const std::vector<BodyGroup>& body) {
    // ACAD_PROXY_ENTITY: 92 and the 310 chunks up to 93, where its own data
    // begins.
    std::vector<std::uint8_t> out;
    bool inGraphics = false;
    for (const auto& g : body) {
        if (g.subclass != "AcDbProxyEntity") continue;
        if (g.code == 92 || g.code == 160) inGraphics = true;
        else if (g.code == 93) inGraphics = false;
        else if (g.code == 310 && inGraphics) appendHex(out, trimmed(g.value));
    }
    return out;
}

}  // namespace cad::dxf
