#include "cad/model/MemoryBudget.h"

namespace cad {

namespace {
thread_local MemoryBudget* currentBudget = nullptr;
}

MemoryBudget* MemoryBudget::current() { return currentBudget; }

MemoryScope::MemoryScope(std::size_t limit) {
    if (!currentBudget) currentBudget = &own_.emplace(limit);
    budget_ = currentBudget;
}

MemoryScope::~MemoryScope() {
    if (own_) currentBudget = nullptr;
}

bool chargeMemory(std::size_t bytes) { return !currentBudget || currentBudget->charge(bytes); }

void releaseMemory(std::size_t bytes) {
    if (currentBudget) currentBudget->release(bytes);
}

bool memoryReached() { return currentBudget && currentBudget->reached(); }

}  // namespace cad
