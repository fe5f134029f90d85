#include "random_source.h"

namespace brownian {

namespace {
constexpr std::uint64_t kMultiplier = 6364136223846793005ULL;
constexpr std::uint64_t kIncrement = 1442695040888963407ULL;
constexpr std::uint64_t kFixedState = 0x853c49e6748fea9bULL;
} // namespace

void RandomSource::reset()
{
    m_state = kFixedState;
    m_draws = 0;
}

void RandomSource::seed(std::uint64_t seed)
{
    // The usual PCG seeding: one step from zero, add the seed, one more step.
    m_state = 0;
    next32();
    m_state += seed;
    next32();
    m_draws = 0;
}

std::uint32_t RandomSource::next32()
{
    const std::uint64_t old = m_state;
    m_state = old * kMultiplier + kIncrement;
    const auto xorshifted = static_cast<std::uint32_t>(((old >> 18u) ^ old) >> 27u);
    const auto rot = static_cast<std::uint32_t>(old >> 59u);
    ++m_draws;
    return (xorshifted >> rot) | (xorshifted << ((32u - rot) & 31u));
}

} // namespace brownian
