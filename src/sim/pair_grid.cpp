#include "pair_grid.h"

#include "model/geometry.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

namespace brownian {

namespace {

std::atomic<PairPass> g_pass { PairPass::Auto };

/// Particles sorted into n × n square cells by counting sort: the particles of cell c are
/// id[first[c]] .. id[first[c + 1] - 1], with their coordinates in x and y at the same places.
struct CellList
{
    int n = 1; // cells per axis
    std::vector<int> first, cell, id, cursor;
    std::vector<double> x, y;

    /// Sorts the particles once cell[0..count) holds every particle's cell.
    void sort(const float *px, const float *py, int count)
    {
        first.assign(static_cast<std::size_t>(n) * n + 1, 0);
        for (int i = 0; i < count; ++i)
            ++first[cell[i] + 1];
        for (std::size_t c = 1; c < first.size(); ++c)
            first[c] += first[c - 1];
        cursor.assign(first.begin(), first.end() - 1);
        id.resize(count);
        x.resize(count);
        y.resize(count);
        for (int i = 0; i < count; ++i) {
            const int k = cursor[cell[i]]++;
            id[k] = i;
            x[k] = px[i];
            y[k] = py[i];
        }
    }

    /// Calls test(a, b) for every two places a, b of particles in the same or in neighbouring
    /// cells, each unordered pair once: a cell with itself and its right neighbour, and with
    /// the three cells of the row below it, whose particles lie next to each other in the
    /// sorted order. `periodic`: the neighbours wrap round the edges (n ≥ 3, so that they
    /// differ).
    template <typename Test> void forEachNearPair(bool periodic, Test &&test) const
    {
        // Places from..to against begin..end; where the two overlap (a cell and its right
        // neighbour, which start at begin), only the places after a.
        auto against = [&](int begin, int end, int from, int to) {
            for (int a = begin; a < end; ++a) {
                for (int b = from == begin ? a + 1 : from; b < to; ++b)
                    test(a, b);
            }
        };
        auto cells = [&](int row, int left, int right) { // columns left..right, clipped
            return std::pair { first[row * n + std::max(left, 0)],
                first[row * n + std::min(right, n - 1) + 1] };
        };
        for (int cy = 0; cy < n; ++cy) {
            const bool below = periodic || cy + 1 < n;
            const int next = (cy + 1) % n;
            for (int cx = 0; cx < n; ++cx) {
                const int begin = first[cy * n + cx], end = first[cy * n + cx + 1];
                if (begin == end)
                    continue;
                const auto same = cells(cy, cx, cx + 1);
                against(begin, end, same.first, same.second);
                if (periodic && cx == n - 1) {
                    const auto wrap = cells(cy, 0, 0);
                    against(begin, end, wrap.first, wrap.second);
                }
                if (!below)
                    continue;
                const auto row = cells(next, cx - 1, cx + 1);
                against(begin, end, row.first, row.second);
                if (periodic && (cx == 0 || cx == n - 1)) {
                    const auto wrap = cx == 0 ? cells(next, n - 1, n - 1) : cells(next, 0, 0);
                    against(begin, end, wrap.first, wrap.second);
                }
            }
        }
    }
};

/// Pairs found in any order, put into (i, j) order: the partners of i are
/// partner[start[i]] .. partner[start[i + 1] - 1], ascending.
struct PairList
{
    std::vector<std::pair<int, int>> found; // (lower index, higher index)
    std::vector<int> start, partner;

    void order(int count)
    {
        start.assign(static_cast<std::size_t>(count) + 1, 0);
        for (const auto &p : found)
            ++start[p.first + 1];
        for (int i = 0; i < count; ++i)
            start[i + 1] += start[i];
        partner.resize(found.size());
        std::vector<int> &cursor = next;
        cursor.assign(start.begin(), start.end() - 1);
        for (const auto &p : found)
            partner[cursor[p.first]++] = p.second;
        for (int i = 0; i < count; ++i) {
            if (start[i + 1] - start[i] > 1)
                std::sort(partner.begin() + start[i], partner.begin() + start[i + 1]);
        }
    }

