#pragma once
// Plots: a space drawn as the CAD application plots it, on its page
// set-up's sheet and in its orientation, inside the unprintable margins, at
// the plot scale (or fitted, where the set-up says so), with lineweights in
// millimetres on paper and the pens of the plot style table it names.
//
// A plot decides three things for the painters: the part of the drawing the
// whole page shows (a window), the page's size in pixels, and the pens. The
// scene is built and painted as any other picture's.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cad/model/Drawing.h"
#include "cad/model/PlotStyleTable.h"
#include "cad/render/PaintRules.h"
#include "cad/render/Scene.h"

namespace cad::render {

// Millimetres, the short side first for the named sizes.
struct PaperSize {
    double width = 0, height = 0;
};

// "A4", "a3", "B5", "Letter", "Legal", "Tabloid", "ANSI_C", "ARCH_D", or a
// size "420x297mm", "17x11in" (as given: width first). Nothing when not understood.
std::optional<PaperSize> paperNamed(const std::string& name);

struct PlotRequest {
    // The sheet for model space, and for a layout whose set-up names none;
    // empty: the set-up's, else A4.
    std::string paper;
    int dotsPerInch = 150;
    std::string drawingFolder;              // plot style tables are looked for here first
    std::vector<std::string> styleFolders;  // then here
};

struct Plot {
    // The page as the drawing stands on it, and its unprintable margins (mm).
    double pageWidth = 210, pageHeight = 297;
    double left = 0, bottom = 0, right = 0, top = 0;
    int dotsPerInch = 150;
    double mmPerUnit = 0;     // drawing units to millimetres on paper; 0: fitted to the printable area
    bool centred = false;     // the plotted area in the middle of the printable area, else at its lower left
    bool layoutOrigin = false;  // a layout at its scale: its origin lies at the printable area's corner
    Vec2 origin;              // mm from that corner (the set-up's plot offset)
    Box area;                 // what is plotted, in drawing coordinates; empty: what is drawn
    bool turnsToDrawing = false;  // no set-up: the sheet is turned as the plotted area is wide or tall
    // Rotations 2 and 3 plot the drawing upside down: the page and margins
    // above are as the drawing stands on them, and the picture is that page
    // turned about its middle (the sheet as the device holds it for 2, as
    // rotation 1 holds it for 3).
    bool upsideDown = false;
    std::shared_ptr<const PlotStyleTable> pens;
    ColorMode colors = ColorMode::AsDrawn;  // what a table known by name does when its file is missing
    std::vector<std::string> notes;  // where the plot cannot follow its set-up (a table missing or damaged)

    // The page's long side in pixels.
    int longSidePixels() const;
    // The part of the drawing the whole page shows, the plotted area placed
    // on it; extents is what the space draws.
    Box window(const Box& extents) const;
    // A pen as the table plots it: its colour, screening and lineweight
    // (millimetres on paper in, scene millimetres out; see penWidth).
    void pen(PaintColor& color, double& lineweightMm) const;
};

// How the space of that name ("" the one the drawing opens in, "Model", a
// layout's) is plotted. Never fails: what the set-up lacks is taken from the
// request, and a missing or damaged table is named in the notes.
Plot planPlot(const Drawing& drawing, const std::string& layout, const PlotRequest& request);

// The plot style tables the drawing's page set-ups plot with, where they are
// found, or where the first place looked would hold one that is not: a
// change to any of them, or its arrival, changes the plots.
std::vector<std::string> plotStyleFiles(const Drawing& drawing, const PlotRequest& request);

struct RenderOptions;
// Makes the options draw the space they name (options.layout) as plotted:
// the plan, the page's long side, and a table's colours where only its
// name is known. The plot frames the picture itself, so a window or saved
// view asked for is let go. Returns the plan's notes.
std::vector<std::string> preparePlot(const Drawing& drawing, RenderOptions& options, const PlotRequest& request);

}  // namespace cad::render
