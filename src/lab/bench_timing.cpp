#include "bench_timing.h"

#include "interrupt.h"
#include "messages.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace brownian::lab {

namespace {

void printCase(const LabOptions &o, int index, const BenchCase &c)
{
    const double us = c.seconds * 1e6 / o.ticks;
    std::printf("case %d/%d: %lld ticks in %.1f ms: %.2f us/tick, %.0f ticks/s, %.4g pair "
                "tests/s, %.2f contacts/tick\n",
        index + 1, o.repeats, static_cast<long long>(o.ticks), c.seconds * 1e3, us,
        o.ticks / c.seconds, static_cast<double>(c.counters.pairTests) / c.seconds,
        static_cast<double>(c.counters.contacts) / o.ticks);
    std::fflush(stdout);
}

} // namespace

std::int64_t warmUpTicks(const LabOptions &o)
{
    return std::max<std::int64_t>(100, o.ticks / 10);
}

std::optional<std::vector<BenchCase>> timeCases(const LabOptions &o, const TickRunner &tick)
{
    InterruptGuard interrupt;
    TickCounters ignored;
    const std::int64_t warmUp = warmUpTicks(o);
    for (std::int64_t t = 0; t < warmUp && !InterruptGuard::interrupted(); ++t)
        tick(ignored);
    std::vector<BenchCase> cases(o.repeats);
    for (int r = 0; r < o.repeats; ++r) {
        BenchCase &c = cases[r];
        const auto start = std::chrono::steady_clock::now();
        for (std::int64_t t = 0; t < o.ticks && !InterruptGuard::interrupted(); ++t)
            tick(c.counters);
        c.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (InterruptGuard::interrupted()) {
            printError("interrupted");
            return std::nullopt;
        }
        printCase(o, r, c);
    }
    return cases;
}

void printSummary(const LabOptions &o, const std::vector<BenchCase> &cases)
{
    std::vector<BenchCase> sorted = cases;
    std::sort(sorted.begin(), sorted.end(),
        [](const BenchCase &a, const BenchCase &b) { return a.seconds < b.seconds; });
    const BenchCase &median = sorted[sorted.size() / 2];
    // Contacts depend on the state only, not on the timing: averaged over every timed tick.
    double contacts = 0;
    for (const BenchCase &c : cases)
        contacts += static_cast<double>(c.counters.contacts);
    contacts /= static_cast<double>(o.ticks) * o.repeats;
    std::printf("mode=%s num_side=%d particles=%d size=%d speed=%d draw=%s ticks=%lld "
                "warmup_ticks=%lld repeats=%d us_per_tick=%.3f ticks_per_s=%.1f "
                "pair_tests_per_s=%.6g contacts_per_tick=%.3f best_us_per_tick=%.3f pairs=%s\n",
        o.unbounded ? "unbounded" : "bounded", o.numSide, o.particles(), o.size, o.speed,
        o.noDraw ? "no" : "yes", static_cast<long long>(o.ticks),
        static_cast<long long>(warmUpTicks(o)), o.repeats, median.seconds * 1e6 / o.ticks,
        o.ticks / median.seconds, static_cast<double>(median.counters.pairTests) / median.seconds,
        contacts, sorted.front().seconds * 1e6 / o.ticks, o.pairs.c_str());
}

} // namespace brownian::lab
