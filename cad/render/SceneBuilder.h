#pragma once
// The scene builder behind buildScene(): one pass over the active space that
// resolves each entity's properties (layer, colour, linetype, lineweight,
// ByBlock through nested inserts) and turns it into paint primitives in world
// XY coordinates. Its work is spread over files by concern: properties,
// primitives, entities, annotations and hatches.
#include <cmath>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "cad/model/Drawing.h"
#include "cad/model/MemoryBudget.h"
#include "cad/model/WireEntities.h"
#include "cad/render/SceneOptions.h"
#include "cad/render/Scene.h"
#include "cad/model/Curves.h"
#include "cad/model/SplineFit.h"
#include "cad/model/Transform.h"
#include "cad/render/TextLayout.h"

namespace cad::render::frontend {

constexpr double kPi = 3.14159265358979323846;
constexpr int kMaxDepth = 24;            // nesting of inserts
constexpr long kMaxHatchLines = 20000;   // pattern lines of one hatch; more fill the area

inline const PaintColor kForeground{0xFFFFFFFFu, true};
inline const std::string kContinuous = "Continuous";

// What an insert passes on to the entities of its block.
struct Context {
    Xform xf;
    PaintColor byBlockColor = kForeground;
    const std::string* byBlockLinetype = &kContinuous;  // a layer's, an entity's or kContinuous: they outlive the scene
    int byBlockLineweight = LineWeightDefault;
    const Layer* insertLayer = nullptr;  // where entities on layer "0" take their properties from
    bool inBlock = false;
    int depth = 0;
};

// An entity's resolved properties.
struct Look {
    bool visible = true;
    PaintColor color = kForeground;
    const std::string* linetype = &kContinuous;  // as Context::byBlockLinetype
    double lineweightMm = 0.25;
    const std::vector<double>* pattern = nullptr;  // the linetype's unscaled dashes, when dashed
    const Linetype* complex = nullptr;  // a dashed linetype with shapes or texts
    double patternScale = 1;
    // The colour and lineweight before a plot's pens: what the entities of
    // a block take from its reference ByBlock.
    PaintColor drawnColor = kForeground;
    double drawnLineweightMm = 0.25;
};

inline Affine planTransform(const Xform& x, double z) {
    return Affine(x.m[0][0], x.m[1][0], x.m[0][1], x.m[1][1], x.m[0][2] * z + x.t.x, x.m[1][2] * z + x.t.y);
}

inline bool finite(Vec3 p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

class Builder {
public:
    // What lies wholly outside view (scene coordinates; empty: no limit) is not shown.
    Builder(const Drawing& d, const RenderOptions& o, const Box& view = {});
    // The entities of one space placed by placement; entities on the hidden
    // layers are left out as if those layers were frozen.
    Scene run(const Block& space, const Xform& placement, const std::vector<std::string>& hiddenLayers);

    // ---- pictures and underlays (Pictures.cpp, through the program's picture decoder) ----
    // The raster of an IMAGE under its frame, clipped to clipOutline (drawing
    // coordinates before xf) when it is given.
    void picture(const ImageData& d, const Look& l, const Xform& xf, const std::vector<Vec3>& clipOutline);
    // PDF, DWF and DGN underlays: the page where it can be drawn, and its frame.
    void underlay(const Entity& e, const ImageData& d, const Look& l, const Xform& ocs);

private:
    const Drawing& drawing_;
    const RenderOptions& options_;
    MemoryScope memory_;  // the drawing's, when this scene is part of one
    std::shared_ptr<const std::filesystem::path> folder_;  // where the drawing's own fonts are
    Scene scene_;
    double ltScale_ = 1;
    std::vector<const Block*> active_;  // the chain of blocks being drawn, against self-reference
    std::set<std::string> hiddenLayers_;  // upper-case names: a viewport's frozen layers
    // What was last looked up: entities come in runs of one layer and one
    // linetype, and a name lookup is a case-folded copy and a hash each time.
    // Layer and linetype names of entities are shared, one string for each
    // spelling, so the same name is the same string; the linetype names an
    // entity takes from its layer or its block reference are those of the
    // drawing's tables, which outlive the scene too.
    mutable Name lastLayerName_;
    mutable const Layer* lastLayer_ = nullptr;
    mutable bool lastLayerKnown_ = false;
    enum class OwnLinetype { ByLayer, ByBlock, Named };
    mutable const std::string* lastOwnLinetype_ = nullptr;
    mutable OwnLinetype lastOwnKind_ = OwnLinetype::ByLayer;
    mutable const std::string* lastDashedName_ = nullptr;
    mutable const std::vector<double>* lastPattern_ = nullptr;
    mutable const Linetype* lastComplex_ = nullptr;
    mutable const Layer* lastColorLayer_ = nullptr;
    mutable PaintColor lastLayerColor_;
    // The look last worked out and what it was worked out from: the
    // entities of a block mostly come in runs of the same properties.
    struct LookOf {
        Name layer, linetype;
        Color color;
        int lineweight = 0;
        double linetypeScale = 0;
        bool invisible = false;
        bool inBlock = false;
        const Layer* insertLayer = nullptr;
        PaintColor byBlockColor;
        const std::string* byBlockLinetype = nullptr;
        int byBlockLineweight = 0;
        bool operator==(const LookOf& o) const {
            return layer == o.layer && linetype == o.linetype && color == o.color && lineweight == o.lineweight &&
                   linetypeScale == o.linetypeScale && invisible == o.invisible && inBlock == o.inBlock &&
                   insertLayer == o.insertLayer && byBlockColor.rgb == o.byBlockColor.rgb &&
                   byBlockColor.foreground == o.byBlockColor.foreground && byBlockColor.index == o.byBlockColor.index &&
                   byBlockLinetype == o.byBlockLinetype &&
                   byBlockLineweight == o.byBlockLineweight;
        }
    };
    mutable LookOf lastLookOf_;
    mutable Look lastLook_;
    mutable bool lastLookKnown_ = false;
    Look resolvedLook(const Entity& e, const Context& ctx) const;
    const Layer* findLayer(Name name) const;
    // The pattern of the linetype of that name, and the linetype when it has shapes or texts.
    void dashesOf(const std::string* linetype, const std::vector<double>** pattern, const Linetype** complex) const;
    std::unordered_map<const Block*, bool> blank_;  // blocks known to draw nothing, worked out once each
    // Multiline texts laid out so far, by what their layout is made from,
    // byte for byte: drawings repeat their texts (the values of dimensions,
    // labels), and the same text in the same format lays out the same. The
    // fonts are held so that their addresses in the keys stay theirs.
    struct LaidOut {
        std::shared_ptr<const TextFont> font;
        std::shared_ptr<const std::filesystem::path> folder;
        std::vector<PlacedText> parts;
        Box extent;  // in the text's plane
    };
    std::unordered_map<std::string, LaidOut> laidOut_;
    const LaidOut& laidOutMText(const std::string& text, const TextFormat& f, double width, int attachment,
                                double spacing, const MTextColumns& columns);

    // ---- what can be seen (Frontend.cpp) ------------------------------------
    // The part of the scene the picture shows (the window asked for, within a
    // viewport's area); empty when the picture shows all that is drawn.
    Box view_;
    // What a block draws, in its own coordinates, learned from its first
    // expansion; per block and the layer its entities on layer 0 take.
    struct BlockBox {
        Box box;              // empty: draws nothing there
        bool bounded = true;  // false: rays, or markers sized by the view
    };
    std::map<std::pair<const Block*, const Layer*>, BlockBox> blockBoxes_;
    std::vector<Box> learning_;   // scene boxes of references left out during expansions being learned
    std::size_t cutShort_ = 0;    // expansions stopped by a cycle or the nesting limit
    // Whether a box of the scene lies wholly outside the view.
    bool outsideView(const Box& box) const;
    // Whether a box of the scene is smaller than a pixel of the picture
    // wherever the picture ends up, and leaving it out changes no extents.
    bool belowPixel(const Box& box);
    // A reference to a block placed at xf: expanded, or passed over when
    // what it draws cannot be seen.
    void place(const Block& block, Context& child, const Xform& xf);

    // ---- work budgets (Frontend.cpp) ----------------------------------------
    // Notes a budget reached as a loss; the first makes the scene simplified.
    void simplify(const std::string& budget, const std::string& why);
    // How far a flattened curve of the given extent (in the coordinates xf
    // maps to the drawing) may stray from the true one and stay well below
    // a pixel of the picture; 0 when that cannot be told.
    double flatness(double extent, const Xform& xf) const;
    // Whether one more primitive of that many points, holding that many
    // bytes of its own, fits the budgets (and counts them). Asked for every
    // entity and primitive, so the answer "yes" costs a few comparisons.
    bool room(std::size_t vertices, std::size_t bytes = 0) {
        const WorkBudgets& b = options_.budgets;
        if (scene_.order.size() < b.primitives && scene_.work.vertices <= b.vertices &&
            vertices <= b.vertices - scene_.work.vertices && memory_.budget().charge(bytes)) {
            scene_.work.vertices += vertices;
            return true;
        }
        return beyondBudget(vertices);
    }
    // What a primitive of kind T holds in the scene besides its points: its
    // entry in the painting order and in the list of its kind, both of
    // which grow by doubling.
    template <class T>
    static constexpr std::size_t kItemBytes = 2 * (sizeof(Item) + sizeof(T));
    // Notes which budget one more primitive of that many points would pass.
    bool beyondBudget(std::size_t vertices);
    // Notes the memory budget reached (once); always false.
    bool beyondMemory();
    // Whether that many more bytes of work in progress (points of a curve
    // being flattened) fit the memory budget, and counts them.
    bool memoryRoom(std::size_t bytes) { return memory_.budget().charge(bytes) || beyondMemory(); }
    // Whether another block reference fits the instance budget (and counts it).
    bool instanceRoom();
    // The part of a text the glyph budget lets through, counted in characters.
    std::string withinGlyphs(const std::string& text);
    // A block with nothing to draw at any placement: no entities, or only
    // references to such blocks. Its references are passed over unexpanded.
    bool blank(const Block& block);

    // ---- properties (SceneProperties.cpp) ---------------------------------
    const Layer* effectiveLayer(const EntityCommon& c, const Context& ctx, bool* known) const;
    static PaintColor colorOf(const Color& c);
    Look look(const Entity& e, const Context& ctx) const;
    std::vector<double> dashes(const Look& l, const Xform& xf) const;
    // Notes a font drawn by a stand-in as a loss.
    TextFormat baseFormat(const std::string& styleName, double height, double widthFactor, double oblique);
    Context childContext(const Entity& e, const Look& l, const Context& ctx) const;
    bool layerFrozen(const Entity& e, const Context& ctx) const;
    bool layerHidden(const Layer* layer, const EntityCommon& c) const;

    // ---- paint primitives (ScenePrimitives.cpp) ---------------------------
    // A polyline whose segments may have widths: wide segments become filled bands.
    struct WideVertex {
        Vec3 point;
        double startWidth = 0, endWidth = 0, bulge = 0;
    };
    void stroke(std::span<const Vec3> local, bool closed, const Look& l, const Xform& xf, bool dashed = true);
    void stroke(std::initializer_list<Vec3> local, bool closed, const Look& l, const Xform& xf, bool dashed = true) {
        stroke(std::span<const Vec3>(local.begin(), local.size()), closed, l, xf, dashed);
    }
    void fill(const std::vector<std::vector<Vec3>>& outlines, const PaintColor& color, const Xform& xf,
              bool background = false);
    void text(const TextPaths& planePaths, const Xform& planeToWorld, double z, const PaintColor& color,
              double lineweightMm = 0.25);
    void arrowhead(Vec3 tip, Vec3 from, double size, const Look& l, const Xform& xf);
    void widePolyline(const std::vector<WideVertex>& v, bool closed, const Look& l, const Xform& xf);
    // The shapes and texts of a complex linetype along a stroke (world points) (LinetypeElements.cpp).
    void linetypeElements(std::span<const Vec2> points, bool closed, const Look& l, const Xform& xf);
    // Says once that a shape could not be drawn: no shape file at hand has
    // it (LinetypeElements.cpp).
    void shapeNotFound(const std::string& shape, const TextStyle* style);

    // ---- entities and blocks (DrawEntities.cpp) ---------------------------
    void entity(const Entity& e, const Context& ctx);
    void ellipse(const EllipseData& d, const Entity& e, const Look& l, const Xform& xf);
    void polyline(const PolylineData& d, const Look& l, const Xform& xf, const Xform& ocs);
    void textEntity(const Entity& e, const TextData& d, const Look& l, const Context& ctx, const Xform& ocs);
    // Multiline text set at its insertion; extent, when given, receives the
    // box its lines take in its plane (left empty when the text is out of view).
    void mtextAt(const std::string& raw, const TextFormat& f, double width, int attachment, double spacing,
                 Vec3 insertion, Vec3 xAxis, Vec3 normal, const PaintColor& color, const Xform& xf,
                 const MTextColumns& columns = {}, Box* extent = nullptr);
    // The plane of a text: origin at its insertion, x along its direction
    // (kept in the plane of the normal), z along the normal.
    static Xform textPlane(Vec3 insertion, Vec3 xAxis, Vec3 normal);
    void mtext(const Entity& e, const MTextData& d, const Look& l, const Xform& xf);
    // The entities of a block drawn with the given placement (block -> parent coordinates).
    void blockAt(const Block& block, const Entity& owner, const Xform& placement, const Look& l, const Context& ctx);
    // The entities of a block with the child context of its owner placed at xf.
    void drawBlock(const Block& block, Context& child, const Xform& xf);
    void insert(const Entity& e, const InsertData& d, const Look& l, const Context& ctx);
    void point(const PointData& d, const Look& l, const Xform& xf);
    void ray(const Entity& e, const RayData& d, const Look& l, const Xform& xf);
    void mline(const MLineData& d, const Look& l, const Xform& xf);
    void image(const Entity& e, const ImageData& d, const Look& l, const Xform& xf);
    // What an object's graphics, a modeler body or a mesh shows, as entities
    // drawn like a block's for their owner (ByBlock from it).
    void wireframe(std::vector<Entity> parts, const Entity& owner, const Look& l, const Context& ctx);


    // ---- annotations (DrawAnnotations.cpp) --------------------------------
    // A dimension draws its block, or what it can without one.
    void dimension(const Entity& e, const DimensionData& d, const Look& l, const Context& ctx);
    void table(const Entity& e, const TableData& d, const Look& l, const Context& ctx);
    double arrowSize() const;
    void leader(const LeaderData& d, const Look& l, const Xform& xf);
    void mleader(const Entity& e, const MLeaderData& d, const Look& l, const Context& ctx);
    // The measured value as the dimension shows it: "<>" in the override
    // stands for it, a lone space hides the text.
    std::string dimensionText(const DimensionData& d, int kind) const;
    // A dimension whose block is missing: its dimension line, extension lines
    // and arrowheads where the kind makes them plain, and its text.
    void dimensionWithoutBlock(const Entity& e, const DimensionData& d, const Look& l, const Xform& xf);
    // The geometric characteristic symbols of the GDT font, drawn in the unit
    // square. Returns false for a character that has no symbol here.
    bool gdtSymbol(char c, const Look& l, const Xform& square);
    void tolerance(const ToleranceData& d, const Look& l, const Xform& xf);
    void shape(const ShapeData& d, const Look& l, const Xform& ocs);

    // ---- hatches (DrawHatch.cpp) -------------------------------------------
    // The part of a hatch's plane (at its elevation) the view can show; empty with no view.
    Box viewInPlane(const Xform& ocs, double z) const;
    static void edgePoints(const HatchEdge& edge, std::vector<Vec3>& out);
    static std::vector<std::vector<Vec3>> hatchOutlines(const HatchData& d);
    void hatch(const HatchData& d, const Look& l, const Xform& ocs);
    // A gradient fill as bands of plain colour within the outlines (DrawGradient.cpp).
    void gradient(const std::vector<std::vector<Vec3>>& outlines, const HatchData& d, const Look& l, const Xform& ocs);
    void dashInterval(const std::vector<double>& dashes, double patternLength, double t0, double t1, double ox,
                      double oy, double ux, double uy, double z, const Look& l, const Xform& ocs);
};

}  // namespace cad::render::frontend
