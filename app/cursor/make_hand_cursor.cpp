// Writes the hand pointer HAND-M.CUR: a 32 x 32 cursor file with an alpha
// channel and the hot spot on the finger tip. Run by the build, so the
// pointer is drawn here and nowhere else.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

// '.' clear, 'X' outline, 'o' fill.
const char* const kHand[] = {
    "     XX          ",
    "    XooX         ",
    "    XooX         ",
    "    XooX         ",
    "    XooX         ",
    "    XooXXX       ",
    "    XooXooXXX    ",
    "    XooXooXooXX  ",
    "XX  XooXooXooXoX ",
    "XooXXooooooooXooX",
    "XoooXoooooooooooX",
    " XooXoooooooooooX",
    "  XoXoooooooooooX",
    "  XooooooooooooX ",
    "   XoooooooooooX ",
    "   XooooooooooX  ",
    "    XoooooooooX  ",
    "    XooooooooX   ",
    "     XoooooooX   ",
    "     XoooooooX   ",
    "     XXXXXXXXX   ",
};
constexpr int kSize = 32;
constexpr int kLeft = 6;  // where the drawing sits in the cursor
constexpr int kTop = 1;
constexpr int kHotX = kLeft + 5;
constexpr int kHotY = kTop;

void put16(std::vector<std::uint8_t>& out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

char cellAt(int x, int y)
{
    const int row = y - kTop;
    const int col = x - kLeft;
    const int rows = static_cast<int>(sizeof kHand / sizeof kHand[0]);
    if (row < 0 || row >= rows || col < 0)
        return '.';
    const std::string line = kHand[row];
    if (col >= static_cast<int>(line.size()))
        return '.';
    return line[static_cast<std::size_t>(col)] == ' ' ? '.' : line[static_cast<std::size_t>(col)];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s HAND-M.CUR\n", argv[0]);
        return 2;
    }
    std::vector<std::uint8_t> image;
    // Bitmap header: the height counts the colour rows and the mask rows.
    put32(image, 40);
    put32(image, kSize);
    put32(image, kSize * 2);
    put16(image, 1);
    put16(image, 32);
    put32(image, 0);
    put32(image, 0);
    put32(image, 0);
    put32(image, 0);
    put32(image, 0);
    put32(image, 0);
    // Colour rows, bottom row first, blue-green-red-alpha.
    for (int y = kSize - 1; y >= 0; --y) {
        for (int x = 0; x < kSize; ++x) {
            const char c = cellAt(x, y);
            const std::uint8_t level = c == 'o' ? 0xFF : 0x00;
            const std::uint8_t alpha = c == '.' ? 0x00 : 0xFF;
            image.insert(image.end(), {level, level, level, alpha});
        }
    }
    // Mask rows, one bit a pixel, set where the screen shows through.
    for (int y = kSize - 1; y >= 0; --y) {
        for (int byte = 0; byte < kSize / 8; ++byte) {
            std::uint8_t bits = 0;
            for (int bit = 0; bit < 8; ++bit)
                if (cellAt(byte * 8 + bit, y) == '.')
                    bits |= static_cast<std::uint8_t>(0x80 >> bit);
            image.push_back(bits);
        }
    }

    std::vector<std::uint8_t> file;
    put16(file, 0);  // reserved
    put16(file, 2);  // a cursor
    put16(file, 1);  // one image
    file.push_back(kSize);
    file.push_back(kSize);
    file.push_back(0);  // no palette
    file.push_back(0);
    put16(file, kHotX);
    put16(file, kHotY);
    put32(file, static_cast<std::uint32_t>(image.size()));
    put32(file, 6 + 16);
    file.insert(file.end(), image.begin(), image.end());

    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return out ? 0 : 1;
}
