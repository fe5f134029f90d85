#pragma once

// The live observation of a running simulation, Qt-free: what the observation window shows.
#include "analysis/gas.h"
#include "analysis/motion.h"
#include "model/modpar.h"
#include "sim/step.h"

#include <cstdint>
#include <optional>

namespace brownian {

/// Watches the particles from one start (a placement) on: their unwrapped positions, the mean
/// squared displacement and the speed histogram sampled at the start and after every sub-step,
/// exactly as the lab tool's run samples them (MotionSampler), the kinetic energy and momentum
/// at the start and after the latest tick, the contacts of that tick, and the temperature and
/// pressure tick by tick (from the collision record the simulation fills while it is handed
/// collisionRecord()). The MSD grows its
/// levels as the run goes on, so after any number of sub-steps it equals what the lab writes
/// for a run of that length.
class Observation final : public SubStepObserver
{
public:
    /// Bins of the speed histogram, as the lab's default.
    static constexpr int kBins = 30;

    /// Starts afresh from the state as it stands (its mode from BoundMode).
    void reset(const ModPar &state);
    /// Forgets everything; started() is false until the next reset.
    void clear();
    bool started() const { return m_motion.has_value(); }

    /// After every sub-step. A state whose particle count no longer matches (re-dimensioned
    /// without a placement) starts the observation afresh.
    void afterSubStep(const ModPar &state) override;
    /// After every tick, with its counters.
    void afterTick(const ModPar &state, const TickCounters &counters);

    bool unbounded() const { return m_unbounded; }
    int particles() const { return static_cast<int>(m_positions.x().size()); }
    std::int64_t ticks() const { return m_ticks; }
    std::int64_t subSteps() const { return m_positions.subSteps(); }
    const UnwrappedPositions &positions() const { return m_positions; }
    /// Present while started().
    const MsdAccumulator &msd() const { return *m_motion->msd(); }
    const SpeedHistogram &speeds() const { return *m_motion->speeds(); }
    const Totals &startTotals() const { return m_start; }
    /// The totals after the latest tick (the start's before the first).
    const Totals &totals() const { return m_now; }
    std::uint64_t lastContacts() const { return m_lastContacts; }
    /// What the simulation adds each sub-step's collisions to; taken in and cleared each tick.
    CollisionRecord &collisionRecord() { return m_record; }
    const GasGauge &gas() const { return m_gas; }
    /// Changes with every reset, sub-step and tick: tells a viewer whether to redraw.
    std::uint64_t version() const { return m_version; }

private:
    bool m_unbounded = false;
    UnwrappedPositions m_positions;
    std::optional<MotionSampler> m_motion;
    Totals m_start, m_now;
    std::int64_t m_ticks = 0;
    std::uint64_t m_lastContacts = 0;
    std::uint64_t m_version = 0;
    CollisionRecord m_record;
    GasGauge m_gas;
};

} // namespace brownian
