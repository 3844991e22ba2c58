#pragma once
// The LZ77 variant of 2007 files: a different opcode set from 2004's, and
// literal runs stored with their bytes shuffled in fixed patterns.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace cad::dwg {

// Unpacks `size` bytes at `data`, never past `maxSize` bytes of output (the
// size the page declares). A stream that would write more or copy from
// before its start throws cad::ReadError. The stream has no end mark: it ends
// with its input, so the result may be shorter than maxSize.
std::vector<std::uint8_t> decompressR2007(const std::uint8_t* data, std::size_t size, std::size_t maxSize);

}  // namespace cad::dwg
