#include "model/modpar.h"
#include "sim/simulation.h"
#include "support/recording_canvas.h"
#include "support/state_builder.h"

#include <gtest/gtest.h>

using brownian::kGreen;
using brownian::kRed;
using brownian::ModPar;
using brownian::Simulation;
using brownian::test::parkedState;
using brownian::test::put;
using brownian::test::RecordingCanvas;

namespace {

struct TickCase
{
    const char *name;
    bool unbounded;
    int speed;
    int locus;
    int size;
};

class Tick : public ::testing::TestWithParam<TickCase>
{
protected:
    // Four particles 1000 apart and clear of the walls, each with its own small velocity.
    static ModPar state(const TickCase &c)
    {
        ModPar s = parkedState(2, c.size);
        s.ParSpeed = c.speed;
        s.LocusNo = c.locus;
        for (int i = 0; i < 4; ++i) {
            s.ParVX.at(i) = 0.25f * float(i + 1);
            s.ParVY.at(i) = -0.5f + 0.125f * float(i);
        }
        return s;
    }
};

TEST_P(Tick, RunsParSpeedSubStepsThenOneFrame)
{
    const TickCase c = GetParam();
    Simulation simulation(state(c));
    ModPar &s = simulation.state();
    const ModPar start = s;
    RecordingCanvas path, frame;
    simulation.tick(c.unbounded, path, frame);

    const int moves = c.speed > 0 ? c.speed : 0;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(s.ParX.at(i), start.ParX.at(i) + float(moves) * start.ParVX.at(i)) << i;
        EXPECT_EQ(s.ParY.at(i), start.ParY.at(i) + float(moves) * start.ParVY.at(i)) << i;
    }

    // One path segment per sub-step, of the tracked particle, joined end to start.
    ASSERT_EQ(path.lines.size(), std::size_t(moves));
    const float vx = start.ParVX.at(c.locus), vy = start.ParVY.at(c.locus);
    for (int k = 0; k < moves; ++k) {
        const auto &l = path.lines[k];
        EXPECT_EQ(l.x2, start.ParX.at(c.locus) + float(k + 1) * vx) << k;
        EXPECT_EQ(l.y2, start.ParY.at(c.locus) + float(k + 1) * vy) << k;
        EXPECT_EQ(l.x1, l.x2 - vx) << k;
        EXPECT_EQ(l.y1, l.y2 - vy) << k;
        EXPECT_EQ(l.color, kRed);
    }

    // The frame: every particle green in index order, then the tracked one red on top, the fill
    // colour set before each disc. The buffer is not cleared here.
    const float radius = float(c.size) / 2.0f;
    ASSERT_EQ(frame.circles.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        const auto &circle = frame.circles[i];
        const int who = i < 4 ? i : c.locus;
        const auto colour = i < 4 ? kGreen : kRed;
        EXPECT_EQ(circle.x, s.ParX.at(who)) << i;
        EXPECT_EQ(circle.y, s.ParY.at(who)) << i;
        EXPECT_EQ(circle.r, radius) << i;
        EXPECT_EQ(circle.outline, colour) << i;
        EXPECT_EQ(circle.fill, colour) << i;
        EXPECT_EQ(circle.fillSetsBefore, 1) << i;
    }
    EXPECT_TRUE(frame.lines.empty());
    EXPECT_EQ(frame.clears, 0);
    EXPECT_TRUE(path.circles.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, Tick,
    ::testing::Values(TickCase { "BoundedSpeed1", false, 1, 0, 400 },
        TickCase { "BoundedSpeed3", false, 3, 0, 400 },
        TickCase { "BoundedSpeed5", false, 5, 0, 400 },
        TickCase { "UnboundedSpeed1", true, 1, 0, 400 },
        TickCase { "UnboundedSpeed5", true, 5, 0, 400 },
        TickCase { "BoundedLastParticleTracked", false, 2, 3, 400 },
        TickCase { "UnboundedLastParticleTracked", true, 2, 3, 400 },
        TickCase { "OddSizeHalfTwipRadius", false, 1, 1, 401 },
        TickCase { "SpeedZeroDrawsTheFrameOnly", false, 0, 2, 400 },
        TickCase { "NegativeSpeedDrawsTheFrameOnly", true, -1, 2, 400 }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(TickSpeed, ReadOnceAtTheStartOfTheTick)
{
    // Changing ParSpeed between ticks takes effect at the next tick, never inside one.
    Simulation simulation(parkedState(1, 400));
    ModPar &s = simulation.state();
    put(s, 0, { 2500, 2500, 1, 0 });
    s.ParSpeed = 5;
    RecordingCanvas path, frame;
    simulation.tick(false, path, frame);
    s.ParSpeed = 2;
    simulation.tick(false, path, frame);
    EXPECT_EQ(s.ParX.at(0), 2507.0f);
    EXPECT_EQ(path.lines.size(), 7u);
    EXPECT_EQ(frame.circles.size(), 4u);
}

TEST(TickFault, TrackedParticleOutsideTheArraysIsASubscriptFault)
{
    ModPar s = parkedState(2, 400);
    s.LocusNo = 4;
    Simulation simulation(s);
    RecordingCanvas path, frame;
    EXPECT_THROW(simulation.tick(false, path, frame), brownian::RuntimeFault);
}

} // namespace
