// How long reading each example drawing takes, from the file to the model.
// One benchmark per drawing beside the project: DXF and DWG alike, so the
// two readers can be set side by side. Drawings a reader refuses are
// reported as errors, not timed.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "cad/DrawingFile.h"
#include "example_drawings.h"

namespace {

void readDrawing(benchmark::State& state, const std::string& path) {
    try {
        cad::readDrawingFile(path);
    } catch (const cad::ReadError& e) {
        state.SkipWithError(e.what());
        return;
    }
    const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(path));
    for (auto _ : state) {
        cad::Drawing d = cad::readDrawingFile(path);
        benchmark::DoNotOptimize(d.blocks.data());
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}

}  // namespace

int main(int argc, char** argv) {
    const auto files = exampleDrawings();
    for (const auto& path : files)
        benchmark::RegisterBenchmark(("Read/" + path.filename().string()).c_str(),
                                     [p = path.string()](benchmark::State& s) { readDrawing(s, p); })
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
