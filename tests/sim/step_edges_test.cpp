// Exact edges of the unbounded sub-step, each tried on both axes: a field edge landed on
// exactly, a pair exactly the seam distance apart, a coordinate exactly at the low-band bound
// of the wrap-aware collision.

#include "sim/step.h"
#include "support/recording_canvas.h"
#include "support/state_builder.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace {

using brownian::CollideWrap;
using brownian::test::get;
using brownian::test::Particle;
using brownian::test::put;
using brownian::test::RecordingCanvas;

constexpr float kBelow = -std::numeric_limits<float>::infinity();

struct FieldEdge
{
    const char *name;
    Particle before; // alone in the field; lands on the edge after one move
    float x, y;
};

class FieldEdges : public ::testing::TestWithParam<FieldEdge>
{
};

TEST_P(FieldEdges, LandingExactlyOnAnEdgeStays)
{
    const FieldEdge c = GetParam();
    brownian::ModPar s = brownian::test::parkedState(1, 400);
    put(s, 0, c.before);
    RecordingCanvas path;
    brownian::unboundedSubStep(s, path);
    EXPECT_EQ(s.ParX.at(0), c.x);
    EXPECT_EQ(s.ParY.at(0), c.y);
}

INSTANTIATE_TEST_SUITE_P(Table, FieldEdges,
    // The x edges are in the wrap-pass table of the unbounded step tests.
    ::testing::Values(FieldEdge { "HighY", { 2500, 5499, 0, 1 }, 2500, 5500 },
        FieldEdge { "LowY", { 2500, -499, 0, -1 }, 2500, -500 }),
    [](const auto &info) { return std::string(info.param.name); });

class SeamDistance : public ::testing::TestWithParam<bool>
{
};

TEST_P(SeamDistance, PairExactlyTheSeamDistanceApartTouchesAcrossIt)
{
    // ParSize 400: across the seam the pair is 6000 - 5600 = 400 apart, in contact; the
    // velocity components along the seam axis are exchanged, the others kept.
    const bool alongY = GetParam();
    brownian::ModPar s = brownian::test::parkedState(2, 400);
    const auto place = [&](int i, float across, float along, float vAcross, float vAlong) {
        put(s, i,
            alongY ? Particle { along, across, vAlong, vAcross }
                   : Particle { across, along, vAcross, vAlong });
    };
    place(0, -100, 2500, 1.5f, 0.25f);
    place(1, 5500, 2500, -0.75f, -0.5f);
    place(2, 1000, 1000, 0, 0);
    place(3, 3000, 1000, 0, 0);
    brownian::TickCounters counters;
    RecordingCanvas path;
    brownian::unboundedSubStep(s, path, &counters);
    EXPECT_EQ(counters.contacts, 1u);
    const Particle a = get(s, 0), b = get(s, 1);
    EXPECT_EQ(alongY ? a.vy : a.vx, -0.75f);
    EXPECT_EQ(alongY ? b.vy : b.vx, 1.5f);
    EXPECT_EQ(alongY ? a.vx : a.vy, 0.25f);
    EXPECT_EQ(alongY ? b.vx : b.vy, -0.5f);
}

INSTANTIATE_TEST_SUITE_P(Axes, SeamDistance, ::testing::Values(false, true),
    [](const auto &info) { return std::string(info.param ? "Y" : "X"); });

TEST(SeamDistance, DecidedOnTheDistanceRoundedToSingle)
{
    // Discs of 4000 twips (the lab accepts them): the seam distance is 2000. A pair 1999.99999
    // apart is 2000 once rounded to Single, so it counts as across the seam, where it is
    // 4000.00001 apart and not in contact. Particles 2 and 3 sit on 0 and 1 (coincident pairs
    // are contacts that exchange nothing).
    brownian::ModPar s = brownian::test::parkedState(2, 4000);
    put(s, 0, { 2000, 2500, 1, 0 });
    put(s, 1, { 0.00001f, 2500, 0, 0 });
    put(s, 2, { 2000, 2500, 1, 0 });
    put(s, 3, { 0.00001f, 2500, 0, 0 });
    brownian::TickCounters counters;
    RecordingCanvas path;
    brownian::unboundedSubStep(s, path, &counters);
    EXPECT_EQ(counters.contacts, 2u);
    EXPECT_EQ(s.ParVX.at(0), 1.0f);
    EXPECT_EQ(s.ParVX.at(1), 0.0f);
}

TEST(CollideWrapBand, ShiftsExactlyTheCoordinatesBelowTheBound)
{
    // ParSize 400: the low band is below 400 - 500 = -100. Each of the four coordinates in turn
    // sits exactly on the bound (stays) or one step below it (moves up by 6000); the others
    // sit in the middle of the field.
    const float low = -100.0f, justBelow = std::nextafter(-100.0f, kBelow);
    for (int which = 0; which < 4; ++which) {
        for (const float value : { low, justBelow }) {
            brownian::ModPar s = brownian::test::parkedState(2, 400);
            put(s, 0, { 2000, 2000, 1, 0.5f });
            put(s, 1, { 2100, 2100, -1, -0.5f });
            float *coordinate[] = { &s.ParX.at(0), &s.ParX.at(1), &s.ParY.at(0), &s.ParY.at(1) };
            *coordinate[which] = value;
            CollideWrap(s, 0, 1);
            const float expected = value == low ? low : static_cast<float>(value + 6000.0);
            EXPECT_EQ(*coordinate[which], expected) << "coordinate " << which << " at " << value;
        }
    }
}

} // namespace
