// The memory a read takes: the most bytes held at once while a drawing is
// read, counted by replacing the allocation functions, stays within a fixed
// multiple of the file's size.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>

#include "DxfTestFiles.h"
#include "cad/DrawingFile.h"

#include "CountingAllocator.h"

using lumicade::testing::heldBytes;
using lumicade::testing::peakBytes;
using lumicade::testing::resetPeak;

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMiB = 1u << 20;

// The most bytes held at once while f ran, beyond what was held before.
template <class F>
std::size_t peakOf(F&& f) {
    const std::size_t before = heldBytes();
    resetPeak();
    f();
    return peakBytes() - before;
}

std::size_t peakReading(const fs::path& path) {
    return peakOf([&] {
        try {
            cad::Drawing d = cad::readDrawingFile(path.string());
            (void)d;
        } catch (const cad::ReadError&) {
        }
    });
}

}  // namespace

TEST(ReadMemory, EmptyRecordsCostAFixedMultipleOfTheirBytes) {
    // The shortest entity a DXF file can hold is "0\nLINE\n": seven bytes
    // that become a whole entity. A million of them may take the size of a
    // million entities and of the groups they were read from, no more: no
    // list held twice while it grows.
    std::string lines;
    lines.reserve(7 * 1000000);
    for (int i = 0; i < 1000000; ++i) lines += "0\nLINE\n";
    const std::string text = dxftest::dxfWithEntities(lines);
    lines = {};
    std::size_t entities = 0;
    const std::size_t peak = peakOf([&] {
        cad::Drawing d = cad::dxf::readDxf(std::string_view(text));
        entities = d.modelSpace()->entities.size();
    });
    EXPECT_EQ(entities, 1000000u);
    EXPECT_LE(peak, 36 * text.size()) << peak / kMiB << " MiB for " << text.size() / kMiB << " MiB of file";
}

TEST(ReadMemory, TheLargeDrawingNeedsLittleMoreThanItsModel) {
    const fs::path path = fs::path(LUMICADE_LARGE_DRAWINGS_DIR) / "Dynblocks_2018.dwg";
    if (!fs::exists(path)) GTEST_SKIP() << path << " is missing";
    const std::size_t size = fs::file_size(path);
    const std::size_t peak = peakReading(path);
    EXPECT_LE(peak, 3 * size + 20 * kMiB) << peak / kMiB << " MiB for " << size / kMiB << " MiB of file";
}

TEST(ReadMemory, EverySharedDrawingStaysWithinThreeTimesItsSizeAndSomeMore) {
    std::size_t files = 0;
    for (const char* folder : {LUMICADE_DRAWINGS_DIR, LUMICADE_LEGACY_DRAWINGS_DIR}) {
        if (!fs::is_directory(folder)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            std::string ext = entry.path().extension().string();
            for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (ext != ".dwg" && ext != ".dxf") continue;
            ++files;
            const std::size_t size = entry.file_size();
            EXPECT_LE(peakReading(entry.path()), 3 * size + 20 * kMiB) << entry.path();
        }
    }
    if (files == 0) GTEST_SKIP() << "no shared drawings";
}
