#include "CountingAllocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

// Each block carries the size asked for in a header of its own, so what is
// counted is what the program asked for, the same with any malloc.
namespace {

std::atomic<std::size_t> held{0}, peak{0};
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* take(std::size_t size) {
    void* p = std::malloc(size + kHeader);
    if (!p) throw std::bad_alloc();
    *static_cast<std::size_t*>(p) = size;
    const std::size_t now = held += size;
    std::size_t top = peak.load();
    while (now > top && !peak.compare_exchange_weak(top, now)) {
    }
    return static_cast<char*>(p) + kHeader;
}

void give(void* p) noexcept {
    if (!p) return;
    void* base = static_cast<char*>(p) - kHeader;
    held -= *static_cast<std::size_t*>(base);
    std::free(base);
}

}  // namespace

namespace lumicade::testing {

std::size_t heldBytes() { return held.load(); }
std::size_t peakBytes() { return peak.load(); }
void resetPeak() { peak = held.load(); }

}  // namespace lumicade::testing

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) { return take(size); }
void* operator new[](std::size_t size) { return take(size); }
void operator delete(void* p) noexcept { give(p); }
void operator delete[](void* p) noexcept { give(p); }
void operator delete(void* p, std::size_t) noexcept { give(p); }
void operator delete[](void* p, std::size_t) noexcept { give(p); }
