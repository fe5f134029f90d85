// The restart rule, the default tracked particle and the applying of settings: the parts of
// the simulation the windows, the lab and the tests share.
#include "sim/restart.h"
#include "sim/settings.h"
#include "support/state_builder.h"
#include "support/state_compare.h"

#include <gtest/gtest.h>

namespace brownian {
namespace {

TEST(Restart, MarginIsBoundModeTimesAThousand)
{
    EXPECT_EQ(restartMargin(0).value(), 0);
    EXPECT_EQ(restartMargin(1).value(), 1000);
}

class RestartModes : public ::testing::TestWithParam<bool>
{
};

TEST_P(RestartModes, PlacesAsInitParWithTheModesMargin)
{
    const bool unbounded = GetParam();
    const test::StateBuilder builder =
        test::StateBuilder().unbounded(unbounded).numSide(7).size(300).seed(3);
    ModPar restarted = builder.build();
    restart(restarted);
    ModPar expected = builder.build();
    InitPar(expected, unbounded ? 1000 : 0);
    EXPECT_TRUE(test::sameState(restarted, expected));
    // The other margin places differently: the comparison above can tell the two apart.
    ModPar other = builder.build();
    InitPar(other, unbounded ? 0 : 1000);
    EXPECT_FALSE(test::sameState(restarted, other));
}

INSTANTIATE_TEST_SUITE_P(Modes, RestartModes, ::testing::Values(false, true),
    [](const auto &info) { return info.param ? "Unbounded" : "Bounded"; });

TEST(CentreParticle, CentreOfEachGrid)
{
    // Odd n: the middle particle; even n: the upper-left of the four central ones.
    const int expected[] = { 0, 0, 0, 4, 5, 12, 14, 24, 27, 40, 44 };
    for (int n = 1; n <= 10; ++n)
        EXPECT_EQ(centreParticle(n).value(), expected[n]) << n;
    EXPECT_EQ(centreParticle(180).value(), 16109);
    EXPECT_EQ(centreParticle(181).value(), 16380);
}

TEST(ApplySettings, WritesTheFourAndRedimensionsKeepingModeAndRandomSource)
{
    ModPar s = test::StateBuilder().unbounded().placed();
    ModPar fresh = test::StateBuilder().unbounded().placed();
    applySettings(s, { 3, 250, 5, 7 });
    EXPECT_EQ(s.NumSide.value(), 3);
    EXPECT_EQ(s.ParSize.value(), 250);
    EXPECT_EQ(s.ParSpeed.value(), 5);
    EXPECT_EQ(s.LocusNo.value(), 7);
    EXPECT_EQ(s.BoundMode.value(), 1);
    for (const SingleArray *a : { &s.ParX, &s.ParY, &s.ParVX, &s.ParVY }) {
        ASSERT_EQ(a->size(), 9);
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(a->at(i), 0.0f) << i;
    }
    // The random source goes on where the first placement left it.
    EXPECT_EQ(s.random.nextSingle(), fresh.random.nextSingle());
}

} // namespace
} // namespace brownian
