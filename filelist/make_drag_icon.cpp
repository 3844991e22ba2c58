// Writes drag.ico, the pointer the file list shows while a row is dragged:
// a row between an up and a down arrow, on a 32 x 32 icon with an alpha
// channel. The list uses the icon's centre as the hot spot.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

// ' ' clear, 'X' outline, 'o' fill, '=' the row.
const char* const kPicture[] = {
    "       X       ",
    "      XoX      ",
    "     XoooX     ",
    "    XoooooX    ",
    "   XoooooooX   ",
    "  XXXXoooXXXX  ",
    "     XoooX     ",
    "XXXXXXXXXXXXXXX",
    "X=============X",
    "X=============X",
    "X=============X",
    "XXXXXXXXXXXXXXX",
    "     XoooX     ",
    "  XXXXoooXXXX  ",
    "   XoooooooX   ",
    "    XoooooX    ",
    "     XoooX     ",
    "      XoX      ",
    "       X       ",
};
constexpr int kSize = 32;
constexpr int kRows = sizeof(kPicture) / sizeof(kPicture[0]);
constexpr int kColumns = 15;
constexpr int kLeft = (kSize - kColumns) / 2 + 1;
constexpr int kTop = (kSize - kRows) / 2 + 1;

// The picture character at icon pixel (x, y), counted from the top left.
char pictureAt(int x, int y)
{
    const int row = y - kTop, column = x - kLeft;
    return row >= 0 && row < kRows && column >= 0 && column < kColumns ? kPicture[row][column] : ' ';
}

void put16(std::vector<std::uint8_t>& out, unsigned v)
{
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// Blue-grey BGRA for each picture character.
std::uint32_t colourOf(char c)
{
    switch (c) {
    case 'X': return 0xFF202830;  // outline
    case 'o': return 0xFFFFFFFF;  // arrow fill
    case '=': return 0xFFD08A3C;  // the row, in the list's selection blue
    default: return 0x00000000;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s drag.ico\n", argv[0]);
        return 2;
    }
    std::vector<std::uint8_t> image;
    // BITMAPINFOHEADER; the height counts the colour rows and the mask rows.
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
    // Colour rows, bottom row first.
    for (int y = kSize - 1; y >= 0; --y) {
        for (int x = 0; x < kSize; ++x) {
            put32(image, colourOf(pictureAt(x, y)));
        }
    }
    // The AND mask: set where the picture is clear (rows of 32 bits).
    for (int y = kSize - 1; y >= 0; --y) {
        std::uint32_t bits = 0;
        for (int x = 0; x < kSize; ++x) {
            if (pictureAt(x, y) == ' ')
                bits |= 0x80000000u >> x;
        }
        // Mask rows are stored most significant byte first.
        image.push_back(static_cast<std::uint8_t>(bits >> 24));
        image.push_back(static_cast<std::uint8_t>(bits >> 16));
        image.push_back(static_cast<std::uint8_t>(bits >> 8));
        image.push_back(static_cast<std::uint8_t>(bits));
    }

    std::vector<std::uint8_t> file;
    put16(file, 0);  // reserved
    put16(file, 1);  // icon
    put16(file, 1);  // one image
    file.push_back(kSize);
    file.push_back(kSize);
    file.push_back(0);  // no palette
    file.push_back(0);
    put16(file, 1);   // planes
    put16(file, 32);  // bits per pixel
    put32(file, static_cast<std::uint32_t>(image.size()));
    put32(file, 6 + 16);
    file.insert(file.end(), image.begin(), image.end());

    std::ofstream out(argv[1], std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return out ? 0 : 1;
}
