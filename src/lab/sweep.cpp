#include "sweep.h"

#include "csv.h"
#include "output.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <functional>
#include <map>

namespace brownian::lab {

namespace {

namespace fs = std::filesystem;

/// How a manifest differs from the run this sweep would make there ("has size 150 where this
/// sweep has 200"); empty if it does not.
std::string difference(const LabOptions &had, const LabOptions &wants)
{
    auto valuesOf = [](const LabOptions &o) {
        std::map<std::string, std::string> values;
        for (const RunSetting &s : runSettings(o, std::identity()))
            values[s.name] = s.value;
        return values;
    };
    auto h = valuesOf(had), w = valuesOf(wants);
    for (const char *name : { "mode", "num-side", "size", "speed", "ticks", "seed" }) {
        const std::string &a = h.try_emplace(name, "none").first->second;
        const std::string &b = w.try_emplace(name, "none").first->second;
        if (a != b)
            return "has " + (name + (" " + a)) + " where this sweep has " + b;
    }
    for (const char *name : { "msd-out", "speeds-out", "stats-out" }) {
        if (h.contains(name) != w.contains(name))
            return std::string(w.contains(name) ? "has no " : "has a ") + name
                + " where this sweep has " + (w.contains(name) ? "one" : "none");
    }
    return {};
}

} // namespace

std::size_t runNumber(const std::string &name)
{
    std::size_t k = 0;
    const char *end = name.data() + name.size();
    const bool digits = name.starts_with("run-") && name.size() <= 13
        && std::from_chars(name.data() + 4, end, k).ptr == end;
    return digits ? k : 0;
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

std::string shellQuote(const std::string &word)
{
    if (!word.empty()
        && word.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                  "0123456789_-+=/.,:@%")
            == std::string::npos)
        return word;
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool outputsPresent(const LabOptions &run)
{
    return std::ranges::all_of(outputRequests(run), [](const OutputRequest &r) {
        std::error_code ec;
        return r.path == "-" || fs::exists(r.path, ec);
    });
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
    std::map<std::pair<std::size_t, std::string>, fs::path> folders;
    for (const auto &entry : fs::directory_iterator(s.out, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("run-") && entry.is_directory())
            folders[{ name.size(), name }] = entry.path();
    }
    for (const auto &[key, folder] : folders) {
        const fs::path manifest = folder / kManifestName;
        if (!fs::exists(manifest))
            continue;
        const LabOptions m = readManifest(manifest.string());
        const std::size_t k = runNumber(key.second);
        const std::string why = k < 1 || k > runs.size()
            ? "is not one of this sweep's " + std::to_string(runs.size()) + " runs"
            : difference(m, runOptions(s, runs[k - 1]));
        if (!why.empty())
            throw InputError("--out: '" + s.out
                + "' holds runs of another sweep: " + manifest.string() + " " + why);
        // A run whose files have gone is run again.
        finished[k - 1] = outputsPresent(m);
    }
    if (ec)
        throw InputError("--out: cannot read the folder '" + s.out + "': " + ec.message());
    return finished;
}

} // namespace brownian::lab
