#include "pair_cells.h"

#include "model/geometry.h"
#include "pair_helper.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define BROWNIAN_HAS_WIDE_SEARCH 1
#include <immintrin.h>
#endif

namespace brownian::pairs {

namespace {

constexpr double kPeriod = field::kPeriod;

#ifdef BROWNIAN_HAS_WIDE_SEARCH
const bool g_canWide = (__builtin_cpu_init(), __builtin_cpu_supports("avx2") != 0);
#else
const bool g_canWide = false;
#endif
std::atomic<bool> g_wide { g_canWide };

namespace narrow {
#include "pair_search.inc"
} // namespace narrow

#ifdef BROWNIAN_HAS_WIDE_SEARCH
// Everything defined from here to the pop is compiled for AVX2 and called only where the
// processor has it; the standard library's code, defined above, is not.
#pragma GCC push_options
#pragma GCC target("avx2")
namespace wide {
#define BROWNIAN_WIDE_SEARCH 1
#include "pair_search.inc"
#undef BROWNIAN_WIDE_SEARCH
} // namespace wide
#pragma GCC pop_options
#endif

/// The search of a chunk, eight places at a time where the processor can.
template <bool Periodic, bool Exact>
void findChunkPairs(
    const CellGrid &g, int from, int to, float bound, double exactSize, ChunkPairs &out)
{
#ifdef BROWNIAN_HAS_WIDE_SEARCH
    if (g_wide.load(std::memory_order_relaxed)) {
        wide::findChunkPairs<Periodic, Exact>(g, from, to, bound, exactSize, out);
        return;
    }
#endif
    narrow::findChunkPairs<Periodic, Exact>(g, from, to, bound, exactSize, out);
}

} // namespace

bool wideSearchAvailable()
{
    return g_canWide;
}

void setWideSearch(bool wide)
{
    g_wide.store(wide && g_canWide, std::memory_order_relaxed);
}

void CellGrid::sort(int count, bool share)
{
    const int cells = (n + 2) * stride;
    first.resize(static_cast<std::size_t>(cells) + 1);
    first[cells] = count;
    auto half = [&](int k) {
        const int low = k == 0 ? 0 : cells / 2, high = k == 0 ? cells / 2 : cells;
        int *f = first.data();
        std::fill(f + low, f + high, 0);
        // Without branches, which would be mispredicted wherever the particles' indexes and
        // cells have come apart: a particle of the other half goes to a scratch slot.
        int below = 0, spareCount = 0, spareId;
        float spareU, spareV;
        for (int i = 0; i < count; ++i) {
            const int c = cell[i];
            const bool mine = c >= low && c < high;
            below += c < low;
            ++*(mine ? f + c : &spareCount);
        }
        for (int c = low; c < high; ++c) { // f[c]: the end of cell c's places
            below += f[c];
            f[c] = below;
        }
        for (int i = count - 1; i >= 0; --i) {
            const int c = cell[i];
            const bool mine = c >= low && c < high;
            const int place = --*(mine ? f + c : &spareCount);
            *(mine ? id.data() + place : &spareId) = i;
            *(mine ? su.data() + place : &spareU) = pu[i];
            *(mine ? sv.data() + place : &spareV) = pv[i];
        }
    };
    Helper::instance().run(2, half, share);
}

void findPairs(const CellGrid &g, int count, float bound, double exactSize,
    std::vector<ChunkPairs> &chunks, bool share)
{
    chunks.resize(kChunks);
    auto find = [&](int k) {
        const int from = chunkBegin(count, k), to = chunkBegin(count, k + 1);
        if (g.periodic)
            findChunkPairs<true, false>(g, from, to, bound, exactSize, chunks[k]);
        else if (exactSize >= 0)
            findChunkPairs<false, true>(g, from, to, bound, exactSize, chunks[k]);
        else
            findChunkPairs<false, false>(g, from, to, bound, exactSize, chunks[k]);
    };
    Helper::instance().run(kChunks, find, share);
}

} // namespace brownian::pairs
