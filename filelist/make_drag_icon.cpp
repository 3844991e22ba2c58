// Writes drag.ico, the pointer the file list shows while a row is dragged:
// a row between an up and a down arrow, on a 32 x 32 icon with an alpha
// channel. The list uses the icon's centre as the hot spot.
#include <cstdint>
#include <cstdio>

#include "platform/IconFileWriter.h"

namespace {

// ' ' clear, 'X' outline, 'o' fill, '=' the row.
const std::vector<std::string> kPicture = {
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
constexpr int kColumns = 15;

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
    lumicade::iconfile::Picture picture;
    picture.rows = kPicture;
    picture.size = kSize;
    picture.left = (kSize - kColumns) / 2 + 1;
    picture.top = (kSize - static_cast<int>(kPicture.size())) / 2 + 1;
    picture.colourOf = colourOf;
    return lumicade::iconfile::writeFile(argv[1], lumicade::iconfile::fileBytes(picture, nullptr)) ? 0 : 1;
}
