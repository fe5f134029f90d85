#pragma once

#include "options.h"
#include "sim/simulation.h"

#include <functional>
#include <optional>
#include <vector>

namespace brownian::lab {

/// One timed run of `ticks` ticks.
struct BenchCase
{
    double seconds = 0;
    TickCounters counters;
};

/// Runs one tick, adding what it did to the counters.
using TickRunner = std::function<void(TickCounters &counters)>;

/// The warm-up ticks before the timed runs: a tenth of the timed ticks, at least 100.
std::int64_t warmUpTicks(const LabOptions &options);

/// Warms up, then times `options.repeats` runs of `options.ticks` ticks, printing one line per
/// run. Returns nothing when interrupted (after printing so). Faults of the tick pass through.
std::optional<std::vector<BenchCase>> timeCases(const LabOptions &options, const TickRunner &tick);

/// Prints the summary line: the median run, the best one and the contacts per tick.
void printSummary(const LabOptions &options, const std::vector<BenchCase> &cases);

/// One timed run of `ticks` ticks with both pair passes.
struct PairedCase
{
    double allSeconds = 0, gridSeconds = 0;
    TickCounters counters; // of the grid's ticks
};

/// --pairs both: warms up, then times `options.repeats` runs of `options.ticks` ticks, each
/// tick run with every pair tested and then again from the same state with the cell grid,
/// timed apart, so that both passes are timed on the same states at the same moments. The
/// two results must be identical bit for bit; the run goes on from them. Returns nothing,
/// with `status` set and the reason printed, when interrupted or when the results differ.
std::optional<std::vector<PairedCase>> timePairedCases(
    const LabOptions &options, Simulation &simulation, const TickRunner &tick, int &status);

/// Prints the summary line of --pairs both.
void printPairedSummary(const LabOptions &options, const std::vector<PairedCase> &cases);

} // namespace brownian::lab
