#include "model/fault.h"
#include "model/modpar.h"
#include "sim/step.h"
#include "support/recording_canvas.h"
#include "support/state_builder.h"
#include "support/state_compare.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>

using brownian::boundedSubStep;
using brownian::boundedSubStepPlain;
using brownian::CollidePar;
using brownian::ModPar;
using brownian::test::get;
using brownian::test::parkedState;
using brownian::test::Particle;
using brownian::test::put;
using brownian::test::RecordingCanvas;

namespace {

using SubStep = void (*)(ModPar &, brownian::Canvas &, brownian::TickCounters *);

struct NamedSubStep
{
    const char *name;
    SubStep run;
};

const std::array<NamedSubStep, 2> kBoundedPasses { {
    { "fast", &boundedSubStep },
    { "plain", &boundedSubStepPlain },
} };

// --- Walls -----------------------------------------------------------------------------------

struct WallCase
{
    const char *name;
    int size;
    Particle before, after; // one sub-step, no other particle
};

class Walls : public ::testing::TestWithParam<WallCase>
{
};

TEST_P(Walls, OneSubStep)
{
    const WallCase c = GetParam();
    for (const NamedSubStep &pass : kBoundedPasses) {
        ModPar s = parkedState(1, c.size);
        put(s, 0, c.before);
        RecordingCanvas path;
        pass.run(s, path, nullptr);
        const Particle p = get(s, 0);
        EXPECT_EQ(p.x, c.after.x) << pass.name;
        EXPECT_EQ(p.y, c.after.y) << pass.name;
        EXPECT_EQ(p.vx, c.after.vx) << pass.name;
        EXPECT_EQ(p.vy, c.after.vy) << pass.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Walls,
    ::testing::Values(
        // An edge exactly on a wall counts as touching it.
        WallCase { "LeftEdgeOnWall", 400, { 200, 2500, -3, 0 }, { 203, 2500, 3, 0 } },
        WallCase { "RightEdgeOnWall", 400, { 4800, 2500, 3, 0 }, { 4797, 2500, -3, 0 } },
        WallCase { "TopEdgeOnWall", 400, { 2500, 200, 0, -3 }, { 2500, 203, 0, 3 } },
        WallCase { "BottomEdgeOnWall", 400, { 2500, 4800, 0, 3 }, { 2500, 4797, 0, -3 } },
        WallCase { "HalfTwipClearOfLeft", 400, { 200.5f, 2500, -1, 0 }, { 199.5f, 2500, -1, 0 } },
        WallCase { "HalfTwipClearOfRight", 400, { 4799.5f, 2500, 1, 0 }, { 4800.5f, 2500, 1, 0 } },
        // The test ignores the direction: a particle already moving inwards is turned out.
        WallCase {
            "HalfTwipIntoLeftMovingIn", 400, { 199.5f, 2500, 1, 0 }, { 198.5f, 2500, -1, 0 } },
        WallCase {
            "HalfTwipIntoBottomMovingIn", 400, { 2500, 4800.5f, 0, -1 }, { 2500, 4801.5f, 0, 1 } },
        WallCase { "CornerReversesBoth", 400, { 150, 4850, -2, 2.5f }, { 152, 4847.5f, 2, -2.5f } },
        WallCase {
            "OddSizeHalfRadius", 401, { 200.5f, 4799.5f, -1, 1 }, { 201.5f, 4798.5f, 1, -1 } },
        WallCase {
            "OddSizeJustClear", 401, { 200.75f, 4799.25f, -1, 1 }, { 199.75f, 4800.25f, -1, 1 } },
        WallCase { "FreeInTheMiddle", 400, { 2500, 2500, 1.25f, -0.75f },
            { 2501.25f, 2499.25f, 1.25f, -0.75f } }),
    [](const auto &info) { return std::string(info.param.name); });

struct WallRun
{
    const char *name;
    Particle start;
    std::vector<float> xs; // x after each sub-step
};

class WallSequence : public ::testing::TestWithParam<WallRun>
{
};

TEST_P(WallSequence, XAfterEachSubStep)
{
    const WallRun c = GetParam();
    ModPar s = parkedState(1, 400);
    put(s, 0, c.start);
    RecordingCanvas path;
    std::vector<float> xs;
    for (std::size_t k = 0; k < c.xs.size(); ++k) {
        boundedSubStep(s, path);
        xs.push_back(s.ParX.at(0));
    }
    EXPECT_EQ(xs, c.xs);
}

INSTANTIATE_TEST_SUITE_P(Table, WallSequence,
    ::testing::Values(
        // Clear at 200.5, touching at 199.5 (reversed), then away for good.
        WallRun { "ReachesLeftWallAndLeaves", { 200.5f, 2500, -1, 0 },
            { 199.5f, 200.5f, 201.5f, 202.5f } },
        WallRun { "ReachesRightWallAndLeaves", { 4799.5f, 2500, 1, 0 },
            { 4800.5f, 4799.5f, 4798.5f, 4797.5f } },
        // Deeper in than one move: reversed every sub-step, so it shakes in place.
        WallRun { "StuckBeyondLeftWall", { 150, 2500, 10, 0 }, { 140, 150, 140, 150, 140 } }),
    [](const auto &info) { return std::string(info.param.name); });

// --- Contact -----------------------------------------------------------------------------------

struct ContactCase
{
    const char *name;
    int size;
    float xi, yi, xj, yj;
    bool contact;
};

class Contact : public ::testing::TestWithParam<ContactCase>
{
};

TEST_P(Contact, CollidedExactlyWhenWithinParSize)
{
    const ContactCase c = GetParam();
    for (const NamedSubStep &pass : kBoundedPasses) {
        ModPar s = parkedState(2, c.size);
        put(s, 0, { c.xi, c.yi, 1.5f, 0.25f });
        put(s, 1, { c.xj, c.yj, -1.0f, 0.75f });
        ModPar expected = s;
        if (c.contact)
            CollidePar(expected, 0, 1);
        RecordingCanvas path;
        pass.run(s, path, nullptr);
        for (int i : { 0, 1 }) {
            EXPECT_EQ(s.ParVX.at(i), expected.ParVX.at(i)) << pass.name << " particle " << i;
            EXPECT_EQ(s.ParVY.at(i), expected.ParVY.at(i)) << pass.name << " particle " << i;
        }
        // The row tells contact from none only if the collision changes the velocities.
        if (c.contact) {
            EXPECT_NE(expected.ParVX.at(0), 1.5f);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Contact,
    ::testing::Values(ContactCase { "ExactlyParSizeOnX", 400, 1000, 2000, 1400, 2000, true },
        ContactCase { "HalfTwipBeyondParSize", 400, 1000, 2000, 1400.5f, 2000, false },
        ContactCase { "ExactlyParSizeDiagonal", 400, 2000, 2200, 2240, 2520, true },
        ContactCase {
            "OneUlpBeyondDiagonal", 400, 2000, 2200, 2240, std::nextafter(2520.0f, 1e4f), false },
        ContactCase {
            "OneUlpWithinDiagonal", 400, 2000, 2200, 2240, std::nextafter(2520.0f, 0.0f), true },
        ContactCase { "Overlapping", 400, 1000, 1000, 1060, 1080, true },
        ContactCase { "ExactlyParSize500", 500, 3000, 3000, 2700, 2600, true },
        ContactCase { "HalfTwipBeyond500", 500, 3000, 3000, 3000, 3500.5f, false }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ContactBoundary, DecidedByTheRoundedSquareRoot)
{
    // Near the top wall the Singles are fine enough to place a pair whose squared distance lies
    // one Double ulp above 300², yet whose square root rounds to exactly 300: that is contact.
    const float y0 = 1.0f;
    float y1 = y0;
    double q = 0;
    for (int t = 0; t < 4096; ++t) {
        y1 = std::nextafter(y1, 2.0f);
        const double dy = double(y1) - y0;
        q = 300.0 * 300.0 + dy * dy;
        if (q > 90000.0)
            break;
    }
    ASSERT_GT(q, 90000.0);
    ASSERT_EQ(std::sqrt(q), 300.0);
    for (const NamedSubStep &pass : kBoundedPasses) {
        ModPar s = parkedState(2, 300);
        put(s, 0, { 1000, y0, 1, 0 });
        put(s, 1, { 1300, y1, -1, 0 });
        RecordingCanvas path;
        pass.run(s, path, nullptr);
        EXPECT_NEAR(s.ParVX.at(0), -1.0f, 1e-6) << pass.name;
        EXPECT_NEAR(s.ParVX.at(1), 1.0f, 1e-6) << pass.name;
    }
}

// --- Order of the pairs ----------------------------------------------------------------------

using PairOrder = std::array<std::array<int, 2>, 3>;

ModPar threeInContact()
{
    ModPar s = parkedState(2, 400);
    put(s, 0, { 2000, 2000, 1.5f, -0.5f });
    put(s, 1, { 2300, 2050, -1.0f, 0.75f });
    put(s, 2, { 2150, 2280, 0.25f, -2.0f });
    return s;
}

std::vector<float> velocitiesAfter(const PairOrder &order)
{
    ModPar s = threeInContact();
    for (const auto &pair : order)
        CollidePar(s, pair[0], pair[1]);
    std::vector<float> v;
    for (int i = 0; i < 3; ++i) {
        v.push_back(s.ParVX.at(i));
        v.push_back(s.ParVY.at(i));
    }
    return v;
}

TEST(PairOrder, OuterIndexThenInnerIndexAscending)
{
    const std::vector<float> expected = velocitiesAfter({ { { 0, 1 }, { 0, 2 }, { 1, 2 } } });
    // Every other order gives other velocities, so the comparison below pins the order down.
    const std::array<PairOrder, 5> others { {
        { { { 0, 1 }, { 1, 2 }, { 0, 2 } } },
        { { { 0, 2 }, { 0, 1 }, { 1, 2 } } },
        { { { 0, 2 }, { 1, 2 }, { 0, 1 } } },
        { { { 1, 2 }, { 0, 1 }, { 0, 2 } } },
        { { { 1, 2 }, { 0, 2 }, { 0, 1 } } },
    } };
    for (const PairOrder &order : others)
        ASSERT_NE(velocitiesAfter(order), expected);

    const std::array<NamedSubStep, 3> passes { {
        kBoundedPasses[0],
        kBoundedPasses[1],
        { "unbounded", &brownian::unboundedSubStep },
    } };
    for (const NamedSubStep &pass : passes) {
        ModPar s = threeInContact();
        RecordingCanvas path;
        pass.run(s, path, nullptr);
        std::vector<float> v;
        for (int i = 0; i < 3; ++i) {
            v.push_back(s.ParVX.at(i));
            v.push_back(s.ParVY.at(i));
        }
        EXPECT_EQ(v, expected) << pass.name;
    }
}

TEST(PairOrder, WallReversalComesBeforeTheCollision)
{
    // Particle 0 touches the left wall and its partner: the reversed velocity is what collides.
    ModPar s = parkedState(2, 400);
    put(s, 0, { 200, 2000, -1.0f, 0 });
    put(s, 1, { 600, 2000, -2.0f, 0 });
    RecordingCanvas path;
    boundedSubStep(s, path);
    EXPECT_EQ(s.ParVX.at(0), -2.0f); // reversed to +1, then exchanged with -2
    EXPECT_EQ(s.ParVX.at(1), 1.0f);
    EXPECT_EQ(s.ParX.at(0), 198.0f); // the move uses the velocities after both
    EXPECT_EQ(s.ParX.at(1), 601.0f);
}

// --- Path segment ----------------------------------------------------------------------------

TEST(PathSegment, StartIsPositionMinusVelocityRoundedToSingle)
{
    // 1023.9 + 0.3 crosses into the next binade, so position - velocity is not the old position.
    const float x0 = 1023.9f, v = 0.3f;
    const float x1 = x0 + v;
    const float start = static_cast<float>(double(x1) - v);
    ASSERT_NE(start, x0);
    for (bool unbounded : { false, true }) {
        ModPar s = parkedState(2, 400);
        s.LocusNo = 3;
        put(s, 3, { x0, 2000, v, -0.5f });
        RecordingCanvas path;
        if (unbounded)
            brownian::unboundedSubStep(s, path);
        else
            boundedSubStep(s, path);
        ASSERT_EQ(path.lines.size(), 1u);
        EXPECT_EQ(path.lines[0].x1, start) << unbounded;
        EXPECT_EQ(path.lines[0].y1, 2000.0f);
        EXPECT_EQ(path.lines[0].x2, x1);
        EXPECT_EQ(path.lines[0].y2, 1999.5f);
        EXPECT_EQ(path.lines[0].color, brownian::kRed);
    }
}

// --- Fast pair pass against the plain one ----------------------------------------------------

/// Counts of crafted pairs by where they fall against the contact distance.
struct Boundary
{
    int exact = 0; // squared distance exactly ParSize²
    int roundedIn = 0; // squared distance above ParSize², square root rounds to ParSize
    int justOut = 0; // square root above ParSize by a few ulps
};

/// For every sixth k, puts particles k and k+1 at distance ParSize (axis-aligned, or along
/// 3-4-5 when the size allows) and nudges the second by -2..2 ulps in x; near the top wall,
/// where Singles are fine, it also places pairs whose contact is decided by the rounding of the
/// square root.
void placeBoundaryPairs(ModPar &s, std::mt19937 &gen, Boundary &seen)
{
    const int size = s.ParSize.value();
    const int count = s.ParX.size();
    std::uniform_real_distribution<float> coord(600.0f, 3800.0f);
    std::uniform_int_distribution<int> nudge(-2, 2);
    std::uniform_int_distribution<int> shape(0, 3);
    std::uniform_int_distribution<int> walk(1, 120);
    for (int k = 0; k + 1 < count; k += 6) {
        float x = coord(gen), y = coord(gen);
        float dx = float(size), dy = 0;
        switch (shape(gen)) {
        case 1:
            std::swap(dx, dy);
            break;
        case 2:
            if (size % 5 == 0) {
                dx = float(size / 5 * 3);
                dy = float(size / 5 * 4);
            }
            break;
        case 3: {
            // Fine Singles near y = 1: an offset of a few dozen ulps moves the squared distance
            // by about one Double ulp, so the square root's rounding decides contact.
            y = 1.0f;
            float y1 = y;
            for (int t = walk(gen); t > 0; --t)
                y1 = std::nextafter(y1, 2.0f);
            dy = y1 - y;
            break;
        }
        default:
            break;
        }
        float xj = x + dx, yj = y + dy;
        const int n = y == 1.0f ? 0 : nudge(gen);
        for (int u = 0; u < std::abs(n); ++u)
            xj = std::nextafter(xj, n > 0 ? 1e9f : -1e9f);
        put(s, k, { x, y, s.ParVX.at(k), s.ParVY.at(k) });
        put(s, k + 1, { xj, yj, s.ParVX.at(k + 1), s.ParVY.at(k + 1) });

        const double ex = double(x) - xj, ey = double(y) - yj;
        const double q = ex * ex + ey * ey, size2 = double(size) * size;
        seen.exact += q == size2;
        seen.roundedIn += q > size2 && std::sqrt(q) <= size;
        seen.justOut += std::sqrt(q) > size && q < size2 * (1 + 1e-12);
    }
}

TEST(FastPairPass, MatchesThePlainPassBitForBit)
{
    std::mt19937 gen(20240611);
    std::uniform_int_distribution<int> sideDist(2, 10);
    std::uniform_int_distribution<int> sizeDist(200, 500);
    std::uniform_real_distribution<float> velocity(-3.0f, 3.0f);
    Boundary seen;
    int contacts = 0;
    for (int trial = 0; trial < 40; ++trial) {
        const int side = sideDist(gen);
        // Some trials take a size where the square root's rounding can decide contact.
        const int size = trial % 4 == 0 ? 300 : sizeDist(gen);
        ModPar s = parkedState(side, size);
        std::uniform_real_distribution<float> coord(0.0f, 5000.0f);
        for (int i = 0; i < side * side; ++i)
            put(s, i, { coord(gen), coord(gen), velocity(gen), velocity(gen) });
        if (trial % 2 == 0)
            placeBoundaryPairs(s, gen, seen);
        s.LocusNo = side * side - 1;

        ModPar plain = s;
        RecordingCanvas fastPath, plainPath;
        brownian::TickCounters fastCount, plainCount;
        for (int step = 0; step < 150; ++step) {
            boundedSubStep(s, fastPath, &fastCount);
            boundedSubStepPlain(plain, plainPath, &plainCount);
            ASSERT_TRUE(brownian::test::sameState(s, plain))
                << "trial " << trial << " sub-step " << step;
        }
        EXPECT_EQ(fastCount.contacts, plainCount.contacts);
        EXPECT_EQ(fastCount.pairTests, plainCount.pairTests);
        ASSERT_EQ(fastPath.lines.size(), plainPath.lines.size());
        for (std::size_t k = 0; k < fastPath.lines.size(); ++k) {
            EXPECT_TRUE(brownian::test::sameBits(fastPath.lines[k].x1, plainPath.lines[k].x1));
            EXPECT_TRUE(brownian::test::sameBits(fastPath.lines[k].y1, plainPath.lines[k].y1));
        }
        contacts += static_cast<int>(plainCount.contacts);
    }
    // The crafted pairs really sit on all sides of the boundary, and there were collisions.
    EXPECT_GT(seen.exact, 0);
    EXPECT_GT(seen.roundedIn, 0);
    EXPECT_GT(seen.justOut, 0);
    EXPECT_GT(contacts, 1000);
}

// --- The move's fault ----------------------------------------------------------------------

/// A move that takes a position to infinity raises the floating fault after every other
/// particle has moved: on one thread, and with the move shared with the helper thread (from
/// 2048 particles on) in chunks other than the faulty particle's.
TEST(MoveFault, RaisedAfterEveryParticleHasMoved)
{
    struct Case
    {
        bool unbounded;
        int numSide;
    };
    for (const Case c : { Case { false, 3 }, Case { true, 3 }, Case { false, 46 } }) {
        ModPar s = brownian::test::StateBuilder()
                       .numSide(c.numSide)
                       .size(25)
                       .speed(1)
                       .locus(0)
                       .unbounded(c.unbounded)
                       .parked();
        const int last = c.numSide * c.numSide - 1;
        put(s, 0, { 500.0f, 500.0f, 1.0f, -2.0f });
        put(s, last, { 2000.0f, 2000.0f, std::numeric_limits<float>::infinity(), 0.0f });
        RecordingCanvas path;
        try {
            c.unbounded ? brownian::unboundedSubStep(s, path) : boundedSubStep(s, path);
            ADD_FAILURE() << c.numSide << ": no fault";
        } catch (const brownian::RuntimeFault &fault) {
            EXPECT_EQ(fault.kind(), brownian::FaultKind::Floating) << c.numSide;
        }
        EXPECT_EQ(get(s, 0).x, 501.0f) << c.numSide;
        EXPECT_EQ(get(s, 0).y, 498.0f) << c.numSide;
    }
}

} // namespace
