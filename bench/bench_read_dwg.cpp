// How long reading each example drawing takes, per DWG version, and the
// drawings of the releases before R13.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cad/dwg/DwgReader.h"

namespace {

std::vector<std::uint8_t> load(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    std::uint8_t buffer[1 << 16];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    return bytes;
}

void readFile(benchmark::State& state, const std::string& path) {
    std::vector<std::uint8_t> bytes = load(path);
    if (bytes.empty()) {
        state.SkipWithError("drawing not found");
        return;
    }
    std::size_t entities = 0;
    for (auto _ : state) {
        try {
            cad::Drawing d = cad::dwg::readDwg(bytes);
            entities = d.modelSpace() ? d.modelSpace()->entities.size() : 0;
            benchmark::DoNotOptimize(entities);
        } catch (const cad::ReadError& e) {
            state.SkipWithError(e.what());
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
    state.counters["entities"] = static_cast<double>(entities);
}

void readExample(benchmark::State& state, const std::string& name) {
    readFile(state, std::string(LUMICADE_DRAWINGS_DIR) + "/" + name);
}

// The releases before R13 keep a different file layout altogether.
void readLegacy(benchmark::State& state, const std::string& name) {
    readFile(state, std::string(LUMICADE_LEGACY_DRAWINGS_DIR) + "/" + name);
}

// A drawing of tens of thousands of entities in dynamic blocks.
void readLarge(benchmark::State& state, const std::string& name) {
    readFile(state, std::string(LUMICADE_LARGE_DRAWINGS_DIR) + "/" + name);
}

}  // namespace

BENCHMARK_CAPTURE(readLegacy, r1_4, std::string("r1.4/entities.dwg"))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(readLegacy, r2_10, std::string("r2.10/block.dwg"))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(readLegacy, r2_6, std::string("r2.6/entities.dwg"))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(readLegacy, r10, std::string("r10/tmp_line.dwg"))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(readLegacy, r11_2d, std::string("r11/entities-2d.dwg"))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(readLegacy, r11_3d, std::string("r11/entities-3d.dwg"))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(readLegacy, r11_office, std::string("r11/ACEB10.dwg"))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(readExample, r13, std::string("example_r13.dwg"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readExample, r14, std::string("example_r14.dwg"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readExample, r2000, std::string("example_2000.dwg"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readExample, r2004, std::string("example_2004.dwg"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readExample, r2007, std::string("example_2007.dwg"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readExample, r2010, std::string("example_2010.dwg"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readExample, r2013, std::string("example_2013.dwg"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readExample, r2018, std::string("example_2018.dwg"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readLarge, dynblocks_2018, std::string("Dynblocks_2018.dwg"))->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
