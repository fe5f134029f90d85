#pragma once

#include "options.h"
#include "output.h"

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

} // namespace brownian::lab
