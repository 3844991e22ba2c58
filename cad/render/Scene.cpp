#include "cad/render/Scene.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "cad/render/Plot.h"
#include "cad/render/SceneOptions.h"

namespace cad::render {

namespace {
constexpr int kMinSide = 16;
}  // namespace

Box boxOf(const Stroke& s) {
    Box box;
    for (const Vec2& p : s.points) box.add(p);
    return box;
}

Box boxOf(const Fill& f) {
    Box box;
    for (const auto& o : f.outlines)
        for (const Vec2& p : o) box.add(p);
    return box;
}

Box boxOf(const TextShape& t) {
    Box box;
    for (const Path* path : {&t.path, &t.strokes}) {
        if (path->isEmpty()) continue;
        const QRectF r = path->boundingRect();
        box.add(Vec2{r.left(), r.top()});
        box.add(Vec2{r.right(), r.bottom()});
    }
    return box;
}

Box boxOf(const PointMarker& p) {
    Box box;
    box.add(p.position);
    if (p.size > 0) {
        box.add(Vec2{p.position.x - p.size / 2, p.position.y - p.size / 2});
        box.add(Vec2{p.position.x + p.size / 2, p.position.y + p.size / 2});
    }
    return box;
}

Box boxOf(const RasterPicture& r) {
    Box box;
    if (r.clip.isEmpty() || r.clipInverted) {
        for (const Vec2 corner : {Vec2{0, 0}, Vec2{double(r.width), 0}, Vec2{double(r.width), double(r.height)},
                                  Vec2{0, double(r.height)}})
            box.add(r.placement.map(corner));
        return box;
    }
    const QRectF area = r.clip.boundingRect();
    box.add(Vec2{area.left(), area.top()});
    box.add(Vec2{area.right(), area.bottom()});
    return box;
}

PointStore& PointStore::operator=(PointStore&& other) noexcept {
    blocks_ = std::move(other.blocks_);
    spare_ = std::move(other.spare_);
    free_ = std::exchange(other.free_, nullptr);
    left_ = std::exchange(other.left_, 0);
    other.blocks_.clear();
    other.spare_.clear();
    return *this;
}

Vec2* PointStore::newBlock(std::size_t n) {
    if (!spare_.empty() && spare_.back().size >= n) {
        blocks_.push_back(std::move(spare_.back()));
        spare_.pop_back();
    } else {
        // Blocks grow with the scene: a small drawing takes little, a large
        // one a few blocks.
        const std::size_t newest = blocks_.empty() ? 0 : blocks_.back().size;
        const std::size_t size = std::max(n, std::clamp<std::size_t>(newest * 2, 1024, 65536));
        blocks_.push_back({std::unique_ptr<Vec2[]>(new Vec2[size]), size});
    }
    free_ = blocks_.back().points.get();
    left_ = blocks_.back().size;
    return free_;
}

void PointStore::adopt(PointStore&& other) {
    // Ours stays the newest block, the one the next claim goes on filling.
    const auto at = blocks_.empty() ? blocks_.end() : blocks_.end() - 1;
    blocks_.insert(at, std::make_move_iterator(other.blocks_.begin()), std::make_move_iterator(other.blocks_.end()));
    spare_.insert(spare_.end(), std::make_move_iterator(other.spare_.begin()), std::make_move_iterator(other.spare_.end()));
    other = PointStore();
}

void PointStore::clear() {
    for (Block& b : blocks_) spare_.push_back(std::move(b));
    blocks_.clear();
    // The largest last, where claim() looks first.
    std::sort(spare_.begin(), spare_.end(), [](const Block& a, const Block& b) { return a.size < b.size; });
    free_ = nullptr;
    left_ = 0;
}

std::size_t PointStore::capacity() const {
    std::size_t n = 0;
    for (const auto* list : {&blocks_, &spare_})
        for (const Block& b : *list) n += b.size;
    return n;
}

namespace {

// What the last scene of this thread let go of, for the next one.
struct SceneStorage {
    std::vector<Stroke> strokes;
    std::vector<Item> order;
    PointStore strokePoints;
    std::size_t bytes() const {
        return strokes.capacity() * sizeof(Stroke) + order.capacity() * sizeof(Item) +
               strokePoints.capacity() * sizeof(Vec2);
    }
};

// More than this is given back to the system rather than kept for a scene to come.
constexpr std::size_t kKeptStorage = 32u << 20;

SceneStorage& spareStorage() {
    thread_local SceneStorage spare;
    return spare;
}

}  // namespace

Scene::~Scene() {
    SceneStorage& spare = spareStorage();
    SceneStorage mine;
    mine.strokes = std::move(strokes);
    mine.order = std::move(order);
    mine.strokePoints = std::move(strokePoints);
    const std::size_t bytes = mine.bytes();
    if (bytes <= spare.bytes() || bytes > kKeptStorage) return;
    mine.strokes.clear();
    mine.order.clear();
    mine.strokePoints.clear();
    spare = std::move(mine);
}

Scene Scene::reusingStorage() {
    Scene scene;
    SceneStorage& spare = spareStorage();
    scene.strokes = std::move(spare.strokes);
    scene.order = std::move(spare.order);
    scene.strokePoints = std::move(spare.strokePoints);
    spare = SceneStorage();
    return scene;
}

Box Scene::extents() const {
    if (unclippedItems_ == order.size()) return unclipped_;
    Box box;
    std::vector<QRectF> clipBounds;
    clipBounds.reserve(clips.size());
    for (const Path& c : clips) clipBounds.push_back(c.boundingRect());
    for (const Item& item : order) {
        Box b = item.box;
        if (b.empty()) continue;
        if (item.clip >= 0 && static_cast<std::size_t>(item.clip) < clipBounds.size()) {
            const QRectF& c = clipBounds[static_cast<std::size_t>(item.clip)];
            b.minX = std::max(b.minX, c.left());
            b.maxX = std::min(b.maxX, c.right());
            b.minY = std::max(b.minY, c.top());
            b.maxY = std::min(b.maxY, c.bottom());
        }
        box.add(b);
    }
    return box;
}

void Scene::append(Scene&& other, int clip) {
    // Boxes are taken from the other scene before its primitives move.
    std::vector<char> keep(other.order.size(), 1);
    if (clip >= 0 && static_cast<std::size_t>(clip) < clips.size()) {
        const QRectF area = clips[static_cast<std::size_t>(clip)].boundingRect();
        for (std::size_t i = 0; i < other.order.size(); ++i) {
            const Item& item = other.order[i];
            if (item.kind == Item::Kind::Infinite) continue;
            const Box& b = item.box;
            // What lies wholly outside the clip is never seen: it is left out
            // rather than painted and clipped away pixel by pixel.
            if (b.empty() || b.maxX < area.left() || b.minX > area.right() || b.maxY < area.top() || b.minY > area.bottom())
                keep[i] = 0;
        }
    }
    const std::size_t base[] = {strokes.size(), fills.size(), texts.size(), points.size(), infinite.size(),
                                rasters.size()};
    auto move = [](auto& into, auto& from) {
        into.insert(into.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
    };
    move(strokes, other.strokes);
    strokePoints.adopt(std::move(other.strokePoints));
    move(fills, other.fills);
    move(texts, other.texts);
    move(points, other.points);
    move(infinite, other.infinite);
    move(rasters, other.rasters);
    const bool whole = clip < 0 && unclippedItems_ == order.size() && other.unclippedItems_ == other.order.size();
    order.reserve(order.size() + other.order.size());
    for (std::size_t i = 0; i < other.order.size(); ++i) {
        if (!keep[i]) continue;
        Item item = other.order[i];
        item.index += base[static_cast<int>(item.kind)];
        // A clip inside the other scene would need both areas; viewports
        // do not nest, so the outer one is what counts.
        item.clip = clip;
        order.push_back(item);
    }
    if (whole) {
        unclipped_.add(other.unclipped_);
        unclippedItems_ = order.size();
    }
    move(problems, other.problems);
    losses.add(other.losses);
    work.vertices += other.work.vertices;
    work.glyphs += other.work.glyphs;
    work.instances += other.work.instances;
    work.culled += other.work.culled;
    work.hatchLines += other.work.hatchLines;
    if (simplified.empty()) simplified = std::move(other.simplified);
}

PixelView fitView(const Box& extentsIn, const RenderOptions& o) {
    Box e = extentsIn;
    const int longSide = std::clamp(o.longSide, kMinSide, 32768);
    // Nothing to show, or coordinates so far apart that no scale fits them.
    if (e.empty() || !std::isfinite(e.width()) || !std::isfinite(e.height()) || e.width() > 1e150 ||
        e.height() > 1e150) {
        e = Box{};
        e.minX = 0; e.minY = 0; e.maxX = 4; e.maxY = 3;
    }
    // A drawing that is a point or a straight line still gets some body.
    const double span = std::max(e.width(), e.height());
    const double minSpan = span > 1e-100 ? span * 1e-3 : 1.0;
    if (e.width() < minSpan) { e.minX -= minSpan / 2; e.maxX += minSpan / 2; }
    if (e.height() < minSpan) { e.minY -= minSpan / 2; e.maxY += minSpan / 2; }

    const double margin = std::clamp(o.margin, 0.0, 0.4) * longSide;
    const double usable = longSide - 2 * margin;
    PixelView v;
    v.scale = usable / std::max(e.width(), e.height());
    const double w = e.width() * v.scale + 2 * margin, h = e.height() * v.scale + 2 * margin;
    v.width = std::max(kMinSide, static_cast<int>(std::lround(w)));
    v.height = std::max(kMinSide, static_cast<int>(std::lround(h)));
    if (e.width() >= e.height()) v.width = longSide;
    else v.height = longSide;
    v.originX = e.minX;
    v.originY = e.minY;
    v.marginX = (v.width - e.width() * v.scale) / 2;
    v.marginY = (v.height - e.height() * v.scale) / 2;
    v.upsideDown = o.plot && o.plot->upsideDown;
    return v;
}

}  // namespace cad::render
