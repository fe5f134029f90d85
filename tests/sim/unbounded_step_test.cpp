#include "model/modpar.h"
#include "sim/step.h"
#include "support/recording_canvas.h"
#include "support/state_builder.h"
#include "support/state_compare.h"

#include <cmath>
#include <gtest/gtest.h>

using brownian::CollidePar;
using brownian::CollideWrap;
using brownian::ModPar;
using brownian::unboundedSubStep;
using brownian::test::get;
using brownian::test::parkedState;
using brownian::test::Particle;
using brownian::test::put;
using brownian::test::RecordingCanvas;

namespace {

struct Point
{
    float x, y;
};

// Velocities with few significant bits, so that an exchange along an axis is exact.
constexpr float kVIx = 1.5f, kVIy = -0.75f, kVJx = -1.25f, kVJy = 0.5f;

ModPar pairState(int size, Point i, Point j)
{
    ModPar s = parkedState(2, size);
    put(s, 0, { i.x, i.y, kVIx, kVIy });
    put(s, 1, { j.x, j.y, kVJx, kVJy });
    return s;
}

/// The velocities CollidePar gives the pair when it stands at the given positions.
ModPar collidedAt(int size, Point i, Point j)
{
    ModPar s = pairState(size, i, j);
    CollidePar(s, 0, 1);
    return s;
}

// --- CollideWrap on its own ------------------------------------------------------------------

struct WrapCase
{
    const char *name;
    int size;
    Point i, j; // before
    Point si, sj; // after the shift into one frame
};

class Wrap : public ::testing::TestWithParam<WrapCase>
{
};

TEST_P(Wrap, ShiftsLowBandThenExchangesAsCollidePar)
{
    const WrapCase c = GetParam();
    ModPar s = pairState(c.size, c.i, c.j);
    CollideWrap(s, 0, 1);
    EXPECT_EQ(s.ParX.at(0), c.si.x);
    EXPECT_EQ(s.ParY.at(0), c.si.y);
    EXPECT_EQ(s.ParX.at(1), c.sj.x);
    EXPECT_EQ(s.ParY.at(1), c.sj.y);
    const ModPar expected = collidedAt(c.size, c.si, c.sj);
    EXPECT_TRUE(brownian::test::sameState(s, expected));
}

TEST_P(Wrap, TwiceInARowGivesBackTheVelocities)
{
    const WrapCase c = GetParam();
    ModPar s = pairState(c.size, c.i, c.j);
    CollideWrap(s, 0, 1);
    const Particle i1 = get(s, 0), j1 = get(s, 1);
    CollideWrap(s, 0, 1);
    // Nothing is shifted the second time.
    EXPECT_EQ(s.ParX.at(0), i1.x);
    EXPECT_EQ(s.ParY.at(0), i1.y);
    EXPECT_EQ(s.ParX.at(1), j1.x);
    EXPECT_EQ(s.ParY.at(1), j1.y);
    // Two exchanges along the same line, each rounding to Single: a few ulps of 2 twips.
    const float tol = 1e-6f;
    EXPECT_NEAR(s.ParVX.at(0), kVIx, tol);
    EXPECT_NEAR(s.ParVY.at(0), kVIy, tol);
    EXPECT_NEAR(s.ParVX.at(1), kVJx, tol);
    EXPECT_NEAR(s.ParVY.at(1), kVJy, tol);
}

INSTANTIATE_TEST_SUITE_P(Table, Wrap,
    ::testing::Values(
        // ParSize 400: the low band ends at B = -100, compared strictly.
        WrapCase { "AtBandTopNotShifted", 400, { -100, 2500 }, { 5500, 2500 }, { -100, 2500 },
            { 5500, 2500 } },
        WrapCase { "HalfTwipBelowBandTopShifted", 400, { -100.5f, 2500 }, { 5400, 2500 },
            { 5899.5f, 2500 }, { 5400, 2500 } },
        WrapCase { "XSeam", 400, { -400, 2500 }, { 5400, 2500 }, { 5600, 2500 }, { 5400, 2500 } },
        WrapCase {
            "XSeamLowerIsJ", 400, { 5400, 2500 }, { -400, 2500 }, { 5400, 2500 }, { 5600, 2500 } },
        WrapCase {
            "YSeamLowerIsJ", 400, { 2500, 5400 }, { 2500, -400 }, { 2500, 5400 }, { 2500, 5600 } },
        WrapCase { "YSeamOnlyBothOfIShifted", 400, { -200, -450 }, { 50, 5450 }, { 5800, 5550 },
            { 50, 5450 } },
        WrapCase { "Corner", 400, { -450, -450 }, { 5450, 5450 }, { 5550, 5550 }, { 5450, 5450 } },
        WrapCase { "CornerOtherDiagonal", 400, { 5450, -420 }, { -470, 5480 }, { 5450, 5580 },
            { 5530, 5480 } },
        // ParSize 200: B = -300; ParSize 500: B = 0.
        WrapCase { "Size200AtBandTop", 200, { -300, 1000 }, { 5550, 1000 }, { -300, 1000 },
            { 5550, 1000 } },
        WrapCase { "Size200BelowBandTop", 200, { -300.5f, 1000 }, { 5550, 1000 }, { 5699.5f, 1000 },
            { 5550, 1000 } },
        WrapCase { "Size500AtZero", 500, { 1000, 0 }, { 1000, 5500 }, { 1000, 0 }, { 1000, 5500 } },
        WrapCase { "Size500BelowZero", 500, { 1000, -0.5f }, { 1000, 5400 }, { 1000, 5999.5f },
            { 1000, 5400 } }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(WrapExchange, XSeamSwapsTheXComponentsOnly)
{
    ModPar s = pairState(400, { -400, 2500 }, { 5400, 2500 });
    CollideWrap(s, 0, 1);
    EXPECT_EQ(s.ParVX.at(0), kVJx);
    EXPECT_EQ(s.ParVY.at(0), kVIy);
    EXPECT_EQ(s.ParVX.at(1), kVIx);
    EXPECT_EQ(s.ParVY.at(1), kVJy);
}

TEST(WrapExchange, YSeamExchangesAlongTheShiftedLineOfCentres)
{
    // I at (-200, -450) and J at (50, 5450) meet with I shifted to (5800, 5550): the normal
    // components along (5750, 100) are swapped and the tangential ones kept.
    ModPar s = pairState(400, { -200, -450 }, { 50, 5450 });
    CollideWrap(s, 0, 1);
    const double len = std::hypot(5750.0, 100.0);
    const double nx = 5750.0 / len, ny = 100.0 / len;
    auto normal = [&](double vx, double vy) { return vx * nx + vy * ny; };
    auto tangent = [&](double vx, double vy) { return vx * ny - vy * nx; };
    const double tol = 1e-6;
    EXPECT_NEAR(normal(s.ParVX.at(0), s.ParVY.at(0)), normal(kVJx, kVJy), tol);
    EXPECT_NEAR(normal(s.ParVX.at(1), s.ParVY.at(1)), normal(kVIx, kVIy), tol);
    EXPECT_NEAR(tangent(s.ParVX.at(0), s.ParVY.at(0)), tangent(kVIx, kVIy), tol);
    EXPECT_NEAR(tangent(s.ParVX.at(1), s.ParVY.at(1)), tangent(kVJx, kVJy), tol);
}

TEST(WrapExchange, CoincidentAfterTheShiftLeavesVelocitiesAlone)
{
    // An earlier pair of the same pass can leave J at 5550; I at -450 is then shifted onto it.
    ModPar s = pairState(400, { -450, 100 }, { 5550, 100 });
    CollideWrap(s, 0, 1);
    EXPECT_EQ(s.ParX.at(0), 5550.0f);
    EXPECT_EQ(s.ParVX.at(0), kVIx);
    EXPECT_EQ(s.ParVY.at(0), kVIy);
    EXPECT_EQ(s.ParVX.at(1), kVJx);
    EXPECT_EQ(s.ParVY.at(1), kVJy);
}

// --- Wrap pass -------------------------------------------------------------------------------

struct EdgeCase
{
    const char *name;
    Particle before;
    Point after; // one sub-step, alone in the field
};

class WrapPass : public ::testing::TestWithParam<EdgeCase>
{
};

TEST_P(WrapPass, OneSubStep)
{
    const EdgeCase c = GetParam();
    ModPar s = parkedState(1, 400);
    put(s, 0, c.before);
    RecordingCanvas path;
    unboundedSubStep(s, path);
    EXPECT_EQ(s.ParX.at(0), c.after.x);
    EXPECT_EQ(s.ParY.at(0), c.after.y);
    EXPECT_EQ(s.ParVX.at(0), c.before.vx);
    EXPECT_EQ(s.ParVY.at(0), c.before.vy);
}

INSTANTIATE_TEST_SUITE_P(Table, WrapPass,
    ::testing::Values(EdgeCase { "LandsOnHighEdgeStays", { 5499, 2500, 1, 0 }, { 5500, 2500 } },
        EdgeCase { "PastHighEdgeWraps", { 5499.5f, 2500, 1, 0 }, { -499.5f, 2500 } },
        EdgeCase { "LandsOnLowEdgeStays", { -499, 2500, -1, 0 }, { -500, 2500 } },
        EdgeCase { "PastLowEdgeWraps", { -499.5f, 2500, -1, 0 }, { 5499.5f, 2500 } },
        EdgeCase { "YPastHighEdgeWraps", { 2500, 5499.5f, 0, 1 }, { 2500, -499.5f } },
        EdgeCase { "YPastLowEdgeWraps", { 2500, -499.5f, 0, -1 }, { 2500, 5499.5f } },
        EdgeCase { "BothAxesWrap", { 5499.5f, -499.5f, 1, -1 }, { -499.5f, 5499.5f } },
        // No walls here: the edge of the shown square changes nothing.
        EdgeCase { "NoWallAtShownEdge", { 4800, 200, 3, -3 }, { 4803, 197 } }),
    [](const auto &info) { return std::string(info.param.name); });

// --- Seam test of the pair pass ----------------------------------------------------------------

struct SeamCase
{
    const char *name;
    int size;
    Point i, j;
    bool contact;
    Point si, sj; // where the exchange is made (after CollideWrap's shift, if any)
};

class SeamPairs : public ::testing::TestWithParam<SeamCase>
{
};

TEST_P(SeamPairs, CollidedAtTheShiftedPositions)
{
    const SeamCase c = GetParam();
    ModPar s = pairState(c.size, c.i, c.j);
    RecordingCanvas path;
    unboundedSubStep(s, path);
    const ModPar expected =
        c.contact ? collidedAt(c.size, c.si, c.sj) : pairState(c.size, c.i, c.j);
    for (int k : { 0, 1 }) {
        EXPECT_EQ(s.ParVX.at(k), expected.ParVX.at(k)) << "particle " << k;
        EXPECT_EQ(s.ParVY.at(k), expected.ParVY.at(k)) << "particle " << k;
    }
    if (c.contact) {
        EXPECT_NE(expected.ParVX.at(0), kVIx); // the row can tell contact from none
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SeamPairs,
    ::testing::Values(
        // ParSize 400: W = 5600.
        SeamCase { "XSeamAtDistance200", 400, { -400, 2500 }, { 5400, 2500 }, true, { 5600, 2500 },
            { 5400, 2500 } },
        SeamCase { "ExactlyWApartTouches", 400, { -200, 2500 }, { 5400, 2500 }, true,
            { 5800, 2500 }, { 5400, 2500 } },
        SeamCase { "ExactlyWApartNothingShifted", 400, { -100, 2500 }, { 5500, 2500 }, true,
            { -100, 2500 }, { 5500, 2500 } },
        SeamCase { "HalfTwipShortOfW", 400, { -99.5f, 2500 }, { 5500, 2500 }, false, {}, {} },
        SeamCase { "HalfTwipPastW", 400, { -200.5f, 2500 }, { 5400, 2500 }, true, { 5799.5f, 2500 },
            { 5400, 2500 } },
        SeamCase { "XSeamTooFarInY", 400, { -400, 2500 }, { 5400, 2900.5f }, false, {}, {} },
        SeamCase {
            "YSeamOnly", 400, { -200, -450 }, { 50, 5450 }, true, { 5800, 5550 }, { 50, 5450 } },
        SeamCase { "CornerBothSeams", 400, { -450, -450 }, { 5450, 5450 }, true, { 5550, 5550 },
            { 5450, 5450 } },
        SeamCase { "CornerOtherDiagonal", 400, { 5450, -420 }, { -470, 5480 }, true, { 5450, 5580 },
            { 5530, 5480 } },
        SeamCase { "CornerTooFar", 400, { -450, -450 }, { 5200, 5300 }, false, {}, {} },
        // Touching inside a band, not across a seam: a plain collision, nothing shifted.
        SeamCase { "HighBandPairDirect", 400, { 5100, 5200 }, { 5400, 5200 }, true, { 5100, 5200 },
            { 5400, 5200 } },
        SeamCase { "LowBandPairDirect", 400, { -450, 2000 }, { -150, 2100 }, true, { -450, 2000 },
            { -150, 2100 } },
        // ParSize 200: W = 5800, B = -300.
        SeamCase { "Size200XSeam", 200, { -450, 1000 }, { 5400, 1000 }, true, { 5550, 1000 },
            { 5400, 1000 } },
        SeamCase { "Size200ShortOfW", 200, { -350, 1000 }, { 5449, 1000 }, false, {}, {} }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SeamPairs, HighBandPairKeepsItsPositions)
{
    ModPar s = pairState(400, { 5100, 5200 }, { 5400, 5200 });
    RecordingCanvas path;
    unboundedSubStep(s, path);
    // Exchanged along x, then moved; nothing shifted or wrapped.
    EXPECT_EQ(s.ParX.at(0), 5100 + kVJx);
    EXPECT_EQ(s.ParX.at(1), 5400 + kVIx);
    EXPECT_EQ(s.ParY.at(0), 5200 + kVIy);
    EXPECT_EQ(s.ParY.at(1), 5200 + kVJy);
}

TEST(SeamPairs, ShiftedParticleReturnsAfterTheMove)
{
    ModPar s = pairState(400, { -400, 2500 }, { 5400, 2500 });
    RecordingCanvas path;
    unboundedSubStep(s, path);
    // 5600 after the shift, moved by J's old x velocity, then back by one period.
    EXPECT_EQ(s.ParX.at(0), -400 + kVJx);
    EXPECT_EQ(s.ParX.at(1), 5400 + kVIx);
}

TEST(SeamPairs, LaterPairSeesTheShiftedPosition)
{
    // Pair (0, 1) meets across the x seam and particle 0 moves to x = 5600. Pair (0, 2) is then
    // across the seam as well, and meets along (5660, -150) instead of (-340, -150).
    ModPar s = pairState(400, { -400, 2500 }, { 5400, 2500 });
    put(s, 2, { -60, 2650, 0.25f, 1.0f });

    ModPar expected = s;
    CollideWrap(expected, 0, 1);
    CollideWrap(expected, 0, 2);
    ModPar unseen = s;
    CollideWrap(unseen, 0, 1);
    unseen.ParX.at(0) = -400;
    CollidePar(unseen, 0, 2);
    ASSERT_NE(unseen.ParVX.at(2), expected.ParVX.at(2));

    RecordingCanvas path;
    unboundedSubStep(s, path);
    for (int k : { 0, 1, 2 }) {
        EXPECT_EQ(s.ParVX.at(k), expected.ParVX.at(k)) << k;
        EXPECT_EQ(s.ParVY.at(k), expected.ParVY.at(k)) << k;
    }
    EXPECT_LT(s.ParX.at(0), 0.0f);
}

// --- Path across the seam ----------------------------------------------------------------------

TEST(PathAcrossSeam, NoSegmentCrossesTheField)
{
    ModPar s = parkedState(1, 400);
    const float vx = 2.5f, vy = -1.75f;
    put(s, 0, { 2500, 2500, vx, vy });
    RecordingCanvas path;
    for (int k = 0; k < 6000; ++k)
        unboundedSubStep(s, path);
    ASSERT_EQ(path.lines.size(), 6000u);
    int wrapsX = 0, wrapsY = 0;
    for (std::size_t k = 0; k < path.lines.size(); ++k) {
        const auto &l = path.lines[k];
        EXPECT_NEAR(l.x2 - l.x1, vx, 1e-3) << k;
        EXPECT_NEAR(l.y2 - l.y1, vy, 1e-3) << k;
        if (k > 0 && std::fabs(l.x2 - path.lines[k - 1].x2) > 3000) {
            ++wrapsX;
            // Entering at the low side: the segment begins on the edge or up to one velocity
            // outside it, and ends inside.
            EXPECT_LE(l.x1, -500.0f);
            EXPECT_GE(l.x2, -500.0f);
        }
        if (k > 0 && std::fabs(l.y2 - path.lines[k - 1].y2) > 3000) {
            ++wrapsY;
            EXPECT_GE(l.y1, 5500.0f);
            EXPECT_LE(l.y2, 5500.0f);
        }
    }
    // 15000 twips in x: past 5500 after 3000 and 9000 (after 15000 it is exactly 5500 and
    // stays); 10500 twips in y: past -500 after 3000 and 9000.
    EXPECT_EQ(wrapsX, 2);
    EXPECT_EQ(wrapsY, 2);
}

} // namespace
