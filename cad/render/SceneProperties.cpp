// Property resolution: layers, ByLayer and ByBlock colours, linetypes and
// lineweights, text styles, and what an insert passes on to its block.
#include "cad/render/SceneBuilder.h"

#include <cmath>

#include "cad/model/CodePageText.h"
#include "cad/render/Palette.h"
#include "cad/render/Plot.h"

namespace cad::render::frontend {

namespace {

// Names compare without regard to case, as the CAD application compares them.
bool sameName(const std::string& name, const char* upper) {
    std::size_t i = 0;
    for (; i < name.size() && upper[i]; ++i) {
        const char c = name[i] >= 'a' && name[i] <= 'z' ? static_cast<char>(name[i] - 'a' + 'A') : name[i];
        if (c != upper[i]) return false;
    }
    return i == name.size() && !upper[i];
}

}  // namespace

const Layer* Builder::findLayer(Name name) const {
    if (lastLayerKnown_ && name == lastLayerName_) return lastLayer_;
    lastLayer_ = drawing_.findLayer(name);
    lastLayerName_ = name;
    lastLayerKnown_ = true;
    return lastLayer_;
}

void Builder::dashesOf(const std::string* linetype, const std::vector<double>** pattern, const Linetype** complex) const {
    if (linetype != lastDashedName_) {
        lastDashedName_ = linetype;
        lastPattern_ = nullptr;
        lastComplex_ = nullptr;
        if (!sameName(*linetype, "CONTINUOUS")) {
            if (const Linetype* type = drawing_.findLinetype(*linetype)) {
                double total = 0;
                for (double d : type->dashes) total += std::fabs(d);
                if (type->dashes.size() >= 2 && total > 0 && std::isfinite(total)) {
                    lastPattern_ = &type->dashes;
                    if (!type->elements.empty()) lastComplex_ = type;
                }
            }
        }
    }
    *pattern = lastPattern_;
    *complex = lastComplex_;
}

const Layer* Builder::effectiveLayer(const EntityCommon& c, const Context& ctx, bool* known) const {
    if (ctx.inBlock && c.layer == layerZero()) {
        *known = ctx.insertLayer != nullptr;
        return ctx.insertLayer;
    }
    const Layer* layer = findLayer(c.layer);
    *known = layer != nullptr;
    return layer;
}

PaintColor Builder::colorOf(const Color& c) {
    if (c.kind == Color::Kind::True) return paintFromRgb(c.rgb);
    return paintFromIndex(c.index);
}

Look Builder::look(const Entity& e, const Context& ctx) const {
    const EntityCommon& c = e.common;
    const LookOf of{c.layer, c.linetype, c.color, c.lineweight, c.linetypeScale, c.invisible, ctx.inBlock,
                    ctx.insertLayer, ctx.byBlockColor, ctx.byBlockLinetype, ctx.byBlockLineweight};
    if (lastLookKnown_ && of == lastLookOf_) return lastLook_;
    lastLook_ = resolvedLook(e, ctx);
    lastLookOf_ = of;
    lastLookKnown_ = true;
    return lastLook_;
}

Look Builder::resolvedLook(const Entity& e, const Context& ctx) const {
    Look l;
    const EntityCommon& c = e.common;
    bool known = false;
    const Layer* layer = effectiveLayer(c, ctx, &known);
    if (layer && (!layer->on || layer->frozen)) l.visible = false;
    if (c.invisible || layerHidden(layer, c)) l.visible = false;

    switch (c.color.kind) {
    case Color::Kind::ByLayer:
        if (layer && layer != lastColorLayer_) {
            lastColorLayer_ = layer;
            lastLayerColor_ = colorOf(layer->color);
        }
        l.color = layer ? lastLayerColor_ : kForeground;
        break;
    case Color::Kind::ByBlock: l.color = ctx.byBlockColor; break;
    case Color::Kind::Index: l.color = paintFromIndex(c.color.index); break;
    case Color::Kind::True: l.color = paintFromRgb(c.color.rgb); break;
    }

    const std::string& own = c.linetype;
    if (&own != lastOwnLinetype_) {
        lastOwnLinetype_ = &own;
        lastOwnKind_ = own.empty() || sameName(own, "BYLAYER") ? OwnLinetype::ByLayer
                       : sameName(own, "BYBLOCK")              ? OwnLinetype::ByBlock
                                                               : OwnLinetype::Named;
    }
    switch (lastOwnKind_) {
    case OwnLinetype::ByLayer: l.linetype = layer ? &layer->linetype : &kContinuous; break;
    case OwnLinetype::ByBlock: l.linetype = ctx.byBlockLinetype; break;
    case OwnLinetype::Named: l.linetype = &own; break;
    }
    dashesOf(l.linetype, &l.pattern, &l.complex);
    const double entityScale = c.linetypeScale > 0 && std::isfinite(c.linetypeScale) ? c.linetypeScale : 1.0;
    l.patternScale = ltScale_ * entityScale;

    int lw = c.lineweight;
    if (lw == LineWeightByLayer) lw = layer ? layer->lineweight : LineWeightDefault;
    else if (lw == LineWeightByBlock) lw = ctx.byBlockLineweight;
    l.lineweightMm = lw >= 0 && lw <= 211 ? lw / 100.0 : 0.25;
    l.drawnColor = l.color;
    l.drawnLineweightMm = l.lineweightMm;
    if (options_.plot) options_.plot->pen(l.color, l.lineweightMm);
    return l;
}

std::vector<double> Builder::dashes(const Look& l, const Xform& xf) const {
    std::vector<double> out;
    if (!l.pattern) return out;
    const double s = l.patternScale * xf.planScale();
    out.reserve(l.pattern->size());
    for (double d : *l.pattern) out.push_back(d * s);
    return out;
}

TextFormat Builder::baseFormat(const std::string& styleName, double height, double widthFactor, double oblique) {
    TextFormat f;
    const TextStyle* style = drawing_.findTextStyle(styleName);
    if (!(height > 0) || !std::isfinite(height))
        height = style && style->fixedHeight > 0 ? style->fixedHeight : drawing_.header.textSize;
    f.height = height > 0 && std::isfinite(height) ? height : 2.5;
    f.widthFactor = widthFactor > 0 && std::isfinite(widthFactor) ? widthFactor : 1.0;
    f.oblique = std::isfinite(oblique) ? oblique : 0.0;
    f.mono = style && (isMonoFont(style->fontFile) || isMonoFont(style->fontFamily));
    f.vertical = style && (style->flags & 4);
    if (style) {
        f.font = styleFont(style->fontFile, style->bigFontFile, style->fontFamily, *folder_,
                           codePageNumber(drawing_.header.codePage));
        f.folder = folder_;
        f.losses = &scene_.losses;
        // A style without a font draws in the application's default one.
        if (f.font)
            noteStandIn(scene_.losses,
                        !style->fontFile.empty()     ? style->fontFile
                        : !style->fontFamily.empty() ? style->fontFamily
                                                     : std::string("txt"),
                        *f.font);
    }
    return f;
}

Context Builder::childContext(const Entity& e, const Look& l, const Context& ctx) const {
    Context child;
    bool known = false;
    child.insertLayer = effectiveLayer(e.common, ctx, &known);
    child.byBlockColor = l.drawnColor;
    child.byBlockLinetype = l.linetype;
    child.byBlockLineweight = static_cast<int>(std::lround(l.drawnLineweightMm * 100));
    child.inBlock = true;
    child.depth = ctx.depth + 1;
    child.xf = ctx.xf;
    return child;
}

bool Builder::layerFrozen(const Entity& e, const Context& ctx) const {
    bool known = false;
    const Layer* layer = effectiveLayer(e.common, ctx, &known);
    return (layer && layer->frozen) || e.common.invisible || layerHidden(layer, e.common);
}

bool Builder::layerHidden(const Layer* layer, const EntityCommon& c) const {
    if (hiddenLayers_.empty()) return false;
    return hiddenLayers_.count(upperName(layer ? layer->name : c.layer.str())) != 0;
}

}  // namespace cad::render::frontend
