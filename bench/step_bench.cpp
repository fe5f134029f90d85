// Timings of the per-tick work: the bounded sub-step's physics, the frame drawing and a whole
// tick (sub-steps and frame, not the on-screen presentation).
#include "mainwindow/step.h"
#include "toolkit/image_surface.h"

#include <benchmark/benchmark.h>

namespace {

using namespace brownian;

ModPar makeState(int numSide, int size, int speed, int mode)
{
    ModPar s;
    s.setDefaults();
    s.NumSide = numSide;
    s.ParSize = size;
    s.ParSpeed = speed;
    s.BoundMode = mode;
    s.LocusNo = 0;
    s.redim();
    InitPar(s, s.BoundMode * 1000);
    return s;
}

void warmUp(ModPar &s, bool unbounded)
{
    NullCanvas path;
    for (int i = 0; i < 500; ++i) {
        if (unbounded)
            unboundedSubStep(s, path);
        else
            boundedSubStep(s, path);
    }
}

void BM_BoundedSubStep(benchmark::State &st)
{
    ModPar s = makeState(static_cast<int>(st.range(0)), 500, 1, 0);
    warmUp(s, false);
    NullCanvas path;
    for (auto _ : st)
        boundedSubStep(s, path);
}
BENCHMARK(BM_BoundedSubStep)->Arg(5)->Arg(10);

void BM_BoundedSubStepPlain(benchmark::State &st)
{
    ModPar s = makeState(static_cast<int>(st.range(0)), 500, 1, 0);
    warmUp(s, false);
    NullCanvas path;
    for (auto _ : st)
        boundedSubStepPlain(s, path);
}
BENCHMARK(BM_BoundedSubStepPlain)->Arg(5)->Arg(10);

void BM_UnboundedSubStep(benchmark::State &st)
{
    ModPar s = makeState(static_cast<int>(st.range(0)), 500, 1, 1);
    warmUp(s, true);
    NullCanvas path;
    for (auto _ : st)
        unboundedSubStep(s, path);
}
BENCHMARK(BM_UnboundedSubStep)->Arg(5)->Arg(10);

void BM_FrameDrawing100(benchmark::State &st)
{
    ModPar s = makeState(10, 500, 5, 0);
    ImageSurface buffer(5000, 5000, 15.0);
    for (auto _ : st) {
        drawFrame(s, buffer);
        buffer.clear();
    }
}
BENCHMARK(BM_FrameDrawing100);

void BM_FullTick100(benchmark::State &st)
{
    ModPar s = makeState(10, 500, 5, 0);
    ImageSurface path(5063, 5063, 15.0);
    ImageSurface buffer(5000, 5000, 15.0);
    QImage view = buffer.image().copy();
    for (auto _ : st) {
        runTick(s, false, path, buffer);
        buffer.swapImage(view);
        buffer.clear();
        benchmark::DoNotOptimize(path.image().constBits());
    }
}
BENCHMARK(BM_FullTick100);

} // namespace

BENCHMARK_MAIN();
