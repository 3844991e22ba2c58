// How long reading each example drawing takes, from the file to the model.
// One benchmark per drawing beside the project: DXF and DWG alike, so the
// two readers can be set side by side. Drawings a reader refuses are
// reported as errors, not timed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "cad/DrawingFile.h"

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
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(LUMICADE_DRAWINGS_DIR)) {
        auto ext = entry.path().extension();
        if (ext == ".dxf" || ext == ".dwg") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& path : files)
        benchmark::RegisterBenchmark(("Read/" + path.filename().string()).c_str(),
                                     [p = path.string()](benchmark::State& s) { readDrawing(s, p); })
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
