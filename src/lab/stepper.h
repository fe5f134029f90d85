#pragma once

#include "model/modpar.h"
#include "sim/canvas.h"
#include "sim/step.h"

#include <cstdint>
#include <vector>

namespace brownian::lab {

/// Kinetic energy and momentum of the state, in Double from the Singles.
struct Totals
{
    /// Σ (vx² + vy²) / 2, twips² per sub-step² (unit mass).
    double kineticEnergy = 0;
    /// Σ vx and Σ vy, twips per sub-step.
    double momentumX = 0, momentumY = 0;
};

Totals stateTotals(const ModPar &state);

/// Runs ticks through the program's own tick and keeps every particle's unwrapped position:
/// its start plus every move, summed in Double. The move of a sub-step adds the velocity as it
/// stands after the pair pass, which is also the velocity at the end of the sub-step (the wrap
/// pass moves positions by the period but changes no velocity), so the unwrapped position
/// follows the velocities and never sees the period shifts of CollideWrap and the wrap pass.
class Stepper final : private SubStepObserver
{
public:
    /// Starts the unwrapped positions at the state's positions.
    Stepper(ModPar &state, bool unbounded);

    /// One tick as the window runs it (runTick), with its path segments on `path`. After each
    /// sub-step the unwrapped positions take in its move, then `after` (when given) is called.
    /// The frame goes to a canvas that keeps nothing: only the last one is wanted, and the
    /// caller draws it (drawFrame).
    void tick(Canvas &path, TickCounters &counters, SubStepObserver *after = nullptr);

    /// Sub-steps run so far.
    std::int64_t subSteps() const { return m_subSteps; }
    const std::vector<double> &unwrappedX() const { return m_ux; }
    const std::vector<double> &unwrappedY() const { return m_uy; }
    ModPar &state() { return m_state; }

private:
    void afterSubStep(const ModPar &state) override;

    ModPar &m_state;
    bool m_unbounded;
    NullCanvas m_frame;
    SubStepObserver *m_after = nullptr;
    std::int64_t m_subSteps = 0;
    std::vector<double> m_ux, m_uy;
};

} // namespace brownian::lab
