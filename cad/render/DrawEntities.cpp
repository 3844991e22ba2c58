// Drawing of the geometric entities, texts, images and block references.
#include "cad/render/SceneBuilder.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>

#include "cad/model/Overloaded.h"

namespace cad::render::frontend {

void Builder::entity(const Entity& e, const Context& ctx) {
    // Once the picture holds as much as the budgets allow, the rest is left out.
    if (!room(0)) return;
    const Look l = look(e, ctx);
    // Inserts decide their own visibility: entities of other layers in a
    // block on a layer that is off still show.
    if (!l.visible && !e.as<InsertData>()) return;
    const Xform& xf = ctx.xf;
    // Lines are most of a drawing: they go to their stroke without setting
    // up the visitor of every kind.
    if (const auto* line = e.as<LineData>()) {
        stroke({line->start, line->end}, false, l, xf);
        return;
    }
    // The object coordinates of the planar kinds. Most entities lie in the
    // plane of their block, where those are the block's own, and lines and
    // the other kinds in world coordinates never ask.
    std::optional<Xform> tilted;
    auto ocs = [&]() -> const Xform& {
        if (isDefaultExtrusion(e.common.extrusion)) return xf;
        if (!tilted) tilted = xf * ocsToWcs(e.common.extrusion);
        return *tilted;
    };

    visitData(
        overloaded{
            [&](const InsertData& d) { insert(e, d, l, ctx); },
            [&](const LineData& d) { stroke({d.start, d.end}, false, l, xf); },
            [&](const CircleData& d) {
                if (!(d.radius > 0)) return;
                std::vector<Vec3> pts;
                appendArc(pts, d.center, d.radius, 0, 2 * kPi);
                pts.pop_back();
                stroke(pts, true, l, ocs());
            },
            [&](const ArcData& d) {
                if (!(d.radius > 0)) return;
                std::vector<Vec3> pts;
                appendArc(pts, d.center, d.radius, d.startAngle, d.endAngle);
                stroke(pts, false, l, ocs());
            },
            [&](const EllipseData& d) { ellipse(d, e, l, xf); },
            [&](const SplineData& d) {
                std::vector<Vec3> pts;
                if (!d.controlPoints.empty()) pts = nurbsPoints(d.degree, d.knots, d.controlPoints, d.weights);
                else if (d.flags & 1) pts = curveThrough(d.fitPoints, true);
                else pts = fitCurve(d.fitPoints, d.startTangent, d.endTangent);
                stroke(pts, false, l, xf);
            },
            [&](const LwPolylineData& d) {
                std::vector<WideVertex> v;
                for (const LwVertex& lv : d.vertices) {
                    const bool own = lv.startWidth > 0 || lv.endWidth > 0;
                    v.push_back({{lv.point.x, lv.point.y, d.elevation}, own ? lv.startWidth : d.constantWidth,
                                 own ? lv.endWidth : d.constantWidth, lv.bulge});
                }
                widePolyline(v, d.closed, l, ocs());
            },
            [&](const PolylineData& d) { polyline(d, l, xf, ocs()); },
            [&](const TextData& d) { textEntity(e, d, l, ctx, ocs()); },
            [&](const MTextData& d) { mtext(e, d, l, xf); },
            [&](const DimensionData& d) { dimension(e, d, l, ctx); },
            [&](const TableData& d) { table(e, d, l, ctx); },
            [&](const LeaderData& d) { leader(d, l, xf); },
            [&](const HatchData& d) { hatch(d, l, ocs()); },
            [&](const SolidData& d) {
                const std::vector<Vec3> quad{d.corners[0], d.corners[1], d.corners[3], d.corners[2]};
                if (drawing_.header.fillMode) fill({quad}, l.color, ocs());
                else stroke(quad, true, l, ocs());
            },
            [&](const Face3DData& d) {
                for (int i = 0; i < 4; ++i)
                    if (!(d.invisibleEdges & (1 << i))) stroke({d.corners[i], d.corners[(i + 1) % 4]}, false, l, xf);
            },
            [&](const PointData& d) { point(d, l, xf); },
            [&](const RayData& d) { ray(e, d, l, xf); },
            [&](const MLineData& d) { mline(d, l, xf); },
            [&](const ImageData& d) {
                if (e.type == "IMAGE" || e.type == "WIPEOUT") image(e, d, l, xf);
                else underlay(e, d, l, ocs());
            },
            [&](const ToleranceData& d) { tolerance(d, l, xf); },
            [&](const MLeaderData& d) { mleader(e, d, l, ctx); },
            [&](const ShapeData& d) { shape(d, l, ocs()); },
            [&](const ProxyEntityData& d) { wireframe(entitiesOfProxyGraphics(d.graphics, drawing_), e, l, ctx); },
            [&](const BodyData& d) { wireframe(entitiesOfBody(d, drawing_.header.isolines), e, l, ctx); },
            [&](const MeshData& d) { wireframe(entitiesOfMesh(d), e, l, ctx); },
            // Viewports show nothing in model space; placeholders (lights,
            // unknown classes without graphics) have nothing to draw.
            [](const ViewportData&) {},
            [](const PlaceholderData&) {},
        },
        e.data);
}

void Builder::wireframe(std::vector<Entity> parts, const Entity& owner, const Look& l, const Context& ctx) {
    if (parts.empty()) return;
    Block b;
    b.entities = std::move(parts);
    blockAt(b, owner, Xform{}, l, ctx);
}

void Builder::point(const PointData& d, const Look& l, const Xform& xf) {
    PointMarker m;
    m.position = xf.apply2(d.position);
    m.mode = drawing_.header.pdMode;
    m.size = drawing_.header.pdSize > 0 ? drawing_.header.pdSize * xf.planScale() : drawing_.header.pdSize;
    m.color = l.color;
    m.lineweightMm = l.lineweightMm;
    if (std::isfinite(m.position.x) && std::isfinite(m.position.y)) scene_.add(m);
}

void Builder::ray(const Entity& e, const RayData& d, const Look& l, const Xform& xf) {
    InfiniteLine line;
    line.base = xf.apply2(d.base);
    const Vec3 dir = xf.applyDir(d.direction);
    line.direction = {dir.x, dir.y};
    line.bothWays = e.type == "XLINE";
    line.color = l.color;
    line.lineweightMm = l.lineweightMm;
    line.dashes = dashes(l, xf);
    if (std::hypot(dir.x, dir.y) > 1e-12 && std::isfinite(line.base.x) && std::isfinite(line.base.y))
        scene_.add(std::move(line));
}

void Builder::ellipse(const EllipseData& d, const Entity& e, const Look& l, const Xform& xf) {
    Vec3 n = e.common.extrusion;
    const double nl = length(n);
    n = nl > 1e-12 ? n * (1.0 / nl) : Vec3{0, 0, 1};
    const double ratio = d.ratio > 0 && d.ratio <= 1 ? d.ratio : 1.0;
    const Vec3 minor = cross(n, d.majorAxis) * ratio;
    std::vector<Vec3> pts;
    appendEllipse(pts, d.center, d.majorAxis, minor, d.startParam, d.endParam);
    const bool full = std::fabs(std::fabs(d.endParam - d.startParam) - 2 * kPi) < 1e-9;
    if (full && pts.size() > 2) pts.pop_back();
    stroke(pts, full, l, xf);
}

void Builder::polyline(const PolylineData& d, const Look& l, const Xform& xf, const Xform& ocs) {
    switch (d.kind) {
    case PolylineData::Kind::Polyline2D: {
        std::vector<WideVertex> v;
        for (const PolylineVertex& pv : d.vertices) {
            if (pv.flags & 16) continue;  // the frame of a spline-fit polyline
            const bool own = pv.startWidth > 0 || pv.endWidth > 0;
            v.push_back({{pv.point.x, pv.point.y, d.elevation}, own ? pv.startWidth : d.startWidth,
                         own ? pv.endWidth : d.endWidth, pv.bulge});
        }
        widePolyline(v, d.closed(), l, ocs);
        break;
    }
    case PolylineData::Kind::Polyline3D: {
        std::vector<Vec3> pts;
        for (const PolylineVertex& pv : d.vertices)
            if (!(pv.flags & 16)) pts.push_back(pv.point);
        stroke(pts, d.closed(), l, xf);
        break;
    }
    case PolylineData::Kind::PolyfaceMesh: {
        std::vector<Vec3> positions;
        for (const PolylineVertex& pv : d.vertices)
            if ((pv.flags & 64) || !(pv.flags & 128)) positions.push_back(pv.point);
        for (const PolylineVertex& pv : d.vertices) {
            if ((pv.flags & 128) == 0 || (pv.flags & 64)) continue;
            int count = 0;
            while (count < 4 && pv.faceIndices[count] != 0) ++count;
            for (int i = 0; i < count; ++i) {
                const int a = pv.faceIndices[i], b = pv.faceIndices[(i + 1) % count];
                if (a <= 0) continue;  // a negative index hides the edge that starts there
                // Widened first: the index may be any int, INT_MIN included.
                const auto ia = static_cast<std::size_t>(a - 1);
                const auto ib = static_cast<std::size_t>(std::llabs(static_cast<long long>(b)) - 1);
                if (ia < positions.size() && ib < positions.size()) stroke({positions[ia], positions[ib]}, false, l, xf);
            }
        }
        break;
    }
    case PolylineData::Kind::PolygonMesh: {
        const int m = d.meshM, n = d.meshN;
        if (m <= 0 || n <= 0 || static_cast<std::size_t>(m) * static_cast<std::size_t>(n) > d.vertices.size()) {
            std::vector<Vec3> pts;
            for (const auto& pv : d.vertices) pts.push_back(pv.point);
            stroke(pts, false, l, xf);
            break;
        }
        auto at = [&](int i, int j) { return d.vertices[static_cast<std::size_t>(i * n + j)].point; };
        for (int i = 0; i < m; ++i) {
            std::vector<Vec3> row;
            for (int j = 0; j < n; ++j) row.push_back(at(i, j));
            stroke(row, d.flags & 32, l, xf);
        }
        for (int j = 0; j < n; ++j) {
            std::vector<Vec3> col;
            for (int i = 0; i < m; ++i) col.push_back(at(i, j));
            stroke(col, d.flags & 1, l, xf);
        }
        break;
    }
    }
}

void Builder::textEntity(const Entity& e, const TextData& d, const Look& l, const Context& ctx, const Xform& ocs) {
    const bool attdef = e.type == "ATTDEF";
    // Inside a block a definition shows only when it is constant (no
    // attribute of the insert carries its value); outside, as its tag.
    const bool constant = attdef && (d.attributeFlags & 2);
    if (attdef && ctx.inBlock && !constant) return;
    if ((e.type == "ATTRIB" || attdef) && (d.attributeFlags & 1)) return;
    const std::string& raw = attdef && !(ctx.inBlock && constant) ? d.tag : d.value;
    const TextFormat f = baseFormat(d.style, d.height, d.widthFactor, d.oblique);
    if (d.multiline && &raw == &d.value) {
        mtextAt(raw, f, std::isfinite(d.linesWidth) ? std::max(d.linesWidth, 0.0) : 0, std::clamp(d.linesAttachment, 1, 9),
                d.lineSpacingFactor, d.linesAt, {std::cos(d.rotation), std::sin(d.rotation), 0}, {0, 0, 1}, l.color, ocs,
                {}, nullptr);
        return;
    }
    // Text the view cannot show is not shaped. Aligned and fitted text
    // scale with their points and have no bound here.
    if (d.horizontalAlign != 3 && d.horizontalAlign != 5) {
        const double h = f.height, reach = (static_cast<double>(raw.size()) + 2) * h * 4 * std::max(1.0, f.widthFactor) + 6 * h;
        Box box;
        // Text aligned other than left on the baseline hangs from its second point.
        const bool second = d.horizontalAlign != 0 || d.verticalAlign != 0;
        for (Vec3 anchor : {d.insertion, second ? d.alignment : d.insertion})
            for (double sx : {-1.0, 1.0})
                for (double sy : {-1.0, 1.0}) box.add(ocs.apply2(Vec3{anchor.x + sx * reach, anchor.y + sy * reach, d.insertion.z}));
        if (outsideView(box)) {
            ++scene_.work.culled;
            return;
        }
    }
    const std::string shown = withinGlyphs(raw);
    if (shown.empty()) return;
    text(layoutText(d, shown, f), ocs, d.insertion.z, l.color, l.lineweightMm);
}

Xform Builder::textPlane(Vec3 insertion, Vec3 xAxis, Vec3 normal) {
    const double nl = length(normal);
    normal = nl > 1e-12 ? normal * (1.0 / nl) : Vec3{0, 0, 1};
    // The direction may come with a component along the normal; keep it in the plane.
    xAxis = xAxis - normal * dot(xAxis, normal);
    double xl = length(xAxis);
    if (!(xl > 1e-12)) {
        xAxis = ocsToWcs(normal).applyDir({1, 0, 0});
        xl = 1;
    }
    xAxis = xAxis * (1.0 / xl);
    return Xform::translate(insertion) * Xform::axes(xAxis, cross(normal, xAxis), normal);
}

void Builder::mtextAt(const std::string& raw, const TextFormat& f, double width, int attachment, double spacing,
                      Vec3 insertion, Vec3 xAxis, Vec3 normal, const PaintColor& color, const Xform& xf,
                      const MTextColumns& columns, Box* extent) {
    const Xform plane = xf * textPlane(insertion, xAxis, normal);
    // Text the view cannot show is not shaped. Without codes that change
    // the height or the width of letters, every character (a tab is four)
    // takes at most four heights across and one line down.
    if (raw.find("\\H") == std::string::npos && raw.find("\\W") == std::string::npos &&
        raw.find("\\T") == std::string::npos) {
        const double h = std::fabs(f.height), n = static_cast<double>(raw.size()) + 2;
        const double lineStep = h * 5.0 / 3.0 * (spacing > 0 && std::isfinite(spacing) ? spacing : 1.0);
        double across = n * h * 16 * std::max(1.0, std::fabs(f.widthFactor)) + (std::isfinite(width) ? std::fabs(width) : 0);
        if (columns.count > 1) across += columns.count * (std::fabs(columns.width) + std::fabs(columns.gutter));
        const double reach = across + n * lineStep + 2 * h;
        Box box;
        for (double sx : {-1.0, 1.0})
            for (double sy : {-1.0, 1.0}) box.add(plane.apply2(Vec3{sx * reach, sy * reach, 0}));
        if (std::isfinite(reach) && outsideView(box)) {
            ++scene_.work.culled;
            return;
        }
    }
    const LaidOut& laid = laidOutMText(withinGlyphs(raw), f, width, attachment, spacing, columns);
    for (const PlacedText& part : laid.parts) text({part.path, part.strokes}, plane, 0, part.color.value_or(color));
    if (extent) *extent = laid.extent;
}

namespace {

template <class T>
void appendBytes(std::string& key, const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    key.append(reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

const Builder::LaidOut& Builder::laidOutMText(const std::string& text, const TextFormat& f, double width,
                                              int attachment, double spacing, const MTextColumns& columns) {
    std::string key;
    key.reserve(text.size() + 160 + columns.heights.size() * sizeof(double));
    for (double v : {f.height, f.widthFactor, f.oblique, f.tracking, f.raise, f.stackOf, width, spacing, columns.width,
                     columns.gutter, columns.height})
        appendBytes(key, v);
    for (bool b : {f.underline, f.overline, f.strike, f.mono, f.underPrevious, f.vertical, f.color.has_value()})
        appendBytes(key, b);
    if (f.color) {
        appendBytes(key, f.color->rgb);
        appendBytes(key, f.color->foreground);
    }
    appendBytes(key, f.verticalAlign);
    appendBytes(key, f.font.get());
    appendBytes(key, f.folder.get());
    appendBytes(key, attachment);
    appendBytes(key, columns.count);
    appendBytes(key, columns.heights.size());
    for (double h : columns.heights) appendBytes(key, h);
    key += text;
    auto known = laidOut_.find(key);
    if (known == laidOut_.end()) {
        LaidOut laid{f.font, f.folder, {}, {}};
        laid.parts = layoutMText(text, f, width, attachment, spacing, columns, &laid.extent);
        known = laidOut_.emplace(std::move(key), std::move(laid)).first;
    }
    return known->second;
}

void Builder::mtext(const Entity& e, const MTextData& d, const Look& l, const Xform& xf) {
    const TextFormat f = baseFormat(d.style, d.height, 1, 0);
    MTextColumns columns;
    if (d.columnType > 0 && d.columnCount > 1 && d.columnWidth > 0) {
        columns.count = d.columnCount;
        columns.width = d.columnWidth;
        columns.gutter = d.columnGutter;
        // Static columns and dynamic ones of set heights stop where their heights say;
        // dynamic columns of the text's own height where the text's frame ends.
        if (!d.columnAutoHeight) columns.heights = d.columnHeights;
        columns.height = d.rectHeight;
    }
    mtextAt(d.text, f, d.rectWidth, d.attachment, d.lineSpacingFactor, d.insertion, d.xAxis, e.common.extrusion,
            l.color, xf, columns);
}

void Builder::blockAt(const Block& block, const Entity& owner, const Xform& placement, const Look& l, const Context& ctx) {
    if (ctx.depth >= kMaxDepth) ++cutShort_;
    if (ctx.depth >= kMaxDepth || layerFrozen(owner, ctx)) return;
    Context child = childContext(owner, l, ctx);
    drawBlock(block, child, ctx.xf * placement);
}

void Builder::drawBlock(const Block& block, Context& child, const Xform& xf) {
    if (std::find(active_.begin(), active_.end(), &block) != active_.end()) {
        ++cutShort_;
        return;
    }
    if (!instanceRoom()) return;
    child.xf = xf;
    active_.push_back(&block);
    for (const Entity& inner : block.entities) entity(inner, child);
    active_.pop_back();
}

void Builder::insert(const Entity& e, const InsertData& d, const Look& l, const Context& ctx) {
    if (ctx.depth >= kMaxDepth) ++cutShort_;
    if (ctx.depth >= kMaxDepth || layerFrozen(e, ctx)) return;
    const Block* block = drawing_.findBlock(d.blockName);
    // A reference whose block the reader could not bring in (a damaged
    // block record, or one the file never had) shows nothing: say so.
    if (!block)
        scene_.losses.add(Loss::Kind::Damaged, "block reference",
                          d.blockName.empty() ? std::string("block reference naming no block left out")
                                              : "block reference to " + d.blockName + ", which is not defined, left out");
    // A block that draws nothing is not expanded, however often it is placed.
    if (block && !blank(*block)) {
        const Xform base = ocsToWcs(e.common.extrusion) * Xform::translate(d.insertion) * Xform::rotateZ(d.rotation);
        const Xform local = Xform::scale(d.scale) * Xform::translate(block->base * -1.0);
        const long columns = std::max(1, d.columns), rows = std::max(1, d.rows);
        // Every cell of an array shares the block, its layer and its ByBlock
        // properties. A larger array than the instance budget is drawn as far
        // as it goes, row by row.
        Context child = childContext(e, l, ctx);
        for (long r = 0; r < rows; ++r)
            for (long c = 0; c < columns; ++c) {
                if (scene_.work.instances >= options_.budgets.instances) {
                    instanceRoom();  // names the budget
                    r = rows;
                    break;
                }
                const Xform cell = Xform::translate({static_cast<double>(c) * d.columnSpacing,
                                                     static_cast<double>(r) * d.rowSpacing, 0});
                place(*block, child, ctx.xf * (base * cell * local));
            }
    }
    // Attributes sit in the insert's own space, but take ByBlock from it.
    if (!d.attributes.empty() && l.visible) {
        Context attrCtx = childContext(e, l, ctx);
        attrCtx.inBlock = ctx.inBlock;
        attrCtx.insertLayer = ctx.insertLayer;
        for (const Entity& a : d.attributes) entity(a, attrCtx);
    }
}

void Builder::mline(const MLineData& d, const Look& l, const Xform& xf) {
    if (d.vertices.size() < 2) return;
    std::size_t elements = 0;
    for (const auto& v : d.vertices) elements = std::max(elements, v.parameters.size());
    if (elements == 0) elements = d.elementOffsets.size();
    for (std::size_t k = 0; k < elements; ++k) {
        std::vector<Vec3> pts;
        for (const auto& v : d.vertices) {
            double offset = 0;
            if (k < v.parameters.size() && !v.parameters[k].empty()) offset = v.parameters[k][0];
            else if (k < d.elementOffsets.size()) offset = d.elementOffsets[k] * d.scale;
            pts.push_back(v.position + v.miter * offset);
        }
        Look el = l;
        if (k < d.elementColors.size()) {
            const Color& c = d.elementColors[k];
            if (c.kind == Color::Kind::Index || c.kind == Color::Kind::True) el.color = colorOf(c);
        }
        stroke(pts, d.flags & 2, el, xf);
    }
}

void Builder::image(const Entity& e, const ImageData& d, const Look& l, const Xform& xf) {
    // Clip points are in pixels of the picture, the first row at the top.
    auto world = [&](Vec2 p) {
        return d.insertion + d.uVector * (p.x + 0.5) + d.vVector * (d.size.y - (p.y + 0.5));
    };
    // An image whose clipping is off shows whole, whatever boundary it
    // keeps; a wipeout is always its boundary.
    const bool clipped = d.clipping || e.type == "WIPEOUT";
    std::vector<Vec3> outline;
    if (!clipped) {
        outline = {world({-0.5, -0.5}), world({d.size.x - 0.5, -0.5}), world({d.size.x - 0.5, d.size.y - 0.5}),
                   world({-0.5, d.size.y - 0.5})};
    } else if (d.clip.size() >= 3) {
        for (const Vec2& p : d.clip) outline.push_back(world(p));
    } else {
        Vec2 a{-0.5, -0.5}, b{d.size.x - 0.5, d.size.y - 0.5};
        if (d.clip.size() == 2) { a = d.clip[0]; b = d.clip[1]; }
        outline = {world({a.x, a.y}), world({b.x, a.y}), world({b.x, b.y}), world({a.x, b.y})};
    }
    // A wipeout masks what lies below and shows its frame, as it does by default.
    if (e.type == "WIPEOUT") fill({outline}, l.color, xf, true);
    else picture(d, l, xf, clipped ? outline : std::vector<Vec3>{});
    stroke(outline, true, l, xf, false);
}

// A shape from the shape file of its style, or of the first shape-file
// style that has it: pen strokes at its size, width factor and slant.
void Builder::shape(const ShapeData& d, const Look& l, const Xform& ocs) {
    std::vector<const TextStyle*> candidates;
    const TextStyle* own = drawing_.findTextStyle(d.style);
    if (own && (own->flags & 1)) candidates.push_back(own);
    for (const TextStyle& s : drawing_.textStyles)
        if ((s.flags & 1) && !s.fontFile.empty()) candidates.push_back(&s);
    for (const TextStyle* style : candidates) {
        const auto file = shapeFile(style->fontFile, *folder_);
        if (!file) continue;
        std::optional<std::uint32_t> number;
        if (!d.name.empty()) number = file->shapeNumber(d.name);
        else if (d.number > 0 && file->has(static_cast<std::uint32_t>(d.number))) number = static_cast<std::uint32_t>(d.number);
        if (!number) continue;
        const auto glyph = file->glyph(*number);
        if (!glyph) return;
        // Shapes of a text font come scaled to the font's height; plain shapes count in their own units.
        const double size = d.size > 0 && std::isfinite(d.size) ? d.size : 1.0;
        const double wf = d.widthFactor > 0 && std::isfinite(d.widthFactor) ? d.widthFactor : 1.0;
        const double shear = std::isfinite(d.oblique) ? std::tan(std::clamp(d.oblique, -1.4, 1.4)) : 0.0;
        const Xform place = ocs * Xform::translate(d.insertion) * Xform::rotateZ(std::isfinite(d.rotation) ? d.rotation : 0);
        for (const auto& s : glyph->strokes) {
            std::vector<Vec3> pts;
            for (const Vec2& p : s) pts.push_back({(p.x * wf + p.y * shear) * size, p.y * size, 0});
            stroke(pts, false, l, place, false);
        }
        return;
    }
    shapeNotFound(d.name.empty() ? std::to_string(d.number) : d.name, own && (own->flags & 1) ? own : nullptr);
}

}  // namespace cad::render::frontend
