#include "pair_cells.h"

#include "model/geometry.h"
#include "pair_helper.h"

#include <algorithm>
#include <cmath>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace brownian::pairs {

namespace {

constexpr double kPeriod = field::kPeriod;

/// Finds, for the particles from..to - 1 in index order, every later particle in the same or
/// a neighbouring cell whose squared distance over the grid's coordinates is at most `bound`
/// (across the seams in the periodic grid) and, where `Exact`, whose distance passes the
/// contact test. Each particle's partners are put into ascending order, so the chunk's pairs
/// come out in (i, j) order. Reads the grid only.
template <bool Periodic, bool Exact>
void findChunkPairs(
    const CellGrid &g, int from, int to, float bound, double exactSize, ChunkPairs &out)
{
    const int n = g.n, stride = g.stride;
    const int *f = g.first.data();
    const int *id = g.id.data();
    const int *cell = g.cell.data();
    const float *u = g.u.data();
    const float *v = g.v.data();
    const float *su = g.su.data();
    const float *sv = g.sv.data();
    constexpr float period = kPeriod, half = period / 2;
    std::size_t found = 0;
    std::uint64_t looked = 0;
    out.beyond.clear();
    // The square root is correctly rounded and ParSize is a whole number: sqrt(d2) <= size
    // holds wherever d2 <= size², and fails wherever d2 > size² (1 + 2^-50), whose root is
    // more than two units in the last place above size. Only between the two is the root
    // taken. No distance is within a negative size.
    const double sizeSquared = exactSize >= 0 ? exactSize * exactSize : -1.0;
    const double nearSquared = exactSize >= 0 ? sizeSquared * (1.0 + 0x1p-50) : -1.0;
    for (int i = from; i < to; ++i) {
        const int c = cell[i];
        int begin[6], end[6], runs = 0;
        auto add = [&](int first, int last) { // the places of cells first .. last - 1
            begin[runs] = f[first];
            end[runs++] = f[last];
        };
        if constexpr (Periodic) {
            // Rows and columns 1 .. n hold the cells; the neighbours wrap round.
            const int row = c / stride, col = c - row * stride;
            for (int r : { row - 1, row, row + 1 }) {
                r = r < 1 ? r + n : (r > n ? r - n : r);
                const int base = r * stride;
                if (col == 1) {
                    add(base + 1, base + 3);
                    add(base + n, base + n + 1);
                } else if (col == n) {
                    add(base + n - 1, base + n + 1);
                    add(base + 1, base + 2);
                } else {
                    add(base + col - 1, base + col + 2);
                }
            }
        } else {
            add(c - stride - 1, c - stride + 2);
            add(c - 1, c + 2);
            add(c + stride - 1, c + stride + 2);
        }
        std::size_t most = 0;
        for (int r = 0; r < runs; ++r)
            most += static_cast<std::size_t>(end[r] - begin[r]);
        if (out.pairs.size() < found + most)
            out.pairs.resize(std::max(2 * out.pairs.size(), found + most + 256));
        std::uint64_t *pairs = out.pairs.data();
        const std::size_t mine = found;
        const float ua = u[i], va = v[i];
        const auto high = static_cast<std::uint64_t>(i) << 32;
        auto emit = [&](int b) { // for a later particle j; without a branch on the test
            pairs[found] = high | static_cast<std::uint32_t>(id[b]);
            if constexpr (Exact) {
                const double dx = static_cast<double>(ua) - su[b];
                const double dy = static_cast<double>(va) - sv[b];
                const double d2 = dx * dx + dy * dy;
                found += d2 <= sizeSquared || (d2 <= nearSquared && std::sqrt(d2) <= exactSize);
            } else {
                ++found;
            }
        };
#ifdef __SSE2__
        // Eight places of every run at once, whatever its length (the arrays are padded past
        // the last place, with NaN coordinates): a run of neighbouring cells seldom holds more,
        // and a fixed shape leaves the processor nothing to mispredict.
        const __m128 ua4 = _mm_set1_ps(ua), va4 = _mm_set1_ps(va);
        const __m128 bound4 = _mm_set1_ps(bound);
        const __m128i i4 = _mm_set1_epi32(i);
        [[maybe_unused]] const __m128 half4 = _mm_set1_ps(half), period4 = _mm_set1_ps(period);
        [[maybe_unused]] const __m128 lowHalf4 = _mm_set1_ps(-half);
        auto near4 = [&](int b) { // bit k: place b + k is a later particle within the bound
            __m128 du = _mm_sub_ps(ua4, _mm_loadu_ps(su + b));
            __m128 dv = _mm_sub_ps(va4, _mm_loadu_ps(sv + b));
            if constexpr (Periodic) {
                du = _mm_sub_ps(du, _mm_and_ps(_mm_cmpgt_ps(du, half4), period4));
                du = _mm_add_ps(du, _mm_and_ps(_mm_cmplt_ps(du, lowHalf4), period4));
                dv = _mm_sub_ps(dv, _mm_and_ps(_mm_cmpgt_ps(dv, half4), period4));
                dv = _mm_add_ps(dv, _mm_and_ps(_mm_cmplt_ps(dv, lowHalf4), period4));
            }
            const __m128 d2 = _mm_add_ps(_mm_mul_ps(du, du), _mm_mul_ps(dv, dv));
            const __m128i later =
                _mm_cmpgt_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(id + b)), i4);
            return _mm_movemask_ps(_mm_and_ps(_mm_cmple_ps(d2, bound4), _mm_castsi128_ps(later)));
        };
        // Bits 8r .. 8r + 7: the first eight places of run r, collected before any is looked
        // at, so that a particle without partners costs one branch.
        std::uint64_t hits = 0;
        for (int r = 0; r < runs; ++r) {
            const int b = begin[r], length = end[r] - b;
            const unsigned run = static_cast<unsigned>(near4(b) | near4(b + 4) << 4)
                & (length >= 8 ? 255u : (1u << length) - 1);
            hits |= static_cast<std::uint64_t>(run) << (8 * r);
            for (int c = b + 8; c < end[r]; c += 4) {
                const int left = end[r] - c;
                unsigned more =
                    static_cast<unsigned>(near4(c)) & (left >= 4 ? 15u : (1u << left) - 1);
                for (; more != 0; more &= more - 1)
                    emit(c + __builtin_ctz(more));
            }
        }
        for (; hits != 0; hits &= hits - 1) {
            const int k = __builtin_ctzll(hits);
            emit(begin[k >> 3] + (k & 7));
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
                if (du * du + dv * dv <= bound && id[b] > i)
                    emit(b);
            }
        }
