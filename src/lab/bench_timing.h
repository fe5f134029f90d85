#pragma once

#include "options.h"
#include "sim/step.h"

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

} // namespace brownian::lab
