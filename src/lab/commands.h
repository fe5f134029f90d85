#pragma once

#include "model/fault.h"
#include "options.h"
#include "sim/simulation.h"

#include <cstdio>
#include <functional>
#include <string>

namespace brownian::lab {

/// Writes "brownian-lab: message" to standard error.
inline void printError(const std::string &message)
{
    std::fprintf(stderr, "brownian-lab: %s\n", message.c_str());
}

/// A simulation fault as the tool names it: "English name (what)".
inline std::string faultText(const RuntimeFault &fault)
{
    return fault.englishName() + " (" + fault.what() + ")";
}

inline constexpr int kExitOk = 0;
inline constexpr int kExitOutputFailed = 1;
inline constexpr int kExitBadInput = 2;
inline constexpr int kExitFault = 3;
inline constexpr int kExitInterrupted = 130;

/// Starts what drawing text needs (the application object with its fonts); called only when
/// something is drawn.
void startGui();

// The commands; each returns the exit status after printing what went wrong.
int runCommand(const LabOptions &options);
int benchCommand(const LabOptions &options);
int sweepCommand(const SweepOptions &options);
int mergeCommand(const MergeOptions &options);

/// One timed run of bench: its seconds (with --pairs both, of the all-pairs pass) and the grid's.
struct BenchCase
{
    double seconds = 0, gridSeconds = 0;
    TickCounters counters;
};
using TickRunner = std::function<void(TickCounters &counters)>;
/// The warm-up ticks before the timed runs: by default a tenth of the timed ticks, at least 100.
std::int64_t warmUpTicks(const LabOptions &options);
/// Warms up, then times `repeats` runs of `ticks` ticks (each tick with both pair passes, on the
/// same state, for --pairs both), printing one line a run. Faults of the tick pass through.
int timeCases(const LabOptions &options, Simulation &simulation, const TickRunner &tick,
    std::vector<BenchCase> &cases);
/// The closing line: the settings, then the median run's figures.
std::string benchSummary(const LabOptions &options, const std::vector<BenchCase> &cases);

} // namespace brownian::lab
