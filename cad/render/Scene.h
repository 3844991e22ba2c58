#pragma once
// The frontend's output: what to paint, in drawing (world XY) coordinates,
// with every colour, linetype and visibility question already answered.
// The backend only maps it to pixels.
#include <QPointF>
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "cad/model/Geometry.h"
#include "cad/model/Losses.h"
#include "cad/render/PaintRules.h"
#include "cad/render/Path.h"

namespace cad::render {

// An area along the axes; empty until a point is added.
struct Box {
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    bool empty() const { return minX > maxX || minY > maxY; }
    void add(Vec2 p) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
        minX = std::min(minX, p.x); maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y); maxY = std::max(maxY, p.y);
    }
    void add(const Box& b) { if (!b.empty()) { add(Vec2{b.minX, b.minY}); add(Vec2{b.maxX, b.maxY}); } }
    double width() const { return maxX - minX; }
    double height() const { return maxY - minY; }
};

// The points of a scene's strokes, kept together in large blocks instead of
// an allocation of their own for each stroke. A block never moves once made,
// so a stroke's points stay where they are while the scene grows, moves or
// takes in another scene's blocks.
class PointStore {
public:
    PointStore() = default;
    PointStore(PointStore&& other) noexcept { *this = std::move(other); }
    PointStore& operator=(PointStore&& other) noexcept;

    // Room for up to n points after those kept so far; only the next
    // keep() holds on to them.
    Vec2* claim(std::size_t n) { return n <= left_ ? free_ : newBlock(n); }
    // The first n points of the last claim, kept for good.
    std::span<const Vec2> keep(std::size_t n) {
        const std::span<const Vec2> kept(free_, n);
        free_ += n;
        left_ -= n;
        return kept;
    }
    // Takes over the other store's blocks, and what they hold with them.
    void adopt(PointStore&& other);
    // Lets go of every point; the blocks stay, for the points to come.
    void clear();
    std::size_t capacity() const;

private:
    struct Block {
        std::unique_ptr<Vec2[]> points;
        std::size_t size = 0;
    };
    Vec2* newBlock(std::size_t n);
    std::vector<Block> blocks_;   // in use: the newest one last
    std::vector<Block> spare_;    // emptied, to be used again
    Vec2* free_ = nullptr;        // the unkept end of the newest block
    std::size_t left_ = 0;        // how many points fit there
};

struct PaintColor {
    std::uint32_t rgb = 0xFF000000u;  // 0xFFRRGGBB
    bool foreground = false;
    std::uint8_t index = 0;       // the index colour it came from, 0 for a true colour
};

struct Stroke {
    std::span<const Vec2> points; // in the scene's point store
    bool closed = false;
    PaintColor color;
    double lineweightMm = 0.25;   // pen width in millimetres at plot scale
    std::vector<double> dashes;   // drawing units: >0 dash, <0 gap, 0 dot; empty = continuous
};

// A filled area; several outlines combine by the even-odd rule.
struct Fill {
    std::vector<std::vector<Vec2>> outlines;
    PaintColor color;
    bool background = false;      // a wipeout: paints the background colour
};

// Glyphs already placed in drawing coordinates: outlines to fill (TrueType
// faces) and pen strokes (shape fonts), drawn with the entity's pen.
struct TextShape {
    Path path;
    Path strokes;
    PaintColor color;
    double lineweightMm = 0.25;
};

// A point marker whose size may depend on the view (PDSIZE <= 0).
struct PointMarker {
    Vec2 position;
    int mode = 0;                 // PDMODE
    double size = 0;              // PDSIZE: >0 drawing units, 0 = 5 % of the view height, <0 = percent of it
    PaintColor color;
    double lineweightMm = 0.25;
};

// Rays and construction lines: drawn across the view, never counted in the extents.
struct InfiniteLine {
    Vec2 base, direction;
    bool bothWays = false;        // XLINE
    PaintColor color;
    double lineweightMm = 0.25;
    std::vector<double> dashes;
};

struct Item {
    enum class Kind { Stroke, Fill, Text, Point, Infinite, Raster } kind;
    std::size_t index;
    int clip = -1;                // index into Scene::clips: painted only inside that area
    Box box = {};                 // what it covers, its clip left aside: worked out once, when it is added
};

// A picture's pixels: premultiplied 0xAARRGGBB, row after row from the top.
struct Pixels {
    int width = 0, height = 0;
    std::vector<std::uint32_t> argb;   // width * height of them
};

// A picture placed in the drawing: image pixel (column, row from the top)
// maps to drawing coordinates through placement.
struct RasterPicture {
    std::shared_ptr<const Pixels> image;  // never null in a scene
    int width = 0, height = 0;    // the image's, in pixels
    Affine placement;
    Path clip;                    // drawing coordinates; empty = the whole picture
    bool clipInverted = false;    // paint outside clip, within the picture
};

