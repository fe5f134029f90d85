#pragma once
// A sweep: lists of settings expanded into runs, each with its own folder and command line.

#include "options.h"

#include <cstdint>
#include <string>
#include <vector>

namespace brownian::lab {

struct SweepRun
{
    int index = 0; ///< from 1, in the order of expandSweep
    bool unbounded = false;
    int numSide = 5, size = 400, speed = 3;
    std::uint64_t seed = 1;
};

/// The Cartesian product of the lists, numbered from 1: mode outermost, then num-side, size and
/// speed in the order listed, the seed innermost (so the runs of one setting are neighbours).
std::vector<SweepRun> expandSweep(const SweepOptions &sweep);

/// DIR/run-K.
std::string runFolder(const SweepOptions &sweep, const SweepRun &run);
/// The run K of a folder named run-K; 0 for any other name.
std::size_t runNumber(const std::string &name);

/// The options of `brownian-lab run` for one run, writing into the run's folder.
LabOptions runOptions(const SweepOptions &sweep, const SweepRun &run);

/// Whether every output a manifest names is there.
bool outputsPresent(const LabOptions &run);

/// Removes the temporary files a killed run left in `folder`.
void removeTemporaryFiles(const std::string &folder);

/// A word as a POSIX shell reads it back: unchanged when it is plain, else in single quotes.
std::string shellQuote(const std::string &word);

/// Which runs are finished (their folder has a manifest and its outputs), after checking that every
/// manifest in the folder belongs to this sweep. Throws InputError naming the manifest (and line)
/// of a damaged one or of a run of another sweep, or the option when --out is not a folder.
std::vector<bool> finishedRuns(const SweepOptions &sweep, const std::vector<SweepRun> &runs);

} // namespace brownian::lab
