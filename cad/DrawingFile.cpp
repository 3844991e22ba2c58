#include "cad/DrawingFile.h"

#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "cad/dwg/DwgPreview.h"
#include "cad/dwg/DwgReader.h"
#include "cad/dxf/DxfReader.h"
#include "cad/ExternalReferences.h"

namespace cad {

namespace {

// The largest drawing we open: far beyond any real one, and it keeps a
// damaged file system entry or a device file from eating the memory.
constexpr long kMaxFileSize = 1L << 30;

std::vector<std::uint8_t> readWholeFile(const std::string& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!f) throw ReadError("cannot open " + path);
    std::vector<std::uint8_t> bytes;
    // Sized once from what the file system says, so the bytes are not
    // copied again and again while they grow; the loop still reads to the end.
    if (std::fseek(f.get(), 0, SEEK_END) == 0) {
        long size = std::ftell(f.get());
        if (size > 0 && size <= kMaxFileSize) bytes.reserve(static_cast<std::size_t>(size));
        std::rewind(f.get());
    }
    std::clearerr(f.get());
    std::uint8_t buffer[1 << 16];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + n);
        if (bytes.size() > static_cast<std::size_t>(kMaxFileSize)) throw ReadError(path + " is too large to be a drawing");
    }
    if (std::ferror(f.get())) throw ReadError("cannot read " + path);
    return bytes;
}

// "AC10.." from R2.5 on; the first releases wrote "AC1.2" to "AC2.22".
bool isDwg(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 4 || bytes[0] != 'A' || bytes[1] != 'C') return false;
    return (bytes[2] == '1' && bytes[3] == '0') || ((bytes[2] == '1' || bytes[2] == '2') && bytes[3] == '.');
}

}  // namespace

Drawing readDrawingFile(const std::string& path) {
    std::vector<std::uint8_t> bytes = readWholeFile(path);
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

Drawing openDrawing(const std::string& path) {
    Drawing d = readDrawingFile(path);
    attachExternalReferences(d, path);
    return d;
}

}  // namespace cad
