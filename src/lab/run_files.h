#pragma once

#include "options.h"
#include "output.h"

#include <map>
#include <string>

namespace brownian::lab {

/// The output files of a run, opened before the run so that an unwritable place is found
/// before any work, and moved into place together at the end.
class RunFiles
{
public:
    /// Opens a temporary file for every output asked for. Returns false after printing why one
    /// cannot be written.
    bool open(const LabOptions &options);

    /// The file of an output option, or nullptr when it was not asked for.
    OutputFile *find(const char *option);

    /// Moves every file into place, in the order of the help text. Returns kExitOk, or
    /// kExitOutputFailed after printing each one that failed.
    int commitAll(const LabOptions &options);

private:
    std::map<std::string, OutputFile> m_files;
};

} // namespace brownian::lab
