// Damaged DWG files: every sample cut short at many points and with random
// bytes changed must give either a drawing or a clean cad::ReadError. No
// crash, no hang, and no allocation out of proportion to the file.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "cad/dwg/DwgContainers.h"
#include "cad/dwg/DwgReader.h"
#include "cad/dwg/DwgSections.h"

namespace {

std::atomic<std::size_t> largestAllocation{0};
std::atomic<bool> watching{false};

void noteAllocation(std::size_t n) {
    if (!watching.load(std::memory_order_relaxed)) return;
    std::size_t seen = largestAllocation.load(std::memory_order_relaxed);
    while (n > seen && !largestAllocation.compare_exchange_weak(seen, n)) {}
}

}  // namespace

// These replace the global allocation functions as a pair over malloc/free,
// which gcc cannot see across the inlined test fixtures.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

// Every allocation of this test program passes here so the test can see the
// largest single request the reader makes.
void* operator new(std::size_t n) {
    noteAllocation(n);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace fs = std::filesystem;

namespace {

const fs::path kDrawings = LUMICADE_DRAWINGS_DIR;
const fs::path kLegacyDrawings = LUMICADE_LEGACY_DRAWINGS_DIR;
const fs::path kSampleDrawings = LUMICADE_SAMPLE_DRAWINGS_DIR;

std::vector<std::uint8_t> load(const fs::path& path) {
    std::vector<std::uint8_t> bytes(fs::file_size(path));
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return {};
    std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    bytes.resize(got);
    return bytes;
}

std::vector<fs::path> allDwgs() {
    std::vector<fs::path> out;
    for (const fs::path& folder : {kDrawings, kLegacyDrawings, kSampleDrawings})
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (entry.path().extension() == ".dwg") out.push_back(entry.path());
    std::sort(out.begin(), out.end());
    return out;
}

// Reads damaged bytes; returns false when something other than a clean
// ReadError came out.
::testing::AssertionResult readsOrRefuses(const std::vector<std::uint8_t>& bytes, std::size_t originalSize) {
    largestAllocation = 0;
    watching = true;
    try {
        cad::Drawing d = cad::dwg::readDwg(bytes);
        if (!d.modelSpace()) {
            watching = false;
            return ::testing::AssertionFailure() << "a drawing without model space";
        }
    } catch (const cad::ReadError&) {
    } catch (const std::exception& e) {
        watching = false;
        return ::testing::AssertionFailure() << "unexpected exception: " << e.what();
    }
    watching = false;
    // The reader copies the file a few times over (sections, decompressed
    // pages); anything far beyond that came from a count it trusted.
    std::size_t bound = 64 * originalSize + (16u << 20);
    if (largestAllocation > bound)
        return ::testing::AssertionFailure() << "allocated " << largestAllocation << " bytes at once";
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST(DwgHostile, TruncatedFilesGiveADrawingOrAReadError)
{
    ASSERT_GE(allDwgs().size(), 100u);  // every version's samples
    for (const fs::path& path : allDwgs()) {
        std::vector<std::uint8_t> bytes = load(path);
        ASSERT_FALSE(bytes.empty()) << path;
        for (int k = 0; k < 64; ++k) {
            std::size_t cut = bytes.size() * static_cast<std::size_t>(k) / 64;
            std::vector<std::uint8_t> part(bytes.begin(), bytes.begin() + static_cast<long>(cut));
            EXPECT_TRUE(readsOrRefuses(part, bytes.size())) << path << " cut at " << cut;
        }
    }
}

TEST(DwgHostile, FlippedBytesGiveADrawingOrAReadError)
{
    std::mt19937 random(20261207);
    for (const fs::path& path : allDwgs()) {
        std::vector<std::uint8_t> bytes = load(path);
        ASSERT_FALSE(bytes.empty()) << path;
        for (int round = 0; round < 6; ++round) {
            std::vector<std::uint8_t> damaged = bytes;
            std::uniform_int_distribution<std::size_t> where(6, damaged.size() - 1);
            int flips = 1 << round;  // from a single byte to a heavily damaged file
            for (int i = 0; i < flips; ++i) damaged[where(random)] ^= static_cast<std::uint8_t>(1 + random() % 255);
            EXPECT_TRUE(readsOrRefuses(damaged, bytes.size())) << path << " round " << round;
        }
    }
}

// The object decoders on their own: the sections of the older drawings are
// kept whole while the objects they point into are cut short or damaged, so
// every decoder meets an object that ends early or holds nonsense.
TEST(DwgHostile, DamagedObjectsAreSkippedOrRefused)
{
    std::mt19937 random(4242);
    int drawings = 0;
    for (const fs::path& path : allDwgs()) {
        std::vector<std::uint8_t> bytes = load(path);
        cad::dwg::DwgSections sections;
        try {
            sections = cad::dwg::readSectionsR13(bytes);
        } catch (const cad::ReadError&) {
            continue;  // a later version
        }
        ++drawings;
        for (int k = 1; k < 64; k += 3) {
            cad::dwg::DwgSections cut = sections;
            cut.objects.resize(sections.objects.size() * static_cast<std::size_t>(k) / 64);
            largestAllocation = 0;
            watching = true;
            try {
                cad::dwg::decodeSections(cut);
            } catch (const cad::ReadError&) {
            }
            watching = false;
            EXPECT_LE(largestAllocation, 64 * bytes.size() + (16u << 20)) << path << " cut " << k;
        }
        for (int round = 0; round < 8; ++round) {
            cad::dwg::DwgSections damaged = sections;
            std::uniform_int_distribution<std::size_t> where(0, damaged.objects.size() - 1);
            for (int i = 0; i < 32; ++i) damaged.objects[where(random)] ^= static_cast<std::uint8_t>(1u << (random() % 8));
            try {
                cad::Drawing d = cad::dwg::decodeSections(damaged);
                EXPECT_NE(d.modelSpace(), nullptr) << path << " round " << round;
            } catch (const cad::ReadError&) {
            }
        }
    }
    EXPECT_GE(drawings, 21);
}
