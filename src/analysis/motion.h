#pragma once

// What the lab tool's runs and the program's observation window take from the moving particles,
// by the same code: the unwrapped positions, the mean squared displacement and the speed
// histogram sampled at sub-step 0 and after every sub-step, and the conserved totals.
#include "analysis/analysis.h"
#include "model/modpar.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace brownian {

/// Kinetic energy and momentum of the state, in Double from the Singles.
struct Totals
{
    /// Σ (vx² + vy²) / 2, twips² per sub-step² (unit mass).
    double kineticEnergy = 0;
    /// Σ vx and Σ vy, twips per sub-step.
    double momentumX = 0, momentumY = 0;
};

Totals stateTotals(const ModPar &state);

/// Every particle's unwrapped position: its start plus every move, summed in Double. The move
/// of a sub-step adds the velocity as it stands after the pair pass, which is also the velocity
/// at the end of the sub-step (the wrap pass moves positions by the period but changes no
/// velocity), so the unwrapped position follows the velocities and never sees the period
/// shifts of CollideWrap and the wrap pass.
class UnwrappedPositions
{
public:
    /// Starts at the state's positions.
    void reset(const ModPar &state);
    /// Takes in the move of the sub-step that left `state`.
    void advance(const ModPar &state);

    std::int64_t subSteps() const { return m_subSteps; }
    const std::vector<double> &x() const { return m_x; }
    const std::vector<double> &y() const { return m_y; }

private:
    std::int64_t m_subSteps = 0;
    std::vector<double> m_x, m_y;
};

/// The MSD and the speed histogram of a run, each when asked for: sampled at the start and
/// after every sub-step, from the unwrapped positions and the velocities. On the torus the MSD
/// is measured from the centre of mass and the speeds relative to its velocity.
class MotionSampler
{
public:
    /// `subSteps`: the sub-steps the run will make, for the MSD's lags; none when unknown (the
    /// MSD then grows its levels as the run goes on, with the same results).
    MotionSampler(const ModPar &start, bool unbounded, bool msd, bool speeds,
        std::optional<std::int64_t> subSteps);

    /// One sample: the start, or the state after a sub-step with the unwrapped positions.
    void sample(const ModPar &state, const std::vector<double> &ux, const std::vector<double> &uy);

    const MsdAccumulator *msd() const { return m_msd.get(); }
    const SpeedHistogram *speeds() const { return m_speeds.get(); }

private:
    std::unique_ptr<MsdAccumulator> m_msd;
    std::unique_ptr<SpeedHistogram> m_speeds;
};

} // namespace brownian
