// The table of what building a scene takes from Qt, installed before main().
#include "cad/render/QtParts.h"

#include "cad/render/SceneBuilder.h"

namespace cad::render {

namespace {

void picture(frontend::Builder& builder, const ImageData& d, const frontend::Look& l, const Xform& xf,
             const std::vector<Vec3>& clipOutline) {
    builder.picture(d, l, xf, clipOutline);
}

void underlay(frontend::Builder& builder, const Entity& e, const ImageData& d, const frontend::Look& l, const Xform& ocs) {
    builder.underlay(e, d, l, ocs);
}

constexpr QtParts kParts{&picture, &underlay};

// Before main(), so every scene of the program finds them.
const bool installed = (installQtParts(&kParts), true);

}  // namespace

}  // namespace cad::render

// Named by the link of every program that paints through Qt, so that this
// file, and the parts it installs, are always linked in.
extern "C" const bool lumicade_render_qt_parts = cad::render::installed;
