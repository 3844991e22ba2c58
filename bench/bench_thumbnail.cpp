// Milliseconds per file-manager thumbnail of each example drawing, from the
// file on disk to the finished picture (writing the PNG is not timed): at
// 128 pixels, where most DWG files' stored previews serve, and at 512,
// where every drawing is drawn.
#include "cad/render/QtPictureDecoder.h"
#include <benchmark/benchmark.h>

#include "cad/render/Render.h"
#include "example_drawings.h"
#include "tools/thumbnail/Thumbnail.h"

namespace {

void thumbnail(benchmark::State& state, const QString& path, int size) {
    for (auto _ : state) {
        const lumicade::Thumbnail t = lumicade::MakeThumbnail(path, size);
        if (t.image.isNull()) {
            state.SkipWithError(t.error.toStdString().c_str());
            return;
        }
        benchmark::DoNotOptimize(t.image.constBits());
        state.SetLabel(t.source == lumicade::Thumbnail::Source::StoredPreview ? "stored preview" : "rendered");
    }
}

}  // namespace

int main(int argc, char** argv) {
    cad::render::installPictureDecoder(cad::render::qtPictureDecoder());
    if (!cad::render::ensureGuiApplication()) return 1;
    for (int size : {128, 512})
        for (const auto& path : exampleDrawings())
            benchmark::RegisterBenchmark(("Thumbnail" + std::to_string(size) + "/" + path.filename().string()).c_str(),
                                         [p = QString::fromStdString(path.string()), size](benchmark::State& s) {
                                             thumbnail(s, p, size);
                                         })
                ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
