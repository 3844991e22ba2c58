// How long turning each example drawing and each large drawing into a
// picture takes (2048 pixels along the long side, the default), from the
// model to the finished QImage.
// Reading is not timed. Drawings the readers refuse are reported, not timed.
#include "cad/render/QtPictureDecoder.h"
#include <benchmark/benchmark.h>

#include <vector>

#include "cad/DrawingFile.h"
#include "cad/render/Render.h"
#include "example_drawings.h"

namespace {

void renderDrawing(benchmark::State& state, const std::string& path) {
    cad::Drawing drawing;
    try {
        drawing = cad::readDrawingFile(path);
    } catch (const cad::ReadError& e) {
        state.SkipWithError(e.what());
        return;
    }
    for (auto _ : state) {
        QImage picture = cad::render::renderDrawing(drawing);
        benchmark::DoNotOptimize(picture.constBits());
    }
}

}  // namespace

int main(int argc, char** argv) {
    cad::render::installPictureDecoder(cad::render::qtPictureDecoder());
    if (!cad::render::ensureGuiApplication()) return 1;
    auto files = exampleDrawings();
    for (const auto& path : largeDrawings()) files.push_back(path);
    for (const auto& path : files)
        benchmark::RegisterBenchmark(("Render/" + path.filename().string()).c_str(),
                                     [p = path.string()](benchmark::State& s) { renderDrawing(s, p); })
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
