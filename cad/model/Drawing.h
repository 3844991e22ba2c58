#pragma once
// The drawing database: header values, tables, block definitions and
// layouts. Both readers (DWG and DXF) fill this same model; the renderer and
// the dump tool only ever read it.
#include <map>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "cad/model/Entity.h"
#include "cad/model/Losses.h"
#include "cad/model/Preview.h"

namespace cad {

// A file that cannot be read: damaged, truncated, or a version we do not
// support yet. The message is one line meant for the user.
class ReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The view model space was saved with: the active viewport's, as the CAD
// application shows it on opening the drawing.
struct SavedView {
    bool present = false;
    Vec2 center;                 // in the view's own plane
    double height = 0, width = 0;
    Vec3 direction{0, 0, 1};     // from the target towards the viewer
    Vec3 target{0, 0, 0};
    double twist = 0;            // radians
};

struct Header {
    std::string version;             // "AC1015", "AC1032"; for DXF the $ACADVER value
    std::string codePage = "ANSI_1252";
    Vec3 extMin{0, 0, 0}, extMax{0, 0, 0};
    Vec3 pExtMin{0, 0, 0}, pExtMax{0, 0, 0};
    Vec2 limMin{0, 0}, limMax{12, 9};
    double ltScale = 1, celtScale = 1, textSize = 2.5, dimScale = 1;
    int pdMode = 0;
    double pdSize = 0;
    int isolines = 4;                // ISOLINES: lines drawn across each curved face of a solid
    bool psLtScale = true, fillMode = true, mirrText = false, lwDisplay = false;
    int insUnits = 0, measurement = 0;
    double angBase = 0;
    bool angDirClockwise = false;
    std::string textStyle = "Standard";
    std::string activeLayout;        // name of the layout shown in *Paper_Space, when known
    bool tileMode = true;            // TILEMODE: the drawing opens in model space
    SavedView modelView;             // model space's saved view, when stored
};

struct Layer {
    Handle handle = 0;
    std::string name;
    Color color = Color::fromIndex(7);  // always an index or true colour
    bool on = true, frozen = false, locked = false, plot = true;
    std::string linetype = "Continuous";
    int lineweight = LineWeightDefault;
};

// A shape or a text that a complex linetype draws where one of its dashes
// ends, in the linetype's units (scaled with the pattern).
struct LinetypeElement {
    std::size_t dash = 0;          // index into the dashes
    bool isText = false;           // a text, else a shape
    bool absoluteRotation = false; // else turned with the line
    int shapeNumber = 0;
    Handle style = 0;              // STYLE record: the shape file, or the text's style
    Vec2 offset;                   // along and across the line
    double scale = 1, rotation = 0;  // rotation in radians
    std::string text;
};

struct Linetype {
    Handle handle = 0;
    std::string name, description;
    double patternLength = 0;
    std::vector<double> dashes;  // >0 dash, <0 gap, 0 dot
    std::vector<LinetypeElement> elements;  // complex linetypes
};

struct TextStyle {
    Handle handle = 0;
    std::string name, fontFile, bigFontFile;
    double fixedHeight = 0, widthFactor = 1, oblique = 0;
    int flags = 0;  // 1 shape file, 4 vertical
    int generation = 0;       // 2 mirrored in X, 4 mirrored in Y
    std::string fontFamily;   // TrueType family name when the style names one
};

struct DimStyle {
    Handle handle = 0;
    std::string name;
};

struct Block {
    Handle handle = 0;        // the block record's handle
    std::string name;         // "*Model_Space", "*Paper_Space", "*D12", "DOOR" ...
    Vec3 base;
    int flags = 0;            // 1 anonymous, 2 has attributes, 4 xref, ...
    std::string xrefPath;
    std::vector<Entity> entities;
    Handle layout = 0;
    bool anonymous() const { return (flags & 1) || (!name.empty() && name[0] == '*'); }
};

struct Layout {
    Handle handle = 0;
    std::string name;         // "Model", "Layout1" ...
    int tabOrder = 0;
    Handle blockRecord = 0;   // the block that holds its entities
    int flags = 0;            // DXF 70 of AcDbLayout
    // The page set-up, as the plot settings store it. The paper and its
    // unprintable margins are in millimetres, as the device describes the
    // sheet (before the plot rotation); paperUnits (0 inches, 1 millimetres,
    // 2 pixels) is the unit of the plot scale's paper side.
    std::string pageSetupName;
    std::string paperSizeName;
    double paperWidth = 0, paperHeight = 0;
    double marginLeft = 0, marginBottom = 0, marginRight = 0, marginTop = 0;
    int paperUnits = 0;
    int plotRotation = 0;     // quarter turns counterclockwise
    int plotFlags = 0;        // DXF 70 of AcDbPlotSettings: 4 centred, 16 standard scale, 128 lineweights ...
    int plotType = 5;         // 0 display, 1 extents, 2 limits, 3 view, 4 window, 5 the layout
    Vec2 plotOrigin;          // millimetres from the printable area's lower left corner
    Vec2 plotWindowMin, plotWindowMax;     // for plot type 4, drawing units
    double scalePaper = 1, scaleDrawing = 1;  // the custom scale: paper units per drawing units
    int standardScaleType = 0;             // 0 scaled to fit, 16 1:1 ...
    double standardScale = 1;              // the standard scale as a factor
    std::string plotStyleSheet;            // "monochrome.ctb", "acad.stb"; empty: none
    Vec2 limMin, limMax;
    Vec3 extMin, extMax;
};

// A referenced file named by IMAGEDEF, PDFDEFINITION, DWFDEFINITION or DGNDEFINITION.
struct FileDefinition {
    Handle handle = 0;
    std::string kind;         // the object's DXF name
    std::string filePath;
    std::string page;         // underlays: page or sheet
    Vec2 size;                // images: pixels
    Vec2 pixelSize;           // images: one pixel in drawing units
};

class Drawing {
public:
    Header header;
    std::vector<Layer> layers;
    std::vector<Linetype> linetypes;
    std::vector<TextStyle> textStyles;
    std::vector<DimStyle> dimStyles;
    std::vector<Block> blocks;   // model space and paper spaces are blocks too
    std::vector<Layout> layouts;
    Preview preview;             // the picture the file stores of itself, when it has one
    std::vector<FileDefinition> fileDefinitions;

