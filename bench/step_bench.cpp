// Timings of the per-tick work: the bounded sub-step's physics, the frame drawing and a whole
// tick (sub-steps and frame, not the on-screen presentation). Sub-step cases take NumSide as
// their argument: 5 is 25 particles, 10 is 100.
#include "model/geometry.h"
#include "sim/restart.h"
#include "sim/settings.h"
#include "sim/simulation.h"
#include "sim/step.h"
#include "toolkit/image_surface.h"

#include <benchmark/benchmark.h>

namespace {

using namespace brownian;

/// Side of the main window's path picture, twips; the frame and the view are the view square.
constexpr double kPathSide = field::kPathPictureSide;
constexpr double kViewSide = field::kViewSide;

/// A simulation of numSide² particles placed afresh, on one thread unless told.
Simulation makeSimulation(int numSide, int size, int speed, int mode, int threads = 1)
{
    ModPar s;
    s.setDefaults();
    s.BoundMode = mode;
    applySettings(s, { numSide, size, speed, 0 });
    Simulation simulation(std::move(s), threads);
    simulation.place();
    return simulation;
}

/// Lets the particles move for 500 sub-steps, in whole ticks.
void warmUp(Simulation &simulation)
{
    NullCanvas path, frame;
    for (int done = 0; done < 500; done += simulation.state().ParSpeed.value())
        simulation.tick(path, frame);
}

void BM_BoundedSubStep(benchmark::State &st)
{
    Simulation simulation = makeSimulation(static_cast<int>(st.range(0)), 500, 1, 0);
    warmUp(simulation);
    NullCanvas path;
    for (auto _ : st)
        simulation.subStep(false, path);
}
BENCHMARK(BM_BoundedSubStep)->Arg(5)->Arg(10);

void BM_BoundedSubStepPlain(benchmark::State &st)
{
    Simulation simulation = makeSimulation(static_cast<int>(st.range(0)), 500, 1, 0);
    warmUp(simulation);
    NullCanvas path;
    for (auto _ : st)
        boundedSubStepPlain(simulation.state(), path);
}
BENCHMARK(BM_BoundedSubStepPlain)->Arg(5)->Arg(10);

void BM_UnboundedSubStep(benchmark::State &st)
{
    Simulation simulation = makeSimulation(static_cast<int>(st.range(0)), 500, 1, 1);
    warmUp(simulation);
    NullCanvas path;
    for (auto _ : st)
        simulation.subStep(true, path);
}
BENCHMARK(BM_UnboundedSubStep)->Arg(5)->Arg(10);

/// One sub-step at speed 1 through a chosen pair pass: arguments NumSide, ParSize, mode (1
/// unbounded), pass (0 every pair, 1 the cell grid) and the simulation's threads. With two threads
/// the CPU time is the calling thread's only: compare the wall times.
///
/// Both passes are timed after the same 1000 sub-steps (run with the grid, whose results are
/// the same), where the contacts have settled: the grid's time grows with the contacts, about
/// half again from the start to there with 32 761 particles, and keeps growing slowly as the
/// particles' order by index and their order in space come apart. `brownian-lab bench --pairs
/// both` times both passes tick by tick on the same states.
void BM_SubStepPass(benchmark::State &st)
{
    const bool unbounded = st.range(2) != 0;
    Simulation simulation = makeSimulation(static_cast<int>(st.range(0)),
        static_cast<int>(st.range(1)), 1, unbounded ? 1 : 0, static_cast<int>(st.range(4)));
    NullCanvas path;
    simulation.setPairPass(PairPass::Grid);
    for (int i = 0; i < 1000; ++i)
        simulation.subStep(unbounded, path);
    simulation.setPairPass(st.range(3) != 0 ? PairPass::Grid : PairPass::All);
    for (auto _ : st)
        simulation.subStep(unbounded, path);
}

void subStepPassCases(benchmark::internal::Benchmark *b)
{
    b->ArgNames({ "side", "size", "unbounded", "grid", "threads" });
    for (const auto &[side, size] : { std::pair { 10, 500 }, { 100, 40 }, { 181, 25 } }) {
        for (const int unbounded : { 0, 1 }) {
            b->Args({ side, size, unbounded, 0, 1 });
            b->Args({ side, size, unbounded, 1, 1 });
            b->Args({ side, size, unbounded, 1, 2 });
        }
    }
}
BENCHMARK(BM_SubStepPass)->Apply(subStepPassCases)->Unit(benchmark::kMicrosecond);

/// The grid sub-step of 10 000 particles, as BM_SubStepPass times it, with its collisions'
/// virial and the walls' momentum recorded (arguments: mode, threads): the cost of measuring
/// the pressure.
void BM_SubStepRecorded(benchmark::State &st)
{
    const bool unbounded = st.range(0) != 0;
    Simulation simulation =
        makeSimulation(100, 40, 1, unbounded ? 1 : 0, static_cast<int>(st.range(1)));
    NullCanvas path;
    simulation.setPairPass(PairPass::Grid);
    for (int i = 0; i < 1000; ++i)
        simulation.subStep(unbounded, path);
    CollisionRecord record;
    simulation.setCollisionRecord(&record);
    for (auto _ : st)
        simulation.subStep(unbounded, path);
    benchmark::DoNotOptimize(record.virial);
}
BENCHMARK(BM_SubStepRecorded)
    ->ArgNames({ "unbounded", "threads" })
    ->ArgsProduct({ { 0, 1 }, { 1, 2 } })
    ->Unit(benchmark::kMicrosecond);

/// Frame drawing and clearing of 100 particles of size 500 (the densest packing), after the
/// particles have moved for a while, at the given device-pixel ratio.
void frameDrawing(benchmark::State &st, double devicePixelRatio)
{
    Simulation simulation = makeSimulation(10, 500, 5, 0);
    warmUp(simulation);
    ImageSurface buffer(kViewSide, kViewSide, 15.0, devicePixelRatio);
    for (auto _ : st) {
        drawFrame(simulation.state(), buffer);
        buffer.clear();
    }
}

void BM_FrameDrawing100(benchmark::State &st)
{
    frameDrawing(st, 1.0);
}
BENCHMARK(BM_FrameDrawing100);

void BM_FrameDrawing100Dpr2(benchmark::State &st)
{
    frameDrawing(st, 2.0);
}
BENCHMARK(BM_FrameDrawing100Dpr2);

/// The same with the pixel loops kept to the baseline instruction set (SSE2 on x86-64), as on
/// processors without AVX2.
void BM_FrameDrawing100Baseline(benchmark::State &st)
{
    ImageSurface::setBaselineVectorsOnly(true);
    frameDrawing(st, 1.0);
    ImageSurface::setBaselineVectorsOnly(false);
}
BENCHMARK(BM_FrameDrawing100Baseline);

/// Five path segments on the path picture, as one tick at speed level 5 draws them.
void BM_PathSegments5(benchmark::State &st)
{
    Simulation simulation = makeSimulation(10, 500, 5, 0);
    warmUp(simulation);
    const ModPar &s = simulation.state();
    ImageSurface path(kPathSide, kPathSide, 15.0);
    for (auto _ : st) {
        for (int k = 0; k < 5; ++k)
            path.line(s.ParX.data()[k] - 40, s.ParY.data()[k] - 30, s.ParX.data()[k],
                s.ParY.data()[k], kRed);
    }
}
BENCHMARK(BM_PathSegments5);

/// One whole tick as the main window runs it: the sub-steps with their path segments, the
/// frame, the copy to the view (an exchange of images) and the clearing of the buffer.
void fullTick(benchmark::State &st, int numSide, int size, int speed, bool unbounded)
{
    Simulation simulation = makeSimulation(numSide, size, speed, unbounded ? 1 : 0);
    warmUp(simulation);
    ImageSurface path(kPathSide, kPathSide, 15.0);
    ImageSurface buffer(kViewSide, kViewSide, 15.0);
    ImageSurface view(kViewSide, kViewSide, 15.0);
    for (auto _ : st) {
        simulation.tick(unbounded, path, buffer);
        buffer.swapImage(view);
        buffer.clear();
        benchmark::DoNotOptimize(view.image().constBits());
    }
}

void BM_FullTick100(benchmark::State &st)
{
    fullTick(st, 10, 500, 5, false);
}
BENCHMARK(BM_FullTick100);

void BM_FullTickDefaults(benchmark::State &st)
{
    fullTick(st, 5, 400, 3, false);
}
BENCHMARK(BM_FullTickDefaults);

void BM_FullTick100Unbounded(benchmark::State &st)
{
    fullTick(st, 10, 500, 5, true);
}
BENCHMARK(BM_FullTick100Unbounded);

} // namespace

BENCHMARK_MAIN();
