// A sheet as offices draw them: model space with a reference to the
// example drawing, and a layout of three viewports onto it at different
// scales, one turned. Timed: opening it with its reference, and rendering
// model space and the layout (2048 pixels, the default).
#include "cad/render/QtPictureDecoder.h"
#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <algorithm>
#include <memory>

#include "DxfWriter.h"
#include "cad/DrawingFile.h"
#include "cad/render/Frontend.h"
#include "cad/render/Render.h"

namespace {

using namespace dxfwriter;

QTemporaryDir* folder() {
    static QTemporaryDir dir;
    return &dir;
}

// The sheet's viewports look at what the referenced drawing draws: the
// whole of it, a part of it enlarged, and the same part turned.
QString sheetDrawing() {
    static const QString path = [] {
        const std::string reference = std::string(LUMICADE_DRAWINGS_DIR) + "/example_2018.dwg";
        cad::render::RenderOptions model;
        model.layout = "Model";
        const cad::render::Box box = cad::render::buildScene(cad::openDrawing(reference), model).extents();
        const double cx = (box.minX + box.maxX) / 2, cy = (box.minY + box.maxY) / 2;
        const double span = std::max(box.width(), box.height());
        File f;
        f.tileMode(false);
        f.layer("0", 7, "10");
        f.block("BASE", "", 4, reference);
        f.entities += insert("BASE", 0, 0);
        f.entities += viewport(sheet(420, 297));
        Viewport a;
        a.cx = 150, a.cy = 160, a.width = 260, a.height = 240, a.viewX = cx, a.viewY = cy, a.viewHeight = span, a.id = 2;
        Viewport b = a;
        b.cx = 350, b.cy = 220, b.width = 120, b.height = 100, b.viewHeight = span / 4, b.id = 3;
        Viewport c = b;
        c.cy = 90, c.twistDeg = 30, c.id = 4;
        f.entities += viewport(a) + viewport(b) + viewport(c);
        f.entities += polygon({{5, 5}, {415, 5}, {415, 292}, {5, 292}}, on(7, "0", true));
        const QString p = folder()->filePath(QStringLiteral("sheet.dxf"));
        f.save(p);
        return p;
    }();
    return path;
}

void openWithReference(benchmark::State& state) {
    for (auto _ : state) {
        cad::Drawing d = cad::openDrawing(sheetDrawing().toStdString());
        benchmark::DoNotOptimize(d.blocks.data());
    }
}

void render(benchmark::State& state, const std::string& layout) {
    const cad::Drawing drawing = cad::openDrawing(sheetDrawing().toStdString());
    if (!drawing.referenceProblems.empty()) {
        state.SkipWithError(drawing.referenceProblems.front().c_str());
        return;
    }
    cad::render::RenderOptions options;
    options.layout = layout;
    for (auto _ : state) {
        QImage picture = cad::render::renderDrawing(drawing, options);
        benchmark::DoNotOptimize(picture.constBits());
    }
}

}  // namespace

int main(int argc, char** argv) {
    cad::render::installPictureDecoder(cad::render::qtPictureDecoder());
    if (!cad::render::ensureGuiApplication()) return 1;
    benchmark::RegisterBenchmark("Layouts/OpenWithReference", openWithReference)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Layouts/RenderModel", [](benchmark::State& s) { render(s, "Model"); })
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Layouts/RenderLayoutThreeViewports", [](benchmark::State& s) { render(s, ""); })
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
