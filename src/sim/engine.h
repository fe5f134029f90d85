#pragma once

// What a simulation's sub-steps need between calls (internal to the simulation library): the
// choice of pair pass, the worker threads and the scratch of the passes.

#include "model/geometry.h"
#include "sim/collision_record.h"
#include "sim/pair_cells.h"
#include "sim/pair_grid.h"
#include "sim/workers.h"

#include <cmath>
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

/// Where the torus's pair passes add each collision's r_ij · Δp_i while a sub-step is recorded
/// (in the box, where the pass moves nothing, the per-particle sum Σ r_i · ΔP_i is the same): to
/// the sum of its lower-numbered particle i, so that every particle's sum takes its pairs in the
/// same (i, j) order on any number of threads (the groups settle only their own particles' pairs).
struct VirialSums
{
    double *sums = nullptr; // one a particle; null while nothing is recorded
    bool periodic = false;

    explicit operator bool() const { return sums != nullptr; }

    /// Particle i's velocity went from (vx0, vy0) to what it is now in a collision with j; the
    /// positions are those it was collided at (shifted by CollideWrap, hence the nearest image
    /// on the torus).
    void add(const float *x, const float *y, const float *vx, const float *vy, int i, int j,
        float vx0, float vy0) const noexcept
    {
        constexpr double period = field::kPeriod;
        double rx = static_cast<double>(x[i]) - x[j];
        double ry = static_cast<double>(y[i]) - y[j];
        if (periodic && !(std::fabs(rx) <= period / 2 && std::fabs(ry) <= period / 2)) {
            rx -= period * std::nearbyint(rx / period);
            ry -= period * std::nearbyint(ry / period);
        }
        sums[i] +=
            rx * (static_cast<double>(vx[i]) - vx0) + ry * (static_cast<double>(vy[i]) - vy0);
    }
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
    std::vector<double> virialSums; // the torus's
    std::vector<float> startVx, startVy; // the box's: velocities at the start of the sub-step
    VirialSums virial; // set for each sub-step (the torus's collisions only)
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
    CollisionRecord *record = nullptr; // what the sub-steps add to, when anything
    Workers workers;
    Scratch scratch;
};

} // namespace brownian::pairs
