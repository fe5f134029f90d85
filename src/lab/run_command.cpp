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
    Progress progress(o.ticks, Progress::stderrIsTerminal());
    CollisionRecord collisions;
    CollisionRecord *record = recorder.wantsCollisions() ? &collisions : nullptr;
    Simulation &simulation = stepper.simulation();
    simulation.setCollisionRecord(record);
    std::int64_t tick = 1;
    std::string failure;
    int status = kExitOk;
    try {
        for (; tick <= o.ticks && status == kExitOk; ++tick) {
            TickCounters counters;
            stepper.tick(path, counters, recorder.wantsSubSteps() ? &recorder : nullptr);
            recorder.afterTick(simulation.state(), tick, counters, record);
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

int runCommand(const LabOptions &o)
{
    // Interrupted at any moment, the run writes nothing (OutputSet::commitAll).
    InterruptGuard interrupt;
    // The input and the outputs are checked before anything is computed.
    std::optional<std::vector<StateRow>> rows;
    if (!readStateInput(o, rows))
        return kExitBadInput;
    OutputSet files;
    for (const OutputRequest &r : outputRequests(o, true)) {
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
    try {
        placeParticles(state, o, rows);
    } catch (const RuntimeFault &fault) {
        printError("simulation fault in the placement (InitPar): " + faultText(fault));
        return kExitFault;
    }
    path.clear();

    // Each streamed channel writes straight into its opened file.
    auto sinkTo = [&files](const char *option) -> TextSink {
        OutputFile *file = files.find(option);
        return file ? TextSink([file](std::string_view text) { file->write(text); }) : nullptr;
    };
    Stepper stepper(simulation, o.unbounded);
    Recorder recorder({ sinkTo("--snapshots-out"), sinkTo("--trace-out"), sinkTo("--stats-out"),
                          o.every, o.wantsMsd(), o.wantsSpeeds(), o.ticks * std::max(0, o.speed) },
        stepper);
    if (const int status = runTicks(o, stepper, recorder, path, pathPicture.get());
        status != kExitOk)
        return status;
    recorder.finish();

    std::string frame;
    if (!o.framePng.empty()) {
        const std::unique_ptr<ImageSurface> surface = brownian::frameBuffer(o.dpi);
        surface->setFillStyle(FillStyle::Solid);
        try {
            drawFrame(state, *surface);
        } catch (const RuntimeFault &fault) {
            printError("simulation fault while drawing the frame: " + faultText(fault));
            return kExitFault;
        }
        frame = pngBytes(surface->image());
    }
    const std::vector<MsdPoint> msd =
        recorder.msd() ? recorder.msd()->result() : std::vector<MsdPoint> {};
    const std::vector<SpeedBin> speeds =
        recorder.speeds() ? recorder.speeds()->result(o.bins) : std::vector<SpeedBin> {};
    auto write = [&files](const char *option, const std::function<std::string()> &text) {
        if (OutputFile *f = files.find(option))
            f->write(text());
    };
    write("--state-out", [&] {
        std::string text = std::string(kStateHeader) + '\n';
        appendStateRows(text, state);
        return text;
    });
    write("--msd-out", [&] { return msdCsv(msd); });
    write("--speeds-out", [&] { return speedsCsv(speeds); });
    write("--path-png", [&] { return pngBytes(pathPicture->image()); });
    write("--frame-png", [&] { return frame; });
    write("--plot", [&] {
        PlotInput in;
        in.unbounded = o.unbounded;
        in.numSide = o.numSide;
        in.size = o.size;
        in.speed = o.speed;
        in.locus = o.locus;
        in.ticks = o.ticks;
        in.subSteps = stepper.subSteps();
        fillPlotData(in, msd, *recorder.speeds(), speeds, o.particles());
        return pngBytes(renderPlot(in, o.dpi));
    });
    write("--manifest", [&] { return manifestText(o, o.manifestOut); });
    return files.commitAll();
}

} // namespace brownian::lab
