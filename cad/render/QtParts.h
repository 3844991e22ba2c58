#pragma once
// What building a scene needs of Qt: TrueType faces (text set in them, and
// characters a shape font lacks) and raster pictures (images, PDF pages).
// A program that paints through Qt links these parts in, and they are there
// from its start. A program that paints without Qt has none: building a
// scene that needs one throws NeedsQt, and the program hands the drawing to
// a part of itself that has Qt (the converter loads it as a module).
#include <QString>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "cad/model/Entity.h"
#include "cad/model/Transform.h"

namespace cad::render {

class Path;
struct TextFormat;
struct TextRun;
namespace frontend {
class Builder;
struct Look;
}  // namespace frontend

struct NeedsQt : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct QtParts {
    // TrueType text. A format without a TrueType face of its own is set in the default face.
    double (*descent)(const TextFormat& format);   // depth below the baseline per cap height
    double (*defaultDescent)();
    double (*advance)(const TextRun& run);         // the run's width in drawing units, tracking left aside
    void (*outline)(Path& fill, const TextRun& run, double x, double baseline);
    // A character a shape font lacks, from a face that has it, scaled to the
    // format's cap height: its advance, and its outline at pen when fill is given.
    double (*missingCharacter)(char32_t c, const TextFormat& format, double pen, double baseline, Path* fill);
    // The family of a TrueType file, made known to Qt; family when the file has none.
    QString (*registerFontFile)(const std::filesystem::path& file, const std::string& family);

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
