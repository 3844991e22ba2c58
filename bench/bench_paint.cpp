// How long painting a built scene takes at 2048 pixels along the long side:
// with the painter of our own, and with Qt's painter as PDF and SVG documents
// get it, on the example drawings and the large drawings. The scene is built
// once, outside the timing. Each picture is allocated and filled with its
// background inside the timing, in both.
#include "cad/render/QtPictureDecoder.h"
#include <benchmark/benchmark.h>

#include <QPainter>
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
    cad::render::PixelView view;
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
    cad::render::Box box = p->scene.extents();
    if (box.empty())
        for (const auto& line : p->scene.infinite) box.add(line.base);
    p->view = cad::render::fitView(box, p->options);
    return p;
}

void paintWithQt(benchmark::State& state, const std::shared_ptr<Prepared>& p) {
    if (!p->error.empty()) {
        state.SkipWithError(p->error.c_str());
        return;
    }
    // Qt's painter as documents get it, here on a picture.
    for (auto _ : state) {
        QImage picture(p->view.width, p->view.height, QImage::Format_RGB32);
        picture.fill(p->options.background);
        QPainter painter(&picture);
        cad::render::paintSceneOn(painter, p->scene, p->view, p->options);
        painter.end();
        benchmark::DoNotOptimize(picture.constBits());
    }
}

void paintWithOurs(benchmark::State& state, const std::shared_ptr<Prepared>& p) {
    if (!p->error.empty()) {
        state.SkipWithError(p->error.c_str());
        return;
    }
    for (auto _ : state) {
        cad::render::Canvas canvas(p->view.width, p->view.height, p->options.background);
        cad::render::paintScene(canvas, p->scene, p->view, p->options);
        benchmark::DoNotOptimize(canvas.row(0));
    }
}

}  // namespace

int main(int argc, char** argv) {
    cad::render::installPictureDecoder(cad::render::qtPictureDecoder());
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
