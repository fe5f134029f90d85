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
#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <vector>

namespace brownian::pairs {

/// A pair across the seams settled late, with the positions it found: CollideWrap may shift
/// them.
struct PositionUndo
{
    int i, j;
    float xI, yI, xJ, yJ;
};

/// A sum of the torus's collisions' r_ij · Δp_i in fixed point, units of 2⁻²⁰ twip² per
/// sub-step. Whole numbers add exactly in any order, so the total is the same bits whichever
/// thread settled which pair and in what order; a contribution or total beyond the range (or
/// not finite) leaves the sum lost rather than wrong.
struct VirialSum
{
    static constexpr float kScale = 0x1p20f;

    std::int64_t units = 0;
    bool lost = false;

    void add(float value) noexcept
    {
        const float scaled = value * kScale; // exact, or infinite
        if (!(std::fabs(scaled) < 0x1p62f)) {
            lost = true;
            return;
        }
        if (__builtin_add_overflow(units, nearestWhole(scaled), &units))
            lost = true;
    }

    void add(const VirialSum &other) noexcept
    {
        if (other.lost || __builtin_add_overflow(units, other.units, &units))
            lost = true;
    }

    /// The sum in twips² per sub-step; NaN once lost.
    double value() const { return lost ? std::nan("") : static_cast<double>(units) / kScale; }

private:
    /// `v` rounded to the nearest whole number, ties to even (|v| < 2⁶²).
    static std::int64_t nearestWhole(float v) noexcept
    {
#if defined(__x86_64__)
        return _mm_cvtss_si64(_mm_set_ss(v)); // one instruction in the default rounding
#else
        return std::llrint(v);
#endif
    }
};

/// Where the torus's pair passes add each collision's r_ij · Δp_i, with Δp_i the change of the
/// lower-numbered particle i's velocity, while a sub-step is recorded. Worked out in Single, as
/// the collision's own arithmetic: a contribution's rounding is far below the pressure's
/// statistical noise, and this runs for every collision.
struct VirialSums
{
    VirialSum *sum = nullptr; // null while nothing is recorded

    explicit operator bool() const { return sum != nullptr; }

    /// Particle i's velocity went from (vx0, vy0) to what it is now in a direct collision with
    /// j: r_ij is the separation the collision took, x[i] - x[j] rounded to Single.
    void direct(const float *x, const float *y, const float *vx, const float *vy, int i, int j,
        float vx0, float vy0) const noexcept
    {
        sum->add((x[i] - x[j]) * (vx[i] - vx0) + (y[i] - y[j]) * (vy[i] - vy0));
    }

    /// The same for a collision across the seams, at the positions CollideWrap shifted: their
    /// separation taken as the nearest image.
    void across(const float *x, const float *y, const float *vx, const float *vy, int i, int j,
        float vx0, float vy0) const noexcept
    {
        const auto nearest = [](float r) {
            constexpr double period = field::kPeriod;
            return static_cast<float>(r - period * std::nearbyint(r / period));
        };
        sum->add(nearest(x[i] - x[j]) * (vx[i] - vx0) + nearest(y[i] - y[j]) * (vy[i] - vy0));
    }
};

/// One group of search chunks whose pairs a worker settles side by side with the others.
struct Group
{
    // Sized for all the group's pairs, so that the first round writes without checks.
    std::vector<std::uint64_t> later; // pairs left to the second round, in (i, j) order
    std::size_t laterCount = 0, settled = 0;
    bool fault = false;
    VirialSum virial; // what the first round's collisions add, while recorded
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
    VirialSum virialSum; // the torus's, but for the groups' first rounds
    std::vector<float> startVx, startVy; // the box's: velocities at the start of the sub-step
    VirialSums virial; // set for each recorded sub-step on the torus
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
