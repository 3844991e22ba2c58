#pragma once
// The picture that an application stores with each of its custom objects so
// that programs without that application can still show it: a little
// metafile of drawing calls (lines, circles, shells, text) and attribute
// changes (colour, layer, transform). Both readers hand the raw bytes to
// decodeProxyGraphics; the model keeps the primitives.
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "cad/model/Geometry.h"

namespace cad {

// One 2D point of a lightweight polyline inside the graphics.
struct ProxyLwVertex { Vec2 point; double bulge = 0; };

struct ProxyPrimitive {
    enum class Kind : std::uint8_t {
        Extents,        // points[0], points[1]
        Circle,         // center, radius, normal
        Arc,            // center, radius, normal, direction = start vector, sweep, fill (0 open, 1 sector, 2 chord)
        Polyline,       // points, normal when given
        Polygon,        // points (closed, filled when fill is on)
        Mesh,           // rows x columns points; edgeVisible per mesh edge when stored
        Shell,          // points, faces (count, indices ...; a negative count is a hole); edgeVisible when stored
        Text,           // points[0] position, normal, direction, text (UTF-8), height, widthFactor, oblique
        Xline,          // points[0], points[1]
        Ray,            // points[0], points[1]
        Color,          // value: ACI (0 ByBlock, 256 ByLayer)
        TrueColor,      // value: the stored colour word (method in the top byte, RGB below)
        Layer,          // value: index of the layer in the drawing's layer table
        Linetype,       // value: index of the linetype in the drawing's linetype table
        Marker,         // value
        Fill,           // value: 0 off, otherwise on
        Lineweight,     // value
        LinetypeScale,  // number
        Thickness,      // number
        PlotStyle,      // value: plot style type, value2: index
        PushClip,       // points: the clip boundary as stored (not applied)
        PopClip,
        PushTransform,  // matrix
        PopTransform,
        LwPolyline,     // lw, closed; normal and elevation
    };
    Kind kind = Kind::Extents;
    std::vector<Vec3> points;
    Vec3 normal{0, 0, 1};
    Vec3 direction{1, 0, 0};
    double radius = 0, sweep = 0;
    double height = 0, widthFactor = 1, oblique = 0;
    double number = 0;
    double elevation = 0;
    std::int64_t value = 0, value2 = 0;
    int fill = 0;
    int rows = 0, columns = 0;
    bool closed = false;
    std::vector<std::int32_t> faces;
    std::vector<std::uint8_t> edgeVisible;  // empty: every edge visible
    std::string text;
    std::array<double, 16> matrix{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};  // row-major, p' = M p
    std::vector<ProxyLwVertex> lw;
};

struct ProxyGraphics {
    std::vector<ProxyPrimitive> primitives;
    int skippedPrimitives = 0;  // kinds we know of but do not draw, and unknown kinds
    std::map<std::uint32_t, int> skippedTypes;  // the same records by their type number
    bool damaged = false;       // the stream ended early or a record did not fit its size
    bool cutShort = false;      // the stream ended before the records its header promised
    bool overBudget = false;    // decoding stopped at the drawing's memory budget
    bool empty() const { return primitives.empty(); }
};

// Decodes a graphics stream. Never reads outside [data, data + size): a
// record that runs past the end of the stream ends the decoding, one whose
// fields do not fit its own size is dropped; both set damaged and keep the
// rest. Unknown records are stepped over by their stored size. Text of the 8-bit forms is read as Latin-1 unless the caller
// passes a converter for the drawing's code page.
using ProxyTextDecoder = std::string (*)(const std::uint8_t* bytes, std::size_t size, int codePage);
ProxyGraphics decodeProxyGraphics(const std::uint8_t* data, std::size_t size, ProxyTextDecoder text = nullptr,
                                  int codePage = 0);

// What the drawing notes as skipped for the records of these graphics that
// were not drawn, with how many of each: one name per record type, and one
// for a stream that ended early.
std::vector<std::pair<std::string, int>> skippedRecords(const ProxyGraphics& graphics);
// A primitive's type as people know it ("type 37" for those without a name),
// and whether leaving it out changes a picture: the material and mapper
// records only choose how shaded views look.
std::string proxyPrimitiveName(std::uint32_t type);
bool proxyPrimitiveVisible(std::uint32_t type);

// Edges of a shell's face list, each as a pair of vertex indices, in the
// order the stored edge flags follow (face by face, then around each face).
// Holes count as faces of their own. Stops at the first malformed face.
std::vector<std::pair<int, int>> shellEdges(const std::vector<std::int32_t>& faces, std::size_t vertexCount);

}  // namespace cad
