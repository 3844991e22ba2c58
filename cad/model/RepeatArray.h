#pragma once
// The REPEAT ... ENDREP arrays of the first releases: the entities between
// the two records drawn in rows and columns. Both the DWG and the DXF reader
// turn such an array into an anonymous block and one arrayed INSERT of it,
// which draws the same copies without moving every kind of entity by hand.
#include <cstddef>
#include <string>
#include <vector>

#include "cad/model/Drawing.h"

namespace cad {

struct RepeatArray {
    int columns = 1, rows = 1;
    double columnSpacing = 0, rowSpacing = 0;
};

// Moves the entities of `entities` from `first` on into a block named
// `blockName` and leaves in their place the INSERT that repeats them, on
// layer `layer`. Returns the block, for the caller to add to the drawing.
Block foldRepeatArray(std::vector<Entity>& entities, std::size_t first, const RepeatArray& array,
                      const std::string& blockName, const std::string& layer);

}  // namespace cad
