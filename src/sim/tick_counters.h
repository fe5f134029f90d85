#pragma once

#include <cstdint>

namespace brownian {

/// What a tick did, for the lab tool's statistics and benchmarks.
struct TickCounters
{
    /// Calls of CollidePar and CollideWrap.
    std::uint64_t contacts = 0;
    /// Pair tests made (N·(N-1)/2 per sub-step).
    std::uint64_t pairTests = 0;
};

} // namespace brownian
