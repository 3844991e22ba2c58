#pragma once
// Layouts and viewports: which space a picture shows, and a paper space
// layout drawn with model space seen through each of its viewports.
#include <optional>
#include <string>
#include <vector>

#include "cad/model/Drawing.h"
#include "cad/render/SceneOptions.h"
#include "cad/render/Scene.h"
#include "cad/model/Curves.h"
#include "cad/model/SplineFit.h"
#include "cad/model/Transform.h"

namespace cad::render {

struct ChosenSpace {
    const Block* block = nullptr;    // null when the drawing has no such layout
    const Layout* layout = nullptr;  // null for model space, or a paper space no layout names
    bool paper = false;
    std::string name;                // "Model" or the layout's name
};

// "" (the space the drawing opens in: model space when TILEMODE is 1, the
// active layout otherwise), "Model", a layout by name (any case), or a paper
// space block by name ("*Paper_Space") in files without layout objects.
ChosenSpace chooseSpace(const Drawing& drawing, const std::string& layout);

// The scene of the space the options choose: model space, or a layout with
// its viewports.
Scene buildScene(const Drawing& drawing, const RenderOptions& options);

// The paper space layouts in tab order.
std::vector<const Layout*> paperLayouts(const Drawing& drawing);

// The view the space the options choose was saved with, in the coordinates
// of its scene, and where model space must be placed to be seen that way.
struct SavedFrame {
    Box box;
    Xform placement;
};
std::optional<SavedFrame> savedFrame(const Drawing& drawing, const RenderOptions& options);

// Whether the space the options choose draws anything at all (a layout
// holding nothing but its sheet is empty).
bool layoutHasContent(const Drawing& drawing, const RenderOptions& options);

// World coordinates to the plane a viewport looks at (view target at the
// origin, the view direction towards the viewer, world Z upwards on screen
// where it can be), turned by the view's twist.
Xform viewTransform(Vec3 direction, Vec3 target, double twist);

// Model space seen through a viewport: model coordinates to paper
// coordinates. False when the viewport holds no usable view.
bool viewportPlacement(const ViewportData& viewport, Xform* modelToPaper);

// The viewport's outline on paper: its rectangle, or the entity that clips
// a non-rectangular one when the layout holds it.
std::vector<Vec2> viewportOutline(const ViewportData& viewport, const Block& layout);

}  // namespace cad::render
