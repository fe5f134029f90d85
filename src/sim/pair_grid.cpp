#include "pair_grid.h"

#include "model/geometry.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

namespace brownian {

namespace {

std::atomic<PairPass> g_pass { PairPass::Auto };

constexpr double kPeriod = field::kPeriod;

/// The particles sorted into n × n square cells, with copies of their coordinates in that
/// order, kept from sub-step to sub-step so that nothing is allocated once the sizes settle.
/// The cells are stored in rows of n + 2 with an empty column on either side and an empty row
/// below the last, so that the neighbours of every cell are at fixed offsets. The coordinates
/// are the positions themselves in the clamped grid, and reduced into [0, period) in the
/// periodic one.
struct CellGrid
{
    int n = 1; // cells per axis
    int stride = 3; // n + 2: cells per stored row
    bool periodic = false;
    std::vector<int> first; // particles of cell c: places first[c] .. first[c + 1] - 1
    std::vector<int> cell; // cell of particle i, then of each place
    std::vector<int> id; // particle at each place
    std::vector<double> u, v; // coordinates of particle i
    std::vector<double> su, sv; // coordinates at each place
    std::vector<int> placeCell;

    void resize(int count)
    {
        stride = n + 2;
        cell.resize(count);
        placeCell.resize(count);
        id.resize(count);
        u.resize(count);
        v.resize(count);
        su.resize(count);
        sv.resize(count);
    }

    /// Cell of column cx, row cy.
    int at(int cx, int cy) const { return cy * stride + cx + 1; }

    /// Counting sort by cell, stable: each cell lists its particles in ascending index order.
    void sort(int count)
    {
        const int cells = (n + 1) * stride;
        first.assign(static_cast<std::size_t>(cells) + 1, 0);
        int *f = first.data();
        for (int i = 0; i < count; ++i)
            ++f[cell[i]];
        for (int c = 1; c <= cells; ++c)
            f[c] += f[c - 1];
        for (int i = count - 1; i >= 0; --i) {
            const int c = cell[i];
            const int k = --f[c];
            id[k] = i;
            placeCell[k] = c;
            su[k] = u[i];
            sv[k] = v[i];
        }
    }
};

/// Pairs found in any order, put into (i, j) order: the partners of i are
/// partner[start[i]] .. partner[start[i + 1] - 1], ascending.
struct PairList
{
    std::vector<std::uint64_t> found; // lower index << 32 | higher index
    std::vector<int> start, partner;

