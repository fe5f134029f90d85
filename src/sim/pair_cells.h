#pragma once

// The cell grid and the pair search of the grid passes (internal to the simulation library).

#include <cstdint>
#include <limits>
#include <vector>

namespace brownian::pairs {

/// Work split into this many chunks of consecutive particles or places.
inline constexpr int kChunks = 16;

/// From this many particles on the helper thread takes part: below, waking it costs more
/// than it saves.
inline constexpr int kShareFromParticles = 2048;

/// First particle or place of chunk k.
inline int chunkBegin(int count, int k)
{
    return static_cast<int>(static_cast<long long>(count) * k / kChunks);
}

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

/// Finds the pairs within `bound` in chunks of places shared with the helper thread and puts
/// them into (i, j) order; adds the pairs looked at to `tests`.
void findPairs(const CellGrid &g, int count, float bound, PairList &pairs, std::uint64_t &tests);

} // namespace brownian::pairs
