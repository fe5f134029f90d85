#include "option_table.h"

#include <charconv>
#include <set>

namespace brownian::lab::detail {

namespace {

// The limits, each in one place.
constexpr std::int64_t kMaxNumSide = 181; // N = 181² particles still fit a 16-bit index
constexpr std::int64_t kMaxTwips = 32767; // a 16-bit Integer
constexpr std::int64_t kMaxThreads = 256;
constexpr std::int64_t kMinDpi = 24, kMaxDpi = 1200;

using L = LabOptions;
using S = SweepOptions;

/// Reads a whole decimal number (an optional '+', digits, nothing else).
template <typename T> std::optional<T> wholeNumber(std::string_view digits)
{
    if (digits.starts_with('+'))
        digits.remove_prefix(1);
    T value {};
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return value;
}

/// The seeds A-B, or A alone; nothing unless both are whole numbers.
std::optional<std::pair<std::uint64_t, std::uint64_t>> seedRange(const std::string &value)
{
    const auto dash = value.find('-');
    const auto first = wholeNumber<std::uint64_t>(value.substr(0, dash));
    const auto last =
        dash == std::string::npos ? first : wholeNumber<std::uint64_t>(value.substr(dash + 1));
    if (!first || !last)
        return std::nullopt;
    return std::pair(*first, *last);
}

/// A value that checkValue has passed, into its member: a whole number read in decimal (CLI11's
/// own conversion would read 010 as octal), a list split at its commas.
template <class T> void assign(T &target, const std::string &value)
{
    if constexpr (std::is_same_v<T, std::string>)
        target = value;
    else if constexpr (std::is_same_v<T, bool>) // a flag, or --mode
        target = value == "true" || value == "unbounded";
    else if constexpr (std::is_integral_v<T>)
        target = *wholeNumber<T>(value);
    else if constexpr (std::is_same_v<T, std::optional<std::uint64_t>>)
        target = wholeNumber<std::uint64_t>(value);
    else {
        target.clear();
        for (const std::string &text : CLI::detail::split(value, ',')) {
            typename T::value_type item {};
            assign(item, CLI::detail::trim_copy(text, " "));
            target.push_back(item);
        }
    }
}

std::string replaceAll(std::string text, const std::string &from, const std::string &to)
{
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string choiceList(const char *choices)
{
    std::string text = replaceAll(choices, "|", ", ");
    const auto last = text.rfind(", ");
    return last == std::string::npos ? text : text.replace(last, 2, " or ");
}

/// An output of run: a file.
OptionRow output(const char *name, std::string L::*member, const char *help)
{
    return { name, ForRun, Kind::File, 0, 0, "FILE", member, Part::Output, help };
}

/// An option of bench alone.
OptionRow bench(const char *name, Kind kind, std::int64_t lo, std::int64_t hi, const char *values,
    Member member, const char *help)
{
    return { name, ForBench, kind, lo, hi, values, member, Part::None, help };
}

/// An option of sweep.
OptionRow sweep(const char *name, Kind kind, std::int64_t lo, std::int64_t hi, const char *values,
    Member member, const char *help = "")
{
    return { name, ForSweep, kind, lo, hi, values, member, Part::None, help };
}

} // namespace

const std::vector<OptionRow> &optionRows()
{
    constexpr unsigned RB = ForRun | ForBench;
    using enum Kind;
    static const std::vector<OptionRow> table = {
        { "--mode", RB, Choice, 0, 0, "bounded|unbounded", &L::unbounded, Part::Setting,
            "box with walls 0..5000, or the wrap-around field -500..5500\n(default bounded)" },
        { "--num-side", RB, Whole, 1, kMaxNumSide, "N", &L::numSide, Part::Setting,
            "particles per side of the start grid, {lo} to {hi}; N² particles\n(default 5)" },
        { "--size", RB, Whole, 1, kMaxTwips, "S", &L::size, Part::Setting,
            "particle diameter in twips, {lo} to {hi} (default 400)" },
        { "--speed", RB, Whole, 0, kMaxTwips, "V", &L::speed, Part::Setting,
            "sub-steps per tick, {lo} to {hi} (default 3)" },
        { "--locus", RB, Whole, 0, kMaxTwips, "L", &L::locus, Part::Setting,
            "tracked particle, 0 to N²-1 (default: the centre particle,\n(n²-1)/2 for odd n, "
            "n²/2-n/2-1 for even n)" },
        { "--ticks", RB, Whole, 0, kMaxTicks, "T", &L::ticks, Part::Setting,
            "ticks to run (default 0 for run, 2000 for bench)" },
        { "--seed", RB, Whole, 0, -1, "K", &L::seed, Part::Setting,
            "start the random source from a state derived from K, 0 to\n2^64-1 (default: the "
            "program's fixed start state)" },
        { "--threads", RB, Whole, 1, kMaxThreads, "N", &L::threads, Part::Setting,
            "worker threads of the simulation, {lo} to {hi} (default: the number\nof "
            "processors); the results do not depend on it" },
        { "--state-in", RB, File, 0, 0, "FILE", &L::stateIn, Part::Setting,
            "start from the particles in FILE (the --state-out format, one\nrow per particle in "
            "index order; - reads standard input)\ninstead of placing them with InitPar" },
        { "--dpi", RB, Whole, kMinDpi, kMaxDpi, "D", &L::dpi, Part::Detail,
            "resolution of the pictures, {lo} to {hi} (default 96)" },
        output("--state-out", &L::stateOut,
            "CSV i,x,y,vx,vy after the last tick; 9 significant digits, so\nreading it back gives "
            "the identical Singles"),
        output("--snapshots-out", &L::snapshotsOut,
            "CSV tick,i,x,y,vx,vy: the whole state at tick 0 and every K ticks"),
        { "--every", ForRun, Whole, 1, kMaxTicks, "K", &L::every, Part::Detail,
            "ticks between snapshots (default 1)" },
        output("--trace-out", &L::traceOut,
            "CSV substep,x,y,ux,uy: the tracked particle at the start\n(substep 0) and after "
            "every sub-step; x, y as stored, ux, uy its\nunwrapped position (start plus every "
            "move, summed in Double)"),
        output("--stats-out", &L::statsOut,
            "CSV tick,kinetic_energy,momentum_x,momentum_y,contacts,temperature,\npressure "
            "(and pressure_wall in the box) at tick 0 and after every\ntick: energy sum "
            "(vx²+vy²)/2, momentum sum vx and sum vy (Double\nfrom the Singles), contacts = calls "
            "of CollidePar and CollideWrap\nduring the tick; kT = energy/N (on the torus less "
            "the centre of\nmass's, over N-1); pressure P = (N kT + sum r_ij.dp_i / 2τ) / A "
            "over\nthe tick's τ sub-steps, A = 6000² or in the box 5000·(5000-size);\n"
            "pressure_wall: the walls' outward momentum per twip of wall and\nsub-step. Unit "
            "mass, twips, sub-steps; at tick 0 P = N kT / A"),
        output("--path-png", &L::pathPng,
            "the tracked particle's path picture, as the window draws it"),
        output("--frame-png", &L::framePng,
            "the last frame, the square 0..5000 twips, as the window draws it"),
        output("--msd-out", &L::msdOut,
            "CSV lag,msd: mean squared displacement in twips² against the lag\nin sub-steps (see "
            "below)"),
        output("--speeds-out", &L::speedsOut,
            "CSV speed_low,speed_high,count,expected: the time-averaged speed\nhistogram and the "
            "counts expected at the run's measured energy"),
        { "--bins", ForRun, Whole, 1, 1000, "B", &L::bins, Part::Detail,
            "bins of the speed histogram, {lo} to {hi} (default 30)" },
        { "--manifest", ForRun, File, 0, 0, "FILE", &L::manifestOut, Part::None,
            "after everything else has been written: FILE with every setting\nof the run (seed "
            "included) and the program's version, such that\nbrownian-lab run --config FILE "
            "repeats the run bit for bit" },
        output("--plot", &L::plotPng,
            "a picture of both, labelled in Japanese: the MSD on log-log axes\nwith the ballistic "
            "and diffusive guide lines and the fitted\ndiffusion coefficient, and the histogram "
            "with its expected curve\n(drawn at 300 dpi at most)"),
        bench("--no-draw", Flag, 0, 0, nullptr, &L::noDraw,
            "leave out the drawing (frame and path) of every tick"),
        bench("--repeats", Whole, 1, 1000, "R", &L::repeats,
            "timed runs of T ticks each, {lo} to {hi} (default 5)"),
        bench("--pairs", Choice, 0, 0, "auto|all|grid|both", &L::pairs,
            "pair pass: every pair below 256 particles and the cell grid from\nthere on (auto, "
            "the default), every pair, the cell grid, or both:\nevery tick run with each from the "
            "same state, timed apart, and\nthe two results compared bit for bit"),
        bench("--warmup", Whole, 0, kMaxTicks, "W", &L::warmUp,
            "ticks run before the timed runs (default T/10, at least 100)"),
        sweep("--mode", List, 0, 0, "bounded|unbounded", &S::modes,
            "bounded and/or unbounded (default bounded)"),
        sweep("--num-side", List, 1, kMaxNumSide, nullptr, &S::numSides,
            "particles per side, each {lo} to {hi} (default 5)"),
        sweep("--size", List, 1, kMaxTwips, nullptr, &S::sizes,
            "particle diameters in twips, each {lo} to {hi} (default 400)"),
        sweep("--speed", List, 0, kMaxTwips, nullptr, &S::speeds,
            "sub-steps per tick, each {lo} to {hi} (default 3)"),
        sweep("--seeds", SeedRange, 0, -1, nullptr, &S::firstSeed,
            "the seeds A, A+1, ..., B of every setting (default 1-1)"),
        sweep("--ticks", Whole, 1, kMaxTicks, "T", &S::ticks,
            "ticks of every run, at least 1 (default 2000)"),
        sweep("--threads", Whole, 1, kMaxThreads, "N", &S::threads,
            "worker threads of every run, {lo} to {hi} (default 1: the runs\nthemselves run side "
            "by side)"),
        sweep("--out", File, 0, 0, "DIR", &S::out,
            "the folder of the runs, required: run K writes into DIR/run-K/"),
        sweep("--msd", Flag, 0, 0, ", --speeds, --stats", &S::writeMsd,
            "what each run writes: msd.csv, speeds.csv, stats.csv (default\n--msd --stats, which "
            "merge needs)"),
        sweep("--speeds", Flag, 0, 0, nullptr, &S::writeSpeeds),
        sweep("--stats", Flag, 0, 0, nullptr, &S::writeStats),
        sweep("--jobs", Whole, 1, 1024, "J", &S::jobs,
            "runs at a time, each a separate brownian-lab run process\n(default: the number of "
            "cores); one progress bar on a terminal"),
        sweep("--print-commands", Flag, 0, 0, nullptr, &S::printCommands,
            "run nothing; print one brownian-lab run command a line, for GNU\nparallel, xargs -P "
            "or a Slurm job array"),
        { "--dpi", ForMerge, Whole, kMinDpi, kMaxDpi, nullptr, &MergeOptions::dpi },
    };
    return table;
}

const OptionRow *findOption(const std::string &name, unsigned scope)
{
    for (const OptionRow &s : optionRows()) {
        if (name == s.name && (s.scope & scope))
            return &s;
    }
    return nullptr;
}

std::string checkValue(const OptionRow &s, const std::string &value)
{
    const bool unsignedRange = s.hi < s.lo;
    const std::string range = "from " + std::to_string(s.lo) + " to "
        + (unsignedRange ? std::to_string(UINT64_MAX) : std::to_string(s.hi));
    auto whole = [&](const std::string &text) {
        if (unsignedRange)
            return wholeNumber<std::uint64_t>(text).has_value();
        const auto v = wholeNumber<std::int64_t>(text);
        return v && *v >= s.lo && *v <= s.hi;
    };
    auto choice = [&](const std::string &text) {
        return ("|" + std::string(s.values) + "|").find("|" + text + "|") != std::string::npos;
    };
    switch (s.kind) {
    case Kind::Whole:
        if (!whole(value))
            return "expected a whole number " + range + ", got '" + value + "'";
        return {};
    case Kind::Choice:
        if (!choice(value))
            return "expected " + choiceList(s.values)
                + (std::string(s.name) == "--pairs" ? ", not '" : ", got '") + value + "'";
        return {};
    case Kind::File:
        if (value.empty())
            return std::string("expected a file name (or - for ")
                + (std::string(s.name) == "--state-in" ? "standard input)" : "standard output)");
        return {};
    case Kind::List: {
        // One comma more: split drops an empty last item.
        const std::vector<std::string> items = CLI::detail::split(value + ",", ',');
        std::set<std::string> seen;
        for (std::size_t item = 0; item < items.size(); ++item) {
            const std::string text = CLI::detail::trim_copy(items[item], " ");
            if (text.empty())
                return "malformed list '" + value + "': item " + std::to_string(item + 1)
                    + " is empty";
            if (s.values && !choice(text))
                return "expected " + choiceList(s.values) + ", got '" + text + "'";
            if (!s.values && !whole(text))
                return "expected a whole number " + range + " in the list, got '" + text + "'";
            // 60 and 060 are one size.
            if (!seen.insert(s.values ? text : std::to_string(*wholeNumber<int>(text))).second)
                return text + " is listed twice";
        }
        return {};
    }
    case Kind::SeedRange: {
        const auto seeds = seedRange(value);
        if (!seeds)
            return "expected a range A-B of seeds " + range + ", got '" + value + "'";
        if (seeds->first > seeds->second)
            return "the range '" + value + "' is empty (the first seed is above the last)";
        if (seeds->second - seeds->first >= 1'000'000)
            return "the range '" + value + "' holds more than a million seeds";
        return {};
    }
    case Kind::Flag:
        break;
    }
    return {};
}

void setValue(const OptionRow &row, ParseResult &result, const std::string &value)
{
    std::visit(
        [&]<class T, class Options>(T Options::*member) {
            T &target =
                std::get<Options &>(std::tie(result.options, result.sweep, result.merge)).*member;
            if constexpr (std::is_same_v<T, std::uint64_t>) // --seeds A-B
                std::tie(target, result.sweep.lastSeed) = *seedRange(value);
            else
                assign(target, value);
        },
        row.member);
}

std::string helpOf(const OptionRow &s, const std::string &indent)
{
    const std::string limits =
        replaceAll(replaceAll(s.help, "{lo}", std::to_string(s.lo)), "{hi}", std::to_string(s.hi));
    return replaceAll(limits, "\n", "\n" + indent);
}

} // namespace brownian::lab::detail

namespace brownian::lab {

using namespace detail;

std::vector<OutputRequest> outputRequests(const LabOptions &o, bool withManifest)
{
    std::vector<OutputRequest> result;
    for (const OptionRow &s : optionRows()) {
        if (s.part == Part::Output && !(o.*std::get<std::string LabOptions::*>(s.member)).empty())
            result.push_back({ s.name, o.*std::get<std::string LabOptions::*>(s.member) });
    }
    if (withManifest && !o.manifestOut.empty())
        result.push_back({ "--manifest", o.manifestOut });
    return result;
}

std::vector<RunSetting> runSettings(
    const LabOptions &o, const std::function<std::string(const std::string &)> &fileName)
{
    using Text = std::optional<std::string>;
    std::vector<RunSetting> settings;
    for (const Part part : { Part::Setting, Part::Output, Part::Detail }) {
        for (const OptionRow &s : optionRows()) {
            const std::string name = s.name + 2;
            if (s.part != part || !(s.scope & ForRun) || (name == "every" && o.snapshotsOut.empty())
                || (name == "bins" && !o.wantsSpeeds()) || (name == "dpi" && !o.wantsPictures()))
                continue;
            const Text value = std::visit(
                [&]<class T, class Options>(T Options::*m) -> Text {
                    if constexpr (!std::is_same_v<Options, LabOptions>)
                        return {}; // sweep's and merge's
                    else if constexpr (std::is_same_v<T, std::string>)
                        return (o.*m).empty() ? Text() : fileName(o.*m);
                    else if constexpr (std::is_same_v<T, bool>)
                        return o.*m ? "unbounded" : "bounded";
                    else if constexpr (std::is_same_v<T, std::optional<std::uint64_t>>)
                        return o.*m ? std::to_string(*(o.*m)) : Text();
                    else
                        return std::to_string(o.*m);
                },
                s.member);
            if (value)
                settings.push_back(
                    { name, *value, s.kind == Kind::Choice || s.kind == Kind::File });
        }
    }
    return settings;
}

} // namespace brownian::lab
