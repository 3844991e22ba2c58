#pragma once
// What lumicade-convert was asked to do: its command line, checked.
#include <QRectF>
#include <string>
#include <vector>

#include "cad/render/Render.h"

namespace lumicade::convert {

enum class Format { Jpeg, Png, Tiff, Bmp, Pdf, Svg };

struct Options {
    int quality = 85;
    bool fast = false;                        // JPEG with the standard Huffman tables: the same pixels, sooner, larger
    std::string outputDir;                    // file-system bytes; empty: beside each drawing
    bool mirrorTree = false;                  // with outputDir: keep each drawing's folder below it
    int size = 2048;
    bool blackBackground = false;
    cad::render::ColorMode colors = cad::render::ColorMode::AsDrawn;
    Format format = Format::Jpeg;
    int jobs = 0;                             // 0: one per core
    double timeoutSeconds = 120;              // per drawing; 0: none
    std::size_t memoryLimit = cad::render::WorkBudgets{}.bytes;  // bytes per drawing's work; 0: none
    bool recursive = false;
    QRectF window;
    cad::render::ViewChoice view = cad::render::ViewChoice::Extents;
    std::string layout;                       // "" the active space, "Model", "*" all, or a layout's name
    std::vector<std::string> extensions{"dwg", "dxf"};  // lower case
    std::vector<std::string> inputs;          // file-system bytes, as given
    bool readStdin = false;
    bool skipUpToDate = false;
    std::string reportFile;                   // "-": standard output
    bool strict = false;                      // an incomplete drawing counts as failed in the exit status
    int shardIndex = 0, shardCount = 1;
    bool verbose = false;
    std::vector<std::string> fontDirs;        // looked in for the drawings' fonts after each drawing's folder
    cad::ReferenceScope references = cad::ReferenceScope::Any;  // which other files a drawing may show
    // Plots: pictures on the page set-up's paper (PDF always is one).
    bool plot = false;                        // raster pictures too, at dpi
    std::string paper;                        // model space's sheet: "A3", "420x297mm"; empty: its set-up's
    int dpi = 150;
    std::vector<std::string> plotStyleDirs;   // looked in for plot style tables after each drawing's folder
    bool plots() const { return plot || format == Format::Pdf; }
};

// A command line that cannot be followed; an empty message asks for the help text.
struct UsageError {
    std::string message;
};

extern const char* const kUsage;

// Throws UsageError.
Options parseArguments(int argc, char** argv);

// The extension of the pictures of a format, without the dot.
const char* pictureExtension(Format format);

}  // namespace lumicade::convert
