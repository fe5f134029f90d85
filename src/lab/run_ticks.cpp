
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
    CollisionRecord collisions;
    CollisionRecord *record = recorder.wantsCollisions() ? &collisions : nullptr;
    stepper.simulation().setCollisionRecord(record);
    std::int64_t tick = 0;
    try {
        for (tick = 1; tick <= o.ticks; ++tick) {
            TickCounters counters;
            stepper.tick(path, counters, after);
            recorder.afterTick(state, tick, counters, record);
            collisions.clear();
            if (pathPicture && tick % 1024 == 0)
                pathPicture->image();
            progress.update(tick);
            if (InterruptGuard::interrupted()) {
                stepper.simulation().setCollisionRecord(nullptr);
                progress.finish();
                printError("interrupted at tick " + std::to_string(tick) + "; nothing written");
                return kExitInterrupted;
            }
        }
    } catch (const RuntimeFault &fault) {
        stepper.simulation().setCollisionRecord(nullptr);
        progress.finish();
        printError("simulation fault at tick " + std::to_string(tick) + ", sub-step "
            + std::to_string(stepper.subSteps() + 1) + ": " + faultText(fault)
            + "; nothing written");
        return kExitFault;
    }
    stepper.simulation().setCollisionRecord(nullptr);
    return kExitOk;
}

} // namespace brownian::lab
