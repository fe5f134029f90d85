#include "pair_grid.h"

#include "model/geometry.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

namespace brownian {

namespace {

std::atomic<PairPass> g_pass { PairPass::Auto };

constexpr double kPeriod = field::kPeriod;

std::atomic<int> g_threads { std::thread::hardware_concurrency() >= 2 ? 2 : 1 };

/// A helper thread that shares chunked work with the calling thread. The chunks of a job
/// write disjoint outputs and are combined by the caller in chunk order, so which thread did
/// which chunk never shows in the results. The caller never waits for the helper to wake: it
/// takes every chunk the helper has not claimed, and waits only for chunks in hand.
class Helper
{
public:
    static Helper &instance()
    {
        static Helper helper;
        return helper;
    }

    ~Helper()
    {
        if (!m_thread.joinable())
            return;
        m_stop.store(true);
        m_ticket.fetch_add(std::uint64_t { 1 } << 48);
        m_ticket.notify_one();
        m_thread.join();
    }

    /// Calls work(k) for every k in 0..chunks - 1, each exactly once, on this thread and, when
    /// enabled and free, on the helper.
    template <typename Work> void run(int chunks, Work &work)
    {
        std::unique_lock<std::mutex> lock(m_busy, std::try_to_lock);
        if (!lock || g_threads.load(std::memory_order_relaxed) < 2 || chunks < 2) {
            for (int k = 0; k < chunks; ++k)
                work(k);
            return;
        }
        if (!m_thread.joinable())
            m_thread = std::thread([this] { loop(); });
        m_work = &work;
        m_call = [](void *w, int k) { (*static_cast<Work *>(w))(k); };
        m_done.store(0, std::memory_order_relaxed);
        const std::uint64_t generation = (m_ticket.load() >> 48) + 1;
        m_ticket.store(
            generation << 48 | static_cast<std::uint64_t>(chunks) << 24, std::memory_order_release);
        m_ticket.notify_one();
        while (claim() == kNone) { }
        while (m_done.load(std::memory_order_acquire) < chunks)
            std::this_thread::yield();
    }

private:
    static constexpr std::uint64_t kNone = ~std::uint64_t { 0 };
    static constexpr std::uint64_t kMask = (1u << 24) - 1;

    /// Claims and runs one chunk of the current job; returns the ticket seen when there is
    /// none left, or kNone after running one. A chunk's work is read only after its claim,
    /// which the caller cannot have finished waiting for.
    std::uint64_t claim()
    {
        std::uint64_t t = m_ticket.load(std::memory_order_acquire);
        for (;;) {
            if ((t & kMask) >= (t >> 24 & kMask))
                return t;
            if (m_ticket.compare_exchange_weak(t, t + 1, std::memory_order_acq_rel)) {
                m_call(m_work, static_cast<int>(t & kMask));
                m_done.fetch_add(1, std::memory_order_release);
                return kNone;
            }
        }
    }

    void loop()
    {
        while (!m_stop.load()) {
            std::uint64_t seen = claim();
            if (seen != kNone)
                m_ticket.wait(seen);
        }
    }

    std::mutex m_busy; // one job at a time; a second caller works alone
    std::thread m_thread;
    std::atomic<bool> m_stop { false };
    std::atomic<std::uint64_t> m_ticket { 0 }; // generation << 48 | chunks << 24 | next chunk
    std::atomic<int> m_done { 0 };
    void *m_work = nullptr;
    void (*m_call)(void *, int) = nullptr;
};

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

/// The pairs found by one chunk of the search, lower index << 32 | higher index, in any order.
struct FoundPairs
{
    std::vector<std::uint64_t> pairs;
    std::size_t count = 0;
    std::uint64_t tests = 0;
};

/// Pairs found in any order, put into (i, j) order: the partners of i are
/// partner[start[i]] .. partner[start[i + 1] - 1], ascending. The order does not depend on
/// how the pairs were split into chunks nor in which order they came.
struct PairList
{
    std::vector<int> start, partner;

