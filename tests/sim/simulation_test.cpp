// Simulations as objects of their own: two side by side on threads of one process, the state
// of a large run pinned on one thread and on four, workers that start and stop cleanly, and the
// collision record of the pressure.
#include "model/modpar.h"
#include "sim/simulation.h"
#include "support/state_builder.h"
#include "support/state_compare.h"

#include <cmath>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <tuple>

using brownian::CollisionRecord;
using brownian::ModPar;
using brownian::NullCanvas;
using brownian::Simulation;

namespace {

ModPar placed(int numSide, int size, bool unbounded, std::uint64_t seed)
{
    return brownian::test::StateBuilder()
        .unbounded(unbounded)
        .numSide(numSide)
        .size(size)
        .seed(seed)
        .placed();
}

void runTicks(Simulation &simulation, int ticks)
{
    NullCanvas path, frame;
    for (int t = 0; t < ticks; ++t)
        simulation.tick(path, frame);
}

/// Two simulations stepped at the same time on two threads of the process, each sharing its
/// grid passes with helpers of its own, give exactly the bits each gives alone.
TEST(Simulation, TwoSideBySideGiveTheBitsEachGivesAlone)
{
    const ModPar starts[2] = { placed(46, 40, false, 1), placed(50, 40, true, 2) };
    std::uint64_t alone[2];
    for (int k = 0; k < 2; ++k) {
        Simulation simulation(starts[k], 2);
        runTicks(simulation, 20);
        alone[k] = brownian::test::stateChecksum(simulation.state());
    }
    Simulation first(starts[0], 2), second(starts[1], 2);
    {
        std::jthread a([&] { runTicks(first, 20); });
        std::jthread b([&] { runTicks(second, 20); });
    }
    EXPECT_EQ(brownian::test::stateChecksum(first.state()), alone[0]);
    EXPECT_EQ(brownian::test::stateChecksum(second.state()), alone[1]);
    EXPECT_NE(alone[0], alone[1]);
}

/// A large run that the grid passes share between threads: 2 116 particles for 300 ticks at
/// speed 3 from the program's placement, the same state on one thread and on four. The
/// constants were recorded by running this code; they change only when the arithmetic of a
/// step or of the placement changes.
TEST(Simulation, LargeRunChecksumOnOneAndFourThreads)
{
    struct Case
    {
        bool unbounded;
        std::uint64_t checksum;
    };
    for (const Case c :
        { Case { false, 0x44832fbc10349699ull }, Case { true, 0xe53c2e714654afdcull } }) {
        for (const int threads : { 1, 4 }) {
            Simulation simulation(placed(46, 40, c.unbounded, 7), threads);
            runTicks(simulation, 300);
            EXPECT_EQ(brownian::test::stateChecksum(simulation.state()), c.checksum)
                << (c.unbounded ? "unbounded, " : "bounded, ") << threads << " threads, "
                << std::hex << brownian::test::stateChecksum(simulation.state());
        }
    }
}

/// Workers started by a shared pass and stopped at once, many times over, and a thread count
/// out of range refused with the simulation left as it was.
TEST(Simulation, WorkersStartAndStopCleanly)
{
    const ModPar start = placed(46, 40, true, 3);
    Simulation reference(start, 1);
    NullCanvas path;
    reference.subStep(true, path);
    for (int k = 0; k < 40; ++k) {
        Simulation simulation(start, 2 + k % 7);
        simulation.subStep(true, path);
        ASSERT_TRUE(brownian::test::sameState(simulation.state(), reference.state())) << k;
    }
    Simulation simulation(start, 3);
    for (const int threads : { 0, -1, 257 })
        EXPECT_THROW(simulation.setThreads(threads), std::invalid_argument) << threads;
    EXPECT_EQ(simulation.threads(), 3);
    simulation.setThreads(256);
    EXPECT_EQ(simulation.threads(), 256);
    simulation.subStep(true, path);
    EXPECT_TRUE(brownian::test::sameState(simulation.state(), reference.state()));
}

} // namespace

