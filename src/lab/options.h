#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brownian::lab {

enum class Command {
    Help, ///< print the help text
    Run, ///< simulate and write the outputs asked for
    Bench, ///< time ticks
    Sweep, ///< expand lists of settings into runs and run them (or print their commands)
    Merge, ///< average the finished runs of a sweep folder, with the figure
};

/// Everything the command line asks for, checked and completed with the defaults.
struct LabOptions
{
    Command command = Command::Help;

    // Settings of the simulation state.
    bool unbounded = false;
    /// Particles per side, 1..181 (N = numSide² fits 16 bits).
    int numSide = 5;
    /// Particle diameter in twips, 1..32767.
    int size = 400;
    /// Sub-steps per tick, 0..32767.
    int speed = 3;
    /// Tracked particle, 0..N-1; defaults to the centre particle (see defaultLocus).
    int locus = 12;
    /// Ticks to run: 0 by default for run, 2000 for bench.
    std::int64_t ticks = 0;
    /// Start state of the random source derived from this seed; none: the fixed start state.
    std::optional<std::uint64_t> seed;
    /// Worker threads of the simulation, 1..256; parseArguments makes it the processor count
    /// unless given.
    int threads = 1;
    /// CSV file replacing the placement ("-": standard input); empty: place with InitPar.
    std::string stateIn;

    // Outputs of run; an empty name is not asked for, "-" is standard output.
    std::string stateOut, snapshotsOut, traceOut, statsOut;
    std::string pathPng, framePng, msdOut, speedsOut, plotPng;
    /// Ticks between snapshots, at least 1.
    std::int64_t every = 1;
    /// Resolution of the pictures in dots per inch, 24..1200.
    int dpi = 96;
    /// Bins of the speed histogram, 1..1000.
    int bins = 30;

    /// run only: the manifest written last, after every output (empty: none).
    std::string manifestOut;

    // bench only.
    bool noDraw = false;
    /// Timed runs of `ticks` ticks each, 1..1000.
    int repeats = 5;
    /// Pair pass: "auto", "all" (every pair), "grid" (the cell grid) or "both" (every tick
    /// timed with each on the same state, and the results compared).
    std::string pairs = "auto";
    /// Ticks run before the timed runs; -1: a tenth of the timed ticks, at least 100.
    std::int64_t warmUp = -1;

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
    /// The folder holding the runs, required.
    std::string out;
    /// Outputs each run writes; none given: MSD and statistics, which merge needs.
    bool writeMsd = true, writeSpeeds = false, writeStats = true;
    /// Runs at a time; 0: the number of cores.
    int jobs = 0;
    /// Worker threads of every run, 1..256.
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

/// The outputs of a run, in the order of the help text (the manifest not among them).
std::vector<OutputRequest> outputRequests(const LabOptions &options);

/// One setting of a run: the option's name without the dashes and its value.
struct RunSetting
{
    std::string name, value;
    bool text = false; ///< a word or file name, not a number
};

/// The settings of a run in the order a manifest lists them: the settings, the outputs (each
/// file name passed through `fileName`), then the details of the outputs asked for.
/// `brownian-lab run` with these repeats the run.
std::vector<RunSetting> runSettings(
    const LabOptions &options, const std::function<std::string(const std::string &)> &fileName);

/// The centre particle, as the settings dialog picks it: (n² − 1) / 2 for odd n,
/// n² / 2 − n / 2 − 1 for even n.
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

/// Parses the arguments after the program name. `--name value` and `--name=value` are both
/// accepted; an option given twice, an unknown option, a value out of range or an option that
/// does not belong to the command is an error. `--config FILE` reads further settings from a
/// TOML file (`name = value`, names without the dashes); an option on the command line wins
/// over the file, a setting the command does not know or a value of the wrong type is an
/// error naming the file and line, and a relative file name in the file is taken from the
/// file's folder.
ParseResult parseArguments(const std::vector<std::string> &args);

/// The text of --help.
std::string helpText();

} // namespace brownian::lab
