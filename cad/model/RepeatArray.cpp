#include "cad/model/RepeatArray.h"

#include <algorithm>
#include <iterator>

namespace cad {

Block foldRepeatArray(std::vector<Entity>& entities, std::size_t first, const RepeatArray& array,
                      const std::string& blockName, const std::string& layer) {
    first = std::min(first, entities.size());
    Block b;
    b.name = blockName;
    b.flags = 1;  // anonymous: no one inserts it by name
    b.entities.assign(std::make_move_iterator(entities.begin() + static_cast<std::ptrdiff_t>(first)),
                      std::make_move_iterator(entities.end()));
    entities.erase(entities.begin() + static_cast<std::ptrdiff_t>(first), entities.end());

    Entity insert;
    insert.type = "INSERT";
    insert.common.layer = layer;
    InsertData d;
    d.blockName = blockName;
    // A count below one is taken as one: the entities themselves stay drawn.
    d.columns = std::max(array.columns, 1);
    d.rows = std::max(array.rows, 1);
    d.columnSpacing = array.columnSpacing;
    d.rowSpacing = array.rowSpacing;
    insert.data = std::move(d);
    entities.push_back(std::move(insert));
    return b;
}

}  // namespace cad
