#pragma once
// How a picture of a drawing is made: its size and colours, what it frames,
// and how much work it may take. Plain values, shared by the scene, the scene
// walker and every painter.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "cad/model/ReferencedFiles.h"
#include "cad/render/PaintRules.h"

namespace cad::render {

struct Plot;

// How much work one picture may take, counted in what the renderer makes
// rather than in time, so the same drawing always gives the same picture.
// When a budget is reached the rest of the entity at hand is left out, the
// picture is still made, and the scene says it was simplified, and why.
struct WorkBudgets {
    std::size_t primitives = 2000000;   // strokes, fills, texts and markers
    std::size_t vertices = 16000000;    // points of strokes and fills
    std::size_t glyphs = 50000;         // characters of text laid out
    std::size_t instances = 500000;     // block references drawn, array cells included
    std::size_t hatchWork = 20000000;   // pattern lines times boundary edges, dashes, of one hatch
    std::size_t bytes = std::size_t{512} << 20;  // memory the scene, its text and curves may hold; 0: no limit
};

// What a picture frames: everything drawn, or the view the drawing was
// saved with (model space's active viewport, a layout's own view), as the
// CAD application shows it on opening the file; extents where none is stored.
enum class ViewChoice { Extents, Saved };

// A part of the drawing along its axes, (x, y) its lowest corner; one
// without area is no part at all.
struct Window {
    double x = 0, y = 0, width = 0, height = 0;
    static Window between(double x0, double y0, double x1, double y1) {
        return {x0 < x1 ? x0 : x1, y0 < y1 ? y0 : y1, x0 < x1 ? x1 - x0 : x0 - x1, y0 < y1 ? y1 - y0 : y0 - y1};
    }
    bool isValid() const { return width > 0 && height > 0; }
    bool operator==(const Window&) const = default;
};

struct RenderOptions {
    int longSide = 2048;             // pixels along the longer side of the picture
    std::uint32_t background = 0xFFFFFFFFu;  // 0xFFRRGGBB; colour 7 is drawn in the contrasting black or white
    double margin = 0.02;            // blank border, as a fraction of the long side
    std::string layout;              // "" the space the drawing opens in, "Model", or a layout's name
    bool antialias = true;
    bool lineweights = true;         // draw lineweights wider than the thinnest pen, when the
                                     // drawing's header displays them (LWDISPLAY)
    Window window;                   // drawing coordinates to show instead of the extents, when valid
    ViewChoice view = ViewChoice::Extents;
    ColorMode colors = ColorMode::AsDrawn;
    std::string drawingFolder;       // where the drawing's own fonts are looked for first
    ReferenceRules references;       // which pictures and underlays may be shown
    WorkBudgets budgets;
    // Drawn as plotted on paper (Plot.h): the plot's window, page and pens
    // stand in for the extents, the long side and the drawing's own pens.
    std::shared_ptr<const Plot> plot;
};

}  // namespace cad::render
