#pragma once

// The Python module's simulation, without Python: a Simulation set up and placed as
// `brownian-lab run` does it, stepped by the lab's stepper (with the unwrapped positions), its
// tracked particle's path gathered on the lab's path picture, and the MSD and speed samplers
// attached to it fed after every sub-step.
#include "analysis/motion.h"
#include "lab/csv.h"
#include "lab/options.h"
#include "lab/recorder.h"
#include "sim/simulation.h"
#include "toolkit/image_surface.h"

#include <QImage>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace brownian::python {

/// A setting out of range or malformed: the lab's message, naming the Python keyword.
class SettingsError : public std::invalid_argument
{
public:
    using std::invalid_argument::invalid_argument;
};

/// A file that could not be written: the message names the file and why.
class OutputError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// A simulation fault with the message the lab prints for it (without the program's name).
class FaultError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// The settings as Python gave them, each as the text of a whole number (or the mode's name);
/// none where the keyword was None.
struct SettingsText
{
    std::string mode = "bounded", numSide = "5", size = "400", speed = "3";
    std::optional<std::string> locus, seed, threads;
};

/// The lab's options for `settings`, checked by the lab's own parser (same limits, defaults and
/// messages). Throws SettingsError.
lab::LabOptions checkSettings(const SettingsText &settings);
/// The worker threads asked for (1..256), or the lab's choice for none. Throws SettingsError.
int checkThreads(const std::optional<std::string> &threads);
/// A tick count for run(), 0 .. the lab's limit; a picture resolution, 24..1200 dpi; bins of
/// the speed histogram, 1..1000; all as the lab checks them. Throw SettingsError.
std::int64_t checkTicks(const std::string &ticks);
int checkDpi(const std::string &dpi);
int checkBins(const std::string &bins);

/// The rows of a state file's text (the header i,x,y,vx,vy and one row per particle) for a run
/// of `options`; `source` names the text in messages. Throws SettingsError with the lab's
/// message.
std::vector<lab::StateRow> readStateText(
    const std::string &text, const lab::LabOptions &options, const std::string &source);

class Session
{
public:
    /// Sets up and places the particles (or loads `rows`) as the lab does. Throws FaultError
    /// for a fault of the placement.
    Session(const lab::LabOptions &options, int threads,
        const std::optional<std::vector<lab::StateRow>> &rows);
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    const lab::LabOptions &options() const { return m_options; }
    int threads() const { return m_simulation.threads(); }
    const ModPar &state() const { return m_simulation.state(); }
    /// Ticks and sub-steps run so far.
    std::int64_t ticks() const { return m_ticks; }
    std::int64_t subSteps() const { return m_stepper.subSteps(); }
    const std::vector<double> &unwrappedX() const { return m_stepper.unwrappedX(); }
    const std::vector<double> &unwrappedY() const { return m_stepper.unwrappedY(); }

    /// Before a run: holds on to the samplers still attached, so that nothing frees them while
    /// the ticks run without Python's lock. After a fault, throws FaultError with its message:
    /// the state is the faulty sub-step's, and nothing more is run from it.
    void beginRun();
    /// One tick of the mode, each sub-step fed to the samplers. A RuntimeFault is thrown on as
    /// FaultError with the lab's message and stops the session.
    void tick();
    void endRun();

    /// Attaches a sampler that takes its first sample now (MotionSampler), the MSD and/or the
    /// speed histogram.
    std::shared_ptr<MotionSampler> attachSampler(bool msd, bool speeds);

    /// The text of the lab's --state-out.
    std::string stateText() const;

    /// The frame as the lab's --frame-png draws it, at `dpi`; the path picture as --path-png
    /// (96 dpi, the path since the placement). RGB32, detached from any surface.
    QImage frameImage(int dpi) const;
    QImage pathImage() const;

private:
    lab::LabOptions m_options;
    Simulation m_simulation;
    std::unique_ptr<ImageSurface> m_path;
    lab::Stepper m_stepper;
    std::int64_t m_ticks = 0;
    std::optional<std::string> m_fault;

    /// Feeds the samplers held for the run with the stepper's unwrapped positions.
    class Sampling final : public SubStepObserver
    {
    public:
        explicit Sampling(const Session &session)
            : m_session(session)
        {
        }
        void afterSubStep(const ModPar &state) override;
        std::vector<std::weak_ptr<MotionSampler>> attached;
        std::vector<std::shared_ptr<MotionSampler>> held;

    private:
        const Session &m_session;
    };
    Sampling m_sampling { *this };
};

/// Writes `bytes` to `path` whole or not at all, as the lab writes its outputs. Throws
/// OutputError.
void writeFile(const std::string &path, const std::string &bytes);

} // namespace brownian::python
