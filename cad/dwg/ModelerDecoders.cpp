// Solids, regions, bodies and surfaces (the modeler data at the start of
// their fields), and subdivision meshes.
#include <string>
#include <string_view>

#include "cad/acis/Acis.h"
#include "cad/dwg/Decoders.h"

namespace cad::dwg {

namespace {

// Where the binary modeler data ends: its closing record, which names the
// modeler that wrote it.
std::size_t binaryEnd(std::string_view bytes) {
    static const char kAcis[] = "\x0e\x03" "End" "\x0e\x02" "of" "\x0e\x04" "ACIS" "\x0d\x04" "data";
    static const char kAsm[] = "\x0e\x03" "End" "\x0e\x02" "of" "\x0e\x03" "ASM" "\x0d\x04" "data";
    static const std::string_view kEnds[] = {{kAcis, sizeof kAcis - 1}, {kAsm, sizeof kAsm - 1}};
    for (std::string_view end : kEnds)
        if (auto at = bytes.find(end); at != std::string_view::npos) return at + end.size();
    return bytes.size();
}

}  // namespace

namespace entities {

void readModelerBody(ObjectReader& r, EntityRecord& e) {
    auto& d = r.dat;
    BodyData body;
    if (d.B()) {  // no modeler data here: 2013 and later keep it in the data store
        if (r.since(Version::R2013)) body.error = kInDataStore;
        e.entity.data = std::move(body);
        return;
    }
    d.B();
    unsigned version = d.BS();
    if (version == 1) {
        // The text form, in blocks, each byte turned round; a zero size ends.
        std::string text;
        for (;;) {
            std::uint32_t size = d.BL();
            if (size == 0) break;
            if (size > d.bitsLeft() / 8) d.fail("modeler data block larger than the object");
            std::vector<std::uint8_t> block = d.bytes(size);
            text.append(block.begin(), block.end());
        }
        body = acis::readBody(acis::decodeStoredText(text));
    } else if (version == 2) {
        // The binary form follows as it is, up to its closing record; 2013 and
        // later keep it in the data store instead (the caller looks there).
        std::size_t available = d.bitsLeft() / 8;
        std::size_t start = d.position();
        std::vector<std::uint8_t> head = d.bytes(std::min<std::size_t>(available, 15));
        std::string_view headView(reinterpret_cast<const char*>(head.data()), head.size());
        if (acis::isBinary(headView)) {
            d.seek(start);
            std::vector<std::uint8_t> all = d.bytes(available);
            std::string_view view(reinterpret_cast<const char*>(all.data()), all.size());
            body = acis::readBody(view.substr(0, binaryEnd(view)));
        } else {
            body.error = kInDataStore;
        }
    } else {
        body.error = "unknown modeler data version " + std::to_string(version);
    }
    e.entity.data = std::move(body);
}

void readMesh(ObjectReader& r, EntityRecord& e) {
    auto& d = r.dat;
    MeshData m;
    m.version = d.BS();
    d.B();  // blend crease
    // The level of subdivision (DXF 91), then straight away the vertices of
    // level 0: no points of the subdivided levels come between, whatever
    // one description of the format says.
    m.subdivisionLevel = static_cast<int>(d.BL());
    std::size_t n = d.count(d.BL(), 3);
    m.vertices.reserve(n);
    for (std::size_t i = 0; i < n; ++i) m.vertices.push_back(d.BD3());
    std::size_t entries = d.count(d.BL(), 2);
    std::vector<int> list;
    list.reserve(entries);
    for (std::size_t i = 0; i < entries; ++i) list.push_back(static_cast<int>(d.BL()));
    // The face list: a vertex count, then that many vertex indices.
    for (std::size_t i = 0; i < list.size();) {
        std::size_t count = static_cast<std::size_t>(list[i] < 0 ? 0 : list[i]);
        if (count == 0 || count > list.size() - i - 1) break;
        m.faces.emplace_back(list.begin() + static_cast<std::ptrdiff_t>(i + 1),
                             list.begin() + static_cast<std::ptrdiff_t>(i + 1 + count));
        i += count + 1;
    }
    std::size_t edges = d.count(d.BL(), 4);
    for (std::size_t i = 0; i < edges; ++i) {
        int a = static_cast<int>(d.BL());
        int b = static_cast<int>(d.BL());
        m.edges.emplace_back(a, b);
    }
    e.entity.type = "MESH";
    e.entity.data = std::move(m);
}

}  // namespace entities

}  // namespace cad::dwg
