#pragma once
// The LZ77 variant that packs the pages of 2004, 2010, 2013 and 2018 files
// (and their page map and section map).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace cad::dwg {

// Unpacks `size` bytes at `data`. The result never grows past `maxSize`
// bytes, the size the page declares; a stream that would write more, copy
// from before its start, or run out before its end mark throws
// cad::ReadError. The result may be shorter than maxSize (the last page of a
// section usually is).
std::vector<std::uint8_t> decompressR2004(const std::uint8_t* data, std::size_t size, std::size_t maxSize);

}  // namespace cad::dwg
