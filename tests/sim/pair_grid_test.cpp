// The cell-grid pair passes against the all-pairs passes, bit for bit: random contact-heavy
// states, states built to sit on every threshold of the contact and seam tests, and a long run.
#include "model/fault.h"
#include "model/modpar.h"
#include "sim/pair_cells.h"
#include "sim/simulation.h"
#include "support/state_builder.h"
#include "support/state_compare.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <string>

using brownian::ModPar;
using brownian::NullCanvas;
using brownian::PairPass;
using brownian::Simulation;
using brownian::TickCounters;
using brownian::test::Particle;

namespace {

#ifdef BROWNIAN_SANITIZED_TESTS
constexpr int kLongRunSubSteps = 3;
#else
constexpr int kLongRunSubSteps = 25;
#endif

struct Outcome
{
    std::vector<std::uint32_t> bits;
    std::uint64_t contacts = 0;
};

/// The thread counts the grid passes are checked with on any machine: one, as many as this
/// one has, and more, which must all give the same bits.
const std::vector<int> kThreadCounts { 1, 2, 3, 4, 8 };

Outcome run(
    ModPar s, bool unbounded, PairPass pass, int subSteps, int threads = 1, bool wide = true)
{
    Simulation simulation(std::move(s), threads, pass);
    simulation.setWideSearch(wide);
    NullCanvas path;
    TickCounters counters;
    for (int k = 0; k < subSteps; ++k)
        simulation.subStep(unbounded, path, &counters);
    return { brownian::test::stateBits(simulation.state()), counters.contacts };
}

/// Runs the state with both passes and expects identical arrays; returns the contacts made.
/// Both run with their AVX2 code where the processor has it and with the baseline code, the
/// grid on each of `threads`.
std::uint64_t expectSame(const ModPar &s, bool unbounded, int subSteps, const std::string &what,
    const std::vector<int> &threads = { 1 })
{
    const Outcome all = run(s, unbounded, PairPass::All, subSteps, 1, false);
    for (const bool wide : { true, false }) {
        if (wide && !brownian::pairs::wideSearchAvailable())
            continue;
        const std::string code = wide ? ", AVX2, " : ", baseline, ";
        if (wide) {
            const Outcome wideAll = run(s, unbounded, PairPass::All, subSteps, 1, true);
            EXPECT_TRUE(wideAll.bits == all.bits) << what << code << "all pairs";
        }
        for (const int t : threads) {
            const Outcome grid = run(s, unbounded, PairPass::Grid, subSteps, t, wide);
            EXPECT_EQ(grid.contacts, all.contacts) << what << code << t << " threads";
            EXPECT_TRUE(grid.bits == all.bits) << what << code << t << " threads";
        }
    }
    return all.contacts;
}

ModPar blank(int numSide, int size)
{
    ModPar s = brownian::test::parkedState(numSide, size);
    return s;
}

/// Particles in a few tight clusters, so that most have several partners; velocities of a few
/// twips either way. In the unbounded mode the clusters sit preferably on the seams.
ModPar clustered(std::mt19937 &rng, int numSide, int size, bool unbounded)
{
    ModPar s = blank(numSide, size);
    const int count = numSide * numSide;
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const int clusters = 1 + count / 12;
    std::vector<std::pair<float, float>> centres;
    for (int c = 0; c < clusters; ++c) {
        float cx = -500.0f + 6000.0f * unit(rng), cy = -500.0f + 6000.0f * unit(rng);
        if (unbounded && c % 3 == 0)
            cx = unit(rng) < 0.5f ? -500.0f + size * unit(rng) : 5500.0f - size * unit(rng);
        if (unbounded && c % 4 == 0)
            cy = unit(rng) < 0.5f ? -500.0f + size * unit(rng) : 5500.0f - size * unit(rng);
        centres.emplace_back(cx, cy);
    }
    const float spread = 1.5f * static_cast<float>(size) + 1.0f;
    for (int i = 0; i < count; ++i) {
        const auto [cx, cy] = centres[static_cast<std::size_t>(i) % centres.size()];
        float x = cx + spread * (unit(rng) - 0.5f);
        float y = cy + spread * (unit(rng) - 0.5f);
        if (unbounded) { // inside the field, as after a wrap pass
            x = x < -500.0f ? x + 6000.0f : (x > 5500.0f ? x - 6000.0f : x);
            y = y < -500.0f ? y + 6000.0f : (y > 5500.0f ? y - 6000.0f : y);
        }
        brownian::test::put(s, i, { x, y, 8.0f * (unit(rng) - 0.5f), 8.0f * (unit(rng) - 0.5f) });
    }
    return s;
}

TEST(PairGrid, MatchesAllPairsOnRandomContactHeavyStates)
{
    std::mt19937 rng(20240611);
    std::uint64_t contacts = 0;
    for (const bool unbounded : { false, true }) {
        for (int trial = 0; trial < 60; ++trial) {
            const int numSide = trial < 50 ? 1 + trial % 17 : 30 + trial % 25;
            const int size = std::array { 25, 40, 200, 400, 500, 1499 }[trial % 6];
            const ModPar s = clustered(rng, numSide, size, unbounded);
            contacts += expectSame(s, unbounded, 3,
                (unbounded ? "unbounded" : "bounded") + std::string(" trial ")
                    + std::to_string(trial));
        }
    }
    EXPECT_GT(contacts, 10000u); // the states are contact-heavy
}

/// Pairs placed exactly at the thresholds: distance exactly ParSize and one Single step either
/// side, along an axis and along a 3-4-5 diagonal, at coordinates where the Single spacing
/// differs.
TEST(PairGrid, MatchesAllPairsAtTheContactDistance)
{
    for (const bool unbounded : { false, true }) {
        for (const int size : { 25, 40, 400, 500 }) {
            ModPar s = blank(6, size);
            int i = 0;
            // Bases where b + ParSize is a Single, so that the first partner is exactly
            // ParSize away.
            const float base[] = { 0.0f, 1000.375f, 2047.5f, 4095.75f };
            for (const float b : base) {
                const float exact = b + static_cast<float>(size);
                for (const float other :
                    { exact, std::nextafter(exact, 0.0f), std::nextafter(exact, 1e9f) }) {
                    const float y = 100.0f + 600.0f * (i / 2 % 3);
                    brownian::test::put(s, i++, { b, y, 1.0f, 0.5f });
                    brownian::test::put(s, i++, { other, y, -1.0f, 0.25f });
                }
            }
            // A 3-4-5 triangle: exactly ParSize apart on the diagonal.
            const float d3 = static_cast<float>(3 * size / 5),
                        d4 = static_cast<float>(4 * size / 5);
            brownian::test::put(s, i++, { 3000.0f, 3000.0f, 2.0f, 0.0f });
            brownian::test::put(s, i++, { 3000.0f + d3, 3000.0f + d4, 0.0f, -1.0f });
            // ParSize along y and 2^-21 across: d² is a unit in the last place above ParSize²,
            // and for 40 its correctly rounded root is still exactly 40, a contact.
            const float sliver = 0x1p-21f;
            brownian::test::put(s, i++, { 0.0f, 2200.0f, 1.0f, 1.0f });
            brownian::test::put(s, i++, { sliver, 2200.0f + size, 0.5f, -1.0f });
            const double d2 = static_cast<double>(sliver) * sliver + double(size) * size;
            const bool sliverTouches = std::sqrt(d2) <= size;
            EXPECT_TRUE(sliverTouches || size != 40);
            ASSERT_LE(i, 36);
            const std::uint64_t contacts =
                expectSame(s, unbounded, 1, "size " + std::to_string(size));
            // Each exact pair, each one a step closer, the triangle, and the sliver where it
            // touches.
            EXPECT_EQ(contacts, sliverTouches ? 10u : 9u);
        }
    }
}

/// Pairs across the seams at exactly W = 6000 - ParSize apart and one step either side, at the
/// corners of the torus, and chains where a CollideWrap shift turns a later pair of the same
/// pass from a direct pair into a pair across the seam.
TEST(PairGrid, MatchesAllPairsOnALatticeAtTheContactDistance)
{
    // Every neighbour exactly ParSize away on both axes, with the lattice lines on the cell
    // edges of a grid whose cells would be exactly ParSize wide: a cell computation that
    // rounds an edge one way for one particle and the other way for its neighbour loses the
    // pair unless the cells keep a margin. At 49, 103, 161 and 187 twips the reciprocal of
    // the width puts some lattice line just below its edge.
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> velocity(-2.5f, 2.5f);
    for (const bool unbounded : { false, true }) {
        for (const int size :
            { 49, 103, 161, 187, 200, 240, 250, 300, 375, 400, 500, 600, 750, 1000, 1500 }) {
            const float origin = unbounded ? -500.0f : 0.0f;
            const int side = (unbounded ? 6000 : 5000) / size;
            ModPar s = blank(side, size);
            for (int i = 0; i < side * side; ++i) {
                brownian::test::put(s, i,
                    { origin + static_cast<float>(size * (i % side)),
                        origin + static_cast<float>(size * (i / side)), velocity(rng),
                        velocity(rng) });
            }
            expectSame(s, unbounded, 1,
                std::string(unbounded ? "unbounded" : "bounded") + " size " + std::to_string(size));
        }
    }
}

TEST(PairGrid, MatchesAllPairsOnTheSeamsAndCorners)
{
    for (const int size : { 40, 400, 500 }) {
        const float w = static_cast<float>(6000 - size);
        ModPar s = blank(6, size);
        int i = 0;
        for (const float low : { -500.0f, -499.75f, -300.0f }) {
            const float high = low + w;
            for (const float other :
                { high, std::nextafter(high, 0.0f), std::nextafter(high, 1e9f) }) {
                const float y = 200.0f + 150.0f * i;
                brownian::test::put(s, i++, { low, y, -2.0f, 1.0f });
                brownian::test::put(s, i++, { other, y, 3.0f, -1.0f });
            }
        }
        // The four corners of the torus, each a particle of the same contact group.
        const float in = 0.2f * size;
        brownian::test::put(s, i++, { -500.0f + in, -500.0f + in, 1.0f, 1.0f });
        brownian::test::put(s, i++, { 5500.0f - in, -500.0f + in, -1.0f, 1.0f });
        brownian::test::put(s, i++, { -500.0f + in, 5500.0f - in, 1.0f, -1.0f });
        brownian::test::put(s, i++, { 5500.0f - in, 5500.0f - in, -1.0f, -1.0f });
        // A chain over the x seam: the first collision shifts particle a, which puts its later
        // direct partner c across the seam from it.
        const float mid = 2600.0f;
        brownian::test::put(s, i++, { -480.0f, mid, 2.0f, 0.5f }); // a
        brownian::test::put(
            s, i++, { 5500.0f - 0.4f * size, mid, -1.0f, 0.0f }); // b, across from a
        brownian::test::put(s, i++, { -480.0f + 0.5f * size, mid + 0.3f * size, 0.0f, -2.0f }); // c
        brownian::test::put(s, i++, { -480.0f + 0.9f * size, mid - 0.2f * size, 1.5f, 1.0f });
        ASSERT_LE(i, 36);
        EXPECT_GE(expectSame(s, true, 1, "size " + std::to_string(size)), 10u);
        EXPECT_GE(expectSame(s, true, 4, "size " + std::to_string(size)), 10u);
    }
}

/// Bounded states with particles far outside the box, which the clamped grid must still pair.
TEST(PairGrid, MatchesAllPairsFarOutsideTheBox)
{
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> jitter(-30.0f, 30.0f);
    const float far[] = { -1e7f, -123456.0f, -7000.0f, 9000.0f, 2e6f, 3e9f };
    ModPar s = blank(9, 60);
    int i = 0;
    for (const float fx : far) {
        for (const float fy : { fx, 2500.0f }) {
            for (int k = 0; k < 6 && i < 81; ++k)
                brownian::test::put(s, i++, { fx + jitter(rng), fy + jitter(rng), 0.5f, -0.5f });
        }
    }
    while (i < 81)
        brownian::test::put(s, i++, { 2500.0f + 5 * jitter(rng), 2500.0f + 5 * jitter(rng), 1, 1 });
    EXPECT_GT(expectSame(s, false, 2, "far outside"), 20u);
}

/// Discs exactly touching a wall of the box, and a Single step either side: the grid's filing
/// bounces them off the walls exactly as the wall pass does.
TEST(PairGrid, MatchesAllPairsAtTheWalls)
{
    for (const int size : { 25, 40 }) {
        ModPar s = blank(6, size);
        const float h = static_cast<float>(size) / 2, far = 5000.0f - h;
        int i = 0;
        for (const float edge : { h, far }) {
            for (const float at :
                { edge, std::nextafter(edge, 0.0f), std::nextafter(edge, 1e9f) }) {
                brownian::test::put(s, i++, { at, 1000.0f + 100.0f * i, 0.5f, 0.25f });
                brownian::test::put(s, i++, { 1000.0f + 100.0f * i, at, -0.25f, 0.5f });
            }
        }
        expectSame(s, false, 2, "walls, size " + std::to_string(size));
    }
}

/// The cases where the unbounded grid steps aside for the all-pairs pass, and the smallest
/// grids: one particle, particles larger than the field, two and three cells per axis,
/// coordinates far outside the field, and a negative size.
TEST(PairGrid, MatchesAllPairsForTinyAndHugeCases)
{
    std::mt19937 rng(5);
    for (const bool unbounded : { false, true }) {
        ModPar one = blank(1, 400);
        brownian::test::put(one, 0, { 10.0f, -20.0f, 3.0f, 1.0f });
        expectSame(one, unbounded, 3, "one particle");
        for (const int size : { 1499, 1999, 2000, 5999, 6000, 7000, 13000 }) {
            const ModPar s = clustered(rng, 7, size, unbounded);
            expectSame(s, unbounded, 3, "size " + std::to_string(size));
        }
    }
    // Nothing is within a negative size; the walls still turn the particles.
    ModPar negative = clustered(rng, 7, 40, false);
    negative.ParSize = brownian::Integer(-40);
    expectSame(negative, false, 2, "a negative size");
    ModPar out = clustered(rng, 8, 200, true);
    brownian::test::put(out, 5, { 70000.0f, 10.0f, 1.0f, 1.0f });
    expectSame(out, true, 2, "a coordinate far outside the field");
}

/// A long unbounded run of 10 000 particles, as the lab runs it: after many sub-steps the grid
/// run and the all-pairs run hold the same bits.
TEST(PairGrid, LongUnboundedRunMatchesAllPairs)
{
    ModPar s;
    s.setDefaults();
    s.NumSide = 100;
    s.ParSize = 40;
    s.BoundMode = 1;
    s.redim();
    brownian::InitPar(s, 1000);
    const Outcome all = run(s, true, PairPass::All, kLongRunSubSteps);
    const Outcome grid = run(s, true, PairPass::Grid, kLongRunSubSteps);
    EXPECT_GT(all.contacts, 40u * kLongRunSubSteps); // about 48 a sub-step at the start
    EXPECT_EQ(grid.contacts, all.contacts);
    EXPECT_TRUE(grid.bits == all.bits);
}

/// A collision whose velocities overflow raises its fault after exactly the collisions before
/// it in (i, j) order, also where other pairs, later in that order, were settled side by side
/// with it on the helper thread and must be taken back, and where pairs across the seams
/// before it were left to the calling thread and shifted their particles.
TEST(PairGrid, OverflowingCollisionFaultsAfterTheSamePairs)
{
    std::mt19937 rng(31);
    struct Case
    {
        int faulty; // in the first or in the last group of pairs
        bool acrossSeams; // the faulty pair and an earlier one across the seams (unbounded)
    };
    for (const bool unbounded : { false, true }) {
        for (const Case c : { Case { 10, false }, Case { 3000, false }, Case { 3000, true } }) {
            if (c.acrossSeams && !unbounded)
                continue;
            ModPar s = clustered(rng, 60, 40, unbounded);
            const int faulty = c.faulty;
            if (c.acrossSeams) {
                brownian::test::put(s, 5, { -490.0f, 3000.0f, 1.0f, 0.5f });
                brownian::test::put(s, 6, { 5495.0f, 3005.0f, -1.0f, 0.0f });
                brownian::test::put(s, faulty, { 2000.0f, -490.0f, 1.0f, 3.0e38f });
                brownian::test::put(s, faulty + 1, { 2005.0f, 5495.0f, 1.0f, -3.0e38f });
            } else {
                brownian::test::put(s, faulty, { 2000.0f, 2000.0f, 3.0e38f, 1.0f });
                brownian::test::put(s, faulty + 1, { 2010.0f, 2000.0f, -3.0e38f, 1.0f });
            }
            auto faulted = [&](PairPass pass, int threads) {
                Simulation simulation(s, threads, pass);
                NullCanvas path;
                EXPECT_THROW(simulation.subStep(unbounded, path), brownian::RuntimeFault);
                return brownian::test::stateBits(simulation.state());
            };
            const std::vector<std::uint32_t> all = faulted(PairPass::All, 1);
            for (const int threads : kThreadCounts) {
                EXPECT_TRUE(faulted(PairPass::Grid, threads) == all)
                    << (unbounded ? "unbounded" : "bounded") << ", pair at " << faulty << ", "
                    << threads << " threads";
            }
            EXPECT_FALSE(all == brownian::test::stateBits(s)); // earlier pairs collided
        }
    }
}

} // namespace

