#pragma once
// Splitting one list of drawings among N machines without talking between
// them: each path belongs to one part, by a hash of its bytes that is the
// same on every machine, every run and in every order of the list.
#include <cstdint>
#include <string_view>

namespace lumicade::convert {

// FNV-1a, 64 bits: simple, fixed for good, and spreads paths that differ
// in one digit.
std::uint64_t stablePathHash(std::string_view path);

bool inShard(std::string_view path, int index, int count);

}  // namespace lumicade::convert
