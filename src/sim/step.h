#pragma once

#include "model/modpar.h"
#include "sim/canvas.h"

#include <cstdint>

namespace brownian {

/// What a tick did, for the lab tool's statistics and benchmarks.
struct TickCounters
{
    /// Calls of CollidePar and CollideWrap.
    std::uint64_t contacts = 0;
    /// Pair tests made (N·(N-1)/2 per sub-step).
    std::uint64_t pairTests = 0;
};

/// One sub-step of the bounded mode: walls, pairs, move, path segment, each over all particles
/// before the next. Draws one red segment of the tracked particle's path on `path`.
void boundedSubStep(ModPar &state, Canvas &path, TickCounters *counters = nullptr);

/// The bounded sub-step with the plain all-pairs pass (a square root per pair); the reference
/// that the fast pass must match exactly.
void boundedSubStepPlain(ModPar &state, Canvas &path, TickCounters *counters = nullptr);

/// One sub-step of the unbounded mode on the torus -500..5500: pairs (across the seams through
/// CollideWrap), move, wrap, path segment.
void unboundedSubStep(ModPar &state, Canvas &path, TickCounters *counters = nullptr);

/// The collision of a pair in contact across a seam of the wrap-around field: coordinates below
/// ParSize - 500 are moved up by 6000 (and stay there until the wrap pass), then the velocities
/// are exchanged as in CollidePar.
void CollideWrap(ModPar &state, Integer I, Integer J);

/// Draws one frame on the frame buffer: every particle a green disc in index order, then the
/// tracked particle red on top. Radius ParSize / 2 twips.
void drawFrame(const ModPar &state, Canvas &buffer);

/// Watches a tick from inside: called after every sub-step, with the state that sub-step left.
class SubStepObserver
{
public:
    virtual ~SubStepObserver() = default;
    virtual void afterSubStep(const ModPar &state) = 0;
};

/// One tick of the current mode (`unbounded` selects the wrap-around step): reads ParSpeed
/// once, runs that many sub-steps (none below 1), each followed by `observer` when given,
/// then draws the frame on `buffer`.
void runTick(ModPar &state, bool unbounded, Canvas &path, Canvas &buffer,
    TickCounters *counters = nullptr, SubStepObserver *observer = nullptr);

} // namespace brownian
