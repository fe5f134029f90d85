#include "options.h"

#include "sim/restart.h"

#include <charconv>
#include <filesystem>
#include <functional>
#include <limits>
#include <set>

namespace brownian::lab {

namespace {

constexpr std::int64_t kMaxTicks = 1'000'000'000'000; // a million million

enum Scope : unsigned { ForRun = 1, ForBench = 2, ForBoth = 3 };

/// Reads a whole decimal integer (an optional sign, digits, nothing else) within lo..hi.
template <typename T> std::optional<T> parseWhole(const std::string &text, T lo, T hi)
{
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1);
    if (digits.empty() || digits.front() == '+')
        return std::nullopt;
    T value {};
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size() || value < lo || value > hi)
        return std::nullopt;
    return value;
}

struct Parser
{
    LabOptions &o;
    std::string error;
    bool locusGiven = false, everyGiven = false, binsGiven = false, dpiGiven = false;
    bool ticksGiven = false;

    template <typename T>
    bool whole(const std::string &name, const std::string &text, T lo, T hi, T &out)
    {
        const auto value = parseWhole<T>(text, lo, hi);
        if (!value) {
            error = name + ": expected a whole number from " + std::to_string(lo) + " to "
                + std::to_string(hi) + ", got '" + text + "'";
            return false;
        }
        out = *value;
        return true;
    }

    bool file(const std::string &name, const std::string &text, std::string &out)
    {
        if (text.empty()) {
            error = name + ": expected a file name (or - for standard output)";
            return false;
        }
        out = text;
        return true;
    }
};

struct OptionEntry
{
    const char *name;
    bool takesValue;
    unsigned scope;
    std::function<bool(Parser &, const std::string &)> apply;
};

std::vector<OptionEntry> optionTable()
{
    using P = Parser;
    using S = const std::string &;
    auto out = [](std::string LabOptions::*member, const char *name) {
        return OptionEntry { name, true, ForRun,
            [member, name](P &p, S v) { return p.file(name, v, p.o.*member); } };
    };
    return {
        { "--mode", true, ForBoth,
            [](P &p, S v) {
                if (v == "bounded" || v == "unbounded") {
                    p.o.unbounded = v == "unbounded";
                    return true;
                }
                p.error = "--mode: expected bounded or unbounded, got '" + v + "'";
                return false;
            } },
        { "--num-side", true, ForBoth,
            [](P &p, S v) { return p.whole("--num-side", v, 1, 181, p.o.numSide); } },
        { "--size", true, ForBoth,
            [](P &p, S v) { return p.whole("--size", v, 1, 32767, p.o.size); } },
        { "--speed", true, ForBoth,
            [](P &p, S v) { return p.whole("--speed", v, 0, 32767, p.o.speed); } },
        { "--locus", true, ForBoth,
            [](P &p, S v) {
                p.locusGiven = true;
                return p.whole("--locus", v, 0, 32767, p.o.locus);
            } },
        { "--ticks", true, ForBoth,
            [](P &p, S v) {
                p.ticksGiven = true;
                return p.whole<std::int64_t>("--ticks", v, 0, kMaxTicks, p.o.ticks);
            } },
        { "--seed", true, ForBoth,
            [](P &p, S v) {
                std::uint64_t seed = 0;
                if (!p.whole<std::uint64_t>(
                        "--seed", v, 0, std::numeric_limits<std::uint64_t>::max(), seed))
                    return false;
                p.o.seed = seed;
                return true;
            } },
        { "--state-in", true, ForBoth,
            [](P &p, S v) {
                if (v.empty()) {
                    p.error = "--state-in: expected a file name (or - for standard input)";
                    return false;
                }
                p.o.stateIn = v;
                return true;
            } },
        { "--dpi", true, ForBoth,
            [](P &p, S v) {
                p.dpiGiven = true;
                return p.whole("--dpi", v, 24, 1200, p.o.dpi);
            } },
        out(&LabOptions::stateOut, "--state-out"),
        out(&LabOptions::snapshotsOut, "--snapshots-out"),
        { "--every", true, ForRun,
            [](P &p, S v) {
                p.everyGiven = true;
                return p.whole<std::int64_t>("--every", v, 1, kMaxTicks, p.o.every);
            } },
        out(&LabOptions::traceOut, "--trace-out"),
        out(&LabOptions::statsOut, "--stats-out"),
        out(&LabOptions::pathPng, "--path-png"),
        out(&LabOptions::framePng, "--frame-png"),
        out(&LabOptions::msdOut, "--msd-out"),
        out(&LabOptions::speedsOut, "--speeds-out"),
        out(&LabOptions::plotPng, "--plot"),
        { "--bins", true, ForRun,
            [](P &p, S v) {
                p.binsGiven = true;
                return p.whole("--bins", v, 1, 1000, p.o.bins);
            } },
        { "--no-draw", false, ForBench,
            [](P &p, S) {
                p.o.noDraw = true;
                return true;
            } },
        { "--repeats", true, ForBench,
            [](P &p, S v) { return p.whole("--repeats", v, 1, 1000, p.o.repeats); } },
        { "--pairs", true, ForBench,
            [](P &p, S v) {
                if (v != "auto" && v != "all" && v != "grid") {
                    p.error = "--pairs: expected auto, all or grid, not '" + std::string(v) + "'";
                    return false;
                }
                p.o.pairs = v;
                return true;
            } },
    };
}

