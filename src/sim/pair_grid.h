#pragma once

#include "model/modpar.h"
#include "sim/step.h"

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

/// The pass the sub-steps of this process use (Auto unless set).
PairPass pairPass();
void setPairPass(PairPass pass);

/// Sets the pass for the lifetime of the guard and restores the previous one afterwards.
class PairPassScope
{
public:
    explicit PairPassScope(PairPass pass)
        : m_previous(pairPass())
    {
        setPairPass(pass);
    }
    ~PairPassScope() { setPairPass(m_previous); }
    PairPassScope(const PairPassScope &) = delete;
    PairPassScope &operator=(const PairPassScope &) = delete;

private:
    PairPass m_previous;
};

/// Threads the grid passes use from 2048 particles on (1 or 2; 2 where the machine has two
/// processors or more), to file the cells, find the pairs, collide them and move the
/// particles. Every particle sees its collisions in (i, j) order either way, so the count
/// changes the running time and nothing else.
void setPairSearchThreads(int threads);
int pairSearchThreads();

/// True when the sub-steps should try the grid for `count` particles.
bool gridWanted(int count);

/// The wall pass, then the bounded pair pass through a cell grid over the particles' bounding box
/// (cell indexes clamped, so particles far outside the box are covered): the same contact test and
/// the same collisions in the same (i, j) order as the all-pairs pass. Always applies.
void boundedGridPairPass(ModPar &state, int count, TickCounters *counters);

/// The unbounded pair pass through a periodic cell grid over the 6000-twip field. Every
/// candidate is tested in (i, j) order on the positions as they stand when it is reached,
/// exactly as the all-pairs pass tests it, so the shifts of CollideWrap are seen by later
/// pairs as there. Returns false, having done nothing, where the grid does not apply (fewer
/// than three cells per axis, or coordinates too far out for the shifts to stay within a
/// cell's margin); the caller then runs the all-pairs pass.
bool unboundedGridPairPass(ModPar &state, int count, TickCounters *counters);

} // namespace brownian
