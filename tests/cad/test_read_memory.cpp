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

namespace {
std::atomic<std::size_t> gLiveBytes{0}, gPeakBytes{0};
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* countedAlloc(std::size_t n) {
    void* p = std::malloc(n + kHeader);
    if (!p) throw std::bad_alloc();
    *static_cast<std::size_t*>(p) = n;
    std::size_t live = gLiveBytes += n;
    std::size_t peak = gPeakBytes.load();
    while (live > peak && !gPeakBytes.compare_exchange_weak(peak, live)) {
    }
    return static_cast<char*>(p) + kHeader;
}
void countedFree(void* p) noexcept {
    if (!p) return;
    void* base = static_cast<char*>(p) - kHeader;
    gLiveBytes -= *static_cast<std::size_t*>(base);
    std::free(base);
}
}  // namespace

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t n) { return countedAlloc(n); }
void* operator new[](std::size_t n) { return countedAlloc(n); }
void operator delete(void* p) noexcept { countedFree(p); }
void operator delete[](void* p) noexcept { countedFree(p); }
void operator delete(void* p, std::size_t) noexcept { countedFree(p); }
void operator delete[](void* p, std::size_t) noexcept { countedFree(p); }

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMiB = 1u << 20;

// The most bytes held at once while f ran, beyond what was held before.
template <class F>
std::size_t peakOf(F&& f) {
    const std::size_t before = gLiveBytes.load();
    gPeakBytes = before;
    f();
    return gPeakBytes.load() - before;
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