/// Recording changes no bit of the motion, and gives the same virial on either pair pass and
/// any thread count. In the box, where the pair pass moves nothing, the virial equals
/// Σ_i r_i · ΔP_i over the pair pass and the walls' momentum the outward momentum the particles
/// lost in the wall pass, both worked out here from the states before and after each sub-step
/// (the record takes each particle's terms in Single: those of a colliding pair, some 2500
/// twips from the middle, cancel but for their r_ij · Δp, leaving roundings of a few millionths).
TEST(Simulation, CollisionRecordChangesNothingAndAgreesEverywhere)
{
    for (const bool unbounded : { false, true }) {
        const ModPar start = placed(46, 40, unbounded, 5);
        Simulation plain(start, 1);
        runTicks(plain, 10);
        std::optional<double> virial;
        for (const auto pass : { brownian::PairPass::All, brownian::PairPass::Grid }) {
            for (const int threads : { 1, 3 }) {
                Simulation simulation(start, threads, pass);
                CollisionRecord record;
                simulation.setCollisionRecord(&record);
                runTicks(simulation, 10);
                EXPECT_TRUE(brownian::test::sameState(simulation.state(), plain.state()));
                EXPECT_EQ(record.subSteps, 30);
                EXPECT_EQ(record.virial, virial.value_or(record.virial)) << threads;
                virial = record.virial;
            }
        }
        EXPECT_GT(*virial, 0.0) << "the collisions push apart";
    }
    // 2025 particles: chunks of 126 and 127, each with a few beyond the eights the box's sums
    // take together.
    Simulation simulation(placed(45, 40, false, 5), 2);
    NullCanvas path;
    for (int k = 0; k < 40; ++k) {
        const ModPar before = simulation.state();
        CollisionRecord record;
        simulation.setCollisionRecord(&record);
        simulation.subStep(false, path);
        const ModPar &after = simulation.state();
        double virial = 0, wall = 0;
        for (int i = 0; i < before.ParX.size(); ++i) {
            for (const auto &[c, v0, v1] :
                { std::tuple { before.ParX[i], before.ParVX[i], after.ParVX[i] },
                    std::tuple { before.ParY[i], before.ParVY[i], after.ParVY[i] } }) {
                const double r = c - 2500.0, walled = std::fabs(r) < 2480.0 ? v0 : -v0;
                virial += r * (v1 - walled);
                wall += (v0 - walled) * (r > 0 ? 1.0 : -1.0);
            }
        }
        ASSERT_NEAR(record.virial, virial, 1e-5 * (1 + std::fabs(virial))) << k;
        ASSERT_DOUBLE_EQ(record.wallMomentum, wall) << k;
    }
}

/// A pair collided across the seams counts with its nearest-image separation, also on the axis
/// that CollideWrap shifts one coordinate of only (its line of centres then runs across the
/// field): particle 1 is 70 twips right of particle 0 across the x seam and 70 below it.
TEST(Simulation, CollisionRecordTakesTheNearestImageAcrossTheSeams)
{
    for (const auto pass : { brownian::PairPass::All, brownian::PairPass::Grid }) {
        ModPar s =
            brownian::test::StateBuilder().unbounded().numSide(3).size(100).locus(0).parked();
        brownian::test::put(s, 0, { 5450, -450, 3, -2 });
        brownian::test::put(s, 1, { -480, -380, -1, 4 });
        Simulation simulation(s, 1, pass);
        CollisionRecord record;
        simulation.setCollisionRecord(&record);
        NullCanvas path;
        simulation.subStep(true, path);
        const auto p = brownian::test::get(simulation.state(), 0);
        EXPECT_GT(p.vy, 3.0f);
        EXPECT_NEAR(record.virial, -70.0 * (p.vx - 3.0) - 70.0 * (p.vy + 2.0), 1e-4);
    }
}
