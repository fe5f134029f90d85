#pragma once

// What a simulation's sub-steps need between calls (internal to the simulation library): the
// choice of pair pass, the worker threads and the scratch of the passes.

#include "sim/pair_cells.h"
#include "sim/pair_grid.h"
#include "sim/workers.h"

#include <cstdint>
#include <vector>

namespace brownian::pairs {

/// A pair across the seams settled late, with the positions it found: CollideWrap may shift
/// them.
struct PositionUndo
{
    int i, j;
    float xI, yI, xJ, yJ;
};

/// One group of search chunks whose pairs a worker settles side by side with the others.
struct Group
{
    // Sized for all the group's pairs, so that the first round writes without checks.
    std::vector<std::uint64_t> later; // pairs left to the second round, in (i, j) order
    std::size_t laterCount = 0, settled = 0;
    bool fault = false;
};

/// Everything the passes keep from sub-step to sub-step, so that nothing is allocated once
/// the sizes settle.
struct Scratch
{
    CellGrid grid;
    std::vector<ChunkPairs> chunks;
    std::vector<Group> groups;
    std::vector<unsigned char> left; // 1: the particle's pairs wait for the second round
    std::vector<float> savedVx, savedVy; // velocities at the start of the settling
    std::vector<PositionUndo> late;
    std::vector<double> xs, ys, d2; // the all-pairs search
    std::vector<int> found;
};

/// The passes' settings, workers and scratch; one per simulation.
struct Engine
{
    explicit Engine(
        int threads = 1, PairPass pass = PairPass::Auto, bool wide = wideSearchAvailable())
        : pass(pass)
        , wide(wide && wideSearchAvailable())
        , workers(threads)
    {
    }

    /// True when the sub-steps should try the grid for `count` particles.
    bool gridWanted(int count) const
    {
        switch (pass) {
        case PairPass::All:
            return false;
        case PairPass::Grid:
            return true;
        case PairPass::Auto:
            break;
        }
        return count >= kGridFromParticles;
    }

    /// True when the per-particle passes are shared with the workers for `count` particles.
    bool shared(int count) const { return count >= kShareFromParticles && gridWanted(count); }

    PairPass pass;
    bool wide;
    Workers workers;
    Scratch scratch;
};

} // namespace brownian::pairs
