#include "commands.h"
#include "plot.h"
#include "recorder.h"
#include "sim/simulation.h"

namespace brownian::lab {

int benchCommand(const LabOptions &o)
{
    if (o.ticks < 1) {
        printError("--ticks: bench needs at least 1 tick");
        return kExitBadInput;
    }
    std::optional<std::vector<StateRow>> rows;
    if (!readStateInput(o, rows))
        return kExitBadInput;
    const bool draw = !o.noDraw;
    if (draw)
        startGui();

    // The window's pictures at the screen's resolution, or nothing drawn at all.
    NullCanvas nullPath, nullFrame;
    std::unique_ptr<ImageSurface> path, frame;
    if (draw) {
        path = brownian::pathPicture(o.dpi);
        frame = brownian::frameBuffer(o.dpi);
    }
    Canvas &pathCanvas = draw ? static_cast<Canvas &>(*path) : nullPath;
    Canvas &frameCanvas = draw ? static_cast<Canvas &>(*frame) : nullFrame;

    Simulation simulation(ModPar {}, o.threads,
        o.pairs == "all"        ? PairPass::All
            : o.pairs == "grid" ? PairPass::Grid
                                : PairPass::Auto);

    // One tick as the window runs it, with the drawing made to happen: the frame is drawn and
    // cleared, the path segments are drawn onto the path picture.
    auto tick = [&](TickCounters &counters) {
        simulation.tick(o.unbounded, pathCanvas, frameCanvas, &counters);
        if (draw) {
            frame->image();
            frame->clear();
            path->image();
        }
    };

    std::vector<BenchCase> cases;
    int status = kExitOk;
    try {
        placeParticles(simulation.state(), o, rows);
        pathCanvas.clear();
        status = timeCases(o, simulation, tick, cases);
    } catch (const RuntimeFault &fault) {
        printError("simulation fault: " + faultText(fault));
        return kExitFault;
    }
    if (status != kExitOk)
        return status;
    std::fputs(benchSummary(o, cases).c_str(), stdout);
    return kExitOk;
}

} // namespace brownian::lab
