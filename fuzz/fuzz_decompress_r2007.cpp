// Feeds arbitrary bytes to the page decompressor of 2007 files: it must
// either unpack them within the declared size or throw cad::ReadError.
#include <cstddef>
#include <cstdint>

#include "cad/dwg/DecompressR2007.h"
#include "cad/model/Drawing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first three bytes play the page's declared size (a full page is
    // 0xF800 bytes).
    if (size < 3) return 0;
    std::size_t declared = (std::size_t{data[0]} | std::size_t{data[1]} << 8 | std::size_t{data[2]} << 16) % 0x20000;
    try {
        auto out = cad::dwg::decompressR2007(data + 3, size - 3, declared);
        if (out.size() > declared) __builtin_trap();
    } catch (const cad::ReadError&) {
    }
    return 0;
}
