#pragma once
// Running a simulation as the lab does: the state set up and placed, ticks stepped with the
// unwrapped positions, and the outputs recorded as the run goes.

#include "analysis/analysis.h"
#include "analysis/motion.h"
#include "csv.h"
#include "model/modpar.h"
#include "options.h"
#include "sim/canvas.h"
#include "sim/collision_record.h"
#include "sim/simulation.h"
#include "sim/step.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace brownian::lab {

/// Reads and checks the --state-in file, if any, into `rows`. Returns false after printing
/// what is wrong, naming the option, or the file and line.
bool readStateInput(const LabOptions &options, std::optional<std::vector<StateRow>> &rows);

/// Sets up the state as the program does before its first placement: the defaults, then the
/// settings of the options, then the arrays re-dimensioned; seeds the random source when asked.
void prepareState(ModPar &state, const LabOptions &options);

/// The start: the rows read, or InitPar(BoundMode × 1000). A fault of the placement is thrown
/// as RuntimeFault.
void placeParticles(ModPar &state, const std::optional<std::vector<StateRow>> &rows);

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

/// Receives a channel's text: it may take all of `buffer` (and clear it) or leave it to grow;
/// `last` once the run is over.
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
    /// `record`: the collisions of the tick, for the pressure (none at tick 0: N kT / A).
    void afterTick(const ModPar &state, std::int64_t tick, const TickCounters &counters,
        const CollisionRecord *record = nullptr);
    void finish(); ///< hands the rest of the text to the sinks

    bool wantsSubSteps() const { return m_setup.trace || m_setup.msd || m_setup.speeds; }
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
