#pragma once
// Compares two drawings read from the same drawing by different readers
// (a DWG file and the DXF export beside it): the entity counts of model and
// paper space, then entity by entity, matched by handle, the geometry. The
// result is a list of readable differences, empty when the two agree.
#include <cstddef>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cad/model/Drawing.h"

namespace cad::compare {

struct Options {
    // Two numbers agree when they differ by at most relative * the larger
    // magnitude, or by at most absolute (for values near zero). Angles agree
    // modulo a full turn.
    double relative = 1e-9;
    double absolute = 1e-9;
    bool commonData = true;  // layer, colour, linetype, lineweight, extrusion, thickness
    bool blocks = true;      // the entities of block definitions both drawings have
    std::size_t maxDifferences = 100;
};

// "LINE 3 vs 4", one line per kind whose count differs.
std::vector<std::string> compareCounts(const Drawing& expected, const Drawing& actual);

// Counts, then every entity both drawings hold, then entities only one of
// them holds. Lines read "LINE 1A2: start.x 1 vs 1.5" (expected first).
std::vector<std::string> compareDrawings(const Drawing& expected, const Drawing& actual,
                                         const Options& options = {});

// The header values both readers fill: extents, limits, linetype scales,
// point display, fill and lineweight display, angles, the text style, units
// and code page. Lines read "header.extMin.x 1 vs 2".
std::vector<std::string> compareHeaders(const Drawing& expected, const Drawing& actual,
                                        const Options& options = {});

// Whether a line of compareHeaders() is about the drawing's extents. A DXF
// export writes the extents of the regeneration it made for the export; the
// DWG keeps those of its last save, or the empty marker (1e20, -1e20) where
// it never had any, so the two are held against each other without them.
bool aboutExtents(const std::string& headerLine);

// Whether a line of compareDrawings(dxf, dwg) is one the DXF export makes by
// fitting a spline itself: the DWG holds the spline by its fit points with an
// end tangent left to the program, and the export adds the control points and
// knots it computes with a tangent of its own choosing; and it writes a
// helix with the spline it regenerates from the helix's turns. Only the
// counts of those splines' knots and control points qualify.
bool fittedByTheExport(const std::string& line, const Drawing& dwg);
// The layouts, matched by name: tab order, block, page set-up, limits and
// extents. Lines read "layout Layout1 paperWidth 210 vs 297".
std::vector<std::string> compareLayouts(const Drawing& expected, const Drawing& actual,
                                        const Options& options = {});

// For EXPECT_TRUE / ASSERT_TRUE: fails with the differences listed.
::testing::AssertionResult sameDrawing(const Drawing& expected, const Drawing& actual,
                                       const Options& options = {});

// Tolerant comparison of two numbers as the options define it.
bool nearlyEqual(double a, double b, const Options& options = {});

}  // namespace cad::compare