    // Where the drawing was read from (empty when it was not read from a
    // file); referenced files are looked for relative to it.
    std::string sourcePath;
    // What could not be brought in with the drawing: external references
    // that were missing, unreadable or circular (one line each).
    std::vector<std::string> referenceProblems;
    // The files brought in or shown besides the drawing's own: external
    // references, pictures and underlays, each once, as found.
    std::vector<std::string> referencedFiles;

    // Objects the reader met but could not decode or does not model,
    // by class or DXF name. Never fatal.
    std::map<std::string, int> skipped;
    // Non-fatal remarks of the reader (one line each).
    std::vector<std::string> warnings;
    // What of the drawing its pictures will lack, as far as reading knows:
    // entities skipped or damaged, custom objects' primitives, references.
    Losses losses;

    // Rebuild the name indexes after the readers have filled the vectors.
    void index();

    const Block* modelSpace() const { return findBlock("*Model_Space"); }
    const Block* paperSpace() const { return findBlock("*Paper_Space"); }  // the active layout's
    const Block* findBlock(const std::string& name) const;
    const Block* findBlockByHandle(Handle blockRecord) const;
    const Layout* findLayout(const std::string& name) const;
    // The block that holds a layout's entities: model space for "Model",
    // the layout's own paper space block otherwise.
    const Block* layoutBlock(const Layout& layout) const;
    const FileDefinition* findFileDefinition(Handle handle) const;
    const Layer* findLayer(const std::string& name) const;
    const Linetype* findLinetype(const std::string& name) const;
    const TextStyle* findTextStyle(const std::string& name) const;
    Block* findBlock(const std::string& name);

    void noteSkipped(const std::string& what, int count = 1) { skipped[what] += count; }
    // An entity that is not drawn: skipped, and lost unless it shows nothing anyway.
    void noteSkippedEntity(const std::string& kind);
    // A record that could not be read at all ("object", "entity record").
    void noteDamaged(const std::string& what, long long count = 1);
    // What a custom object's graphics leave out: primitives we do not draw, a damaged stream;
    // each is listed as skipped, and lost where a picture would show it.
    void noteProxyGraphics(const std::string& kind, const ProxyGraphics& graphics);

private:
    // Table names compare without regard to case, as in the CAD application.
    std::unordered_map<std::string, std::size_t> blockIndex_, layerIndex_, linetypeIndex_, styleIndex_;
};

std::string upperName(const std::string& name);

// Copies the file path, page and pixel size of each image's and underlay's
// definition into the entity, in every block. The readers call it last.
void linkFileDefinitions(Drawing& drawing);

// How many entities of each kind (the DXF name) model space and the active
// paper space hold, as a DXF export lists them in its ENTITIES section: a
// POLYLINE counts once (its vertices are not entities of their own), the
// attributes of an INSERT count as ATTRIB, entities inside block
// definitions do not count.
std::map<std::string, int> countEntityKinds(const Drawing& drawing);

}  // namespace cad
