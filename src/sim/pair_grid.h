#pragma once

// The cell-grid pair passes (internal to the simulation library).

#include "model/modpar.h"
#include "sim/tick_counters.h"

namespace brownian {

/// Which pair pass the sub-steps use. Both find exactly the same pairs and collide them in the
/// same order, so the choice changes the running time and nothing else.
enum class PairPass {
    Auto, ///< the cell grid from kGridFromParticles particles on, else all pairs
    All, ///< every pair tested (the reference)
    Grid, ///< candidates from the cell grid wherever it applies
};

/// From this many particles on, Auto uses the cell grid: below it the all-pairs pass, whose
/// inner loop vectorises, is as fast or faster.
inline constexpr int kGridFromParticles = 256;

namespace pairs {

struct Engine;

/// The wall pass, then the bounded pair pass through a cell grid over the particles' bounding
/// box (cell indexes clamped, so particles far outside the box are covered): the same contact
/// test and the same collisions in the same (i, j) order as the all-pairs pass. Always applies.
void boundedGridPairPass(Engine &engine, ModPar &state, int count, TickCounters *counters);

/// The unbounded pair pass through a periodic cell grid over the 6000-twip field. Every
/// candidate is tested in (i, j) order on the positions as they stand when it is reached,
/// exactly as the all-pairs pass tests it, so the shifts of CollideWrap are seen by later
/// pairs as there. Returns false, having done nothing, where the grid does not apply (fewer
/// than three cells per axis, or coordinates too far out for the shifts to stay within a
/// cell's margin); the caller then runs the all-pairs pass.
bool unboundedGridPairPass(Engine &engine, ModPar &state, int count, TickCounters *counters);

} // namespace pairs

} // namespace brownian
