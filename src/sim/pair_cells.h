#pragma once

// The cell grid and the pair search of the grid passes (internal to the simulation library).

#include <cstdint>
#include <limits>
#include <vector>

// Where the compiler can build functions for AVX2 beside the baseline instruction set, the
// passes carry both, and wideSearchAvailable() chooses at run time.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define BROWNIAN_HAS_WIDE_CODE 1
#endif

namespace brownian::pairs {

class Workers;

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
/// above the first and below the last, so that the neighbours of every cell are at fixed
/// offsets. The coordinates are the positions themselves in the clamped grid, and reduced
/// into [0, period) in the periodic one.
struct CellGrid
{
    static constexpr int kPad = 8;
    int n = 1; // cells per axis
    int stride = 3; // n + 2: cells per stored row
    bool periodic = false;
    std::vector<int> first; // particles of cell c: places first[c] .. first[c + 1] - 1
    std::vector<int> cell; // cell of particle i
    std::vector<int> id; // particle at each place
    std::vector<float> u, v; // coordinates of particle i, where they are not the positions
                             // (sized by the pass that uses them)
    const float *pu = nullptr, *pv = nullptr; // coordinates of particle i: u, v or the positions
    std::vector<float> su, sv; // coordinates at each place

    void resize(int count)
    {
        stride = n + 2;
        cell.resize(count);
        // Padded for reading eight places at a time: NaN is near nothing, and -1 is later
        // than no particle.
        id.resize(static_cast<std::size_t>(count) + kPad);
        for (int k = count; k < count + kPad; ++k)
            id[k] = -1;
        su.resize(static_cast<std::size_t>(count) + kPad);
        sv.resize(static_cast<std::size_t>(count) + kPad);
        for (int k = count; k < count + kPad; ++k)
            su[k] = sv[k] = std::numeric_limits<float>::quiet_NaN();
        // Sized here, so that the work shared with the workers allocates nothing.
        const std::size_t cells = static_cast<std::size_t>(n + 2) * stride;
        counts[0].resize(cells);
        counts[1].resize(cells);
        first.resize(cells + 1);
    }

    /// Cell of column cx, row cy (both 0 .. n - 1).
    int at(int cx, int cy) const { return (cy + 1) * stride + cx + 1; }

    /// Counting sort by cell, stable: each cell lists its particles in ascending index order.
    /// The particles are counted and placed in two halves by index, and the cells' places
    /// summed up in two halves by cell, which the helper thread can share: the first half's
    /// particles go before the second's in every cell.
    ///
    /// countHalf(h, from, to) counts the cells of particles from .. to - 1, the half h of
    /// halfBegin(count, h) .. halfBegin(count, h + 1); place() then sorts, once both halves are
    /// counted.
    static int halfBegin(int count, int h) { return h == 0 ? 0 : (h == 1 ? count / 2 : count); }
    void countHalf(int h, int from, int to) noexcept;
    void place(Workers &workers, int count, bool share);

    std::vector<int> counts[2]; // per half: particles in each cell, then the next place
    int lowerCells[2] = {}; // per half: its particles in the first half of the cells
};

/// The pairs found for one chunk of particles, i << 32 | j with i in the chunk and j > i, in
/// (i, j) order; the found partners j beyond the chunk are also listed, the first
/// `beyondCount` entries of `beyond`.
struct ChunkPairs
{
    std::vector<std::uint64_t> pairs;
    std::size_t count = 0;
    std::vector<int> beyond;
    std::size_t beyondCount = 0;
    std::uint64_t tests = 0;
};

inline int firstOf(std::uint64_t pair)
{
    return static_cast<int>(pair >> 32);
}

inline int secondOf(std::uint64_t pair)
{
    return static_cast<int>(pair & 0xffffffffu);
}

/// Whether this processor runs the grid passes' AVX2 code (the search comparing eight places
/// at a time, the cells filed four at a time). The one place that decides it; a simulation
/// uses that code where it can unless told to keep to the baseline instruction set. Both give
/// the same results.
bool wideSearchAvailable();

/// Finds, chunk by chunk of particles shared with the workers, the pairs whose squared
/// distance over the grid's coordinates is at most `bound` (across the seams in the periodic
/// grid). In the clamped grid a pair is kept only where it also passes the contact test of
/// the all-pairs pass, sqrt(dx² + dy²) <= exactSize in Double (never for a negative size).
/// `wide`: the AVX2 search (only where wideSearchAvailable()).
void findPairs(Workers &workers, bool wide, const CellGrid &g, int count, float bound,
    double exactSize, std::vector<ChunkPairs> &chunks, bool share);

} // namespace brownian::pairs
