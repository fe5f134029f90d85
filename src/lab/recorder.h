#pragma once

#include "analysis/analysis.h"
#include "analysis/motion.h"
#include "model/modpar.h"
#include "sim/collision_record.h"
#include "sim/step.h"
#include "stepper.h"

#include <functional>
#include <memory>
#include <string>

namespace brownian::lab {

/// Receives a channel's text: it may take all of `buffer` (and clear it) or leave it to grow.
/// `last` is true once the run is over.
using TextSink = std::function<void(std::string &buffer, bool last)>;

/// What a run records, and where the streamed text goes; an empty sink is not recorded.
struct RecorderSetup
{
    TextSink snapshots, trace, stats;
    std::int64_t every = 1; ///< ticks between snapshots
    bool msd = false, speeds = false;
    bool unbounded = false;
    std::int64_t totalSubSteps = 0; ///< sub-steps the run will make (for the MSD lags)
};

/// Gathers the outputs of a run as it goes: the snapshot, trace and statistics rows (streamed
/// to their sinks a megabyte at a time), the MSD and the speed histogram.
class Recorder
{
public:
    Recorder(RecorderSetup setup, const ModPar &start);

    /// The rows of tick 0 / sub-step 0, and the first MSD and speed samples.
    void atStart(const ModPar &state, const std::vector<double> &ux, const std::vector<double> &uy);
    void afterSubStep(const ModPar &state, std::int64_t subStep, const std::vector<double> &ux,
        const std::vector<double> &uy);
    /// `record`: the collisions of the tick's sub-steps, for the pressure (none at tick 0,
    /// whose pressure is the motion's alone, N kT / A).
    void afterTick(const ModPar &state, std::int64_t tick, const TickCounters &counters,
        const CollisionRecord *record = nullptr);
    /// Hands the rest of the streamed text to the sinks.
    void finish();

    /// Whether anything is recorded after every sub-step (the trace, the MSD, the speeds).
    bool wantsSubSteps() const { return m_setup.trace || m_setup.msd || m_setup.speeds; }
    /// Whether the statistics want each tick's collision record.
    bool wantsCollisions() const { return static_cast<bool>(m_setup.stats); }
    const MsdAccumulator *msd() const { return m_motion.msd(); }
    const SpeedHistogram *speeds() const { return m_motion.speeds(); }

private:
    void traceRow(const ModPar &state, std::int64_t subStep, const std::vector<double> &ux,
        const std::vector<double> &uy);
    static void pass(const TextSink &sink, std::string &buffer, bool last);

    RecorderSetup m_setup;
    std::string m_snapshots, m_trace, m_stats;
    MotionSampler m_motion;
};

/// Hands every sub-step of a stepper's ticks to a recorder, with the stepper's count and
/// unwrapped positions: the trace row, the MSD and the speed samples.
class SubStepRecording final : public SubStepObserver
{
public:
    SubStepRecording(Recorder &recorder, const Stepper &stepper)
        : m_recorder(recorder)
        , m_stepper(stepper)
    {
    }
    void afterSubStep(const ModPar &state) override
    {
        m_recorder.afterSubStep(
            state, m_stepper.subSteps(), m_stepper.unwrappedX(), m_stepper.unwrappedY());
    }

private:
    Recorder &m_recorder;
    const Stepper &m_stepper;
};

/// The CSV text of the MSD points.
std::string msdCsv(const std::vector<MsdPoint> &points);
/// The CSV text of the speed bins.
std::string speedsCsv(const std::vector<SpeedBin> &bins);

} // namespace brownian::lab
