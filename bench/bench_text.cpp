// Laying out text of growing length: multiline text of short paragraphs
// wrapped in a frame, and a single line. Each should cost about the same per
// character at any length (the reported complexity should be close to N).
#include <benchmark/benchmark.h>

#include <string>

#include "cad/render/Render.h"
#include "cad/render/TextLayout.h"

namespace {

std::string lorem(std::size_t characters) {
    std::string s;
    while (s.size() < characters) s += "Lorem ipsum dolor sit amet \\Pconsectetur ";
    s.resize(characters);
    return s;
}

void layOutMText(benchmark::State& state) {
    cad::render::ensureGuiApplication();
    const std::string text = lorem(static_cast<std::size_t>(state.range(0)));
    cad::render::TextFormat format;
    format.height = 2.5;
    for (auto _ : state) benchmark::DoNotOptimize(cad::render::layoutMText(text, format, 400, 1, 1));
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(layOutMText)->RangeMultiplier(2)->Range(2500, 40000)->Complexity()->Unit(benchmark::kMillisecond);

void layOutText(benchmark::State& state) {
    cad::render::ensureGuiApplication();
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

}  // namespace

BENCHMARK_MAIN();
