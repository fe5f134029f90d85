#include "commands.h"
#include "csv.h"
#include "interrupt.h"
#include "output.h"
#include "plot.h"
#include "progress.h"
#include "recorder.h"
#include "setup.h"
#include "stepper.h"
#include "toolkit/image_surface.h"

#include <cstdio>
#include <map>
#include <memory>

namespace brownian::lab {

namespace {

/// The path picture of the main window is 5063 twips square, the frame 5000.
constexpr double kPathSide = 5063;
constexpr double kFrameSide = 5000;

std::string faultText(const RuntimeFault &fault)
{
    return fault.englishName() + " (" + fault.what() + ")";
}

} // namespace

void printError(const std::string &message)
{
    std::fprintf(stderr, "brownian-lab: %s\n", message.c_str());
}

int runCommand(const LabOptions &o, const GuiStarter &startGui)
{
    // 1. The input, before anything is written.
    std::optional<std::vector<StateRow>> rows;
    try {
        rows = readStateInput(o);
    } catch (const InputError &e) {
        printError(e.what());
        return kExitBadInput;
    }

    // 2. The outputs: temporary files beside their targets, so that an unwritable place is
    //    found before the run.
    std::map<std::string, OutputFile> files;
    for (const OutputRequest &r : outputRequests(o)) {
        OutputFile file;
        const std::string why = file.open(r.path);
        if (!why.empty()) {
            printError(r.option + ": " + why);
            return kExitBadInput;
        }
        files.emplace(r.option, std::move(file));
    }
    auto fileOf = [&](const char *option) -> OutputFile * {
        const auto it = files.find(option);
        return it == files.end() ? nullptr : &it->second;
    };

    if (o.wantsPictures())
        startGui();
    const double twipsPerPixel = 1440.0 / o.dpi;
    NullCanvas nullPath;
    std::unique_ptr<ImageSurface> pathSurface;
    if (!o.pathPng.empty())
        pathSurface = std::make_unique<ImageSurface>(kPathSide, kPathSide, twipsPerPixel);
    Canvas &path = pathSurface ? static_cast<Canvas &>(*pathSurface) : nullPath;

    // 3. The start.
    ModPar state;
    prepareState(state, o);
    state.clearPath = [&path] { path.clear(); };
    try {
        placeParticles(state, rows);
    } catch (const RuntimeFault &fault) {
        printError("simulation fault in the placement (InitPar): " + faultText(fault));
        return kExitFault;
    }

    // 4. The ticks.
    const std::int64_t totalSubSteps = o.ticks * std::max(0, o.speed);
    RecorderSetup setup;
    auto sinkTo = [&](const char *option) -> TextSink {
        OutputFile *file = fileOf(option);
        if (!file)
            return {};
        return [file](std::string &buffer, bool) {
            file->write(buffer);
            buffer.clear();
        };
    };
    setup.snapshots = sinkTo("--snapshots-out");
    setup.trace = sinkTo("--trace-out");
    setup.stats = sinkTo("--stats-out");
    setup.every = o.every;
    setup.msd = o.wantsMsd();
    setup.speeds = o.wantsSpeeds();
    setup.unbounded = o.unbounded;
    setup.totalSubSteps = totalSubSteps;

    Stepper stepper(state, o.unbounded);
    Recorder recorder(setup, state);
    recorder.atStart(state, stepper.unwrappedX(), stepper.unwrappedY());
    const bool perSubStep = setup.trace || setup.msd || setup.speeds;
    {
        InterruptGuard interrupt;
        Progress progress(o.ticks, Progress::stderrIsTerminal());
        std::int64_t tick = 0;
        try {
            for (tick = 1; tick <= o.ticks; ++tick) {
                TickCounters counters;
                if (perSubStep) {
                    stepper.tick(path, counters, [&] {
                        recorder.afterSubStep(
                            state, stepper.subSteps(), stepper.unwrappedX(), stepper.unwrappedY());
                    });
                } else {
                    stepper.tick(path, counters, [] {});
                }
                recorder.afterTick(state, tick, counters);
                if (pathSurface && tick % 1024 == 0)
                    pathSurface->image(); // draws the gathered segments, keeping memory small
                progress.update(tick);
                if (InterruptGuard::interrupted()) {
                    progress.finish();
                    printError("interrupted at tick " + std::to_string(tick) + "; nothing written");
                    return kExitInterrupted;
                }
            }
        } catch (const RuntimeFault &fault) {
            progress.finish();
            printError("simulation fault at tick " + std::to_string(tick) + ", sub-step "
                + std::to_string(stepper.subSteps() + 1) + ": " + faultText(fault)
                + "; nothing written");
            return kExitFault;
        }
    }
    recorder.finish();

    // 5. What is computed at the end.
    std::unique_ptr<ImageSurface> frame;
    if (!o.framePng.empty()) {
        frame = std::make_unique<ImageSurface>(kFrameSide, kFrameSide, twipsPerPixel);
        frame->setFillStyle(FillStyle::Solid);
        try {
            drawFrame(state, *frame);
        } catch (const RuntimeFault &fault) {
            printError("simulation fault while drawing the frame: " + faultText(fault));
            return kExitFault;
        }
    }
    std::vector<MsdPoint> msd;
    if (recorder.msd())
        msd = recorder.msd()->result();
    std::vector<SpeedBin> speeds;
    if (recorder.speeds())
        speeds = recorder.speeds()->result(o.bins);

    if (OutputFile *f = fileOf("--state-out")) {
        std::string text(kStateHeader);
        text += '\n';
        appendStateRows(text, state);
        f->write(text);
    }
    if (OutputFile *f = fileOf("--msd-out"))
        f->write(msdCsv(msd));
    if (OutputFile *f = fileOf("--speeds-out"))
        f->write(speedsCsv(speeds));
    if (OutputFile *f = fileOf("--path-png"))
        f->write(encodePng(pathSurface->image()));
    if (OutputFile *f = fileOf("--frame-png"))
        f->write(encodePng(frame->image()));
    if (OutputFile *f = fileOf("--plot")) {
        PlotInput in;
        in.unbounded = o.unbounded;
        in.numSide = o.numSide;
        in.size = o.size;
        in.speed = o.speed;
        in.locus = o.locus;
        in.ticks = o.ticks;
        in.subSteps = stepper.subSteps();
        in.msd = msd;
        in.fit = fitDiffusion(msd);
        in.speeds = speeds;
        const SpeedHistogram *h = recorder.speeds();
        const double sumSquares = h->meanSumSquares();
        const int n = o.particles();
        in.meanSquaredSpeed = sumSquares / n;
        in.cdf = [=, torus = o.unbounded](
                     double v) { return expectedSpeedCdf(v, n, sumSquares, torus); };
        in.totalSpeeds = static_cast<double>(h->samples()) * n;
        f->write(encodePng(renderPlot(in, o.dpi)));
    }

    // 6. Into place, all together.
    int status = kExitOk;
    for (const OutputRequest &r : outputRequests(o)) {
        const std::string why = files.at(r.option).commit();
        if (!why.empty()) {
            printError(r.option + ": " + why);
            status = kExitOutputFailed;
        }
    }
    return status;
}

} // namespace brownian::lab