#endif
        // Insertion sort: a particle has a handful of partners at most.
        for (std::size_t a = mine + 1; a < found; ++a) {
            const std::uint64_t p = pairs[a];
            std::size_t b = a;
            for (; b > mine && pairs[b - 1] > p; --b)
                pairs[b] = pairs[b - 1];
            pairs[b] = p;
        }
        for (std::size_t a = mine; a < found; ++a) {
            if (secondOf(pairs[a]) >= to)
                out.beyond.push_back(secondOf(pairs[a]));
        }
        looked += most;
    }
    out.count = found;
    out.tests = looked;
}

} // namespace

void CellGrid::sort(int count, bool share)
{
    const int cells = (n + 2) * stride;
    first.resize(static_cast<std::size_t>(cells) + 1);
    first[cells] = count;
    auto half = [&](int k) {
        const int low = k == 0 ? 0 : cells / 2, high = k == 0 ? cells / 2 : cells;
        int *f = first.data();
        std::fill(f + low, f + high, 0);
        int below = 0;
        for (int i = 0; i < count; ++i) {
            const int c = cell[i];
            if (c < low)
                ++below;
            else if (c < high)
                ++f[c];
        }
        for (int c = low; c < high; ++c) { // f[c]: the end of cell c's places
            below += f[c];
            f[c] = below;
        }
        for (int i = count - 1; i >= 0; --i) {
            const int c = cell[i];
            if (c >= low && c < high) {
                const int place = --f[c];
                id[place] = i;
                su[place] = u[i];
                sv[place] = v[i];
            }
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
