#pragma once
// Plot style table files written by the tests: the header the CAD
// application writes, then the text compressed with zlib.
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

inline std::vector<unsigned char> plotStyleFile(const std::string& text, const char* kind = "CTBVER1") {
    std::string header = std::string("PIAFILEVERSION_2.0,") + kind + ",compress\r\npmzlibcodec";
    header.resize(48, ' ');
    std::vector<unsigned char> packed(compressBound(text.size()));
    uLongf packedSize = packed.size();
    compress(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(text.data()), text.size());
    packed.resize(packedSize);
    std::vector<unsigned char> out(header.begin(), header.end());
    auto word = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    word(static_cast<std::uint32_t>(adler32(1, reinterpret_cast<const Bytef*>(text.data()), text.size())));
    word(static_cast<std::uint32_t>(text.size()));
    word(static_cast<std::uint32_t>(packed.size()));
    out.insert(out.end(), packed.begin(), packed.end());
    return out;
}

}  // namespace testsupport
