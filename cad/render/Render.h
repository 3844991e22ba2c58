#pragma once
// Drawing -> raster picture. The picture shows model space (or the active
// paper space) fitted to the extents of what is drawn, with a small margin,
// in the drawing's aspect ratio.
//
// Text is laid out with Qt's font machinery, which needs a QGuiApplication.
// Programs and tests that render without one call ensureGuiApplication()
// first (on the thread that will own the application, normally main()).
#include <QImage>
#include <QSize>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "cad/model/Drawing.h"
#include "cad/model/ReferencedFiles.h"
#include "cad/render/SceneOptions.h"

class QPainter;

namespace cad::render {

struct Plot;

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

// The picture, as pixels or as a document (a PDF page, an SVG document): the
// scene is built and fitted once; size() is the picture's size in pixels.
// toImage() paints it with our own painter; paint() draws it, background
// first, with Qt's painter on a document of that size, from the same calls.
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
