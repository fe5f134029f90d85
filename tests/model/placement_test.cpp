#include "model/modpar.h"
#include "support/state_builder.h"

#include <cmath>
#include <gtest/gtest.h>

using brownian::Integer;
using brownian::ModPar;

namespace {

/// Defaults with the count and size applied; nothing placed yet.
ModPar settled(int numSide, int size)
{
    return brownian::test::StateBuilder().numSide(numSide).size(size).build();
}

TEST(ModPar, DefaultsAndRedim)
{
    ModPar s;
    s.setDefaults();
    s.redim();
    EXPECT_EQ(s.BoundMode.value(), 0);
    EXPECT_EQ(s.NumSide.value(), 5);
    EXPECT_EQ(s.ParSize.value(), 400);
    EXPECT_EQ(s.ParSpeed.value(), 3);
    EXPECT_EQ(s.LocusNo.value(), 12);
    for (auto *a : { &s.ParX, &s.ParY, &s.ParVX, &s.ParVY }) {
        EXPECT_EQ(a->size(), 25);
        EXPECT_EQ(a->at(24), 0.0f);
    }
    s.NumSide = 10;
    s.redim();
    EXPECT_EQ(s.ParVY.size(), 100);
    EXPECT_EQ(s.lastIndex().value(), 99);
}

struct PlacementCase
{
    const char *name;
    int numSide, size, margin;
    double lowOffset, span, pitch; // centre of col c in [low + pitch c, low + pitch c + span)
};

class Placement : public ::testing::TestWithParam<PlacementCase>
{
};

TEST_P(Placement, CentresLieInTheirCells)
{
    const PlacementCase c = GetParam();
    ModPar s = settled(c.numSide, c.size);
    InitPar(s, c.margin);
    EXPECT_EQ(s.random.drawCount(), 4u * c.numSide * c.numSide);
    for (int i = 0; i < c.numSide * c.numSide; ++i) {
        const int row = i / c.numSide, col = i % c.numSide;
        const double lowX = c.lowOffset + c.pitch * col, lowY = c.lowOffset + c.pitch * row;
        EXPECT_GE(s.ParX.at(i), lowX) << i;
        EXPECT_LE(s.ParX.at(i), lowX + c.span) << i;
        EXPECT_GE(s.ParY.at(i), lowY) << i;
        EXPECT_LE(s.ParY.at(i), lowY + c.span) << i;
        EXPECT_GE(s.ParVX.at(i), -2.5f);
        EXPECT_LT(s.ParVX.at(i), 2.5f);
        EXPECT_GE(s.ParVY.at(i), -2.5f);
        EXPECT_LT(s.ParVY.at(i), 2.5f);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Placement,
    ::testing::Values(PlacementCase { "DefaultsBounded", 5, 400, 0, 200, 600, 1000 },
        PlacementCase { "DefaultsUnbounded", 5, 400, 1000, -300, 800, 1200 },
        PlacementCase { "RigidGrid", 10, 500, 0, 250, 0, 500 },
        PlacementCase { "LargestUnbounded", 10, 500, 1000, -250, 100, 600 },
        PlacementCase { "OneParticleBounded", 1, 400, 0, 200, 4600, 0 },
        PlacementCase { "OneParticleUnbounded", 1, 200, 1000, -400, 5800, 0 }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Placement, FollowsTheFormulaBitForBit)
{
    ModPar s = settled(5, 400);
    brownian::RandomSource replay;
    InitPar(s, 1000);
    for (int i = 0; i < 25; ++i) {
        const double r1 = replay.nextSingle(), r2 = replay.nextSingle();
        const double r3 = replay.nextSingle(), r4 = replay.nextSingle();
        const int row = i / 5, col = i % 5;
        EXPECT_EQ(s.ParX.at(i), static_cast<float>(((800.0 * (col + r1) + col * 400) + 200) - 500));
        EXPECT_EQ(s.ParY.at(i), static_cast<float>(((800.0 * (row + r2) + row * 400) + 200) - 500));
        EXPECT_EQ(s.ParVX.at(i), static_cast<float>((r3 - 0.5) * 5));
        EXPECT_EQ(s.ParVY.at(i), static_cast<float>((r4 - 0.5) * 5));
    }
}

TEST(Placement, FollowsTheFormulaBitForBitWhereTheGapIsNoWholeNumber)
{
    // Gaps of 3800/3, 3900/7 and 2900/6 twips: the whole placement stays in Double until the
    // one rounding to Single, so rounding the gap early shows in some of the positions.
    const struct
    {
        int numSide, size, margin;
    } cases[] = { { 3, 400, 0 }, { 7, 300, 1000 }, { 6, 350, 0 } };
    for (const auto &c : cases) {
        ModPar s = settled(c.numSide, c.size);
        brownian::RandomSource replay;
        InitPar(s, c.margin);
        const double gap = (c.margin + 5000.0 - c.numSide * c.size) / c.numSide;
        const double half = c.size / 2.0, halfMargin = c.margin / 2.0;
        for (int i = 0; i < c.numSide * c.numSide; ++i) {
            const double r1 = replay.nextSingle(), r2 = replay.nextSingle();
            replay.nextSingle();
            replay.nextSingle();
            const int row = i / c.numSide, col = i % c.numSide;
            EXPECT_EQ(s.ParX.at(i),
                static_cast<float>(((gap * (col + r1) + col * c.size) + half) - halfMargin))
                << c.numSide << " particle " << i;
            EXPECT_EQ(s.ParY.at(i),
                static_cast<float>(((gap * (row + r2) + row * c.size) + half) - halfMargin))
                << c.numSide << " particle " << i;
        }
    }
}

TEST(Placement, RigidGridIgnoresTheDrawsExactly)
{
    ModPar s = settled(10, 500);
    InitPar(s, 0);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(s.ParX.at(i), 500.0f * (i % 10) + 250.0f);
        EXPECT_EQ(s.ParY.at(i), 500.0f * (i / 10) + 250.0f);
    }
    // Neighbours start exactly one diameter apart; outermost edges touch the walls.
    EXPECT_EQ(s.ParX.at(1) - s.ParX.at(0), 500.0f);
    EXPECT_EQ(s.ParX.at(0) - 250.0f, 0.0f);
    EXPECT_EQ(s.ParX.at(9) + 250.0f, 5000.0f);
}

TEST(Placement, CornerParticlesTakeCornerCells)
{
    ModPar s = settled(5, 400);
    InitPar(s, 0);
    auto cell = [&](int i) {
        return std::pair { static_cast<int>(s.ParX.at(i)) / 1000,
            static_cast<int>(s.ParY.at(i)) / 1000 };
    };
    EXPECT_EQ(cell(0), (std::pair { 0, 0 }));
    EXPECT_EQ(cell(4), (std::pair { 4, 0 }));
    EXPECT_EQ(cell(20), (std::pair { 0, 4 }));
    EXPECT_EQ(cell(24), (std::pair { 4, 4 }));
}

TEST(Placement, SuccessiveCallsContinueTheSequence)
{
    ModPar a = settled(5, 400), b = settled(5, 400);
    InitPar(a, 0);
    InitPar(b, 0);
    EXPECT_EQ(a.ParX.at(7), b.ParX.at(7)) << "the first placement is the same in every run";
    const float firstVx = a.ParVX.at(7);
    InitPar(a, 0);
    EXPECT_NE(a.ParVX.at(7), firstVx);
    EXPECT_EQ(a.random.drawCount(), 200u);
}

TEST(Placement, OverflowAndShortArraysAreFaults)
{
    ModPar s = settled(5, 400);
    s.NumSide = 100; // 100 × 400 overflows 16 bits
    EXPECT_THROW(InitPar(s, 0), brownian::RuntimeFault);
    ModPar t = settled(5, 400);
    t.NumSide = 6; // arrays still hold 25
    EXPECT_THROW(InitPar(t, 0), brownian::RuntimeFault);
}

} // namespace
