// libFuzzer target: arbitrary bytes through the DWG reader. Anything but a
// drawing or a cad::ReadError is a finding.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "cad/dwg/DwgReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> file(data, data + size);
    try {
        cad::Drawing drawing = cad::dwg::readDwg(file);
        (void)drawing;
    } catch (const cad::ReadError&) {
    }
    return 0;
}
