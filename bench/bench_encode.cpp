// How long encoding each example drawing's picture as JPEG takes, at the
// default quality 85, with full-resolution colour (what we write) and with
// the 4:2:0 subsampling of photographs for comparison; bytes per picture are
// reported as counters.
#include "cad/render/QtPictureDecoder.h"
#include <benchmark/benchmark.h>

#include <vector>

#include "cad/DrawingFile.h"
#include "cad/render/Render.h"
#include "example_drawings.h"
#include "convert/JpegFile.h"

namespace {

void encodePicture(benchmark::State& state, const std::string& path, lumicade::ChromaSubsampling subsampling) {
    QImage picture;
    try {
        picture = cad::render::renderDrawing(cad::readDrawingFile(path));
    } catch (const cad::ReadError& e) {
        state.SkipWithError(e.what());
        return;
    }
    std::vector<unsigned char> bytes;
    for (auto _ : state) {
        if (lumicade::encodeJpeg(picture, 85, bytes, subsampling) != lumicade::JpegStatus::Ok) {
            state.SkipWithError("the encoder failed");
            return;
        }
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["jpeg_bytes"] = static_cast<double>(bytes.size());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(picture.sizeInBytes()));
}

}  // namespace

int main(int argc, char** argv) {
    cad::render::installPictureDecoder(cad::render::qtPictureDecoder());
    if (!cad::render::ensureGuiApplication()) return 1;
    auto files = exampleDrawings();
    for (const auto& path : largeDrawings()) files.push_back(path);
    for (const auto& path : files) {
        const std::string name = path.filename().string();
        benchmark::RegisterBenchmark(("Encode444/" + name).c_str(), [p = path.string()](benchmark::State& s) {
            encodePicture(s, p, lumicade::ChromaSubsampling::Full444);
        })->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Encode420/" + name).c_str(), [p = path.string()](benchmark::State& s) {
            encodePicture(s, p, lumicade::ChromaSubsampling::Quarter420);
        })->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