/// A chain of three discs across the first index of the second group of pairs, which another
/// thread settles side by side with the first: the pair into that group must be settled
/// before the pair within it, as in the all-pairs pass.
TEST(PairGrid, MatchesAllPairsAcrossTheWorkersGroups)
{
    for (const bool unbounded : { false, true }) {
        ModPar s = blank(46, 40); // 2116 particles: the workers take part
        const int first = brownian::pairs::chunkBegin(46 * 46, brownian::pairs::kChunks / 2);
        brownian::test::put(s, first - 1, { 1000.0f, 1000.0f, 2.0f, 0.5f });
        brownian::test::put(s, first, { 1036.0f, 1003.0f, -1.0f, 0.0f });
        brownian::test::put(s, first + 1, { 1072.0f, 1000.0f, -0.5f, 1.5f });
        const std::uint64_t contacts =
            expectSame(s, unbounded, 1, unbounded ? "unbounded" : "bounded", { 2 });
        if (!unbounded) { // on the torus the parked discs fall onto one another
            EXPECT_EQ(contacts, 2u);
        }
    }
}

/// The work is shared between any number of threads, more than the machine has too: the
/// states must not tell how many.
TEST(PairGrid, SameBitsOnAnyNumberOfThreads)
{
    std::mt19937 rng(77);
    for (const bool unbounded : { false, true }) {
        const ModPar s = clustered(rng, 60, 40, unbounded);
        EXPECT_GT(
            expectSame(s, unbounded, 4, unbounded ? "unbounded" : "bounded", kThreadCounts), 1000u);
    }
}
