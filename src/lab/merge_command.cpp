#include "merge_command.h"

#include "csv.h"
#include "manifest.h"
#include "output.h"
#include "plot.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
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

/// The run folders run-K under `dir`, in the order of K.
std::vector<std::pair<long, fs::path>> runFolders(const std::string &dir)
{
    std::vector<std::pair<long, fs::path>> folders;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        const std::string digits = name.rfind("run-", 0) == 0 ? name.substr(4) : std::string();
        if (digits.empty() || digits.size() > 9
            || digits.find_first_not_of("0123456789") != std::string::npos || !entry.is_directory())
            continue;
        folders.emplace_back(std::stol(digits), entry.path());
    }
    if (ec)
        throw InputError("merge: cannot read the folder '" + dir + "': " + ec.message());
    std::sort(folders.begin(), folders.end());
    return folders;
}

RunData readRun(const fs::path &folder)
{
    const std::string manifest = (folder / kManifestName).string();
    const ManifestRecord m = readManifest(manifest);
    RunData r;
    r.key = { m.unbounded, m.numSide, m.size, m.speed, m.ticks };
    r.source = folder.string();
    const std::string msd = manifestOutput(m, manifest, "msd-out");
    if (msd.empty())
        throw InputError(manifest + ": the run wrote no MSD (msd-out), which merge needs");
    r.msd = parseMsdCsv(slurp(msd, "MSD"), msd);
    const std::string stats = manifestOutput(m, manifest, "stats-out");
    if (!stats.empty())
        r.thermal =
            thermalFromStats(slurp(stats, "statistics"), m.unbounded, m.numSide * m.numSide, stats);
    return r;
}

std::string describe(const GroupKey &k)
{
    return std::string(k.unbounded ? "unbounded" : "bounded") + " num-side "
        + std::to_string(k.numSide) + " size " + std::to_string(k.size) + " speed "
        + std::to_string(k.speed) + " ticks " + std::to_string(k.ticks);
}

} // namespace

int mergeCommand(const MergeOptions &o, const GuiStarter &startGui)
{
    std::error_code ec;
    if (!fs::is_directory(o.dir, ec)) {
        printError("merge: '" + o.dir + "' is not a folder");
        return kExitBadInput;
    }
    std::vector<RunData> runs;
    int unfinished = 0;
    try {
        for (const auto &[k, folder] : runFolders(o.dir)) {
            if (fs::exists(folder / kManifestName))
                runs.push_back(readRun(folder));
            else
                ++unfinished;
        }
        if (runs.empty())
            throw InputError("merge: no finished runs (run-K/" + std::string(kManifestName)
                + ") in '" + o.dir + "'");
    } catch (const InputError &e) {
        printError(e.what());
        return kExitBadInput;
    }
    std::vector<GroupSummary> groups;
    try {
        groups = summarise(runs);
    } catch (const InputError &e) {
        printError(e.what());
        return kExitBadInput;
    }

    const std::pair<const char *, std::string> names[] = {
        { "summary.csv", summaryCsv(groups) },
        { "summary-msd.csv", summaryMsdCsv(groups) },
        { "summary.png", {} },
    };
    std::vector<OutputFile> files(3);
    for (std::size_t k = 0; k < 3; ++k) {
        const std::string why = files[k].open((fs::path(o.dir) / names[k].first).string());
        if (!why.empty()) {
            printError("merge: " + why);
            return kExitOutputFailed;
        }
    }
    startGui();
    files[0].write(names[0].second);
    files[1].write(names[1].second);
    files[2].write(encodePng(renderSummary(groups, o.dpi)));

    if (unfinished > 0)
        printError("note: " + std::to_string(unfinished) + " unfinished run"
            + (unfinished == 1 ? "" : "s") + " (without a manifest) left out");
    for (const GroupSummary &g : groups) {
        if (!g.dMean)
            printError("note: no diffusive stretch in the MSD of any run of " + describe(g.key)
                + ": D left empty");
        else if (g.fitted < g.runs)
            printError("note: " + std::to_string(g.runs - g.fitted) + " of "
                + std::to_string(g.runs) + " runs of " + describe(g.key)
                + " have no diffusive stretch; D is the mean of the others");
        if (!g.dEnskog)
            printError("note: not every run of " + describe(g.key)
                + " wrote stats.csv: no kinetic energy, D_enskog left empty");
    }
    int status = kExitOk;
    for (OutputFile &f : files) {
        const std::string why = f.commit();
        if (!why.empty()) {
            printError("merge: " + why);
            status = kExitOutputFailed;
        }
    }
    return status;
}

} // namespace brownian::lab
