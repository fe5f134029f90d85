#include "pair_grid.h"

#include "model/geometry.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
    std::vector<float> u, v; // coordinates of particle i
    std::vector<float> su, sv; // coordinates at each place
    std::vector<int> placeCell;

    void resize(int count)
    {
        stride = n + 2;
        cell.resize(count);
        placeCell.resize(count);
        id.resize(count);
        u.resize(count);
        v.resize(count);
        // Padded for reading four places at a time: NaN is near nothing.
        su.resize(static_cast<std::size_t>(count) + 3);
        sv.resize(static_cast<std::size_t>(count) + 3);
        for (int k = count; k < count + 3; ++k)
            su[k] = sv[k] = std::numeric_limits<float>::quiet_NaN();
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
void findNearPairs(const CellGrid &g, int from, int to, float bound, FoundPairs &out)
{
    const int n = g.n, stride = g.stride;
    const int *f = g.first.data();
    const int *id = g.id.data();
    const int *placeCell = g.placeCell.data();
    const float *su = g.su.data();
    const float *sv = g.sv.data();
    constexpr float period = kPeriod, half = period / 2;
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
        const float ua = su[a], va = sv[a];
        const auto i = static_cast<std::uint64_t>(id[a]);
        auto emit = [&](int b) {
            const auto j = static_cast<std::uint64_t>(id[b]);
            pairs[found++] = i < j ? i << 32 | j : j << 32 | i;
        };
#ifdef __SSE2__
        // Four places at a time; the coordinates are padded with NaN past the last place.
        const __m128 ua4 = _mm_set1_ps(ua), va4 = _mm_set1_ps(va);
        const __m128 bound4 = _mm_set1_ps(bound);
        [[maybe_unused]] const __m128 half4 = _mm_set1_ps(half), period4 = _mm_set1_ps(period);
        [[maybe_unused]] const __m128 lowHalf4 = _mm_set1_ps(-half);
        for (int r = 0; r < runs; ++r) {
            for (int b = begin[r]; b < end[r]; b += 4) {
                __m128 du = _mm_sub_ps(ua4, _mm_loadu_ps(su + b));
                __m128 dv = _mm_sub_ps(va4, _mm_loadu_ps(sv + b));
                if constexpr (Periodic) {
                    du = _mm_sub_ps(du, _mm_and_ps(_mm_cmpgt_ps(du, half4), period4));
                    du = _mm_add_ps(du, _mm_and_ps(_mm_cmplt_ps(du, lowHalf4), period4));
                    dv = _mm_sub_ps(dv, _mm_and_ps(_mm_cmpgt_ps(dv, half4), period4));
                    dv = _mm_add_ps(dv, _mm_and_ps(_mm_cmplt_ps(dv, lowHalf4), period4));
                }
                const __m128 d2 = _mm_add_ps(_mm_mul_ps(du, du), _mm_mul_ps(dv, dv));
                const int left = end[r] - b;
                int hits =
                    _mm_movemask_ps(_mm_cmple_ps(d2, bound4)) & (left >= 4 ? 15 : (1 << left) - 1);
                for (; hits != 0; hits &= hits - 1)
                    emit(b + __builtin_ctz(static_cast<unsigned>(hits)));
            }
        }
#else
        for (int r = 0; r < runs; ++r) {
            for (int b = begin[r]; b < end[r]; ++b) {
                float du = ua - su[b];
                float dv = va - sv[b];
                if constexpr (Periodic) {
                    du = du > half ? du - period : (du < -half ? du + period : du);
                    dv = dv > half ? dv - period : (dv < -half ? dv + period : dv);
                }
                if (du * du + dv * dv <= bound)
                    emit(b);
            }
        }
#endif
        looked += most;
    }
    out.count = found;
    out.tests = looked;
}

/// CollidePar on raw arrays: the same Single and Double operations in the same order as
/// exchangeVelocities, so the same bits, without the range checks of each access (the pass
/// checked its indexes against the arrays once). Where a result is not a finite Single it
/// leaves everything to CollidePar, which raises the fault at the same point.
inline void collideDirect(ModPar &s, float *x, float *y, float *vx, float *vy, int I, int J)
{
    const float fx = static_cast<float>(static_cast<double>(x[I]) - x[J]);
    const float fy = static_cast<float>(static_cast<double>(y[I]) - y[J]);
    if (fx == 0.0f && fy == 0.0f)
        return;
    const double dx = fx, dy = fy;
    const double vxI = vx[I], vyI = vy[I];
    const double vxJ = vx[J], vyJ = vy[J];
    const float nI = static_cast<float>(dy * vyI + dx * vxI);
    const float tI = static_cast<float>(dy * vxI - dx * vyI);
    const float nJ = static_cast<float>(dy * vyJ + dx * vxJ);
    const float tJ = static_cast<float>(dy * vxJ - dx * vyJ);
    const double k = 1.0 / (dy * dy + dx * dx);
    const float vxI2 = static_cast<float>(k * (tI * dy + dx * static_cast<double>(nJ)));
    const float vyI2 = static_cast<float>(k * (dy * nJ - dx * static_cast<double>(tI)));
    const float vxJ2 = static_cast<float>(k * (nI * dx + dy * static_cast<double>(tJ)));
    const float vyJ2 = static_cast<float>(k * (nI * dy - dx * static_cast<double>(tJ)));
    // x - x is 0 exactly for finite x, NaN for infinities and NaN: one test for all ten.
    const float all = (fx - fx) + (fy - fy) + (nI - nI) + (tI - tI) + (nJ - nJ) + (tJ - tJ)
        + (vxI2 - vxI2) + (vyI2 - vyI2) + (vxJ2 - vxJ2) + (vyJ2 - vyJ2);
    if (all != 0.0f) {
        CollidePar(s, I, J);
        return;
    }
    vx[I] = vxI2;
    vy[I] = vyI2;
    vx[J] = vxJ2;
    vy[J] = vyJ2;
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
        const int to = chunkBegin(count, k + 1);
        for (int i = chunkBegin(count, k); i < to; ++i)
            cell(i);
    };
    Helper::instance().run(kChunks, fill);
    g.sort(count);
}

/// Finds the pairs within `bound` in chunks of places shared with the helper and puts them
/// into (i, j) order.
void findPairs(const CellGrid &g, int count, float bound, PairList &pairs, std::uint64_t &tests)
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

    // Candidates: a squared distance in Single, whose few roundings stay far below the 2^-16
    // added, within a bound above ParSize². Each is settled by the all-pairs pass's own
    // test, the square root in Double; (x_j - x_i)² is (x_i - x_j)² to the bit. Collisions
    // change velocities only, so the pairs found on the positions at the start are the pairs
    // in contact, collided here in (i, j) order.
    const auto bound = static_cast<float>(size * size * (1.0 + 0x1p-16));
    thread_local PairList pairs;
    std::uint64_t tests = 0, contacts = 0;
    findPairs(grid, count, bound, pairs, tests);
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
                collideDirect(s, x, y, vx, vy, i, j);
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
        grid.u[i] = static_cast<float>(u); // a rounding far below the cell's margin
        grid.v[i] = static_cast<float>(v);
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
    findPairs(grid, count, static_cast<float>(reach * reach), pairs, tests);
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
                collideDirect(s, x, y, vx, vy, i, j);
        }
    }
    if (counters) {
        counters->contacts += contacts;
        counters->pairTests += tests;
    }
    return true;
}

} // namespace brownian
