#pragma once
// Writes the small pointer files the program ships beside itself (cursor
// and icon files: one 32-bit image with its transparency mask), drawn from
// rows of characters. Used by the build-time generators; standard C++ only.
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace lumicade::iconfile {

struct Picture {
    std::vector<std::string> rows;  // one character a pixel; ' ' is clear
    int left = 0;                   // where the rows sit in the square image
    int top = 0;
    int size = 32;                  // the image is size x size pixels
    // Blue-green-red-alpha of a character, packed as 0xAARRGGBB.
    std::function<std::uint32_t(char)> colourOf;
};

struct HotSpot {
    int x = 0;
    int y = 0;
};

inline char cellAt(const Picture& picture, int x, int y)
{
    const int row = y - picture.top;
    const int column = x - picture.left;
    if (row < 0 || row >= static_cast<int>(picture.rows.size()) || column < 0)
        return ' ';
    const std::string& line = picture.rows[static_cast<std::size_t>(row)];
    return column < static_cast<int>(line.size()) ? line[static_cast<std::size_t>(column)] : ' ';
}

inline void put16(std::vector<std::uint8_t>& out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

inline void put32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// The file's bytes: an icon, or a cursor when a hot spot is given.
inline std::vector<std::uint8_t> fileBytes(const Picture& picture, const HotSpot* hotSpot)
{
    const int size = picture.size;
    std::vector<std::uint8_t> image;
    // Bitmap header; the height counts the colour rows and the mask rows.
    put32(image, 40);
    put32(image, static_cast<std::uint32_t>(size));
    put32(image, static_cast<std::uint32_t>(size * 2));
    put16(image, 1);
    put16(image, 32);
    for (int i = 0; i < 6; ++i)
        put32(image, 0);
    // Colour rows, bottom row first.
    for (int y = size - 1; y >= 0; --y)
        for (int x = 0; x < size; ++x)
            put32(image, picture.colourOf(cellAt(picture, x, y)));
    // Mask rows, one bit a pixel, set where the screen shows through; each
    // row padded to whole 32-bit words.
    const int maskBytes = (size + 31) / 32 * 4;
    for (int y = size - 1; y >= 0; --y) {
        for (int byte = 0; byte < maskBytes; ++byte) {
            std::uint8_t bits = 0;
            for (int bit = 0; bit < 8; ++bit) {
                const int x = byte * 8 + bit;
                if (x < size && cellAt(picture, x, y) == ' ')
                    bits |= static_cast<std::uint8_t>(0x80 >> bit);
            }
            image.push_back(bits);
        }
    }

    std::vector<std::uint8_t> file;
    put16(file, 0);                // reserved
    put16(file, hotSpot ? 2 : 1);  // cursor or icon
    put16(file, 1);                // one image
    file.push_back(static_cast<std::uint8_t>(size));
    file.push_back(static_cast<std::uint8_t>(size));
    file.push_back(0);  // no palette
    file.push_back(0);
    // A cursor keeps its hot spot where an icon keeps planes and bit count.
    put16(file, hotSpot ? static_cast<unsigned>(hotSpot->x) : 1);
    put16(file, hotSpot ? static_cast<unsigned>(hotSpot->y) : 32);
    put32(file, static_cast<std::uint32_t>(image.size()));
    put32(file, 6 + 16);
    file.insert(file.end(), image.begin(), image.end());
    return file;
}

inline bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace lumicade::iconfile
