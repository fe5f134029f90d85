#pragma once
// Running a simulation as the lab does: the state set up and placed, ticks stepped with the
// unwrapped positions, and the outputs recorded as the run goes.

#include "analysis/analysis.h"
#include "analysis/motion.h"
#include "csv.h"
#include "options.h"
#include "sim/canvas.h"
#include "sim/collision_record.h"
#include "sim/simulation.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brownian::lab {

/// Reads and checks the --state-in file, if any, into `rows`. Returns false after printing
/// what is wrong, naming the option, or the file and line.
bool readStateInput(const LabOptions &options, std::optional<std::vector<StateRow>> &rows);

/// Sets the state up as the program does before its first placement (the defaults, then the
/// settings of the options, the random source seeded when asked), then places the particles:
/// the rows read, or InitPar(BoundMode × 1000). A fault of the placement is thrown as
/// RuntimeFault.
void placeParticles(
    ModPar &state, const LabOptions &options, const std::optional<std::vector<StateRow>> &rows);

/// Runs ticks through the program's own tick and keeps every particle's unwrapped position
/// (UnwrappedPositions), from the simulation's positions when it is made.
class Stepper final : private SubStepObserver
{
public:
    Stepper(Simulation &simulation, bool unbounded);

    /// One tick as the window runs it (Simulation::tick), with its path segments on `path`. After
    /// each sub-step the unwrapped positions take in its move, then `after` (when given) is called.
    /// The frame goes to a canvas that keeps nothing: only the last one is wanted, and the
    /// caller draws it (drawFrame).
    void tick(Canvas &path, TickCounters &counters, SubStepObserver *after = nullptr);

    std::int64_t subSteps() const { return m_unwrapped.subSteps(); }
    const std::vector<double> &unwrappedX() const { return m_unwrapped.x(); }
    const std::vector<double> &unwrappedY() const { return m_unwrapped.y(); }
    bool unbounded() const { return m_unbounded; }
    const ModPar &state() const { return m_simulation.state(); }
    Simulation &simulation() { return m_simulation; }

private:
    void afterSubStep(const ModPar &state) override;

    Simulation &m_simulation;
    bool m_unbounded;
    NullCanvas m_frame;
    SubStepObserver *m_after = nullptr;
    UnwrappedPositions m_unwrapped;
};

/// Takes a channel's text, a megabyte at a time and the rest when the run is over.
using TextSink = std::function<void(std::string_view text)>;

/// What a run records; a channel without a sink is not recorded.
struct RecorderSetup
{
    TextSink snapshots, trace, stats;
    std::int64_t every = 1; ///< ticks between snapshots
    bool msd = false, speeds = false;
    std::int64_t totalSubSteps = 0; ///< sub-steps the run will make (for the MSD lags)
};

/// Gathers the outputs of a stepper's run as it goes: the snapshot, trace and statistics rows,
/// the MSD and the speed histogram. Given to the stepper's ticks when wantsSubSteps(), it takes
/// every sub-step.
class Recorder final : public SubStepObserver
{
public:
    /// Takes the rows of tick 0 and sub-step 0 and the first samples from the stepper's state.
    Recorder(RecorderSetup setup, const Stepper &stepper);

    /// The trace row, the MSD and the speed samples of the sub-step the stepper just made.
    void afterSubStep(const ModPar &state) override;
    /// `record`: the collisions of the tick, for the pressure (none at tick 0: N kT / A).
    void afterTick(const ModPar &state, std::int64_t tick, const TickCounters &counters,
        const CollisionRecord *record = nullptr);
    void finish(); ///< hands the rest of the text to the sinks

    bool wantsSubSteps() const { return m_setup.trace || m_setup.msd || m_setup.speeds; }
    bool wantsCollisions() const { return static_cast<bool>(m_setup.stats); }
    const MsdAccumulator *msd() const { return m_motion.msd(); }
    const SpeedHistogram *speeds() const { return m_motion.speeds(); }

private:
    void traceRow(const ModPar &state);
    static void pass(const TextSink &sink, std::string &buffer, bool last = false);

    RecorderSetup m_setup;
    const Stepper &m_stepper;
    std::string m_snapshots, m_trace, m_stats;
    MotionSampler m_motion;
};

/// The CSV text of the MSD points.
std::string msdCsv(const std::vector<MsdPoint> &points);
/// The CSV text of the speed bins.
std::string speedsCsv(const std::vector<SpeedBin> &bins);

} // namespace brownian::lab
