// How long painting a built scene takes at 2048 pixels along the long side:
// with Qt's painter (the Qt backend) and with the painter of our own, on the
// example drawings and the large drawings. The scene is built once, outside
// the timing; texts and pictures, which only the Qt backend paints, are left
// out of both. Each picture is allocated and filled with its background
// inside the timing, in both.
#include <benchmark/benchmark.h>

#include <QPainterPath>
#include <algorithm>
#include <memory>
#include <vector>

#include "cad/DrawingFile.h"
#include "cad/render/Backend.h"
#include "cad/render/Frontend.h"
#include "cad/render/RasterScene.h"
#include "example_drawings.h"

namespace {

struct Prepared {
    cad::render::Scene scene;
    cad::render::RenderOptions options;
    cad::render::ViewTransform view;
    cad::render::ClipOutlines clips;
    std::string error;
};

std::shared_ptr<Prepared> prepare(const std::string& path) {
    auto p = std::make_shared<Prepared>();
    cad::Drawing drawing;
    try {
        drawing = cad::readDrawingFile(path);
    } catch (const cad::ReadError& e) {
        p->error = e.what();
        return p;
    }
    p->options.lineweights = drawing.header.lwDisplay;
    p->scene = cad::render::buildScene(drawing, p->options);
    // Texts of TrueType faces and raster pictures are Qt's alone.
    std::erase_if(p->scene.order, [&](const cad::render::Item& item) {
        return (item.kind == cad::render::Item::Kind::Text && !p->scene.texts[item.index].path.isEmpty()) ||
               item.kind == cad::render::Item::Kind::Raster;
    });
    cad::render::Box box = p->scene.extents();
    if (box.empty())
        for (const auto& line : p->scene.infinite) box.add(line.base);
    p->view = cad::render::fitView(box, p->options);
    p->clips = cad::render::clipOutlines(p->scene);
    return p;
}

void paintWithQt(benchmark::State& state, const std::shared_ptr<Prepared>& p) {
    if (!p->error.empty()) {
        state.SkipWithError(p->error.c_str());
        return;
    }
    for (auto _ : state) {
        QImage picture = cad::render::paintScene(p->scene, p->view, p->options);
        benchmark::DoNotOptimize(picture.constBits());
    }
}

void paintWithOurs(benchmark::State& state, const std::shared_ptr<Prepared>& p) {
    if (!p->error.empty()) {
        state.SkipWithError(p->error.c_str());
        return;
    }
    cad::render::PaintOptions options;
    options.longSide = p->options.longSide;
    options.lineweights = p->options.lineweights;
    for (auto _ : state) {
        cad::render::Canvas canvas(p->view.width, p->view.height, options.background);
        cad::render::paintScene(canvas, p->scene, p->clips, p->view, options);
        benchmark::DoNotOptimize(canvas.row(0));
    }
}

}  // namespace

int main(int argc, char** argv) {
    auto files = exampleDrawings();
    for (const auto& path : largeDrawings()) files.push_back(path);
    for (const auto& path : files) {
        const auto prepared = prepare(path.string());
        const std::string name = path.filename().string();
        benchmark::RegisterBenchmark(("PaintQt/" + name).c_str(),
                                     [prepared](benchmark::State& s) { paintWithQt(s, prepared); })
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("PaintOwn/" + name).c_str(),
                                     [prepared](benchmark::State& s) { paintWithOurs(s, prepared); })
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
