#include "model/modpar.h"
#include "sim/simulation.h"
#include "sim/step.h"
#include "support/state_builder.h"
#include "support/state_compare.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>

using brownian::ModPar;
using brownian::NullCanvas;
using brownian::TickCounters;

namespace {

constexpr double kSingleEpsilon = 0x1p-24; // relative rounding error of one Single store

ModPar startPlacement(bool unbounded, int numSide = 5, int size = 400)
{
    return brownian::test::StateBuilder().unbounded(unbounded).numSide(numSide).size(size).placed();
}

/// How far rounding may move a conserved sum after `contacts` collisions. Each collision stores
/// four components rounded to Single, each off by at most 2^-24 of its size, and the projections
/// it starts from are rounded the same way; so one collision moves the pair's momentum by a few
/// 2^-24 of a speed and its energy by a few 2^-24 of itself. These roundings go either way
/// without bias, so over many collisions they add up like a random walk, as the square root of
/// their number. We allow 16 units per collision on that scale: about a hundred times what the
/// runs below show, and still far below the change a wrong formula, a lost term or a scaled
/// velocity would make (a percent within a few collisions).
double roundingAllowance(std::uint64_t contacts)
{
    return 16.0 * kSingleEpsilon * std::sqrt(static_cast<double>(contacts) + 1.0);
}

struct Momentum
{
    double x = 0, y = 0;
};

Momentum momentum(const ModPar &s)
{
    Momentum p;
    for (int i = 0; i < s.ParX.size(); ++i) {
        p.x += s.ParVX.at(i);
        p.y += s.ParVY.at(i);
    }
    return p;
}

/// Watches the path of the tracked particle: the longest segment, and how often the segment's
/// end jumps across the field (the particle wrapped).
class PathWatch final : public brownian::Canvas
{
public:
    void clear() override { }
    void setFillColor(brownian::Rgb) override { }
    void setFillStyle(brownian::FillStyle) override { }
    void circle(float, float, float, brownian::Rgb) override { }
    void rectangle(float, float, float, float, brownian::Rgb) override { }
    void line(float x1, float y1, float x2, float y2, brownian::Rgb) override
    {
        longest = std::max(longest, std::hypot(double(x2) - x1, double(y2) - y1));
        if (segments > 0 && (std::fabs(x2 - m_lastX) > 3000 || std::fabs(y2 - m_lastY) > 3000))
            ++wraps;
        m_lastX = x2;
        m_lastY = y2;
        ++segments;
    }

    double longest = 0;
    int wraps = 0;
    long segments = 0;

private:
    float m_lastX = 0, m_lastY = 0;
};

struct LongRunCase
{
    const char *name;
    int numSide, size, locus, subSteps;
    int minWraps; // of the tracked particle in the torus run, as seen in runs of this code
};

class LongRun : public ::testing::TestWithParam<LongRunCase>
{
};

TEST_P(LongRun, BoundedBoxKeepsTheEnergy)
{
    // Walls only negate components and the move leaves velocities alone, so the sum of the
    // squared speeds changes only by the rounding of the collisions.
    const LongRunCase c = GetParam();
    ModPar s = startPlacement(false, c.numSide, c.size);
    const double e0 = brownian::test::kineticSum(s);
    NullCanvas path;
    TickCounters counters;
    double worst = 0;
    for (int k = 0; k < c.subSteps; ++k) {
        brownian::boundedSubStep(s, path, &counters);
        worst = std::max(worst, std::fabs(brownian::test::kineticSum(s) - e0) / e0);
    }
    ASSERT_GT(counters.contacts, 1000u);
    EXPECT_LE(worst, roundingAllowance(counters.contacts)) << counters.contacts << " contacts";
}

TEST_P(LongRun, TorusKeepsMomentumEnergyAndTheField)
{
    const LongRunCase c = GetParam();
    ModPar s = startPlacement(true, c.numSide, c.size);
    s.LocusNo = c.locus;
    const double e0 = brownian::test::kineticSum(s);
    const Momentum p0 = momentum(s);
    // No single particle can be faster than all the energy allows.
    const double fastest = std::sqrt(e0);
    PathWatch path;
    TickCounters counters;
    double worstE = 0, worstP = 0;
    int outside = 0;
    for (int k = 0; k < c.subSteps; ++k) {
        brownian::unboundedSubStep(s, path, &counters);
        worstE = std::max(worstE, std::fabs(brownian::test::kineticSum(s) - e0) / e0);
        const Momentum p = momentum(s);
        worstP = std::max({ worstP, std::fabs(p.x - p0.x), std::fabs(p.y - p0.y) });
        for (int i = 0; i < s.ParX.size(); ++i) {
            const float x = s.ParX.at(i), y = s.ParY.at(i);
            outside += !(x >= -500.0f && x <= 5500.0f && y >= -500.0f && y <= 5500.0f);
        }
    }
    ASSERT_GT(counters.contacts, 1000u);
    const double allowance = roundingAllowance(counters.contacts);
    EXPECT_LE(worstE, allowance) << counters.contacts << " contacts";
    EXPECT_LE(worstP, allowance * fastest) << counters.contacts << " contacts";
    EXPECT_EQ(outside, 0);
    // Each segment is one sub-step's travel, also in the sub-step in which the tracked particle
    // wraps: none reaches across the field.
    EXPECT_EQ(path.segments, c.subSteps);
    EXPECT_LE(path.longest, fastest * (1 + allowance));
    EXPECT_GE(path.wraps, c.minWraps);
}

INSTANTIATE_TEST_SUITE_P(Table, LongRun,
    ::testing::Values(LongRunCase { "Defaults", 5, 400, 12, 100000, 20 },
        // Nearly packed: a hundred particles of 450, thousands of contacts per tick; too slow
        // a crowd for the tracked particle to reach a seam in this many sub-steps.
        LongRunCase { "Crowded", 10, 450, 55, 10000, 0 }),
    [](const auto &info) { return std::string(info.param.name); });

std::uint64_t thousandTicks(bool unbounded)
{
    brownian::Simulation simulation(startPlacement(unbounded));
    NullCanvas path, frame;
    for (int tick = 0; tick < 1000; ++tick)
        simulation.tick(unbounded, path, frame);
    return brownian::test::stateChecksum(simulation.state());
}

TEST(Determinism, ThousandTicksFromTheStartPlacement)
{
    // The constants were recorded by running this code (the default 25 particles, ParSpeed 3);
    // they change only when the arithmetic of a step or of the placement changes.
    constexpr std::uint64_t kBounded = 0x07720137b0f3f30aull;
    constexpr std::uint64_t kUnbounded = 0x92ef9f3c775e1998ull;
    const std::uint64_t bounded = thousandTicks(false);
    const std::uint64_t unbounded = thousandTicks(true);
    EXPECT_EQ(bounded, thousandTicks(false));
    EXPECT_EQ(unbounded, thousandTicks(true));
    EXPECT_NE(bounded, unbounded);
    EXPECT_EQ(bounded, kBounded) << std::hex << bounded;
    EXPECT_EQ(unbounded, kUnbounded) << std::hex << unbounded;
}

} // namespace
