// Feeds arbitrary bytes to the page decompressor of 2004-family files: it
// must either unpack them within the declared size or throw cad::ReadError.
#include <cstddef>
#include <cstdint>

#include "cad/dwg/DecompressR2004.h"
#include "cad/model/Drawing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first two bytes play the page's declared size (a full page is
    // 0x7400 bytes).
    if (size < 2) return 0;
    std::size_t declared = (std::size_t{data[0]} | std::size_t{data[1]} << 8) % 0x8000;
    try {
        auto out = cad::dwg::decompressR2004(data + 2, size - 2, declared);
        if (out.size() > declared) __builtin_trap();
    } catch (const cad::ReadError&) {
    }
    return 0;
}
