#include "bench_timing.h"

#include "commands.h"
#include "interrupt.h"
#include "sim/simulation.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

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

/// The summary line's first fields: the settings of the bench.
void printSettings(const LabOptions &o)
{
    std::printf("mode=%s num_side=%d particles=%d size=%d speed=%d draw=%s ticks=%lld "
                "warmup_ticks=%lld repeats=%d ",
        o.unbounded ? "unbounded" : "bounded", o.numSide, o.particles(), o.size, o.speed,
        o.noDraw ? "no" : "yes", static_cast<long long>(o.ticks),
        static_cast<long long>(warmUpTicks(o)), o.repeats);
}

} // namespace

std::int64_t warmUpTicks(const LabOptions &o)
{
    return o.warmUp >= 0 ? o.warmUp : std::max<std::int64_t>(100, o.ticks / 10);
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
    printSettings(o);
    std::printf("us_per_tick=%.3f ticks_per_s=%.1f pair_tests_per_s=%.6g contacts_per_tick=%.3f "
                "best_us_per_tick=%.3f pairs=%s\n",
        median.seconds * 1e6 / o.ticks, o.ticks / median.seconds,
        static_cast<double>(median.counters.pairTests) / median.seconds, contacts,
        sorted.front().seconds * 1e6 / o.ticks, o.pairs.c_str());
}

namespace {

/// Whether the particles' positions and velocities are the same bits in both states.
bool sameParticles(const ModPar &a, const ModPar &b)
{
    auto same = [](const auto &x, const auto &y) {
        return x.size() == y.size()
            && std::memcmp(x.data(), y.data(), sizeof(float) * static_cast<std::size_t>(x.size()))
            == 0;
    };
    return same(a.ParX, b.ParX) && same(a.ParY, b.ParY) && same(a.ParVX, b.ParVX)
        && same(a.ParVY, b.ParVY);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

std::optional<std::vector<PairedCase>> timePairedCases(
    const LabOptions &o, Simulation &simulation, const TickRunner &tick, int &status)
{
    ModPar &state = simulation.state();
    InterruptGuard interrupt;
    status = kExitInterrupted;
    auto interrupted = [] {
        if (!InterruptGuard::interrupted())
            return false;
        printError("interrupted");
        return true;
    };
    // The state a tick before the current one: the grid's timed tick follows the untimed
    // tick from there, with the caches and the helper thread as a run leaves them.
    std::optional<ModPar> previous;
    {
        simulation.setPairPass(PairPass::Grid); // the same results, sooner
        TickCounters ignored;
        for (std::int64_t t = 0, warmUp = warmUpTicks(o); t < warmUp; ++t) {
            if (interrupted())
                return std::nullopt;
            if (t == warmUp - 1)
                previous = state;
            tick(ignored);
        }
    }
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::time_point start) {
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    std::vector<PairedCase> cases(o.repeats);
    for (int r = 0; r < o.repeats; ++r) {
        PairedCase &c = cases[r];
        for (std::int64_t t = 0; t < o.ticks; ++t) {
            if (interrupted())
                return std::nullopt;
            ModPar current = state;
            TickCounters ignored;
            {
                simulation.setPairPass(PairPass::All);
                const Clock::time_point start = Clock::now();
                tick(ignored);
                c.allSeconds += seconds(start);
            }
            ModPar byAllPairs = std::move(state);
            {
                simulation.setPairPass(PairPass::Grid);
                if (previous) {
                    state = std::move(*previous);
                    tick(ignored); // back to `current`, bit for bit, and straight on
                } else {
                    state = current;
                }
                const Clock::time_point start = Clock::now();
                tick(c.counters);
                c.gridSeconds += seconds(start);
            }
            previous = std::move(current);
            if (!sameParticles(byAllPairs, state)) {
                printError("the all-pairs pass and the cell grid differ after timed tick "
                    + std::to_string(static_cast<long long>(r * o.ticks + t + 1)));
                status = kExitFault;
                return std::nullopt;
            }
        }
        std::printf("case %d/%d: %lld ticks: all pairs %.2f us/tick, cell grid %.2f us/tick, "
                    "ratio %.1f, %.2f contacts/tick, results identical\n",
            r + 1, o.repeats, static_cast<long long>(o.ticks), c.allSeconds * 1e6 / o.ticks,
            c.gridSeconds * 1e6 / o.ticks, c.allSeconds / c.gridSeconds,
            static_cast<double>(c.counters.contacts) / o.ticks);
        std::fflush(stdout);
    }
    status = kExitOk;
    return cases;
}

void printPairedSummary(const LabOptions &o, const std::vector<PairedCase> &cases)
{
    std::vector<double> all, grid, ratios;
    double contacts = 0;
    for (const PairedCase &c : cases) {
        all.push_back(c.allSeconds * 1e6 / o.ticks);
        grid.push_back(c.gridSeconds * 1e6 / o.ticks);
        ratios.push_back(c.allSeconds / c.gridSeconds);
        contacts += static_cast<double>(c.counters.contacts);
    }
    contacts /= static_cast<double>(o.ticks) * o.repeats;
    printSettings(o);
    std::printf("us_per_tick_all=%.3f us_per_tick_grid=%.3f ratio=%.1f best_ratio=%.1f "
                "contacts_per_tick=%.3f pairs=both\n",
        median(all), median(grid), median(ratios), *std::max_element(ratios.begin(), ratios.end()),
        contacts);
}

} // namespace brownian::lab
