#pragma once
// What building a scene needs of Qt: raster pictures (images, PDF pages).
// A program that paints through Qt links these parts in, and they are there
// from its start. A program that paints without Qt has none: building a
// scene that needs one throws NeedsQt, and the program hands the drawing to
// a part of itself that has Qt (the converter loads it as a module).
#include <stdexcept>
#include <vector>

#include "cad/model/Entity.h"
#include "cad/model/Transform.h"

namespace cad::render {

namespace frontend {
class Builder;
struct Look;
}  // namespace frontend

struct NeedsQt : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct QtParts {
    // Raster pictures: an IMAGE clipped to its outline, and PDF, DWF and DGN underlays.
    void (*picture)(frontend::Builder& builder, const ImageData& d, const frontend::Look& l, const Xform& xf,
                    const std::vector<Vec3>& clipOutline);
    void (*underlay)(frontend::Builder& builder, const Entity& e, const ImageData& d, const frontend::Look& l,
                     const Xform& ocs);
};

// The parts, or NeedsQt saying what wanted them.
const QtParts& qtParts(const char* forWhat);
bool haveQtParts();
// Called by the Qt parts themselves, before main().
void installQtParts(const QtParts* parts);

}  // namespace cad::render
