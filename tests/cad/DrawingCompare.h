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

// The header values the renderer uses: extents, limits, linetype scales,
// point display, fill and lineweight display. Lines read "header.extMin.x 1 vs 2".
std::vector<std::string> compareHeaders(const Drawing& expected, const Drawing& actual,
                                        const Options& options = {});

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
