// Simulations as objects of their own: two side by side on threads of one process, the state
// of a large run pinned on one thread and on four, and workers that start and stop cleanly.
#include "model/modpar.h"
#include "sim/simulation.h"
#include "support/state_builder.h"
#include "support/state_compare.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

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
    simulation.subStep(true, path);
    EXPECT_TRUE(brownian::test::sameState(simulation.state(), reference.state()));
}

} // namespace
