#pragma once
// Plot style tables: the pens a plot draws with, as the CAD application's
// page set-ups name them. A colour-dependent table (.ctb) holds a style for
// each of the 255 index colours; a named table (.stb) holds styles that
// objects and layers name. Both are one compressed text of the same shape.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cad {

struct PlotStyle {
    std::string name;             // "Color_1", "Normal", "Style 1"
    bool objectColor = true;      // the pen takes the object's own colour
    std::uint32_t rgb = 0;        // 0xRRGGBB, when it does not
    bool grayscale = false;       // the colour is plotted as its grey
    int screen = 100;             // ink intensity, percent: 0 plots as the paper
    double lineweightMm = -1;     // negative: the object's own lineweight
};

struct PlotStyleTable {
    bool colorDependent = true;   // a .ctb: styles[i] is index colour i + 1
    std::vector<PlotStyle> styles;

    // The style of an index colour 1..255; null when the table has none.
    const PlotStyle* forColor(int index) const;
    // A named style, compared without regard to case; null when absent.
    const PlotStyle* named(const std::string& name) const;
};

// The table a .ctb or .stb file holds. A file that is not such a table, or
// is damaged, gives nothing and a one-line reason in *error.
std::optional<PlotStyleTable> parsePlotStyleTable(const std::vector<unsigned char>& bytes, std::string* error);
std::optional<PlotStyleTable> readPlotStyleTable(const std::string& path, std::string* error);

}  // namespace cad
