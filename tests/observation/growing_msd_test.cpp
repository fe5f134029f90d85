// The MSD accumulator that grows its levels, against one told the run's length up front.
#include "analysis/analysis.h"

#include <gtest/gtest.h>
#include <random>

namespace {

using brownian::MsdAccumulator;

/// A random walk with a drift, so that the drift removal matters too.
std::vector<std::vector<double>> walk(int particles, int samples)
{
    std::mt19937_64 random(11);
    std::normal_distribution<double> step(0.0, 3.0);
    std::vector<std::vector<double>> rows(static_cast<std::size_t>(samples));
    std::vector<double> at(2 * static_cast<std::size_t>(particles), 0.0);
    for (auto &row : rows) {
        for (std::size_t c = 0; c < at.size(); ++c)
            at[c] += step(random) + 0.5;
        row = at;
    }
    return rows;
}

void feed(MsdAccumulator &msd, const std::vector<double> &row, int particles)
{
    msd.add(row.data(), row.data() + particles);
}

TEST(GrowingMsd, EqualsTheFixedRunAtEveryLength)
{
    constexpr int kParticles = 3;
    const auto rows = walk(kParticles, 5000);
    for (const bool drift : { false, true }) {
        MsdAccumulator growing(kParticles, drift);
        std::size_t fed = 0;
        // Lengths around the points where a level is added or a lag first comes in reach.
        for (const int subSteps : { 0, 1, 2, 3, 15, 16, 17, 28, 29, 31, 32, 33, 63, 64, 65, 255,
                 256, 257, 1000, 2047, 2048, 4999 }) {
            while (fed < static_cast<std::size_t>(subSteps) + 1)
                feed(growing, rows[fed++], kParticles);
            MsdAccumulator fixed(kParticles, subSteps, drift);
            for (int k = 0; k <= subSteps; ++k)
                feed(fixed, rows[static_cast<std::size_t>(k)], kParticles);
            const auto want = fixed.result();
            const auto got = growing.result();
            ASSERT_EQ(got.size(), want.size()) << subSteps << " sub-steps, drift " << drift;
            for (std::size_t q = 0; q < want.size(); ++q) {
                EXPECT_EQ(got[q].lag, want[q].lag) << subSteps;
                EXPECT_EQ(got[q].msd, want[q].msd) << subSteps << " lag " << want[q].lag;
            }
            EXPECT_EQ(growing.samples(), subSteps + 1);
        }
    }
}

} // namespace
