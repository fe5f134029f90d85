#pragma once

#include "options.h"
#include "recorder.h"
#include "stepper.h"
#include "toolkit/image_surface.h"

namespace brownian::lab {

/// Runs the ticks of `run`: each tick through the stepper, recorded, with the progress line on
/// a terminal. The path segments go to `path`; `pathPicture`, when given, is the same canvas
/// and has its gathered segments drawn now and then to keep memory small. Returns kExitOk, or
/// kExitInterrupted / kExitFault after printing why (nothing is written then). The caller
/// holds the InterruptGuard.
int runTicks(const LabOptions &options, Stepper &stepper, Recorder &recorder, Canvas &path,
    ImageSurface *pathPicture);

} // namespace brownian::lab
