#pragma once
// Counts the bytes the program holds through operator new, so a test can say
// how much memory a piece of work needed at most, whatever the machine.
#include <cstddef>

namespace lumicade::testing {

// Bytes held now through operator new.
std::size_t heldBytes();
// The most held since the last resetPeak().
std::size_t peakBytes();
void resetPeak();

}  // namespace lumicade::testing
