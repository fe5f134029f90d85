#include "pair_grid.h"

#include "model/geometry.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

namespace brownian {

namespace {

std::atomic<PairPass> g_pass { PairPass::Auto };

/// Particles sorted into square cells by counting sort: the particles of cell c are
/// members[first[c]] .. members[first[c + 1] - 1], in ascending index order.
struct CellList
{
    int n = 1; // cells per axis
    std::vector<int> first, members, cell, cursor;

    void resize(int count, int cellsPerAxis)
    {
        n = cellsPerAxis;
        cell.resize(count);
        members.resize(count);
        first.assign(static_cast<std::size_t>(n) * n + 1, 0);
    }

    /// Sorts the particles once cell[] holds every particle's cell.
    void sort(int count)
    {
        for (int i = 0; i < count; ++i)
            ++first[cell[i] + 1];
        for (std::size_t c = 1; c < first.size(); ++c)
            first[c] += first[c - 1];
        cursor.assign(first.begin(), first.end() - 1);
        for (int i = 0; i < count; ++i)
            members[cursor[cell[i]]++] = i;
    }

    /// Appends to `out` the members of cell (cx, cy) with an index above i.
    void appendAbove(int cx, int cy, int i, std::vector<int> &out) const
    {
        const int c = cy * n + cx;
        const int *begin = members.data() + first[c];
        const int *end = members.data() + first[c + 1];
        for (const int *m = std::upper_bound(begin, end, i); m != end; ++m)
            out.push_back(*m);
    }
};

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
int clampedCell(double v, double low, double width, int n)
{
    const double q = std::floor((v - low) / width);
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
    thread_local CellList grid;
    thread_local std::vector<int> near;
    const float *x = s.ParX.data();
    const float *y = s.ParY.data();
    const double size = s.ParSize.toDouble();
    const int limit = cellLimit(count);
    const Range rx = finiteRange(x, count), ry = finiteRange(y, count);
    const double spanX = rx.high > rx.low ? rx.high - rx.low : 0.0;
    const double spanY = ry.high > ry.low ? ry.high - ry.low : 0.0;
    const double width = std::max(minimumCell(size), std::max(spanX, spanY) / limit);
    const int n = std::min(limit + 1, static_cast<int>(std::max(spanX, spanY) / width) + 1);
    grid.resize(count, n);
    for (int i = 0; i < count; ++i)
        grid.cell[i] =
            clampedCell(y[i], ry.low, width, n) * n + clampedCell(x[i], rx.low, width, n);
    grid.sort(count);

    // The same test as the all-pairs pass: a squared-distance bound slightly above ParSize²,
    // then the exact square-root test.
    const double bound = size * size * (1.0 + 0x1p-40);
    std::uint64_t tests = 0, contacts = 0;
    for (int i = 0; i < count; ++i) {
        const int cx = grid.cell[i] % n, cy = grid.cell[i] / n;
        near.clear();
        for (int gy = std::max(cy - 1, 0); gy <= std::min(cy + 1, n - 1); ++gy) {
            for (int gx = std::max(cx - 1, 0); gx <= std::min(cx + 1, n - 1); ++gx)
                grid.appendAbove(gx, gy, i, near);
        }
        tests += near.size();
        const double xi = x[i], yi = y[i];
        std::size_t found = 0;
        for (const int j : near) {
            const double dx = xi - x[j];
            const double dy = yi - y[j];
            const double d2 = dx * dx + dy * dy;
            if (d2 <= bound && std::sqrt(d2) <= size)
                near[found++] = j;
        }
        // Collisions change velocities only, so the pairs of i can be collided as soon as
        // they are found, in ascending j.
        std::sort(near.begin(), near.begin() + static_cast<std::ptrdiff_t>(found));
        for (std::size_t k = 0; k < found; ++k)
            CollidePar(s, i, near[k]);
        contacts += found;
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
    constexpr double period = field::kPeriod;
    const int n = std::min(static_cast<int>(period / minimumCell(size)), cellLimit(count));
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
    thread_local CellList grid;
    thread_local std::vector<int> near;
    const double width = period / n;
    auto periodicCell = [&](double v) {
        double u = v - static_cast<double>(field::kFieldLow);
        u -= period * std::floor(u / period);
        int q = static_cast<int>(std::floor(u / width));
        return q < 0 ? q + n : (q >= n ? q - n : q);
    };
    grid.resize(count, n);
    for (int i = 0; i < count; ++i)
        grid.cell[i] = periodicCell(y[i]) * n + periodicCell(x[i]);
    grid.sort(count);

    std::uint64_t tests = 0, contacts = 0;
    for (int i = 0; i < count; ++i) {
        const int cx = grid.cell[i] % n, cy = grid.cell[i] / n;
        near.clear();
        for (int dy = n - 1; dy <= n + 1; ++dy) {
            for (int dx = n - 1; dx <= n + 1; ++dx)
                grid.appendAbove((cx + dx) % n, (cy + dy) % n, i, near);
        }
        std::sort(near.begin(), near.end());
        tests += near.size();
        // Each candidate on the positions as they stand now, as the all-pairs pass sees them.
        for (const int j : near) {
            const double ddx = static_cast<double>(x[i]) - x[j];
            const bool acrossX = static_cast<float>(std::fabs(ddx)) >= w;
            const double sx = acrossX ? period - std::fabs(ddx) : ddx;
            if (std::fabs(sx) > size)
                continue;
            const double ddy = static_cast<double>(y[i]) - y[j];
            const bool acrossY = static_cast<float>(std::fabs(ddy)) >= w;
            const double sy = acrossY ? period - std::fabs(ddy) : ddy;
            if (!(std::sqrt(sx * sx + sy * sy) <= size))
                continue;
            ++contacts;
            if (acrossX || acrossY)
                CollideWrap(s, i, j);
            else
                CollidePar(s, i, j);
        }
    }
    if (counters) {
        counters->contacts += contacts;
        counters->pairTests += tests;
    }
    return true;
}

} // namespace brownian