    void order(int count, std::size_t pairs)
    {
        start.assign(static_cast<std::size_t>(count) + 1, 0);
        int *st = start.data();
        const std::uint64_t *p = found.data();
        for (std::size_t k = 0; k < pairs; ++k)
            ++st[p[k] >> 32];
        for (int i = 1; i <= count; ++i) // st[i]: end of the partners of i
            st[i] += st[i - 1];
        partner.resize(pairs);
        int *out = partner.data();
        for (std::size_t k = pairs; k-- > 0;)
            out[--st[p[k] >> 32]] = static_cast<int>(p[k] & 0xffffffffu);
        for (int i = 0; i < count; ++i) {
            // Insertion sort: a particle has a handful of partners at most.
            for (int a = st[i] + 1; a < st[i + 1]; ++a) {
                const int j = out[a];
                int b = a;
                for (; b > st[i] && out[b - 1] > j; --b)
                    out[b] = out[b - 1];
                out[b] = j;
            }
        }
    }
};

/// Finds every two places a, b of particles in the same or in neighbouring cells whose
/// squared distance over the grid's coordinates is at most `bound` (across the seams in the
/// periodic grid), each unordered pair once: a place with the later places of its cell and of
/// the cell to its right, and with the three cells of the row below. Writes the pairs into
/// pairs.found from index 0, returns how many; `tests` counts the pairs looked at.
std::size_t findNearPairs(
    const CellGrid &g, int count, double bound, PairList &pairs, std::uint64_t &tests)
{
    const int n = g.n, stride = g.stride;
    const int *f = g.first.data();
    const int *id = g.id.data();
    const int *placeCell = g.placeCell.data();
    const double *su = g.su.data();
    const double *sv = g.sv.data();
    const bool periodic = g.periodic;
    std::size_t found = 0;
    std::uint64_t looked = 0;
    auto run = [&](int a, double ua, double va, int begin, int end) {
        for (int b = begin; b < end; ++b) {
            double du = ua - su[b];
            double dv = va - sv[b];
            if (periodic) {
                du = du > kPeriod / 2 ? du - kPeriod : (du < -kPeriod / 2 ? du + kPeriod : du);
                dv = dv > kPeriod / 2 ? dv - kPeriod : (dv < -kPeriod / 2 ? dv + kPeriod : dv);
            }
            const std::uint64_t i = static_cast<std::uint32_t>(id[a]);
            const std::uint64_t j = static_cast<std::uint32_t>(id[b]);
            if (pairs.found.size() <= found)
                pairs.found.resize(2 * found + 64);
            pairs.found[found] = i < j ? i << 32 | j : j << 32 | i;
            found += du * du + dv * dv <= bound;
        }
        looked += static_cast<std::uint64_t>(end - begin);
    };
    for (int a = 0; a < count; ++a) {
        const int c = placeCell[a];
        const double ua = su[a], va = sv[a];
        run(a, ua, va, a + 1, f[c + 2]);
        int below = c + stride;
        if (periodic) {
            const int cy = c / stride;
            if (cy == n - 1)
                below -= n * stride;
            const int col = c - cy * stride;
            if (col == 1) {
                run(a, ua, va, f[below + n - 1], f[below + n]);
            } else if (col == n) {
                run(a, ua, va, f[c - n + 1], f[c - n + 2]);
                run(a, ua, va, f[below - n + 1], f[below - n + 2]);
            }
        }
        run(a, ua, va, f[below - 1], f[below + 2]);
    }
    tests += looked;
    return found;
}

/// CollidePar on raw arrays: the same Single and Double operations in the same order as
/// exchangeVelocities, so the same bits, without the range checks of each access (the pass
/// checked its indexes against the arrays once).
inline void collideDirect(float *x, float *y, float *vx, float *vy, int I, int J)
{
    const float fx = toSingle(static_cast<double>(x[I]) - x[J]);
    const float fy = toSingle(static_cast<double>(y[I]) - y[J]);
    if (fx == 0.0f && fy == 0.0f)
        return;
    const double dx = fx, dy = fy;
    const double vxI = vx[I], vyI = vy[I];
    const double vxJ = vx[J], vyJ = vy[J];
    const double nI = toSingle(dy * vyI + dx * vxI);
    const double tI = toSingle(dy * vxI - dx * vyI);
    const double nJ = toSingle(dy * vyJ + dx * vxJ);
    const double tJ = toSingle(dy * vxJ - dx * vyJ);
    const double k = 1.0 / (dy * dy + dx * dx);
    vx[I] = toSingle(k * (tI * dy + dx * nJ));
    vy[I] = toSingle(k * (dy * nJ - dx * tI));
    vx[J] = toSingle(k * (nI * dx + dy * tJ));
    vy[J] = toSingle(k * (nI * dy - dx * tJ));
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

/// Cell along one axis of a clamped grid; NaN goes to cell 0, where it touches nothing.
/// Truncation is the floor for the non-negative quotients it is applied to.
inline int clampedCell(double v, double low, double perCell, int n)
{
    const double q = (v - low) * perCell;
    if (!(q >= 0.0))
        return 0;
    return q >= n - 1 ? n - 1 : static_cast<int>(q);
}

/// The range of the finite coordinates, cut off at ±2^20 twips (particles beyond share the
/// edge cells); low > high when there is none.
struct Range
{
    double low = 0, high = 0;
};

Range finiteRange(const float *v, int count)
{
    constexpr double kFar = 1048576.0;
    double low = kFar, high = -kFar;
    for (int i = 0; i < count; ++i) {
        const double c = v[i];
        low = c < low ? c : low; // NaN compares false and is left out
        high = c > high ? c : high;
    }
    return { std::max(low, -kFar), std::min(high, kFar) };
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

void boundedGridPairPass(ModPar &s, int count, TickCounters *counters)
{
    thread_local CellGrid grid;
    float *x = s.ParX.data();
    float *y = s.ParY.data();
    const double size = s.ParSize.toDouble();
    const int limit = cellLimit(count);
    const Range rx = finiteRange(x, count), ry = finiteRange(y, count);
    const double spanX = rx.high > rx.low ? rx.high - rx.low : 0.0;
    const double spanY = ry.high > ry.low ? ry.high - ry.low : 0.0;
    const double width = std::max(minimumCell(size), std::max(spanX, spanY) / limit);
    const int n = std::min(limit + 1, static_cast<int>(std::max(spanX, spanY) / width) + 1);
    // Multiplying by the reciprocal rounds differently from dividing only at a cell's edge,
    // and by far less than the cell's margin of a twip.
    const double perCell = 1.0 / width;
    grid.n = n;
    grid.periodic = false;
    grid.resize(count);
    for (int i = 0; i < count; ++i) {
        grid.u[i] = x[i];
        grid.v[i] = y[i];
        grid.cell[i] =
            grid.at(clampedCell(x[i], rx.low, perCell, n), clampedCell(y[i], ry.low, perCell, n));
    }
    grid.sort(count);

    // The same test as the all-pairs pass: a squared-distance bound slightly above ParSize²,
    // then the exact square-root test. (x_j - x_i)² is (x_i - x_j)² to the bit. Collisions
    // change velocities only, so the pairs found on the positions at the start are the pairs
    // in contact, collided here in (i, j) order.
    thread_local PairList pairs;
    const double bound = size * size * (1.0 + 0x1p-40);
    std::uint64_t tests = 0, contacts = 0;
    pairs.order(count, findNearPairs(grid, count, bound, pairs, tests));
    float *vx = s.ParVX.data();
    float *vy = s.ParVY.data();
    const int *start = pairs.start.data();
    const int *partner = pairs.partner.data();
    for (int i = 0; i < count; ++i) {
        for (int k = start[i]; k < start[i + 1]; ++k) {
            const int j = partner[k];
            const double dx = static_cast<double>(x[i]) - x[j];
            const double dy = static_cast<double>(y[i]) - y[j];
            if (std::sqrt(dx * dx + dy * dy) <= size) {
                collideDirect(x, y, vx, vy, i, j);
                ++contacts;
            }
        }
    }
    if (counters) {
        counters->contacts += contacts;
        counters->pairTests += tests;
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
    for (int i = 0; i < count; ++i) {
        if (!(std::fabs(x[i]) <= kFar && std::fabs(y[i]) <= kFar))
            return false;
    }
    thread_local CellGrid grid;
    const double width = kPeriod / n;
    const double perCell = 1.0 / width;
    constexpr double perPeriod = 1.0 / kPeriod;
    auto reduce = [&](double c) {
        double r = c - static_cast<double>(field::kFieldLow);
        r -= kPeriod * std::floor(r * perPeriod);
        return r;
    };
    auto periodicCell = [&](double r) {
        const int q = static_cast<int>(r * perCell); // r >= 0 up to a rounding
        return q < 0 ? 0 : (q >= n ? n - 1 : q);
    };
    grid.n = n;
    grid.periodic = true;
    grid.resize(count);
    for (int i = 0; i < count; ++i) {
        const double u = reduce(x[i]), v = reduce(y[i]);
        grid.u[i] = u;
        grid.v[i] = v;
        grid.cell[i] = grid.at(periodicCell(u), periodicCell(v));
    }
    grid.sort(count);

    // Candidates: pairs within ParSize + 1 twip of each other on the torus, on the positions
    // at the start. A pair in contact when the pass reaches it is that close: CollideWrap only
    // moves coordinates by the period, give or take a rounding far below the twip. Each
    // candidate is then settled in (i, j) order on the positions as they stand when it is
    // reached, by the all-pairs pass's own test, so that the shifts made by CollideWrap are
    // seen as there.
    const double reach = minimumCell(size);
    const double reach2 = reach * reach;
    thread_local PairList pairs;
    std::uint64_t tests = 0, contacts = 0;
    pairs.order(count, findNearPairs(grid, count, reach2, pairs, tests));
    float *vx = s.ParVX.data();
    float *vy = s.ParVY.data();
    const int *start = pairs.start.data();
    const int *partner = pairs.partner.data();
    for (int i = 0; i < count; ++i) {
        for (int k = start[i]; k < start[i + 1]; ++k) {
            const int j = partner[k];
            const double ddx = static_cast<double>(x[i]) - x[j];
            const bool acrossX = static_cast<float>(std::fabs(ddx)) >= w;
            const double sx = acrossX ? kPeriod - std::fabs(ddx) : ddx;
            if (std::fabs(sx) > size)
                continue;
            const double ddy = static_cast<double>(y[i]) - y[j];
            const bool acrossY = static_cast<float>(std::fabs(ddy)) >= w;
            const double sy = acrossY ? kPeriod - std::fabs(ddy) : ddy;
            if (!(std::sqrt(sx * sx + sy * sy) <= size))
                continue;
            ++contacts;
            if (acrossX || acrossY)
                CollideWrap(s, i, j);
            else
                collideDirect(x, y, vx, vy, i, j);
        }
    }
    if (counters) {
        counters->contacts += contacts;
        counters->pairTests += tests;
    }
    return true;
}

} // namespace brownian
