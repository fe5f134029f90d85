#pragma once

#include "model/modpar.h"
#include "sim/canvas.h"
#include "sim/collision_record.h"
#include "sim/pair_grid.h"
#include "sim/step.h"

#include <memory>

namespace brownian {

namespace pairs {
struct Engine;
}

/// One simulation: the state, the pair pass, the worker threads and the scratch the passes
/// keep between sub-steps. Nothing of it is shared with another simulation, so any number can
/// run side by side, each on threads of its own. It never draws but through the canvases it is
/// handed. One thread uses a simulation at a time.
class Simulation
{
public:
    /// A state as ModPar starts (no particles); one thread, the pass chosen by the count.
    Simulation();
    /// A simulation of `state` on `threads` threads (1..256).
    explicit Simulation(ModPar state, int threads = 1, PairPass pass = PairPass::Auto);
    ~Simulation();
    Simulation(Simulation &&) noexcept;
    Simulation &operator=(Simulation &&) noexcept;

    ModPar &state() { return m_state; }
    const ModPar &state() const { return m_state; }

    /// True where BoundMode selects the wrap-around field.
    bool unbounded() const { return m_state.BoundMode != Integer(0); }

    PairPass pairPass() const;
    void setPairPass(PairPass pass);

    /// Threads the grid passes share their work between, 1..256 (std::invalid_argument
    /// otherwise). The results never depend on it.
    int threads() const;
    void setThreads(int threads);

    /// Whether the grid passes use their AVX2 code, where the processor has it (the default);
    /// off keeps them to the baseline instruction set. The results never depend on it.
    bool wideSearch() const;
    void setWideSearch(bool wide);

    /// While `record` is given, every sub-step adds to it the virial of its collisions and,
    /// in the box, the momentum its walls take; nullptr stops that. The record must outlive
    /// its use. Recording changes nothing of the motion.
    void setCollisionRecord(CollisionRecord *record);
    CollisionRecord *collisionRecord() const;

    /// Places the particles afresh for the current mode (InitPar with its margin).
    void place();

    /// One tick of the current mode (or of the mode given, which the clock's two timers name):
    /// reads ParSpeed once, runs that many sub-steps (none below 1), each followed by
    /// `observer` when given, then draws the frame on `frame`. A fault of the simulation
    /// (RuntimeFault) leaves the state as the faulty sub-step left it.
    void tick(Canvas &path, Canvas &frame, TickCounters *counters = nullptr,
        SubStepObserver *observer = nullptr);
    void tick(bool unbounded, Canvas &path, Canvas &frame, TickCounters *counters = nullptr,
        SubStepObserver *observer = nullptr);

    /// One sub-step of the given mode, its path segment on `path`.
    void subStep(bool unbounded, Canvas &path, TickCounters *counters = nullptr);

private:
    ModPar m_state;
    std::unique_ptr<pairs::Engine> m_engine;
};

} // namespace brownian
