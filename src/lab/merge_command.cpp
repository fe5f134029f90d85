#include "commands.h"
#include "csv.h"
#include "merge_stats.h"
#include "output.h"
#include "plot.h"
#include "sweep.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace brownian::lab {

namespace {

namespace fs = std::filesystem;

std::string slurp(const std::string &path, const std::string &what)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw InputError(path + ": cannot read the " + what);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

RunData readRun(const fs::path &folder, const LabOptions &m)
{
    RunData r { { m.unbounded, m.numSide, m.size, m.speed, m.ticks }, folder.string(), {}, {}, {} };
    if (m.msdOut.empty() || m.msdOut == "-")
        throw InputError((folder / kManifestName).string()
            + ": the run wrote no MSD (msd-out), which merge needs");
    r.msd = parseMsdCsv(slurp(m.msdOut, "MSD"), m.msdOut);
    if (!m.statsOut.empty() && m.statsOut != "-")
        std::tie(r.thermal, r.z) = statsMeans(
            slurp(m.statsOut, "statistics"), m.unbounded, m.particles(), m.size, m.statsOut);
    return r;
}

/// Reads the finished runs of the folders run-K, in the order of K; refuses a run whose files
/// are missing and two runs that are one (the same settings and seed: a copied folder would
/// count twice).
std::vector<RunData> readRuns(const std::string &dir, int &unfinished)
{
    std::vector<std::pair<std::size_t, fs::path>> folders;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(dir, ec)) {
        if (const std::size_t k = runNumber(entry.path().filename().string());
            k > 0 && entry.is_directory())
            folders.emplace_back(k, entry.path());
    }
    if (ec)
        throw InputError("merge: cannot read the folder '" + dir + "': " + ec.message());
    std::sort(folders.begin(), folders.end());
    std::vector<RunData> runs;
    std::map<std::pair<GroupKey, std::optional<std::uint64_t>>, std::string> seen;
    for (const auto &[k, folder] : folders) {
        const fs::path manifest = folder / kManifestName;
        if (!fs::exists(manifest)) {
            ++unfinished;
            continue;
        }
        const LabOptions m = readManifest(manifest.string());
        if (!outputsPresent(m))
            throw InputError("merge: " + folder.string()
                + " has a manifest but not all its files (an unfinished run: run the sweep again)");
        runs.push_back(readRun(folder, m));
        const auto [it, fresh] = seen.emplace(std::pair(runs.back().key, m.seed), folder.string());
        if (!fresh)
            throw InputError("merge: " + it->second + " and " + folder.string()
                + " are the same run (the same settings and seed)");
    }
    if (runs.empty())
        throw InputError(
            "merge: no finished runs (run-K/" + std::string(kManifestName) + ") in '" + dir + "'");
    return runs;
}

} // namespace

int mergeCommand(const MergeOptions &o, const GuiStarter &startGui)
{
    std::error_code ec;
    if (!fs::is_directory(o.dir, ec)) {
        printError("merge: '" + o.dir + "' is not a folder");
        return kExitBadInput;
    }
    int unfinished = 0;
    std::vector<GroupSummary> groups;
    try {
        groups = summarise(readRuns(o.dir, unfinished));
    } catch (const InputError &e) {
        printError(e.what());
        return kExitBadInput;
    }

    OutputSet files;
    const char *names[] = { "summary.csv", "summary-msd.csv", "summary.png" };
    OutputFile *out[3];
    for (int k = 0; k < 3; ++k) {
        if (!(out[k] = files.open("merge", (fs::path(o.dir) / names[k]).string())))
            return kExitOutputFailed;
    }
    startGui();
    out[0]->write(summaryCsv(groups));
    out[1]->write(summaryMsdCsv(groups));
    out[2]->write(pngBytes(renderSummary(groups, o.dpi)));

    if (unfinished > 0)
        printError("note: " + std::to_string(unfinished) + " unfinished run"
            + (unfinished == 1 ? "" : "s") + " (without a manifest) left out");
    for (const GroupSummary &g : groups) {
        const GroupKey &k = g.key;
        const std::string of = std::string(k.unbounded ? "unbounded" : "bounded") + " num-side "
            + std::to_string(k.numSide) + " size " + std::to_string(k.size) + " speed "
            + std::to_string(k.speed) + " ticks " + std::to_string(k.ticks);
        if (!g.dMean)
            printError(
                "note: no diffusive stretch in the MSD of any run of " + of + ": D left empty");
        else if (g.fitted < g.runs)
            printError("note: " + std::to_string(g.runs - g.fitted) + " of "
                + std::to_string(g.runs) + " runs of " + of
                + " have no diffusive stretch; D is the mean of the others");
        if (!g.dEnskog)
            printError("note: not every run of " + of
                + " wrote stats.csv: no kinetic energy, D_enskog left empty");
    }
    return files.commitAll();
}

} // namespace brownian::lab
