#pragma once
// run.toml: the manifest a finished run leaves, with every setting it ran with, in the TOML form
// that --config reads back.

#include "options.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace brownian::lab {

inline constexpr const char *kManifestName = "run.toml";

/// The manifest of a run with these options, to be written at `manifestPath`: the program's
/// version, the settings (locus and ticks always, the seed when given) and the outputs. An
/// output inside the manifest's folder is named relative to it, another by its absolute path,
/// so that the folder can be moved and `brownian-lab run --config` still finds its files.
std::string manifestText(const LabOptions &options, const std::string &manifestPath);

/// What a manifest holds, as sweep and merge need it.
struct ManifestRecord
{
    std::string version;
    bool unbounded = false;
    int numSide = 0, size = 0, speed = 0, locus = 0;
    std::int64_t ticks = 0;
    std::optional<std::uint64_t> seed;
    /// Setting name (without the dashes) → value as written, for the outputs and the rest.
    std::map<std::string, std::string> others;
};

/// Reads a manifest as manifestText writes it. Throws InputError naming the file and line of a
/// damaged or foreign one.
ManifestRecord readManifest(const std::string &path);

/// The output `name` ("msd-out") of a manifest at `manifestPath`, as a path from the current
/// folder; empty when the run did not write it.
std::string manifestOutput(
    const ManifestRecord &record, const std::string &manifestPath, const std::string &name);

} // namespace brownian::lab
