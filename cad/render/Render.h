#pragma once
// Drawing -> raster picture. The picture shows model space (or the active
// paper space) fitted to the extents of what is drawn, with a small margin,
// in the drawing's aspect ratio.
//
// Text is laid out with Qt's font machinery, which needs a QGuiApplication.
// Programs and tests that render without one call ensureGuiApplication()
// first (on the thread that will own the application, normally main()).
#include <QColor>
#include <QImage>
#include <QRectF>
#include <QSize>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "cad/model/Drawing.h"
#include "cad/model/ReferencedFiles.h"
#include "cad/render/PaintRules.h"

class QPainter;

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
};

// What a picture frames: everything drawn, or the view the drawing was
// saved with (model space's active viewport, a layout's own view), as the
// CAD application shows it on opening the file; extents where none is stored.
enum class ViewChoice { Extents, Saved };

struct RenderOptions {
    int longSide = 2048;             // pixels along the longer side of the picture
    QColor background = QColor(255, 255, 255);  // colour 7 is drawn in the contrasting black or white
    double margin = 0.02;            // blank border, as a fraction of the long side
    std::string layout;              // "" the space the drawing opens in, "Model", or a layout's name
    bool antialias = true;
    bool lineweights = true;         // draw lineweights wider than the thinnest pen, when the
                                     // drawing's header displays them (LWDISPLAY)
    QRectF window;                   // drawing coordinates to show instead of the extents, when valid
    ViewChoice view = ViewChoice::Extents;
    ColorMode colors = ColorMode::AsDrawn;
    std::string drawingFolder;       // where the drawing's own fonts are looked for first
    ReferenceRules references;       // which pictures and underlays may be shown
    WorkBudgets budgets;
    // Drawn as plotted on paper (Plot.h): the plot's window, page and pens
    // stand in for the extents, the long side and the drawing's own pens.
    std::shared_ptr<const Plot> plot;
};

// The picture, Format_RGB32. A drawing with nothing to draw gives a picture
// of the background colour in the default 4:3 shape.
QImage renderDrawing(const Drawing& drawing, const RenderOptions& options = {});
// The same, with what could not be drawn (external references, pictures,
// underlays that are missing or unreadable, a layout that does not exist)
// added to *problems, one line each.
QImage renderDrawing(const Drawing& drawing, const RenderOptions& options, std::vector<std::string>* problems);
// The same, and why the picture leaves part of the drawing out (empty when
// it is whole) into *simplified.
QImage renderDrawing(const Drawing& drawing, const RenderOptions& options, std::string* simplified);

// The picture for any device, raster or of the caller's own (a PDF page, an
// SVG document): the scene is built and fitted once; size() is the picture's
// size in pixels, and paint() draws it, background first, with a painter on
// a device of that size.
class ScenePicture {
public:
    ScenePicture(const Drawing& drawing, const RenderOptions& options = {});
    ~ScenePicture();
    QSize size() const;
    void paint(QPainter& painter) const;
    QImage toImage() const;  // what renderDrawing returns
    // What could not be drawn: external references, pictures and underlays
    // that are missing or unreadable, a layout that does not exist.
    std::vector<std::string> problems() const;
    // Why the scene leaves part of the drawing out: a work budget was
    // reached. Empty when the picture is whole.
    const std::string& simplified() const;
    // What the picture lacks of the drawing: the reader's losses and the scene's.
    const Losses& losses() const { return losses_; }

private:
    struct Prepared;
    std::unique_ptr<Prepared> prepared_;
    std::vector<std::string> referenceProblems_;
    Losses losses_;
};

// What a picture of the drawing with these options lacks (see
// ScenePicture::problems), without painting it; the scene is built only
// when the drawing shows pictures or underlays at all.
std::vector<std::string> pictureProblems(const Drawing& drawing, const RenderOptions& options = {});

// Writes the picture as a 24-bit BMP file. On failure returns false and puts
// a one-line reason into *error (when given); an existing file is then left
// as it was.
bool exportBmp(const Drawing& drawing, const std::string& path, const RenderOptions& options = {},
               std::string* error = nullptr);

// Makes sure a QGuiApplication exists; creates one on the "offscreen"
// platform when there is none (and no display to use). Returns false when it
// could not. The renderer calls it itself the first time a text needs Qt's
// fonts, so a drawing without such text never loads a platform plugin; a
// program that renders on several threads calls it from main() first.
bool ensureGuiApplication();

}  // namespace cad::render
