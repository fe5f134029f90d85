#include "pair_cells.h"

#include "model/geometry.h"
#include "pair_helper.h"

#include <algorithm>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace brownian::pairs {

namespace {

constexpr double kPeriod = field::kPeriod;

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

} // namespace

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
    Helper::instance().run(kChunks, find, count >= kShareFromParticles);
    for (const FoundPairs &c : chunks)
        tests += c.tests;
    pairs.order(count, chunks);
}

} // namespace brownian::pairs
