#include "sweep.h"

#include "csv.h"
#include "output.h"

#include <algorithm>
#include <filesystem>
#include <map>

namespace brownian::lab {

namespace {

namespace fs = std::filesystem;

/// The difference between a manifest and the run this sweep would make there; empty if none.
std::string difference(const LabOptions &had, const LabOptions &wants)
{
    auto valuesOf = [](const LabOptions &o) {
        std::map<std::string, std::string> values;
        for (const RunSetting &s : runSettings(o, [](const std::string &f) { return f; }))
            values[s.name] = s.value;
        return values;
    };
    const auto h = valuesOf(had), w = valuesOf(wants);
    auto value = [](const auto &values, const char *name) {
        return values.contains(name) ? values.at(name) : std::string("none");
    };
    for (const char *name : { "mode", "num-side", "size", "speed", "ticks", "seed" }) {
        if (value(h, name) != value(w, name))
            return name + (" " + value(h, name)) + " where this sweep has " + value(w, name);
    }
    for (const char *name : { "msd-out", "speeds-out", "stats-out" }) {
        if (h.contains(name) != w.contains(name))
            return std::string(w.contains(name) ? "no " : "a ") + name + " where this sweep has "
                + (w.contains(name) ? "one" : "none");
    }
    return {};
}

} // namespace

std::size_t runNumber(const std::string &name)
{
    const std::string digits = name.rfind("run-", 0) == 0 ? name.substr(4) : std::string();
    if (digits.empty() || digits.size() > 9
        || digits.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::stoul(digits);
}

std::vector<SweepRun> expandSweep(const SweepOptions &s)
{
    std::vector<SweepRun> runs;
    for (bool unbounded : s.modes)
        for (int numSide : s.numSides)
            for (int size : s.sizes)
                for (int speed : s.speeds)
                    for (std::uint64_t seed = s.firstSeed;; ++seed) {
                        runs.push_back({ static_cast<int>(runs.size()) + 1, unbounded, numSide,
                            size, speed, seed });
                        if (seed == s.lastSeed)
                            break;
                    }
    return runs;
}

std::string runFolder(const SweepOptions &s, const SweepRun &r)
{
    return (fs::path(s.out) / ("run-" + std::to_string(r.index))).string();
}

LabOptions runOptions(const SweepOptions &s, const SweepRun &r)
{
    const fs::path folder = runFolder(s, r);
    LabOptions o;
    o.command = Command::Run;
    o.unbounded = r.unbounded;
    o.numSide = r.numSide;
    o.size = r.size;
    o.speed = r.speed;
    o.locus = defaultLocus(r.numSide);
    o.ticks = s.ticks;
    o.seed = r.seed;
    o.threads = s.threads;
    o.msdOut = s.writeMsd ? (folder / "msd.csv").string() : "";
    o.speedsOut = s.writeSpeeds ? (folder / "speeds.csv").string() : "";
    o.statsOut = s.writeStats ? (folder / "stats.csv").string() : "";
    o.manifestOut = (folder / kManifestName).string();
    return o;
}

std::vector<std::string> runArguments(const SweepOptions &s, const SweepRun &r)
{
    const LabOptions o = runOptions(s, r);
    std::vector<std::string> args = { "run" };
    // A value starting with '-' goes with its option in one word, not to be taken for one.
    auto add = [&args](const std::string &name, const std::string &value) {
        if (value.starts_with("-"))
            args.push_back("--" + name + "=" + value);
        else
            args.insert(args.end(), { "--" + name, value });
    };
    for (const RunSetting &setting : runSettings(o, [](const std::string &f) { return f; }))
        add(setting.name, setting.value);
    add("manifest", o.manifestOut);
    return args;
}

std::string shellQuote(const std::string &word)
{
    const bool plain = !word.empty()
        && word.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                  "0123456789_-+=/.,:@%")
            == std::string::npos;
    if (plain)
        return word;
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

bool outputsPresent(const LabOptions &run)
{
    for (const OutputRequest &r : outputRequests(run)) {
        std::error_code ec;
        if (r.path != "-" && !fs::exists(r.path, ec))
            return false;
    }
    return true;
}

void removeTemporaryFiles(const std::string &folder)
{
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(folder, ec)) {
        if (isTemporaryName(entry.path().filename().string()))
            fs::remove(entry.path(), ec);
    }
}

std::vector<bool> finishedRuns(const SweepOptions &s, const std::vector<SweepRun> &runs)
{
    std::vector<bool> finished(runs.size(), false);
    std::error_code ec;
    if (!fs::exists(s.out, ec))
        return finished;
    if (!fs::is_directory(s.out, ec))
        throw InputError("--out: '" + s.out + "' is not a folder");
    // In the order of K, so that the first run found amiss is the lowest.
    std::vector<std::pair<std::string, fs::path>> folders;
    for (const auto &entry : fs::directory_iterator(s.out, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("run-", 0) == 0 && entry.is_directory())
            folders.emplace_back(name, entry.path());
    }
    std::sort(folders.begin(), folders.end(), [](const auto &a, const auto &b) {
        return std::pair(a.first.size(), a.first) < std::pair(b.first.size(), b.first);
    });
    for (const auto &[name, folder] : folders) {
        const fs::path manifest = folder / kManifestName;
        if (!fs::exists(manifest))
            continue;
        const LabOptions m = readManifest(manifest.string());
        const std::size_t k = runNumber(name);
        if (k < 1 || k > runs.size())
            throw InputError("--out: '" + s.out
                + "' holds runs of another sweep: " + manifest.string()
                + " is not one of this sweep's " + std::to_string(runs.size()) + " runs");
        const std::string why = difference(m, runOptions(s, runs[k - 1]));
        if (!why.empty())
            throw InputError("--out: '" + s.out
                + "' holds runs of another sweep: " + manifest.string() + " has " + why);
        // A run whose files have gone is run again.
        finished[k - 1] = outputsPresent(m);
    }
    if (ec)
        throw InputError("--out: cannot read the folder '" + s.out + "': " + ec.message());
    return finished;
}

} // namespace brownian::lab