/// The same file named twice would be written twice; compare the names as absolute paths.
std::string normalisedPath(const std::string &path)
{
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

std::string checkCombination(Parser &p, bool run)
{
    LabOptions &o = p.o;
    if (p.locusGiven && o.locus >= o.particles())
        return "--locus: particle " + std::to_string(o.locus) + " does not exist: with --num-side "
            + std::to_string(o.numSide) + " the particles are 0 to "
            + std::to_string(o.particles() - 1);
    if (!p.locusGiven)
        o.locus = defaultLocus(o.numSide);
    if (!run) {
        if (!p.ticksGiven)
            o.ticks = 2000;
        if (p.dpiGiven && o.noDraw)
            return "--dpi: bench --no-draw draws nothing";
        return {};
    }
    if (p.everyGiven && o.snapshotsOut.empty())
        return "--every: only used with --snapshots-out";
    if (p.binsGiven && !o.wantsSpeeds())
        return "--bins: only used with --speeds-out or --plot";
    if (p.dpiGiven && !o.wantsPictures())
        return "--dpi: only used with --path-png, --frame-png or --plot";

    std::string stdoutOption;
    std::set<std::string> seen;
    for (const OutputRequest &r : outputRequests(o)) {
        if (r.path == "-") {
            if (!stdoutOption.empty())
                return r.option + ": standard output is already taken by " + stdoutOption;
            stdoutOption = r.option;
            continue;
        }
        if (!seen.insert(normalisedPath(r.path)).second)
            return r.option + ": '" + r.path + "' is already the file of another output";
    }
    return {};
}

} // namespace

int defaultLocus(int numSide)
{
    return centreParticle(numSide).value();
}

std::vector<OutputRequest> outputRequests(const LabOptions &o)
{
    const std::pair<const char *, const std::string *> all[] = {
        { "--state-out", &o.stateOut },
        { "--snapshots-out", &o.snapshotsOut },
        { "--trace-out", &o.traceOut },
        { "--stats-out", &o.statsOut },
        { "--path-png", &o.pathPng },
        { "--frame-png", &o.framePng },
        { "--msd-out", &o.msdOut },
        { "--speeds-out", &o.speedsOut },
        { "--plot", &o.plotPng },
    };
    std::vector<OutputRequest> result;
    for (const auto &[option, path] : all) {
        if (!path->empty())
            result.push_back({ option, *path });
    }
    return result;
}

ParseResult parseArguments(const std::vector<std::string> &args)
{
    ParseResult result;
    LabOptions &o = result.options;
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (args[k] == "--help" || args[k] == "-h" || (k == 0 && args[k] == "help")) {
            o.command = Command::Help;
            return result;
        }
    }
    if (args.empty()) {
        result.error = "no command given: expected run or bench (see --help)";
        return result;
    }
    const std::string &command = args.front();
    if (command == "run") {
        o.command = Command::Run;
    } else if (command == "bench") {
        o.command = Command::Bench;
    } else {
        result.error = "unknown command '" + command + "': expected run or bench (see --help)";
        return result;
    }
    const bool run = o.command == Command::Run;
    const unsigned scope = run ? ForRun : ForBench;

    const std::vector<OptionEntry> table = optionTable();
    Parser parser { o, {} };
    std::set<std::string> given;
    for (std::size_t k = 1; k < args.size(); ++k) {
        std::string name = args[k];
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        const OptionEntry *entry = nullptr;
        for (const OptionEntry &s : table) {
            if (name == s.name)
                entry = &s;
        }
        if (!entry) {
            result.error = name.rfind("-", 0) == 0
                ? "unknown option " + name + " (see --help)"
                : "unexpected argument '" + name + "' (options start with --; see --help)";
            return result;
        }
        if (!(entry->scope & scope)) {
            result.error = name + ": not an option of " + command + " (see --help)";
            return result;
        }
        if (!given.insert(name).second) {
            result.error = name + ": given twice";
            return result;
        }
        if (entry->takesValue && !value) {
            if (k + 1 >= args.size()) {
                result.error = name + ": missing value";
                return result;
            }
            value = args[++k];
        } else if (!entry->takesValue && value) {
            result.error = name + ": takes no value";
            return result;
        }
        if (!entry->apply(parser, value.value_or(std::string()))) {
            result.error = parser.error;
            return result;
        }
    }
    result.error = checkCombination(parser, run);
    return result;
}

