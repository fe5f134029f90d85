#pragma once

#include <cstdint>

namespace brownian {

/// The program's uniform random source: a PCG32 generator (O'Neill's XSH-RR variant) that
/// starts from the same fixed state in every run, so that every run places the particles alike.
class RandomSource
{
public:
    RandomSource() { reset(); }

    /// Back to the fixed initial state of every run.
    void reset();
    /// A start state derived from `seed` (used by the lab tool's --seed).
    void seed(std::uint64_t seed);

    /// Uniform Single in [0, 1): the top 24 bits of a 32-bit draw, so never 1.0.
    float nextSingle() { return static_cast<float>(next32() >> 8) * 0x1p-24f; }
    std::uint32_t next32();

    /// Number of draws made since the last reset or seed.
    std::uint64_t drawCount() const { return m_draws; }

private:
    std::uint64_t m_state = 0;
    std::uint64_t m_draws = 0;
};

} // namespace brownian
