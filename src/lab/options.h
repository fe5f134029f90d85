#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brownian::lab {

/// The most ticks a run, a bench or a sweep takes: a million million.
inline constexpr std::int64_t kMaxTicks = 1'000'000'000'000;

enum class Command { Help, Run, Bench, Sweep, Merge };

/// Everything the command line asks for, checked and completed with the defaults. The limits,
/// the help and the manifest's order of every option are in the option table (option_table.cpp).
struct LabOptions
{
    Command command = Command::Help;
    bool unbounded = false;
    int numSide = 5, size = 400, speed = 3;
    int locus = 12; ///< by default the centre particle (defaultLocus)
    std::int64_t ticks = 0; ///< 0 by default for run, 2000 for bench
    std::optional<std::uint64_t> seed; ///< none: the program's fixed start state
    int threads = 1; ///< by default the processor count
    std::string stateIn; ///< "-": standard input; empty: placed by InitPar

    // Outputs of run; an empty name is not asked for, "-" is standard output.
    std::string stateOut, snapshotsOut, traceOut, statsOut;
    std::string pathPng, framePng, msdOut, speedsOut, plotPng;
    std::int64_t every = 1;
    int dpi = 96, bins = 30;
    std::string manifestOut; ///< written last, after every output

    // bench only.
    bool noDraw = false;
    int repeats = 5;
    std::string pairs = "auto"; ///< auto, all, grid or both
    std::int64_t warmUp = -1; ///< -1: a tenth of the timed ticks, at least 100

    int particles() const { return numSide * numSide; }
    bool wantsMsd() const { return !msdOut.empty() || !plotPng.empty(); }
    bool wantsSpeeds() const { return !speedsOut.empty() || !plotPng.empty(); }
    bool wantsPictures() const { return !pathPng.empty() || !framePng.empty() || !plotPng.empty(); }
};

/// The settings of `brownian-lab sweep`: lists whose Cartesian product gives the runs.
struct SweepOptions
{
    std::vector<bool> modes { false }; ///< unbounded, per entry
    std::vector<int> numSides { 5 }, sizes { 400 }, speeds { 3 };
    std::uint64_t firstSeed = 1, lastSeed = 1;
    std::int64_t ticks = 2000;
    std::string out;
    bool writeMsd = true, writeSpeeds = false, writeStats = true;
    int jobs = 0; ///< 0: the number of cores
    int threads = 1;
    bool printCommands = false;
};

/// The settings of `brownian-lab merge`.
struct MergeOptions
{
    std::string dir;
    int dpi = 96;
};

/// One output asked for: the option that named it and the file ("-": standard output).
struct OutputRequest
{
    std::string option;
    std::string path;
};

/// The outputs of a run, in the order of the help text, and last, when `withManifest`, the
/// manifest.
std::vector<OutputRequest> outputRequests(const LabOptions &options, bool withManifest = false);

/// One setting of a run: the option's name without the dashes and its value.
struct RunSetting
{
    std::string name, value;
    bool text = false; ///< a word or file name, not a number
};

/// The settings of a run in the order a manifest lists them (settings, outputs with each file name
/// passed through `fileName`, details of the outputs asked for): `run` with these repeats it.
std::vector<RunSetting> runSettings(
    const LabOptions &options, const std::function<std::string(const std::string &)> &fileName);

/// The centre particle, as the settings dialog picks it.
int defaultLocus(int numSide);

struct ParseResult
{
    LabOptions options;
    SweepOptions sweep;
    MergeOptions merge;
    /// Empty when the arguments are sound; otherwise what is wrong, naming the option.
    std::string error;
    /// Remarks for standard error that do not stop the command (a manifest of another version).
    std::vector<std::string> notes;
    /// The version a manifest read with --config names; empty for other config files.
    std::string version;
    bool ok() const { return error.empty(); }
};

/// Parses the arguments after the program name, `--config FILE` included (the command line wins
/// over the file).
ParseResult parseArguments(const std::vector<std::string> &args);

/// The text of --help.
std::string helpText();

/// The manifest a sweep's run leaves in its folder.
inline constexpr const char *kManifestName = "run.toml";

/// The manifest of a run, to be written at `manifestPath`: the program's version, then
/// runSettings, with an output inside the manifest's folder named relative to it (the folder can
/// be moved) and another by its absolute path.
std::string manifestText(const LabOptions &options, const std::string &manifestPath);

/// Reads a manifest as `run --config FILE` does. Throws InputError naming the file (and line) of
/// a damaged one, or of one without a version (not a manifest).
LabOptions readManifest(const std::string &path);

} // namespace brownian::lab
