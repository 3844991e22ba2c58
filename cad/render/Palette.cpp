#include "cad/render/Palette.h"

#include <array>
#include <cmath>

namespace cad::render {

namespace {

// Indices 10..249 run through 24 hues in steps of 15 degrees; within each
// group of ten, five brightness levels, each in full and in half saturation.
std::uint32_t hueColor(int index) {
    const int group = index / 10 - 1;        // 0..23
    const int step = index % 10;
    static constexpr double levels[5] = {255, 204, 153, 127, 76};
    const double value = levels[step / 2];
    const double saturation = (step % 2) ? 0.5 : 1.0;
    const double hue = group * 15.0;
    const double sector = hue / 60.0;
    const int i = static_cast<int>(std::floor(sector)) % 6;
    const double f = sector - std::floor(sector);
    const double p = value * (1 - saturation);
    const double q = value * (1 - saturation * f);
    const double t = value * (1 - saturation * (1 - f));
    double r = 0, g = 0, b = 0;
    switch (i) {
    case 0: r = value; g = t; b = p; break;
    case 1: r = q; g = value; b = p; break;
    case 2: r = p; g = value; b = t; break;
    case 3: r = p; g = q; b = value; break;
    case 4: r = t; g = p; b = value; break;
    default: r = value; g = p; b = q; break;
    }
    return opaque(static_cast<int>(r), static_cast<int>(g), static_cast<int>(b));
}

std::array<std::uint32_t, 256> buildTable() {
    std::array<std::uint32_t, 256> table{};
    table[0] = opaque(0, 0, 0);
    table[1] = opaque(255, 0, 0);
    table[2] = opaque(255, 255, 0);
    table[3] = opaque(0, 255, 0);
    table[4] = opaque(0, 255, 255);
    table[5] = opaque(0, 0, 255);
    table[6] = opaque(255, 0, 255);
    table[7] = opaque(255, 255, 255);
    table[8] = opaque(128, 128, 128);
    table[9] = opaque(192, 192, 192);
    for (int i = 10; i < 250; ++i) table[static_cast<std::size_t>(i)] = hueColor(i);
    static constexpr int greys[6] = {51, 80, 105, 130, 190, 255};
    for (int i = 0; i < 6; ++i) table[static_cast<std::size_t>(250 + i)] = opaque(greys[i], greys[i], greys[i]);
    return table;
}

}  // namespace

std::uint32_t aciToRgb(int index) {
    static const std::array<std::uint32_t, 256> table = buildTable();
    if (index < 0) index = -index;  // a negative layer colour only says "off"
    if (index < 1 || index > 255) return table[7];
    return table[static_cast<std::size_t>(index)];
}

PaintColor paintFromIndex(int index) {
    if (index < 0) index = -index;
    if (index == 7 || index < 1 || index > 255) return {opaque(255, 255, 255), true, 7};
    return {aciToRgb(index), false, static_cast<std::uint8_t>(index)};
}

PaintColor paintFromRgb(std::uint32_t rgb) {
    return {opaque(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                 static_cast<int>(rgb & 0xFF)),
            false};
}

}  // namespace cad::render
