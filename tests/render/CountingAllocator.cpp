#include "tests/render/CountingAllocator.h"

#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>

namespace {

std::atomic<std::size_t> held{0}, peak{0};

void* take(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    const std::size_t now = held += malloc_usable_size(p);
    std::size_t top = peak.load();
    while (now > top && !peak.compare_exchange_weak(top, now)) {
    }
    return p;
}

void give(void* p) noexcept {
    if (!p) return;
    held -= malloc_usable_size(p);
    std::free(p);
}

}  // namespace

namespace lumicade::testing {

std::size_t heldBytes() { return held.load(); }
std::size_t peakBytes() { return peak.load(); }
void resetPeak() { peak = held.load(); }

}  // namespace lumicade::testing

void* operator new(std::size_t size) { return take(size); }
void* operator new[](std::size_t size) { return take(size); }
void operator delete(void* p) noexcept { give(p); }
void operator delete[](void* p) noexcept { give(p); }
void operator delete(void* p, std::size_t) noexcept { give(p); }
void operator delete[](void* p, std::size_t) noexcept { give(p); }
