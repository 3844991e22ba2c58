// Laying out text of growing length: multiline text of short paragraphs
// wrapped in a frame, and a single line. Each should cost about the same per
// character at any length (the reported complexity should be close to N).
//
// And a text-heavy drawing built here: 2,400 lines, 22 multiline texts in
// Arial and 55 dimensions, from the model to the scene, to the picture
// (2048 pixels along its long side) and to its JPEG file: its conversion
// should take no more than twice what the encoding alone takes.
#include <benchmark/benchmark.h>

#include <string>

#include "RenderTestSupport.h"
#include "cad/render/Frontend.h"
#include "cad/render/Render.h"
#include "cad/render/TextLayout.h"
#include "convert/JpegFile.h"

namespace {

std::string lorem(std::size_t characters) {
    std::string s;
    while (s.size() < characters) s += "Lorem ipsum dolor sit amet \\Pconsectetur ";
    s.resize(characters);
    return s;
}

void layOutMText(benchmark::State& state) {
    const std::string text = lorem(static_cast<std::size_t>(state.range(0)));
    cad::render::TextFormat format;
    format.height = 2.5;
    for (auto _ : state) benchmark::DoNotOptimize(cad::render::layoutMText(text, format, 400, 1, 1));
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(layOutMText)->RangeMultiplier(2)->Range(2500, 40000)->Complexity()->Unit(benchmark::kMillisecond);

void layOutText(benchmark::State& state) {
    const std::string text = lorem(static_cast<std::size_t>(state.range(0)));
    cad::render::TextFormat format;
    format.height = 2.5;
    cad::TextData data;
    data.height = 2.5;
    for (auto _ : state) benchmark::DoNotOptimize(cad::render::layoutText(data, text, format));
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(layOutText)->RangeMultiplier(2)->Range(2500, 40000)->Complexity()->Unit(benchmark::kMillisecond);

// A sheet of a building plan's density: a grid of walls, notes set in
// Arial (the metric twin draws them), and dimensions drawn without blocks.
cad::Drawing textHeavyDrawing() {
    using namespace cad;
    using namespace cad::render::testing;
    Drawing d = emptyDrawing();
    TextStyle style;
    style.name = "Standard";
    style.fontFile = "arial.ttf";
    style.fontFamily = "Arial";
    d.textStyles.push_back(style);
    d.header.measurement = 1;
    d.index();
    for (int i = 0; i < 1200; ++i) {
        const double x = (i % 40) * 25, y = (i / 40) * 25;
        add(d, line({x, y, 0}, {x + 20, y, 0}));
        add(d, line({x, y, 0}, {x, y + 20, 0}));
    }
    for (int i = 0; i < 22; ++i) {
        MTextData m;
        m.insertion = {(i % 4) * 250.0, 800.0 - (i / 4) * 60.0, 0};
        m.height = 3.5;
        m.rectWidth = 200;
        m.text = "{\\fArial|b1;Note " + std::to_string(i + 1) + "}\\P" + lorem(400);
        add(d, entity("MTEXT", m));
    }
    for (int i = 0; i < 55; ++i) {
        DimensionData dim;
        const double x = (i % 11) * 90.0, y = -40.0 - (i / 11) * 30.0;
        dim.points[0] = {x, y, 0};
        dim.points[1] = {x + 75, y, 0};
        dim.definitionPoint = {x + 75, y + 12, 0};
        dim.textMidpoint = {x + 37.5, y + 15, 0};
        dim.measurement = 75;
        add(d, entity("DIMENSION", dim));
    }
    return d;
}

void textDrawingScene(benchmark::State& state) {
    const cad::Drawing d = textHeavyDrawing();
    for (auto _ : state) benchmark::DoNotOptimize(cad::render::buildScene(d, {}));
}
BENCHMARK(textDrawingScene)->Unit(benchmark::kMillisecond);

void textDrawingPicture(benchmark::State& state) {
    cad::render::ensureGuiApplication();
    const cad::Drawing d = textHeavyDrawing();
    for (auto _ : state) benchmark::DoNotOptimize(cad::render::renderDrawing(d).constBits());
}
BENCHMARK(textDrawingPicture)->Unit(benchmark::kMillisecond);

void textDrawingEncode(benchmark::State& state) {
    cad::render::ensureGuiApplication();
    const QImage picture = cad::render::renderDrawing(textHeavyDrawing());
    std::vector<unsigned char> bytes;
    for (auto _ : state) {
        if (lumicade::encodeJpeg(picture, 85, bytes) != lumicade::JpegStatus::Ok) state.SkipWithError("the encoder failed");
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(textDrawingEncode)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
