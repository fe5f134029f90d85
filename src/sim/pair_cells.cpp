#include "pair_cells.h"

#include "model/geometry.h"
#include "workers.h"

#include <algorithm>
#include <array>
#include <cmath>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#ifdef BROWNIAN_HAS_WIDE_CODE
#include <immintrin.h>
#endif

namespace brownian::pairs {

namespace {

constexpr double kPeriod = field::kPeriod;

#ifdef BROWNIAN_HAS_WIDE_CODE
const bool g_canWide = (__builtin_cpu_init(),
    __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("popcnt") != 0);
#else
const bool g_canWide = false;
#endif

namespace narrow {
#include "pair_search_common.inc"
// The search itself, after what it shares.
#include "pair_search.inc"
} // namespace narrow

#ifdef BROWNIAN_HAS_WIDE_CODE
// Everything defined from here to the pop is compiled for AVX2 and called only where the
// processor has it; the standard library's code, defined above, is not.
#pragma GCC push_options
#pragma GCC target("avx2,popcnt")
namespace wide {
#include "pair_search_common.inc"
// The search itself, after what it shares.
#include "pair_search_wide.inc"
} // namespace wide
#pragma GCC pop_options
#endif

/// The search of a chunk, eight places at a time where the processor can.
template <bool Periodic, bool Exact>
void findChunkPairs(
    bool wide, const CellGrid &g, int from, int to, float bound, double exactSize, ChunkPairs &out)
{
#ifdef BROWNIAN_HAS_WIDE_CODE
    if (wide) {
        wide::findChunkPairsWide<Periodic>(g, from, to, bound, exactSize, out);
        return;
    }
#else
    (void)wide;
#endif
    narrow::findChunkPairs<Periodic, Exact>(g, from, to, bound, exactSize, out);
}

} // namespace

bool wideSearchAvailable()
{
    return g_canWide;
}

void CellGrid::countHalf(int h, int from, int to) noexcept
{
    const int cells = (n + 2) * stride;
    int *f = counts[h].data(); // sized by resize()
    std::fill(f, f + cells, 0);
    int lower = 0;
    for (int i = from; i < to; ++i) {
        ++f[cell[i]];
        lower += cell[i] < cells / 2;
    }
    lowerCells[h] = lower;
}

void CellGrid::place(Workers &workers, int count, bool share)
{
    const int cells = (n + 2) * stride;
    first[cells] = count;
    // The first place of each cell, and from it each half's next place in that cell.
    auto sum = [&](int k) noexcept {
        const int low = k == 0 ? 0 : cells / 2, high = k == 0 ? cells / 2 : cells;
        int *f = first.data();
        int *c0 = counts[0].data();
        int *c1 = counts[1].data();
        int next = k == 0 ? 0 : lowerCells[0] + lowerCells[1];
        for (int c = low; c < high; ++c) {
            const int n0 = c0[c], n1 = c1[c];
            f[c] = next;
            c0[c] = next;
            c1[c] = next + n0;
            next += n0 + n1;
        }
    };
    workers.run(2, sum, share);
    auto put = [&](int h) noexcept {
        int *next = counts[h].data();
        const int to = halfBegin(count, h + 1);
        for (int i = halfBegin(count, h); i < to; ++i) {
            const int p = next[cell[i]]++;
            id[p] = i;
            su[p] = pu[i];
            sv[p] = pv[i];
        }
    };
    workers.run(2, put, share);
}

void findPairs(Workers &workers, bool wide, const CellGrid &g, int count, float bound,
    double exactSize, std::vector<ChunkPairs> &chunks, bool share)
{
    chunks.resize(kChunks);
    wide = wide && g_canWide;
    auto find = [&](int k) noexcept {
        const int from = chunkBegin(count, k), to = chunkBegin(count, k + 1);
        if (g.periodic)
            findChunkPairs<true, false>(wide, g, from, to, bound, exactSize, chunks[k]);
        else
            findChunkPairs<false, true>(wide, g, from, to, bound, exactSize, chunks[k]);
    };
    workers.run(kChunks, find, share);
}

} // namespace brownian::pairs
