#include "pair_grid.h"

#include "model/geometry.h"
#include "pair_cells.h"
#include "pair_helper.h"
#include "particle_passes.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace brownian {

using pairs::CellGrid;
using pairs::chunkBegin;
using pairs::ChunkPairs;
using pairs::findPairs;
using pairs::Helper;
using pairs::kChunks;

namespace {

std::atomic<PairPass> g_pass { PairPass::Auto };

constexpr double kPeriod = field::kPeriod;

std::atomic<int> g_threads { std::thread::hardware_concurrency() >= 2 ? 2 : 1 };

/// CollidePar on raw arrays: the same Single and Double operations in the same order as
/// exchangeVelocities, so the same bits, without the range checks of each access (the pass
/// checked its indexes against the arrays once). Returns false, having changed nothing, where
/// a result is not a finite Single: CollidePar then raises the fault.
inline bool exchangeDirect(float *x, float *y, float *vx, float *vy, int I, int J)
{
    const float fx = static_cast<float>(static_cast<double>(x[I]) - x[J]);
    const float fy = static_cast<float>(static_cast<double>(y[I]) - y[J]);
    if (fx == 0.0f && fy == 0.0f)
        return true;
    const ExchangedVelocities v = exchangeArithmetic(
        fx, fy, vx[I], vy[I], vx[J], vy[J], [](double value) { return static_cast<float>(value); });
    // x - x is 0 exactly for finite x, NaN for infinities and NaN: one test for all. The
    // projections are finite when the velocities they give are, or the exchange would have
    // spread their infinity or NaN into them.
    const float all = (fx - fx) + (fy - fy) + (v.vxI - v.vxI) + (v.vyI - v.vyI) + (v.vxJ - v.vxJ)
        + (v.vyJ - v.vyJ);
    if (all != 0.0f)
        return false;
    vx[I] = v.vxI;
    vy[I] = v.vyI;
    vx[J] = v.vxJ;
    vy[J] = v.vyJ;
    return true;
}

/// Cells of at least this side, twips, hold every pair in contact in neighbouring cells: a
/// pair in contact is at most ParSize apart on each axis, and the twip added covers every
/// rounding of the cell computation and of the period shifts.
double minimumCell(double size)
{
    return std::max(size, 0.0) + 1.0;
}

/// At most about two cells per particle: more only adds empty cells to visit.
int cellLimit(int count)
{
    return static_cast<int>(std::sqrt(2.0 * count)) + 1;
}

/// The wall pass and the cells of a clamped grid for particles from .. to - 1: each particle's
/// cell with its indexes clamped to 0 .. n - 1 (NaN to 0, where it touches nothing), written
/// without branches so that the loop vectorises. Truncation is the floor for the non-negative
/// quotients.
__attribute__((always_inline)) inline void bounceAndFileLoop(const float *__restrict x,
    const float *__restrict y, float *__restrict vx, float *__restrict vy, int *__restrict cell,
    int from, int to, double h, double lowX, double lowY, double perCell, int n)
{
    const double last = n - 1;
    const int stride = n + 2;
    auto column = [&](double v, double low) {
        double q = (v - low) * perCell;
        q = q >= 0.0 ? q : 0.0; // NaN too
        q = q >= last ? last : q;
        return static_cast<int>(q);
    };
    for (int i = from; i < to; ++i) {
        passes::bounceOffWalls(x, y, vx, vy, i, h);
        cell[i] = (column(y[i], lowY) + 1) * stride + column(x[i], lowX) + 1;
    }
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define BROWNIAN_HAS_WIDE_FILL 1
/// The same loop four lanes of Double wide, where the processor has AVX2.
__attribute__((target("avx2"))) void bounceAndFileWide(const float *x, const float *y, float *vx,
    float *vy, int *cell, int from, int to, double h, double lowX, double lowY, double perCell,
    int n)
{
    bounceAndFileLoop(x, y, vx, vy, cell, from, to, h, lowX, lowY, perCell, n);
}
#endif

void bounceAndFile(const float *x, const float *y, float *vx, float *vy, int *cell, int from,
    int to, double h, double lowX, double lowY, double perCell, int n)
{
#ifdef BROWNIAN_HAS_WIDE_FILL
    if (pairs::wideSearch()) {
        bounceAndFileWide(x, y, vx, vy, cell, from, to, h, lowX, lowY, perCell, n);
        return;
    }
#endif
    bounceAndFileLoop(x, y, vx, vy, cell, from, to, h, lowX, lowY, perCell, n);
}

/// The range of the finite coordinates, cut off at ±2^20 twips (particles beyond share the
/// edge cells); low > high when there is none.
struct Range
{
    double low = 0, high = 0;
};

Range finiteRange(const float *v, int count)
{
    constexpr float kFar = 1048576.0f;
    float low = kFar, high = -kFar;
    int i = 0;
#ifdef __SSE2__
    // _mm_min_ps(c, low) is c < low ? c : low, lane by lane, as below.
    __m128 low4 = _mm_set1_ps(kFar), high4 = _mm_set1_ps(-kFar);
    for (; i + 4 <= count; i += 4) {
        const __m128 c = _mm_loadu_ps(v + i);
        low4 = _mm_min_ps(c, low4);
        high4 = _mm_max_ps(c, high4);
    }
    float lows[4], highs[4];
    _mm_storeu_ps(lows, low4);
    _mm_storeu_ps(highs, high4);
    for (int k = 0; k < 4; ++k) {
        low = lows[k] < low ? lows[k] : low;
        high = highs[k] > high ? highs[k] : high;
    }
#endif
    for (; i < count; ++i) {
        const float c = v[i];
        low = c < low ? c : low; // NaN compares false and is left out
        high = c > high ? c : high;
    }
    return { std::max<double>(low, -kFar), std::min<double>(high, kFar) };
}

} // namespace

PairPass pairPass()
{
    return g_pass.load(std::memory_order_relaxed);
}

void setPairPass(PairPass pass)
{
    g_pass.store(pass, std::memory_order_relaxed);
}

bool gridWanted(int count)
{
    switch (pairPass()) {
    case PairPass::All:
        return false;
    case PairPass::Grid:
        return true;
    case PairPass::Auto:
        break;
    }
    return count >= kGridFromParticles;
}

void setPairSearchThreads(int threads)
{
    g_threads.store(threads >= 2 ? 2 : 1, std::memory_order_relaxed);
}

int pairSearchThreads()
{
    return g_threads.load(std::memory_order_relaxed);
}

namespace {

/// Fills the grid's cells and coordinates for every particle, fillRange(from, to) storing
/// them for a range, and counts the cells, in two halves shared with the helper; then sorts
/// the particles by cell.
template <typename FillRange>
void fillGrid(CellGrid &g, int count, bool share, FillRange &&fillRange)
{
    g.resize(count);
    auto fill = [&](int h) {
        const int from = CellGrid::halfBegin(count, h), to = CellGrid::halfBegin(count, h + 1);
        fillRange(from, to);
        g.countHalf(h, from, to);
    };
    Helper::instance().run(2, fill, share);
    g.place(count, share);
}

/// The collisions are settled in groups of this many consecutive search chunks.
constexpr int kChunksPerGroup = 8;
constexpr int kGroups = kChunks / kChunksPerGroup;

/// A pair across the seams settled late, with the positions it found: CollideWrap may shift
/// them.
struct PositionUndo
{
    int i, j;
    float xI, yI, xJ, yJ;
};

struct Group
{
    // Sized for all the group's pairs, so that the first round writes without checks.
    std::vector<std::uint64_t> later; // pairs left to the second round, in (i, j) order
    std::size_t laterCount = 0, settled = 0;
    bool fault = false;
};

/// Settles the pairs found, in (i, j) order, exactly as the all-pairs pass settles them:
/// `settle(i, j)` tests and collides one pair the way the pass does and returns whether it
/// was in contact; `decide(i, j)` makes the same test without side effects and tells how the
/// pair would be collided.
///
/// Pairs touch each other's results only through a shared particle, so with the helper
/// thread the groups of chunks are settled side by side first: a group settles its pairs in
/// order, except a pair with a partner in a later group, a pair with a particle that an
/// earlier group's pair reaches, and from there on every pair with a particle of a pair left
/// over; those are then settled on the calling thread in (i, j) order. Every particle sees
/// its pairs in (i, j) order either way. A collision whose results would not be finite
/// takes everything back and settles all pairs again on the calling thread alone, where it
/// raises its fault exactly as the all-pairs pass does.
enum class Way { Apart, Direct, Wrap };

template <typename Settle, typename Decide>
std::uint64_t settlePairs(ModPar &s, int count, std::vector<ChunkPairs> &chunks, bool share,
    Settle &&settle, Decide &&decide)
{
    auto serial = [&] {
        std::uint64_t contacts = 0;
        for (const ChunkPairs &c : chunks) {
            for (std::size_t a = 0; a < c.count; ++a)
                contacts += settle(pairs::firstOf(c.pairs[a]), pairs::secondOf(c.pairs[a]));
        }
        return contacts;
    };
    if (!share || pairSearchThreads() < 2)
        return serial();

    float *x = s.ParX.data();
    float *y = s.ParY.data();
    float *vx = s.ParVX.data();
    float *vy = s.ParVY.data();
    thread_local std::vector<unsigned char> mineFlags;
    thread_local std::vector<Group> mineGroups(kGroups);
    std::vector<unsigned char> &left = mineFlags; // 1: the particle's pairs wait for round two
    std::vector<Group> &groups = mineGroups;
    thread_local std::vector<float> mineSavedVx, mineSavedVy;
    std::vector<float> &savedVx = mineSavedVx, &savedVy = mineSavedVy; // at the pass's start
    savedVx.resize(static_cast<std::size_t>(count));
    savedVy.resize(static_cast<std::size_t>(count));
    left.resize(static_cast<std::size_t>(count) + kGroups); // and a slot for each group
    auto groupEnd = [&](int g) { return chunkBegin(count, (g + 1) * kChunksPerGroup); };
    auto first = [&](int g) {
        Group &group = groups[g];
        // The group's own flags, the only ones it reads or writes: first the particles that
        // the earlier groups' pairs reach.
        const int begin = g == 0 ? 0 : groupEnd(g - 1), end = groupEnd(g);
        std::fill(left.begin() + begin, left.begin() + end, 0);
        for (int k = 0; k < g * kChunksPerGroup; ++k) {
            const ChunkPairs &c = chunks[k];
            for (std::size_t a = 0; a < c.beyondCount; ++a) {
                const int j = c.beyond[a];
                // Without a branch that would go either way.
                left[j >= begin && j < end ? j : count + g] = 1;
            }
        }
        std::size_t most = 0;
        for (int k = g * kChunksPerGroup; k < (g + 1) * kChunksPerGroup; ++k)
            most += chunks[k].count;
        if (group.later.size() < most)
            group.later.resize(most);
        std::uint64_t *later = group.later.data();
        std::size_t laterCount = 0, settled = 0;
        // The first round changes the velocities of the group's own particles only: kept
        // here, they can all be taken back.
        std::copy(vx + begin, vx + end, savedVx.begin() + begin);
        std::copy(vy + begin, vy + end, savedVy.begin() + begin);
        group.fault = false;
        unsigned char *l = left.data();
        for (int k = g * kChunksPerGroup; k < (g + 1) * kChunksPerGroup && !group.fault; ++k) {
            const ChunkPairs &c = chunks[k];
            for (std::size_t a = 0; a < c.count; ++a) {
                const std::uint64_t p = c.pairs[a];
                const int i = pairs::firstOf(p), j = pairs::secondOf(p);
                if (j >= end) {
                    l[i] = 1;
                    later[laterCount++] = p;
                    continue;
                }
                if (l[i] | l[j]) {
                    l[i] = l[j] = 1;
                    later[laterCount++] = p;
                    continue;
                }
                const Way way = decide(i, j);
                if (way == Way::Apart)
                    continue;
                if (way == Way::Wrap) {
                    l[i] = l[j] = 1;
                    later[laterCount++] = p;
                    continue;
                }
                if (!exchangeDirect(x, y, vx, vy, i, j)) {
                    group.fault = true;
                    break;
                }
                ++settled;
            }
        }
        group.laterCount = laterCount;
        group.settled = settled;
    };
    Helper::instance().run(kGroups, first, true);

    thread_local std::vector<PositionUndo> mineLate;
    std::vector<PositionUndo> &late = mineLate;
    late.clear();
    auto takeBack = [&] {
        for (auto u = late.rbegin(); u != late.rend(); ++u) {
            x[u->i] = u->xI;
            y[u->i] = u->yI;
            x[u->j] = u->xJ;
            y[u->j] = u->yJ;
        }
        std::copy(savedVx.begin(), savedVx.begin() + count, vx);
        std::copy(savedVy.begin(), savedVy.begin() + count, vy);
        return serial();
    };
    std::uint64_t contacts = 0;
    for (const Group &group : groups) {
        if (group.fault)
            return takeBack();
        contacts += group.settled;
    }
    for (const Group &group : groups) {
        for (std::size_t a = 0; a < group.laterCount; ++a) {
            const std::uint64_t p = group.later[a];
            const int i = pairs::firstOf(p), j = pairs::secondOf(p);
            const Way way = decide(i, j);
            if (way == Way::Apart)
                continue;
            if (way == Way::Direct) {
                if (!exchangeDirect(x, y, vx, vy, i, j))
                    return takeBack();
            } else {
                late.push_back({ i, j, x[i], y[i], x[j], y[j] });
                try {
                    settle(i, j);
                } catch (...) {
                    return takeBack();
                }
            }
            ++contacts;
        }
    }
    return contacts;
}

} // namespace

void boundedGridPairPass(ModPar &s, int count, TickCounters *counters)
{
    thread_local CellGrid mine;
    CellGrid &grid = mine; // the helper's lambdas need the caller's grid
    float *x = s.ParX.data();
    float *y = s.ParY.data();
    const double size = s.ParSize.toDouble();
    const int limit = cellLimit(count);
    const bool share = count >= pairs::kShareFromParticles;
    Range rx, ry;
    auto ranges = [&](int k) { (k == 0 ? rx : ry) = finiteRange(k == 0 ? x : y, count); };
    Helper::instance().run(2, ranges, share);
    const double spanX = rx.high > rx.low ? rx.high - rx.low : 0.0;
    const double spanY = ry.high > ry.low ? ry.high - ry.low : 0.0;
    const double width = std::max(minimumCell(size), std::max(spanX, spanY) / limit);
    const int n = std::min(limit + 1, static_cast<int>(std::max(spanX, spanY) / width) + 1);
    // Multiplying by the reciprocal rounds differently from dividing only at a cell's edge,
    // and by far less than the cell's margin of a twip.
    const double perCell = 1.0 / width;
    grid.n = n;
    grid.periodic = false;
    grid.pu = x; // the positions themselves: they do not change during the pass
    grid.pv = y;
    float *vx = s.ParVX.data();
    float *vy = s.ParVY.data();
    const double half = size / 2.0;
    fillGrid(grid, count, share, [&](int from, int to) {
        bounceAndFile(x, y, vx, vy, grid.cell.data(), from, to, half, rx.low, ry.low, perCell, n);
    });

    // Candidates: a squared distance in Single, whose few roundings stay far below the 2^-16
    // added, within a bound above ParSize². Each is settled by the all-pairs pass's own
    // test, the square root in Double, during the search. Collisions change velocities only,
    // so the pairs found on the positions at the start are the pairs in contact.
    const auto bound = static_cast<float>(size * size * (1.0 + 0x1p-16));
    thread_local std::vector<ChunkPairs> mineChunks;
    std::vector<ChunkPairs> &chunks = mineChunks;
    findPairs(grid, count, bound, size, chunks, share);
    const std::uint64_t contacts = settlePairs(
        s, count, chunks, share,
        [&](int i, int j) {
            if (!exchangeDirect(x, y, vx, vy, i, j))
                CollidePar(s, i, j);
            return true;
        },
        [](int, int) { return Way::Direct; });
    if (counters) {
        counters->contacts += contacts;
        for (const ChunkPairs &c : chunks)
            counters->pairTests += c.tests;
    }
}

bool unboundedGridPairPass(ModPar &s, int count, TickCounters *counters)
{
    const Integer seam = Integer(6000) - s.ParSize;
    const float w = seam.toSingle();
    const double size = s.ParSize.toDouble();
    const int n = std::min(static_cast<int>(kPeriod / minimumCell(size)), cellLimit(count));
    if (n < 3)
        return false;
    // Coordinates are shifted by the period during the pass; within ±2^16 twips the roundings
    // of those shifts stay far below the cell's margin of one twip.
    constexpr float kFar = 65536.0f;
    float *x = s.ParX.data();
    float *y = s.ParY.data();
    thread_local CellGrid mine;
    CellGrid &grid = mine; // the helper's lambdas need the caller's grid
    const double perCell = n / kPeriod;
    auto reduce = [](double c) { // into [0, period), up to a rounding
        double r = c - static_cast<double>(field::kFieldLow);
        if (!(r >= 0.0 && r < kPeriod))
            r -= kPeriod * std::floor(r / kPeriod);
        return r;
    };
    auto periodicCell = [&](double r) {
        const int q = static_cast<int>(r * perCell);
        return q < 0 ? 0 : (q >= n ? n - 1 : q);
    };
    const bool share = count >= pairs::kShareFromParticles;
    grid.n = n;
    grid.periodic = true;
    grid.u.resize(count);
    grid.v.resize(count);
    grid.pu = grid.u.data();
    grid.pv = grid.v.data();
    std::atomic<bool> tooFar { false };
    fillGrid(grid, count, share, [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            if (!(std::fabs(x[i]) <= kFar && std::fabs(y[i]) <= kFar)) { // NaN too
                tooFar.store(true, std::memory_order_relaxed);
                grid.cell[i] = grid.at(0, 0);
                continue;
            }
            const double u = reduce(x[i]), v = reduce(y[i]);
            grid.u[i] = static_cast<float>(u); // a rounding far below the cell's margin
            grid.v[i] = static_cast<float>(v);
            grid.cell[i] = grid.at(periodicCell(u), periodicCell(v));
        }
    });
    if (tooFar.load(std::memory_order_relaxed))
        return false; // nothing changed but the grid

