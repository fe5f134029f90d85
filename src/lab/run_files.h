#pragma once

#include "options.h"
#include "output.h"
#include "recorder.h"
#include "stepper.h"
#include "toolkit/image_surface.h"

#include <map>
#include <string>

namespace brownian::lab {

/// The output files of a run, opened before the run so that an unwritable place is found
/// before any work, and put into place together at the end: all of them or none.
class RunFiles
{
public:
    /// Opens a temporary file for every output asked for, and for the manifest. Returns false
    /// after printing why one cannot be written.
    bool open(const LabOptions &options);

    /// The file of an output option, or nullptr when it was not asked for.
    OutputFile *find(const std::string &option);

    /// Writes the manifest, then puts every file into place: the copies to standard output
    /// and devices first (they cannot be taken back), then the renames, the manifest last.
    /// When a file cannot be written, or the run was interrupted, none is put into place.
    /// Returns kExitOk, kExitInterrupted, or kExitOutputFailed after printing what failed.
    int commitAll(const LabOptions &options);

private:
    std::vector<std::pair<std::string, OutputFile>> m_files; // option, file; in the help's order
};

/// Runs the ticks of `run`: each tick through the stepper, recorded, with the progress line on
/// a terminal. The path segments go to `path`; `pathPicture`, when given, is the same canvas
/// and has its gathered segments drawn now and then to keep memory small. Returns kExitOk, or
/// kExitInterrupted / kExitFault after printing why (nothing is written then). The caller
/// holds the InterruptGuard.
int runTicks(const LabOptions &options, Stepper &stepper, Recorder &recorder, Canvas &path,
    ImageSurface *pathPicture);

/// What `run` computes at the end and writes: the final state, the MSD and speed tables, the
/// path picture (`pathPicture`, present when --path-png was asked for), the last frame and the
/// plot, each into its opened file; then every file is moved into place. Returns kExitOk,
/// kExitFault when drawing the frame faults (nothing written) or kExitOutputFailed.
int writeOutputs(const LabOptions &options, const ModPar &state, const Recorder &recorder,
    std::int64_t subSteps, ImageSurface *pathPicture, RunFiles &files);

} // namespace brownian::lab
