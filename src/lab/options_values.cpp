// Checks the values the command line and the config file gave and completes them with the
// defaults.
#include "options_internal.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <limits>

namespace brownian::lab::detail {

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kMaxTicks = 1'000'000'000'000; // a million million
constexpr const char *kVersionKey = "--program-version";

/// Reads a whole decimal integer (an optional sign, digits, nothing else) within lo..hi.
template <typename T> std::optional<T> parseWhole(std::string_view digits, T lo, T hi)
{
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

template <typename T> std::string rangeError(const std::string &name, T lo, T hi)
{
    return name + ": expected a whole number from " + std::to_string(lo) + " to "
        + std::to_string(hi);
}

/// Reads the values of one command; the first error found is kept.
struct Reader
{
    const RawValues &raw;
    std::string error;

    const std::string *value(const std::string &name)
    {
        const auto it = raw.values.find(name);
        if (it == raw.values.end() || it->second.empty())
            return nullptr;
        if (it->second.size() > 1 && error.empty())
            error = name + ": expected one value, got a list";
        return &it->second.back();
    }
    bool given(const std::string &name) const { return raw.values.count(name) > 0; }
    bool flag(const std::string &name) const { return raw.flags.count(name) > 0; }

    template <typename T> bool whole(const std::string &name, T lo, T hi, T &out)
    {
        const std::string *text = value(name);
        if (!text || !error.empty())
            return false;
        if (const auto v = parseWhole<T>(*text, lo, hi)) {
            out = *v;
            return true;
        }
        error = rangeError(name, lo, hi) + ", got '" + *text + "'";
        return false;
    }

    /// A file name; relative names from the config file are taken from the file's folder.
    void file(const std::string &name, std::string &out, const char *dash = "standard output")
    {
        const std::string *text = value(name);
        if (!text || !error.empty())
            return;
        if (text->empty()) {
            error = name + ": expected a file name (or - for " + dash + ")";
            return;
        }
        out = *text;
        if (raw.fromConfig.count(name) && out != "-" && fs::path(out).is_relative())
            out = (fs::path(raw.configFile).parent_path() / out).string();
    }

    void mode(const std::string &text, bool &unbounded, const std::string &name = "--mode")
    {
        if (text == "bounded" || text == "unbounded")
            unbounded = text == "unbounded";
        else if (error.empty())
            error = name + ": expected bounded or unbounded, got '" + text + "'";
    }
};

/// The same file named twice would be written twice; compare the names as absolute paths.
std::string normalisedPath(const std::string &path)
{
    std::error_code ec;
    const auto absolute = fs::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

std::string checkOutputs(const LabOptions &o)
{
    std::string stdoutOption;
    std::set<std::string> seen;
    std::vector<OutputRequest> all = outputRequests(o);
    if (!o.manifestOut.empty())
        all.push_back({ "--manifest", o.manifestOut });
    for (const OutputRequest &r : all) {
        if (r.path == "-") {
            if (r.option == "--manifest")
                return "--manifest: expected a file name (a manifest is not written to standard "
                       "output)";
            if (!stdoutOption.empty())
                return r.option + ": standard output is already taken by " + stdoutOption;
            stdoutOption = r.option;
            continue;
        }
        if (!seen.insert(normalisedPath(r.path)).second)
            return r.option + ": '" + r.path + "' is already the file of another output";
    }
    if (!o.manifestOut.empty() && o.stateIn == "-")
        return "--manifest: a run reading standard input cannot be repeated from a manifest";
    return {};
}

std::string checkCombination(const Reader &r, LabOptions &o, bool run)
{
    if (r.given("--locus") && o.locus >= o.particles())
        return "--locus: particle " + std::to_string(o.locus) + " does not exist: with --num-side "
            + std::to_string(o.numSide) + " the particles are 0 to "
            + std::to_string(o.particles() - 1);
    if (!r.given("--locus"))
        o.locus = defaultLocus(o.numSide);
    if (!run) {
        if (!r.given("--ticks"))
            o.ticks = 2000;
        if (r.given("--dpi") && o.noDraw)
            return "--dpi: bench --no-draw draws nothing";
        return {};
    }
    if (r.given("--every") && o.snapshotsOut.empty())
        return "--every: only used with --snapshots-out";
    if (r.given("--bins") && !o.wantsSpeeds())
        return "--bins: only used with --speeds-out or --plot";
    if (r.given("--dpi") && !o.wantsPictures())
        return "--dpi: only used with --path-png, --frame-png or --plot";
    return checkOutputs(o);
}

std::string applyRunOrBench(Reader &r, ParseResult &result)
{
    LabOptions &o = result.options;
    const bool run = o.command == Command::Run;
    if (const std::string *m = r.value("--mode"))
        r.mode(*m, o.unbounded);
    r.whole("--num-side", 1, 181, o.numSide);
    r.whole("--size", 1, 32767, o.size);
    r.whole("--speed", 0, 32767, o.speed);
    r.whole("--locus", 0, 32767, o.locus);
    r.whole<std::int64_t>("--ticks", 0, kMaxTicks, o.ticks);
    std::uint64_t seed = 0;
    if (r.whole<std::uint64_t>("--seed", 0, std::numeric_limits<std::uint64_t>::max(), seed))
        o.seed = seed;
    r.file("--state-in", o.stateIn, "standard input");
    r.whole("--dpi", 24, 1200, o.dpi);
    const std::pair<const char *, std::string LabOptions::*> outputs[] = {
        { "--state-out", &LabOptions::stateOut }, { "--snapshots-out", &LabOptions::snapshotsOut },
        { "--trace-out", &LabOptions::traceOut }, { "--stats-out", &LabOptions::statsOut },
        { "--path-png", &LabOptions::pathPng }, { "--frame-png", &LabOptions::framePng },
        { "--msd-out", &LabOptions::msdOut }, { "--speeds-out", &LabOptions::speedsOut },
        { "--plot", &LabOptions::plotPng }, { "--manifest", &LabOptions::manifestOut }
    };
    for (const auto &[name, member] : outputs)
        r.file(name, o.*member);
    r.whole<std::int64_t>("--every", 1, kMaxTicks, o.every);
    r.whole("--bins", 1, 1000, o.bins);
    o.noDraw = r.flag("--no-draw");
    r.whole("--repeats", 1, 1000, o.repeats);
    if (const std::string *v = r.value("--pairs")) {
        if (*v == "auto" || *v == "all" || *v == "grid" || *v == "both")
            o.pairs = *v;
        else if (r.error.empty())
            r.error = "--pairs: expected auto, all, grid or both, not '" + *v + "'";
    }
    r.whole<std::int64_t>("--warmup", 0, kMaxTicks, o.warmUp);
    if (!r.error.empty())
        return r.error;
    if (const std::string *v = r.value(kVersionKey); v && *v != programVersion())
        result.notes.push_back(r.raw.configFile + " was written by version " + *v
            + " of brownian-lab; this is version " + programVersion());
    return checkCombination(r, o, run);
}

/// The items of a comma-separated list given once, or of a TOML array in the config file.
std::vector<std::string> listItems(Reader &r, const std::string &name)
{
    const auto it = r.raw.values.find(name);
    if (it == r.raw.values.end())
        return {};
    std::string joined;
    for (const std::string &v : it->second)
        joined += (joined.empty() ? "" : ",") + v;
    std::vector<std::string> items;
    std::size_t start = 0;
    while (true) {
        const auto comma = joined.find(',', start);
        std::string item = joined.substr(start, comma - start);
        const auto a = item.find_first_not_of(' '), b = item.find_last_not_of(' ');
        item = a == std::string::npos ? std::string() : item.substr(a, b - a + 1);
        if (item.empty() && r.error.empty())
            r.error = name + ": malformed list '" + joined + "': item "
                + std::to_string(items.size() + 1) + " is empty";
        items.push_back(item);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return r.error.empty() ? items : std::vector<std::string> {};
}

template <typename T>
void wholeList(Reader &r, const std::string &name, T lo, T hi, std::vector<T> &out)
{
    const std::vector<std::string> items = listItems(r, name);
    if (items.empty())
        return;
    out.clear();
    for (const std::string &item : items) {
        const auto v = parseWhole<T>(item, lo, hi);
        if (!v) {
            r.error = rangeError(name, lo, hi) + " in the list, got '" + item + "'";
            return;
        }
        if (std::find(out.begin(), out.end(), *v) != out.end()) {
            r.error = name + ": " + item + " is listed twice";
            return;
        }
        out.push_back(*v);
    }
}

void seedRange(Reader &r, SweepOptions &s)
{
    const std::string *text = r.value("--seeds");
    if (!text || !r.error.empty())
        return;
    constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
    const auto dash = text->find('-');
    const auto first = parseWhole<std::uint64_t>(text->substr(0, dash), 0, kMax);
    const auto last = dash == std::string::npos
        ? first
        : parseWhole<std::uint64_t>(std::string_view(*text).substr(dash + 1), 0, kMax);
    if (!first || !last) {
        r.error = "--seeds: expected a range A-B of seeds from 0 to " + std::to_string(kMax)
            + ", got '" + *text + "'";
    } else if (*first > *last) {
        r.error = "--seeds: the range '" + *text + "' is empty (the first seed is above the last)";
    } else if (*last - *first >= 1'000'000) {
        r.error = "--seeds: the range '" + *text + "' holds more than a million seeds";
    } else {
        s.firstSeed = *first;
        s.lastSeed = *last;
    }
}

std::string applySweep(Reader &r, SweepOptions &s)
{
    const std::vector<std::string> modes = listItems(r, "--mode");
    if (!modes.empty()) {
        s.modes.clear();
        for (const std::string &m : modes) {
            bool unbounded = false;
            r.mode(m, unbounded, "--mode");
            if (r.error.empty()
                && std::find(s.modes.begin(), s.modes.end(), unbounded) != s.modes.end())
                r.error = "--mode: " + m + " is listed twice";
            s.modes.push_back(unbounded);
        }
    }
    wholeList(r, "--num-side", 1, 181, s.numSides);
    wholeList(r, "--size", 1, 32767, s.sizes);
    wholeList(r, "--speed", 0, 32767, s.speeds);
    seedRange(r, s);
    r.whole<std::int64_t>("--ticks", 1, kMaxTicks, s.ticks);
    r.file("--out", s.out);
    r.whole("--jobs", 1, 1024, s.jobs);
    s.printCommands = r.flag("--print-commands");
    if (r.flag("--msd") || r.flag("--speeds") || r.flag("--stats")) {
        s.writeMsd = r.flag("--msd");
        s.writeSpeeds = r.flag("--speeds");
        s.writeStats = r.flag("--stats");
    }
    if (!r.error.empty())
        return r.error;
    if (s.out.empty() || s.out == "-")
        return "--out: expected the folder for the runs (sweep --out DIR)";
    if (s.printCommands && r.given("--jobs"))
        return "--jobs: not used with --print-commands, which runs nothing";
    return {};
}

std::string applyMerge(Reader &r, const RawValues &raw, MergeOptions &m)
{
    r.whole("--dpi", 24, 1200, m.dpi);
    if (!r.error.empty())
        return r.error;
    if (raw.positionals.empty())
        return "merge: expected the folder of a sweep (brownian-lab merge DIR)";
    if (raw.positionals.size() > 1)
        return "unexpected argument '" + raw.positionals[1]
            + "' (merge takes one folder; see --help)";
    m.dir = raw.positionals.front();
    if (m.dir.empty())
        return "merge: expected the folder of a sweep, got an empty name";
    return {};
}

} // namespace

const char *programVersion()
{
    return BROWNIAN_VERSION;
}

std::string applyValues(const RawValues &raw, ParseResult &result)
{
    Reader reader { raw, {} };
    switch (raw.command) {
    case Command::Run:
    case Command::Bench:
        return applyRunOrBench(reader, result);
    case Command::Sweep:
        return applySweep(reader, result.sweep);
    case Command::Merge:
        return applyMerge(reader, raw, result.merge);
    case Command::Help:
        break;
    }
    return {};
}

} // namespace brownian::lab::detail
