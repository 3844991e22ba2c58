// Writes the hand pointer HAND-M.CUR: a 32 x 32 cursor with an alpha channel
// and the hot spot on the finger tip. Run by the build, so the pointer is
// drawn here and nowhere else.
#include "platform/IconFileWriter.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s HAND-M.CUR\n", argv[0]);
        return 2;
    }
    using namespace lumicade::iconfile;
    Picture hand;
    // 'X' outline, 'o' fill.
    hand.rows = {
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
    hand.left = 6;
    hand.top = 1;
    hand.colourOf = [](char c) -> std::uint32_t {
        switch (c) {
        case 'X': return 0xFF000000u;
        case 'o': return 0xFFFFFFFFu;
        default: return 0x00000000u;
        }
    };
    const HotSpot fingerTip{hand.left + 5, hand.top};
    return writeFile(argv[1], fileBytes(hand, &fingerTip)) ? 0 : 1;
}
