#include "pair_grid.h"

#include "engine.h"
#include "model/geometry.h"
#include "pair_cells.h"
#include "pair_settle.h"
#include "particle_passes.h"
#include "step.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace brownian::pairs {

namespace {

constexpr double kPeriod = field::kPeriod;

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

#ifdef BROWNIAN_HAS_WIDE_CODE
/// The same loop four lanes of Double wide, where the processor has AVX2.
__attribute__((target("avx2"))) void bounceAndFileWide(const float *x, const float *y, float *vx,
    float *vy, int *cell, int from, int to, double h, double lowX, double lowY, double perCell,
    int n)
{
    bounceAndFileLoop(x, y, vx, vy, cell, from, to, h, lowX, lowY, perCell, n);
}
#endif

void bounceAndFile(bool wide, const float *x, const float *y, float *vx, float *vy, int *cell,
    int from, int to, double h, double lowX, double lowY, double perCell, int n) noexcept
{
#ifdef BROWNIAN_HAS_WIDE_CODE
    if (wide) {
        bounceAndFileWide(x, y, vx, vy, cell, from, to, h, lowX, lowY, perCell, n);
        return;
    }
#else
    (void)wide;
#endif
    bounceAndFileLoop(x, y, vx, vy, cell, from, to, h, lowX, lowY, perCell, n);
}

/// The range of the finite coordinates, cut off at ±2^20 twips (particles beyond share the
/// edge cells); low > high when there is none.
struct Range
{
    double low = 0, high = 0;
};

Range finiteRange(const float *v, int count) noexcept
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

/// Fills the grid's cells and coordinates for every particle, fillRange(from, to) storing
/// them for a range, and counts the cells, in two halves shared with the workers; then sorts
/// the particles by cell.
template <typename FillRange>
void fillGrid(Workers &workers, CellGrid &g, int count, bool share, FillRange &&fillRange)
{
    static_assert(std::is_nothrow_invocable_v<FillRange &, int, int>);
    g.resize(count);
    auto fill = [&](int h) noexcept {
        const int from = CellGrid::halfBegin(count, h), to = CellGrid::halfBegin(count, h + 1);
        fillRange(from, to);
        g.countHalf(h, from, to);
    };
    workers.run(2, fill, share);
    g.place(workers, count, share);
}

/// Adds a pass's contacts and the pair tests of its search to the counters.
void addCounts(
    TickCounters *counters, std::uint64_t contacts, const std::vector<ChunkPairs> &chunks)
{
    if (!counters)
        return;
    counters->contacts += contacts;
    for (const ChunkPairs &c : chunks)
        counters->pairTests += c.tests;
}

/// The clamped grid over the particles' bounding box for `count` particles, their cells filed
/// and the wall pass made on the way.
void fileClamped(Engine &e, ModPar &s, int count, bool share)
{
    CellGrid &grid = e.scratch.grid;
    float *x = s.ParX.data(), *y = s.ParY.data(), *vx = s.ParVX.data(), *vy = s.ParVY.data();
    const double size = s.ParSize.toDouble();
    const int limit = cellLimit(count);
    Range rx, ry;
    // A recorded sub-step keeps the velocities from before the walls for its sums, here where
    // the workers meet anyway.
    Scratch &scratch = e.scratch;
    if (e.record) {
        scratch.startVx.resize(static_cast<std::size_t>(count));
        scratch.startVy.resize(static_cast<std::size_t>(count));
    }
    auto ranges = [&](int k) noexcept {
        (k == 0 ? rx : ry) = finiteRange(k == 0 ? x : y, count);
        if (e.record) {
            const float *v = k == 0 ? vx : vy;
            std::copy(v, v + count, (k == 0 ? scratch.startVx : scratch.startVy).data());
        }
    };
    e.workers.run(2, ranges, share);
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
    const double half = size / 2.0;
    const bool wide = e.wide;
    fillGrid(e.workers, grid, count, share, [&](int from, int to) noexcept {
        bounceAndFile(
            wide, x, y, vx, vy, grid.cell.data(), from, to, half, rx.low, ry.low, perCell, n);
    });
}

/// Coordinates are shifted by the period during the pass; within ±2^16 twips the roundings of
/// those shifts stay far below the cell's margin of one twip.
constexpr float kFar = 65536.0f;

/// The periodic grid of n × n cells over the field, each particle's coordinates reduced into
/// [0, period). False where a coordinate is beyond ±kFar or not a number.
bool fileOnTorus(Engine &e, const ModPar &s, int count, int n, bool share)
{
    CellGrid &grid = e.scratch.grid;
    const float *x = s.ParX.data(), *y = s.ParY.data();
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
    grid.n = n;
    grid.periodic = true;
    grid.u.resize(count);
    grid.v.resize(count);
    grid.pu = grid.u.data();
    grid.pv = grid.v.data();
    std::atomic<bool> tooFar { false };
    fillGrid(e.workers, grid, count, share, [&](int from, int to) noexcept {
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
    return !tooFar.load(std::memory_order_relaxed);
}

/// The contact test of the unbounded all-pairs pass on the positions as they stand: apart, in
/// contact directly, or in contact across a seam.
struct TorusContact
{
    const float *x, *y;
    float seam;
    double size;

    Way operator()(int i, int j) const noexcept
    {
        const double ddx = static_cast<double>(x[i]) - x[j];
        const bool acrossX = static_cast<float>(std::fabs(ddx)) >= seam;
        const double sx = acrossX ? kPeriod - std::fabs(ddx) : ddx;
        if (std::fabs(sx) > size)
            return Way::Apart;
        const double ddy = static_cast<double>(y[i]) - y[j];
        const bool acrossY = static_cast<float>(std::fabs(ddy)) >= seam;
        const double sy = acrossY ? kPeriod - std::fabs(ddy) : ddy;
        if (!(std::sqrt(sx * sx + sy * sy) <= size))
            return Way::Apart;
        return acrossX || acrossY ? Way::Wrap : Way::Direct;
    }
};

} // namespace

void boundedGridPairPass(Engine &e, ModPar &s, int count, TickCounters *counters)
{
    const bool share = count >= kShareFromParticles;
    fileClamped(e, s, count, share);
    // Candidates: a squared distance in Single, whose few roundings stay far below the 2^-16
    // added, within a bound above ParSize². Each is settled by the all-pairs pass's own
    // test, the square root in Double, during the search. Collisions change velocities only,
    // so the pairs found on the positions at the start are the pairs in contact.
    const double size = s.ParSize.toDouble();
    const auto bound = static_cast<float>(size * size * (1.0 + 0x1p-16));
    std::vector<ChunkPairs> &chunks = e.scratch.chunks;
    findPairs(e.workers, e.wide, e.scratch.grid, count, bound, size, chunks, share);
    float *x = s.ParX.data(), *y = s.ParY.data(), *vx = s.ParVX.data(), *vy = s.ParVY.data();
    const std::uint64_t contacts = settlePairs(
        e, s, count, share,
        [&](int i, int j) {
            if (!exchangeDirect(x, y, vx, vy, i, j))
                CollidePar(s, i, j);
            return true;
        },
        [](int, int) noexcept { return Way::Direct; });
    addCounts(counters, contacts, chunks);
}

bool unboundedGridPairPass(Engine &e, ModPar &s, int count, TickCounters *counters)
{
    const double size = s.ParSize.toDouble();
    const int n = std::min(static_cast<int>(kPeriod / minimumCell(size)), cellLimit(count));
    if (n < 3)
        return false;
    const bool share = count >= kShareFromParticles;
    if (!fileOnTorus(e, s, count, n, share))
        return false; // nothing changed but the grid

    // Candidates: pairs within ParSize + 1 twip of each other on the torus, on the positions
    // at the start. A pair in contact when the pass reaches it is that close: CollideWrap only
    // moves coordinates by the period, give or take a rounding far below the twip. Each
    // candidate is then settled in (i, j) order on the positions as they stand when it is
    // reached, by the all-pairs pass's own test, so that the shifts made by CollideWrap are
    // seen as there.
    const double reach = minimumCell(size);
    std::vector<ChunkPairs> &chunks = e.scratch.chunks;
    findPairs(e.workers, e.wide, e.scratch.grid, count, static_cast<float>(reach * reach), -1.0,
        chunks, share);
    float *x = s.ParX.data(), *y = s.ParY.data(), *vx = s.ParVX.data(), *vy = s.ParVY.data();
    const TorusContact decide { x, y, (Integer(6000) - s.ParSize).toSingle(), size };
    const VirialSums &virial = e.scratch.virial;
    const std::uint64_t contacts = settlePairs(
        e, s, count, share,
        [&](int i, int j) {
            const Way way = decide(i, j);
            if (way == Way::Apart)
                return false;
            const float vx0 = vx[i], vy0 = vy[i];
            if (way == Way::Wrap) {
                CollideWrap(s, i, j);
                if (virial)
                    virial.across(x, y, vx, vy, i, j, vx0, vy0);
                return true;
            }
            if (!exchangeDirect(x, y, vx, vy, i, j))
                CollidePar(s, i, j);
            if (virial)
                virial.direct(x, y, vx, vy, i, j, vx0, vy0);
            return true;
        },
        decide);
    addCounts(counters, contacts, chunks);
    return true;
}

} // namespace brownian::pairs