// What each primitive covers in drawing coordinates; empty for rays and
// construction lines, which run across whatever is shown.
Box boxOf(const Stroke& s);
Box boxOf(const Fill& f);
Box boxOf(const TextShape& t);
Box boxOf(const PointMarker& p);
Box boxOf(const RasterPicture& r);

struct Scene {
    Scene() = default;
    Scene(Scene&&) noexcept = default;
    Scene& operator=(Scene&&) noexcept = default;
    // Hands its storage on to the next scene this thread builds.
    ~Scene();
    // A scene in the storage that the last scene of this thread let go of,
    // if any: drawing after drawing is built in the same memory, rather than
    // in fresh pages that the system maps and clears one by one.
    static Scene reusingStorage();

    std::vector<Stroke> strokes;
    PointStore strokePoints;      // where the strokes' points are
    std::vector<Fill> fills;
    std::vector<TextShape> texts;
    std::vector<PointMarker> points;
    std::vector<InfiniteLine> infinite;
    std::vector<RasterPicture> rasters;
    std::vector<Item> order;      // painting order: later items cover earlier ones
    std::vector<Path> clips;      // areas that items are painted within (viewports)
    std::vector<std::string> problems;  // what could not be drawn, one line each
    Losses losses;                      // the same and more, by kind, with counts

    // What building the scene took, in the units of the work budgets.
    struct Work {
        std::size_t vertices = 0, glyphs = 0, instances = 0;
        std::size_t culled = 0;   // block references and texts left out unexpanded: outside the view or below a pixel
        std::size_t hatchLines = 0;  // pattern lines generated
    } work;
    std::string simplified;       // why part of the drawing was left out; empty when whole
    Box frame;                    // the saved view the picture shows, when one was asked for and stored

    // What is drawn, clipped items counted only within their clip.
    Box extents() const;
    // The box of one item, its clip left aside; empty for rays and construction lines.
    const Box& boxOf(const Item& item) const { return item.box; }
    // Moves the other scene's items after ours, each painted within clip
    // (an index into clips, or -1 for none).
    void append(Scene&& other, int clip);

    // What the items added between beginTally() and endTally() cover, and
    // whether all of them have bounds (rays and markers sized by the view
    // have none). Tallies nest: each takes in what those within it counted.
    struct Tally {
        Box box;
        bool bounded = true;
    };
    void beginTally() { tallies_.emplace_back(); }
    Tally endTally() {
        const Tally done = tallies_.back();
        tallies_.pop_back();
        if (!tallies_.empty()) {
            tallies_.back().box.add(done.box);
            tallies_.back().bounded = tallies_.back().bounded && done.bounded;
        }
        return done;
    }

    // A stroke's points are in strokePoints. The box, when given, is that of its points.
    void add(Stroke s) {
        const Box box = cad::render::boxOf(s);
        add(std::move(s), box);
    }
    void add(Stroke s, const Box& box) { newStroke(box) = std::move(s); }
    // A stroke of that box at the end of the painting order, to be filled in
    // where it stands rather than moved there.
    Stroke& newStroke(const Box& box) {
        Item& item = order.emplace_back();
        item.kind = Item::Kind::Stroke;
        item.index = strokes.size();
        item.box = box;
        counted(box, true);
        return strokes.emplace_back();
    }
    void add(Fill f) {
        added({Item::Kind::Fill, fills.size(), -1, cad::render::boxOf(f)});
        fills.push_back(std::move(f));
    }
    void add(TextShape t) {
        added({Item::Kind::Text, texts.size(), -1, cad::render::boxOf(t)});
        texts.push_back(std::move(t));
    }
    void add(PointMarker p) {
        added({Item::Kind::Point, points.size(), -1, cad::render::boxOf(p)}, p.size > 0);
        points.push_back(std::move(p));
    }
    void add(InfiniteLine l) {
        added({Item::Kind::Infinite, infinite.size()}, false);
        infinite.push_back(std::move(l));
    }
    void add(RasterPicture r) {
        added({Item::Kind::Raster, rasters.size(), -1, cad::render::boxOf(r)});
        rasters.push_back(std::move(r));
    }

private:
    void added(const Item& item, bool bounded = true) {
        order.push_back(item);
        counted(item.box, bounded);
    }
    void counted(const Box& box, bool bounded) {
        unclipped_.add(box);
        ++unclippedItems_;
        if (!tallies_.empty()) {
            tallies_.back().box.add(box);
            if (!bounded) tallies_.back().bounded = false;
        }
    }
    std::vector<Tally> tallies_;
    // What the items added here and appended without a clip cover, kept as
    // they come: while that is every item, the extents need no pass over them.
    Box unclipped_;
    std::size_t unclippedItems_ = 0;
};

struct RenderOptions;
// The picture fitted around extents, options.longSide pixels along its longer side.
PixelView fitView(const Box& extents, const RenderOptions& options);

}  // namespace cad::render
