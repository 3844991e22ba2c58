// Any bytes into the DXF reader: a drawing or a ReadError, nothing else.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cad/dxf/DxfReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        cad::Drawing d = cad::dxf::readDxf(std::string_view(reinterpret_cast<const char*>(data), size));
        (void)cad::countEntityKinds(d);
    } catch (const cad::ReadError&) {
    }
    return 0;
}
