#include "cad/DrawingFile.h"

#include <utility>
#include <vector>

#include "cad/dwg/DwgPreview.h"
#include "cad/dwg/DwgReader.h"
#include "cad/dxf/DxfReader.h"
#include "cad/ExternalReferences.h"
#include "cad/model/ReadableFile.h"

namespace cad {

namespace {

// "AC10.." from R2.5 on; the first releases wrote "AC1.2" to "AC2.22".
bool isDwg(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 4 || bytes[0] != 'A' || bytes[1] != 'C') return false;
    return (bytes[2] == '1' && bytes[3] == '0') || ((bytes[2] == '1' || bytes[2] == '2') && bytes[3] == '.');
}

}  // namespace

Drawing readDrawingFile(const std::string& path) { return readDrawingBytes(readWeighedFile(path, kMaxDrawingBytes), path); }

Drawing readDrawingBytes(std::vector<std::uint8_t> bytes, const std::string& path) {
    if (bytes.empty()) throw ReadError(path + " is empty");
    if (!isDwg(bytes)) {
        Drawing d = dxf::readDxf(bytes);
        d.sourcePath = path;
        return d;
    }
    Preview preview = dwg::readDwgPreview(bytes);
    Drawing d = dwg::readDwg(std::move(bytes));
    d.preview = std::move(preview);
    d.sourcePath = path;
    return d;
}

Drawing openDrawing(const std::string& path, const ReferenceRules& rules) {
    Drawing d = readDrawingFile(path);
    attachExternalReferences(d, path, rules);
    return d;
}

}  // namespace cad
