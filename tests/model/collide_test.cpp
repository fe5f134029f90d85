#include "model/fault.h"
#include "model/modpar.h"
#include "support/state_builder.h"
#include "support/state_compare.h"

#include <cmath>
#include <gtest/gtest.h>

using brownian::CollidePar;
using brownian::FaultKind;
using brownian::RuntimeFault;
using brownian::test::get;
using brownian::test::parkedState;
using brownian::test::Particle;
using brownian::test::put;
using brownian::test::sameBits;

namespace {

struct CollideCase
{
    const char *name;
    Particle i, j; // before the call
    float ivx, ivy, jvx, jvy; // velocities expected afterwards, as the nearest Singles
};

class Collide : public ::testing::TestWithParam<CollideCase>
{
protected:
    brownian::ModPar pair() const
    {
        brownian::ModPar s = parkedState(2, 400);
        put(s, 1, GetParam().i);
        put(s, 2, GetParam().j);
        return s;
    }
};

TEST_P(Collide, ExchangesNormalComponentsExactly)
{
    const CollideCase c = GetParam();
    brownian::ModPar s = pair();
    CollidePar(s, 1, 2);
    EXPECT_EQ(s.ParVX.at(1), c.ivx);
    EXPECT_EQ(s.ParVY.at(1), c.ivy);
    EXPECT_EQ(s.ParVX.at(2), c.jvx);
    EXPECT_EQ(s.ParVY.at(2), c.jvy);
}

TEST_P(Collide, PositionsAndOtherParticlesUntouched)
{
    brownian::ModPar s = pair();
    const auto before = brownian::test::stateBits(s);
    CollidePar(s, 1, 2);
    const auto after = brownian::test::stateBits(s);
    for (std::size_t k = 0; k < before.size(); ++k) {
        const bool velocityOfPair = (k / 4 == 1 || k / 4 == 2) && k % 4 >= 2;
        if (!velocityOfPair) {
            EXPECT_EQ(after[k], before[k]) << "particle " << k / 4 << " field " << k % 4;
        }
    }
}

TEST_P(Collide, SwappedArgumentsGiveTheSameValues)
{
    // Every projection changes sign exactly, so the values agree to the last bit; only the sign
    // of a zero component may differ, which no later sum or product can tell apart.
    brownian::ModPar a = pair();
    brownian::ModPar b = pair();
    CollidePar(a, 1, 2);
    CollidePar(b, 2, 1);
    for (int i : { 1, 2 }) {
        EXPECT_EQ(a.ParVX.at(i), b.ParVX.at(i)) << i;
        EXPECT_EQ(a.ParVY.at(i), b.ParVY.at(i)) << i;
    }
}

TEST_P(Collide, ConservesMomentumAndEnergyAndUndoesItself)
{
    const CollideCase c = GetParam();
    brownian::ModPar s = pair();
    CollidePar(s, 1, 2);
    const Particle i = get(s, 1), j = get(s, 2);
    // One rounding to Single per stored component, relative to speeds of a few twips.
    const double tol = 1e-6;
    EXPECT_NEAR(double(i.vx) + j.vx, double(c.i.vx) + c.j.vx, tol);
    EXPECT_NEAR(double(i.vy) + j.vy, double(c.i.vy) + c.j.vy, tol);
    const double e0 = double(c.i.vx) * c.i.vx + double(c.i.vy) * c.i.vy + double(c.j.vx) * c.j.vx
        + double(c.j.vy) * c.j.vy;
    EXPECT_NEAR(brownian::test::kineticSum(s), e0, tol * (1 + e0));

    CollidePar(s, 1, 2);
    EXPECT_NEAR(s.ParVX.at(1), c.i.vx, tol);
    EXPECT_NEAR(s.ParVY.at(1), c.i.vy, tol);
    EXPECT_NEAR(s.ParVX.at(2), c.j.vx, tol);
    EXPECT_NEAR(s.ParVY.at(2), c.j.vy, tol);
}

INSTANTIATE_TEST_SUITE_P(Table, Collide,
    ::testing::Values(CollideCase { "HeadOnEqualAndOpposite", { 1000, 1000, 1, 0 },
                          { 1400, 1000, -1, 0 }, -1, 0, 1, 0 },
        CollideCase {
            "HeadOnOntoParticleAtRest", { 1000, 1000, 2, 0 }, { 1400, 1000, 0, 0 }, 0, 0, 2, 0 },
        CollideCase {
            "Oblique345", { 1000, 1000, 2, 0 }, { 1300, 1400, 0, 0 }, 1.28f, -0.96f, 0.72f, 0.96f },
        CollideCase { "ObliqueBothMovingOverlapping", { 2000, 2000, 1.5f, -0.5f },
            { 2120, 2160, -1, 2 }, 1.8f, -0.1f, -1.3f, 1.6f },
        CollideCase { "VerticalHeadOn", { 3000, 3400, 0.5f, -2 }, { 3000, 3000, 0.5f, 1 }, 0.5f, 1,
            0.5f, -2 },
        CollideCase { "TangentOnly", { 1000, 1000, 0, 1 }, { 1400, 1000, 0, 0 }, 0, 1, 0, 0 },
        CollideCase { "SeparatingPairTurnedAround", { 1000, 1000, -1, 0 }, { 1400, 1000, 1, 0 }, 1,
            0, -1, 0 }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(CollideCoincident, VelocitiesStayFiniteAndUnchanged)
{
    brownian::ModPar s = parkedState(2, 400);
    put(s, 0, { 1234.5f, 2345.25f, 1.5f, -2.0f });
    put(s, 3, { 1234.5f, 2345.25f, 0.25f, 3.0f });
    const auto before = brownian::test::stateBits(s);
    CollidePar(s, 0, 3);
    EXPECT_EQ(brownian::test::stateBits(s), before);
    EXPECT_TRUE(std::isfinite(s.ParVX.at(0)) && std::isfinite(s.ParVY.at(3)));
}

TEST(CollideCoincident, NearlyCoincidentCentresStillExchange)
{
    // One ulp apart is a line of centres like any other: the guard is for zero only.
    brownian::ModPar s = parkedState(2, 400);
    const float x = 1234.5f;
    put(s, 0, { x, 2000, 1.5f, 0.25f });
    put(s, 1, { std::nextafter(x, 0.0f), 2000, -0.5f, 0.75f });
    CollidePar(s, 0, 1);
    EXPECT_EQ(s.ParVX.at(0), -0.5f);
    EXPECT_EQ(s.ParVY.at(0), 0.25f);
    EXPECT_EQ(s.ParVX.at(1), 1.5f);
    EXPECT_EQ(s.ParVY.at(1), 0.75f);
}

TEST(CollideIndex, OutsideTheArraysIsASubscriptFault)
{
    brownian::ModPar s = parkedState(2, 400);
    try {
        CollidePar(s, 0, 4);
        FAIL() << "no fault";
    } catch (const RuntimeFault &f) {
        EXPECT_EQ(f.kind(), FaultKind::Subscript);
    }
    EXPECT_THROW(CollidePar(s, -1, 0), RuntimeFault);
}

} // namespace
