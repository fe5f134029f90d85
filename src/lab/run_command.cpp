#include "commands.h"
#include "interrupt.h"
#include "plot.h"
#include "run_files.h"
#include "setup.h"

namespace brownian::lab {

namespace {

/// The recorder of a run: each streamed channel writes straight into its opened file.
RecorderSetup recorderSetup(const LabOptions &o, RunFiles &files)
{
    auto sinkTo = [&](const std::string &option) -> TextSink {
        OutputFile *file = files.find(option);
        if (!file)
            return {};
        return [file](std::string &buffer, bool) {
            file->write(buffer);
            buffer.clear();
        };
    };
    RecorderSetup setup;
    setup.snapshots = sinkTo("--snapshots-out");
    setup.trace = sinkTo("--trace-out");
    setup.stats = sinkTo("--stats-out");
    setup.every = o.every;
    setup.msd = o.wantsMsd();
    setup.speeds = o.wantsSpeeds();
    setup.unbounded = o.unbounded;
    setup.totalSubSteps = o.ticks * std::max(0, o.speed);
    return setup;
}

} // namespace

int runCommand(const LabOptions &o, const GuiStarter &startGui)
{
    // Interrupted at any moment, the run writes nothing (RunFiles::commitAll).
    InterruptGuard interrupt;
    // The input and the outputs are checked before anything is computed.
    std::optional<std::vector<StateRow>> rows;
    if (!readStateInput(o, rows))
        return kExitBadInput;
    RunFiles files;
    if (!files.open(o))
        return kExitBadInput;

    if (o.wantsPictures())
        startGui();
    NullCanvas nullPath;
    std::unique_ptr<ImageSurface> pathPicture;
    if (!o.pathPng.empty())
        pathPicture = makePathPicture(o.dpi);
    Canvas &path = pathPicture ? static_cast<Canvas &>(*pathPicture) : nullPath;

    Simulation simulation(ModPar {}, o.threads);
    ModPar &state = simulation.state();
    prepareState(state, o);
    try {
        placeParticles(state, rows);
    } catch (const RuntimeFault &fault) {
        printError("simulation fault in the placement (InitPar): " + faultText(fault));
        return kExitFault;
    }
    path.clear();

    Stepper stepper(simulation, o.unbounded);
    Recorder recorder(recorderSetup(o, files), state);
    recorder.atStart(state, stepper.unwrappedX(), stepper.unwrappedY());
    const int status = runTicks(o, stepper, recorder, path, pathPicture.get());
    if (status != kExitOk)
        return status;
    recorder.finish();
    return writeOutputs(o, state, recorder, stepper.subSteps(), pathPicture.get(), files);
}

} // namespace brownian::lab
