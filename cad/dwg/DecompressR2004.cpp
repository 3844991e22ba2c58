#include "cad/dwg/DecompressR2004.h"

#include "cad/dwg/DecompressInput.h"

namespace cad::dwg {

namespace {

using detail::CompressedInput;
using detail::DecompressedOutput;

// The long counts of literal runs and of opcodes 0x10 and 0x20: zero bytes
// add 255 each, the first non-zero byte ends the count.
std::size_t longCount(CompressedInput& in)
{
    std::size_t n = 0;
    for (;;) {
        std::uint8_t b = in.byte();
        if (b != 0) return n + b;
        n += 0xFF;
    }
}

// A literal run announced by a byte 0x00..0x0F: 1..15 mean 4..18 bytes; 0
// starts a long count.
std::size_t literalLength(CompressedInput& in, std::uint8_t op)
{
    return op != 0 ? op + 3u : longCount(in) + 0x12;
}

// Two bytes holding a 14-bit distance and, in the low two bits of the first,
// the count of literal bytes that follow the copy.
std::size_t twoByteOffset(CompressedInput& in, unsigned& literals)
{
    std::uint8_t first = in.byte();
    std::uint8_t second = in.byte();
    literals = first & 3u;
    return (first >> 2) | (std::size_t{second} << 6);
}

}  // namespace

std::vector<std::uint8_t> decompressR2004(const std::uint8_t* data, std::size_t size, std::size_t maxSize)
{
    CompressedInput in(data, size);
    DecompressedOutput out(maxSize);

    auto literalRun = [&](std::size_t n) {
        out.room(n);
        out.append(in.take(n), n);
    };

    std::uint8_t op = in.byte();
    if (op < 0x10) {
        literalRun(literalLength(in, op));
        op = in.byte();
    }
    while (op != 0x11) {
        std::size_t count = 0;
        std::size_t offset = 0;
        unsigned literals = 0;
        if (op >= 0x40) {
            count = (op >> 4) - 1u;
            std::uint8_t next = in.byte();
            offset = (std::size_t{next} << 2) | ((op & 0x0Cu) >> 2);
            literals = op & 3u;
        } else if (op >= 0x20) {
            count = (op & 0x1Fu) ? (op & 0x1Fu) + 2u : longCount(in) + 0x21;
            offset = twoByteOffset(in, literals);
        } else if (op >= 0x10) {
            count = (op & 7u) ? (op & 7u) + 2u : longCount(in) + 9;
            offset = twoByteOffset(in, literals) + ((op & 8u) << 11) + 0x3FFF;
        } else {
            throw ReadError("a compressed page of the drawing holds an unknown code");
        }
        out.copyBack(offset + 1, count);

        // The copy's low bits may announce up to three literal bytes; without
        // them a longer run may follow, marked by a byte below 0x10.
        if (literals != 0) literalRun(literals);
        op = in.byte();
        if (literals == 0 && op < 0x10) {
            literalRun(literalLength(in, op));
            op = in.byte();
        }
    }
    return out.take();
}

}  // namespace cad::dwg
