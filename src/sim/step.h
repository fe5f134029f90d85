#pragma once

#include "model/modpar.h"
#include "sim/canvas.h"
#include "sim/tick_counters.h"

namespace brownian {

namespace pairs {
struct Engine;
}

/// One sub-step of the bounded mode: walls, pairs, move, path segment, each over all particles
/// before the next. Draws one red segment of the tracked particle's path on `path`. Runs on
/// this thread alone with scratch of its own; a Simulation keeps its scratch and workers
/// from one sub-step to the next.
void boundedSubStep(ModPar &state, Canvas &path, TickCounters *counters = nullptr);

/// The bounded sub-step with the plain all-pairs pass (a square root per pair); the reference
/// that the fast pass must match exactly.
void boundedSubStepPlain(ModPar &state, Canvas &path, TickCounters *counters = nullptr);

/// One sub-step of the unbounded mode on the torus -500..5500: pairs (across the seams through
/// CollideWrap), move, wrap, path segment. On this thread alone, like boundedSubStep.
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

namespace pairs {

/// One sub-step of a mode with an engine's pass, workers and scratch.
void subStep(Engine &engine, ModPar &state, bool unbounded, Canvas &path, TickCounters *counters);

} // namespace pairs

} // namespace brownian
