
#include "commands.h"
#include "interrupt.h"
#include "progress.h"
#include "run_files.h"

namespace brownian::lab {

int runTicks(const LabOptions &o, Stepper &stepper, Recorder &recorder, Canvas &path,
    ImageSurface *pathPicture)
{
    ModPar &state = stepper.state();
    SubStepRecording recording(recorder, stepper);
    SubStepObserver *after = recorder.wantsSubSteps() ? &recording : nullptr;
    Progress progress(o.ticks, Progress::stderrIsTerminal());
    std::int64_t tick = 0;
    try {
        for (tick = 1; tick <= o.ticks; ++tick) {
            TickCounters counters;
            stepper.tick(path, counters, after);
            recorder.afterTick(state, tick, counters);
            if (pathPicture && tick % 1024 == 0)
                pathPicture->image();
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
    return kExitOk;
}

} // namespace brownian::lab