    void order(int count, const std::vector<FoundPairs> &chunks)
    {
        start.assign(static_cast<std::size_t>(count) + 1, 0);
        int *st = start.data();
        std::size_t total = 0;
        for (const FoundPairs &c : chunks) {
            for (std::size_t k = 0; k < c.count; ++k)
                ++st[c.pairs[k] >> 32];
            total += c.count;
        }
        for (int i = 1; i <= count; ++i) // st[i]: end of the partners of i
            st[i] += st[i - 1];
        partner.resize(total);
        int *out = partner.data();
        for (const FoundPairs &c : chunks) {
            for (std::size_t k = 0; k < c.count; ++k)
                out[--st[c.pairs[k] >> 32]] = static_cast<int>(c.pairs[k] & 0xffffffffu);
        }
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

/// Finds, for the places from..to - 1, every two places a, b of particles in the same or in
/// neighbouring cells whose squared distance over the grid's coordinates is at most `bound`
/// (across the seams in the periodic grid), each unordered pair once overall: a place with the
/// later places of its cell and of the cell to its right, and with the three cells of the row
/// below. Reads the grid only.
template <bool Periodic>
void findNearPairs(const CellGrid &g, int from, int to, double bound, FoundPairs &out)
{
    const int n = g.n, stride = g.stride;
    const int *f = g.first.data();
    const int *id = g.id.data();
    const int *placeCell = g.placeCell.data();
    const double *su = g.su.data();
    const double *sv = g.sv.data();
    constexpr double half = kPeriod / 2;
    std::size_t found = 0;
    std::uint64_t looked = 0;
    for (int a = from; a < to; ++a) {
        const int c = placeCell[a];
        int begin[4], end[4], runs = 0;
        auto add = [&](int b, int e) {
            begin[runs] = b;
            end[runs++] = e;
        };
        add(a + 1, f[c + 2]);
        int below = c + stride;
        if constexpr (Periodic) {
            const int cy = c / stride;
            if (cy == n - 1)
                below -= n * stride;
            const int col = c - cy * stride;
            if (col == 1) {
                add(f[below + n - 1], f[below + n]);
            } else if (col == n) {
                add(f[c - n + 1], f[c - n + 2]);
                add(f[below - n + 1], f[below - n + 2]);
            }
        }
        add(f[below - 1], f[below + 2]);
        std::size_t most = 0;
        for (int r = 0; r < runs; ++r)
            most += static_cast<std::size_t>(end[r] - begin[r]);
        if (out.pairs.size() < found + most)
            out.pairs.resize(std::max(2 * out.pairs.size(), found + most + 256));
        std::uint64_t *pairs = out.pairs.data();
        const double ua = su[a], va = sv[a];
        const auto i = static_cast<std::uint64_t>(id[a]);
        for (int r = 0; r < runs; ++r) {
            for (int b = begin[r]; b < end[r]; ++b) {
                double du = ua - su[b];
                double dv = va - sv[b];
                if constexpr (Periodic) {
                    du = du > half ? du - kPeriod : (du < -half ? du + kPeriod : du);
                    dv = dv > half ? dv - kPeriod : (dv < -half ? dv + kPeriod : dv);
                }
                const auto j = static_cast<std::uint64_t>(id[b]);
                pairs[found] = i < j ? i << 32 | j : j << 32 | i;
                found += du * du + dv * dv <= bound;
            }
        }
        looked += most;
    }
    out.count = found;
    out.tests = looked;
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

void setPairSearchThreads(int threads)
{
    g_threads.store(threads >= 2 ? 2 : 1, std::memory_order_relaxed);
}

int pairSearchThreads()
{
    return g_threads.load(std::memory_order_relaxed);
}

namespace {

/// Work split into this many chunks of consecutive particles or places.
constexpr int kChunks = 16;

int chunkBegin(int count, int k)
{
    return static_cast<int>(static_cast<long long>(count) * k / kChunks);
}

/// Fills the grid's cells and coordinates for every particle, cell(i) storing them, in
/// chunks shared with the helper, then sorts the particles by cell.
template <typename Cell> void fillGrid(CellGrid &g, int count, Cell &&cell)
{
    g.resize(count);
    auto fill = [&](int k) {
        for (int i = chunkBegin(count, k); i < chunkBegin(count, k + 1); ++i)
            cell(i);
    };
    Helper::instance().run(kChunks, fill);
    g.sort(count);
}

/// Finds the pairs within `bound` in chunks of places shared with the helper and puts them
/// into (i, j) order.
void findPairs(const CellGrid &g, int count, double bound, PairList &pairs, std::uint64_t &tests)
{
    // Lambdas name a thread_local of the thread they run on: the helper needs a reference.
    thread_local std::vector<FoundPairs> mine(kChunks);
    std::vector<FoundPairs> &chunks = mine;
    auto find = [&](int k) {
        const int from = chunkBegin(count, k), to = chunkBegin(count, k + 1);
        if (g.periodic)
            findNearPairs<true>(g, from, to, bound, chunks[k]);
        else
            findNearPairs<false>(g, from, to, bound, chunks[k]);
    };
    Helper::instance().run(kChunks, find);
    for (const FoundPairs &c : chunks)
        tests += c.tests;
    pairs.order(count, chunks);
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
    fillGrid(grid, count, [&](int i) {
        grid.u[i] = x[i];
        grid.v[i] = y[i];
        grid.cell[i] =
            grid.at(clampedCell(x[i], rx.low, perCell, n), clampedCell(y[i], ry.low, perCell, n));
    });

    // The same test as the all-pairs pass: a squared-distance bound slightly above ParSize²,
    // then the exact square-root test. (x_j - x_i)² is (x_i - x_j)² to the bit. Collisions
    // change velocities only, so the pairs found on the positions at the start are the pairs
    // in contact, collided here in (i, j) order.
    thread_local PairList pairs;
    std::uint64_t tests = 0, contacts = 0;
    findPairs(grid, count, size * size * (1.0 + 0x1p-40), pairs, tests);
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
    grid.n = n;
    grid.periodic = true;
    fillGrid(grid, count, [&](int i) {
        const double u = reduce(x[i]), v = reduce(y[i]);
        grid.u[i] = u;
        grid.v[i] = v;
        grid.cell[i] = grid.at(periodicCell(u), periodicCell(v));
    });

    // Candidates: pairs within ParSize + 1 twip of each other on the torus, on the positions
    // at the start. A pair in contact when the pass reaches it is that close: CollideWrap only
    // moves coordinates by the period, give or take a rounding far below the twip. Each
    // candidate is then settled in (i, j) order on the positions as they stand when it is
    // reached, by the all-pairs pass's own test, so that the shifts made by CollideWrap are
    // seen as there.
    const double reach = minimumCell(size);
    thread_local PairList pairs;
    std::uint64_t tests = 0, contacts = 0;
    findPairs(grid, count, reach * reach, pairs, tests);
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
