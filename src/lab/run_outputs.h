#pragma once

#include "options.h"
#include "recorder.h"
#include "run_files.h"
#include "toolkit/image_surface.h"

namespace brownian::lab {

/// What `run` computes at the end and writes: the final state, the MSD and speed tables, the
/// path picture (`pathPicture`, present when --path-png was asked for), the last frame and the
/// plot, each into its opened file; then every file is moved into place. Returns kExitOk,
/// kExitFault when drawing the frame faults (nothing written) or kExitOutputFailed.
int writeOutputs(const LabOptions &options, const ModPar &state, const Recorder &recorder,
    std::int64_t subSteps, ImageSurface *pathPicture, RunFiles &files);

} // namespace brownian::lab
