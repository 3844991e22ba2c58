#pragma once
// Small drawings built in the tests, and ways to look at their pictures.
#include <QImage>
#include <QRect>
#include <string>
#include <utility>

#include "cad/model/Drawing.h"
#include "cad/render/Render.h"

namespace cad::render::testing {

// A drawing with layer "0" and an empty model space.
inline Drawing emptyDrawing() {
    Drawing d;
    Layer zero;
    zero.name = "0";
    d.layers.push_back(zero);
    Block model;
    model.name = "*Model_Space";
    d.blocks.push_back(model);
    d.index();
    return d;
}

template <class T>
Entity entity(const std::string& type, T data, Color color = Color::byLayer(), const std::string& layer = "0") {
    Entity e;
    e.type = type;
    e.common.layer = layer;
    e.common.color = color;
    e.data = std::move(data);
    return e;
}

inline Entity line(Vec3 a, Vec3 b, Color color = Color::byLayer(), const std::string& layer = "0") {
    return entity("LINE", LineData{a, b}, color, layer);
}

inline void add(Drawing& d, Entity e) { d.findBlock("*Model_Space")->entities.push_back(std::move(e)); }

// A square frame 0..size that fixes the extents of the picture.
inline void addFrame(Drawing& d, double size, Color color = Color::fromIndex(8)) {
    add(d, line({0, 0, 0}, {size, 0, 0}, color));
    add(d, line({size, 0, 0}, {size, size, 0}, color));
    add(d, line({size, size, 0}, {0, size, 0}, color));
    add(d, line({0, size, 0}, {0, 0, 0}, color));
}

// Pictures of a size x size frame at one pixel per unit: drawing (x, y) is pixel (x, size - y).
inline RenderOptions onePixelPerUnit(int size) {
    RenderOptions o;
    o.longSide = size;
    o.margin = 0;
    o.antialias = false;
    return o;
}

inline bool isDark(QRgb c) { return qGray(c) < 100; }
inline bool isBackground(QRgb c, QRgb background = qRgb(255, 255, 255)) {
    return std::abs(qRed(c) - qRed(background)) < 8 && std::abs(qGreen(c) - qGreen(background)) < 8 &&
           std::abs(qBlue(c) - qBlue(background)) < 8;
}

// How many pixels in the rectangle differ from the background.
inline int inkIn(const QImage& image, const QRect& r, QRgb background = qRgb(255, 255, 255)) {
    int n = 0;
    for (int y = std::max(0, r.top()); y <= std::min(image.height() - 1, r.bottom()); ++y)
        for (int x = std::max(0, r.left()); x <= std::min(image.width() - 1, r.right()); ++x)
            if (!isBackground(image.pixel(x, y), background)) ++n;
    return n;
}

}  // namespace cad::render::testing
