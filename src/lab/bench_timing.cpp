// The timing of `bench`: the warm-up, the timed runs and their summary line.
#include "commands.h"
#include "output.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace brownian::lab {

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

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

std::string format(const char *pattern, auto... values)
{
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, pattern, values...);
    return buffer;
}

} // namespace

std::int64_t warmUpTicks(const LabOptions &o)
{
    return o.warmUp >= 0 ? o.warmUp : std::max<std::int64_t>(100, o.ticks / 10);
}

/// With --pairs both every tick is run with every pair tested and then again from the same
/// state with the cell grid, timed apart; the two results must agree bit for bit, and the run
/// goes on from them. The grid's timed tick follows an untimed tick from the state a tick
/// before, with the caches and the helper thread as a run leaves them.
int timeCases(const LabOptions &o, Simulation &simulation, const TickRunner &tick,
    std::vector<BenchCase> &cases)
{
    InterruptGuard interrupt;
    const auto interrupted = &InterruptGuard::interrupted;
    cases.assign(o.repeats, {});
    const bool paired = o.pairs == "both";
    ModPar &state = simulation.state();
    std::optional<ModPar> previous;
    if (paired)
        simulation.setPairPass(PairPass::Grid); // the same results, sooner
    TickCounters ignored;
    for (std::int64_t t = 0, warmUp = warmUpTicks(o); t < warmUp && !interrupted(); ++t) {
        if (paired && t == warmUp - 1)
            previous = state;
        tick(ignored);
    }
    for (int r = 0; r < o.repeats && !interrupted(); ++r) {
        BenchCase &c = cases[r];
        Clock::time_point start = Clock::now();
        for (std::int64_t t = 0; !paired && t < o.ticks && !interrupted(); ++t)
            tick(c.counters);
        if (!paired)
            c.seconds = since(start);
        for (std::int64_t t = 0; paired && t < o.ticks && !interrupted(); ++t) {
            ModPar current = state;
            simulation.setPairPass(PairPass::All);
            start = Clock::now();
            tick(ignored);
            c.seconds += since(start);
            ModPar byAllPairs = std::move(state);
            simulation.setPairPass(PairPass::Grid);
            if (previous) {
                state = std::move(*previous);
                tick(ignored); // back to `current`, bit for bit, and straight on
            } else {
                state = current;
            }
            start = Clock::now();
            tick(c.counters);
            c.gridSeconds += since(start);
            previous = std::move(current);
            if (!sameParticles(byAllPairs, state)) {
                printError("the all-pairs pass and the cell grid differ after timed tick "
                    + std::to_string(static_cast<long long>(r * o.ticks + t + 1)));
                return kExitFault;
            }
        }
        if (interrupted())
            break;
        const auto ticks = static_cast<double>(o.ticks);
        if (paired)
            std::printf("case %d/%d: %lld ticks: all pairs %.2f us/tick, cell grid %.2f us/tick, "
                        "ratio %.1f, %.2f contacts/tick, results identical\n",
                r + 1, o.repeats, static_cast<long long>(o.ticks), c.seconds * 1e6 / ticks,
                c.gridSeconds * 1e6 / ticks, c.seconds / c.gridSeconds,
                static_cast<double>(c.counters.contacts) / ticks);
        else
            std::printf("case %d/%d: %lld ticks in %.1f ms: %.2f us/tick, %.0f ticks/s, %.4g pair "
                        "tests/s, %.2f contacts/tick\n",
                r + 1, o.repeats, static_cast<long long>(o.ticks), c.seconds * 1e3,
                c.seconds * 1e6 / ticks, ticks / c.seconds,
                static_cast<double>(c.counters.pairTests) / c.seconds,
                static_cast<double>(c.counters.contacts) / ticks);
        std::fflush(stdout);
    }
    if (!interrupted())
        return kExitOk;
    printError("interrupted");
    return kExitInterrupted;
}

std::string benchSummary(const LabOptions &o, const std::vector<BenchCase> &cases)
{
    // Contacts depend on the state only, not on the timing: averaged over every timed tick.
    double contacts = 0;
    std::vector<double> all, grid, ratios;
    for (const BenchCase &c : cases) {
        contacts += static_cast<double>(c.counters.contacts);
        all.push_back(c.seconds * 1e6 / o.ticks);
        grid.push_back(c.gridSeconds * 1e6 / o.ticks);
        ratios.push_back(c.seconds / c.gridSeconds);
    }
    contacts /= static_cast<double>(o.ticks) * o.repeats;
    std::string line = format("mode=%s num_side=%d particles=%d size=%d speed=%d draw=%s "
                              "ticks=%lld warmup_ticks=%lld repeats=%d ",
        o.unbounded ? "unbounded" : "bounded", o.numSide, o.particles(), o.size, o.speed,
        o.noDraw ? "no" : "yes", static_cast<long long>(o.ticks),
        static_cast<long long>(warmUpTicks(o)), o.repeats);
    if (o.pairs == "both")
        return line
            + format("us_per_tick_all=%.3f us_per_tick_grid=%.3f ratio=%.1f best_ratio=%.1f "
                     "contacts_per_tick=%.3f pairs=both\n",
                median(all), median(grid), median(ratios),
                *std::max_element(ratios.begin(), ratios.end()), contacts);
    std::vector<BenchCase> sorted = cases;
    std::sort(sorted.begin(), sorted.end(),
        [](const BenchCase &a, const BenchCase &b) { return a.seconds < b.seconds; });
    const BenchCase &middle = sorted[sorted.size() / 2];
    return line
        + format("us_per_tick=%.3f ticks_per_s=%.1f pair_tests_per_s=%.6g contacts_per_tick=%.3f "
                 "best_us_per_tick=%.3f pairs=%s\n",
            middle.seconds * 1e6 / o.ticks, o.ticks / middle.seconds,
            static_cast<double>(middle.counters.pairTests) / middle.seconds, contacts,
            sorted.front().seconds * 1e6 / o.ticks, o.pairs.c_str());
}

} // namespace brownian::lab