    // Candidates: pairs within ParSize + 1 twip of each other on the torus, on the positions
    // at the start. A pair in contact when the pass reaches it is that close: CollideWrap only
    // moves coordinates by the period, give or take a rounding far below the twip. Each
    // candidate is then settled in (i, j) order on the positions as they stand when it is
    // reached, by the all-pairs pass's own test, so that the shifts made by CollideWrap are
    // seen as there.
    const double reach = minimumCell(size);
    thread_local std::vector<ChunkPairs> mineChunks;
    std::vector<ChunkPairs> &chunks = mineChunks;
    findPairs(grid, count, static_cast<float>(reach * reach), -1.0, chunks, share);
    float *vx = s.ParVX.data();
    float *vy = s.ParVY.data();
    auto decide = [&](int i, int j) {
        const double ddx = static_cast<double>(x[i]) - x[j];
        const bool acrossX = static_cast<float>(std::fabs(ddx)) >= w;
        const double sx = acrossX ? kPeriod - std::fabs(ddx) : ddx;
        if (std::fabs(sx) > size)
            return Way::Apart;
        const double ddy = static_cast<double>(y[i]) - y[j];
        const bool acrossY = static_cast<float>(std::fabs(ddy)) >= w;
        const double sy = acrossY ? kPeriod - std::fabs(ddy) : ddy;
        if (!(std::sqrt(sx * sx + sy * sy) <= size))
            return Way::Apart;
        return acrossX || acrossY ? Way::Wrap : Way::Direct;
    };
    const std::uint64_t contacts = settlePairs(
        s, count, chunks, share,
        [&](int i, int j) {
            switch (decide(i, j)) {
            case Way::Apart:
                return false;
            case Way::Wrap:
                CollideWrap(s, i, j);
                return true;
            case Way::Direct:
                if (!exchangeDirect(x, y, vx, vy, i, j))
                    CollidePar(s, i, j);
                return true;
            }
            return false;
        },
        decide);
    if (counters) {
        counters->contacts += contacts;
        for (const ChunkPairs &c : chunks)
            counters->pairTests += c.tests;
    }
    return true;
}

} // namespace brownian
