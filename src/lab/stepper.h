#pragma once

#include "analysis/motion.h"
#include "model/modpar.h"
#include "sim/canvas.h"
#include "sim/simulation.h"

#include <cstdint>
#include <vector>

namespace brownian::lab {

// The totals moved to the analysis layer, which the program's observation window shares.
using brownian::stateTotals;
using brownian::Totals;

/// Runs ticks through the program's own tick and keeps every particle's unwrapped position
/// (UnwrappedPositions).
class Stepper final : private SubStepObserver
{
public:
    /// Starts the unwrapped positions at the simulation's positions.
    Stepper(Simulation &simulation, bool unbounded);

    /// One tick as the window runs it (Simulation::tick), with its path segments on `path`. After
    /// each sub-step the unwrapped positions take in its move, then `after` (when given) is called.
    /// The frame goes to a canvas that keeps nothing: only the last one is wanted, and the
    /// caller draws it (drawFrame).
    void tick(Canvas &path, TickCounters &counters, SubStepObserver *after = nullptr);

    /// Sub-steps run so far.
    std::int64_t subSteps() const { return m_unwrapped.subSteps(); }
    const std::vector<double> &unwrappedX() const { return m_unwrapped.x(); }
    const std::vector<double> &unwrappedY() const { return m_unwrapped.y(); }
    ModPar &state() { return m_simulation.state(); }
    Simulation &simulation() { return m_simulation; }

private:
    void afterSubStep(const ModPar &state) override;

    Simulation &m_simulation;
    bool m_unbounded;
    NullCanvas m_frame;
    SubStepObserver *m_after = nullptr;
    UnwrappedPositions m_unwrapped;
};

} // namespace brownian::lab
