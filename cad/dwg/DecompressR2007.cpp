#include "cad/dwg/DecompressR2007.h"

#include <array>

#include "cad/dwg/DecompressInput.h"

namespace cad::dwg {

namespace {

using detail::CompressedInput;
using detail::DecompressedOutput;

// Literal runs are stored in 32-byte chunks plus a remainder, and each
// chunk's bytes come in a fixed shuffled order. The order for n bytes is a
// sequence of blocks (size, offset in the stored bytes); every block of more
// than one byte is itself laid out by the order for its own size. So a
// 2- or 3-byte block comes reversed and a 16-byte block with its halves
// swapped, while 4- and 8-byte blocks keep their order.
struct Block {
    std::uint8_t size;
    std::uint8_t from;
};
using BlockList = std::array<Block, 5>;  // unused entries have size 0

constexpr std::array<BlockList, 33> kLiteralBlocks = {{
    {},
    {{{1, 0}}},
    {{{1, 1}, {1, 0}}},
    {{{1, 2}, {1, 1}, {1, 0}}},
    {{{1, 0}, {1, 1}, {1, 2}, {1, 3}}},
    {{{1, 4}, {4, 0}}},
    {{{1, 5}, {4, 1}, {1, 0}}},
    {{{2, 5}, {4, 1}, {1, 0}}},
    {{{4, 0}, {4, 4}}},
    {{{1, 8}, {8, 0}}},
    {{{1, 9}, {8, 1}, {1, 0}}},
    {{{2, 9}, {8, 1}, {1, 0}}},
    {{{4, 8}, {8, 0}}},
    {{{1, 12}, {4, 8}, {8, 0}}},
    {{{1, 13}, {4, 9}, {8, 1}, {1, 0}}},
    {{{2, 13}, {4, 9}, {8, 1}, {1, 0}}},
    {{{8, 8}, {8, 0}}},
    {{{8, 9}, {1, 8}, {8, 0}}},
    {{{1, 17}, {16, 1}, {1, 0}}},
    {{{3, 16}, {16, 0}}},
    {{{4, 16}, {16, 0}}},
    {{{1, 20}, {4, 16}, {16, 0}}},
    {{{2, 20}, {4, 16}, {16, 0}}},
    {{{3, 20}, {4, 16}, {16, 0}}},
    {{{8, 16}, {16, 0}}},
    {{{8, 17}, {1, 16}, {16, 0}}},
    {{{1, 25}, {8, 17}, {1, 16}, {16, 0}}},
    {{{2, 25}, {8, 17}, {1, 16}, {16, 0}}},
    {{{4, 24}, {8, 16}, {16, 0}}},
    {{{1, 28}, {4, 24}, {8, 16}, {16, 0}}},
    {{{2, 28}, {4, 24}, {8, 16}, {16, 0}}},
    {{{1, 30}, {4, 26}, {8, 18}, {16, 2}, {2, 0}}},
    {{{16, 16}, {16, 0}}},
}};

using Order = std::array<std::uint8_t, 32>;

constexpr void expand(unsigned n, unsigned base, Order& order, unsigned& next)
{
    for (const Block& b : kLiteralBlocks[n]) {
        if (b.size == 0) break;
        if (b.size == 1)
            order[next++] = static_cast<std::uint8_t>(base + b.from);
        else
            expand(b.size, base + b.from, order, next);
    }
}

// kLiteralOrder[n][i]: which stored byte becomes output byte i of an n-byte
// chunk.
constexpr std::array<Order, 33> makeLiteralOrders()
{
    std::array<Order, 33> orders{};
    for (unsigned n = 1; n <= 32; ++n) {
        unsigned next = 0;
        expand(n, 0, orders[n], next);
    }
    return orders;
}
constexpr std::array<Order, 33> kLiteralOrder = makeLiteralOrders();

void copyLiteral(CompressedInput& in, DecompressedOutput& out, std::size_t n)
{
    out.room(n);
    const std::uint8_t* src = in.take(n);
    std::uint8_t chunk[32];
    while (n > 0) {
        std::size_t part = n >= 32 ? 32 : n;
        const Order& order = kLiteralOrder[part];
        for (std::size_t i = 0; i < part; ++i) chunk[i] = src[order[i]];
        out.append(chunk, part);
        src += part;
        n -= part;
    }
}

// A literal run's length: the opcode plus 8, where 0x0F (23) extends with a
// byte and then with 16-bit words while they are all ones.
std::size_t literalLength(CompressedInput& in, std::uint8_t op)
{
    std::size_t length = op + 8u;
    if (length == 0x17) {
        std::size_t n = in.byte();
        length += n;
        if (n == 0xFF) {
            do {
                n = in.byte();
                n |= std::size_t{in.byte()} << 8;
                length += n;
            } while (n == 0xFFFF);
        }
    }
    return length;
}

// Decodes one back reference. On return `op` holds the last byte read, whose
// low three bits give the literal run that follows.
void readCopy(CompressedInput& in, std::uint8_t& op, std::size_t& distance, std::size_t& count)
{
    switch (op >> 4) {
    case 0: {
        count = (op & 0x0Fu) + 0x13;
        distance = in.byte();
        op = in.byte();
        count += (op >> 3) & 0x10u;
        distance += ((op & 0x78u) << 5) + 1;
        break;
    }
    case 1: {
        count = (op & 0x0Fu) + 3;
        distance = in.byte();
        op = in.byte();
        distance += ((op & 0xF8u) << 5) + 1;
        break;
    }
    case 2: {
        distance = in.byte();
        distance |= std::size_t{in.byte()} << 8;
        count = op & 7u;
        if ((op & 8u) == 0) {
            op = in.byte();
            count += op & 0xF8u;
        } else {
            ++distance;
            count += std::size_t{in.byte()} << 3;
            op = in.byte();
            count += (std::size_t{op & 0xF8u} << 8) + 0x100;
        }
        break;
    }
    default: {
        count = op >> 4;
        distance = op & 0x0Fu;
        op = in.byte();
        distance += ((op & 0xF8u) << 1) + 1;
        break;
    }
    }
}

}  // namespace

std::vector<std::uint8_t> decompressR2007(const std::uint8_t* data, std::size_t size, std::size_t maxSize)
{
    CompressedInput in(data, size);
    DecompressedOutput out(maxSize);

    std::size_t length = 0;
    std::uint8_t op = in.byte();
    if ((op & 0xF0) == 0x20) {
        // A short first run: its length sits in the fourth byte.
        in.take(2);
        length = in.byte() & 7u;
    }

    while (!in.atEnd()) {
        if (length == 0) length = literalLength(in, op);
        copyLiteral(in, out, length);
        if (in.atEnd()) break;

        op = in.byte();
        std::size_t distance = 0;
        std::size_t count = 0;
        readCopy(in, op, distance, count);
        for (;;) {
            out.copyBack(distance, count);
            length = op & 7u;
            if (length != 0 || in.atEnd()) break;
            op = in.byte();
            if ((op >> 4) == 0) break;  // a long literal run follows
            if ((op >> 4) == 0x0F) op &= 0x0F;
            readCopy(in, op, distance, count);
        }
    }
    return out.take();
}

}  // namespace cad::dwg
