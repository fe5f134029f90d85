// `run`: checks the input, opens the outputs, places, runs the ticks and writes the outputs.
#include "commands.h"
#include "output.h"
#include "plot.h"
#include "progress.h"
#include "recorder.h"

namespace brownian::lab {

namespace {

/// Runs the ticks, each recorded, with the progress line on a terminal; the path picture, when
/// drawn, has its gathered segments drawn now and then to keep memory small. Returns kExitOk, or
/// kExitInterrupted / kExitFault after printing why.
int runTicks(const LabOptions &o, Stepper &stepper, Recorder &recorder, Canvas &path,
    ImageSurface *pathPicture)
{
    SubStepRecording recording(recorder, stepper);
    SubStepObserver *after = recorder.wantsSubSteps() ? &recording : nullptr;
    Progress progress(o.ticks, Progress::stderrIsTerminal());
    CollisionRecord collisions;
    CollisionRecord *record = recorder.wantsCollisions() ? &collisions : nullptr;
    Simulation &simulation = stepper.simulation();
    simulation.setCollisionRecord(record);
    std::int64_t tick = 0;
    std::string failure;
    int status = kExitOk;
    try {
        for (tick = 1; tick <= o.ticks && status == kExitOk; ++tick) {
            TickCounters counters;
            stepper.tick(path, counters, after);
            recorder.afterTick(stepper.state(), tick, counters, record);
            collisions.clear();
            if (pathPicture && tick % 1024 == 0)
                pathPicture->image();
            progress.update(tick);
            if (InterruptGuard::interrupted()) {
                failure = "interrupted at tick " + std::to_string(tick);
                status = kExitInterrupted;
            }
        }
    } catch (const RuntimeFault &fault) {
        status = kExitFault;
        failure = "simulation fault at tick " + std::to_string(tick) + ", sub-step "
            + std::to_string(stepper.subSteps() + 1) + ": " + faultText(fault);
    }
    simulation.setCollisionRecord(nullptr);
    if (status != kExitOk) {
        progress.finish();
        printError(failure + "; nothing written");
    }
    return status;
}

} // namespace

int runCommand(const LabOptions &o, const GuiStarter &startGui)
{
    // Interrupted at any moment, the run writes nothing (OutputSet::commitAll).
    InterruptGuard interrupt;
    // The input and the outputs are checked before anything is computed.
    std::optional<std::vector<StateRow>> rows;
    if (!readStateInput(o, rows))
        return kExitBadInput;
    OutputSet files;
    std::vector<OutputRequest> all = outputRequests(o);
    if (!o.manifestOut.empty())
        all.push_back({ "--manifest", o.manifestOut });
    for (const OutputRequest &r : all) {
        if (!files.open(r.option, r.path))
            return kExitBadInput;
    }

    if (o.wantsPictures())
        startGui();
    NullCanvas nullPath;
    std::unique_ptr<ImageSurface> pathPicture;
    if (!o.pathPng.empty())
        pathPicture = brownian::pathPicture(o.dpi);
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

    // Each streamed channel writes straight into its opened file.
    auto sinkTo = [&files](const char *option) -> TextSink {
        OutputFile *file = files.find(option);
        if (!file)
            return {};
        return [file](std::string &buffer, bool) {
            file->write(buffer);
            buffer.clear();
        };
    };
    Stepper stepper(simulation, o.unbounded);
    Recorder recorder(
        { sinkTo("--snapshots-out"), sinkTo("--trace-out"), sinkTo("--stats-out"), o.every,
            o.wantsMsd(), o.wantsSpeeds(), o.unbounded, o.ticks * std::max(0, o.speed) },
        state);
    recorder.atStart(state, stepper.unwrappedX(), stepper.unwrappedY());
    if (const int status = runTicks(o, stepper, recorder, path, pathPicture.get());
        status != kExitOk)
        return status;
    recorder.finish();

    std::unique_ptr<ImageSurface> frame;
    if (!o.framePng.empty()) {
        frame = brownian::frameBuffer(o.dpi);
        frame->setFillStyle(FillStyle::Solid);
        try {
            drawFrame(state, *frame);
        } catch (const RuntimeFault &fault) {
            printError("simulation fault while drawing the frame: " + faultText(fault));
            return kExitFault;
        }
    }
    const std::vector<MsdPoint> msd =
        recorder.msd() ? recorder.msd()->result() : std::vector<MsdPoint> {};
    const std::vector<SpeedBin> speeds =
        recorder.speeds() ? recorder.speeds()->result(o.bins) : std::vector<SpeedBin> {};
    if (OutputFile *f = files.find("--state-out")) {
        std::string text(kStateHeader);
        text += '\n';
        appendStateRows(text, state);
        f->write(text);
    }
    if (OutputFile *f = files.find("--msd-out"))
        f->write(msdCsv(msd));
    if (OutputFile *f = files.find("--speeds-out"))
        f->write(speedsCsv(speeds));
    if (OutputFile *f = files.find("--path-png"))
        f->write(pngBytes(pathPicture->image()));
    if (OutputFile *f = files.find("--frame-png"))
        f->write(pngBytes(frame->image()));
    if (OutputFile *f = files.find("--plot")) {
        PlotInput in;
        in.unbounded = o.unbounded;
        in.numSide = o.numSide;
        in.size = o.size;
        in.speed = o.speed;
        in.locus = o.locus;
        in.ticks = o.ticks;
        in.subSteps = stepper.subSteps();
        fillPlotData(in, msd, *recorder.speeds(), speeds, o.particles());
        f->write(pngBytes(renderPlot(in, o.dpi)));
    }
    if (OutputFile *manifest = files.find("--manifest"))
        manifest->write(manifestText(o, o.manifestOut));
    return files.commitAll();
}

} // namespace brownian::lab