    std::vector<int> next;
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
    thread_local PairList pairs;
    const float *x = s.ParX.data();
    const float *y = s.ParY.data();
    const double size = s.ParSize.toDouble();
    const int limit = cellLimit(count);
    const Range rx = finiteRange(x, count), ry = finiteRange(y, count);
    const double spanX = rx.high > rx.low ? rx.high - rx.low : 0.0;
    const double spanY = ry.high > ry.low ? ry.high - ry.low : 0.0;
    const double width = std::max(minimumCell(size), std::max(spanX, spanY) / limit);
    const int n = std::min(limit + 1, static_cast<int>(std::max(spanX, spanY) / width) + 1);
    grid.n = n;
    grid.cell.resize(count);
    for (int i = 0; i < count; ++i)
        grid.cell[i] =
            clampedCell(y[i], ry.low, width, n) * n + clampedCell(x[i], rx.low, width, n);
    grid.sort(x, y, count);

    // The same test as the all-pairs pass: a squared-distance bound slightly above ParSize²,
    // then the exact square-root test. (x_j - x_i)² is (x_i - x_j)² to the bit.
    const double bound = size * size * (1.0 + 0x1p-40);
    std::uint64_t tests = 0;
    pairs.found.clear();
    const double *gx = grid.x.data();
    const double *gy = grid.y.data();
    const int *id = grid.id.data();
    std::vector<std::pair<int, int>> &found = pairs.found;
    grid.forEachNearPair(false, [&](int a, int b) {
        ++tests;
        const double dx = gx[a] - gx[b];
        const double dy = gy[a] - gy[b];
        const double d2 = dx * dx + dy * dy;
        if (d2 <= bound && std::sqrt(d2) <= size)
            found.emplace_back(std::min(id[a], id[b]), std::max(id[a], id[b]));
    });
    // Collisions change velocities only, so the pairs found on the positions at the start are
    // the pairs in contact, collided here in (i, j) order.
    pairs.order(count);
    for (int i = 0; i < count; ++i) {
        for (int k = pairs.start[i]; k < pairs.start[i + 1]; ++k)
            CollidePar(s, i, pairs.partner[k]);
    }
    if (counters) {
        counters->contacts += pairs.found.size();
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
    thread_local PairList pairs;
    const double width = period / n;
    auto periodicCell = [&](double v) {
        double u = v - static_cast<double>(field::kFieldLow);
        u -= period * std::floor(u / period);
        const int q = static_cast<int>(std::floor(u / width));
        return q < 0 ? q + n : (q >= n ? q - n : q);
    };
    grid.n = n;
    grid.cell.resize(count);
    for (int i = 0; i < count; ++i)
        grid.cell[i] = periodicCell(y[i]) * n + periodicCell(x[i]);
    grid.sort(x, y, count);

    // Candidates: pairs within ParSize + 1 twip of each other on the torus, on the positions
    // at the start. A pair in contact when the pass reaches it is that close: CollideWrap only
    // moves coordinates by the period, give or take a rounding far below the twip.
    const double reach = minimumCell(size);
    const double reach2 = reach * reach;
    std::uint64_t tests = 0;
    pairs.found.clear();
    const double *gx = grid.x.data();
    const double *gy = grid.y.data();
    const int *id = grid.id.data();
    std::vector<std::pair<int, int>> &found = pairs.found;
    grid.forEachNearPair(true, [&](int a, int b) {
        ++tests;
        double dx = gx[a] - gx[b];
        double dy = gy[a] - gy[b];
        dx -= period * std::nearbyint(dx / period);
        dy -= period * std::nearbyint(dy / period);
        if (dx * dx + dy * dy <= reach2)
            found.emplace_back(std::min(id[a], id[b]), std::max(id[a], id[b]));
    });
    pairs.order(count);

    // Each candidate in (i, j) order on the positions as they stand when it is reached, by the
    // all-pairs pass's own test, so that the shifts made by CollideWrap are seen as there.
    std::uint64_t contacts = 0;
    for (int i = 0; i < count; ++i) {
        for (int k = pairs.start[i]; k < pairs.start[i + 1]; ++k) {
            const int j = pairs.partner[k];
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