std::string helpText()
{
    return R"(brownian-lab: runs the Brownian-motion simulation of the program without windows.

Usage:
  brownian-lab run [OPTIONS]     simulate and write what is asked for
  brownian-lab bench [OPTIONS]   time ticks
  brownian-lab --help            this text

Settings (run and bench), as in the program's state:
  --mode bounded|unbounded  box with walls 0..5000, or the wrap-around field -500..5500
                            (default bounded)
  --num-side N              particles per side of the start grid, 1 to 181; N² particles
                            (default 5)
  --size S                  particle diameter in twips, 1 to 32767 (default 400)
  --speed V                 sub-steps per tick, 0 to 32767 (default 3)
  --locus L                 tracked particle, 0 to N²-1 (default: the centre particle,
                            (n²-1)/2 for odd n, n²/2-n/2-1 for even n)
  --ticks T                 ticks to run (default 0 for run, 2000 for bench)
  --seed K                  start the random source from a state derived from K, 0 to
                            2^64-1 (default: the program's fixed start state)
  --state-in FILE           start from the particles in FILE (the --state-out format, one
                            row per particle in index order; - reads standard input)
                            instead of placing them with InitPar
  --dpi D                   resolution of the pictures, 24 to 1200 (default 96)

Without --state-in the particles are placed as the program places them: defaults, then the
settings above, then InitPar(BoundMode x 1000). The settings dialog's limits are not enforced;
a fault they cause in the simulation is reported (exit status 3).

Outputs of run (FILE may be - for standard output, for one output at most):
  --state-out FILE          CSV i,x,y,vx,vy after the last tick; 9 significant digits, so
                            reading it back gives the identical Singles
  --snapshots-out FILE      CSV tick,i,x,y,vx,vy: the whole state at tick 0 and every K ticks
  --every K                 ticks between snapshots (default 1)
  --trace-out FILE          CSV substep,x,y,ux,uy: the tracked particle at the start
                            (substep 0) and after every sub-step; x, y as stored, ux, uy its
                            unwrapped position (start plus every move, summed in Double)
  --stats-out FILE          CSV tick,kinetic_energy,momentum_x,momentum_y,contacts at tick 0
                            and after every tick: energy sum (vx²+vy²)/2, momentum sum vx and
                            sum vy (Double from the Singles), contacts = calls of CollidePar
                            and CollideWrap during the tick
  --path-png FILE           the tracked particle's path picture, as the window draws it
  --frame-png FILE          the last frame, the square 0..5000 twips, as the window draws it
  --msd-out FILE            CSV lag,msd: mean squared displacement in twips² against the lag
                            in sub-steps (see below)
  --speeds-out FILE         CSV speed_low,speed_high,count,expected: the time-averaged speed
                            histogram and the counts expected at the run's measured energy
  --bins B                  bins of the speed histogram, 1 to 1000 (default 30)
  --plot FILE               a picture of both, labelled in Japanese: the MSD on log-log axes
                            with the ballistic and diffusive guide lines and the fitted
                            diffusion coefficient, and the histogram with its expected curve

Mean squared displacement: every particle's unwrapped position is its start plus every move
(the velocity the move applied), summed in Double; in the unbounded mode the centre of mass's
motion is taken out. The average runs over all particles and over time origins. Lags are
spaced about 24 per decade from 1 up to half the run's sub-steps. Lags below 256 use every
time origin; a longer lag is a multiple of 4^k (the smallest k with lag < 256 x 4^k) and uses
the origins at multiples of 4^k, so memory stays at 256 positions per particle and level and
the work at a few dozen lags per sub-step, however long the run.
The diffusion coefficient D comes from a straight-line fit MSD = 4 D lag + c over the longest
stretch of lags whose log-log slope lies within 1 +- 0.2; none is given without such a stretch.

Speeds: sampled at the start and after every sub-step, for all particles; in the unbounded
mode relative to the centre of mass's velocity. The expected counts use the finite-N
distribution at fixed energy (and, on the torus, fixed momentum), Scalas et al., Phys. Rev. E
92, 022140 (2015), with S the time-averaged sum of squared speeds:
  walls: F(v) = 1 - (1 - v²/S)^(N-1)
  torus: F(u) = 1 - (1 - u²/((1 - 1/N) S))^(N-2), S taken relative to the centre of mass

Options of bench:
  --no-draw                 leave out the drawing (frame and path) of every tick
  --repeats R               timed runs of T ticks each, 1 to 1000 (default 5)
  --pairs auto|all|grid     pair pass: every pair below 256 particles and the cell grid from
                            there on (auto, the default), every pair, or the cell grid
bench places the particles, runs a warm-up of T/10 ticks (at least 100), then times R runs of
T ticks, printing one line per run, and ends with one line of key=value fields (the median
run): us_per_tick=, ticks_per_s=, pair_tests_per_s= and more.

Output files appear whole or not at all: each is written to a temporary file beside it and
renamed when the run has succeeded. Nothing is written before the arguments and the input
have been checked. A run longer than about a second shows a progress bar on standard error
when that is a terminal.

Exit status: 0 success; 1 an output could not be written; 2 bad arguments, or an unreadable
or malformed input (the message names the option, or the file and line); 3 a fault in the
simulation (16-bit integer overflow, index out of range, floating-point fault).

Example:
  brownian-lab run --mode unbounded --num-side 10 --size 300 --speed 5 --ticks 4000 \
      --msd-out msd.csv --speeds-out speeds.csv --plot plot.png
)";
}

} // namespace brownian::lab
