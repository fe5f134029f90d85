#pragma once

// Bit-for-bit comparison of simulation states: equal values are not enough where a rounding
// may differ (a -0 for a 0, a NaN).

#include "model/modpar.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace brownian::test {

/// The bit patterns of all four arrays, x, y, vx, vy of particle 0 first.
std::vector<std::uint32_t> stateBits(const ModPar &state);

bool sameBits(float a, float b);

/// FNV-1a over stateBits: one number that changes with any bit of the four arrays.
std::uint64_t stateChecksum(const ModPar &state);

/// Whether two states hold the same five settings and bit-for-bit the same four arrays;
/// otherwise names the first difference.
::testing::AssertionResult sameState(const ModPar &a, const ModPar &b);

} // namespace brownian::test
