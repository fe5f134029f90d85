#include "commands.h"
#include "interrupt.h"
#include "setup.h"
#include "sim/pair_grid.h"
#include "sim/step.h"
#include "toolkit/image_surface.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

namespace brownian::lab {

namespace {

struct Case
{
    double seconds = 0;
    TickCounters counters;
};

} // namespace

int benchCommand(const LabOptions &o, const GuiStarter &startGui)
{
    if (o.ticks < 1) {
        printError("--ticks: bench needs at least 1 tick");
        return kExitBadInput;
    }
    std::optional<std::vector<StateRow>> rows;
    try {
        rows = readStateInput(o);
    } catch (const InputError &e) {
        printError(e.what());
        return kExitBadInput;
    }
    const bool draw = !o.noDraw;
    if (draw)
        startGui();

    // The window's pictures: the path picture and the frame buffer, at the screen's resolution.
    const double twipsPerPixel = 1440.0 / o.dpi;
    NullCanvas nullPath, nullFrame;
    std::unique_ptr<ImageSurface> path, frame;
    if (draw) {
        path = std::make_unique<ImageSurface>(5063, 5063, twipsPerPixel);
        frame = std::make_unique<ImageSurface>(5000, 5000, twipsPerPixel);
    }
    Canvas &pathCanvas = draw ? static_cast<Canvas &>(*path) : nullPath;
    Canvas &frameCanvas = draw ? static_cast<Canvas &>(*frame) : nullFrame;

    const PairPassScope pairs(o.pairs == "all" ? PairPass::All
            : o.pairs == "grid"                ? PairPass::Grid
                                               : PairPass::Auto);
    ModPar state;
    prepareState(state, o);
    state.clearPath = [&pathCanvas] { pathCanvas.clear(); };

    // One tick as the window runs it, with the drawing made to happen: the frame is drawn and
    // cleared, the path segments are drawn onto the path picture.
    auto tick = [&](TickCounters &counters) {
        runTick(state, o.unbounded, pathCanvas, frameCanvas, &counters);
        if (draw) {
            frame->image();
            frame->clear();
            path->image();
        }
    };

    const std::int64_t warmUp = std::max<std::int64_t>(100, o.ticks / 10);
    std::vector<Case> cases(o.repeats);
    InterruptGuard interrupt;
    try {
        placeParticles(state, rows);
        TickCounters ignored;
        for (std::int64_t t = 0; t < warmUp && !InterruptGuard::interrupted(); ++t)
            tick(ignored);
        for (int r = 0; r < o.repeats; ++r) {
            Case &c = cases[r];
            const auto start = std::chrono::steady_clock::now();
            for (std::int64_t t = 0; t < o.ticks && !InterruptGuard::interrupted(); ++t)
                tick(c.counters);
            c.seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (InterruptGuard::interrupted()) {
                printError("interrupted");
                return kExitInterrupted;
            }
            const double us = c.seconds * 1e6 / o.ticks;
            std::printf("case %d/%d: %lld ticks in %.1f ms: %.2f us/tick, %.0f ticks/s, %.4g pair "
                        "tests/s, %.2f contacts/tick\n",
                r + 1, o.repeats, static_cast<long long>(o.ticks), c.seconds * 1e3, us,
                o.ticks / c.seconds, static_cast<double>(c.counters.pairTests) / c.seconds,
                static_cast<double>(c.counters.contacts) / o.ticks);
            std::fflush(stdout);
        }
    } catch (const RuntimeFault &fault) {
        printError("simulation fault: " + fault.englishName() + " (" + fault.what() + ")");
        return kExitFault;
    }

    std::vector<Case> sorted = cases;
    std::sort(sorted.begin(), sorted.end(),
        [](const Case &a, const Case &b) { return a.seconds < b.seconds; });
    const Case &median = sorted[sorted.size() / 2];
    // Contacts depend on the state only, not on the timing: averaged over every timed tick.
    double contacts = 0;
    for (const Case &c : cases)
        contacts += static_cast<double>(c.counters.contacts);
    contacts /= static_cast<double>(o.ticks) * o.repeats;
    std::printf("mode=%s num_side=%d particles=%d size=%d speed=%d draw=%s ticks=%lld "
                "warmup_ticks=%lld repeats=%d us_per_tick=%.3f ticks_per_s=%.1f "
                "pair_tests_per_s=%.6g contacts_per_tick=%.3f best_us_per_tick=%.3f pairs=%s\n",
        o.unbounded ? "unbounded" : "bounded", o.numSide, o.particles(), o.size, o.speed,
        draw ? "yes" : "no", static_cast<long long>(o.ticks), static_cast<long long>(warmUp),
        o.repeats, median.seconds * 1e6 / o.ticks, o.ticks / median.seconds,
        static_cast<double>(median.counters.pairTests) / median.seconds, contacts,
        sorted.front().seconds * 1e6 / o.ticks, o.pairs.c_str());
    return kExitOk;
}

} // namespace brownian::lab
